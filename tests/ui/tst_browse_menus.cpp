// The browse view's context menus, double clicks and the Select all / Invert selection commands:
// each menu's rules from plain facts, the menu built from them, then the main window on a fake
// machine whose C: is the NTFS fixture, browsing Docs\Reports\2023.
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QHeaderView>
#include <QMenu>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>
#include <map>
#include <memory>
#include <set>

#include "app/resource_library.h"
#include "app/session.h"
#include "foundation/profile.h"
#include "index/index_cache.h"
#include "tests/ui/fake_machine.h"
#include "tests/util/fixtures.h"
#include "ui/browse_menus.h"
#include "ui/commands.h"
#include "ui/custom_list_view.h"
#include "ui/drive_tree_model.h"
#include "ui/file_list_model.h"
#include "ui/main_frame.h"
#include "ui/resources.h"

using namespace sorvani;
using namespace sorvani::ui;

namespace {

BrowseMenuState Selection(int selected, bool allDeleted, bool folder) {
  BrowseMenuState state;
  state.selected = selected;
  state.allDeleted = allDeleted;
  state.folderSelected = folder;
  return state;
}

// The commands of `entries` in order, 0 for a separator (submenus give their title).
std::vector<unsigned> Ids(const MenuEntries& entries) {
  std::vector<unsigned> ids;
  for (const MenuEntry& entry : entries)
    ids.push_back(entry.kind == MenuEntry::Kind::kSeparator ? 0u : entry.id);
  return ids;
}

// The commands of a built menu in order, 0 for a separator, ~0 for a submenu.
std::vector<unsigned> Ids(const QMenu& menu) {
  std::vector<unsigned> ids;
  for (const QAction* action : menu.actions())
    ids.push_back(action->isSeparator() ? 0u : action->menu() ? ~0u : action->data().toUInt());
  return ids;
}

QAction* ActionOf(const QMenu& menu, unsigned id) {
  for (QAction* action : menu.actions()) {
    if (!action->isSeparator() && !action->menu() && action->data().toUInt() == id) return action;
    if (action->menu())
      if (QAction* inner = ActionOf(*action->menu(), id)) return inner;
  }
  return nullptr;
}

QMenu* SubmenuOf(const QMenu& menu) {
  for (QAction* action : menu.actions())
    if (action->menu()) return action->menu();
  return nullptr;
}

// Emits the view's menu request at `at` (viewport coordinates) and hands the open popup to
// `inspect`; the popup closes afterwards. False when no popup opened.
bool WithPopup(QAbstractItemView* view, QPoint at, const std::function<void(QMenu&)>& inspect) {
  bool opened = false;
  QObject guard;
  QTimer::singleShot(0, &guard, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) return;
    opened = true;
    inspect(*menu);
    menu->close();
  });
  emit view->customContextMenuRequested(at);
  return opened;
}

// The events of a real double click (a press first, as the view wants one on the same row).
void DoubleClick(QWidget* viewport, QPoint at) {
  QTest::mousePress(viewport, Qt::LeftButton, {}, at);
  QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
  QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
  QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
}

// Answers the next modal dialog by reading its title and closing it.
void CloseNextDialog(QObject* owner, QString& title) {
  QTimer::singleShot(0, owner, [&title] {
    if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
      title = dialog->windowTitle();
      dialog->reject();
    }
  });
}

}  // namespace

class TestBrowseMenus : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void cleanupTestCase();
  void cleanup();

  void listMenuWithSelection_data();
  void listMenuWithSelection();
  void listMenuOfTheFolderShown_data();
  void listMenuOfTheFolderShown();
  void nodeMenus_data();
  void nodeMenus();
  void doubleClickAndSelectionRules();
  void builtMenus();

  void selectionMenusInDocsReports2023();
  void folderMenuSortsSelectsAndInverts();
  void treeMenusActOnTheNodeUnderThePointer();
  void doubleClicksAndActivation();

 private:
  // A main window showing Docs\Reports\2023\ of C:.
  void OpenDocs2023();
  QModelIndex RowNamed(const QString& name) const;
  QStringList RowNames() const;
  void SelectRows(const QStringList& names);
  QPoint RowPoint(const QString& name) const;
  QPoint NodePoint(const QModelIndex& node) const;
  BrowseMenuState ListState() const;

  std::unique_ptr<test::CFakeMachine> m_machine;
  CSession* m_session = nullptr;
  QTemporaryDir m_profileFolder;
  std::unique_ptr<CMainFrame> m_frame;
  QTreeView* m_tree = nullptr;
  CDriveTreeModel* m_drives = nullptr;
  CCustomListView* m_list = nullptr;
  CFileListModel* m_model = nullptr;
};

