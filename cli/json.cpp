#include "cli/json.h"

#include <charconv>

#include "foundation/display_format.h"

namespace sorvani::cli {

void AppendJsonEscaped(std::string& out, std::string_view text) {
  // DEL and the C1 controls (U+0080..U+009F) are valid in JSON strings but drive a terminal the
  // output may be shown on, so they are escaped with the C0 controls. A byte that is not UTF-8
  // (a FAT label in an OEM code page) has no JSON form: it becomes U+FFFD.
  auto isC1 = [&text](std::size_t i) {
    return i + 1 < text.size() && static_cast<unsigned char>(text[i]) == 0xC2 &&
           static_cast<unsigned char>(text[i + 1]) <= 0x9F;
  };
  // One pass sizes the result, so the second writes in place without growing the string.
  std::size_t extra = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\' || c == '\n' || c == '\r' || c == '\t') {
      extra += 1;
    } else if (c < 0x20 || c == 0x7F) {
      extra += 5;
    } else if (c >= 0x80) {
      std::size_t length = Utf8SequenceAt(text, i);
      if (length == 0)
        extra += 5;
      else if (isC1(i))
        extra += 4;
      if (length > 1) i += length - 1;
    }
  }
  if (extra == 0) {
    out.append(text);
    return;
  }
  std::size_t at = out.size();
  out.resize(at + text.size() + extra);
  char* p = out.data() + at;
  static constexpr char kHex[] = "0123456789abcdef";
  auto unicode = [&p](unsigned code) {
    *p++ = '\\';
    *p++ = 'u';
    *p++ = kHex[(code >> 12) & 15];
    *p++ = kHex[(code >> 8) & 15];
    *p++ = kHex[(code >> 4) & 15];
    *p++ = kHex[code & 15];
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    char ch = text[i];
    auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        *p++ = '\\';
        *p++ = '"';
        break;
      case '\\':
        *p++ = '\\';
        *p++ = '\\';
        break;
      case '\n':
        *p++ = '\\';
        *p++ = 'n';
        break;
      case '\r':
        *p++ = '\\';
        *p++ = 'r';
        break;
      case '\t':
        *p++ = '\\';
        *p++ = 't';
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          unicode(c);
        } else if (c < 0x80) {
          *p++ = ch;
        } else {
          std::size_t length = Utf8SequenceAt(text, i);
          if (length == 0) {
            unicode(0xFFFD);
          } else if (isC1(i)) {
            unicode(static_cast<unsigned char>(text[++i]));
          } else {
            for (std::size_t k = 0; k < length; ++k) *p++ = text[i + k];
            i += length - 1;
          }
        }
    }
  }
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
