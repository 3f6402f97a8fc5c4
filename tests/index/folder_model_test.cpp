// The browse rules: existing and deleted items side by side, orphan folders under the root,
// the deleted-only view, and paths through all three kinds of folder.
#include "index/folder_model.h"

#include <gtest/gtest.h>

#include <map>

#include "tests/index/fake_records.h"

namespace sorvani {
namespace {

class CFakeLive : public ILiveLister {
 public:
  std::map<std::uint32_t, std::vector<LiveItem>> folders;
  std::map<std::string, std::uint32_t> paths;
  bool List(const std::string& path, std::uint32_t record, std::vector<LiveItem>& out) override {
    if (record == 0) record = RecordOf(path);
    auto it = folders.find(record);
    if (it == folders.end()) return false;
    out = it->second;
    return true;
  }
  std::uint32_t RecordOf(const std::string& path) override {
    auto it = paths.find(path);
    return it == paths.end() ? 0 : it->second;
  }
};

std::vector<std::string> Names(const std::vector<FolderItem>& items) {
  std::vector<std::string> out;
  for (const auto& i : items) out.push_back(i.row.name + (i.deleted ? "*" : ""));
  return out;
}

class FolderModel : public ::testing::Test {
 protected:
  void SetUp() override {
    fake.Folder(30, "Photos", 5, true);
    fake.Folder(31, "Music", 5, true);
    fake.Folder(40, "2008", 30, false);
    fake.File(41, "a.jpg", 40, false, 5000).overwritten = 40;
    fake.File(42, "gone.txt", 5, false, 12);
    fake.File(60, "reused.txt", 5, true);
    fake.File(61, "lost.doc", 60, false, 77);
    for (std::uint32_t r : {40u, 41u, 42u, 61u}) index.IndexUnusedRecord(fake, r);
    index.InsertChild(5, 999);  // a link whose child is not an entry is passed over
    live.folders[5] = {{"Photos", 30, 0x10}, {"Music", 31, 0x10}, {"readme.txt", 50, 0x20, 9}};
    live.folders[30] = {{"old.jpg", 51, 0x20}};
    live.folders[31] = {};
    live.paths = {{"D:\\Photos\\", 30}, {"D:\\Music\\", 31}};
  }

  test::CFakeRecords fake;
  CFileIndex index;
  CFakeLive live;
};

TEST_F(FolderModel, RootShowsExistingDeletedAndOrphanFolders) {
  CFolderModel model('D', index, fake, live);
  std::vector<FolderItem> items;
  ASSERT_TRUE(model.List(model.Root(), items));
  EXPECT_EQ(Names(items), (std::vector<std::string>{"Photos", "Music", "readme.txt", "gone.txt*",
                                                    "_OrphanFolder_60*"}));
  const FolderItem& gone = items[3];
  EXPECT_TRUE(gone.loaded);
  EXPECT_EQ(gone.row.size, 12u);
  EXPECT_EQ(gone.row.record, 42u);
  EXPECT_TRUE(items[4].orphan);
  EXPECT_TRUE(items[4].IsFolder());

  // The deleted-only view keeps only existing folders that lead to deleted items.
  model.SetDeletedOnly(true);
  ASSERT_TRUE(model.List(model.Root(), items));
  EXPECT_EQ(Names(items), (std::vector<std::string>{"Photos", "gone.txt*", "_OrphanFolder_60*"}));

  // The tree sees only folders and does not load rows.
  model.SetDeletedOnly(false);
  int loadsBefore = fake.detailLoads;
  ASSERT_TRUE(model.ListSubfolders(model.Root(), items));
  EXPECT_EQ(Names(items), (std::vector<std::string>{"Photos", "Music", "_OrphanFolder_60*"}));
  EXPECT_EQ(fake.detailLoads, loadsBefore);
}

TEST_F(FolderModel, FoldersBelowTheRootAndPathsThroughEveryKind) {
  CFolderModel model('D', index, fake, live);
  std::vector<FolderItem> items;
  FolderNode node;
  ASSERT_TRUE(model.Resolve("d:\\photos\\2008\\", node));
  EXPECT_EQ(node.kind, FolderKind::Deleted);
  EXPECT_EQ(node.record, 40u);
  EXPECT_EQ(node.path, "D:\\Photos\\2008\\");
  ASSERT_TRUE(model.List(node, items));
  ASSERT_EQ(Names(items), std::vector<std::string>{"a.jpg*"});
  EXPECT_EQ(items[0].row.overwritten, 40);
  EXPECT_EQ(items[0].row.size, 5000u);

  ASSERT_TRUE(model.Resolve("D:\\Photos", node));
  ASSERT_TRUE(model.List(node, items));
  EXPECT_EQ(Names(items), (std::vector<std::string>{"old.jpg", "2008*"}));
  EXPECT_EQ(items[1].row.overwritten, 0);  // folders have no overwritten share

  // Orphan folders appear only under the root.
  EXPECT_TRUE(std::none_of(items.begin(), items.end(), [](auto& i) { return i.orphan; }));

  ASSERT_TRUE(model.Resolve("D:\\_OrphanFolder_60\\", node));
  EXPECT_EQ(node.kind, FolderKind::Orphan);
  ASSERT_TRUE(model.List(node, items));
  EXPECT_EQ(Names(items), std::vector<std::string>{"lost.doc*"});

  EXPECT_FALSE(model.Resolve("D:\\Nowhere\\", node));
  EXPECT_FALSE(model.Resolve("E:\\Photos\\", node));
  ASSERT_TRUE(model.Resolve("D:\\", node));
  EXPECT_EQ(node.record, 5u);

  // A folder whose live listing fails still shows its deleted items.
  live.folders.erase(30);
  ASSERT_TRUE(model.Resolve("D:\\Photos\\", node));
  EXPECT_FALSE(model.List(node, items));
  EXPECT_EQ(Names(items), std::vector<std::string>{"2008*"});
}

}  // namespace
}  // namespace sorvani