void TestBrowseMenus::initTestCase() {
  std::string error;
  QVERIFY2(ResourceLibrary().Load(SORVANI_UI_BIN_DIR "/libsvres.so", error), error.c_str());
  QVERIFY(m_profileFolder.isValid());
  Profile().SetPath(m_profileFolder.filePath("Profile.xml").toStdString());
  QVERIFY(Profile().Load());
  SetCacheFolder(test::ScratchFolder("UiBrowseMenusCache"));

  m_machine = std::make_unique<test::CFakeMachine>("UiBrowseMenusMachine", true);
  QVERIFY(m_machine->Ok());
  m_session = &m_machine->Session();
}

void TestBrowseMenus::cleanupTestCase() {
  m_frame.reset();
  m_machine.reset();
}

void TestBrowseMenus::cleanup() {
  m_frame.reset();
  m_tree = nullptr;
  m_drives = nullptr;
  m_list = nullptr;
  m_model = nullptr;
}

// ---- The rules alone ----

void TestBrowseMenus::listMenuWithSelection_data() {
  QTest::addColumn<int>("selected");
  QTest::addColumn<bool>("allDeleted");
  QTest::addColumn<bool>("folder");
  QTest::addColumn<bool>("recover");
  QTest::addColumn<bool>("quickView");
  QTest::addColumn<bool>("properties");
  QTest::newRow("one deleted file") << 1 << true << false << true << true << true;
  QTest::newRow("one existing file") << 1 << false << false << false << true << true;
  QTest::newRow("one deleted folder") << 1 << true << true << true << false << true;
  QTest::newRow("one existing folder") << 1 << false << true << false << false << true;
  QTest::newRow("two deleted files") << 2 << true << false << true << false << false;
  QTest::newRow("deleted and existing") << 2 << false << false << false << false << false;
  QTest::newRow("many deleted with a folder") << 40 << true << true << true << false << false;
}

void TestBrowseMenus::listMenuWithSelection() {
  QFETCH(int, selected);
  QFETCH(bool, allDeleted);
  QFETCH(bool, folder);
  QFETCH(bool, recover);
  QFETCH(bool, quickView);
  QFETCH(bool, properties);
  // The tree's node and the sorting do not change the menu of a selection.
  for (BrowseNodeKind node : {BrowseNodeKind::kNone, BrowseNodeKind::kDrive}) {
    BrowseMenuState state = Selection(selected, allDeleted, folder);
    state.node = node;
    state.sortColumn = 3;
    const MenuEntries entries = ListMenuEntries(state);
    QCOMPARE(Ids(entries),
             (std::vector<unsigned>{kCmdRecoverItems, kCmdQuickViewItem, 0, kCmdItemProperties}));
    QCOMPARE(FindMenuEntry(entries, kCmdRecoverItems)->enabled, recover);
    QCOMPARE(FindMenuEntry(entries, kCmdQuickViewItem)->enabled, quickView);
    QCOMPARE(FindMenuEntry(entries, kCmdItemProperties)->enabled, properties);
  }
}

void TestBrowseMenus::listMenuOfTheFolderShown_data() {
  QTest::addColumn<int>("node");
  QTest::addColumn<int>("sortColumn");
  QTest::addColumn<bool>("deletedOnly");
  QTest::addColumn<bool>("reindex");     // present
  QTest::addColumn<bool>("selectAll");   // present
  QTest::addColumn<bool>("properties");  // enabled (always present)
  QTest::newRow("no node") << int(BrowseNodeKind::kNone) << 0 << false << false << false << false;
  QTest::newRow("drive") << int(BrowseNodeKind::kDrive) << 1 << false << true << true << true;
  QTest::newRow("folder") << int(BrowseNodeKind::kFolder) << 4 << true << false << true << true;
  QTest::newRow("deleted folder") << int(BrowseNodeKind::kDeletedFolder) << 2 << true << false
                                  << true << true;
  QTest::newRow("drive, deleted only")
      << int(BrowseNodeKind::kDrive) << 3 << true << true << true << true;
}

