// The search over the catalogue: each criterion, their bounds, stopping, and the folder
// chain of a hit.
#include "search/search_thread.h"

#include <gtest/gtest.h>

#include <atomic>

#include <ctime>

#include "tests/index/fake_records.h"

namespace sorvani {
namespace {

constexpr std::uint64_t kEpoch = 116444736000000000ull;

// File time of a local calendar time.
std::uint64_t LocalFileTime(int y, int mo, int d, int h = 12) {
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_isdst = -1;
  return static_cast<std::uint64_t>(std::mktime(&tm)) * 10000000ull + kEpoch;
}

class CCollect : public ISearchSink {
 public:
  std::vector<std::size_t> positions;
  int finished = 0;
  std::atomic<bool>* stopAfterFirst = nullptr;
  void OnRow(std::size_t position, const FileListRow&) override {
    positions.push_back(position);
    if (stopAfterFirst) *stopAfterFirst = true;
  }
  void OnFinished() override { ++finished; }
};

class Search : public ::testing::Test {
 protected:
  void SetUp() override {
    fake.Folder(30, "Docs", 5, true);
    fake.Folder(40, "Old", 30, false);
    fake.File(41, "Report.DOCX", 40, false, 2048).created = LocalFileTime(2008, 3, 1);
    fake.File(42, "mydoc", 30, false, 2049).created = LocalFileTime(2008, 3, 2);
    fake.File(43, "DOC", 5, false, 0).created = LocalFileTime(2009, 1, 1);
    fake.File(44, "photo.jpg", 30, false, 1023).created = LocalFileTime(2010, 6, 1);
    fake.records[41].modified = LocalFileTime(2011, 1, 1);
    fake.records[41].overwritten = 25;
    fake.File(45, "vanished.txt", 5, false);
    for (std::uint32_t r = 40; r <= 45; ++r) index.IndexUnusedRecord(fake, r);
    fake.records[45].valid = false;  // cannot be read again at search time
  }

  std::vector<std::string> Run(SearchCriteria& c, CCollect* sink = nullptr) {
    std::vector<FileListRow> rows;
    CCollect local;
    RunSearch(index, fake, c, rows, sink ? sink : &local, &stop);
    EXPECT_EQ((sink ? sink : &local)->finished, 1);
    std::vector<std::string> names;
    for (auto& r : rows) names.push_back(r.name);
    last = rows;
    return names;
  }

