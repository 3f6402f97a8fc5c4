#include "foundation/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <pugixml.hpp>
#include <sstream>

#include "foundation/base64.h"
#include "foundation/log.h"

namespace sorvani {

namespace {

constexpr char kRootName[] = "profile";
constexpr int kMaxDepth = 32;

// Names are matched by their local part, as a namespace-aware DOM does.
std::string_view LocalName(const char* name) {
  std::string_view full(name);
  std::size_t colon = full.rfind(':');
  return colon == std::string_view::npos ? full : full.substr(colon + 1);
}

// Only names that keep the saved file well-formed; ours are plain words.
bool IsValidName(std::string_view name) {
  if (name.empty()) return false;
  char first = name.front();
  bool firstOk = (first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z') || first == '_';
  if (!firstOk) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
  });
}

pugi::xml_node FirstChildElement(pugi::xml_node parent, std::string_view name) {
  for (pugi::xml_node child : parent.children()) {
    if (child.type() == pugi::node_element && LocalName(child.name()) == name) return child;
  }
  return {};
}

pugi::xml_node AppendElement(pugi::xml_node parent, std::string_view name) {
  return parent.append_child(std::string(name).c_str());
}

// The element's own text, as the DOM's text of a leaf element: its text and CDATA children.
std::string ElementText(pugi::xml_node element) {
  std::string text;
  for (pugi::xml_node child : element.children()) {
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
      text += child.value();
  }
  return text;
}

// Leading decimal number: optional blanks and sign, digits up to the first non-digit.
int ParseLeadingInt(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() &&
         (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r'))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  std::int64_t value = 0;
  constexpr std::int64_t kLimit = std::int64_t{INT_MAX} + 1;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min(value * 10 + (text[i] - '0'), kLimit);
  }
  if (negative) return static_cast<int>(-value);
  return static_cast<int>(std::min<std::int64_t>(value, INT_MAX));
}

enum class ReadResult { kOk, kMissing, kFailed };

// Reads the profile file whole. Only a regular file of sane size is read: pugixml's own loader
// trusts the size a directory or device reports.
ReadResult ReadProfileFile(const std::string& path, std::string& text) {
  constexpr off_t kMaxProfileSize = 16 * 1024 * 1024;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return errno == ENOENT ? ReadResult::kMissing : ReadResult::kFailed;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxProfileSize;
  if (ok) {
    text.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (done < text.size()) {
      ssize_t r = ::read(fd, text.data() + done, text.size() - done);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) ok = false;
      if (r <= 0) break;
      done += static_cast<std::size_t>(r);
    }
    text.resize(done);  // a file that shrank meanwhile is read as far as it goes
  }
  ::close(fd);
  return ok ? ReadResult::kOk : ReadResult::kFailed;
}

// Depth of the element tree, walked without recursion; stops counting past `limit`.
int TreeDepth(const pugi::xml_document& doc, int limit) {
  int depth = 0, deepest = 0;
  pugi::xml_node node = doc.first_child();
  while (node && deepest <= limit) {
    if (node.first_child()) {
      node = node.first_child();
      deepest = std::max(deepest, ++depth);
      continue;
    }
    while (node && !node.next_sibling()) {
      node = node.parent();
      --depth;
    }
    if (node) node = node.next_sibling();
  }
  return deepest;
}

bool WriteAll(int fd, const std::string& text) {
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    ssize_t w = ::write(fd, p, left);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    left -= static_cast<std::size_t>(w);
  }
  return true;
}

}  // namespace

CXMLProfile::CXMLProfileException::CXMLProfileException(std::string_view message) {
  std::size_t n = std::min(message.size(), sizeof m_message - 1);
  std::memcpy(m_message, message.data(), n);
  m_message[n] = '\0';
}

CXMLProfile::CXMLProfile() = default;
CXMLProfile::~CXMLProfile() = default;

void CXMLProfile::SetPath(const std::string& path) {
  std::lock_guard lock(m_lock);
  m_path = path;
}

std::string CXMLProfile::Path() const {
  std::lock_guard lock(m_lock);
  return m_path;
}

bool CXMLProfile::HasDocument() const {
  std::lock_guard lock(m_lock);
  return m_doc != nullptr;
}

bool CXMLProfile::Load() {
  std::lock_guard lock(m_lock);
  auto doc = std::make_unique<pugi::xml_document>();
  std::string text;
  ReadResult read = ReadProfileFile(m_path, text);
  bool usable = read == ReadResult::kMissing;  // a first start
  const char* problem = "the file cannot be read";
  if (read == ReadResult::kOk) {
    pugi::xml_parse_result result = doc->load_buffer(
        text.data(), text.size(), pugi::parse_default | pugi::parse_comments, pugi::encoding_auto);
    usable = result.status == pugi::status_ok || result.status == pugi::status_no_document_element;
    problem = result.description();
    // Ours is three levels deep. A deeply nested hand-made file would make the indented save
    // quadratic in size, so it is refused like a broken one.
    if (usable && TreeDepth(*doc, kMaxDepth) > kMaxDepth) {
      usable = false;
      problem = "elements nested too deeply";
    }
  }
  if (!usable) {
    m_doc.reset();
    LogFile.Write(0, "Couldn't load the profile %s: %s\n", m_path.c_str(), problem);
    return false;
  }
  if (!doc->document_element()) {
    doc->reset();
    doc->append_child(kRootName);
  }
  m_doc = std::move(doc);
  return true;
}

