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
  EXPECT_EQ(FormatElapsed(0), "0 sec");
  EXPECT_EQ(FormatElapsed(59.9), "59 sec");
  EXPECT_EQ(FormatElapsed(60), "0 sec");  // not above 60: seconds of the minute only
  EXPECT_EQ(FormatElapsed(65.2), "1 min 5 sec");
  EXPECT_EQ(FormatElapsed(3600), "0 min 0 sec");  // not above an hour, and the hour is not shown
  EXPECT_EQ(FormatElapsed(3600.5), "1 hours 0 min 0 sec");
  EXPECT_EQ(FormatElapsed(7384), "2 hours 3 min 4 sec");
  EXPECT_EQ(FormatElapsed(-3), "0 sec");
  EXPECT_EQ(FormatElapsed(1e30), "1193046 hours 28 min 15 sec");

  EXPECT_EQ(FormatEstimate(59.9), "55 sec");
  EXPECT_EQ(FormatEstimate(4), "4 sec");
  EXPECT_EQ(FormatEstimate(4.9), "4 sec");
  EXPECT_EQ(FormatEstimate(5), "5 sec");
  EXPECT_EQ(FormatEstimate(9), "5 sec");
  EXPECT_EQ(FormatEstimate(124), "2 min 0 sec");
  EXPECT_EQ(FormatEstimate(3599), "59 min 55 sec");
  EXPECT_EQ(FormatEstimate(7384), "2 hours 3 min");
  EXPECT_EQ(FormatEstimate(std::nan("")), "0 sec");
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
