// The listing job: live and deleted items side by side, a folder given in any path form, and
// cancel noticed between items.
#include "app/listing_job.h"

#include <gtest/gtest.h>

#include <map>

#include "tests/app/app_test_util.h"

namespace sorvani {
namespace {

class CRows : public IListingSink {
 public:
  void OnRow(const CatalogueRow& row) override {
    rows.push_back(row);
    if (cancelAfter && rows.size() == cancelAfter) job->Cancel();
  }
  std::vector<CatalogueRow> rows;
  std::size_t cancelAfter = 0;
  CJob* job = nullptr;
  const CatalogueRow* Find(std::uint32_t record) const {
    for (const CatalogueRow& r : rows)
      if (r.row.record == record) return &r;
    return nullptr;
  }
};

class ListingJob : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string image = test::Fixture("ntfs-4k.img");
    if (image.empty()) GTEST_SKIP() << "fixtures absent";
    SetCacheSavingAllowed(false);
    ASSERT_TRUE(session.Drives().Assign('C', test::FileSource(image)));
    ASSERT_EQ(test::IndexNow(session, 'C'), kEnumScanned);
  }
  std::uint8_t List(ListingOptions options, CRows& rows) {
    CListingJob job(session, 'C', std::move(options), &rows);
    rows.job = &job;
    EXPECT_TRUE(job.Start());
    job.Wait();
    ListingSnapshot end = job.Snapshot();
    EXPECT_TRUE(end.finished);
    EXPECT_EQ(end.rows, rows.rows.size());
    return end.outcome;
  }
  CSession session;
};

TEST_F(ListingJob, ExistingAndDeletedItemsSideBySide) {
  CRows rows;
  ListingOptions options;
  options.recursive = true;
  ASSERT_EQ(List(options, rows), kListingDone);
  const struct {
    std::uint32_t record;
    bool deleted;
    const char* path;
  } expected[] = {{test::kLiveBig, false, "C:\\"},
                  {test::kDeletedFile, true, "C:\\Big\\"},
                  {test::kOldProject, true, "C:\\"},
                  {test::kUtil, true, "C:\\OldProject\\src\\lib\\"}};
  for (const auto& e : expected) {
    const CatalogueRow* row = rows.Find(e.record);
    ASSERT_NE(row, nullptr) << e.record;
    EXPECT_EQ(row->deleted, e.deleted) << e.record;
    EXPECT_EQ(row->path, e.path) << e.record;
  }
  EXPECT_EQ(rows.Find(test::kUtil)->row.size, 200u);
}

TEST_F(ListingJob, CancelStopsBetweenItems) {
  CRows all;
  ListingOptions options;
  options.recursive = true;
  ASSERT_EQ(List(options, all), kListingDone);
  ASSERT_GT(all.rows.size(), 10u);
  for (std::size_t after : {std::size_t{1}, std::size_t{7}}) {
    CRows some;
    some.cancelAfter = after;
    EXPECT_EQ(List(options, some), kListingCancelled);
    EXPECT_EQ(some.rows.size(), after);
  }
  // Cancelled before it starts: no row at all.
  CRows none;
  CListingJob job(session, 'C', options, &none);
  job.Cancel();
  ASSERT_TRUE(job.Start());
  job.Wait();
  EXPECT_EQ(job.Snapshot().outcome, kListingCancelled);
  EXPECT_TRUE(none.rows.empty());
}

TEST_F(ListingJob, AFolderInEveryPathForm) {
  const struct {
    const char* path;
    std::uint8_t outcome;
  } cases[] = {
      {"/OldProject/src", kListingDone},       {"OldProject/src", kListingDone},
      {"C:/OldProject/src/", kListingDone},    {"C:\\OldProject\\src\\", kListingDone},
      {"\\oldproject\\SRC", kListingDone},     {"/OldProject/nothing", kListingNoFolder},
      {"D:/OldProject/src", kListingNoFolder},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    CRows rows;
    ListingOptions options;
    options.path = c.path;
    EXPECT_EQ(List(options, rows), c.outcome);
    if (c.outcome != kListingDone) continue;
    // src (deleted) holds lib (deleted) and main.bin.
    ASSERT_NE(rows.Find(test::kLib), nullptr);
    EXPECT_EQ(rows.Find(test::kLib)->path, "C:\\OldProject\\src\\");
    EXPECT_NE(rows.Find(101), nullptr);
  }
}

}  // namespace
}  // namespace sorvani
