// The XML settings profile: one document with root "profile", sections as its child elements,
// keys as their child elements and each value as a key's text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace pugi {
class xml_document;
class xml_node;
}  // namespace pugi

namespace sorvani {

class CXMLProfile {
 public:
  // The one exception that leaves the profile; its message is cut to 255 characters.
  class CXMLProfileException : public std::exception {
   public:
    explicit CXMLProfileException(std::string_view message);
    const char* what() const noexcept override { return m_message; }

   private:
    char m_message[256];
  };

  // Encoded binary values, line breaks included, are never longer than this.
  static constexpr std::size_t kMaxBinaryText = 512;

  CXMLProfile();
  ~CXMLProfile();
  CXMLProfile(const CXMLProfile&) = delete;
  CXMLProfile& operator=(const CXMLProfile&) = delete;

  void SetPath(const std::string& path);
  std::string Path() const;

  // Parses the file at the path. A missing or empty file, or one without a root element, gives an
  // empty root "profile" and succeeds. A file that exists but cannot be read or parsed fails and
  // leaves the object without a document: gets return their defaults and sets do nothing.
  bool Load();
  // Writes the whole document beside the old file and renames it over that file, so a crash or a
  // full disk never leaves a half-written profile. Nothing is saved implicitly.
  bool Save();
  bool HasDocument() const;

  // The leading decimal number of the value (optional sign; no digits give 0; clamped to 32 bits).
  int GetInt(std::string_view section, std::string_view key, int def);
  void SetInt(std::string_view section, std::string_view key, int value);

  std::string GetString(std::string_view section, std::string_view key, const std::string& def);
  // Copies the value into `buffer` and returns it, or returns `def` (buffer untouched) when the key
  // has no value. Throws CXMLProfileException("Buffer overflow") when length >= capacity.
  const char* GetString(std::string_view section, std::string_view key, const char* def,
                        char* buffer, std::size_t capacity);
  void SetString(std::string_view section, std::string_view key, std::string_view value);

  // True when a value exists and its decoded bytes fit into `capacity`; only the decoded bytes
  // are written, the rest of the buffer is left as it was. A failure leaves the buffer untouched.
  bool GetBinary(std::string_view section, std::string_view key, void* buffer,
                 std::size_t capacity);
  bool GetBinary(std::string_view section, std::string_view key, std::vector<std::uint8_t>& out);
  // False (and nothing changed) when the Base64 text would exceed kMaxBinaryText characters.
  bool SetBinary(std::string_view section, std::string_view key, const void* data,
                 std::size_t length);

 private:
  pugi::xml_node FindKey(std::string_view section, std::string_view key);
  std::string ReadValue(std::string_view section, std::string_view key, bool& found);
  bool WriteValue(std::string_view section, std::string_view key, std::string_view text);

  // Reads on the enumeration and update threads may meet writes and saves of the UI thread.
  mutable std::mutex m_lock;
  std::string m_path;
  std::unique_ptr<pugi::xml_document> m_doc;
};

// The process-wide profile.
CXMLProfile& Profile();

}  // namespace sorvani