  test::CFakeRecords fake;
  CFileIndex index;
  std::vector<FileListRow> last;
  std::atomic<bool> stop{false};
};

using Names = std::vector<std::string>;

TEST_F(Search, NameModesAndNoCriteria) {
  SearchCriteria c;
  EXPECT_EQ(Run(c),
            (Names{"Old", "Report.DOCX", "mydoc", "DOC", "photo.jpg"}));  // unreadable 45 skipped
  c.nameOn = true;
  c.name = "doc";
  EXPECT_EQ(Run(c), (Names{"Report.DOCX", "mydoc", "DOC"}));
  c.nameMode = kNameModeEquals;
  EXPECT_EQ(Run(c), Names{"DOC"});
  c.nameMode = 2;  // any mode but 1 compares whole names
  EXPECT_EQ(Run(c), Names{"DOC"});
  c.nameMode = kNameModeContains;
  c.name = "[";  // invalid pattern: nothing
  EXPECT_TRUE(Run(c).empty());
  c.name = "?.jpg";
  EXPECT_EQ(Run(c), Names{"photo.jpg"});
  // Name-only searches read only the records whose names pass.
  int before = fake.detailLoads;
  c.name = "photo";
  Run(c);
  EXPECT_EQ(fake.detailLoads - before, 1);
}

TEST_F(Search, SizeBoundsAreInclusiveAndRowsCarryTheRecordFacts) {
  SearchCriteria c;
  c.sizeOn = true;
  c.minimum = 2;
  c.maximum = 2;
  EXPECT_EQ(Run(c), Names{"Report.DOCX"});  // exactly 2048, but not 2049
  ASSERT_EQ(last.size(), 1u);
  EXPECT_EQ(last[0].record, 41u);
  EXPECT_EQ(last[0].parent, 40u);
  EXPECT_EQ(last[0].overwritten, 25);
  EXPECT_EQ(last[0].icon, kIconFile);
  c.minimum = 0;
  c.maximum = 0;
  EXPECT_EQ(Run(c), (Names{"Old", "DOC"}));  // size 0, folders included
  EXPECT_EQ(last[0].icon, kIconFolder);
  c.minimum = 1;
  c.maximum = 4;
  EXPECT_EQ(Run(c), (Names{"Report.DOCX", "mydoc"}));
}

TEST_F(Search, DateKindsAndBounds) {
  SearchCriteria c;
  c.dateOn = true;
  c.dateKind = kDateKindCreated;
  ASSERT_TRUE(ParseLocalDate("2008-03-01", c.from));
  ASSERT_TRUE(ParseLocalDate("2008-03-02T12:00", c.to));
  EXPECT_EQ(Run(c), (Names{"Report.DOCX", "mydoc"}));  // both bounds belong to the range
  ASSERT_TRUE(ParseLocalDate("2008-03-02T11:59:59", c.to));
  EXPECT_EQ(Run(c), Names{"Report.DOCX"});
  c.dateKind = kDateKindModified;
  ASSERT_TRUE(ParseLocalDate("2010-12-31", c.from));
  ASSERT_TRUE(ParseLocalDate("2011-01-02", c.to));
  EXPECT_EQ(Run(c), Names{"Report.DOCX"});

  std::int64_t s = 0;
  EXPECT_TRUE(ParseLocalDate("1850-01-01", s));
  EXPECT_EQ(s, 0);
  for (const char* bad :
       {"2008-3-1", "2008-13-01", "2008-01-01T25:00", "yesterday", "2008-01-01T10"})
    EXPECT_FALSE(ParseLocalDate(bad, s)) << bad;
}

TEST_F(Search, StopKeepsTheRowsFoundAndFinishesOnce) {
  SearchCriteria c;
  CCollect sink;
  sink.stopAfterFirst = &stop;
  Run(c, &sink);
  EXPECT_EQ(sink.positions, std::vector<std::size_t>{0});
  EXPECT_EQ(last.size(), 1u);
  EXPECT_EQ(sink.finished, 1);
}

TEST_F(Search, RevealGivesOneChainElementPerLevel) {
  SearchCriteria c;
  c.nameOn = true;
  c.name = "Report";
  Run(c);
  ASSERT_EQ(last.size(), 1u);
  RevealTarget t;
  ASSERT_TRUE(RevealInFolder(last[0], index, fake, t));
  EXPECT_EQ(t.folder, "D:\\Docs\\Old\\");
  EXPECT_EQ(t.chain, "0;40;");
  EXPECT_EQ(t.name, "Report.DOCX");

  // A file in the root has an empty chain; one under an orphan folder starts there.
  FileListRow root;
  root.parent = 5;
  ASSERT_TRUE(RevealInFolder(root, index, fake, t));
  EXPECT_EQ(t.chain, "");
  EXPECT_EQ(t.folder, "D:\\");
  fake.File(60, "reused.txt", 40, true);
  fake.File(61, "lost.doc", 60, false);
  index.IndexUnusedRecord(fake, 61);
  FileListRow lost;
  lost.parent = 60;
  ASSERT_TRUE(RevealInFolder(lost, index, fake, t));
  EXPECT_EQ(t.chain, "60;");
  EXPECT_EQ(t.folder, "D:\\_OrphanFolder_60\\");

  // A broken or looping chain cannot be revealed.
  FileListRow broken;
  broken.parent = 70;
  EXPECT_FALSE(RevealInFolder(broken, index, fake, t));
  fake.Folder(80, "a", 81, false);
  fake.Folder(81, "b", 80, false);
  broken.parent = 80;
  EXPECT_FALSE(RevealInFolder(broken, index, fake, t));
}

}  // namespace
}  // namespace sorvani