bool CXMLProfile::Save() {
  std::lock_guard lock(m_lock);
  if (!m_doc || m_path.empty()) return false;
  std::ostringstream out;
  m_doc->save(out, "  ", pugi::format_default, pugi::encoding_utf8);
  std::string text = out.str();

  std::string tempPath = m_path + ".XXXXXX";
  int fd = ::mkostemp(tempPath.data(), O_CLOEXEC);  // mode 0600, unique, same folder
  if (fd < 0) {
    LogFile.WriteLastError(0);
    LogFile.Write(0, "Couldn't create a temporary file beside the profile %s\n", m_path.c_str());
    return false;
  }
  bool ok = WriteAll(fd, text) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(tempPath.c_str(), m_path.c_str()) == 0;
  if (!ok) {
    LogFile.WriteLastError(0);
    LogFile.Write(0, "Couldn't save the profile %s\n", m_path.c_str());
    ::unlink(tempPath.c_str());
    return false;
  }
  // Make the rename itself durable; a failure here does not undo the save.
  std::size_t slash = m_path.rfind('/');
  std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : m_path.substr(0, slash));
  int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return true;
}

pugi::xml_node CXMLProfile::FindKey(std::string_view section, std::string_view key) {
  if (!m_doc || !IsValidName(section) || !IsValidName(key)) return {};
  pugi::xml_node root = m_doc->document_element();
  if (!root) return {};
  pugi::xml_node sectionNode = FirstChildElement(root, section);
  if (!sectionNode) sectionNode = AppendElement(root, section);
  if (!sectionNode) return {};
  pugi::xml_node keyNode = FirstChildElement(sectionNode, key);
  if (!keyNode) keyNode = AppendElement(sectionNode, key);
  return keyNode;
}

std::string CXMLProfile::ReadValue(std::string_view section, std::string_view key, bool& found) {
  found = false;
  pugi::xml_node keyNode = FindKey(section, key);
  if (!keyNode) return {};
  std::string text = ElementText(keyNode);
  if (text.empty()) {
    // Reading never leaves an empty key behind; the section created on the way stays.
    keyNode.parent().remove_child(keyNode);
    return {};
  }
  found = true;
  return text;
}

bool CXMLProfile::WriteValue(std::string_view section, std::string_view key,
                             std::string_view text) {
  pugi::xml_node keyNode = FindKey(section, key);
  if (!keyNode) return false;
  keyNode.remove_children();
  // The stored text ends at a NUL anyway; cut it here so memory and file agree.
  text = text.substr(0, text.find('\0'));
  if (!text.empty()) keyNode.append_child(pugi::node_pcdata).set_value(std::string(text).c_str());
  return true;
}

int CXMLProfile::GetInt(std::string_view section, std::string_view key, int def) {
  std::lock_guard lock(m_lock);
  bool found = false;
  std::string text = ReadValue(section, key, found);
  return found ? ParseLeadingInt(text) : def;
}

void CXMLProfile::SetInt(std::string_view section, std::string_view key, int value) {
  std::lock_guard lock(m_lock);
  WriteValue(section, key, std::to_string(value));
}

std::string CXMLProfile::GetString(std::string_view section, std::string_view key,
                                   const std::string& def) {
  std::lock_guard lock(m_lock);
  bool found = false;
  std::string text = ReadValue(section, key, found);
  return found ? text : def;
}

const char* CXMLProfile::GetString(std::string_view section, std::string_view key, const char* def,
                                   char* buffer, std::size_t capacity) {
  std::lock_guard lock(m_lock);
  bool found = false;
  std::string text = ReadValue(section, key, found);
  if (!found) return def;
  if (buffer == nullptr || text.size() >= capacity) throw CXMLProfileException("Buffer overflow");
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return buffer;
}

void CXMLProfile::SetString(std::string_view section, std::string_view key,
                            std::string_view value) {
  std::lock_guard lock(m_lock);
  WriteValue(section, key, value);
}

bool CXMLProfile::GetBinary(std::string_view section, std::string_view key, void* buffer,
                            std::size_t capacity) {
  std::lock_guard lock(m_lock);
  bool found = false;
  std::string text = ReadValue(section, key, found);
  if (!found) return false;
  std::vector<std::uint8_t> bytes;
  if (!Base64Decode(text, bytes, capacity)) return false;
  if (!bytes.empty()) {
    if (buffer == nullptr) return false;
    std::memcpy(buffer, bytes.data(), bytes.size());
  }
  return true;
}

bool CXMLProfile::GetBinary(std::string_view section, std::string_view key,
                            std::vector<std::uint8_t>& out) {
  std::lock_guard lock(m_lock);
  bool found = false;
  std::string text = ReadValue(section, key, found);
  out.clear();
  if (!found) return false;
  return Base64Decode(text, out, text.size());
}

bool CXMLProfile::SetBinary(std::string_view section, std::string_view key, const void* data,
                            std::size_t length) {
  if (Base64EncodedLength(length) > kMaxBinaryText) return false;
  if (length > 0 && data == nullptr) return false;
  std::string text =
      Base64Encode(std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(data), length));
  std::lock_guard lock(m_lock);
  return WriteValue(section, key, text);
}

CXMLProfile& Profile() {
  static CXMLProfile profile;
  return profile;
}

}  // namespace sorvani
