// The main window's side of the browse view's context menus, double clicks and selection
// commands; what a menu holds is decided in browse_menus.
#include <QAction>
#include <QActionGroup>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QSplitter>
#include <QTabWidget>
#include <QTreeView>
#include <vector>

#include "ui/browse_menus.h"
#include "ui/commands.h"
#include "ui/drive_tree_model.h"
#include "ui/file_list_model.h"
#include "ui/main_frame.h"
#include "ui/resources.h"

namespace sorvani::ui {

void CMainFrame::WireBrowseMenus() {
  // The sort entries show which column sorts, one at a time.
  auto* sortGroup = new QActionGroup(this);
  sortGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
  for (const ContextCommand& info : ContextCommands()) {
    QAction* action = AddCommand(info.id, ResString(info.caption), info.icon, info.checkable);
    if (info.id >= kCmdSortFirst && info.id <= kCmdSortLast) sortGroup->addAction(action);
  }

  m_fileList->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(m_fileList, &QWidget::customContextMenuRequested, this, &CMainFrame::OnListContextMenu);
  // A double click also activates the row: the activation opens folders, this serves files.
  connect(m_fileList, &QAbstractItemView::doubleClicked, this, &CMainFrame::OnListDoubleClicked);
  m_folderTree->setContextMenuPolicy(Qt::CustomContextMenu);
  KeepSelectionOnRightClick(m_folderTree);
  connect(m_folderTree, &QWidget::customContextMenuRequested, this, &CMainFrame::OnTreeContextMenu);

  connect(m_tabs, &QTabWidget::currentChanged, this, [this] { UpdateSelectionCommands(); });
  connect(m_listModel, &QAbstractItemModel::modelReset, this,
          [this] { UpdateSelectionCommands(); });
  connect(m_listModel, &QAbstractItemModel::rowsInserted, this,
          [this] { UpdateSelectionCommands(); });
  UpdateSelectionCommands();
}

bool CMainFrame::RunBrowseMenuCommand(unsigned command) {
  const QModelIndex contextNode =
      m_contextNode.isValid() ? QModelIndex(m_contextNode) : m_folderTree->currentIndex();
  switch (command) {
    case kCmdSelectAll:
    case kCmdSelectAllItems:
      if (m_tabs->currentWidget() == m_splitter) m_fileList->selectAll();
      return true;
    case kCmdInvertSelection:
      if (m_tabs->currentWidget() == m_splitter) InvertListSelection();
      return true;
    case kCmdItemProperties: {
      const std::vector<int> rows =
          SelectedListRows(*m_fileList->selectionModel(), m_listModel->rowCount());
      if (rows.size() == 1) ShowItemProperties(rows.front());
      return true;
    }
    case kCmdSelectionProperties:
      ShowNodeProperties(m_folderTree->currentIndex());
      return true;
    case kCmdNodeProperties:
    case kCmdFolderProperties:
      ShowNodeProperties(contextNode);
      return true;
    case kCmdOpenNode:
    case kCmdExpandNode:
      if (contextNode.isValid()) {
        m_folderTree->setCurrentIndex(contextNode);
        if (command == kCmdExpandNode) m_folderTree->expand(contextNode);
      }
      return true;
    case kCmdReindexNode:
      if (const char letter = m_drives->Letter(contextNode)) SelectDriveNode(letter, true);
      return true;
    default:
      if (command >= kCmdSortFirst && command <= kCmdSortLast) {
        SortListBy(static_cast<int>(command - kCmdSortFirst));
        return true;
      }
      return false;
  }
}

BrowseMenuState CMainFrame::NodeMenuState(const QModelIndex& node) const {
  BrowseMenuState state;
  DescribeTreeNode(*m_drives, node, m_currentDrive, state);
  return state;
}

BrowseMenuState CMainFrame::ListMenuState() const {
  BrowseMenuState state = NodeMenuState(m_folderTree->currentIndex());
  DescribeListSelection(*m_listModel,
                        SelectedListRows(*m_fileList->selectionModel(), m_listModel->rowCount()),
                        state);
  state.sortColumn = m_listModel->SortColumn();
  state.deletedOnly = m_deletedOnly;
  return state;
}

void CMainFrame::OnListContextMenu(const QPoint& at) {
  // A click beside the rows is about the folder shown, as in a file manager.
  if (!m_fileList->indexAt(at).isValid()) m_fileList->clearSelection();
  QMenu menu(this);
  menu.setObjectName(QStringLiteral("ListContextMenu"));
  BuildMenu(menu, ListMenuEntries(ListMenuState()), [this](unsigned id) { return Action(id); });
  if (!menu.isEmpty()) menu.exec(m_fileList->viewport()->mapToGlobal(at));
}

void CMainFrame::OnTreeContextMenu(const QPoint& at) {
  const QModelIndex node = m_folderTree->indexAt(at);
  const MenuEntries entries = NodeMenuEntries(NodeMenuState(node));
  if (entries.empty()) return;
  QMenu menu(this);
  menu.setObjectName(QStringLiteral("TreeContextMenu"));
  BuildMenu(menu, entries, [this](unsigned id) { return Action(id); });
  if (menu.isEmpty()) return;
  // The node's commands act on the node under the pointer, which the click left unselected.
  m_contextNode = node;
  menu.exec(m_folderTree->viewport()->mapToGlobal(at));
  m_contextNode = QPersistentModelIndex();
}

void CMainFrame::OnListDoubleClicked(const QModelIndex& index) {
  if (!index.isValid() || index.row() >= m_listModel->rowCount()) return;
  const FileListEntry& entry = m_listModel->Entry(index.row());
  const unsigned command = ListDoubleClickCommand(entry.IsFolder(), entry.deleted);
  // Recover and quick view stay off until their windows exist; then the click reaches them.
  QAction* action = command != 0 ? Action(command) : nullptr;
  if (action && action->isEnabled()) action->trigger();
}

void CMainFrame::UpdateSelectionCommands() {
  const SelectionCommandStates states =
      SelectionCommands(m_tabs->currentWidget() == m_splitter, m_listModel->rowCount());
  Action(kCmdSelectAll)->setEnabled(states.selectAll);
  Action(kCmdInvertSelection)->setEnabled(states.invert);
}

void CMainFrame::InvertListSelection() {
  const int rows = m_listModel->rowCount();
  if (rows == 0) return;
  const QItemSelection all(m_listModel->index(0, 0),
                           m_listModel->index(rows - 1, m_listModel->columnCount() - 1));
  m_fileList->selectionModel()->select(all, QItemSelectionModel::Toggle);
}

void CMainFrame::SortListBy(int column) {
  // As a click on the column's header: the sorting column turns around, another starts
  // ascending; the model follows the header's arrow.
  QHeaderView* header = m_fileList->header();
  const Qt::SortOrder order =
      header->sortIndicatorSection() == column && header->sortIndicatorOrder() == Qt::AscendingOrder
          ? Qt::DescendingOrder
          : Qt::AscendingOrder;
  header->setSortIndicator(column, order);
}

}  // namespace sorvani::ui
