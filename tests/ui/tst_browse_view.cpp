// The browse view of the main window on a fake machine whose disk holds the NTFS and FAT32
// fixtures: choosing a drive indexes it for real, and the tree and the list then show the
// existing and deleted items where they were.
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QtTest>
#include <filesystem>

#include "app/resource_library.h"
#include "app/session.h"
#include "foundation/display_format.h"
#include "foundation/profile.h"
#include "index/index_cache.h"
#include "tests/ui/fake_machine.h"
#include "tests/util/fixtures.h"
#include "ui/commands.h"
#include "ui/custom_list_view.h"
#include "ui/drive_tree_model.h"
#include "ui/file_list_model.h"
#include "ui/folder_fill.h"
#include "ui/hint_balloon.h"
#include "ui/main_frame.h"
#include "ui/resources.h"

using namespace sorvani;
using namespace sorvani::ui;

namespace {

// Accepts every message box that comes up while it lives, keeping the last one's text.
class CBoxAnswerer {
 public:
  CBoxAnswerer() {
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        m_text = box->text();
        box->accept();
      }
    });
    m_timer.start(10);
  }
  const QString& Text() const { return m_text; }

 private:
  QTimer m_timer;
  QString m_text;
};

}  // namespace

class TestBrowseView : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void cleanupTestCase();
  void init();
  void cleanup();
  void choosingTheDriveIndexesItAndShowsTheRoot();
  void deletedFilesBesideTheLiveOnesWithTheirSizes();
  void toolTipTexts();
  void deletedOnlyKeepsFoldersWithDeletedItemsBelow();
  void aFatDriveIsRefusedAndTheCurrentDriveStays();
  void reindexDropsTheCacheAndScansAgain();
  void backAndUpRetraceTheWay();
  void revealOpensTheChainAndSelectsTheItem();
  void namesOfEveryScriptAndLength();
  void anImageThatVanishedIsUnreadable();
  void aFillHintGoesWithItsFolder();

 private:
  // Selects `letter`'s node as a click would and waits for its root's rows; the indexing
  // runs on the way are counted in m_indexings.
  bool ChooseDrive(char letter);
  // Activates the folder `name` of the list and waits for its fill.
  bool OpenFolder(const QString& name);
  bool WaitForFill();
  int RowNamed(const QString& name) const;
  QStringList RowNames() const;
  bool Deleted(const QString& name) const;

  QTemporaryDir m_dir;
  std::unique_ptr<test::CFakeMachine> m_machine;
  CSession* m_session = nullptr;
  std::unique_ptr<CMainFrame> m_frame;
  QTreeView* m_tree = nullptr;
  CCustomListView* m_list = nullptr;
  CFileListModel* m_model = nullptr;
  CFolderFill* m_fill = nullptr;
  CDriveTreeModel* m_drives = nullptr;
  int m_indexings = 0;
  std::shared_ptr<const CFileIndex> m_seenIndex;
  QTimer m_watch;
};

void TestBrowseView::initTestCase() {
  QVERIFY(m_dir.isValid());
  std::string error;
  QVERIFY2(ResourceLibrary().Load(SORVANI_UI_BIN_DIR "/libsvres.so", error), error.c_str());
  SetCacheFolder(test::ScratchFolder("UiBrowseViewCache"));
  m_machine = std::make_unique<test::CFakeMachine>("UiBrowseViewMachine");
  QVERIFY(m_machine->Ok());
  m_session = &m_machine->Session();

  // Each indexing run publishes a new catalogue (a run on a small fixture may end before its
  // dialog's first tick, so the dialog itself is not always seen).
  connect(&m_watch, &QTimer::timeout, this, [this] {
    const auto index = m_session->Catalogue().index;
    if (index == m_seenIndex) return;
    m_seenIndex = index;
    ++m_indexings;
  });
  m_watch.setInterval(5);
}

void TestBrowseView::cleanupTestCase() { m_machine.reset(); }

