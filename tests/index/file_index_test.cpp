// The walk that files each unused record and its folder chain into the catalogue.
#include "index/file_index.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/index/fake_records.h"

namespace sorvani {
namespace {

using test::CFakeRecords;
using Pairs = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

Pairs ChildPairs(const CFileIndex& index) { return index.Children(); }

std::vector<std::uint32_t> Set(const CFileIndex::RecordSet& s) { return {s.begin(), s.end()}; }

void IndexAll(CFileIndex& index, CFakeRecords& fake, std::initializer_list<std::uint32_t> unused) {
  for (std::uint32_t r : unused) index.IndexUnusedRecord(fake, r);
}

TEST(FileIndexWalk, SharedDeletedFolderIsFiledOnceAndItsExistingParentIsNotReread) {
  CFakeRecords fake;
  fake.Folder(30, "Photos", 5, true);
  fake.Folder(40, "2008", 30, false);
  fake.File(41, "a.jpg", 40, false);
  fake.File(42, "b.jpg", 40, false);
  CFileIndex index;
  IndexAll(index, fake, {40, 41, 42});

  ASSERT_EQ(index.EntryCount(), 3u);
  EXPECT_EQ(index.FindEntry(41)->name, "a.jpg");
  EXPECT_TRUE(index.FindEntry(40)->IsFolder());
  EXPECT_EQ(ChildPairs(index), (Pairs{{30, 40}, {40, 41}, {40, 42}}));
  EXPECT_EQ(index.ChildrenOf(40), (std::vector<std::uint32_t>{41, 42}));
  EXPECT_EQ(Set(index.LiveFolders()), std::vector<std::uint32_t>{30});
  EXPECT_TRUE(index.OrphanFolders().empty());
  // Each record is read once: the folder comes from the index afterwards, the walk stops at
  // the existing folder it already knows.
  EXPECT_EQ(fake.loads[40], 1);
  EXPECT_EQ(fake.loads[30], 1);
  EXPECT_EQ(fake.loads.count(5), 0u);

  // Children keep their insertion order even when the records arrive out of order.
  CFileIndex reversed;
  IndexAll(reversed, fake, {42, 41, 40});
  EXPECT_EQ(reversed.ChildrenOf(40), (std::vector<std::uint32_t>{42, 41}));
  EXPECT_EQ(reversed.EntryCount(), 3u);
}

TEST(FileIndexWalk, ParentReusedForAFileBecomesAnOrphanFolder) {
  CFakeRecords fake;
  fake.File(60, "notes.txt", 5, true);  // the folder's record now holds a live file
  fake.File(50, "lost.doc", 60, false);
  fake.File(51, "lost2.doc", 60, false);
  CFileIndex index;
  IndexAll(index, fake, {50, 51});
  EXPECT_EQ(index.EntryCount(), 2u);
  EXPECT_EQ(ChildPairs(index), (Pairs{{60, 50}, {60, 51}}));
  EXPECT_EQ(Set(index.LiveFolders()), std::vector<std::uint32_t>{60});
  EXPECT_EQ(Set(index.OrphanFolders()), std::vector<std::uint32_t>{60});
  EXPECT_TRUE(index.IsOrphanFolder(60));
  EXPECT_TRUE(index.IsLiveFolderWithDeleted(60));

  // A deleted file whose number a deleted file names as its folder: entry and orphan both.
  fake.File(70, "was-a-folder.txt", 5, false);
  fake.File(71, "child.txt", 70, false);
  IndexAll(index, fake, {70, 71});
  EXPECT_NE(index.FindEntry(70), nullptr);
  EXPECT_TRUE(index.IsOrphanFolder(70));

  // Unreadable and nameless parents are orphans too.
  fake.records[81].valid = false;
  fake.File(80, "x", 81, false);
  fake.records[91] = {true, false, "", 0x10, 5};
  fake.File(90, "y", 91, false);
  IndexAll(index, fake, {80, 90});
  EXPECT_TRUE(index.IsOrphanFolder(81));
  EXPECT_TRUE(index.IsOrphanFolder(91));
  EXPECT_EQ(index.FindEntry(81), nullptr);
  EXPECT_EQ(index.FindEntry(91), nullptr);
}

TEST(FileIndexWalk, SystemRecordsAreNeverOrphansAndAreWalkedThrough) {
  CFakeRecords fake;
  fake.records[0] = {true, true, "$MFT", 0x06, 5};
  fake.records[20] = {true, false, "", 0, 0};  // a reserved record without a name
  fake.File(100, "deep.txt", 20, false);
  fake.File(11, "$Extend", 5, true).attributes = 0x16;
  fake.File(101, "meta.bin", 11, false);
  fake.File(24, "$Quota", 11, true);  // record 24, not a folder
  fake.File(102, "q.bin", 24, false);
  CFileIndex index;
  IndexAll(index, fake, {100, 101, 102});
  EXPECT_EQ(index.EntryCount(), 3u);
  EXPECT_TRUE(index.OrphanFolders().empty());
  EXPECT_EQ(Set(index.LiveFolders()), (std::vector<std::uint32_t>{0, 11, 20, 24}));
  EXPECT_EQ(fake.loads[0], 1);  // reached through record 20
}

TEST(FileIndexWalk, LoopsEndAfterOnePassAndUnreadableRecordsAddNothing) {
  CFakeRecords fake;
  fake.Folder(80, "a", 81, false);
  fake.Folder(81, "b", 80, false);
  fake.File(82, "f", 80, false);
  fake.Folder(90, "self", 90, false);
  fake.File(91, "g", 90, false);
  CFileIndex index;
  IndexAll(index, fake, {82, 91});
  EXPECT_EQ(index.EntryCount(), 5u);
  EXPECT_EQ(ChildPairs(index), (Pairs{{80, 82}, {80, 81}, {81, 80}, {90, 91}, {90, 90}}));
  for (std::uint32_t r : {80u, 81u, 82u, 90u, 91u}) EXPECT_EQ(fake.loads[r], 1) << r;
  // Walking into the loop again from its members reads nothing more and still ends.
  IndexAll(index, fake, {80, 81, 90});
  EXPECT_EQ(fake.loads[80] + fake.loads[81] + fake.loads[90], 3);

  // A long loop of live folders with no name ends too.
  for (std::uint32_t r = 1000; r < 1200; ++r) fake.records[r] = {true, true, "", 0x10, r + 1};
  fake.records[1200] = {true, true, "", 0x10, 1000};
  fake.File(999, "ring", 1000, false);
  index.IndexUnusedRecord(fake, 999);
  EXPECT_TRUE(index.IsOrphanFolder(1000));  // nameless: the chain breaks at once

  CFileIndex empty;
  fake.records[500].valid = false;
  empty.IndexUnusedRecord(fake, 500);  // unreadable
  empty.IndexUnusedRecord(fake, 501);  // never held a record
  empty.IndexUnusedRecord(fake, 5);    // the root itself
  EXPECT_EQ(empty.EntryCount(), 0u);
  EXPECT_TRUE(empty.Children().empty());
  EXPECT_TRUE(empty.OrphanFolders().empty());
  EXPECT_TRUE(empty.LiveFolders().empty());
}

TEST(FileIndexWalk, LongLiveChainUsesTheLargeVisitedSet) {
  CFakeRecords fake;
  // 300 nested live folders, then a loop back to the first: the walk must end.
  for (std::uint32_t r = 2000; r < 2300; ++r) fake.Folder(r, "d" + std::to_string(r), r + 1, true);
  fake.Folder(2300, "last", 2000, true);
  fake.File(1999, "leaf", 2000, false);
  CFileIndex index;
  index.IndexUnusedRecord(fake, 1999);
  EXPECT_EQ(index.LiveFolders().size(), 301u);
  EXPECT_EQ(index.EntryCount(), 1u);
  index.Clear();
  EXPECT_EQ(index.EntryCount(), 0u);
  EXPECT_TRUE(index.LiveFolders().empty());
  // The cleared index is usable again.
  index.IndexUnusedRecord(fake, 1999);
  EXPECT_EQ(index.LiveFolders().size(), 301u);
}

}  // namespace
}  // namespace sorvani

