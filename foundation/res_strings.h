// Texts loaded by number: message boxes, status texts and names the recovery engine shows.
// They come from the built-in table (svres/string_table.h) or, once the desktop program has
// loaded its resource library, from that library. A library is a file on disk, so every formatted
// text goes through FormatResString, which refuses a text whose placeholders do not match the
// arguments instead of reading garbage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "svres/res_ids.h"

namespace sorvani {

inline constexpr char kResourceNotAvailable[] = "Resource not available!";

// Longest text taken from a resource library, in bytes: the design's 512-byte buffer less its
// terminator.
inline constexpr std::size_t kMaxResStringBytes = 511;

// A library's lookup: the UTF-8 text of `id`, or null when it has none.
using ResourceStringSource = const char* (*)(unsigned id);

// Makes LoadResString ask `source` instead of the built-in table; null goes back to the table.
// Set once at start-up, before other threads load texts.
void SetResourceStringSource(ResourceStringSource source);

// `text` cut to at most `maxBytes` bytes without splitting a UTF-8 sequence.
std::string_view CutUtf8(std::string_view text, std::size_t maxBytes);

// A text as a library gave it: kResourceNotAvailable for null, else its first bytes up to
// kMaxResStringBytes (never reading further than that, never splitting a UTF-8 sequence).
std::string LibraryResText(const char* text);

// The text of string `id`, or kResourceNotAvailable when there is none. Texts of a library are
// cut to kMaxResStringBytes.
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