void TestBrowseView::init() {
  const QString profile = m_dir.filePath("Profile.xml");
  QFile::remove(profile);
  Profile().SetPath(profile.toStdString());
  QVERIFY(Profile().Load());
  CMainFrame::Options options;
  options.session = m_session;
  m_frame = std::make_unique<CMainFrame>(options);
  m_frame->resize(1000, 640);
  m_frame->show();
  QVERIFY(QTest::qWaitForWindowExposed(m_frame.get()));
  m_tree = m_frame->findChild<QTreeView*>("FolderTree");
  m_list = m_frame->findChild<CCustomListView*>("FileList");
  QVERIFY(m_tree && m_list);
  m_model = qobject_cast<CFileListModel*>(m_list->model());
  m_drives = qobject_cast<CDriveTreeModel*>(m_tree->model());
  m_fill = m_frame->findChild<CFolderFill*>();
  QVERIFY(m_model && m_drives && m_fill);
  m_indexings = 0;
  m_seenIndex = m_session->Catalogue().index;
  m_watch.start();
}

void TestBrowseView::cleanup() {
  m_watch.stop();
  m_frame.reset();
}

bool TestBrowseView::WaitForFill() {
  // The fill may not have started yet: the tree's selection is handled on the next turn.
  QTest::qWait(20);
  return QTest::qWaitFor([this] { return !m_fill->Filling(); }, 30000);
}

bool TestBrowseView::ChooseDrive(char letter) {
  const QModelIndex node = m_drives->DriveIndex(letter);
  if (!node.isValid()) return false;
  m_tree->setCurrentIndex(node);
  return QTest::qWaitFor([this] { return m_model->rowCount() > 0 && !m_fill->Filling(); }, 60000);
}

bool TestBrowseView::OpenFolder(const QString& name) {
  const int row = RowNamed(name);
  if (row < 0) return false;
  const QString before = m_model->FolderPath();
  m_list->setFocus();
  m_list->setCurrentIndex(m_model->index(row, 0));
  QTest::keyClick(m_list, Qt::Key_Return);
  return QTest::qWaitFor([&] { return m_model->FolderPath() != before && !m_fill->Filling(); },
                         30000);
}

int TestBrowseView::RowNamed(const QString& name) const {
  for (int row = 0; row < m_model->rowCount(); ++row)
    if (m_model->index(row, 0).data().toString() == name) return row;
  return -1;
}

QStringList TestBrowseView::RowNames() const {
  QStringList names;
  for (int row = 0; row < m_model->rowCount(); ++row)
    names << m_model->index(row, 0).data().toString();
  return names;
}

bool TestBrowseView::Deleted(const QString& name) const {
  const int row = RowNamed(name);
  return row >= 0 && m_model->index(row, 0).data(CFileListModel::kDeletedRole).toBool();
}

void TestBrowseView::choosingTheDriveIndexesItAndShowsTheRoot() {
  QVERIFY(ChooseDrive('C'));
  QCOMPARE(m_session->Catalogue().drive, 'C');
  // The session had no catalogue: the drive was indexed once.
  QCOMPARE(m_indexings, 1);
  QCOMPARE(m_model->FolderPath(), QStringLiteral("C:\\"));
  const QStringList names = RowNames();
  for (const char* live : {"Big", "Compressed", "Docs", "Frag", "Names", "reuser-1.txt"}) {
    QVERIFY2(names.contains(live), live);
    QVERIFY2(!Deleted(live), live);
  }
  for (const char* deleted : {"OldProject", "_OrphanFolder_64"}) {
    QVERIFY2(names.contains(deleted), qPrintable(names.join(',')));
    QVERIFY2(Deleted(deleted), deleted);
  }
  // Folders come first in the default order (by name, ascending).
  QVERIFY(names.indexOf("reuser-1.txt") > names.indexOf("_OrphanFolder_64"));
  QVERIFY(names.indexOf("reuser-1.txt") > names.indexOf("OldProject"));
  // The drive node holds the folder tree, with the deleted folders among the live ones.
  const QModelIndex drive = m_drives->DriveIndex('C');
  QTRY_VERIFY(m_tree->isExpanded(drive));
  QStringList nodes;
  for (int row = 0; row < m_drives->rowCount(drive); ++row)
    nodes << m_drives->index(row, 0, drive).data().toString();
  for (const char* folder : {"Docs", "OldProject", "_OrphanFolder_64"})
    QVERIFY2(nodes.contains(folder), qPrintable(nodes.join(',')));
  QVERIFY(!nodes.contains("reuser-1.txt"));
  QVERIFY(!m_frame->Action(kCmdBack)->isEnabled());
  QVERIFY(m_frame->Action(kCmdShowDeletedOnly)->isEnabled());

  // The Drives menu offers the drives the view can open: C:, not the FAT32 D:.
  auto* drivesMenu = m_frame->findChild<QMenu*>("DrivesMenu");
  QVERIFY(drivesMenu);
  emit drivesMenu->aboutToShow();
  QStringList entries;
  for (QAction* action : drivesMenu->actions()) entries << action->text();
  QCOMPARE(entries, QStringList{"SORVANI4K (C:)"});
}

