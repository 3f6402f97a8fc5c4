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
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'u': {
          if (m_p + 4 > m_s.size()) return false;
          std::uint32_t cp = static_cast<std::uint32_t>(std::stoul(m_s.substr(m_p, 4), nullptr, 16));
          m_p += 4;
          if (cp >= 0xD800 && cp <= 0xDBFF && m_p + 6 <= m_s.size() && m_s[m_p] == '\\' &&
              m_s[m_p + 1] == 'u') {
            std::uint32_t lo = static_cast<std::uint32_t>(std::stoul(m_s.substr(m_p + 2, 4), nullptr, 16));
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
              cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
              m_p += 6;
            }
          }
          PutUtf8(out, cp);
          break;
        }
        default: out += e;
      }
    }
    return false;
  }

  const std::string& m_s;
  std::size_t m_p = 0;
};

constexpr std::uint32_t kK[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

std::uint32_t Rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

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

std::string Sha256Hex(const std::vector<std::uint8_t>& data) {
  std::uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                        0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::vector<std::uint8_t> msg(data);
  std::uint64_t bits = static_cast<std::uint64_t>(data.size()) * 8;
  msg.push_back(0x80);
  while (msg.size() % 64 != 56) msg.push_back(0);
  for (int i = 7; i >= 0; --i) msg.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
  for (std::size_t off = 0; off < msg.size(); off += 64) {
    std::uint32_t w[64];
    for (int i = 0; i < 16; ++i) {
      w[i] = (std::uint32_t{msg[off + 4 * i]} << 24) | (std::uint32_t{msg[off + 4 * i + 1]} << 16) |
             (std::uint32_t{msg[off + 4 * i + 2]} << 8) | msg[off + 4 * i + 3];
    }
    for (int i = 16; i < 64; ++i) {
      std::uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
      std::uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
    for (int i = 0; i < 64; ++i) {
      std::uint32_t t1 = hh + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kK[i] + w[i];
      std::uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      hh = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    h[0] += a; h[1] += b; h[2] += c; h[3] += d; h[4] += e; h[5] += f; h[6] += g; h[7] += hh;
  }
  char out[65];
  for (int i = 0; i < 8; ++i) std::snprintf(out + 8 * i, 9, "%08x", h[i]);
  return std::string(out, 64);
}

}  // namespace sorvani::test