namespace sorvani {
namespace {

// Free records that kept data but lost every name: filed under the nameless orphan folder as
// "Record N", with their facts, whichever way the scan meets them.
TEST(FileIndexWalk, RecordsWithoutANameButWithDataAreFiledAsNamelessFiles) {
  for (bool keepFacts : {false, true}) {
    SCOPED_TRACE(keepFacts ? "facts kept" : "names only");
    CFakeRecords fake;
    auto nameless = [&](std::uint32_t r, bool data, bool inUse = false) -> test::FakeRecord& {
      test::FakeRecord& f = fake.records[r];
      f = test::FakeRecord{true, inUse, "", 0x20, 0};
      f.hasData = data;
      f.size = data ? 4096 : 0;
      f.created = 111;
      f.modified = 222;
      return f;
    };
    nameless(8767, true);
    nameless(40, false);                   // no data: nothing to give back
    nameless(20, true);                    // a system record
    nameless(41, true, true);              // in use: not deleted
    nameless(42, true).attributes = 0x10;  // claims to be a folder, yet holds data
    fake.records[43].valid = false;        // no usable header
    nameless(60, true);  // first met as the parent of a deleted file, then scanned
    fake.File(61, "child.txt", 60, false);
    CFileIndex index;
    index.SetKeepFacts(keepFacts);
    IndexAll(index, fake, {20, 40, 41, 42, 43, 61, 60, 8767});

    for (std::uint32_t r : {42u, 60u, 8767u}) {
      const FileIndexEntry* e = index.FindEntry(r);
      ASSERT_NE(e, nullptr) << r;
      EXPECT_EQ(std::string(e->name), "Record " + std::to_string(r));
      EXPECT_EQ(e->parent, kNamelessFolderRecord);
      EXPECT_FALSE(e->IsFolder()) << r;
      const EntryFacts* facts = index.FindFacts(r);
      if (keepFacts) {
        ASSERT_NE(facts, nullptr) << r;
        EXPECT_EQ(facts->size, 4096u);
        EXPECT_EQ(facts->modified, 222u);
        EXPECT_EQ(facts->parent, kNamelessFolderRecord);
      } else {
        EXPECT_EQ(facts, nullptr);
      }
    }
    for (std::uint32_t r : {20u, 40u, 41u, 43u}) EXPECT_EQ(index.FindEntry(r), nullptr) << r;
    EXPECT_EQ(index.ChildrenOf(kNamelessFolderRecord), (std::vector<std::uint32_t>{42, 60, 8767}));
    EXPECT_TRUE(index.IsOrphanFolder(kNamelessFolderRecord));
    // The file below record 60 still sees its folder as gone.
    EXPECT_TRUE(index.IsOrphanFolder(60));
    EXPECT_EQ(index.ChildrenOf(60), (std::vector<std::uint32_t>{61}));
  }
}

}  // namespace
}  // namespace sorvani
