#include "cli/json.h"

#include <charconv>

namespace sorvani::cli {

void AppendJsonEscaped(std::string& out, std::string_view text) {
  std::size_t plain = 0;  // start of the run of bytes that need no escape
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.append(text, plain, i - plain);
    plain = i + 1;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: {
        static constexpr char kHex[] = "0123456789abcdef";
        char buf[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
        out.append(buf, sizeof buf);
      }
    }
  }
  out.append(text, plain, text.size() - plain);
}

std::string JsonEscape(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 2);
  AppendJsonEscaped(out, text);
  return out;
}

void JsonObject::Key(const char* key) {
  m_body += m_body.size() > 1 ? ",\"" : "\"";
  AppendJsonEscaped(m_body, key);
  m_body += "\":";
}

JsonObject& JsonObject::Add(const char* key, std::string_view value) {
  Key(key);
  m_body += '"';
  AppendJsonEscaped(m_body, value);
  m_body += '"';
  return *this;
}

JsonObject& JsonObject::Add(const char* key, const char* value) {
  if (!value) return AddNull(key);
  return Add(key, std::string_view(value));
}

JsonObject& JsonObject::Add(const char* key, std::uint64_t value) {
  Key(key);
  char text[24];
  auto end = std::to_chars(text, text + sizeof text, value).ptr;
  m_body.append(text, end);
  return *this;
}

JsonObject& JsonObject::Add(const char* key, std::int64_t value) {
  Key(key);
  char text[24];
  auto end = std::to_chars(text, text + sizeof text, value).ptr;
  m_body.append(text, end);
  return *this;
}

JsonObject& JsonObject::Add(const char* key, bool value) {
  Key(key);
  m_body += value ? "true" : "false";
  return *this;
}

JsonObject& JsonObject::AddNull(const char* key) {
  Key(key);
  m_body += "null";
  return *this;
}

JsonObject& JsonObject::AddRaw(const char* key, const std::string& json) {
  Key(key);
  m_body += json;
  return *this;
}

std::string JsonObject::Text() const {
  std::string text = m_body;
  text += '}';
  return text;
}

}  // namespace sorvani::cli
