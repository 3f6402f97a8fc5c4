// The hand-written JSON rows and dates of the listings: every row parses, strings survive any
// bytes a file name can hold, and dates agree with the C library's UTC calendar.
#include <gtest/gtest.h>

#include <ctime>
#include <nlohmann/json.hpp>
#include <random>

#include "cli/catalogue_common.h"
#include "cli/json.h"

namespace sorvani::cli {
namespace {

std::string LibcIsoUtc(std::uint64_t fileTime) {
  auto t = static_cast<std::time_t>(static_cast<std::int64_t>(fileTime / 10000000) - 11644473600ll);
  std::tm utc{};
  if (!gmtime_r(&t, &utc)) return "?";
  char text[64];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

TEST(CliJson, DatesAgreeWithTheCLibraryAcrossTheWholeRange) {
  EXPECT_EQ(IsoUtc(0), "");
  EXPECT_EQ(IsoUtc(1), "1601-01-01T00:00:00Z");
  // Leap days of the century rules, and the edges of years and 400-year cycles.
  for (const char* day : {"1700-02-28", "1700-03-01", "1800-12-31", "1900-03-01", "2000-02-29",
                          "2000-12-31", "2001-01-01", "2024-02-29", "2100-03-01", "2400-02-29"}) {
    std::tm tm{};
    ASSERT_NE(strptime(day, "%Y-%m-%d", &tm), nullptr);
    auto ft =
        static_cast<std::uint64_t>(timegm(&tm) + 11644473600ll) * 10000000 + 86399 * 10000000ull;
    EXPECT_EQ(IsoUtc(ft), LibcIsoUtc(ft)) << day;
    EXPECT_EQ(IsoUtc(ft).substr(0, 10), day);
  }
  std::mt19937_64 random(7);
  for (int i = 0; i < 200000; ++i) {
    // Up to the year 9999, where the C library's four-digit years end.
    std::uint64_t ft = random() % 2650467743990000000ull + 1;
    ASSERT_EQ(IsoUtc(ft), LibcIsoUtc(ft)) << ft;
  }
  EXPECT_EQ(IsoUtc(~0ull), LibcIsoUtc(~0ull));  // year 60056
}

TEST(CliJson, RowsParseAndKeepEveryByteOfTheirStrings) {
  std::string awkward = "a\"b\\c\nd\re\tf";
  for (int c = 1; c < 0x20; ++c) awkward += static_cast<char>(c);
  awkward += "\xC3\xA9\xF0\x9F\x98\x80 end";
  CatalogueRow row;
  row.row.record = 4294967295u;
  row.row.name = awkward;
  row.row.size = 18446744073709551615ull;
  row.row.overwritten = -1;
  row.row.attributes = 0x10;
  row.row.modified = 133000000000000000ull;
  row.path = "C:\\Users\\Ana\\";
  row.deleted = true;
  std::string out = "prefix";
  AppendRowJson(out, row, '\n');
  ASSERT_EQ(out.rfind("prefix", 0), 0u);
  ASSERT_EQ(out.back(), '\n');
  auto j = nlohmann::json::parse(out.substr(6));
  EXPECT_EQ(j["record"], 4294967295u);
  EXPECT_EQ(j["name"], awkward);
  EXPECT_EQ(j["path"], row.path);
  EXPECT_EQ(j["size"], 18446744073709551615ull);
  EXPECT_EQ(j["overwritten"], -1);
  EXPECT_EQ(j["folder"], true);
  EXPECT_EQ(j["orphan"], false);
  EXPECT_TRUE(j["created"].is_null());
  EXPECT_EQ(j["modified"], IsoUtc(row.row.modified));
  EXPECT_EQ(RowJson(row) + "\n", out.substr(6));
}

TEST(CliJson, TerminalControlsAndBytesThatAreNotUtf8AreEscaped) {
  const struct {
    std::string in;
    std::string out;
  } kCases[] = {
      {"plain", "plain"},
      {"del\x7f", "del\\u007f"},
      {"\x1b[2J", "\\u001b[2J"},
      {"csi\xc2\x9b"
       "2J",
       "csi\\u009b2J"},
      {"nel\xc2\x85", "nel\\u0085"},
      {"nbsp\xc2\xa0", "nbsp\xc2\xa0"},
      {"caf\xc3\xa9 \xf0\x9f\x98\x80", "caf\xc3\xa9 \xf0\x9f\x98\x80"},
      // An OEM code page label, a lone continuation byte, a cut-off sequence, a surrogate.
      {"DISQUE \x82T\x82", "DISQUE \\ufffdT\\ufffd"},
      {"\x80", "\\ufffd"},
      {"\xe6\x97", "\\ufffd\\ufffd"},
      {"\xed\xa0\x80", "\\ufffd\\ufffd\\ufffd"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(JsonEscape(c.in), c.out);
    // Whatever went in, what comes out is a JSON string a strict parser takes.
    auto parsed = nlohmann::json::parse("\"" + JsonEscape(c.in) + "\"", nullptr, false);
    EXPECT_FALSE(parsed.is_discarded());
  }
}

}  // namespace
}  // namespace sorvani::cli
