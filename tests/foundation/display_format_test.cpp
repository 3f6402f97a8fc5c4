#include "foundation/display_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>

namespace sorvani {
namespace {

TEST(DisplayFormatTest, SizesPickTheirUnitAndRounding) {
  EXPECT_EQ(FormatSize(0, false), "0 KB");
  EXPECT_EQ(FormatSize(102, false), "0 KB");
  EXPECT_EQ(FormatSize(103, false), "0.1 KB");
  EXPECT_EQ(FormatSize(1023, false), "1.0 KB");
  EXPECT_EQ(FormatSize(1024, false), "1 KB");
  EXPECT_EQ(FormatSize(1536, false), "2 KB");
  EXPECT_EQ(FormatSize(1536, true), "1.5 KB");
  EXPECT_EQ(FormatSize(1048575, false), "1024 KB");
  EXPECT_EQ(FormatSize(1048576, false), "1.0 MB");
  EXPECT_EQ(FormatSize(1073741823, true), "1024.0 MB");
  EXPECT_EQ(FormatSize(1073741824, false), "1.0 GB");
  EXPECT_EQ(FormatSize(5ull << 40, false), "5120.0 GB");
  // Above 2^63 a signed conversion would go negative.
  EXPECT_EQ(FormatSize(0x8000000000000000ull, false), "8589934592.0 GB");
  EXPECT_EQ(FormatSize(UINT64_MAX, false), "17179869184.0 GB");
}

TEST(DisplayFormatTest, TypedSizesParseNumberAndUnit) {
  EXPECT_EQ(ParseSize("5.0 MB"), 5242880u);
  EXPECT_EQ(ParseSize("100"), 100u);
  EXPECT_EQ(ParseSize("2 gb"), 2147483648u);
  EXPECT_EQ(ParseSize("1.5 Kb"), 1536u);
  EXPECT_EQ(ParseSize("  3 \t KB  extra"), 3072u);
  EXPECT_EQ(ParseSize("7 TB"), 7u);  // unknown unit: bytes
  EXPECT_EQ(ParseSize("5MB"), 5u);   // the unit must stand apart
  EXPECT_EQ(ParseSize("0.7"), 0u);   // truncated toward zero
  EXPECT_EQ(ParseSize("12abc KB"), 12288u);
  EXPECT_EQ(ParseSize("abc"), 0u);
  EXPECT_EQ(ParseSize(""), 0u);
  EXPECT_EQ(ParseSize("-5 KB"), 0u);
  EXPECT_EQ(ParseSize("nan"), 0u);
  EXPECT_EQ(ParseSize("1e300 GB"), UINT64_MAX);
  EXPECT_EQ(ParseSize("inf"), UINT64_MAX);
}

TEST(DisplayFormatTest, ElapsedAndEstimatedDurations) {
  struct Case {
    double seconds;
    const char* elapsed;
    const char* estimate;
  };
  // A full minute or hour is shown as one, not as the seconds of the next unit down.
  static const Case kCases[] = {
      {0, "0 sec", "0 sec"},
      {4, "4 sec", "4 sec"},
      {4.9, "4 sec", "4 sec"},
      {5, "5 sec", "5 sec"},
      {9, "9 sec", "5 sec"},
      {59.9, "59 sec", "55 sec"},
      {60, "1 min 0 sec", "1 min 0 sec"},
      {60.5, "1 min 0 sec", "1 min 0 sec"},
      {65.2, "1 min 5 sec", "1 min 5 sec"},
      {124, "2 min 4 sec", "2 min 0 sec"},
      {3599, "59 min 59 sec", "59 min 55 sec"},
      {3599.9, "59 min 59 sec", "59 min 55 sec"},
      {3600, "1 hours 0 min 0 sec", "1 hours 0 min"},
      {3600.5, "1 hours 0 min 0 sec", "1 hours 0 min"},
      {7384, "2 hours 3 min 4 sec", "2 hours 3 min"},
      {-3, "0 sec", "0 sec"},
      {std::nan(""), "0 sec", "0 sec"},
      {1e30, "1193046 hours 28 min 15 sec", "1193046 hours 28 min"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.seconds);
    EXPECT_EQ(FormatElapsed(c.seconds), c.elapsed);
    EXPECT_EQ(FormatEstimate(c.seconds), c.estimate);
  }
}

TEST(DisplayFormatTest, ControlCharactersAndBrokenUtf8AreEscaped) {
  struct Case {
    std::string in;
    std::string out;
  };
  static const Case kCases[] = {
      {"plain name.txt", "plain name.txt"},
      {"", ""},
      {"a\\x1b", "a\\x1b"},  // a backslash stays as it is (the path separator of the listing)
      {"\x1b[31mred", "\\x1b[31mred"},
      {"\x1b[2Jgone\x07", "\\x1b[2Jgone\\x07"},
      {"row\nD   forged", "row\\x0aD   forged"},
      {"tab\there\r", "tab\\x09here\\x0d"},
      {std::string("nul\0end", 7), "nul\\x00end"},
      {"del\x7f", "del\\x7f"},
      // UTF-8 passes whole: two-, three- and four-byte sequences.
      {"caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x93\xb7", "caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x93\xb7"},
      // C1 controls (U+009B is a one-character CSI) are escaped byte by byte.
      {"\xc2\x9b"
       "31m",
       "\\xc2\\x9b"
       "31m"},
      {"\xc2\x85", "\\xc2\\x85"},
      {"\xc2\xa0", "\xc2\xa0"},  // no-break space is not a control
      // Bytes that are not UTF-8: stray continuation, lone lead, overlong, surrogate, too big.
      {"a\x80"
       "b",
       "a\\x80"
       "b"},
      {"\xc3", "\\xc3"},
      {"\xc3(", "\\xc3("},
      {"\xc0\xaf", "\\xc0\\xaf"},
      {"\xe0\x80\xaf", "\\xe0\\x80\\xaf"},
      {"\xed\xa0\x80", "\\xed\\xa0\\x80"},
      {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
      {"\xff\xfe", "\\xff\\xfe"},
      {"\xe6\x97", "\\xe6\\x97"},  // cut short at the end
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.in);
    std::string got = EscapeControlCharacters(c.in);
    EXPECT_EQ(got, c.out);
    for (char ch : got) {
      auto u = static_cast<unsigned char>(ch);
      EXPECT_FALSE(u < 0x20 || u == 0x7F) << "control byte left in the output";
    }
  }
}

TEST(DisplayFormatTest, AttributesInFixedOrder) {
  EXPECT_EQ(FormatAttributes(0x21), "Read-Only, Archive");
  EXPECT_EQ(FormatAttributes(0x10), "");
  EXPECT_EQ(FormatAttributes(0), "");
  EXPECT_EQ(FormatAttributes(0x4000 | 0x2), "Hidden, Encrypted");
  EXPECT_EQ(FormatAttributes(0xFFFFFFFF),
            "Read-Only, Hidden, System, Archive, Device, Normal, Temporary, Sparse, "
            "Reparse Point, Compressed, Offline, Not Content Indexed, Encrypted");
}

TEST(DisplayFormatTest, FileTimesInLocalTime) {
  // Pin the zone so the expected texts hold on any machine.
  const char* oldZone = std::getenv("TZ");
  std::string saved = oldZone ? oldZone : "";
  ::setenv("TZ", "UTC0", 1);
  ::tzset();

  constexpr std::uint64_t kUnixEpoch = 116444736000000000ull;
  constexpr std::uint64_t kPerSecond = 10000000ull;
  std::uint64_t t =
      kUnixEpoch + 1764930600ull * kPerSecond + 9999999;  // 2025-12-05 10:30:00.9999999
  EXPECT_EQ(FormatFileTime(t, "%Y-%m-%d %H:%M:%S"), "2025-12-05 10:30:00");
  EXPECT_EQ(FormatFileTime(t, "%B %d, %Y %I:%M %p"), "December 05, 2025 10:30 AM");
  EXPECT_EQ(FormatFileTime(0, "%Y"), "");
  EXPECT_EQ(FormatFileTime(1, "%Y-%m-%d"), "1601-01-01");  // earliest tick, before 1970
  EXPECT_EQ(FormatFileTime(t, ""), "");
  EXPECT_EQ(FormatFileTime(t, nullptr), "");
  EXPECT_NE(FormatFileTime(UINT64_MAX, "%Y"), "");  // year 58000-odd: formatted, no overflow

  ::setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
  ::tzset();
  EXPECT_EQ(FormatFileTime(t, "%H:%M"), "05:30");                  // winter: UTC-5
  std::uint64_t summer = kUnixEpoch + 1751365800ull * kPerSecond;  // 2025-07-01 10:30 UTC
  EXPECT_EQ(FormatFileTime(summer, "%H:%M"), "06:30");             // summer: UTC-4

  if (oldZone)
    ::setenv("TZ", saved.c_str(), 1);
  else
    ::unsetenv("TZ");
  ::tzset();
}

class CFakeProvider : public IFileTypeProvider {
 public:
  FileTypeInfo Describe(std::string_view name) override {
    ++m_calls;
    FileTypeInfo info;
    info.icon = std::make_shared<int>(7);
    if (name.ends_with(".doc")) info.description = "Word Document";
    if (name.ends_with(".exe")) info.description = "Desktop's own name";
    return info;
  }
  int m_calls = 0;
};

TEST(DisplayFormatTest, FileTypesFallBackToTheExtension) {
  EXPECT_EQ(DescribeFileType("setup.EXE").description, "Application");
  EXPECT_EQ(DescribeFileType("app.ico").description, "Icon File");
  EXPECT_EQ(DescribeFileType("notes.txt").description, "TXT File");
  EXPECT_EQ(DescribeFileType("archive.tar.gz").description, "GZ File");
  EXPECT_EQ(DescribeFileType(".bashrc").description, "BASHRC File");
  EXPECT_EQ(DescribeFileType("Notes").description, "");
  EXPECT_EQ(DescribeFileType("").description, "");
  EXPECT_EQ(DescribeFileType("notes.txt").icon, nullptr);

  CFakeProvider provider;
  SetFileTypeProvider(&provider);
  FileTypeInfo doc = DescribeFileType("Report.doc");
  FileTypeInfo exe = DescribeFileType("run.exe");
  FileTypeInfo txt = DescribeFileType("a.txt");
  SetFileTypeProvider(nullptr);
  EXPECT_EQ(doc.description, "Word Document");
  EXPECT_EQ(exe.description, "Application");  // our own name wins, the desktop's icon is kept
  ASSERT_NE(exe.icon, nullptr);
  EXPECT_EQ(*static_cast<int*>(exe.icon.get()), 7);
  EXPECT_EQ(txt.description, "TXT File");
  EXPECT_EQ(provider.m_calls, 3);
}

}  // namespace
}  // namespace sorvani