void TestBrowseView::deletedFilesBesideTheLiveOnesWithTheirSizes() {
  QVERIFY(ChooseDrive('C'));
  for (const char* folder : {"Docs", "Reports", "2023"}) QVERIFY2(OpenFolder(folder), folder);
  QCOMPARE(m_model->FolderPath(), QStringLiteral("C:\\Docs\\Reports\\2023\\"));
  struct Expected {
    const char* name;
    bool deleted;
    const char* size;
  };
  // Sizes from the answer key: 300, 150000, 200000 and 600 bytes.
  for (const Expected& want :
       {Expected{"draft-old.txt", true, "0.3 KB"}, Expected{"budget-deleted.bin", true, "146 KB"},
        Expected{"report-final.bin", false, "195 KB"}, Expected{"summary.txt", false, "0.6 KB"}}) {
    const int row = RowNamed(want.name);
    QVERIFY2(row >= 0, want.name);
    QCOMPARE(Deleted(want.name), want.deleted);
    QCOMPARE(m_model->index(row, kColSize).data().toString(), QString(want.size));
    QVERIFY2(!m_model->index(row, kColModified).data().toString().isEmpty(), want.name);
  }
  QVERIFY(RowNamed("Q4") >= 0);
  QCOMPARE(m_model->rowCount(), 5);
  // Activating the folder row selected its node in the tree.
  QCOMPARE(m_tree->currentIndex().data().toString(), QStringLiteral("2023"));
}

void TestBrowseView::toolTipTexts() {
  QVERIFY(ChooseDrive('C'));
  for (const char* folder : {"Docs", "Reports", "2023"}) QVERIFY(OpenFolder(folder));

  // A deleted file none of whose clusters were taken again: no "Overwritten" line.
  const int file = RowNamed("draft-old.txt");
  QVERIFY(file >= 0);
  const FileListEntry& entry = m_model->Entry(file);
  QCOMPARE(entry.overwritten, 0);
  const QStringList lines = FileListToolTipText(entry, m_model->TypeText(entry)).split('\n');
  QStringList keys;
  for (const QString& line : lines) keys << line.section(QStringLiteral(": "), 0, 0);
  QStringList expectedKeys{"Name", "Type", "Size"};
  if (!FormatAttributes(entry.attributes).empty()) expectedKeys << "Attributes";
  expectedKeys << "Date Created"
               << "Date Modified";
  QCOMPARE(keys, expectedKeys);
  QCOMPARE(lines[0], QStringLiteral("Name: draft-old.txt"));
  QCOMPARE(lines[2], QStringLiteral("Size: 0.3 KB"));
  // The view shows it in the rich tooltip style, word for word.
  const QString shown = m_model->index(file, 0).data(Qt::ToolTipRole).toString();
  QVERIFY(shown.contains(QStringLiteral("draft-old.txt")));
  QVERIFY(shown.contains(QStringLiteral("0.3 KB")));

  // A folder: its type and no size.
  const int folder = RowNamed("Q4");
  const QStringList folderLines =
      FileListToolTipText(m_model->Entry(folder), QString()).split('\n');
  QCOMPARE(folderLines.mid(0, 2), (QStringList{"Name: Q4", "Type: File Folder"}));
  for (const QString& line : folderLines) QVERIFY2(!line.startsWith("Size"), qPrintable(line));

  // The drive node: name, type, file system and the sizes.
  QTRY_VERIFY(m_drives->DriveIndex('C').data(Qt::ToolTipRole).toString().contains("NTFS"));
  for (const char* part : {"Name:", "Type:", "File system:", "Size:", "Free:"})
    QVERIFY2(m_drives->DriveIndex('C').data(Qt::ToolTipRole).toString().contains(part), part);
}

