// Preview reads against the answer key: a record's unnamed stream (whole or its head) and raw
// ranges against the image's own bytes.
#include "app/preview_read.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/app/app_test_util.h"
#include "tests/util/sha256.h"

namespace sorvani {
namespace {

std::string KeyDigest(const nlohmann::json& key, std::uint32_t record) {
  for (const auto& s : key["streams"])
    if (s["record"] == record && s["stream"].is_null() && s.contains("sha256")) return s["sha256"];
  return {};
}

TEST(PreviewRead, RecordStreamsAndRawRangesMatchTheImage) {
  std::string path = test::Fixture("ntfs-4k.img");
  if (path.empty()) GTEST_SKIP() << "fixtures absent";
  nlohmann::json key = nlohmann::json::parse(test::FixtureText("ntfs-4k.img.key.json"));
  const std::vector<std::uint8_t> bytes = test::ReadWholeFile(path);
  CPreviewReader reader;
  ASSERT_TRUE(reader.Open('C', test::FileSource(path)));

  const struct {
    std::uint32_t record;
    std::uint64_t size;
  } files[] = {{test::kUtil, 200}, {107, 5000}, {105, 50000}, {137, 5244114}};
  for (const auto& f : files) {
    SCOPED_TRACE(f.record);
    std::vector<std::uint8_t> whole, head;
    ASSERT_EQ(reader.RecordData(f.record, ~0ull, whole), PreviewResult::kOk);
    ASSERT_EQ(whole.size(), f.size);
    EXPECT_EQ(test::Sha256Hex(whole), KeyDigest(key, f.record));
    ASSERT_EQ(reader.RecordData(f.record, 100, head), PreviewResult::kOk);
    ASSERT_EQ(head.size(), 100u);
    EXPECT_TRUE(std::equal(head.begin(), head.end(), whole.begin()));
  }
  std::vector<std::uint8_t> none;
  EXPECT_EQ(reader.RecordData(test::kOldProject, 100, none), PreviewResult::kNoStream);  // a folder
  EXPECT_TRUE(none.empty());

  const struct {
    std::uint64_t unit, offset, size;
  } ranges[] = {{0, 0, 512}, {1, 5000, 10000}, {3, 4095, 2}};
  for (const auto& r : ranges) {
    std::vector<std::uint8_t> got;
    ASSERT_EQ(reader.RawRange(r.unit, r.offset, r.size, got), PreviewResult::kOk);
    const std::size_t at = static_cast<std::size_t>(r.unit * 4096 + r.offset);
    ASSERT_EQ(got.size(), r.size);
    EXPECT_TRUE(
        std::equal(got.begin(), got.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at)));
  }
  // A range past the end of the source gives the bytes there are.
  std::vector<std::uint8_t> tail;
  ASSERT_EQ(reader.RawRange(bytes.size() / 4096 - 1, 0, 3 * 4096, tail), PreviewResult::kOk);
  EXPECT_EQ(tail.size(), bytes.size() % 4096 + 4096);
  std::atomic<bool> cancel{true};
  EXPECT_EQ(reader.RecordData(137, ~0ull, none, &cancel), PreviewResult::kCancelled);
}

}  // namespace
}  // namespace sorvani
