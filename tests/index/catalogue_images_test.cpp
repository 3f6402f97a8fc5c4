// The catalogue of real NTFS images against The Sleuth Kit's answer keys: the same deleted
// records with the same names, and the same folder paths wherever TSK could place them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <set>

#include "disk/drive_table.h"
#include "foundation/endian.h"
#include "index/enum_thread.h"
#include "index/file_index.h"
#include "index/index_cache.h"
#include "index/ntfs_record_reader.h"
#include "ntfs/ntfs_volume.h"
#include "tests/index/catalogue_key.h"

namespace sorvani {
namespace {

// Registers the image and returns its first NTFS drive, or 0.
char NtfsLetter(const std::string& path) {
  std::string error;
  for (char letter : CDriveTable::Instance().RegisterImage(path, error)) {
    CNtfsVolume probe;
    if (probe.Initialize(letter)) return letter;
  }
  return 0;
}

void Enumerate(char letter) {
  {
    std::lock_guard<std::mutex> lock(index_lock);
    index_progress = IndexProgress{};
    index_progress.forceRescan = 1;
  }
  EnumThread(letter);
}

TEST(CatalogueImages, DeletedRecordsNamesAndPathsAgreeWithTheKeys) {
  SetCacheFolder(test::ScratchFolder("CatalogueImages"));
  SetCacheSavingAllowed(false);
  int images = 0;
  for (const test::KeyImage& k : test::kKeyImages) {
    auto loaded = test::LoadKeyImage(k);
    if (!loaded) continue;
    SCOPED_TRACE(k.image);
    char letter = NtfsLetter(loaded->first);
    ASSERT_NE(letter, 0);
    Enumerate(letter);
    auto expected = test::DeletedEntries(loaded->second);

    std::size_t found = 0, pathsCompared = 0, pathsAgree = 0, orphansPlaced = 0;
    CNtfsRecordReader reader(NtfsVolumeFor(letter));
    reader.ClearDirNames();
    const std::string root = std::string(1, letter) + ":\\";
    std::vector<const FileIndexEntry*> entries;
    file_index.ForEachEntry([&](const FileIndexEntry& e) {
      entries.push_back(&e);
      return true;
    });
    for (const FileIndexEntry* walked : entries) {
      const FileIndexEntry& entry = *walked;
      const std::uint32_t record = entry.record;
      auto it = expected.find(record);
      EXPECT_NE(it, expected.end()) << "record " << record << " '" << entry.name
                                    << "' is not a deleted entry of the key";
      if (it == expected.end()) continue;
      ++found;
      EXPECT_EQ(std::string_view(entry.name), it->second.name) << "record " << record;
      reader.RegisterParentFolders(entry.parent);
      std::string path = reader.FolderPath(entry.parent);
      if (it->second.nameless) {
        EXPECT_EQ(entry.parent, kNamelessFolderRecord) << record;
        EXPECT_FALSE(entry.IsFolder()) << record;
        EXPECT_EQ(path, root + "_OrphanFolder_4294967295\\") << record;
        EXPECT_TRUE(file_index.IsOrphanFolder(kNamelessFolderRecord));
        ++orphansPlaced;
      } else if (it->second.tskOrphan) {
        EXPECT_TRUE(path.starts_with(root + "_OrphanFolder_")) << record << " at " << path;
        orphansPlaced += path.starts_with(root + "_OrphanFolder_");
      } else {
        ++pathsCompared;
        EXPECT_EQ(path, root + it->second.folder) << "record " << record;
        pathsAgree += path == root + it->second.folder;
      }
    }
    for (const auto& [record, e] : expected)
      EXPECT_NE(file_index.FindEntry(record), nullptr)
          << "key's deleted record " << record << " '" << e.folder << e.name << "' missing";
    std::printf("[ %-36s ] key %zu deleted, found %zu; paths agree %zu/%zu; TSK orphans under "
                "_OrphanFolder_ %zu\n",
                k.image.c_str(), expected.size(), found, pathsAgree, pathsCompared, orphansPlaced);
    ++images;
  }
  if (images == 0) GTEST_SKIP() << "no NTFS image with an answer key is present";
}

TEST(CatalogueImages, ReservedRecordsAreNotDeletedFilesAndCancelKeepsPartialResults) {
  auto image = test::RealImage("mkntfs-testfs1-reserved-records.img");
  if (!image) GTEST_SKIP() << "third-party images absent";
  char letter = NtfsLetter(*image);
  ASSERT_NE(letter, 0);
  SetCacheFolder(test::ScratchFolder("CatalogueReserved"));
  SetCacheSavingAllowed(true);
  Enumerate(letter);
  for (std::uint32_t r = 16; r <= 23; ++r) EXPECT_EQ(file_index.FindEntry(r), nullptr) << r;
  std::size_t complete = file_index.EntryCount();
  EXPECT_TRUE(std::filesystem::exists(CacheFilePath(letter)));

  // The next run without force rescan takes the cache and gets the same index.
  {
    std::lock_guard<std::mutex> lock(index_lock);
    index_progress = IndexProgress{};
  }
  EnumThread(letter);
  EXPECT_EQ(index_progress.phase, kPhaseLoading);
  EXPECT_EQ(file_index.EntryCount(), complete);

  // A cancelled scan writes no cache and keeps what it had.
  CleanUpCache(letter);
  {
    std::lock_guard<std::mutex> lock(index_lock);
    index_progress = IndexProgress{};
    index_progress.cancel = 1;
    index_progress.forceRescan = 1;
  }
  EnumThread(letter);
  EXPECT_EQ(index_progress.phase, kPhaseScanning);
  EXPECT_FALSE(std::filesystem::exists(CacheFilePath(letter)));
  SetCacheSavingAllowed(false);
}

DriveSource Source(const std::string& path) {
  DriveSource source;
  source.path = path;
  return source;
}

// Every way a run ends is reported, and none leaves an earlier drive's catalogue behind.
TEST(CatalogueImages, EndingsAreReportedAndNoneKeepsAnotherDrivesCatalogue) {
  std::string ntfs = test::Fixture("ntfs-512.img");
  std::string fat = test::Fixture("fat16.img");
  if (ntfs.empty() || fat.empty()) return;
  const std::string folder = test::ScratchFolder("CatalogueEndings");
  SetCacheFolder(folder);
  SetCacheSavingAllowed(true);
  CDriveTable& table = CDriveTable::Instance();
  // An NTFS boot sector over nothing: the volume says NTFS but its MFT cannot be read.
  auto image = test::ReadWholeFile(ntfs);
  ASSERT_GE(image.size(), 512u);
  auto broken = std::make_shared<std::vector<std::uint8_t>>(image.begin(), image.begin() + 512);
  broken->resize(64 * 1024, 0);

  struct Case {
    const char* what;
    std::function<DriveSource()> source;
    bool cancel, forceRescan;
    std::uint8_t result;
    bool catalogue;  // the drive's own catalogue is there afterwards
  } cases[] = {
      {"scan", [&] { return Source(ntfs); }, false, true, kEnumScanned, true},
      {"from cache", [&] { return Source(ntfs); }, false, false, kEnumFromCache, true},
      {"cancelled load", [&] { return Source(ntfs); }, true, false, kEnumCancelled, false},
      {"cancelled scan", [&] { return Source(ntfs); }, true, true, kEnumCancelled, false},
      {"not NTFS", [&] { return Source(fat); }, false, true, kEnumNotNtfs, false},
      {"unreadable", [&] { DriveSource d; d.memory = broken; return d; }, false, true, kEnumUnreadable, false},
      {"no source", [&] { return Source(folder + "/missing.img"); }, false, true, kEnumUnreadable, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(table.Assign('V', c.source()));
    // What an earlier drive left in the catalogue.
    file_index.InsertEntry(777777, "from another drive", 0, 5);
    {
      std::lock_guard<std::mutex> lock(index_lock);
      index_progress = IndexProgress{};
      index_progress.cancel = c.cancel ? 1 : 0;
      index_progress.forceRescan = c.forceRescan ? 1 : 0;
    }
    EXPECT_EQ(EnumerateDrive('V'), c.result);
    EXPECT_EQ(index_progress.result, c.result);
    EXPECT_EQ(file_index.FindEntry(777777), nullptr);
    EXPECT_EQ(CataloguedDrive(), c.catalogue ? 'V' : 0);
    if (c.catalogue) {
      EXPECT_GT(file_index.EntryCount(), 0u);
    }
  }

  // The dialog logic reports the ending too.
  ASSERT_TRUE(table.Assign('V', Source(fat)));
  CIndexRun run;
  run.Start('V', true);
  run.Wait();
  IndexTick tick = run.Tick();
  EXPECT_TRUE(tick.finished);
  EXPECT_EQ(tick.result, kEnumNotNtfs);
  table.Remove('V');
  SetCacheSavingAllowed(false);
}

// The reader of a letter follows the letter to its new source, and a cache file made for one
// volume is never taken for another.
TEST(CatalogueImages, ALetterFollowsItsSourceAndACacheStaysWithItsVolume) {
  std::string a = test::Fixture("ntfs-4k.img");
  std::string b = test::Fixture("ntfs-512.img");
  if (a.empty() || b.empty()) return;
  SetCacheFolder(test::ScratchFolder("CatalogueRelettered"));
  CDriveTable& table = CDriveTable::Instance();
  auto records = [] {
    std::set<std::uint32_t> out;
    file_index.ForEachEntry([&](const FileIndexEntry& e) {
      out.insert(e.record);
      return true;
    });
    return out;
  };
  auto run = [](char letter, bool force) {
    {
      std::lock_guard<std::mutex> lock(index_lock);
      index_progress = IndexProgress{};
      index_progress.forceRescan = force ? 1 : 0;
    }
    return EnumerateDrive(letter);
  };

  SetCacheSavingAllowed(false);
  ASSERT_TRUE(table.Assign('W', Source(b)));
  ASSERT_EQ(run('W', true), kEnumScanned);
  const auto ofB = records();
  ASSERT_TRUE(table.Assign('W', Source(a)));
  ASSERT_EQ(run('W', true), kEnumScanned);
  const auto ofA = records();
  ASSERT_NE(ofA, ofB);

  // Re-lettered: W now stands for b again, and its reader reads b, not the a it had open.
  CNtfsVolume* before = NtfsVolumeFor('W');
  ASSERT_TRUE(table.Assign('W', Source(b)));
  EXPECT_NE(NtfsVolumeFor('W'), before);
  EXPECT_EQ(run('W', true), kEnumScanned);
  EXPECT_EQ(records(), ofB);
  // The same source keeps its reader.
  CNtfsVolume* same = NtfsVolumeFor('W');
  ASSERT_TRUE(table.Assign('W', Source(b)));
  EXPECT_EQ(NtfsVolumeFor('W'), same);

  // a's cache file, copied to the letter that now holds b, is refused, deleted and rebuilt.
  SetCacheSavingAllowed(true);
  ASSERT_TRUE(table.Assign('X', Source(a)));
  ASSERT_EQ(run('X', true), kEnumScanned);
  ASSERT_TRUE(std::filesystem::exists(CacheFilePath('X')));
  auto cacheOfA = test::ReadWholeFile(CacheFilePath('X'));
  cacheOfA[5] = 'W';  // as if a had been indexed as W
  {
    std::ofstream(CacheFilePath('W'), std::ios::binary)
        .write(reinterpret_cast<const char*>(cacheOfA.data()), static_cast<std::streamsize>(cacheOfA.size()));
  }
  EXPECT_EQ(run('W', false), kEnumScanned);
  EXPECT_EQ(records(), ofB);
  EXPECT_NE(test::ReadWholeFile(CacheFilePath('W')), cacheOfA) << "rebuilt for b";
  EXPECT_EQ(run('W', false), kEnumFromCache);
  EXPECT_EQ(records(), ofB);
  EXPECT_EQ(run('X', false), kEnumFromCache);
  EXPECT_EQ(records(), ofA);

  table.Remove('W');
  table.Remove('X');
  SetCacheSavingAllowed(false);
}


// A deleted folder whose record lost its $FILE_NAME is named again from a stale entry of the
// index of the deleted folder above it, so its deleted items stay at their place. Made in a
// copy of a fixture: OldProject\\src (record 93) loses its name, and OldProject (91) gets
// the stale entry that names it where a shrunk index leaves one, in the slack of its record.
TEST(CatalogueImages, AFolderThatLostItsNameIsNamedFromTheFolderAboveIt) {
  std::string path = test::Fixture("ntfs-4k.img");
  if (path.empty()) return;
  auto image = std::make_shared<std::vector<std::uint8_t>>(test::ReadWholeFile(path));
  constexpr std::uint32_t kSrc = 93, kOldProject = 91, kLib = 95;
  constexpr std::size_t kRecordSize = 1024, kStale = 520;  // past the used bytes, no fixup inside
  auto recordAt = [&](std::uint32_t number) -> std::uint8_t* {
    for (std::size_t at = 0; at + kRecordSize <= image->size(); at += 512) {
      std::uint8_t* r = image->data() + at;
      if (r[0] == 'F' && r[1] == 'I' && r[2] == 'L' && r[3] == 'E' &&
          ReadLe32(ByteSpan(r, kRecordSize), 0x2C) == number)
        return r;
    }
    return nullptr;
  };
  std::uint8_t* srcRecord = recordAt(kSrc);
  std::uint8_t* oldProject = recordAt(kOldProject);
  ASSERT_TRUE(srcRecord && oldProject);
  int patched = 0;
  ByteSpan record(srcRecord, kRecordSize);
  for (std::size_t a = ReadLe16(record, 0x14); a + 8 <= kRecordSize;) {
    std::uint32_t type = ReadLe32(record, a), length = ReadLe32(record, a + 4);
    if (type == 0xFFFFFFFFu || length < 16) break;
    if (type == 0x30) {
      ASSERT_LT(a % 512, 508u) << "the type field lies under a fixup";
      WriteLe32(srcRecord + a, 0x40);  // now an $OBJECT_ID: the record has no name left
      ++patched;
    }
    a += length;
  }
  ASSERT_EQ(patched, 1);
  ASSERT_LE(ReadLe32(ByteSpan(oldProject, kRecordSize), 0x18), kStale) << "the slack is in use";
  // Entry: reference, length, key length, flags; key: parent reference, times and sizes,
  // flags (a folder's name), name length, name space (Win32), name.
  std::uint8_t* e = oldProject + kStale;
  std::fill(e, e + 88, std::uint8_t{0});
  WriteLe64(e, kSrc | (std::uint64_t{2} << 48));
  WriteLe16(e + 8, 88);
  WriteLe16(e + 10, 72);
  WriteLe64(e + 16, kOldProject | (std::uint64_t{1} << 48));
  WriteLe32(e + 16 + 56, 0x10000000);
  e[16 + 64] = 3;
  e[16 + 65] = 1;
  const char name[] = {'s', 0, 'r', 0, 'c', 0};
  std::copy(name, name + 6, e + 16 + 66);

  SetCacheSavingAllowed(false);
  DriveSource source;
  source.memory = image;
  ASSERT_TRUE(CDriveTable::Instance().Assign('N', source));
  {
    std::lock_guard<std::mutex> lock(index_lock);
    index_progress = IndexProgress{};
    index_progress.forceRescan = 1;
  }
  ASSERT_EQ(EnumerateDrive('N'), kEnumScanned);
  const FileIndexEntry* src = file_index.FindEntry(kSrc);
  ASSERT_NE(src, nullptr) << "the folder without a name is not filed under its folder";
  EXPECT_EQ(std::string(src->name), "src");
  EXPECT_EQ(src->parent, kOldProject);
  EXPECT_TRUE(src->IsFolder());
  EXPECT_FALSE(file_index.IsOrphanFolder(kSrc));
  auto inOldProject = file_index.ChildrenOf(kOldProject);
  EXPECT_NE(std::find(inOldProject.begin(), inOldProject.end(), kSrc), inOldProject.end());
  auto inSrc = file_index.ChildrenOf(kSrc);
  EXPECT_NE(std::find(inSrc.begin(), inSrc.end(), kLib), inSrc.end()) << "its deleted folders stay in it";
  EXPECT_EQ(std::string(file_index.FindEntry(kOldProject)->name), "OldProject");
  CDriveTable::Instance().Remove('N');
}

}  // namespace
}  // namespace sorvani
