// The folder tree on the indexed fixture: existing folders beside deleted and orphan ones, the
// deleted-only filter, lookups by path and by chain, and a deleted folder chain that loops.
#include <QAbstractItemModelTester>
#include <QtTest>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "app/resource_library.h"
#include "tests/app/app_test_util.h"
#include "tests/index/fake_records.h"
#include "ui/folder_tree_model.h"
#include "ui/tooltip_style.h"

using namespace sorvani;
using namespace sorvani::ui;

namespace {

// Every child name of `parent`, in model order, listing it first.
QStringList ChildNames(CFolderTreeModel& model, const QModelIndex& parent = {}) {
  if (model.canFetchMore(parent)) model.fetchMore(parent);
  QStringList names;
  for (int r = 0; r < model.rowCount(parent); ++r)
    names << model.index(r, 0, parent).data().toString();
  return names;
}

QModelIndex ChildNamed(CFolderTreeModel& model, const QString& name,
                       const QModelIndex& parent = {}) {
  if (model.canFetchMore(parent)) model.fetchMore(parent);
  for (int r = 0; r < model.rowCount(parent); ++r)
    if (model.index(r, 0, parent).data().toString() == name) return model.index(r, 0, parent);
  return {};
}

bool LessNoCase(const QString& a, const QString& b) {
  int c = QString::compare(a, b, Qt::CaseInsensitive);
  return c != 0 ? c < 0 : a < b;
}

// Checks the model from now on, resets included.
std::unique_ptr<QAbstractItemModelTester> Tester(CFolderTreeModel& model) {
  return std::make_unique<QAbstractItemModelTester>(
      &model, QAbstractItemModelTester::FailureReportingMode::QtTest);
}

class CNoLiveItems : public ILiveLister {
 public:
  bool List(const std::string&, std::uint32_t, std::vector<LiveItem>& out) override {
    out.clear();
    return true;
  }
  std::uint32_t RecordOf(const std::string&) override { return 0; }
};

// Existing items by folder path.
class CLiveItems : public ILiveLister {
 public:
  bool List(const std::string& path, std::uint32_t, std::vector<LiveItem>& out) override {
    out.clear();
    if (unreadable.count(path)) return false;
    out = items[path];
    return true;
  }
  std::set<std::string> unreadable;
  std::uint32_t RecordOf(const std::string&) override { return 0; }
  std::map<std::string, std::vector<LiveItem>> items;
};

}  // namespace

class TestFolderTree : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void rootShowsExistingDeletedAndOrphanFolders();
  void deletedOnlyKeepsFoldersWithDeletedItemsBelow();
  void lookupsByPathAndChain();
  void deletedFolderNamedLikeAnExistingOneIsShownOnce();
  void loopingDeletedChainEnds();

 private:
  QString m_image;
  nlohmann::json m_key;
  CSession m_session;
};

void TestFolderTree::initTestCase() {
  std::string error;
  QVERIFY2(ResourceLibrary().Load(SORVANI_UI_BIN_DIR "/libsvres.so", error), error.c_str());
  std::string image = test::Fixture("ntfs-4k.img");
  if (image.empty()) QSKIP("fixtures absent");
  m_image = QString::fromStdString(image);
  m_key = nlohmann::json::parse(test::FixtureText("ntfs-4k.img.key.json"), nullptr, false);
  QVERIFY(!m_key.is_discarded());
  SetCacheSavingAllowed(false);
  QVERIFY(m_session.Drives().Assign('C', test::FileSource(image)));
  QVERIFY(test::IndexNow(m_session, 'C') == kEnumScanned);
}

