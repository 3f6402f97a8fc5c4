#include "tests/ntfs/ntfs_test_support.h"

#include <cstdio>
#include <cstring>

namespace sorvani::test {
namespace {

class Parser {
 public:
  explicit Parser(const std::string& s) : m_s(s) {}
  bool Value(Json& out) {
    Skip();
    if (m_p >= m_s.size()) return false;
    char c = m_s[m_p];
    if (c == '{') return Object(out);
    if (c == '[') return Array(out);
    if (c == '"') {
      out.kind = Json::Kind::String;
      return String(out.text);
    }
    if (m_s.compare(m_p, 4, "true") == 0) {
      out.kind = Json::Kind::Bool;
      out.boolean = true;
      m_p += 4;
      return true;
    }
    if (m_s.compare(m_p, 5, "false") == 0) {
      out.kind = Json::Kind::Bool;
      m_p += 5;
      return true;
    }
    if (m_s.compare(m_p, 4, "null") == 0) {
      m_p += 4;
      return true;
    }
    char* end = nullptr;
    out.number = std::strtod(m_s.c_str() + m_p, &end);
    if (end == m_s.c_str() + m_p) return false;
    out.kind = Json::Kind::Number;
    m_p = static_cast<std::size_t>(end - m_s.c_str());
    return true;
  }
  bool AtEnd() {
    Skip();
    return m_p == m_s.size();
  }

 private:
  void Skip() {
    while (m_p < m_s.size() && std::strchr(" \t\r\n", m_s[m_p])) ++m_p;
  }
  bool Object(Json& out) {
    out.kind = Json::Kind::Object;
    ++m_p;
    Skip();
    if (m_p < m_s.size() && m_s[m_p] == '}') return ++m_p, true;
    for (;;) {
      Skip();
      std::string key;
      if (m_p >= m_s.size() || m_s[m_p] != '"' || !String(key)) return false;
      Skip();
      if (m_p >= m_s.size() || m_s[m_p] != ':') return false;
      ++m_p;
      Json v;
      if (!Value(v)) return false;
      out.members.emplace_back(std::move(key), std::move(v));
      Skip();
      if (m_p < m_s.size() && m_s[m_p] == ',') {
        ++m_p;
        continue;
      }
      if (m_p < m_s.size() && m_s[m_p] == '}') return ++m_p, true;
      return false;
    }
  }
  bool Array(Json& out) {
    out.kind = Json::Kind::Array;
    ++m_p;
    Skip();
    if (m_p < m_s.size() && m_s[m_p] == ']') return ++m_p, true;
    for (;;) {
      Json v;
      if (!Value(v)) return false;
      out.items.push_back(std::move(v));
      Skip();
      if (m_p < m_s.size() && m_s[m_p] == ',') {
        ++m_p;
        continue;
      }
      if (m_p < m_s.size() && m_s[m_p] == ']') return ++m_p, true;
      return false;
    }
  }
  void PutUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  bool String(std::string& out) {
    ++m_p;
    while (m_p < m_s.size()) {
      char c = m_s[m_p++];
      if (c == '"') return true;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (m_p >= m_s.size()) return false;
      char e = m_s[m_p++];
      switch (e) {
        case 'n':
          out += '\n';
          break;
        case 't':
          out += '\t';
          break;
        case 'r':
          out += '\r';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'u': {
          if (m_p + 4 > m_s.size()) return false;
          std::uint32_t cp =
              static_cast<std::uint32_t>(std::stoul(m_s.substr(m_p, 4), nullptr, 16));
          m_p += 4;
          if (cp >= 0xD800 && cp <= 0xDBFF && m_p + 6 <= m_s.size() && m_s[m_p] == '\\' &&
              m_s[m_p + 1] == 'u') {
            std::uint32_t lo =
                static_cast<std::uint32_t>(std::stoul(m_s.substr(m_p + 2, 4), nullptr, 16));
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
              cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
              m_p += 6;
            }
          }
          PutUtf8(out, cp);
          break;
        }
        default:
          out += e;
      }
    }
    return false;
  }

  const std::string& m_s;
  std::size_t m_p = 0;
};

}  // namespace

const Json* Json::Get(const std::string& key) const {
  for (const auto& m : members) {
    if (m.first == key) return &m.second;
  }
  return nullptr;
}

std::string Json::Str(const std::string& key, const std::string& fallback) const {
  const Json* j = Get(key);
  return j && j->kind == Kind::String ? j->text : fallback;
}

std::int64_t Json::Int(const std::string& key, std::int64_t fallback) const {
  const Json* j = Get(key);
  return j && j->kind == Kind::Number ? static_cast<std::int64_t>(j->number) : fallback;
}

bool Json::Bool(const std::string& key, bool fallback) const {
  const Json* j = Get(key);
  return j && j->kind == Kind::Bool ? j->boolean : fallback;
}

std::optional<Json> ParseJson(const std::string& text) {
  Parser p(text);
  Json out;
  if (!p.Value(out) || !p.AtEnd()) return std::nullopt;
  return out;
}

}  // namespace sorvani::test
