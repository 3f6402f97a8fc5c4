// The name pattern matcher: the documented table, a differential check of the bounded
// matcher against a plain backtracking one, and hostile patterns that must stay fast.
#include "lib/fpattern/fpattern.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

namespace sorvani {
namespace {

TEST(Fpattern, DocumentedResults) {
  struct Row {
    std::string pattern, name;
    bool result;
  } rows[] = {
      {"*", "", false},
      {"", "", true},
      {"*.TXT", "readme.txt", true},
      {"[a-c]*", "Beta", true},
      {"[!a-c]*", "beta", false},
      {"a[", "a", false},
      {"a!", "a", false},
      {"*!.tmp", "x.tmp", true},
      {"`*", "*", true},
      {"`*", "a", false},
      {"ab[!x]", "ab", false},
      {"[]a", "a", false},
      {"[!]", "q", true},
      {"[a-\xE9]", "b", false},
      // More of the same rules.
      {"?", "", false},
      {"a?c", "abc", true},
      {"a?c", "ac", false},
      {"\x1A.txt", "notes.txt", true},
      {"\x1A", "a.b", false},  // the no-dot run cannot cross the "."
      {"\x1A.\x1A", "a.b", true},
      {"*doc*", "Report.DOCX", true},
      {"*doc*", "mydoc", true},
      {"[`]]x", "]x", true},
      {"[`]-a]", "^", true},  // escaped lower end
      {"[0-`]]", "5", true},  // escaped upper end
      {"!*.tmp", "keep.txt", true},
      {"!*.tmp", "drop.TMP", false},
      {"[b-a]", "a", false},  // an empty range
      {"A", "a", true},
      {"\xC9", "\xE9", false},  // only ASCII letters fold
  };
  for (const Row& r : rows)
    EXPECT_EQ(MatchPattern(r.pattern.c_str(), r.name.c_str()), r.result)
        << "pattern '" << r.pattern << "' name '" << r.name << "'";
  EXPECT_FALSE(MatchPattern(nullptr, "a"));
  EXPECT_FALSE(MatchPattern("a", nullptr));
}

TEST(Fpattern, Validity) {
  for (const char* ok : {"", "abc", "[]", "[!]", "[a-z]", "[`]]", "`[", "![", "a*?", "[a-`]]"})
    EXPECT_TRUE(IsValidPattern(ok)) << ok;
  for (const char* bad : {"[", "[a", "[a-", "[a-]", "a!", "`", "[`", "[!", "x[a-b"})
    EXPECT_FALSE(IsValidPattern(bad)) << bad;
  EXPECT_FALSE(IsValidPattern(nullptr));
}

// The matcher's rules as a plain backtracking recursion without any bound.
bool Plain(const char* p, const char* s) {
  auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
  for (;;) {
    if (!*p) return !*s;
    char c = *p++;
    switch (c) {
      case '\x1A': {
        std::size_t n = 0;
        while (s[n] && s[n] != '.') ++n;
        for (std::size_t k = n + 1; k-- > 0;)
          if (Plain(p, s + k)) return true;
        return false;
      }
      case '!':
        return *p && !Plain(p, s);
      case '*': {
        for (std::size_t k = std::strlen(s) + 1; k-- > 0;)
          if (Plain(p, s + k)) return true;
        return false;
      }
      case '?':
        if (!*s) return false;
        ++s;
        break;
      case '[': {
        bool neg = *p == '!';
        if (neg) ++p;
        int state = -1;  // -1 undecided
        while (*p != ']') {
          if (!*p) return false;
          if (*p == '`') ++p;
          char lo = *p, hi;
          if (!lo) return false;
          ++p;
          hi = lo;
          if (*p == '-') {
            ++p;
            if (*p == '`') ++p;
            hi = *p;
            if (!hi) return false;
            ++p;
          }
          if (!*p) return false;
          signed char n = static_cast<signed char>(fold(*s));
          if (state < 0 && n >= static_cast<signed char>(fold(lo)) &&
              n <= static_cast<signed char>(fold(hi)))
            state = 1;
        }
        bool matched = neg ? state < 0 : state > 0;
        if (!matched || !*s) return false;
        ++p;
        ++s;
        break;
      }
      case '`':
        if (!*p || fold(*p) != fold(*s)) return false;
        ++p;
        ++s;
        break;
      default:
        if (fold(c) != fold(*s)) return false;
        ++s;
    }
  }
}

TEST(Fpattern, BoundedMatcherAgreesWithPlainBacktracking) {
  std::mt19937 rng(11);
  const char alphabet[] = "ab.*?![]-`\x1A";
  const char nameAlphabet[] = "abAB.-]";
  int checked = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string p, s;
    for (int k = static_cast<int>(rng() % 12); k > 0; --k)
      p += alphabet[rng() % (sizeof alphabet - 1)];
    for (int k = static_cast<int>(rng() % 14); k > 0; --k)
      s += nameAlphabet[rng() % (sizeof nameAlphabet - 1)];
    ASSERT_EQ(MatchRest(p.c_str(), s.c_str()), Plain(p.c_str(), s.c_str()))
        << "pattern '" << p << "' name '" << s << "'";
    ++checked;
  }
  // Star-heavy patterns, which go past the point where results are remembered.
  for (int i = 0; i < 3000; ++i) {
    std::string p, s;
    for (int k = 0; k < 6; ++k) p += std::string("*") + "ab"[rng() % 2];
    if (rng() % 3 == 0) p.insert(rng() % p.size(), "!");
    for (int k = static_cast<int>(rng() % 24); k > 0; --k) s += "ab"[rng() % 2];
    ASSERT_EQ(MatchRest(p.c_str(), s.c_str()), Plain(p.c_str(), s.c_str()))
        << "pattern '" << p << "' name '" << s << "'";
  }
  EXPECT_EQ(checked, 20000);
}

TEST(Fpattern, PlainContainsAgreesWithTheMatcher) {
  // Names with case differences, bytes above 0x7F, special characters of patterns, and an
  // embedded NUL, against plain texts of the same alphabet less the special characters.
  std::mt19937 rng(5);
  const char nameAlphabet[] = "abAB.-]*?\xC3\xA9\xC3\x89";
  const char textAlphabet[] = "abAB.-\xC3\xA9\xC3\x89";
  for (int i = 0; i < 30000; ++i) {
    std::string text, name;
    for (int k = 1 + static_cast<int>(rng() % 4); k > 0; --k)
      text += textAlphabet[rng() % (sizeof textAlphabet - 1)];
    for (int k = static_cast<int>(rng() % 12); k > 0; --k)
      name += nameAlphabet[rng() % (sizeof nameAlphabet - 1)];
    if (rng() % 50 == 0) name.insert(name.size() / 2, 1, '\0');
    ASSERT_TRUE(IsPlainPatternText(text));
    ASSERT_EQ(MatchContains(text, name), MatchPattern(("*" + text + "*").c_str(), name.c_str()))
        << "text '" << text << "' name '" << name << "'";
  }
  for (const char* special : {"a*", "?", "[a]", "a]", "`a", "!a", "a\x1A"})
    EXPECT_FALSE(IsPlainPatternText(special)) << special;
  EXPECT_FALSE(MatchContains("a", ""));
  EXPECT_FALSE(MatchContains("", "abc"));
}

TEST(Fpattern, HostilePatternsStayBounded) {
  // Plain backtracking would take on the order of n^7 steps here.
  std::string name(600, 'a');
  EXPECT_FALSE(MatchPattern("*a*a*a*a*a*a*a*b", name.c_str()));
  EXPECT_TRUE(MatchPattern("*a*a*a*a*a*a*a*a", name.c_str()));
  std::string nodots(2000, 'a');
  EXPECT_FALSE(
      MatchPattern("\x1A"
                   "a\x1A"
                   "a\x1A"
                   "a\x1A"
                   "a\x1A"
                   "b",
                   nodots.c_str()));
  // Deep nesting of negations and stars is refused rather than exhausting the stack.
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "*!";
  deep += "a";
  EXPECT_FALSE(MatchPattern(deep.c_str(), "a"));
  std::string stars(100000, '*');
  EXPECT_FALSE(MatchPattern((stars + "b").c_str(), name.c_str()));
}

}  // namespace
}  // namespace sorvani