void TestFolderTree::rootShowsExistingDeletedAndOrphanFolders() {
  CFolderTreeModel model;
  auto tester = Tester(model);
  model.SetDrive(m_session, 'C', false);

  // The key's folders of the root, system folders aside, and the catalogue's orphan folders:
  // among them the one the deleted orphan-child.bin names as its parent (record 64, gone from
  // the volume), which the key lists under $OrphanFiles.
  QStringList live, deleted;
  for (std::uint32_t record : m_session.Catalogue().index->OrphanFolders())
    deleted << QString::fromStdString(CFolderModel::OrphanFolderName(record));
  QVERIFY(deleted.contains("_OrphanFolder_64"));
  for (const auto& e : m_key["entries"]) {
    std::string path = e.value("path", "");
    if (e.value("meta_type", "") != "d" || path.find('/') != std::string::npos ||
        path.starts_with("$"))
      continue;
    (e.value("deleted", false) ? deleted : live) << QString::fromStdString(path);
  }
  QVERIFY(deleted.contains("OldProject"));
  QVERIFY(live.contains("Docs"));
  QStringList expected = live + deleted;
  std::sort(expected.begin(), expected.end(), LessNoCase);
  QCOMPARE(ChildNames(model), expected);

  QIcon liveIcon, deletedIcon;
  for (int r = 0; r < model.rowCount(); ++r) {
    QModelIndex at = model.index(r, 0);
    const QString name = at.data().toString();
    QCOMPARE(at.data(CFolderTreeModel::kDeletedRole).toBool(), deleted.contains(name));
    QCOMPARE(at.data(CFolderTreeModel::kPathRole).toString(), "C:\\" + name + "\\");
    (deleted.contains(name) ? deletedIcon : liveIcon) = at.data(Qt::DecorationRole).value<QIcon>();
  }
  QModelIndex orphan = ChildNamed(model, "_OrphanFolder_64");
  QCOMPARE(orphan.data(CFolderTreeModel::kKindRole).toInt(), int(FolderKind::Orphan));
  QCOMPARE(orphan.data(CFolderTreeModel::kRecordRole).toUInt(), 64u);
  // The deleted mark is drawn over the folder.
  QVERIFY(!liveIcon.isNull() && !deletedIcon.isNull());
  QVERIFY(liveIcon.pixmap(16).toImage() != deletedIcon.pixmap(16).toImage());

  // Tooltips: an existing folder has its dates, a deleted one (not read again) has none.
  QModelIndex docs = ChildNamed(model, "Docs");
  const QString docsTip = docs.data(CFolderTreeModel::kToolTipTextRole).toString();
  QCOMPARE(docs.data(Qt::ToolTipRole).toString(), RichToolTipText(docsTip));
  QVERIFY2(docsTip.startsWith("Name: Docs\nType: File Folder\nDate Created: "),
           qPrintable(docsTip));
  QVERIFY(docsTip.contains("\nDate Modified: "));
  QCOMPARE(ChildNamed(model, "OldProject").data(CFolderTreeModel::kToolTipTextRole).toString(),
           QString("Name: OldProject\nType: File Folder"));
  QCOMPARE(QString::fromStdString(FolderToolTipText("x", "", 0, 0)),
           QString("Name: x\nType: Unknown"));

  // Deeper: the deleted chain below OldProject, ending at a folder without subfolders.
  QModelIndex at = ChildNamed(model, "OldProject");
  for (const char* name : {"src", "lib", "deep"}) {
    at = ChildNamed(model, name, at);
    QVERIFY2(at.isValid(), name);
    QCOMPARE(at.data(CFolderTreeModel::kKindRole).toInt(), int(FolderKind::Deleted));
  }
  QCOMPARE(at.data(CFolderTreeModel::kRecordRole).toUInt(), test::kDeep);
  QVERIFY(!model.hasChildren(at));
  QCOMPARE(ChildNames(model, ChildNamed(model, "2023", ChildNamed(model, "Reports", docs))),
           QStringList{"Q4"});
}

