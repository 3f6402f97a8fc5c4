// The browse view's context menus and its selection commands: which entries a menu has and which
// of them are enabled or checked is decided from a few plain facts (no widgets), and a thin
// builder turns that into a QMenu over the main window's actions.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

class QAbstractItemView;
class QAction;
class QItemSelectionModel;
class QMenu;
class QModelIndex;

namespace sorvani::ui {

class CDriveTreeModel;
class CFileListModel;

// The tree node a menu is about: for the list's menus the tree's selected node, for the tree's
// menus the node under the pointer. Disk and image groups count as none.
enum class BrowseNodeKind : std::uint8_t { kNone, kDrive, kFolder, kDeletedFolder };

struct BrowseMenuState {
  int selected = 0;             // selected rows of the file list
  bool allDeleted = false;      // every selected row is a deleted entry of the catalogue
  bool folderSelected = false;  // one of the selected rows is a folder
  BrowseNodeKind node = BrowseNodeKind::kNone;
  bool fixedNtfs = false;     // the node's drive is a fixed drive with an NTFS volume
  bool currentDrive = false;  // the node's drive is the one being browsed
  int sortColumn = 0;         // the list's sorting column
  bool deletedOnly = false;   // the list shows deleted entries only
};

struct MenuEntry {
  enum class Kind : std::uint8_t { kCommand, kSeparator, kSubmenu };
  Kind kind = Kind::kCommand;
  unsigned id = 0;  // a command; for a submenu the resource text of its title
  bool enabled = true;
  bool checked = false;            // only meaningful for a checkable command
  std::vector<MenuEntry> entries;  // a submenu's
};
using MenuEntries = std::vector<MenuEntry>;

// The rows of a list selected in whole row ranges, each once, in shown order.
std::vector<int> SelectedListRows(const QItemSelectionModel& selection, int rowCount);
// The selection facts of `rows` of `model` into `state`.
void DescribeListSelection(const CFileListModel& model, const std::vector<int>& rows,
                           BrowseMenuState& state);
// The node facts of `node` of the drive tree (a drive, a folder below one, or neither);
// `currentDrive` is the drive being browsed (0: none).
void DescribeTreeNode(const CDriveTreeModel& drives, const QModelIndex& node, char currentDrive,
                      BrowseMenuState& state);

// The list's menu: the one for the selected rows, or (nothing selected) the one for the folder
// shown, which starts with the sort submenu.
MenuEntries ListMenuEntries(const BrowseMenuState& state);
// The menu of a drive or folder node of the tree; empty for any other node.
MenuEntries NodeMenuEntries(const BrowseMenuState& state);
// The entry of command `id` anywhere in `entries` (submenus too), or nullptr.
const MenuEntry* FindMenuEntry(const MenuEntries& entries, unsigned id);

// The command a double click on a list row gives: recover a deleted file, quick view of an
// existing one; 0 for a folder (its activation opens it instead).
unsigned ListDoubleClickCommand(bool folder, bool deleted);

// Select all and Invert selection work on the browse view's list; the other views have lists
// of their own that take these commands over when they exist.
struct SelectionCommandStates {
  bool selectAll = false;
  bool invert = false;
};
SelectionCommandStates SelectionCommands(bool browseShown, int rows);

// The sort submenu's commands, numbered after the program's own "Open disk image…".
inline constexpr unsigned kCmdSortFirst = 0x8101;  // + column 0..4
inline constexpr unsigned kCmdSortLast = kCmdSortFirst + 4;

// Commands that only the context menus give, with their captions and icons; the main window
// makes one action for each.
struct ContextCommand {
  unsigned id;
  unsigned caption;  // resource text
  unsigned icon;     // 0: none
  bool checkable;
};
std::span<const ContextCommand> ContextCommands();

// Fills `menu` with `entries`: each command through `actionFor` (its enabled and checked states
// set from the entry), each submenu as a child menu. A command without an action is left out
// (its window does not exist yet), and separators never lead, trail or double.
void BuildMenu(QMenu& menu, const MenuEntries& entries,
               const std::function<QAction*(unsigned)>& actionFor);

// A right click on `view` opens its menu without changing its current item (the tree's
// selection would open the drive before the menu shows).
void KeepSelectionOnRightClick(QAbstractItemView* view);

}  // namespace sorvani::ui
