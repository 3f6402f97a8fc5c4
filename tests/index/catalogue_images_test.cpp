// The catalogue of real NTFS images against The Sleuth Kit's answer keys: the same deleted
// records with the same names, and the same folder paths wherever TSK could place them.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>

#include "disk/drive_table.h"
#include "index/enum_thread.h"
#include "index/file_index.h"
#include "index/index_cache.h"
#include "index/ntfs_record_reader.h"
#include "ntfs/ntfs_volume.h"
#include "tests/index/catalogue_key.h"
#include "tests/util/patched_images.h"

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

void Enumerate(char letter) { EnumerateDrive(letter, true); }

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
    CNtfsVolume volume;
    ASSERT_TRUE(volume.Initialize(letter));
    CNtfsRecordReader reader(&volume);
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
      EXPECT_NE(it, expected.end())
          << "record " << record << " '" << entry.name << "' is not a deleted entry of the key";
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
    std::printf(
        "[ %-36s ] key %zu deleted, found %zu; paths agree %zu/%zu; TSK orphans under "
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
  CNtfsVolume volume;
  CFileIndex index;
  IndexProgress progress;
  std::atomic<bool> cancel{false};
  ASSERT_EQ(EnumThread(letter, volume, index, progress, cancel, true), kEnumScanned);
  for (std::uint32_t r = 16; r <= 23; ++r) EXPECT_EQ(index.FindEntry(r), nullptr) << r;
  std::size_t complete = index.EntryCount();
  EXPECT_TRUE(std::filesystem::exists(CacheFilePath(letter)));

  // The next run without force rescan takes the cache and gets the same index.
  progress = IndexProgress{};
  EXPECT_EQ(EnumThread(letter, volume, index, progress, cancel, false), kEnumFromCache);
  EXPECT_EQ(progress.phase, kPhaseLoading);
  EXPECT_EQ(index.EntryCount(), complete);

  // A cancelled scan writes no cache and keeps what it had.
  CleanUpCache(letter);
  progress = IndexProgress{};
  cancel = true;
  EXPECT_EQ(EnumThread(letter, volume, index, progress, cancel, true), kEnumCancelled);
  EXPECT_EQ(progress.phase, kPhaseScanning);
  EXPECT_EQ(progress.result, kEnumCancelled);
  EXPECT_FALSE(std::filesystem::exists(CacheFilePath(letter)));
  SetCacheSavingAllowed(false);
}

// Every way a run ends, which drive the catalogue describes, and a letter whose source changes
// are tested through the indexing job of the session (tests/app).

// A deleted folder whose record lost its $FILE_NAME is named again from a stale entry of the
// index of the deleted folder above it, so its deleted items stay at their place. Made in a
// copy of a fixture: OldProject\\src (record 93) loses its name, and OldProject (91) gets
// the stale entry that names it where a shrunk index leaves one, in the slack of its record.
TEST(CatalogueImages, AFolderThatLostItsNameIsNamedFromTheFolderAboveIt) {
  if (test::Fixture("ntfs-4k.img").empty()) return;
  using test::kLib, test::kOldProject, test::kSrc;
  // Null when the patch does not fit: a type field under a fixup, or the slack in use.
  std::shared_ptr<std::vector<std::uint8_t>> image = test::NamelessFolderImage();
  ASSERT_NE(image, nullptr);

  SetCacheSavingAllowed(false);
  DriveSource source;
  source.memory = image;
  ASSERT_TRUE(CDriveTable::Instance().Assign('N', source));
  ASSERT_EQ(EnumerateDrive('N', true), kEnumScanned);
  const FileIndexEntry* src = file_index.FindEntry(kSrc);
  ASSERT_NE(src, nullptr) << "the folder without a name is not filed under its folder";
  EXPECT_EQ(std::string(src->name), "src");
  EXPECT_EQ(src->parent, kOldProject);
  EXPECT_TRUE(src->IsFolder());
  EXPECT_FALSE(file_index.IsOrphanFolder(kSrc));
  auto inOldProject = file_index.ChildrenOf(kOldProject);
  EXPECT_NE(std::find(inOldProject.begin(), inOldProject.end(), kSrc), inOldProject.end());
  auto inSrc = file_index.ChildrenOf(kSrc);
  EXPECT_NE(std::find(inSrc.begin(), inSrc.end(), kLib), inSrc.end())
      << "its deleted folders stay in it";
  EXPECT_EQ(std::string(file_index.FindEntry(kOldProject)->name), "OldProject");
  CDriveTable::Instance().Remove('N');
}

}  // namespace
}  // namespace sorvani