void TestFolderTree::deletedOnlyKeepsFoldersWithDeletedItemsBelow() {
  CFolderTreeModel model;
  auto tester = Tester(model);
  model.SetDrive(m_session, 'C', false);
  const QStringList all = ChildNames(model);
  model.SetDeletedOnly(true);
  // Existing folders of the root stay when the key has a deleted item anywhere below them.
  QStringList expected;
  for (const QString& name : all) {
    bool keep = name == "OldProject" || name.startsWith("_OrphanFolder_");
    for (const auto& e : m_key["entries"]) {
      if (keep) break;
      // A deleted file is one whose record is free, even when its old name is still listed
      // (HardLinks/links-deleted.txt).
      const bool deleted = e.value("deleted", false) || !e.value("meta_allocated", true);
      keep = deleted && QString::fromStdString(e.value("path", "")).startsWith(name + "/");
    }
    if (keep) expected << name;
  }
  // Every existing folder of the fixture holds a deleted item somewhere below.
  QVERIFY(expected.contains("Docs"));
  QCOMPARE(ChildNames(model), expected);
  // And back.
  model.SetDeletedOnly(false);
  QCOMPARE(ChildNames(model), all);

  // Existing folders with and without deleted items below, beside a deleted one.
  auto fake = std::make_unique<test::CFakeRecords>();
  auto index = std::make_shared<CFileIndex>();
  fake->Folder(300, "gone", 5, false);
  index->InsertEntry(300, "gone", kAttrFolderBit, 5);
  index->InsertChild(5, 300);
  index->InsertLiveFolder(400);
  // An existing folder whose directory cannot be read still shows its deleted subfolders.
  fake->Folder(310, "lost", 404, false);
  index->InsertEntry(310, "lost", kAttrFolderBit, 404);
  index->InsertChild(404, 310);
  index->InsertLiveFolder(404);
  auto live = std::make_unique<CLiveItems>();
  live->items["D:\\"] = {{"kept", 400, kAttrFolderBit},
                         {"clean", 401, kAttrFolderBit},
                         {"file.txt", 402, 0x20},
                         {"broken", 404, kAttrFolderBit}};
  live->items["D:\\kept\\"] = {{"inner", 403, kAttrFolderBit}};
  live->unreadable = {"D:\\broken\\"};
  CFolderTreeModel synthetic;
  auto check = Tester(synthetic);
  synthetic.SetFolders(
      std::make_unique<CDriveFolders>('D', index, std::move(fake), std::move(live)), false);
  QCOMPARE(ChildNames(synthetic), (QStringList{"broken", "clean", "gone", "kept"}));
  QCOMPARE(ChildNames(synthetic, ChildNamed(synthetic, "kept")), QStringList{"inner"});
  QModelIndex broken = ChildNamed(synthetic, "broken");
  QCOMPARE(ChildNames(synthetic, broken), QStringList{"lost"});
  QVERIFY(synthetic.NodeOf(broken)->listFailed);
  QVERIFY(!synthetic.NodeOf(ChildNamed(synthetic, "kept"))->listFailed);
  synthetic.SetDeletedOnly(true);
  QCOMPARE(ChildNames(synthetic), (QStringList{"broken", "gone", "kept"}));
  // "inner" holds nothing deleted.
  QCOMPARE(ChildNames(synthetic, ChildNamed(synthetic, "kept")), QStringList{});
}