void TestBrowseMenus::listMenuOfTheFolderShown() {
  QFETCH(int, node);
  QFETCH(int, sortColumn);
  QFETCH(bool, deletedOnly);
  QFETCH(bool, reindex);
  QFETCH(bool, selectAll);
  QFETCH(bool, properties);
  BrowseMenuState state;
  state.node = static_cast<BrowseNodeKind>(node);
  state.sortColumn = sortColumn;
  state.deletedOnly = deletedOnly;
  // Facts of a selection that is not there change nothing.
  state.allDeleted = true;
  state.folderSelected = true;
  const MenuEntries entries = ListMenuEntries(state);

  // The sort submenu comes first: one entry per column, the sorting column checked.
  QVERIFY(!entries.empty());
  const MenuEntry& sort = entries.front();
  QCOMPARE(sort.kind, MenuEntry::Kind::kSubmenu);
  QCOMPARE(sort.id, kIdsMenuSortBy);
  QCOMPARE(Ids(sort.entries),
           (std::vector<unsigned>{kCmdSortFirst, kCmdSortFirst + 1, kCmdSortFirst + 2,
                                  kCmdSortFirst + 3, kCmdSortFirst + 4}));
  for (int column = 0; column < 5; ++column) {
    QCOMPARE(sort.entries[column].checked, column == sortColumn);
    QVERIFY(sort.entries[column].enabled);
  }

  QCOMPARE(FindMenuEntry(entries, kCmdReindexDrive) != nullptr, reindex);
  QCOMPARE(FindMenuEntry(entries, kCmdSelectAllItems) != nullptr, selectAll);
  const MenuEntry* props = FindMenuEntry(entries, kCmdSelectionProperties);
  QVERIFY(props);
  QCOMPARE(props->enabled, properties);
  QCOMPARE(entries.back().id, kCmdSelectionProperties);
  const MenuEntry* deleted = FindMenuEntry(entries, kCmdShowDeletedOnlyMenu);
  QVERIFY(deleted && deleted->enabled);
  QCOMPARE(deleted->checked, deletedOnly);
  // Nothing of the selection's menu.
  for (unsigned id : {kCmdRecoverItems, kCmdQuickViewItem, kCmdItemProperties})
    QVERIFY(!FindMenuEntry(entries, id));
}

void TestBrowseMenus::nodeMenus_data() {
  QTest::addColumn<int>("node");
  QTest::addColumn<bool>("fixedNtfs");
  QTest::addColumn<bool>("current");
  QTest::addColumn<QList<unsigned>>("ids");
  QTest::addColumn<QList<unsigned>>("enabled");
  using L = QList<unsigned>;
  const L drive{kCmdOpenNode, kCmdReindexNode, 0, kCmdNodeProperties};
  const L folder{kCmdExpandNode, 0, kCmdRecoverFolder, 0, kCmdFolderProperties};
  const int kDrive = int(BrowseNodeKind::kDrive);
  QTest::newRow("NTFS drive, not current")
      << kDrive << true << false << drive << L{kCmdOpenNode, kCmdNodeProperties};
  QTest::newRow("NTFS drive, current")
      << kDrive << true << true << drive << L{kCmdReindexNode, kCmdNodeProperties};
  QTest::newRow("FAT drive") << kDrive << false << false << drive << L{kCmdNodeProperties};
  QTest::newRow("FAT drive marked current")
      << kDrive << false << true << drive << L{kCmdNodeProperties};
  QTest::newRow("existing folder") << int(BrowseNodeKind::kFolder) << false << false << folder
                                   << L{kCmdExpandNode, kCmdFolderProperties};
  QTest::newRow("deleted folder") << int(BrowseNodeKind::kDeletedFolder) << true << true << folder
                                  << L{kCmdExpandNode, kCmdRecoverFolder, kCmdFolderProperties};
  QTest::newRow("disk or nothing") << int(BrowseNodeKind::kNone) << true << true << L{} << L{};
}

void TestBrowseMenus::nodeMenus() {
  QFETCH(int, node);
  QFETCH(bool, fixedNtfs);
  QFETCH(bool, current);
  QFETCH(QList<unsigned>, ids);
  QFETCH(QList<unsigned>, enabled);
  BrowseMenuState state;
  state.node = static_cast<BrowseNodeKind>(node);
  state.fixedNtfs = fixedNtfs;
  state.currentDrive = current;
  state.selected = 3;  // the list's selection plays no part
  const MenuEntries entries = NodeMenuEntries(state);
  const std::vector<unsigned> got = Ids(entries);
  QCOMPARE(QList<unsigned>(got.begin(), got.end()), ids);
  for (const MenuEntry& entry : entries) {
    if (entry.kind == MenuEntry::Kind::kSeparator) continue;
    QVERIFY2(entry.enabled == enabled.contains(entry.id),
             qPrintable(QString::number(entry.id, 16)));
  }
}

void TestBrowseMenus::doubleClickAndSelectionRules() {
  QCOMPARE(ListDoubleClickCommand(false, true), kCmdRecover);
  QCOMPARE(ListDoubleClickCommand(false, false), kCmdQuickView);
  QCOMPARE(ListDoubleClickCommand(true, true), 0u);
  QCOMPARE(ListDoubleClickCommand(true, false), 0u);

  QVERIFY(SelectionCommands(true, 5).selectAll && SelectionCommands(true, 5).invert);
  QVERIFY(!SelectionCommands(true, 0).selectAll && !SelectionCommands(true, 0).invert);
  QVERIFY(!SelectionCommands(false, 5).selectAll && !SelectionCommands(false, 5).invert);

  // The context commands have captions of their own and numbers no other command uses.
  std::set<unsigned> ids;
  for (const ContextCommand& command : ContextCommands()) {
    QVERIFY2(ids.insert(command.id).second, qPrintable(QString::number(command.id, 16)));
    QVERIFY2(!FindCommand(command.id), qPrintable(QString::number(command.id, 16)));
    const QString caption = ResString(command.caption);
    QVERIFY2(!caption.isEmpty() && caption != kResourceNotAvailable,
             qPrintable(QString::number(command.id, 16)));
  }
  for (unsigned id = kCmdSortFirst; id <= kCmdSortLast; ++id) QVERIFY(ids.count(id));
  QVERIFY(ResString(kIdsMenuSortBy) != kResourceNotAvailable);
}

