// Pictures of the program's windows for people to look at: each slot grabs one window into
// $SORVANI_SCREENSHOT_DIR as PNG. Without the variable every slot is skipped.
#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QToolTip>
#include <QTreeView>
#include <QVBoxLayout>
#include <QtTest>

#include "app/remembered_answers.h"
#include "app/resource_library.h"
#include "app/session.h"
#include "disk/drive_enum.h"
#include "disk/drive_table.h"
#include "foundation/profile.h"
#include "tests/ui/fixture_session.h"
#include "tests/ui/ui_fixtures.h"
#include "tests/util/fixtures.h"
#include "ui/about_dlg.h"
#include "ui/commands.h"
#include "ui/custom_list_view.h"
#include "ui/drive_prop_dlg.h"
#include "ui/drive_tree_model.h"
#include "ui/file_list_model.h"
#include "ui/file_types.h"
#include "ui/folder_fill.h"
#include "ui/folder_tree_model.h"
#include "ui/help_viewer.h"
#include "ui/hint_balloon.h"
#include "ui/index_dlg.h"
#include "ui/main_frame.h"
#include "ui/prop_dlg.h"
#include "ui/resources.h"
#include "ui/rich_message_box.h"
#include "ui/tooltip_style.h"
#include "ui/volume_facts_cache.h"

using namespace sorvani;
using namespace sorvani::ui;

namespace {

// The main window as the program makes it: the desktop's file types, and the session over the
// process-wide drive tables, which the volume facts read.
struct CBrowseWindow {
  CBrowseWindow() { SetFileTypeProvider(&types); }
  ~CBrowseWindow() { SetFileTypeProvider(nullptr); }
  CMimeFileTypeProvider types;
  CSession session{CDriveTable::Instance(), DriveTables{LogicalDiskMap, DiskList, DriveDiskMap}};
  CMainFrame frame{Options(session)};

  static CMainFrame::Options Options(CSession& session) {
    CMainFrame::Options options;
    options.session = &session;
    return options;
  }
};

}  // namespace

class TestScreenshots : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void about();
  void richBoxIgnoreAll();
  void hintBalloon();
  void helpViewer();
  void shellEmpty();
  void shellStartHint();
  void browseDocs2023();
  void indexingDialog();
  void propertiesDrive();
  void driveTree();
  void fileList2023();
  void browseRoot();
  void browseDeletedOnly();
  void contextMenuList();
  void hintDeletedFiles();
  void folderTree();
  void propertiesFile();
  void propertiesFolder();

 private:
  // `frame` on the fixture ntfs-4k.img, opened as a disk image and browsed down `folders`
  // through the list; false on failure.
  bool BrowseFixture(CMainFrame& frame, const QStringList& folders);
  // The frame with its open popup menus drawn over it where they stand on the screen.
  static QPixmap GrabWithPopups(QWidget& frame, const QList<QWidget*>& popups);
  // The list of Docs\Reports\2023\ of the indexed ntfs-4k fixture, shown; false on failure.
  bool ShowFixtureList(CSession& session, CCustomListView& view, CFileListModel& model);

 private:
  // The fixture ntfs-4k.img indexed as C: in `session`; false when the fixture is absent.
  bool IndexFixture(CSession& session);
  bool Save(const QPixmap& picture, const QString& name);
  QDir m_folder;
  bool m_enabled = false;
  QTemporaryDir m_profileFolder;
};

void TestScreenshots::initTestCase() {
  QString folder = qEnvironmentVariable("SORVANI_SCREENSHOT_DIR");
  m_enabled = !folder.isEmpty();
  if (!m_enabled) return;
  QVERIFY(QDir().mkpath(folder));
  m_folder = QDir(folder);
  // Fixed fonts, so pictures of two runs can be compared.
  if (QFontDatabase::families().contains("DejaVu Sans"))
    QApplication::setFont(QFont("DejaVu Sans", 10));
  SetHelpFolder(QStringLiteral(SORVANI_UI_BIN_DIR "/help"));
  // The drawn icons, as the program shows them where the desktop theme has none.
  std::string error;
  QVERIFY2(ResourceLibrary().Load(SORVANI_UI_BIN_DIR "/libsvres.so", error), error.c_str());
  QVERIFY(m_profileFolder.isValid());
  Profile().SetPath(m_profileFolder.filePath("Profile.xml").toStdString());
  Profile().Load();
}

