// Texts every window and the command line show for sizes, durations, attribute sets, file types
// and time stamps, and the parser of a size typed by the user.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace sorvani {

// "12.3 MB", "2 KB", "0 KB"; `precise` keeps one decimal for sizes between 1 KB and 1 MB.
std::string FormatSize(std::uint64_t bytes, bool precise);
// "5.0 MB" -> 5,242,880; a number then an optional unit KB/MB/GB (any case). Never fails: text
// that is not a number gives 0; results are clamped to the 64-bit range.
std::uint64_t ParseSize(std::string_view text);
// "1 hours 2 min 5 sec", "2 min 5 sec", "5 sec".
std::string FormatElapsed(double seconds);
// Coarser, for time left: "1 hours 2 min", "2 min 5 sec", "55 sec" (seconds in steps of 5).
std::string FormatEstimate(double seconds);
// Text read off a volume made safe to print on a terminal: every control character (C0,
// DEL and the C1 range U+0080..U+009F) and every byte that is not part of valid UTF-8 is shown
// as "\xNN", one per byte, so no escape sequence reaches the terminal and no line break or
// tab forges a row or a column. Everything else passes unchanged.
std::string EscapeControlCharacters(std::string_view text);
// Length of the well-formed UTF-8 sequence that starts at `at` (1 for ASCII), 0 when the byte
// there starts none: a stray continuation byte, an overlong form, a surrogate, a code point
// past U+10FFFF, or a sequence cut short.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t at);
// "Read-Only, Archive"; bits without a name (directory 0x10 among them) are left out.
std::string FormatAttributes(std::uint32_t attributes);
// NTFS file time (100 ns units since 1601, UTC) in local time through `pattern` (strftime);
// empty for 0, for a time the platform cannot convert, or when formatting fails.
std::string FormatFileTime(std::uint64_t fileTime, const char* pattern);

// What a file name's type is called and looks like. The icon belongs to whoever holds the
// struct; it is released by the deleter its provider gave it.
struct FileTypeInfo {
  std::string description;
  std::shared_ptr<void> icon;
};

// Supplied by a front end that knows the desktop's file types (names and icons). Without one,
// only the built-in descriptions and the "TXT File" fallback are given.
class IFileTypeProvider {
 public:
  virtual ~IFileTypeProvider() = default;
  // What the desktop knows of `name`; empty fields for what it does not know.
  virtual FileTypeInfo Describe(std::string_view name) = 0;
};

// Not owned; the provider must outlive every call. nullptr removes it.
void SetFileTypeProvider(IFileTypeProvider* provider);
FileTypeInfo DescribeFileType(std::string_view name);

}  // namespace sorvani
