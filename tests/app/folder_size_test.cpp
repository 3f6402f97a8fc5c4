// Folder sums: the sizes below a deleted or an existing folder, ended on looping chains,
// with a running total and cancel.
#include "app/folder_size.h"

#include <gtest/gtest.h>

#include "tests/app/app_test_util.h"
#include "tests/index/fake_records.h"

namespace sorvani {
namespace {

class CNoLiveItems : public ILiveLister {
 public:
  bool List(const std::string&, std::uint32_t, std::vector<LiveItem>& out) override {
    out.clear();
    return true;
  }
  std::uint32_t RecordOf(const std::string&) override { return 0; }
};

// Deleted folders that name each other as parents (A in B, B in A, C in itself) end the sum
// after each folder was entered once; every file counts once.
TEST(FolderSize, LoopingFolderChainsEnd) {
  test::CFakeRecords fake;
  CFileIndex index;
  auto folder = [&](std::uint32_t r, const char* name, std::uint32_t parent) {
    fake.Folder(r, name, parent, false);
    index.InsertEntry(r, name, kAttrFolderBit, parent);
    index.InsertChild(parent, r);
  };
  auto file = [&](std::uint32_t r, const char* name, std::uint32_t parent, std::uint64_t size) {
    fake.File(r, name, parent, false, size);
    index.InsertEntry(r, name, 0x20, parent);
    index.InsertChild(parent, r);
  };
  folder(200, "A", 201);
  folder(201, "B", 200);
  folder(202, "C", 202);
  index.InsertChild(200, 202);  // C is in A as well as in itself
  file(210, "a.bin", 200, 100);
  file(211, "b.bin", 201, 20);
  file(212, "c.bin", 202, 3);
  CNoLiveItems live;
  CFolderModel model('D', index, fake, live);

  const struct {
    std::uint32_t start;
    std::uint64_t bytes, files, folders;
  } cases[] = {{200, 123, 3, 3}, {201, 123, 3, 3}, {202, 3, 1, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.start);
    FolderSizeTotals totals;
    FolderNode node{"D:\\x\\", c.start, FolderKind::Deleted};
    EXPECT_TRUE(SumFolder(model, node, totals));
    EXPECT_EQ(totals.bytes.load(), c.bytes);
    EXPECT_EQ(totals.files.load(), c.files);
    EXPECT_EQ(totals.folders.load(), c.folders);
  }
  std::atomic<bool> cancel{true};
  FolderSizeTotals totals;
  EXPECT_FALSE(SumFolder(model, FolderNode{"D:\\A\\", 200, FolderKind::Deleted}, totals, &cancel));
  EXPECT_EQ(totals.files.load(), 0u);
}

TEST(FolderSize, DeletedAndExistingFoldersOfAFixtureSumToTheKey) {
  std::string image = test::Fixture("ntfs-4k.img");
  if (image.empty()) GTEST_SKIP() << "fixtures absent";
  SetCacheSavingAllowed(false);
  CSession session;
  ASSERT_TRUE(session.Drives().Assign('C', test::FileSource(image)));
  ASSERT_EQ(test::IndexNow(session, 'C'), kEnumScanned);
  const struct {
    FolderNode node;
    std::uint64_t bytes, files;
  } cases[] = {
      // Five deleted files below deleted OldProject (answer key sizes).
      {{"C:\\OldProject\\", test::kOldProject, FolderKind::Deleted}, test::kOldProjectBytes, 5},
      // The existing folder Big: its existing file and its deleted one.
      {{"C:\\Big\\", test::kLiveBig, FolderKind::Existing}, 5244114u + 4494304u, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.node.path);
    CFolderSizeJob job(session, 'C', c.node);
    ASSERT_TRUE(job.Start());
    job.Wait();
    FolderSizeSnapshot end = job.Snapshot();
    EXPECT_TRUE(end.finished);
    EXPECT_TRUE(end.complete);
    EXPECT_EQ(end.bytes, c.bytes);
    EXPECT_EQ(end.files, c.files);
  }
  // Cancelled: ends, says it is not complete.
  CFolderSizeJob stopped(session, 'C', cases[0].node);
  stopped.Cancel();
  ASSERT_TRUE(stopped.Start());
  stopped.Wait();
  EXPECT_FALSE(stopped.Snapshot().complete);
  EXPECT_LT(stopped.Snapshot().bytes, test::kOldProjectBytes);
}

}  // namespace
}  // namespace sorvani
