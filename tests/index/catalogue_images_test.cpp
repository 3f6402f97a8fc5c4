// The catalogue of real NTFS images against The Sleuth Kit's answer keys: the same deleted
// records with the same names, and the same folder paths wherever TSK could place them.
#include <gtest/gtest.h>

#include <mutex>

#include "disk/drive_table.h"
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
      if (it->second.tskOrphan) {
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

TEST(CatalogueImages, FatVolumeLeavesIndexAndCacheAlone) {
  std::string fat = test::Fixture("fat16.img");
  if (fat.empty()) return;
  std::string error;
  auto letters = CDriveTable::Instance().RegisterImage(fat, error);
  ASSERT_FALSE(letters.empty()) << error;
  file_index.Clear();
  file_index.InsertEntry(77, "kept", 0, 5);
  SetCacheFolder(test::ScratchFolder("CatalogueFat"));
  SetCacheSavingAllowed(true);
  Enumerate(letters[0]);
  EXPECT_EQ(file_index.EntryCount(), 1u);
  EXPECT_FALSE(std::filesystem::exists(CacheFilePath(letters[0])));
  SetCacheSavingAllowed(false);
}

}  // namespace
}  // namespace sorvani
