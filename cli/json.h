// A minimal writer of one-line JSON objects for the --json output.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sorvani::cli {

std::string JsonEscape(const std::string& text);
// Appends `text` to `out` escaped for a JSON string (without the quotes).
void AppendJsonEscaped(std::string& out, std::string_view text);

class JsonObject {
 public:
  JsonObject& Add(const char* key, std::string_view value);
  JsonObject& Add(const char* key, const std::string& value) {
    return Add(key, std::string_view(value));
  }
  JsonObject& Add(const char* key, const char* value);  // nullptr writes null
  JsonObject& Add(const char* key, std::uint64_t value);
  JsonObject& Add(const char* key, std::int64_t value);
  JsonObject& Add(const char* key, unsigned value) { return Add(key, std::uint64_t{value}); }
  JsonObject& Add(const char* key, int value) { return Add(key, std::int64_t{value}); }
  JsonObject& Add(const char* key, bool value);
  JsonObject& AddNull(const char* key);
  JsonObject& AddRaw(const char* key, const std::string& json);
  std::string Text() const;

 private:
  void Key(const char* key);
  std::string m_body = "{";
};

}  // namespace sorvani::cli
