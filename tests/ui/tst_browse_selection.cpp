// The browse view's two recoveries end to end on the indexed fixture: rows of the file list of
// Docs\Reports\2023\ and the deleted tree folder OldProject become plans, the recovery job
// writes them through a scripted front end, and every file matches the answer key's SHA-256.
#include <QtTest>
#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "app/listing_job.h"
#include "app/recovery_job.h"
#include "app/resource_library.h"
#include "tests/app/app_test_util.h"
#include "tests/recovery/recovery_test_util.h"
#include "ui/browse_selection.h"
#include "ui/folder_tree_model.h"

using namespace sorvani;
using namespace sorvani::ui;

namespace {

class CRowCollector : public IListingSink {
 public:
  void OnRow(const CatalogueRow& row) override { rows.push_back(row); }
  std::vector<CatalogueRow> rows;
};

// The rows as the list hands them over when its command is given.
BrowseRow RowOf(const CatalogueRow& c) {
  BrowseRow row;
  row.record = c.row.record;
  row.name = c.row.name;
  row.attributes = c.row.attributes;
  row.size = c.row.size;
  row.folder = (c.row.attributes & kAttrFolderBit) != 0;
  row.deleted = c.deleted;
  return row;
}

RecoveryJobSnapshot RunToEnd(CRecoveryJob& job) {
  if (!job.Start()) return {};
  while (!job.Finished()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  job.Wait();
  return job.Snapshot();
}

}  // namespace

class TestBrowseSelection : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void selectionsFromRowsAndFolders();
  void listSelectionRecoversTheKeysBytes();
  void treeFolderRecoversTheKeysBytes();
  void unindexedDriveIsRefused();

 private:
  CSession m_session;
  std::vector<test::KeyStream> m_streams;  // deleted files' unnamed streams
  bool m_indexed = false;
};

void TestBrowseSelection::initTestCase() {
  std::string error;
  QVERIFY2(ResourceLibrary().Load(SORVANI_UI_BIN_DIR "/libsvres.so", error), error.c_str());
  std::string image = test::Fixture("ntfs-4k.img");
  if (image.empty()) return;
  for (const test::KeyStream& k :
       test::DeletedStreamsOfKey(test::FixtureText("ntfs-4k.img.key.json")))
    if (k.stream.empty()) m_streams.push_back(k);
  QVERIFY(!m_streams.empty());
  SetCacheSavingAllowed(false);
  QVERIFY(m_session.Drives().Assign('C', test::FileSource(image)));
  QVERIFY(test::IndexNow(m_session, 'C') == kEnumScanned);
  m_indexed = true;
}

void TestBrowseSelection::selectionsFromRowsAndFolders() {
  std::vector<BrowseRow> rows(4);
  rows[0] = {73, "draft-old.txt", 0x20, 300, false, true};
  rows[1] = {75, "report-final.bin", 0x20, 200000, false, false};  // existing
  rows[2] = {91, "OldProject", 0x10, 0, true, true};
  rows[3] = rows[0];  // the same row twice counts once
  std::size_t existing = 99;
  RecoverySelection pick = ListSelection(rows, &existing);
  QCOMPARE(int(pick.kind), int(RecoverySelection::Kind::kRecords));
  QCOMPARE(pick.records, (std::vector<std::uint32_t>{73, 91}));
  QCOMPARE(existing, std::size_t{1});
  QVERIFY(ListSelection({}).records.empty());

  RecoverySelection deleted =
      TreeFolderSelection({"C:\\OldProject\\src\\", 93, FolderKind::Deleted});
  QCOMPARE(int(deleted.kind), int(RecoverySelection::Kind::kRecords));
  QCOMPARE(deleted.records, std::vector<std::uint32_t>{93});
  RecoverySelection orphan =
      TreeFolderSelection({"C:\\_OrphanFolder_64\\", 64, FolderKind::Orphan});
  QCOMPARE(orphan.records, std::vector<std::uint32_t>{64});
  RecoverySelection live =
      TreeFolderSelection({"C:\\Docs\\Reports\\2023\\", 1579, FolderKind::Existing});
  QCOMPARE(int(live.kind), int(RecoverySelection::Kind::kFolder));
  QCOMPARE(live.folder, std::string("Docs/Reports/2023"));
  RecoverySelection root = TreeFolderSelection({"C:\\", 5, FolderKind::Existing});
  QCOMPARE(int(root.kind), int(RecoverySelection::Kind::kAllDeleted));
}