bool TestScreenshots::Save(const QPixmap& picture, const QString& name) {
  if (picture.isNull()) return false;
  return picture.save(m_folder.filePath(name), "PNG");
}

void TestScreenshots::about() {
  if (!m_enabled) QSKIP("SORVANI_SCREENSHOT_DIR is not set");
  CAboutDlg dialog(QStringLiteral("https://www.example.org/"));
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  QVERIFY(Save(dialog.grab(), "about.png"));
}

void TestScreenshots::richBoxIgnoreAll() {
  if (!m_enabled) QSKIP("SORVANI_SCREENSHOT_DIR is not set");
  QTemporaryDir profile;
  CRememberedAnswers answers(profile.filePath("Answers.xml").toStdString());
  PromptRequest request;
  request.caption = ResString(kIdsCaption).toStdString();
  request.text =
      ResFormat(kIdsMsgRecordUnreadable, "/home/anna/Pictures/2024/holiday-041.jpg").toStdString();
  request.icon = PromptIcon::kExclamation;
  request.buttons = {PromptButton::kYes, PromptButton::kNo, PromptButton::kIgnoreAll,
                     PromptButton::kCancel};
  request.defaultButton = 2;
  RichBoxOptions options;
  options.answerKey = "Screenshot";
  options.answers = &answers;
  CRichMessageBox box(request, options);
  box.show();
  QVERIFY(QTest::qWaitForWindowExposed(&box));
  QVERIFY(Save(box.grab(), "richbox-ignore-all.png"));
}

void TestScreenshots::hintBalloon() {
  if (!m_enabled) QSKIP("SORVANI_SCREENSHOT_DIR is not set");
  QWidget window;
  window.setWindowTitle(ResString(kIdsCaption));
  auto* layout = new QVBoxLayout(&window);
  auto* button = new QPushButton(ResString(CommandCaptionId(0x8014)), &window);
  layout->addWidget(button, 0, Qt::AlignLeft | Qt::AlignTop);
  layout->addStretch(1);
  window.resize(520, 300);
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  CHintBalloon balloon(&window);
  balloon.ShowAt(QRect(button->mapToGlobal(QPoint(0, 0)), button->size()),
                 ResString(kIdsTipLaunchWizardTitle), ResString(kIdsTipLaunchWizardText), "Wizard");
  QVERIFY(QTest::qWaitForWindowExposed(&balloon));
  // The balloon is a window of its own; put it where it stands over its owner.
  QPixmap picture = window.grab();
  QPainter painter(&picture);
  painter.drawPixmap(window.mapFromGlobal(balloon.pos()), balloon.grab());
  painter.end();
  QVERIFY(Save(picture, "hint-balloon.png"));
}

void TestScreenshots::helpViewer() {
  if (!m_enabled) QSKIP("SORVANI_SCREENSHOT_DIR is not set");
  CHelpViewer viewer;
  QVERIFY(viewer.Open(kHelpPage, "Contents"));
  viewer.show();
  QVERIFY(QTest::qWaitForWindowExposed(&viewer));
  QVERIFY(Save(viewer.grab(), "help-viewer.png"));
}

void TestScreenshots::shellEmpty() {
  if (!m_enabled) QSKIP("SORVANI_SCREENSHOT_DIR is not set");
  CSession session;
  CMainFrame::Options options;
  options.session = &session;
  CMainFrame frame(options);
  frame.resize(1000, 640);
  frame.show();
  QVERIFY(QTest::qWaitForWindowExposed(&frame));
  QTest::qWait(50);
  QVERIFY(Save(frame.grab(), "shell-empty.png"));
}

