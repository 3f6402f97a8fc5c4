#include "foundation/display_format.h"

#include <locale.h>
#include <stdlib.h>
#include "foundation/file_time.h"

#include <strings.h>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace sorvani {

namespace {

constexpr double kKiB = 1024.0;
constexpr double kMiB = 1048576.0;
constexpr double kGiB = 1073741824.0;

std::atomic<IFileTypeProvider*> g_fileTypeProvider{nullptr};

// Whole seconds of a duration; negative or NaN counts as 0.
std::uint32_t WholeSeconds(double seconds) {
  if (!(seconds > 0)) return 0;
  if (seconds >= 4294967295.0) return 4294967295u;
  return static_cast<std::uint32_t>(seconds);
}

std::string Printf(const char* format, auto... args) {
  char buffer[64];
  int n = std::snprintf(buffer, sizeof buffer, format, args...);
  return n < 0 ? std::string() : std::string(buffer);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string FormatSize(std::uint64_t bytes, bool precise) {
  double x = static_cast<double>(bytes);
  if (x >= kGiB) return Printf("%0.1f GB", x / kGiB);
  if (x >= kMiB) return Printf("%0.1f MB", x / kMiB);
  if (x >= kKiB) return Printf(precise ? "%0.1f KB" : "%0.0f KB", x / kKiB);
  if (x / kKiB >= 0.1) return Printf("%0.1f KB", x / kKiB);
  return "0 KB";
}

std::uint64_t ParseSize(std::string_view text) {
  auto nextPiece = [&text]() {
    std::size_t start = 0;
    while (start < text.size() && IsBlank(text[start])) ++start;
    std::size_t end = start;
    while (end < text.size() && !IsBlank(text[end])) ++end;
    std::string piece(text.substr(start, end - start));
    text.remove_prefix(end);
    return piece;
  };
  std::string number = nextPiece();
  std::string unit = nextPiece();

  // Typed sizes use the full stop whatever locale a front end has switched to.
  static locale_t cLocale = ::newlocale(LC_ALL_MASK, "C", nullptr);
  double value = cLocale ? ::strtod_l(number.c_str(), nullptr, cLocale) : std::atof(number.c_str());

  double factor = 1.0;
  if (::strcasecmp(unit.c_str(), "KB") == 0)
    factor = kKiB;
  else if (::strcasecmp(unit.c_str(), "MB") == 0)
    factor = kMiB;
  else if (::strcasecmp(unit.c_str(), "GB") == 0)
    factor = kGiB;

  double bytes = std::trunc(value * factor);
  if (!(bytes > 0)) return 0;  // negative, zero or NaN
  if (bytes >= 18446744073709551616.0) return UINT64_MAX;
  return static_cast<std::uint64_t>(bytes);
}

std::string FormatElapsed(double seconds) {
  std::uint32_t s = WholeSeconds(seconds);
  int h = static_cast<int>(s / 3600);
  int m = static_cast<int>(s % 3600 / 60);
  int c = static_cast<int>(s % 3600 % 60);
  // Whole seconds decide the form, so a full minute or hour is shown as one.
  if (s >= 3600) return Printf("%d hours %d min %d sec", h, m, c);
  if (s >= 60) return Printf("%d min %d sec", m, c);
  return Printf("%d sec", c);
}

std::string FormatEstimate(double seconds) {
  std::uint32_t s = WholeSeconds(seconds);
  int h = static_cast<int>(s / 3600);
  int m = static_cast<int>(s % 3600 / 60);
  int c = static_cast<int>(s % 3600 % 60);
  if (s >= 3600) return Printf("%d hours %d min", h, m);
  if (s >= 60) return Printf("%d min %d sec", m, c - c % 5);
  // Below 5 seconds the last few are counted exactly.
  return Printf("%d sec", seconds >= 5 ? c - c % 5 : c);
}

std::size_t Utf8SequenceAt(std::string_view text, std::size_t at) {
  if (at >= text.size()) return 0;
  auto c = static_cast<unsigned char>(text[at]);
  if (c < 0x80) return 1;
  // The length of a well-formed sequence and the range its second byte must lie in, which
  // rules out overlong forms, surrogates and code points past U+10FFFF.
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;
  if (c >= 0xC2 && c <= 0xDF)
    length = 2;
  else if (c == 0xE0)
    length = 3, low = 0xA0;
  else if (c == 0xED)
    length = 3, high = 0x9F;
  else if (c >= 0xE1 && c <= 0xEF)
    length = 3;
  else if (c == 0xF0)
    length = 4, low = 0x90;
  else if (c >= 0xF1 && c <= 0xF3)
    length = 4;
  else if (c == 0xF4)
    length = 4, high = 0x8F;
  if (length == 0 || length > text.size() - at) return 0;
  auto second = static_cast<unsigned char>(text[at + 1]);
  if (second < low || second > high) return 0;
  for (std::size_t k = 2; k < length; ++k)
    if ((static_cast<unsigned char>(text[at + k]) & 0xC0) != 0x80) return 0;
  return length;
}

std::string EscapeControlCharacters(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  auto escape = [&out](unsigned char byte) {
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 15];
  };
  std::size_t i = 0;
  while (i < text.size()) {
    auto c = static_cast<unsigned char>(text[i]);
    std::size_t length = Utf8SequenceAt(text, i);
    // U+0080..U+009F are the C1 controls (a lone 0x9B starts a sequence on some terminals).
    bool control = c < 0x20 || c == 0x7F ||
                   (c == 0xC2 && length == 2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F);
    if (length == 0) {
      escape(c);
      ++i;
    } else if (control) {
      for (std::size_t k = 0; k < length; ++k) escape(static_cast<unsigned char>(text[i + k]));
      i += length;
    } else {
      out.append(text.substr(i, length));
      i += length;
    }
  }
  return out;
}

std::string FormatAttributes(std::uint32_t attributes) {
  static constexpr struct {
    std::uint32_t bit;
    const char* text;
  } kNames[] = {
      {0x1, "Read-Only, "},    {0x2, "Hidden, "},     {0x4, "System, "},
      {0x20, "Archive, "},     {0x40, "Device, "},    {0x80, "Normal, "},
      {0x100, "Temporary, "},  {0x200, "Sparse, "},   {0x400, "Reparse Point, "},
      {0x800, "Compressed, "}, {0x1000, "Offline, "}, {0x2000, "Not Content Indexed, "},
      {0x4000, "Encrypted, "},
  };
  std::string text;
  for (const auto& name : kNames) {
    if (attributes & name.bit) text += name.text;
  }
  while (!text.empty() && (text.back() == ',' || text.back() == ' ')) text.pop_back();
  return text;
}

std::string FormatFileTime(std::uint64_t fileTime, const char* pattern) {
  if (fileTime == 0 || pattern == nullptr) return {};
  std::time_t t = static_cast<std::time_t>(FileTimeToUnixSeconds(fileTime));
  std::tm local{};
  if (::localtime_r(&t, &local) == nullptr) return {};
  char buffer[128];
  std::size_t n = std::strftime(buffer, sizeof buffer, pattern, &local);
  return n == 0 ? std::string() : std::string(buffer, n);
}

void SetFileTypeProvider(IFileTypeProvider* provider) { g_fileTypeProvider.store(provider); }

FileTypeInfo DescribeFileType(std::string_view name) {
  std::size_t dot = name.rfind('.');
  std::string_view extension =
      dot == std::string_view::npos ? std::string_view() : name.substr(dot);
  auto isExtension = [extension](const char* wanted) {
    std::string_view w(wanted);
    if (extension.size() != w.size()) return false;
    for (std::size_t i = 0; i < w.size(); ++i) {
      if (std::tolower(static_cast<unsigned char>(extension[i])) != w[i]) return false;
    }
    return true;
  };

  FileTypeInfo info;
  if (IFileTypeProvider* provider = g_fileTypeProvider.load()) info = provider->Describe(name);
  // Programs and icons are named by us; the desktop is asked only for their icon.
  if (isExtension(".exe")) {
    info.description = "Application";
  } else if (isExtension(".ico")) {
    info.description = "Icon File";
  } else if (info.description.empty() && dot != std::string_view::npos) {
    for (char c : extension.substr(1))
      info.description += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    info.description += " File";
  }
  return info;
}

}  // namespace sorvani
