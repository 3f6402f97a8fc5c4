// Paths as people type them, parsed once and resolved through existing and deleted folders.
#include "app/volume_path.h"

#include <gtest/gtest.h>

#include "index/ntfs_record_reader.h"
#include "ntfs/ntfs_volume.h"
#include "tests/app/app_test_util.h"

namespace sorvani {
namespace {

TEST(VolumePath, ParsesTheFormsPeopleType) {
  using Parts = std::vector<std::string>;
  const struct {
    const char* text;
    bool ok;
    char letter;
    Parts parts;
  } cases[] = {
      {"X:\\dir1\\", true, 'X', {"dir1"}},
      {"x:/dir1/dir2", true, 'X', {"dir1", "dir2"}},
      {"/dir1", true, 0, {"dir1"}},
      {"\\dir1\\dir 2\\", true, 0, {"dir1", "dir 2"}},
      {"dir1/dir2", true, 0, {"dir1", "dir2"}},
      {"C:", true, 'C', {}},
      {"C:\\", true, 'C', {}},
      {"/", true, 0, {}},
      {"a//b/", true, 0, {"a", "b"}},
      {"C:dir1", true, 'C', {"dir1"}},
      {"", false, 0, {}},
      {"a/../b", false, 0, {}},
      {"./a", false, 0, {}},
      {"1:/a", false, 0, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    VolumePath path;
    std::string error;
    ASSERT_EQ(ParseVolumePath(c.text, path, error), c.ok);
    EXPECT_EQ(error.empty(), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(path.letter, c.letter);
    EXPECT_EQ(path.components, c.parts);
  }
}

struct Resolved {
  bool found;
  std::uint32_t record;
  FolderKind kind;
};

Resolved Resolve(CSession& session, char letter, const std::string& text) {
  auto volume = session.NewReader(letter);
  PublishedCatalogue catalogue = session.Catalogue();
  CNtfsRecordReader reader(volume.get(), catalogue.index.get());
  CNtfsIndexLister live(volume.get());
  CFolderModel model(letter, *catalogue.index, reader, live);
  model.SetDeletedOnly(true);  // a view's setting does not hide existing folders from paths
  FolderNode node;
  bool found = ResolveFolderText(model, text, node);
  EXPECT_TRUE(model.DeletedOnly());
  return {found, node.record, node.kind};
}

TEST(VolumePath, ResolvesExistingAndDeletedFoldersInEveryForm) {
  std::string image = test::Fixture("ntfs-4k.img");
  if (image.empty()) GTEST_SKIP() << "fixtures absent";
  SetCacheSavingAllowed(false);
  CSession session;
  ASSERT_TRUE(session.Drives().Assign('C', test::FileSource(image)));
  ASSERT_EQ(test::IndexNow(session, 'C'), kEnumScanned);
  const struct {
    const char* text;
    bool found;
    std::uint32_t record;
    FolderKind kind;
  } cases[] = {
      {"C:\\Docs\\Reports\\2023\\", true, 1579, FolderKind::Existing},
      {"/Docs/Reports/2023", true, 1579, FolderKind::Existing},
      {"docs/REPORTS", true, 1578, FolderKind::Existing},
      {"C:/", true, kIndexRootRecord, FolderKind::Existing},
      {"/OldProject", true, test::kOldProject, FolderKind::Deleted},
      {"OldProject/src/lib", true, test::kLib, FolderKind::Deleted},
      {"C:\\OldProject\\src\\lib\\deep\\", true, test::kDeep, FolderKind::Deleted},
      {"/OldProject/missing", false, 0, FolderKind::Existing},
      {"D:/OldProject", false, 0, FolderKind::Existing},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Resolved r = Resolve(session, 'C', c.text);
    EXPECT_EQ(r.found, c.found);
    if (!c.found) continue;
    EXPECT_EQ(r.record, c.record);
    EXPECT_EQ(r.kind, c.kind);
  }
}

// Where an existing and a deleted folder share a name, the path goes on through whichever
// holds the rest of it.
TEST(VolumePath, ATwinNameIsResolvedByWhatLiesBelowIt) {
  auto image = test::SameNameImage();
  if (!image) GTEST_SKIP() << "fixtures absent";
  SetCacheSavingAllowed(false);
  CSession session;
  ASSERT_TRUE(session.Drives().Assign('S', test::MemorySource(image)));
  ASSERT_EQ(test::IndexNow(session, 'S'), kEnumScanned);
  Resolved live = Resolve(session, 'S', "/Big");
  EXPECT_TRUE(live.found);
  EXPECT_EQ(live.record, test::kLiveBig);
  Resolved below = Resolve(session, 'S', "/Big/lib");
  EXPECT_TRUE(below.found);
  EXPECT_EQ(below.record, test::kLib);
  EXPECT_EQ(below.kind, FolderKind::Deleted);
}

}  // namespace
}  // namespace sorvani