void TestScreenshots::shellStartHint() {
  if (!m_enabled) QSKIP("SORVANI_SCREENSHOT_DIR is not set");
  // A start without the wizard points at it once.
  Profile().SetInt("Wizard", "ShowOnStartUp", 0);
  Profile().SetInt("Wizard", "TipLaunchWizard", 1);
  CSession session;
  CMainFrame::Options options;
  options.session = &session;
  options.imagesOnly = true;
  CMainFrame frame(options);
  frame.resize(1000, 640);
  frame.show();
  QVERIFY(QTest::qWaitForWindowExposed(&frame));
  CHintBalloon* balloon = nullptr;
  QTRY_VERIFY((balloon = frame.findChild<CHintBalloon*>()) && balloon->isVisible());
  QPixmap picture = frame.grab();
  QPainter painter(&picture);
  painter.drawPixmap(frame.mapFromGlobal(balloon->pos()), balloon->grab());
  painter.end();
  QVERIFY(Save(picture, "shell-start-hint.png"));
}

void TestScreenshots::indexingDialog() {
  if (!m_enabled) QSKIP("SORVANI_SCREENSHOT_DIR is not set");
  // A scan part way through, fed by hand so the picture is the same each time.
  struct CHeldRun final : IIndexingRun {
    IndexingSnapshot Snapshot() const override {
      IndexProgress progress;
      progress.phase = kPhaseScanning;
      progress.done = 42000;
      progress.total = 100000;
      IndexingSnapshot s;
      static_cast<IndexTick&>(s) = ComputeIndexTick(progress, 75.0);
      s.drive = 'C';
      return s;
    }
    void Cancel() override {}
  } run;
  CIndexDlg dialog(run);
  dialog.show();
  QVERIFY(dialog.Begin());
  dialog.Tick();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  QTest::qWait(50);
  QVERIFY(Save(dialog.grab(), "indexing-dialog.png"));
}

void TestScreenshots::propertiesDrive() {
  if (!m_enabled) QSKIP("SORVANI_SCREENSHOT_DIR is not set");
  std::string error;
  std::vector<char> letters =
      CDriveTable::Instance().RegisterImage(test::Fixture("ntfs-4k.img"), error);
  QVERIFY2(letters.size() == 1, error.c_str());
  CVolumeFactsCache facts;
  CDrivePropDlg dialog(letters[0], kDriveFixed, facts.ReadNow(letters[0]));
  CDriveTable::Instance().Remove(letters[0]);
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  QVERIFY(Save(dialog.grab(), "properties-drive.png"));
}