void TestBrowseMenus::builtMenus() {
  QObject owner;
  std::map<unsigned, QAction*> actions;
  for (unsigned id : {kCmdRecoverItems, kCmdQuickViewItem, kCmdItemProperties, kCmdSelectAllItems,
                      kCmdSelectionProperties, kCmdShowDeletedOnlyMenu, kCmdReindexDrive}) {
    actions[id] = new QAction(QString::number(id, 16), &owner);
    actions[id]->setData(id);
  }
  actions[kCmdShowDeletedOnlyMenu]->setCheckable(true);
  for (unsigned id = kCmdSortFirst; id <= kCmdSortLast; ++id) {
    actions[id] = new QAction(QString::number(id, 16), &owner);
    actions[id]->setData(id);
    actions[id]->setCheckable(true);
  }
  std::set<unsigned> missing;
  const auto lookup = [&](unsigned id) -> QAction* {
    auto it = actions.find(id);
    return it == actions.end() || missing.count(id) ? nullptr : it->second;
  };

  // Every action there: the entries as they are, states copied.
  const BrowseMenuState twoDeleted = Selection(2, true, false);
  {
    QMenu menu;
    BuildMenu(menu, ListMenuEntries(twoDeleted), lookup);
    QCOMPARE(Ids(menu),
             (std::vector<unsigned>{kCmdRecoverItems, kCmdQuickViewItem, 0, kCmdItemProperties}));
    QVERIFY(actions[kCmdRecoverItems]->isEnabled());
    QVERIFY(!actions[kCmdQuickViewItem]->isEnabled());
    QVERIFY(!actions[kCmdItemProperties]->isEnabled());
  }
  // Commands whose windows are not there yet are left out, and the separator with them.
  missing = {kCmdRecoverItems, kCmdQuickViewItem};
  {
    QMenu menu;
    BuildMenu(menu, ListMenuEntries(Selection(1, true, false)), lookup);
    QCOMPARE(Ids(menu), (std::vector<unsigned>{kCmdItemProperties}));
    QVERIFY(actions[kCmdItemProperties]->isEnabled());
  }
  missing.clear();

  // The folder's menu: the sort submenu with its check moved, a stale check cleared.
  actions[kCmdSortFirst]->setChecked(true);
  BrowseMenuState shown;
  shown.node = BrowseNodeKind::kDrive;
  shown.sortColumn = 2;
  shown.deletedOnly = true;
  {
    QMenu menu;
    BuildMenu(menu, ListMenuEntries(shown), lookup);
    QCOMPARE(Ids(menu), (std::vector<unsigned>{~0u, 0, kCmdShowDeletedOnlyMenu, kCmdReindexDrive, 0,
                                               kCmdSelectAllItems, 0, kCmdSelectionProperties}));
    QMenu* sort = SubmenuOf(menu);
    QVERIFY(sort);
    QCOMPARE(sort->title(), ResString(kIdsMenuSortBy));
    QCOMPARE(sort->actions().size(), 5);
    for (int column = 0; column < 5; ++column)
      QCOMPARE(sort->actions()[column]->isChecked(), column == 2);
    QVERIFY(actions[kCmdShowDeletedOnlyMenu]->isChecked());
  }
  // Without a tree node: no Select all, no Re-index, and no doubled separators where they were.
  shown.node = BrowseNodeKind::kNone;
  shown.deletedOnly = false;
  {
    QMenu menu;
    BuildMenu(menu, ListMenuEntries(shown), lookup);
    QCOMPARE(Ids(menu),
             (std::vector<unsigned>{~0u, 0, kCmdShowDeletedOnlyMenu, 0, kCmdSelectionProperties}));
    QVERIFY(!actions[kCmdSelectionProperties]->isEnabled());
    QVERIFY(!actions[kCmdShowDeletedOnlyMenu]->isChecked());
  }
  // A submenu whose every entry is missing is not shown, nor a separator before it.
  for (unsigned id = kCmdSortFirst; id <= kCmdSortLast; ++id) missing.insert(id);
  {
    QMenu menu;
    BuildMenu(menu, ListMenuEntries(shown), lookup);
    QCOMPARE(Ids(menu),
             (std::vector<unsigned>{kCmdShowDeletedOnlyMenu, 0, kCmdSelectionProperties}));
  }
}

// ---- The main window on the fake machine ----

QModelIndex TestBrowseMenus::RowNamed(const QString& name) const {
  for (int row = 0; row < m_model->rowCount(); ++row)
    if (m_model->index(row, 0).data().toString() == name) return m_model->index(row, 0);
  return {};
}