void TestFolderTree::lookupsByPathAndChain() {
  CFolderTreeModel model;
  auto tester = Tester(model);
  model.SetDrive(m_session, 'C', false);
  // Nothing listed yet: the lookup lists the branches on its way, names without case.
  QModelIndex q4 = model.IndexOf("c:\\docs\\REPORTS\\2023\\q4\\");
  QVERIFY(q4.isValid());
  QCOMPARE(q4.data(CFolderTreeModel::kPathRole).toString(),
           QString("C:\\Docs\\Reports\\2023\\Q4\\"));
  QCOMPARE(model.parent(q4).data().toString(), QString("2023"));
  QVERIFY(!model.IndexOf("C:\\Docs\\Nowhere\\").isValid());
  QVERIFY(!model.IndexOf("D:\\Docs\\").isValid());
  QVERIFY(!model.IndexOf("C:\\").isValid());  // the root is no row

  using Link = CFolderTree::ChainLink;
  QModelIndex deep =
      model.IndexOfChain({Link{"OldProject", test::kOldProject}, Link{"src", test::kSrc},
                          Link{"lib", 0}, Link{"deep", test::kDeep}});
  QVERIFY(deep.isValid());
  QCOMPARE(deep.data(CFolderTreeModel::kPathRole).toString(),
           QString("C:\\OldProject\\src\\lib\\deep\\"));
  // A name with another record is another folder.
  QVERIFY(!model.IndexOfChain({Link{"OldProject", test::kSrc}}).isValid());
  QCOMPARE(model.NodeOf(deep)->folder.record, test::kDeep);
  QCOMPARE(model.IndexOfNode(model.NodeOf(deep)), deep);
}

void TestFolderTree::deletedFolderNamedLikeAnExistingOneIsShownOnce() {
  auto image = test::SameNameImage();
  QVERIFY(image);
  CSession session;
  QVERIFY(session.Drives().Assign('E', test::MemorySource(image)));
  QVERIFY(test::IndexNow(session, 'E') == kEnumScanned);
  CFolderTreeModel model;
  model.SetDrive(session, 'E', false);
  const QStringList names = ChildNames(model);
  QCOMPARE(names.count("Big"), 1);
  QModelIndex big = ChildNamed(model, "Big");
  QCOMPARE(big.data(CFolderTreeModel::kRecordRole).toUInt(), test::kLiveBig);
  QCOMPARE(big.data(CFolderTreeModel::kDeletedRole).toBool(), false);
}

void TestFolderTree::loopingDeletedChainEnds() {
  // P (deleted, in the root) holds A; A holds B and B holds A again; C holds itself.
  auto fake = std::make_unique<test::CFakeRecords>();
  auto index = std::make_shared<CFileIndex>();
  auto folder = [&](std::uint32_t r, const char* name, std::uint32_t parent) {
    fake->Folder(r, name, parent, false);
    index->InsertEntry(r, name, kAttrFolderBit, parent);
    index->InsertChild(parent, r);
  };
  folder(300, "P", 5);
  folder(200, "A", 300);
  folder(201, "B", 200);
  index->InsertChild(201, 200);
  folder(202, "C", 202);
  index->InsertChild(5, 202);
  CFolderTreeModel model;
  auto tester = Tester(model);
  model.SetFolders(std::make_unique<CDriveFolders>('D', index, std::move(fake),
                                                   std::make_unique<CNoLiveItems>()),
                   false);
  // Open every branch; a loop would never end (the depth guard fails the test instead).
  int nodes = 0, deepest = 0;
  std::function<void(const QModelIndex&, int)> walk = [&](const QModelIndex& at, int depth) {
    QVERIFY(depth < 20);
    deepest = std::max(deepest, depth);
    if (model.canFetchMore(at)) model.fetchMore(at);
    for (int r = 0; r < model.rowCount(at); ++r) {
      ++nodes;
      walk(model.index(r, 0, at), depth + 1);
    }
  };
  walk({}, 0);
  QCOMPARE(nodes, 4);  // C, P, A, B
  QCOMPARE(deepest, 3);
  QCOMPARE(ChildNames(model), (QStringList{"C", "P"}));
  QVERIFY(model.IndexOf("D:\\P\\A\\B\\").isValid());
  QVERIFY(!model.IndexOf("D:\\P\\A\\B\\A\\").isValid());
  QVERIFY(!model.IndexOf("D:\\C\\C\\").isValid());
}

QTEST_MAIN(TestFolderTree)
#include "tst_folder_tree.moc"
