#include "lib/fpattern/fpattern.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <unordered_map>

namespace sorvani {
namespace {

inline unsigned char Fold(char c) {
  auto u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

// Range bounds compare as signed bytes, so 0x80 and above lie below every ASCII character.
inline int FoldSigned(char c) { return static_cast<signed char>(Fold(c)); }

// One match of a pattern against a name. The result of a sub-match depends only on the two
// positions, so once the recursion has done more than a little work it remembers the results
// per (pattern position, name position): a hostile pattern such as "*a*a*a*a*a*b" then costs
// at most (wildcards × name length) sub-matches instead of an exponential number.
class CMatcher {
 public:
  CMatcher(const char* pattern, const char* name) : m_pattern(pattern), m_name(name) {
    m_nameLength = std::strlen(name);
  }

  bool Run() {
    bool result = Rest(0, 0);
    return result && !m_aborted;
  }

 private:
  // Nesting of wildcards and negations deeper than this is refused (matches nothing) rather
  // than risking the stack.
  static constexpr int kMaxDepth = 4096;
  // Sub-matches made before results start being remembered; typical searches stay below it
  // and so never allocate.
  static constexpr unsigned kMemoAfter = 256;

  bool Sub(std::size_t p, std::size_t s) {
    if (m_aborted) return false;
    if (++m_calls > kMemoAfter) {
      std::uint64_t key = (static_cast<std::uint64_t>(p) << 32) | s;
      if (auto it = m_memo.find(key); it != m_memo.end()) return it->second;
      bool result = Deeper(p, s);
      if (!m_aborted) m_memo.emplace(key, result);
      return result;
    }
    return Deeper(p, s);
  }

  bool Deeper(std::size_t p, std::size_t s) {
    if (++m_depth > kMaxDepth) {
      m_aborted = true;
      --m_depth;
      return false;
    }
    bool result = Rest(p, s);
    --m_depth;
    return result;
  }

  bool Rest(std::size_t p, std::size_t s) {
    for (;;) {
      char c = m_pattern[p];
      if (c == '\0') return s == m_nameLength;
      ++p;
      char n = m_name[s];
      switch (c) {
        case kPatternNoDotRun: {
          std::size_t run = 0;
          while (s + run < m_nameLength && m_name[s + run] != '.') ++run;
          for (std::size_t k = run + 1; k-- > 0;)
            if (Sub(p, s + k)) return true;
          return false;
        }
        case '!':
          if (m_pattern[p] == '\0') return false;
          return !Sub(p, s);
        case '*': {
          for (std::size_t k = m_nameLength - s + 1; k-- > 0;)
            if (Sub(p, s + k)) return true;
          return false;
        }
        case '?':
          if (n == '\0') return false;
          ++s;
          break;
        case '[': {
          bool negated = m_pattern[p] == '!';
          if (negated) ++p;
          bool matched = negated;
          bool decided = false;
          while (m_pattern[p] != ']') {
            if (m_pattern[p] == '\0') return false;
            if (m_pattern[p] == kPatternEscape) ++p;
            char low = m_pattern[p];
            if (low == '\0') return false;
            ++p;
            char high = low;
            if (m_pattern[p] == '-') {
              ++p;
              if (m_pattern[p] == kPatternEscape) ++p;
              high = m_pattern[p];
              if (high == '\0') return false;
              ++p;
            }
            if (m_pattern[p] == '\0') return false;
            if (!decided && FoldSigned(n) >= FoldSigned(low) && FoldSigned(n) <= FoldSigned(high)) {
              matched = !negated;
              decided = true;
            }
          }
          if (!matched || n == '\0') return false;
          ++p;
          ++s;
          break;
        }
        case kPatternEscape:
          if (m_pattern[p] == '\0' || Fold(m_pattern[p]) != Fold(n)) return false;
          ++p;
          ++s;
          break;
        default:
          if (Fold(c) != Fold(n)) return false;
          ++s;
          break;
      }
    }
  }

  const char* m_pattern;
  const char* m_name;
  std::size_t m_nameLength = 0;
  unsigned m_calls = 0;
  int m_depth = 0;
  bool m_aborted = false;
  std::unordered_map<std::uint64_t, bool> m_memo;
};

}  // namespace

bool IsValidPattern(const char* pattern) {
  if (!pattern) return false;
  const char* p = pattern;
  while (*p) {
    if (*p == '!' || *p == kPatternEscape) {
      if (p[1] == '\0') return false;
      p += 2;
      continue;
    }
    if (*p == '[') {
      ++p;
      if (*p == '!') ++p;
      for (;;) {
        if (*p == '\0') return false;
        if (*p == ']') break;
        if (*p == kPatternEscape) ++p;
        if (*p == '\0') return false;
        ++p;
        if (*p == '-') {
          ++p;
          if (*p == kPatternEscape) ++p;
          if (*p == '\0') return false;
          ++p;
        }
      }
      ++p;
      continue;
    }
    ++p;
  }
  return true;
}

bool MatchPattern(const char* pattern, const char* name) {
  if (!pattern || !name || !IsValidPattern(pattern)) return false;
  if (*name == '\0') return *pattern == '\0';
  return MatchRest(pattern, name);
}

bool MatchRest(const char* pattern, const char* name) {
  if (!pattern || !name) return false;
  return CMatcher(pattern, name).Run();
}

bool IsPlainPatternText(std::string_view text) {
  for (char c : text)
    if (c == '?' || c == '*' || c == kPatternNoDotRun || c == '[' || c == ']' ||
        c == kPatternEscape || c == '!' || c == '\0')
      return false;
  return true;
}

bool MatchContains(std::string_view text, std::string_view name) {
  const std::size_t n = name.size(), m = text.size();
  if (m == 0 || m > n) return false;
  const unsigned char first = Fold(text[0]);
  for (std::size_t i = 0; i + m <= n; ++i) {
    if (Fold(name[i]) != first) continue;
    std::size_t k = 1;
    while (k < m && Fold(name[i + k]) == Fold(text[k])) ++k;
    // `text` holds no NUL, so a match lies wholly before the name's first NUL or after it;
    // only the first counts.
    if (k == m) return std::memchr(name.data(), 0, i) == nullptr;
  }
  return false;
}

}  // namespace sorvani
