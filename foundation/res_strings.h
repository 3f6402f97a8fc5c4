// Texts loaded by number: message boxes, status texts and names the recovery engine shows.
// Today they come from a built-in English table; the desktop program may later load them from its
// resource library, so every formatted text goes through FormatResString, which refuses a text
// whose placeholders do not match the arguments instead of reading garbage.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace sorvani {

inline constexpr char kResourceNotAvailable[] = "Resource not available!";

// Numbers used by the recovery engine. "(path)" and the like name the arguments a formatted
// text takes, in order; the others are shown as they are.
inline constexpr unsigned kIdsCaption = 1;               // caption of every recovery prompt
inline constexpr unsigned kIdsFileExists = 3;            // (path) overwrite?
inline constexpr unsigned kIdsFileCreateFailed = 4;      // (system error text, path)
inline constexpr unsigned kIdsFolderParentMissing = 12;  // (path) create the missing folders?
inline constexpr unsigned kIdsFolderExists = 13;         // (path) use the existing folder?
inline constexpr unsigned kIdsOrphanFolderName = 14;     // (record number)
inline constexpr unsigned kIdsFolderCreateFailed = 15;   // (system error text, path)
inline constexpr unsigned kIdsFolderPathFailed = 16;     // (path)
inline constexpr unsigned kIdsWriteFailed = 17;          // (system error text, path)
inline constexpr unsigned kIdsStatusWorking = 62;
inline constexpr unsigned kIdsStatusAborted = 63;
inline constexpr unsigned kIdsStatusRecordUnreadable = 64;
inline constexpr unsigned kIdsStatusItemFailed = 65;
inline constexpr unsigned kIdsStatusNoFileName = 66;
inline constexpr unsigned kIdsStatusFileNotCreated = 67;
inline constexpr unsigned kIdsStatusEfsCorrupt = 68;
inline constexpr unsigned kIdsStatusEfsOpenFailed = 69;
inline constexpr unsigned kIdsStatusEfsImportFailed = 70;
inline constexpr unsigned kIdsStatusWriteFailed = 71;
inline constexpr unsigned kIdsStatusStreamIncomplete = 72;
inline constexpr unsigned kIdsStatusStreamNotCreated = 73;
inline constexpr unsigned kIdsStatusNoData = 74;
inline constexpr unsigned kIdsStatusFolderNotCreated = 75;
inline constexpr unsigned kIdsStatusFolderSkipped = 76;
inline constexpr unsigned kIdsStatusFolderFailures = 77;
inline constexpr unsigned kIdsMsgRecordUnreadable = 78;   // (path)
inline constexpr unsigned kIdsMsgNoFileName = 79;         // (path)
inline constexpr unsigned kIdsMsgEfsCorrupt = 80;         // (path)
inline constexpr unsigned kIdsMsgEfsOpenFailed = 81;      // (path)
inline constexpr unsigned kIdsMsgEfsImportFailed = 82;    // (path)
inline constexpr unsigned kIdsMsgStreamIncomplete = 83;   // (path)
inline constexpr unsigned kIdsMsgStreamNotCreated = 84;   // (stream path)
inline constexpr unsigned kIdsMsgNoData = 85;             // (path)
inline constexpr unsigned kIdsStatusRecordDamaged = 120;  // read, but not a usable record

// The text of string `id`, or kResourceNotAvailable when there is none.
std::string LoadResString(unsigned id);

// One argument of a formatted resource text; integers of any width meet any integer placeholder.
struct ResArg {
  enum class Kind { kSigned, kUnsigned, kDouble, kText };
  Kind kind = Kind::kText;
  long long i = 0;
  unsigned long long u = 0;
  double d = 0;
  std::string text;
};

template <class T>
ResArg MakeResArg(const T& value) {
  using U = std::decay_t<T>;
  ResArg arg;
  if constexpr (std::is_array_v<T>) {
    arg.text = value;  // a string literal or char array
  } else if constexpr (std::is_same_v<U, bool>) {
    arg.kind = ResArg::Kind::kUnsigned;
    arg.u = value ? 1 : 0;
  } else if constexpr (std::is_integral_v<U> && std::is_signed_v<U>) {
    arg.kind = ResArg::Kind::kSigned;
    arg.i = static_cast<long long>(value);
  } else if constexpr (std::is_integral_v<U>) {
    arg.kind = ResArg::Kind::kUnsigned;
    arg.u = static_cast<unsigned long long>(value);
  } else if constexpr (std::is_floating_point_v<U>) {
    arg.kind = ResArg::Kind::kDouble;
    arg.d = static_cast<double>(value);
  } else if constexpr (std::is_same_v<U, const char*> || std::is_same_v<U, char*>) {
    if (value != nullptr) arg.text = value;
  } else {
    arg.text = std::string(std::string_view(value));
  }
  return arg;
}

// printf-style formatting of `format` with `args`. The conversions d i u o x X c e E f F g G a A s
// with flags, width and precision (length modifiers are ignored: the argument's own type counts)
// and "%%". Returns false, leaving `out` empty, when a conversion is unknown or the count or kind
// of the arguments does not match.
bool FormatResText(std::string_view format, std::span<const ResArg> args, std::string& out);

std::string FormatResStringArgs(unsigned id, std::span<const ResArg> args);

// String `id` formatted with `args`; a text that does not match them is returned unformatted (and
// logged) rather than risk reading arguments that are not there.
template <class... Args>
std::string FormatResString(unsigned id, const Args&... args) {
  const ResArg list[] = {MakeResArg(args)..., ResArg{}};  // never empty
  return FormatResStringArgs(id, std::span<const ResArg>(list, sizeof...(Args)));
}

}  // namespace sorvani
