#include "foundation/file_time.h"

#include <gtest/gtest.h>

#include <ctime>

#include "foundation/name_compare.h"

namespace sorvani {
namespace {

TEST(FileTime, ConvertsBothWaysAtTheEdges) {
  struct Case {
    const char* what;
    std::uint64_t fileTime;
    std::int64_t unixSeconds;
  };
  const Case cases[] = {
      {"1601-01-01", 0, -11644473600},
      {"one tick before 1970 rounds down", 116444735999999999ull, -1},
      {"1970-01-01", 116444736000000000ull, 0},
      {"2001-01-01 plus 500 ns", 126227808000000005ull, 978307200},
      {"the last file time", ~std::uint64_t{0}, 1844674407370 - 11644473600},
  };
  for (const Case& c : cases) EXPECT_EQ(FileTimeToUnixSeconds(c.fileTime), c.unixSeconds) << c.what;

  // Against the C library's calendar for a date it can name.
  std::tm tm{};
  tm.tm_year = 2024 - 1900;
  tm.tm_mon = 1;
  tm.tm_mday = 29;
  tm.tm_hour = 12;
  EXPECT_EQ(FileTimeToUnixSeconds(UnixToFileTime(timegm(&tm))), timegm(&tm));

  EXPECT_EQ(UnixToFileTime(0), 116444736000000000ull);
  EXPECT_EQ(UnixToFileTime(978307200, 500), 126227808000000005ull);
  EXPECT_EQ(UnixToFileTime(-11644473600), 0u);
  EXPECT_EQ(UnixToFileTime(-11644473601), 0u) << "before 1601 clamps to 0";
  EXPECT_EQ(UnixToFileTime(INT64_MAX), ~std::uint64_t{0}) << "past the range clamps";
  EXPECT_EQ(UnixToFileTime(1844674407370 - 11644473600, 999999999), ~std::uint64_t{0})
      << "the last second's nanoseconds do not wrap";
  EXPECT_EQ(FileTimeSeconds(86400ull * kFileTimeTicksPerSecond + 1), 86400u);
}

TEST(NameCompare, FoldsAsciiOnly) {
  struct Case {
    const char* a;
    const char* b;
    bool same;
  };
  const Case cases[] = {
      {"NTFS", "ntfs", true},
      {"Fuse.NTFS-3G", "fuse.ntfs-3g", true},
      {"ntfs", "ntfs3", false},
      {"", "", true},
      {"a", "", false},
      {"[", "{", false},  // 0x5B and 0x7B differ by 0x20 but are not letters
      {"@", "`", false},
      {"\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\xA9", false},  // "Été" / "étÉ": non-ASCII compares as is
      {"\xC3\xA9T\xC3\xA9", "\xC3\xA9t\xC3\xA9", true},
  };
  for (const Case& c : cases) EXPECT_EQ(SameTextNoCase(c.a, c.b), c.same) << c.a << " / " << c.b;
}

}  // namespace
}  // namespace sorvani