void TestBrowseSelection::listSelectionRecoversTheKeysBytes() {
  if (!m_indexed) QSKIP("fixtures absent");
  // The whole list of the folder selected, existing rows among them.
  CRowCollector list;
  ListingOptions options;
  options.path = "C:\\Docs\\Reports\\2023\\";
  QCOMPARE(ListFolder(m_session, 'C', options, list), std::uint8_t{kListingDone});
  std::vector<BrowseRow> rows;
  std::size_t liveRows = 0;
  for (const CatalogueRow& c : list.rows) {
    rows.push_back(RowOf(c));
    liveRows += !c.deleted;
  }
  std::size_t existing = 0;
  RecoverySelection pick = ListSelection(rows, &existing);
  QCOMPARE(existing, liveRows);
  QVERIFY(liveRows > 0);

  // The key's deleted files directly in the folder are exactly the selection.
  std::map<std::uint32_t, test::KeyStream> expected;
  for (const test::KeyStream& k : m_streams) {
    const std::string prefix = "Docs/Reports/2023/";
    if (k.path.starts_with(prefix) && k.path.find('/', prefix.size()) == std::string::npos)
      expected[k.record] = k;
  }
  QCOMPARE(expected.size(), std::size_t{2});
  QCOMPARE(pick.records.size(), expected.size());
  for (std::uint32_t r : pick.records) QVERIFY2(expected.count(r), qPrintable(QString::number(r)));

  std::string error;
  auto recovery = CBrowseRecovery::Open(m_session, 'C', error);
  QVERIFY2(recovery, error.c_str());
  const std::string dest = test::ScratchFolder("browse_list_selection");
  RecoveryPlan plan = recovery->Plan(pick);
  QVERIFY(plan.unknownRecords.empty());
  RecoveryRequest request = recovery->Request(std::move(plan), dest);
  QCOMPARE(request.flags, std::uint32_t{RF_ALL_STREAMS | RF_FOLDER_ATTRIBUTES});
  request.countUsage = false;
  test::CScriptedFrontEnd fe(dest);
  CRecoveryJob job(std::move(request), &fe, &fe);
  RecoveryJobSnapshot end = RunToEnd(job);
  QCOMPARE(job.Result(), RecoverResult(REC_S_OK));
  QCOMPARE(end.itemsDone, 2u);
  QCOMPARE(end.failed, 0u);
  QVERIFY(fe.asked.empty());
  for (const auto& [record, k] : expected) {
    const std::string file = dest + "/" + std::filesystem::path(k.path).filename().string();
    QCOMPARE(test::Sha256OfFile(file), k.sha256);
  }
}

void TestBrowseSelection::treeFolderRecoversTheKeysBytes() {
  if (!m_indexed) QSKIP("fixtures absent");
  CFolderTreeModel tree;
  tree.SetDrive(m_session, 'C', false);
  FolderTreeNode* node = tree.NodeOf(tree.IndexOf("C:\\OldProject\\"));
  QVERIFY(node);
  QCOMPARE(node->folder.kind, FolderKind::Deleted);

  std::string error;
  auto recovery = CBrowseRecovery::Open(m_session, 'C', error);
  QVERIFY2(recovery, error.c_str());
  RecoveryPlan plan = recovery->Plan(TreeFolderSelection(node->folder));
  QCOMPARE(plan.items.size(), std::size_t{1});
  QCOMPARE(plan.items[0].name, std::string("OldProject"));
  QCOMPARE(plan.totalBytes, test::kOldProjectBytes);
  const std::string dest = test::ScratchFolder("browse_tree_folder");
  RecoveryRequest request = recovery->Request(std::move(plan), dest);
  request.countUsage = false;
  test::CScriptedFrontEnd fe(dest);
  CRecoveryJob job(std::move(request), &fe, &fe);
  RecoveryJobSnapshot end = RunToEnd(job);
  QCOMPARE(job.Result(), RecoverResult(REC_S_OK));
  QCOMPARE(end.failed, 0u);
  QCOMPARE(end.bytesDone, test::kOldProjectBytes);

  // Every deleted file of the key below OldProject, at its place.
  int checked = 0;
  for (const test::KeyStream& k : m_streams) {
    if (!k.path.starts_with("OldProject/")) continue;
    QCOMPARE(test::Sha256OfFile(dest + "/" + k.path), k.sha256);
    ++checked;
  }
  QCOMPARE(checked, 5);
}

void TestBrowseSelection::unindexedDriveIsRefused() {
  std::string error;
  QVERIFY(!CBrowseRecovery::Open(m_session, 'Q', error));
  QVERIFY(!error.empty());
}

QTEST_MAIN(TestBrowseSelection)
#include "tst_browse_selection.moc"
