// fpattern: the file-name pattern matcher of the search. Single-byte strings, no path
// separator, ASCII letters compared without case.
//
//   ?        any one character          *      any run of characters
//   \x1A     any run without a "."      [..]   a set; [!..] a negated set; a-z a range
//   `        takes the next character literally
//   !        outside a set: the rest of the pattern must not match the rest of the name
#pragma once

#include <string_view>

namespace sorvani {

inline constexpr char kPatternEscape = '`';
inline constexpr char kPatternNoDotRun = '\x1A';

// Whether every set is closed and every escape and negation has a character after it.
bool IsValidPattern(const char* pattern);

// False for a missing string or an invalid pattern; an empty name matches only the empty
// pattern; otherwise MatchRest(pattern, name).
bool MatchPattern(const char* pattern, const char* name);

// The matcher proper, from a position in the pattern and one in the name. Wildcards take the
// longest run first and back off; the first success wins.
bool MatchRest(const char* pattern, const char* name);

// True when `text` holds none of the special characters above, so that the pattern
// "*text*" means "contains text".
bool IsPlainPatternText(std::string_view text);
// MatchPattern("*" + text + "*", name.data()) for a plain, non-empty `text`, found by a
// straight scan instead of the backtracking matcher; like the matcher it reads `name` only up
// to a first NUL.
bool MatchContains(std::string_view text, std::string_view name);

}  // namespace sorvani
