#include "cli/json.h"

#include <cstdio>

namespace sorvani::cli {

std::string JsonEscape(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 2);
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

void JsonObject::Key(const char* key) {
  if (!m_body.empty()) m_body += ',';
  m_body += '"';
  m_body += JsonEscape(key);
  m_body += "\":";
}

JsonObject& JsonObject::Add(const char* key, const std::string& value) {
  Key(key);
  m_body += '"' + JsonEscape(value) + '"';
  return *this;
}

JsonObject& JsonObject::Add(const char* key, const char* value) {
  if (!value) return AddNull(key);
  return Add(key, std::string(value));
}

JsonObject& JsonObject::Add(const char* key, std::uint64_t value) {
  Key(key);
  m_body += std::to_string(value);
  return *this;
}

JsonObject& JsonObject::Add(const char* key, std::int64_t value) {
  Key(key);
  m_body += std::to_string(value);
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

}  // namespace sorvani::cli
