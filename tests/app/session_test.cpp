// The session: images in every drive table, one reader per source that follows its letter,
// caches that stay with their volume, and sessions that do not see each other.
#include "app/session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "app/indexing_job.h"
#include "ntfs/ntfs_volume.h"
#include "tests/app/app_test_util.h"

namespace sorvani {
namespace {

std::set<std::uint32_t> Records(const CSession& session) {
  std::set<std::uint32_t> out;
  session.Catalogue().index->ForEachEntry([&](const FileIndexEntry& e) {
    out.insert(e.record);
    return true;
  });
  return out;
}

TEST(Session, AnOpenedImageIsInEveryDriveTable) {
  std::string partitioned = test::Fixture("mbr-ntfs-fat32.img");
  std::string bare = test::Fixture("ntfs-4k.img");
  if (partitioned.empty() || bare.empty()) GTEST_SKIP() << "fixtures absent";
  CSession session;
  std::string error;
  std::vector<char> letters = session.OpenImage(partitioned, error);
  ASSERT_EQ(letters.size(), 2u) << error;
  std::vector<char> more = session.OpenImage(bare, error);
  ASSERT_EQ(more.size(), 1u) << error;

  DriveTables& tables = session.Tables();
  const struct {
    char letter;
    const char* fs;
    const char* image;
  } expected[] = {{letters[0], "NTFS", "mbr-ntfs-fat32.img"},
                  {letters[1], "FAT32", "mbr-ntfs-fat32.img"},
                  {more[0], "NTFS", "ntfs-4k.img"}};
  for (const auto& e : expected) {
    SCOPED_TRACE(e.letter);
    ASSERT_EQ(tables.logicalDisks.count(e.letter), 1u);
    const LogicalDisk& disk = tables.logicalDisks.at(e.letter);
    EXPECT_EQ(disk.type, static_cast<std::uint32_t>(kDriveFixed));
    EXPECT_EQ(disk.description, "Disk image");
    EXPECT_EQ(disk.fsName, e.fs);
    EXPECT_GT(disk.size, 0u);
    // The letter is on the disk named after its image file, and on no other.
    int disks = 0;
    for (const auto& [index, letter] : tables.driveDisks) {
      if (letter != e.letter) continue;
      ++disks;
      auto group = std::find_if(tables.disks.begin(), tables.disks.end(),
                                [&](const DiskDrive& d) { return d.index == index; });
      ASSERT_NE(group, tables.disks.end());
      EXPECT_EQ(group->caption, e.image);
    }
    EXPECT_EQ(disks, 1);
  }
  EXPECT_EQ(tables.logicalDisks.at(more[0]).label, "SORVANI4K");
  EXPECT_EQ(tables.disks.size(), 2u);  // one group per image file
  // The partitions' sizes are their own, not the image's.
  EXPECT_LT(tables.logicalDisks.at(letters[0]).size + tables.logicalDisks.at(letters[1]).size,
            std::filesystem::file_size(partitioned) + 1);
}

TEST(Session, ALettersReaderFollowsItsSourceAndACacheStaysWithItsVolume) {
  std::string a = test::Fixture("ntfs-4k.img");
  std::string b = test::Fixture("ntfs-512.img");
  if (a.empty() || b.empty()) GTEST_SKIP() << "fixtures absent";
  SetCacheFolder(test::ScratchFolder("SessionRelettered"));
  SetCacheSavingAllowed(false);
  CSession session;
  CDriveTable& table = session.Drives();

  ASSERT_TRUE(table.Assign('W', test::FileSource(b)));
  CNtfsVolume* ofB = session.Volume('W');
  ASSERT_NE(ofB, nullptr);
  EXPECT_EQ(ofB->Label(), "SORVANI512");
  EXPECT_EQ(session.Volume('W'), ofB) << "the same source keeps its reader";
  ASSERT_TRUE(table.Assign('W', test::FileSource(b)));
  EXPECT_EQ(session.Volume('W'), ofB) << "assigned again, still the same bytes";
  ASSERT_EQ(test::IndexNow(session, 'W'), kEnumScanned);
  const auto recordsOfB = Records(session);

  // Re-lettered: W now stands for a; the reader and the catalogue follow.
  ASSERT_TRUE(table.Assign('W', test::FileSource(a)));
  CNtfsVolume* ofA = session.Volume('W');
  ASSERT_NE(ofA, nullptr);
  EXPECT_EQ(ofA->Label(), "SORVANI4K");
  EXPECT_EQ(ofA->BytesPerCluster(), 4096u);
  ASSERT_EQ(test::IndexNow(session, 'W'), kEnumScanned);
  const auto recordsOfA = Records(session);
  ASSERT_NE(recordsOfA, recordsOfB);
  // A letter without a source has no reader.
  table.Remove('W');
  EXPECT_EQ(session.Volume('W'), nullptr);

  // a's cache file, copied to the letter that now holds b, is refused, deleted and rebuilt.
  SetCacheSavingAllowed(true);
  ASSERT_TRUE(table.Assign('X', test::FileSource(a)));
  ASSERT_EQ(test::IndexNow(session, 'X'), kEnumScanned);
  ASSERT_TRUE(std::filesystem::exists(CacheFilePath('X')));
  auto cacheOfA = test::ReadWholeFile(CacheFilePath('X'));
  cacheOfA[5] = 'W';  // as if a had been indexed as W
  std::ofstream(CacheFilePath('W'), std::ios::binary)
      .write(reinterpret_cast<const char*>(cacheOfA.data()),
             static_cast<std::streamsize>(cacheOfA.size()));
  ASSERT_TRUE(table.Assign('W', test::FileSource(b)));
  EXPECT_EQ(test::IndexNow(session, 'W', false), kEnumScanned);
  EXPECT_EQ(Records(session), recordsOfB);
  EXPECT_EQ(test::IndexNow(session, 'W', false), kEnumFromCache);
  EXPECT_EQ(Records(session), recordsOfB);
  EXPECT_EQ(test::IndexNow(session, 'X', false), kEnumFromCache);
  EXPECT_EQ(Records(session), recordsOfA);
  CleanUpCache(0);
  SetCacheSavingAllowed(false);
}

TEST(Session, TwoSessionsAreIndependent) {
  std::string a = test::Fixture("ntfs-4k.img");
  std::string b = test::Fixture("ntfs-512.img");
  if (a.empty() || b.empty()) GTEST_SKIP() << "fixtures absent";
  SetCacheSavingAllowed(false);
  CSession first, second;
  ASSERT_TRUE(first.Drives().Assign('C', test::FileSource(a)));
  ASSERT_TRUE(second.Drives().Assign('C', test::FileSource(b)));
  // Indexed at the same time, each on its own worker.
  CIndexingJob* one = first.StartIndexing('C', true);
  CIndexingJob* two = second.StartIndexing('C', true);
  ASSERT_TRUE(one && two);
  one->Wait();
  two->Wait();
  EXPECT_EQ(one->Snapshot().outcome, kEnumScanned);
  EXPECT_EQ(two->Snapshot().outcome, kEnumScanned);
  PublishedCatalogue ofFirst = first.Catalogue(), ofSecond = second.Catalogue();
  EXPECT_EQ(ofFirst.drive, 'C');
  EXPECT_EQ(ofSecond.drive, 'C');
  EXPECT_NE(ofFirst.index, ofSecond.index);
  EXPECT_NE(Records(first), Records(second));
  EXPECT_NE(ofFirst.index->FindEntry(test::kOldProject), nullptr);
  EXPECT_EQ(first.Volume('C')->Label(), "SORVANI4K");
  EXPECT_EQ(second.Volume('C')->Label(), "SORVANI512");
  // A drive of one session is not a drive of the other, nor of the process-wide table.
  ASSERT_TRUE(first.Drives().Assign('Q', test::FileSource(a)));
  EXPECT_FALSE(second.Drives().Find('Q'));
  EXPECT_FALSE(CDriveTable::Instance().Find('Q'));
}

}  // namespace
}  // namespace sorvani