void TestBrowseView::deletedOnlyKeepsFoldersWithDeletedItemsBelow() {
  QVERIFY(ChooseDrive('C'));
  m_frame->Action(kCmdShowDeletedOnly)->trigger();
  QVERIFY(WaitForFill());
  QVERIFY(m_frame->Action(kCmdShowDeletedOnly)->isChecked());
  QStringList names = RowNames();
  // Folders with deleted items somewhere below stay; those without and the live files go.
  for (const char* kept : {"Docs", "Big", "Names", "OldProject", "_OrphanFolder_64"})
    QVERIFY2(names.contains(kept), qPrintable(names.join(',')));
  QVERIFY2(!names.contains("reuser-1.txt"), qPrintable(names.join(',')));
  for (int row = 0; row < m_model->rowCount(); ++row)
    QVERIFY(m_model->Entry(row).IsFolder() || m_model->Entry(row).deleted);

  for (const char* folder : {"Docs", "Reports", "2023"}) QVERIFY2(OpenFolder(folder), folder);
  names = RowNames();
  names.sort();
  QCOMPARE(names, (QStringList{"Q4", "budget-deleted.bin", "draft-old.txt"}));

  // Turned off again, the live files come back in the same folder.
  m_frame->Action(kCmdShowDeletedOnly)->trigger();
  QVERIFY(WaitForFill());
  QCOMPARE(m_model->FolderPath(), QStringLiteral("C:\\Docs\\Reports\\2023\\"));
  QCOMPARE(m_model->rowCount(), 5);
  // Turned on inside a folder, the view stays in it.
  m_frame->Action(kCmdShowDeletedOnly)->trigger();
  QVERIFY(WaitForFill());
  QCOMPARE(m_model->FolderPath(), QStringLiteral("C:\\Docs\\Reports\\2023\\"));
  QCOMPARE(m_model->rowCount(), 3);
  QCOMPARE(m_tree->currentIndex().data().toString(), QStringLiteral("2023"));
  // The tree was listed again: its current node is still shown, not inside a collapsed branch.
  QVERIFY(!m_tree->visualRect(m_tree->currentIndex()).isEmpty());
  // And turned off and on again one level higher, reached by Back.
  m_frame->Action(kCmdShowDeletedOnly)->trigger();
  QVERIFY(WaitForFill());
  m_frame->Action(kCmdBack)->trigger();
  QVERIFY(WaitForFill());
  QCOMPARE(m_model->FolderPath(), QStringLiteral("C:\\Docs\\Reports\\"));
  m_frame->Action(kCmdShowDeletedOnly)->trigger();
  QVERIFY(WaitForFill());
  QCOMPARE(m_model->FolderPath(), QStringLiteral("C:\\Docs\\Reports\\"));
  QCOMPARE(m_tree->currentIndex().data().toString(), QStringLiteral("Reports"));
  QVERIFY(!m_tree->visualRect(m_tree->currentIndex()).isEmpty());
}

void TestBrowseView::aFillHintGoesWithItsFolder() {
  // The root holds deleted items: its hint comes up over the list.
  QVERIFY(ChooseDrive('C'));
  CHintBalloon* balloon = nullptr;
  QTRY_VERIFY((balloon = m_frame->findChild<CHintBalloon*>()) && balloon->isVisible());
  QCOMPARE(balloon->Title(), ResString(kIdsTipDeletedFilesTitle));
  // Another folder is listed (its own hints all seen): the root's hint does not stay over it.
  for (const char* key : {"TipShowDeletedItemsOnly", "TipDeletedFiles", "TipOverwrittenFiles"})
    Profile().SetInt("Wizard", key, 0);
  QVERIFY(OpenFolder("Docs"));
  QVERIFY(!balloon->isVisible());
}