QStringList TestBrowseMenus::RowNames() const {
  QStringList names;
  for (int row = 0; row < m_model->rowCount(); ++row)
    names << m_model->index(row, 0).data().toString();
  return names;
}

void TestBrowseMenus::SelectRows(const QStringList& names) {
  m_list->selectionModel()->clearSelection();
  for (const QString& name : names) {
    const QModelIndex row = RowNamed(name);
    QVERIFY2(row.isValid(), qPrintable(name));
    m_list->selectionModel()->select(row, QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
}

QPoint TestBrowseMenus::RowPoint(const QString& name) const {
  return m_list->visualRect(RowNamed(name)).center();
}

QPoint TestBrowseMenus::NodePoint(const QModelIndex& node) const {
  m_tree->scrollTo(node);
  return m_tree->visualRect(node).center();
}

BrowseMenuState TestBrowseMenus::ListState() const {
  BrowseMenuState state;
  DescribeListSelection(*m_model, SelectedListRows(*m_list->selectionModel(), m_model->rowCount()),
                        state);
  return state;
}

void TestBrowseMenus::OpenDocs2023() {
  CMainFrame::Options options;
  options.session = m_session;
  m_frame = std::make_unique<CMainFrame>(options);
  m_frame->resize(1000, 700);
  m_frame->show();
  QVERIFY(QTest::qWaitForWindowExposed(m_frame.get()));
  m_tree = m_frame->findChild<QTreeView*>("FolderTree");
  m_list = m_frame->findChild<CCustomListView*>("FileList");
  QVERIFY(m_tree && m_list);
  m_drives = qobject_cast<CDriveTreeModel*>(m_tree->model());
  m_model = qobject_cast<CFileListModel*>(m_list->model());
  QVERIFY(m_drives && m_model);
  // An empty list has nothing to select.
  QCOMPARE(m_model->rowCount(), 0);
  QVERIFY(!m_frame->Action(kCmdSelectAll)->isEnabled());
  QVERIFY(!m_frame->Action(kCmdInvertSelection)->isEnabled());
  // Selecting C: indexes it (the first time) and lists its root.
  m_tree->setCurrentIndex(m_drives->DriveIndex('C'));
  QTRY_VERIFY_WITH_TIMEOUT(RowNamed("Docs").isValid(), 60000);
  for (const char* folder : {"Docs", "Reports", "2023"}) {
    QTRY_VERIFY_WITH_TIMEOUT(RowNamed(folder).isValid(), 30000);
    // A double click on a folder opens it: the activation that comes with it.
    DoubleClick(m_list->viewport(), RowPoint(folder));
  }
  QTRY_VERIFY_WITH_TIMEOUT(RowNamed("draft-old.txt").isValid(), 30000);
  QTRY_COMPARE(m_model->rowCount(), 5);
  QCOMPARE(m_tree->currentIndex().data().toString(), QStringLiteral("2023"));
}

void TestBrowseMenus::selectionMenusInDocsReports2023() {
  OpenDocs2023();
  if (QTest::currentTestFailed()) return;

  // One deleted file: Recover and Quick view are rules of the menu, not yet commands with a
  // window, so only Properties shows.
  SelectRows({"draft-old.txt"});
  BrowseMenuState state = ListState();
  QCOMPARE(state.selected, 1);
  QVERIFY(state.allDeleted && !state.folderSelected);
  QVERIFY(FindMenuEntry(ListMenuEntries(state), kCmdRecoverItems)->enabled);
  QVERIFY(WithPopup(m_list, RowPoint("draft-old.txt"), [&](QMenu& menu) {
    QCOMPARE(Ids(menu), (std::vector<unsigned>{kCmdItemProperties}));
    QVERIFY(ActionOf(menu, kCmdItemProperties)->isEnabled());
  }));
  QCOMPARE(SelectedListRows(*m_list->selectionModel(), m_model->rowCount()).size(), std::size_t(1));

  // Two deleted files: Recover stays, Properties goes off.
  SelectRows({"draft-old.txt", "budget-deleted.bin"});
  state = ListState();
  QCOMPARE(state.selected, 2);
  QVERIFY(state.allDeleted);
  QVERIFY(WithPopup(m_list, RowPoint("budget-deleted.bin"), [&](QMenu& menu) {
    QVERIFY(!ActionOf(menu, kCmdItemProperties)->isEnabled());
  }));

  // A deleted and an existing file; an existing folder.
  SelectRows({"draft-old.txt", "summary.txt"});
  state = ListState();
  QVERIFY(!state.allDeleted);
  QVERIFY(!FindMenuEntry(ListMenuEntries(state), kCmdRecoverItems)->enabled);
  SelectRows({"Q4"});
  state = ListState();
  QVERIFY(state.folderSelected && !state.allDeleted);
  QVERIFY(!FindMenuEntry(ListMenuEntries(state), kCmdQuickViewItem)->enabled);

  // Properties of the selected row, whichever row is current.
  SelectRows({"summary.txt"});
  m_list->selectionModel()->setCurrentIndex(RowNamed("Q4"), QItemSelectionModel::NoUpdate);
  QString title;
  QVERIFY(WithPopup(m_list, RowPoint("summary.txt"), [&](QMenu& menu) {
    QAction* properties = ActionOf(menu, kCmdItemProperties);
    QVERIFY(properties && properties->isEnabled());
    CloseNextDialog(m_frame.get(), title);
    properties->trigger();
  }));
  QCOMPARE(title, ResFormat(kIdsPropTitle, std::string("summary.txt")));
}

void TestBrowseMenus::folderMenuSortsSelectsAndInverts() {
  OpenDocs2023();
  if (QTest::currentTestFailed()) return;
  QCOMPARE(RowNames(), (QStringList{"Q4", "budget-deleted.bin", "draft-old.txt", "report-final.bin",
                                    "summary.txt"}));
  // Below the rows: the selection goes and the menu is the folder's.
  SelectRows({"summary.txt"});
  const QPoint below(20, m_list->viewport()->height() - 10);
  QVERIFY(!m_list->indexAt(below).isValid());
  const auto chooseSort = [&](unsigned id, int checkedBefore) {
    return WithPopup(m_list, below, [&, id, checkedBefore](QMenu& menu) {
      QMenu* sort = SubmenuOf(menu);
      QVERIFY(sort);
      QCOMPARE(sort->actions().size(), 5);
      for (int column = 0; column < 5; ++column)
        QCOMPARE(sort->actions()[column]->isChecked(), column == checkedBefore);
      ActionOf(*sort, id)->trigger();
    });
  };
  QVERIFY(chooseSort(kCmdSortFirst + kColSize, kColName));
  QVERIFY(m_list->selectionModel()->selection().isEmpty());
  QCOMPARE(m_model->SortColumn(), int(kColSize));
  QCOMPARE(m_model->SortOrder(), Qt::AscendingOrder);
  QCOMPARE(m_list->header()->sortIndicatorSection(), int(kColSize));
  QCOMPARE(RowNames(), (QStringList{"Q4", "draft-old.txt", "summary.txt", "budget-deleted.bin",
                                    "report-final.bin"}));
  // The sorting column again turns the order round, folders still first.
  QVERIFY(chooseSort(kCmdSortFirst + kColSize, kColSize));
  QCOMPARE(m_model->SortOrder(), Qt::DescendingOrder);
  QCOMPARE(RowNames(), (QStringList{"Q4", "report-final.bin", "budget-deleted.bin", "summary.txt",
                                    "draft-old.txt"}));
  QVERIFY(chooseSort(kCmdSortFirst + kColName, kColSize));
  QCOMPARE(m_model->SortOrder(), Qt::AscendingOrder);
  QCOMPARE(RowNames().front(), QStringLiteral("Q4"));
  QCOMPARE(RowNames().back(), QStringLiteral("summary.txt"));

  // Deleted items only, from the same menu: the live files go, Q4 stays for what was deleted in
  // it, and the folder shown stays 2023.
  QVERIFY(WithPopup(m_list, below, [&](QMenu& menu) {
    QAction* deleted = ActionOf(menu, kCmdShowDeletedOnlyMenu);
    QVERIFY(deleted && !deleted->isChecked());
    deleted->trigger();
  }));
  QTRY_VERIFY_WITH_TIMEOUT(
      !RowNamed("summary.txt").isValid() && RowNamed("draft-old.txt").isValid(), 30000);
  QCOMPARE(RowNames(), (QStringList{"Q4", "budget-deleted.bin", "draft-old.txt"}));
  QCOMPARE(m_tree->currentIndex().data().toString(), QStringLiteral("2023"));
  QVERIFY(m_frame->Action(kCmdShowDeletedOnly)->isChecked());
  QVERIFY(WithPopup(m_list, below, [&](QMenu& menu) {
    QAction* deleted = ActionOf(menu, kCmdShowDeletedOnlyMenu);
    QVERIFY(deleted && deleted->isChecked());
    deleted->trigger();
  }));
  QTRY_COMPARE_WITH_TIMEOUT(m_model->rowCount(), 5, 30000);
  QVERIFY(!m_frame->Action(kCmdShowDeletedOnly)->isChecked());

  // The tree shows 2023 (a folder): Select all, Properties, no Re-index.
  QVERIFY(WithPopup(m_list, below, [&](QMenu& menu) {
    QVERIFY(!ActionOf(menu, kCmdReindexDrive));
    QVERIFY(ActionOf(menu, kCmdSelectionProperties)->isEnabled());
    QAction* all = ActionOf(menu, kCmdSelectAllItems);
    QVERIFY(all && all->isEnabled());
    all->trigger();
  }));
  QCOMPARE(SelectedListRows(*m_list->selectionModel(), m_model->rowCount()),
           (std::vector<int>{0, 1, 2, 3, 4}));

  // Invert selection and Select all of the Edit menu.
  QAction* invert = m_frame->Action(kCmdInvertSelection);
  QAction* selectAll = m_frame->Action(kCmdSelectAll);
  QVERIFY(invert->isEnabled() && selectAll->isEnabled());
  invert->trigger();
  QVERIFY(SelectedListRows(*m_list->selectionModel(), m_model->rowCount()).empty());
  SelectRows({"Q4", "draft-old.txt"});
  invert->trigger();
  QCOMPARE(SelectedListRows(*m_list->selectionModel(), m_model->rowCount()),
           (std::vector<int>{1, 3, 4}));
  BrowseMenuState state = ListState();
  QCOMPARE(state.selected, 3);
  QVERIFY(!state.folderSelected && !state.allDeleted);
  selectAll->trigger();
  QCOMPARE(SelectedListRows(*m_list->selectionModel(), m_model->rowCount()).size(), std::size_t(5));

  // Only the browse view's list answers them.
  m_frame->Tabs()->setCurrentIndex(1);
  QVERIFY(!invert->isEnabled() && !selectAll->isEnabled());
  m_frame->Tabs()->setCurrentIndex(0);
  QVERIFY(invert->isEnabled() && selectAll->isEnabled());

  // The drive's root: Re-index is offered.
  m_tree->setCurrentIndex(m_drives->DriveIndex('C'));
  QTRY_VERIFY_WITH_TIMEOUT(RowNamed("OldProject").isValid(), 30000);
  QVERIFY(WithPopup(m_list, below, [&](QMenu& menu) {
    QAction* reindex = ActionOf(menu, kCmdReindexDrive);
    QVERIFY(reindex && reindex->isEnabled());
  }));

  // No node selected in the tree: no Select all, Properties off.
  m_tree->setCurrentIndex(QModelIndex());
  QVERIFY(WithPopup(m_list, below, [&](QMenu& menu) {
    QVERIFY(!ActionOf(menu, kCmdSelectAllItems));
    QVERIFY(!ActionOf(menu, kCmdReindexDrive));
    QAction* properties = ActionOf(menu, kCmdSelectionProperties);
    QVERIFY(properties && !properties->isEnabled());
  }));
}

void TestBrowseMenus::treeMenusActOnTheNodeUnderThePointer() {
  OpenDocs2023();
  if (QTest::currentTestFailed()) return;
  const QModelIndex folder2023 = m_tree->currentIndex();
  const QModelIndex c = m_drives->DriveIndex('C');
  const QModelIndex d = m_drives->DriveIndex('D');
  const QModelIndex e = m_drives->DriveIndex('E');
  QVERIFY(c.isValid() && d.isValid() && e.isValid());

  // A right click leaves the tree's selection as it was (else D: would be opened).
  QTest::mouseClick(m_tree->viewport(), Qt::RightButton, {}, NodePoint(d));
  QCOMPARE(m_tree->currentIndex(), folder2023);

  const auto nodeMenu = [&](const QModelIndex& node, std::vector<unsigned> ids,
                            std::set<unsigned> enabled) {
    return WithPopup(m_tree, NodePoint(node), [&](QMenu& menu) {
      QCOMPARE(Ids(menu), ids);
      for (unsigned id : ids)
        if (id) QCOMPARE(ActionOf(menu, id)->isEnabled(), enabled.count(id) != 0);
    });
  };
  QVERIFY(nodeMenu(c, {kCmdOpenNode, kCmdReindexNode, 0, kCmdNodeProperties},
                   {kCmdReindexNode, kCmdNodeProperties}));
  QVERIFY(
      nodeMenu(d, {kCmdOpenNode, kCmdReindexNode, 0, kCmdNodeProperties}, {kCmdNodeProperties}));
  QVERIFY(
      nodeMenu(e, {kCmdOpenNode, kCmdReindexNode, 0, kCmdNodeProperties}, {kCmdNodeProperties}));
  // The disk's group has no menu.
  QVERIFY(!WithPopup(m_tree, NodePoint(c.parent()), [](QMenu&) {}));

  // Folders: Recover folder is a rule (deleted folders only) but not yet a command.
  const QModelIndex oldProject = [&] {
    for (int row = 0; row < m_drives->rowCount(c); ++row)
      if (m_drives->index(row, 0, c).data().toString() == "OldProject")
        return m_drives->index(row, 0, c);
    return QModelIndex();
  }();
  QVERIFY(oldProject.isValid());
  BrowseMenuState state;
  DescribeTreeNode(*m_drives, oldProject, 'C', state);
  QCOMPARE(state.node, BrowseNodeKind::kDeletedFolder);
  QVERIFY(FindMenuEntry(NodeMenuEntries(state), kCmdRecoverFolder)->enabled);
  DescribeTreeNode(*m_drives, folder2023, 'C', state);
  QCOMPARE(state.node, BrowseNodeKind::kFolder);
  DescribeTreeNode(*m_drives, c, 'C', state);
  QVERIFY(state.node == BrowseNodeKind::kDrive && state.fixedNtfs && state.currentDrive);
  DescribeTreeNode(*m_drives, d, 'C', state);
  QVERIFY(state.node == BrowseNodeKind::kDrive && !state.fixedNtfs && !state.currentDrive);
  DescribeTreeNode(*m_drives, c.parent(), 'C', state);
  QCOMPARE(state.node, BrowseNodeKind::kNone);
  QVERIFY(nodeMenu(oldProject, {kCmdExpandNode, 0, kCmdFolderProperties},
                   {kCmdExpandNode, kCmdFolderProperties}));

  // Properties of the node under the pointer, not of the selected one.
  QString title;
  QVERIFY(WithPopup(m_tree, NodePoint(d), [&](QMenu& menu) {
    CloseNextDialog(m_frame.get(), title);
    ActionOf(menu, kCmdNodeProperties)->trigger();
  }));
  QCOMPARE(title, ResFormat(kIdsDrivePropTitle, std::string("D:\\")));
  QCOMPARE(m_tree->currentIndex(), folder2023);
  title.clear();
  QVERIFY(WithPopup(m_tree, NodePoint(oldProject), [&](QMenu& menu) {
    CloseNextDialog(m_frame.get(), title);
    ActionOf(menu, kCmdFolderProperties)->trigger();
  }));
  QCOMPARE(title, ResFormat(kIdsPropTitle, std::string("OldProject")));

  // Expand selects the node and opens it, and the list follows.
  QVERIFY(WithPopup(m_tree, NodePoint(oldProject),
                    [&](QMenu& menu) { ActionOf(menu, kCmdExpandNode)->trigger(); }));
  QCOMPARE(m_tree->currentIndex(), QModelIndex(oldProject));
  QVERIFY(m_tree->isExpanded(oldProject));
  QTRY_VERIFY_WITH_TIMEOUT(RowNamed("src").isValid(), 30000);
}

void TestBrowseMenus::doubleClicksAndActivation() {
  OpenDocs2023();
  if (QTest::currentTestFailed()) return;
  QAction* recover = m_frame->Action(kCmdRecover);
  QAction* quickView = m_frame->Action(kCmdQuickView);
  // Both wait for their windows: a double click on a file does nothing yet.
  QVERIFY(!recover->isEnabled() && !quickView->isEnabled());
  QSignalSpy recovered(recover, &QAction::triggered);
  QSignalSpy viewed(quickView, &QAction::triggered);
  DoubleClick(m_list->viewport(), RowPoint("draft-old.txt"));
  DoubleClick(m_list->viewport(), RowPoint("summary.txt"));
  QCOMPARE(recovered.count() + viewed.count(), 0);

  // Once the commands are there, a deleted file goes to Recover, an existing one to Quick view,
  // and neither opens a folder.
  recover->setEnabled(true);
  quickView->setEnabled(true);
  DoubleClick(m_list->viewport(), RowPoint("draft-old.txt"));
  QCOMPARE(recovered.count(), 1);
  QCOMPARE(viewed.count(), 0);
  DoubleClick(m_list->viewport(), RowPoint("summary.txt"));
  QCOMPARE(recovered.count(), 1);
  QCOMPARE(viewed.count(), 1);
  // Enter on a file is no double click.
  m_list->setFocus();
  m_list->setCurrentIndex(RowNamed("budget-deleted.bin"));
  QTest::keyClick(m_list, Qt::Key_Return);
  QTest::qWait(50);
  QCOMPARE(recovered.count(), 1);
  QCOMPARE(m_model->rowCount(), 5);
  QVERIFY(RowNamed("summary.txt").isValid());

  // A folder: the double click gives no command; its activation opens the folder.
  DoubleClick(m_list->viewport(), RowPoint("Q4"));
  QTRY_VERIFY_WITH_TIMEOUT(RowNamed("q4-notes.txt").isValid(), 30000);
  QCOMPARE(recovered.count(), 1);
  QCOMPARE(viewed.count(), 1);
  QCOMPARE(m_tree->currentIndex().data().toString(), QStringLiteral("Q4"));
  recover->setEnabled(false);
  quickView->setEnabled(false);

  // Back, then Enter on the folder opens it the same way.
  m_frame->Action(kCmdBack)->trigger();
  QTRY_VERIFY_WITH_TIMEOUT(RowNamed("summary.txt").isValid(), 30000);
  m_list->setCurrentIndex(RowNamed("Q4"));
  QTest::keyClick(m_list, Qt::Key_Return);
  QTRY_VERIFY_WITH_TIMEOUT(RowNamed("q4-deleted.txt").isValid(), 30000);
  QCOMPARE(m_tree->currentIndex().data().toString(), QStringLiteral("Q4"));
}

QTEST_MAIN(TestBrowseMenus)
#include "tst_browse_menus.moc"