void TestScreenshots::driveTree() {
  if (!m_enabled) QSKIP("SORVANI_SCREENSHOT_DIR is not set");
  // A machine written into the session's own tables: a disk with an NTFS and a FAT32 volume,
  // an optical drive, a share (no node), a USB stick's volume of no disk, and an opened image.
  CSession session;
  DriveTables& tables = session.Tables();
  auto drive = [&](char letter, std::uint32_t type, const char* description, const char* fs,
                   const char* label) {
    LogicalDisk& disk = tables.logicalDisks[letter];
    disk.type = type;
    disk.description = description;
    disk.fsName = fs;
    disk.label = label;
  };
  drive('C', kDriveFixed, "Local Fixed Disk", "NTFS", "SORVANI4K");
  drive('D', kDriveFixed, "Local Fixed Disk", "FAT32", "SORVANIF32");
  drive('E', kDriveFixed, "Local Fixed Disk", "NTFS", "");
  drive('F', kDriveCdRom, "CD-ROM Disc", "", "");
  drive('G', kDriveRemovable, "Removable Disk", "FAT32", "STICK");
  drive('Z', kDriveNetwork, "Network Connection", "nfs4", "");
  tables.disks.push_back(DiskDrive{0, "ATA TestDisk", "Disk drive", ""});
  tables.disks.push_back(DiskDrive{1, "HL-DT-ST DVD-RAM GH22NS50", "CD-ROM Drive", ""});
  tables.driveDisks = {{0, 'C'}, {0, 'D'}, {0, 'E'}, {1, 'F'}};
  // The machine's letters are taken, so the image gets the next free one.
  for (char letter = 'C'; letter <= 'G'; ++letter) {
    DriveSource taken;
    taken.path = "/dev/null";
    session.Drives().Assign(letter, taken);
  }
  std::string error;
  QVERIFY2(!session.OpenImage(test::Fixture("ntfs-512.img"), error).empty(), error.c_str());
  CDriveTreeModel model;
  model.Rebuild(tables);
  QTreeView view;
  view.setHeaderHidden(true);
  view.setUniformRowHeights(true);
  view.setModel(&model);
  model.ExpandGroups(&view);
  view.setCurrentIndex(model.DriveIndex('C'));
  view.resize(260, 300);
  view.show();
  QVERIFY(QTest::qWaitForWindowExposed(&view));
  QVERIFY(Save(view.grab(), "drive-tree.png"));
}

bool TestScreenshots::ShowFixtureList(CSession& session, CCustomListView& view,
                                      CFileListModel& model) {
  const char letter = test::OpenIndexedFixture(session, "ntfs-4k.img");
  if (letter == 0) return false;
  view.setModel(&model);
  model.AttachHeader(view.header());
  const int widths[] = {200, 100, 150, 150, 150};
  for (int c = 0; c < kFileListColumns; ++c) view.header()->resizeSection(c, widths[c]);
  CFolderFill fill(&model, &view);
  QSignalSpy finished(&fill, &CFolderFill::fillFinished);
  fill.Fill(session, letter, "\\Docs\\Reports\\2023\\", false);
  if (!finished.wait(20000)) return false;
  view.resize(780, 190);
  view.show();
  return QTest::qWaitForWindowExposed(&view);
}

void TestScreenshots::fileList2023() {
  if (!m_enabled) QSKIP("SORVANI_SCREENSHOT_DIR is not set");
  // The desktop's own file types, as the program shows them.
  CMimeFileTypeProvider types;
  SetFileTypeProvider(&types);
  CSession session;
  CCustomListView view;
  CFileListModel model;
  const bool shown = ShowFixtureList(session, view, model);
  if (!shown) SetFileTypeProvider(nullptr);
  QVERIFY(shown);
  QVERIFY(Save(view.grab(), "file-list-2023.png"));

  // The tooltip of a deleted file, as a tooltip label drawn beside its row.
  int row = 0;
  while (row < model.rowCount() && model.Entry(row).name != "draft-old.txt") ++row;
  QVERIFY(row < model.rowCount());
  const QModelIndex item = model.index(row, kColName);
  QLabel tip(item.data(Qt::ToolTipRole).toString());
  tip.setTextFormat(Qt::RichText);
  tip.setPalette(QToolTip::palette());
  tip.setAutoFillBackground(true);
  tip.setFrameStyle(QFrame::Box | QFrame::Plain);
  tip.setMargin(4);
  tip.adjustSize();
  const QRect cell = view.visualRect(item);
  const QPoint at = view.viewport()->mapTo(&view, cell.center()) + QPoint(40, 12);
  QPixmap picture(view.width(), std::max(view.height(), at.y() + tip.height() + 8));
  picture.fill(Qt::white);
  QPainter painter(&picture);
  painter.drawPixmap(0, 0, view.grab());
  painter.drawPixmap(at, tip.grab());
  painter.end();
  SetFileTypeProvider(nullptr);
  QVERIFY(Save(picture, "tooltip-list-item.png"));
}

bool TestScreenshots::IndexFixture(CSession& session) {
  return test::IndexFixtureAs(session, 'C', "ntfs-4k.img");
}

