#include "ui/browse_menus.h"

#include <QAbstractItemView>
#include <QAction>
#include <QEvent>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMouseEvent>
#include <algorithm>

#include "svres/res_ids.h"
#include "ui/drive_tree_model.h"
#include "ui/file_list_model.h"
#include "ui/folder_tree_model.h"
#include "ui/resources.h"

namespace sorvani::ui {

namespace {

MenuEntry Command(unsigned id, bool enabled = true, bool checked = false) {
  MenuEntry entry;
  entry.id = id;
  entry.enabled = enabled;
  entry.checked = checked;
  return entry;
}

MenuEntry Separator() {
  MenuEntry entry;
  entry.kind = MenuEntry::Kind::kSeparator;
  return entry;
}

MenuEntries SelectionMenu(const BrowseMenuState& state) {
  const bool one = state.selected == 1;
  return {
      Command(kCmdRecoverItems, state.allDeleted),
      Command(kCmdQuickViewItem, one && !state.folderSelected),
      Separator(),
      Command(kCmdItemProperties, one),
  };
}

MenuEntries FolderShownMenu(const BrowseMenuState& state) {
  const bool node = state.node != BrowseNodeKind::kNone;
  // The sort submenu has one entry per column. An arrangement entry for icon views, which a
  // details list has no use for, is not offered at all.
  MenuEntry sort;
  sort.kind = MenuEntry::Kind::kSubmenu;
  sort.id = kIdsMenuSortBy;
  for (unsigned column = 0; column <= kCmdSortLast - kCmdSortFirst; ++column)
    sort.entries.push_back(
        Command(kCmdSortFirst + column, true, static_cast<int>(column) == state.sortColumn));

  MenuEntries entries{sort, Separator(), Command(kCmdShowDeletedOnlyMenu, true, state.deletedOnly)};
  if (state.node == BrowseNodeKind::kDrive) entries.push_back(Command(kCmdReindexDrive));
  entries.push_back(Separator());
  if (node) entries.push_back(Command(kCmdSelectAllItems));
  entries.push_back(Separator());
  entries.push_back(Command(kCmdSelectionProperties, node));
  return entries;
}

// Swallows the right button's presses so the view keeps its current item; the context menu
// event comes on its own.
class CRightClickFilter : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) return true;
        break;
      default:
        break;
    }
    return QObject::eventFilter(watched, event);
  }
};

constexpr ContextCommand kContextCommands[] = {
    {kCmdShowDeletedOnlyMenu, CommandCaptionId(kCmdShowDeletedOnlyMenu), kIconShowDeletedOnly,
     true},
    {kCmdFolderProperties, CommandCaptionId(kCmdFolderProperties), 0, false},
    {kCmdOpenNode, CommandCaptionId(kCmdOpenNode), 0, false},
    {kCmdExpandNode, CommandCaptionId(kCmdExpandNode), 0, false},
    {kCmdNodeProperties, CommandCaptionId(kCmdNodeProperties), 0, false},
    {kCmdItemProperties, CommandCaptionId(kCmdItemProperties), 0, false},
    {kCmdReindexNode, CommandCaptionId(kCmdReindexNode), 0, false},
    {kCmdSelectAllItems, CommandCaptionId(kCmdSelectAllItems), kIconSelectAll, false},
    {kCmdSelectionProperties, CommandCaptionId(kCmdSelectionProperties), kIconProperties, false},
    {kCmdReindexDrive, CommandCaptionId(kCmdReindexDrive), kIconReindex, false},
    {kCmdSortFirst + 0, kIdsColumnName, 0, true},
    {kCmdSortFirst + 1, kIdsColumnSize, 0, true},
    {kCmdSortFirst + 2, kIdsColumnType, 0, true},
    {kCmdSortFirst + 3, kIdsColumnCreated, 0, true},
    {kCmdSortFirst + 4, kIdsColumnModified, 0, true},
};

}  // namespace

std::vector<int> SelectedListRows(const QItemSelectionModel& selection, int rowCount) {
  std::vector<bool> marked(static_cast<std::size_t>(std::max(rowCount, 0)), false);
  for (const QItemSelectionRange& range : selection.selection())
    for (int row = std::max(range.top(), 0); row <= range.bottom() && row < rowCount; ++row)
      marked[static_cast<std::size_t>(row)] = true;
  std::vector<int> rows;
  for (int row = 0; row < rowCount; ++row)
    if (marked[static_cast<std::size_t>(row)]) rows.push_back(row);
  return rows;
}

void DescribeListSelection(const CFileListModel& model, const std::vector<int>& rows,
                           BrowseMenuState& state) {
  state.selected = static_cast<int>(rows.size());
  state.allDeleted = !rows.empty();
  state.folderSelected = false;
  for (int row : rows) {
    const FileListEntry& entry = model.Entry(row);
    state.allDeleted = state.allDeleted && entry.deleted;
    state.folderSelected = state.folderSelected || entry.IsFolder();
  }
}