void TestBrowseView::aFatDriveIsRefusedAndTheCurrentDriveStays() {
  QVERIFY(ChooseDrive('C'));
  QVERIFY(OpenFolder("Docs"));
  const int dialogs = m_indexings;
  CBoxAnswerer answerer;
  m_tree->setCurrentIndex(m_drives->DriveIndex('D'));
  QTRY_VERIFY_WITH_TIMEOUT(!answerer.Text().isEmpty(), 10000);
  QCOMPARE(answerer.Text(), ResFormat(kIdsDriveNotNtfs, std::string("FAT32")));
  // The tree goes back to C:, whose catalogue and list are untouched.
  QTRY_COMPARE(m_drives->DriveOf(m_tree->currentIndex()), 'C');
  QCOMPARE(m_session->Catalogue().drive, 'C');
  QCOMPARE(m_model->FolderPath(), QStringLiteral("C:\\Docs\\"));
  QCOMPARE(m_indexings, dialogs);
}

void TestBrowseView::reindexDropsTheCacheAndScansAgain() {
  namespace fs = std::filesystem;
  QVERIFY(ChooseDrive('C'));
  QVERIFY(OpenFolder("Docs"));
  const fs::path cache = CacheFilePath('C');
  // Each re-index scans and saves a cache file; the second must not read back the first's.
  // Marked old, a file read back would stay old; one written by a new scan is new.
  for (int round = 0; round < 2; ++round) {
    const auto before = m_session->Catalogue().index;
    const int dialogs = m_indexings;
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(24 * 365);
    if (fs::exists(cache)) fs::last_write_time(cache, old);
    QCOMPARE(fs::exists(cache), round == 1);
    m_frame->Action(kCmdReindex)->trigger();
    QVERIFY(QTest::qWaitFor([&] { return m_session->Catalogue().index != before; }, 60000));
    QVERIFY(WaitForFill());
    QCOMPARE(m_indexings, dialogs + 1);
    QVERIFY2(fs::exists(cache), cache.c_str());
    QVERIFY(fs::last_write_time(cache) > old);
    // The new catalogue is shown from the drive's root.
    QCOMPARE(m_model->FolderPath(), QStringLiteral("C:\\"));
    QVERIFY(Deleted("OldProject"));
  }
}

void TestBrowseView::backAndUpRetraceTheWay() {
  QVERIFY(ChooseDrive('C'));
  for (const char* folder : {"Docs", "Reports"}) QVERIFY(OpenFolder(folder));
  QVERIFY(m_frame->Action(kCmdBack)->isEnabled());
  QVERIFY(m_frame->Action(kCmdUp)->isEnabled());
  m_frame->Action(kCmdBack)->trigger();
  QVERIFY(WaitForFill());
  QCOMPARE(m_model->FolderPath(), QStringLiteral("C:\\Docs\\"));
  QCOMPARE(m_tree->currentIndex().data().toString(), QStringLiteral("Docs"));
  m_frame->Action(kCmdUp)->trigger();
  QVERIFY(WaitForFill());
  QCOMPARE(m_model->FolderPath(), QStringLiteral("C:\\"));
  // At the drive there is nothing above.
  QTRY_VERIFY(!m_frame->Action(kCmdUp)->isEnabled());
}

void TestBrowseView::revealOpensTheChainAndSelectsTheItem() {
  QVERIFY(ChooseDrive('C'));
  // Not the browsed drive: nothing happens.
  QVERIFY(!m_frame->SelectFolderChain("D:\\Docs\\", "0;", "readme.txt"));

  // A deleted folder: matched by its record.
  QVERIFY(RowNamed("OldProject") >= 0);
  const std::uint32_t oldProject = m_model->Entry(RowNamed("OldProject")).record;
  QVERIFY(oldProject != 0);
  const std::string chain = std::to_string(oldProject) + ";";
  QVERIFY(m_frame->SelectFolderChain("C:\\OldProject\\", chain, "README.txt"));
  QVERIFY(WaitForFill());
  QCOMPARE(m_model->FolderPath(), QStringLiteral("C:\\OldProject\\"));
  QTRY_VERIFY(m_list->currentIndex().isValid());
  QCOMPARE(m_list->currentIndex().data().toString(), QStringLiteral("README.txt"));

  // An existing folder then its child; the last level is missing, so the walk stops at the
  // folder reached.
  QVERIFY(m_frame->SelectFolderChain("C:\\Docs\\Reports\\Nowhere\\", "0;0;0;", "x"));
  QVERIFY(WaitForFill());
  QCOMPARE(m_model->FolderPath(), QStringLiteral("C:\\Docs\\Reports\\"));
  QCOMPARE(m_tree->currentIndex().data().toString(), QStringLiteral("Reports"));

  // A record that does not match the deleted folder of that name: not found at that level.
  QVERIFY(m_frame->SelectFolderChain("C:\\OldProject\\", std::to_string(oldProject + 1) + ";",
                                     "README.txt"));
  QVERIFY(WaitForFill());
  QCOMPARE(m_model->FolderPath(), QStringLiteral("C:\\"));
}

