// The folder-name map of a catalogue: paths from the map, loops and gaps as orphan folders,
// and folders named from the catalogue before the records are asked.
#include "index/folder_names.h"

#include <gtest/gtest.h>

#include "index/file_index.h"
#include "tests/index/fake_records.h"

namespace sorvani {
namespace {

TEST(FolderNames, FolderPathsAndOrphans) {
  CFolderNames names;
  names.Add(100, "a", 5);
  names.Add(101, "b", 100);
  names.Add(101, "not me", 5);  // an existing entry is kept
  names.Add(102, "c", 1234);
  names.Add(200, "x", 201);
  names.Add(201, "y", 200);
  const struct {
    std::uint32_t record;
    const char* path;
  } cases[] = {
      {5, "M:\\"},
      {101, "M:\\a\\b\\"},
      {102, "M:\\_OrphanFolder_1234\\c\\"},
      {77, "M:\\_OrphanFolder_77\\"},
      // A loop in the parent chain ends in an orphan folder instead of spinning.
      {200, "M:\\_OrphanFolder_200\\y\\x\\"},
  };
  for (const auto& c : cases) EXPECT_EQ(names.BuildFolderPath('M', c.record), c.path) << c.record;
  names.Clear();
  EXPECT_EQ(names.Size(), 0u);
  EXPECT_EQ(names.BuildFolderPath('M', 101), "M:\\_OrphanFolder_101\\");
}

// A folder the catalogue knows (a deleted folder, or one whose lost name the catalogue found
// again) is named from its entry; the records are asked only for the folders above it.
TEST(FolderNames, TheCataloguesNamesComeFirst) {
  test::CFakeRecords fake;
  fake.Folder(30, "Live", 5, true);
  fake.Folder(40, "", 30, false);  // lost its name on the volume
  fake.Folder(41, "Kept", 40, false);
  fake.Folder(50, "Loop", 51, false);
  fake.Folder(51, "Back", 50, false);
  CFileIndex index;
  index.InsertEntry(40, "Found", kAttrFolderBit, 30);
  index.InsertEntry(41, "Kept", kAttrFolderBit, 40);
  const struct {
    const CFileIndex* catalogue;
    std::uint32_t record;
    const char* path;
  } cases[] = {
      {&index, 41, "D:\\Live\\Found\\Kept\\"},
      {nullptr, 41, "D:\\_OrphanFolder_40\\Kept\\"},
      {&index, 50, "D:\\_OrphanFolder_50\\Back\\Loop\\"},
      {&index, 99, "D:\\_OrphanFolder_99\\"},  // no such record
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    CFolderNames names;
    names.RegisterParentFolders(fake, c.catalogue, c.record);
    EXPECT_EQ(names.BuildFolderPath('D', c.record), c.path);
  }
  // Named from the catalogue: record 40 was never read for its name.
  fake.loads.clear();
  CFolderNames names;
  names.RegisterParentFolders(fake, &index, 41);
  EXPECT_EQ(fake.loads.count(40), 0u);
  EXPECT_EQ(fake.loads.count(41), 0u);
  EXPECT_EQ(fake.loads[30], 1);
  // Once named, a folder is not walked again.
  names.RegisterParentFolders(fake, &index, 41);
  EXPECT_EQ(fake.loads[30], 1);
}

}  // namespace
}  // namespace sorvani