void TestScreenshots::folderTree() {
  if (!m_enabled) QSKIP("SORVANI_SCREENSHOT_DIR is not set");
  CSession session;
  if (!IndexFixture(session)) QSKIP("fixtures absent");
  CFolderTreeModel model;
  model.SetDrive(session, 'C', false);
  QTreeView view;
  view.setHeaderHidden(true);
  view.setUniformRowHeights(true);
  view.setItemDelegate(new CFolderTreeDelegate(&view));
  view.setModel(&model);
  view.resize(300, 420);
  // The root's folders, with two branches opened: an existing one and a deleted one.
  for (const char* path : {"C:\\Docs\\Reports\\2023\\", "C:\\OldProject\\src\\"}) {
    QModelIndex at = model.IndexOf(path);
    QVERIFY(at.isValid());
    for (QModelIndex up = at; up.isValid(); up = up.parent()) view.expand(up);
  }
  view.setCurrentIndex(model.IndexOf("C:\\OldProject\\src\\"));
  view.show();
  QVERIFY(QTest::qWaitForWindowExposed(&view));
  QVERIFY(Save(view.grab(), "folder-tree.png"));
}

void TestScreenshots::propertiesFile() {
  if (!m_enabled) QSKIP("SORVANI_SCREENSHOT_DIR is not set");
  PropEntry entry;
  entry.icon = ResIcon(kIconGenericFile);
  entry.name = "budget-deleted.bin";
  entry.folderPath = "C:\\Docs\\Reports\\2023\\";
  entry.attributes = 0x20;
  entry.size = 150000;
  entry.created = 133230924000000000ULL;
  entry.modified = 133231788000000000ULL;
  entry.overwritten = 12;
  entry.record = 77;
  entry.drive = 'C';
  CPropDlg dialog(entry, nullptr);
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  QVERIFY(Save(dialog.grab(), "properties-file.png"));
}

void TestScreenshots::propertiesFolder() {
  if (!m_enabled) QSKIP("SORVANI_SCREENSHOT_DIR is not set");
  CSession session;
  if (!IndexFixture(session)) QSKIP("fixtures absent");
  PropEntry entry;
  entry.icon = CFolderIcons::WithDeletedMark(ResIcon(kIconFolderClosed));
  entry.name = "OldProject";
  entry.folderPath = "C:\\";
  entry.attributes = 0x10;
  entry.created = 133230060000000000ULL;
  entry.modified = 133230924000000000ULL;
  entry.record = 91;
  entry.drive = 'C';
  CPropDlg dialog(session, entry);
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  QTRY_VERIFY_WITH_TIMEOUT(!dialog.Summing(), 5000);
  QTest::qWait(CPropDlg::kTotalTickMs + 50);
  QVERIFY(Save(dialog.grab(), "properties-folder.png"));
}

void TestScreenshots::browseDocs2023() {
  if (!m_enabled) QSKIP("SORVANI_SCREENSHOT_DIR is not set");
  CBrowseWindow window;
  CMainFrame& frame = window.frame;
  QVERIFY(BrowseFixture(frame, {"Docs", "Reports", "2023"}));
  auto* list = frame.findChild<CCustomListView*>("FileList");
  QVERIFY(list);
  QTRY_VERIFY_WITH_TIMEOUT(list->model()->rowCount() == 5, 30000);
  QTest::qWait(100);
  QVERIFY(Save(frame.grab(), "browse-docs-2023.png"));
}