void TestBrowseView::namesOfEveryScriptAndLength() {
  QVERIFY(ChooseDrive('C'));
  QVERIFY(OpenFolder("Names"));
  const QString longDeleted = QStringLiteral("L255-deleted-") +
                              QStringLiteral("klmnopqrst").repeated(23) +
                              QStringLiteral("klmnopqr.txt");
  QCOMPARE(longDeleted.size(), 255);
  struct Expected {
    QString name;
    bool deleted;
  };
  for (const Expected& want :
       {Expected{QStringLiteral("日本語のファイル.txt"), false},
        Expected{QStringLiteral("smile-😀.txt"), false},
        Expected{QStringLiteral("Müller-Übersicht.txt"), false},
        Expected{QStringLiteral("削除された日本語.txt"), true},
        Expected{QStringLiteral("deleted-😀-emoji.txt"), true},
        Expected{QStringLiteral("naïve-gelöscht-é.txt"), true}, Expected{longDeleted, true}}) {
    const int row = RowNamed(want.name);
    QVERIFY2(row >= 0, qPrintable(want.name));
    QCOMPARE(Deleted(want.name), want.deleted);
    // The tooltip names it whole, in the same script.
    const QString tip =
        FileListToolTipText(m_model->Entry(row), m_model->TypeText(m_model->Entry(row)));
    QVERIFY2(tip.startsWith(QStringLiteral("Name: ") + want.name + QLatin1Char('\n')),
             qPrintable(tip));
  }
}

void TestBrowseView::anImageThatVanishedIsUnreadable() {
  const QString copy = m_dir.filePath("vanishing.img");
  QFile::remove(copy);
  QVERIFY(QFile::copy(QString::fromStdString(test::Fixture("ntfs-512.img")), copy));
  QVERIFY(ChooseDrive('C'));
  CBoxAnswerer answerer;
  // Opening selects the new drive and indexes it; it then leaves the machine.
  QVERIFY(m_frame->OpenImage(copy));
  QVERIFY(QTest::qWaitFor([&] { return m_drives->DriveOf(m_tree->currentIndex()) != 'C'; }));
  const char image = m_drives->DriveOf(m_tree->currentIndex());
  QVERIFY(QTest::qWaitFor([&] { return m_session->Catalogue().drive == image; }, 60000));
  QVERIFY(WaitForFill());
  QVERIFY(answerer.Text().isEmpty());
  QVERIFY(QFile::remove(copy));

  // Back to C:, then to the vanished image: the box says the drive cannot be read, and C:
  // stays.
  QVERIFY(ChooseDrive('C'));
  QVERIFY(QTest::qWaitFor([&] { return m_session->Catalogue().drive == 'C'; }, 60000));
  m_tree->setCurrentIndex(m_drives->DriveIndex(image));
  QTRY_VERIFY_WITH_TIMEOUT(!answerer.Text().isEmpty(), 10000);
  QCOMPARE(answerer.Text(), ResFormat(kIdsDriveUnreadable, std::string{image, ':', '\\'}));
  QTRY_COMPARE(m_drives->DriveOf(m_tree->currentIndex()), 'C');
  QCOMPARE(m_session->Catalogue().drive, 'C');
}

QTEST_MAIN(TestBrowseView)
#include "tst_browse_view.moc"