void DescribeTreeNode(const CDriveTreeModel& drives, const QModelIndex& node, char currentDrive,
                      BrowseMenuState& state) {
  state.node = BrowseNodeKind::kNone;
  state.fixedNtfs = false;
  state.currentDrive = false;
  if (!node.isValid()) return;
  switch (drives.Kind(node)) {
    case DriveNodeKind::kDrive: {
      const char letter = drives.Letter(node);
      state.node = BrowseNodeKind::kDrive;
      state.fixedNtfs = drives.NtfsLetters().count(letter) != 0;
      state.currentDrive = letter != 0 && letter == currentDrive;
      break;
    }
    case DriveNodeKind::kFolder: {
      const auto* folders =
          qobject_cast<const CFolderTreeModel*>(drives.AttachedFolders(drives.DriveOf(node)));
      const FolderTreeNode* folder = folders ? folders->NodeOf(drives.MapToFolders(node)) : nullptr;
      if (folder)
        state.node = folder->Deleted() ? BrowseNodeKind::kDeletedFolder : BrowseNodeKind::kFolder;
      break;
    }
    default:
      break;
  }
}

MenuEntries ListMenuEntries(const BrowseMenuState& state) {
  return state.selected > 0 ? SelectionMenu(state) : FolderShownMenu(state);
}

MenuEntries NodeMenuEntries(const BrowseMenuState& state) {
  switch (state.node) {
    case BrowseNodeKind::kDrive: {
      // Opening and re-indexing only make sense for a drive that can be browsed.
      const bool browsable = state.fixedNtfs;
      return {
          Command(kCmdOpenNode, browsable && !state.currentDrive),
          Command(kCmdReindexNode, browsable && state.currentDrive),
          Separator(),
          Command(kCmdNodeProperties),
      };
    }
    case BrowseNodeKind::kFolder:
    case BrowseNodeKind::kDeletedFolder:
      return {
          Command(kCmdExpandNode),
          Separator(),
          Command(kCmdRecoverFolder, state.node == BrowseNodeKind::kDeletedFolder),
          Separator(),
          Command(kCmdFolderProperties),
      };
    case BrowseNodeKind::kNone:
      break;
  }
  return {};
}

const MenuEntry* FindMenuEntry(const MenuEntries& entries, unsigned id) {
  for (const MenuEntry& entry : entries) {
    if (entry.kind == MenuEntry::Kind::kCommand && entry.id == id) return &entry;
    if (entry.kind == MenuEntry::Kind::kSubmenu)
      if (const MenuEntry* inner = FindMenuEntry(entry.entries, id)) return inner;
  }
  return nullptr;
}

unsigned ListDoubleClickCommand(bool folder, bool deleted) {
  if (folder) return 0;
  return deleted ? kCmdRecover : kCmdQuickView;
}

SelectionCommandStates SelectionCommands(bool browseShown, int rows) {
  SelectionCommandStates states;
  states.selectAll = browseShown && rows > 0;
  states.invert = browseShown && rows > 0;
  return states;
}

std::span<const ContextCommand> ContextCommands() { return kContextCommands; }

void BuildMenu(QMenu& menu, const MenuEntries& entries,
               const std::function<QAction*(unsigned)>& actionFor) {
  const auto endsWithSeparator = [&menu] {
    const QList<QAction*> actions = menu.actions();
    return actions.isEmpty() || actions.back()->isSeparator();
  };
  for (const MenuEntry& entry : entries) {
    switch (entry.kind) {
      case MenuEntry::Kind::kSeparator:
        if (!endsWithSeparator()) menu.addSeparator();
        break;
      case MenuEntry::Kind::kCommand: {
        QAction* action = actionFor(entry.id);
        if (!action) break;
        action->setEnabled(entry.enabled);
        if (action->isCheckable()) action->setChecked(entry.checked);
        menu.addAction(action);
        break;
      }
      case MenuEntry::Kind::kSubmenu: {
        auto* sub = new QMenu(ResString(entry.id), &menu);
        BuildMenu(*sub, entry.entries, actionFor);
        if (sub->isEmpty())
          delete sub;
        else
          menu.addMenu(sub);
        break;
      }
    }
  }
  while (!menu.actions().isEmpty() && menu.actions().back()->isSeparator())
    menu.removeAction(menu.actions().back());
}

void KeepSelectionOnRightClick(QAbstractItemView* view) {
  view->viewport()->installEventFilter(new CRightClickFilter(view->viewport()));
}

}  // namespace sorvani::ui