void TestScreenshots::hintDeletedFiles() {
  if (!m_enabled) QSKIP("SORVANI_SCREENSHOT_DIR is not set");
  CBrowseWindow window;
  CMainFrame& frame = window.frame;
  QVERIFY(BrowseFixture(frame, {"Docs", "Reports"}));
  auto* list = frame.findChild<CCustomListView*>("FileList");
  QVERIFY(list);
  const auto rowNamed = [&](const QString& name) {
    for (int r = 0; r < list->model()->rowCount(); ++r)
      if (list->model()->index(r, 0).data().toString() == name) return list->model()->index(r, 0);
    return QModelIndex();
  };
  // Only the last folder's hint is still to be shown.
  QTRY_VERIFY_WITH_TIMEOUT(rowNamed("2023").isValid(), 30000);
  Profile().SetInt("Wizard", "TipDeletedFiles", 1);
  emit list->activated(rowNamed("2023"));
  QTRY_VERIFY_WITH_TIMEOUT(rowNamed("draft-old.txt").isValid(), 30000);
  CHintBalloon* balloon = nullptr;
  QTRY_VERIFY_WITH_TIMEOUT((balloon = frame.findChild<CHintBalloon*>()) && balloon->isVisible(),
                           30000);
  QCOMPARE(balloon->Text(), ResString(kIdsTipDeletedFilesText));
  QTest::qWait(100);
  QVERIFY(Save(GrabWithPopups(frame, {balloon}), "hint-deleted-files.png"));
}

bool TestScreenshots::BrowseFixture(CMainFrame& frame, const QStringList& folders) {
  // The start offers the wizard, and no fill hint covers the pictures.
  Profile().SetInt("Wizard", "ShowOnStartUp", 1);
  for (const char* key : {"TipShowDeletedItemsOnly", "TipDeletedFiles", "TipOverwrittenFiles"})
    Profile().SetInt("Wizard", key, 0);
  frame.resize(1100, 640);
  frame.show();
  if (!QTest::qWaitForWindowExposed(&frame)) return false;
  auto* list = frame.findChild<CCustomListView*>("FileList");
  auto* tree = frame.findChild<QTreeView*>("FolderTree");
  auto* drives = tree ? qobject_cast<CDriveTreeModel*>(tree->model()) : nullptr;
  if (!list || !drives) return false;
  // The image stays open for the whole run: an earlier picture's drive is chosen again.
  char opened = 0;
  for (const auto& [letter, disk] : LogicalDiskMap)
    if (disk.label == "SORVANI4K" && drives->DriveIndex(letter).isValid()) opened = letter;
  if (opened) {
    drives->ExpandGroups(tree);
    tree->setCurrentIndex(drives->DriveIndex(opened));
  } else if (!frame.OpenImage(QString::fromStdString(test::Fixture("ntfs-4k.img")))) {
    return false;
  }
  for (const QString& folder : folders) {
    const auto row = [&] {
      for (int r = 0; r < list->model()->rowCount(); ++r)
        if (list->model()->index(r, 0).data().toString() == folder)
          return list->model()->index(r, 0);
      return QModelIndex();
    };
    if (!QTest::qWaitFor([&] { return row().isValid(); }, 30000)) return false;
    emit list->activated(row());
  }
  return true;
}

QPixmap TestScreenshots::GrabWithPopups(QWidget& frame, const QList<QWidget*>& popups) {
  QPixmap picture = frame.grab();
  QPainter painter(&picture);
  for (QWidget* popup : popups)
    if (popup && popup->isVisible())
      painter.drawPixmap(frame.mapFromGlobal(popup->mapToGlobal(QPoint(0, 0))), popup->grab());
  painter.end();
  return picture;
}

void TestScreenshots::browseRoot() {
  if (!m_enabled) QSKIP("SORVANI_SCREENSHOT_DIR is not set");
  CBrowseWindow window;
  CMainFrame& frame = window.frame;
  QVERIFY(BrowseFixture(frame, {}));
  auto* list = frame.findChild<CCustomListView*>("FileList");
  auto* tree = frame.findChild<QTreeView*>("FolderTree");
  QVERIFY(list && tree);
  const auto shown = [&](const QAbstractItemModel& model, const QModelIndex& parent,
                         const QString& name) {
    for (int r = 0; r < model.rowCount(parent); ++r)
      if (model.index(r, 0, parent).data().toString() == name) return true;
    return false;
  };
  // The deleted folder and the orphans beside the live ones, in the list and under the drive.
  QTRY_VERIFY_WITH_TIMEOUT(shown(*list->model(), {}, "_OrphanFolder_64"), 30000);
  QVERIFY(shown(*list->model(), {}, "OldProject") && shown(*list->model(), {}, "Docs"));
  QVERIFY(shown(*tree->model(), tree->currentIndex(), "OldProject"));
  QTest::qWait(100);
  QVERIFY(Save(frame.grab(), "browse-root.png"));
}

void TestScreenshots::browseDeletedOnly() {
  if (!m_enabled) QSKIP("SORVANI_SCREENSHOT_DIR is not set");
  CBrowseWindow window;
  CMainFrame& frame = window.frame;
  QVERIFY(BrowseFixture(frame, {"Docs"}));
  auto* list = frame.findChild<CCustomListView*>("FileList");
  QVERIFY(list);
  const auto shown = [&](const QString& name) {
    for (int r = 0; r < list->model()->rowCount(); ++r)
      if (list->model()->index(r, 0).data().toString() == name) return true;
    return false;
  };
  QTRY_VERIFY_WITH_TIMEOUT(shown("readme.txt"), 30000);
  // Docs without its live files: the deleted ones, and Reports for what was deleted below it.
  frame.Action(kCmdShowDeletedOnly)->trigger();
  QTRY_VERIFY_WITH_TIMEOUT(!shown("readme.txt") && shown("resident-deleted.txt"), 30000);
  QVERIFY(shown("Reports"));
  QTest::qWait(100);
  QVERIFY(Save(frame.grab(), "browse-deleted-only.png"));
}

void TestScreenshots::contextMenuList() {
  if (!m_enabled) QSKIP("SORVANI_SCREENSHOT_DIR is not set");
  CBrowseWindow window;
  CMainFrame& frame = window.frame;
  QVERIFY(BrowseFixture(frame, {"Docs", "Reports", "2023"}));
  auto* list = frame.findChild<CCustomListView*>("FileList");
  QVERIFY(list);
  const auto row = [&](const QString& name) {
    for (int r = 0; r < list->model()->rowCount(); ++r)
      if (list->model()->index(r, 0).data().toString() == name) return list->model()->index(r, 0);
    return QModelIndex();
  };
  QTRY_VERIFY_WITH_TIMEOUT(row("draft-old.txt").isValid(), 30000);
  list->setFocus();
  list->setCurrentIndex(row("draft-old.txt"));
  QTest::qWait(50);

  // Each menu is grabbed while it is open, with the window below it.
  const auto grabMenu = [&](QPoint at, bool openSubmenu, const QString& file) {
    bool saved = false;
    QObject guard;
    QTimer::singleShot(50, &guard, [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (!menu) return;
      QList<QWidget*> popups{menu};
      if (openSubmenu) {
        for (QAction* action : menu->actions()) {
          if (!action->menu()) continue;
          menu->setActiveAction(action);
          action->menu()->popup(menu->mapToGlobal(menu->actionGeometry(action).topRight()));
          QTest::qWait(50);
          popups << action->menu();
          break;
        }
      }
      saved = Save(GrabWithPopups(frame, popups), file);
      for (auto it = popups.rbegin(); it != popups.rend(); ++it) (*it)->close();
    });
    emit list->customContextMenuRequested(at);
    return saved;
  };
  QVERIFY(
      grabMenu(list->visualRect(row("draft-old.txt")).center(), false, "context-menu-list.png"));
  // Beside the rows: the menu of the folder shown, its sort submenu open.
  QVERIFY(grabMenu(QPoint(160, list->viewport()->height() - 200), true,
                   "context-menu-list-folder.png"));
}

QTEST_MAIN(TestScreenshots)
#include "tst_screenshots.moc"
