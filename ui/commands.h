// Command numbers of the main window. Menus, the toolbar and context menus share them, and each
// command's caption is resource text CommandCaptionId(id).
#pragma once

#include <span>

namespace sorvani::ui {

enum Command : unsigned {
  kCmdRecoverSelected = 0x8004,
  kCmdAbout = 0x8008,
  kCmdReindex = 0x800A,
  kCmdRecover = 0x800B,
  kCmdQuickView = 0x800C,
  kCmdProperties = 0x800D,
  kCmdExit = 0x800E,
  kCmdSelectAll = 0x800F,
  kCmdInvertSelection = 0x8010,
  kCmdViewBrowse = 0x8011,
  kCmdViewSearch = 0x8012,
  kCmdWizard = 0x8014,
  kCmdOptions = 0x8015,
  kCmdHelpContents = 0x8016,
  kCmdOnlineHelp = 0x8017,
  kCmdShowDeletedOnly = 0x801A,
  kCmdBack = 0x803F,
  kCmdUp = 0x8040,
  kCmdShowDeletedOnlyMenu = 0x8042,
  kCmdQuickViewItem = 0x8043,
  kCmdTreeFolderProperties = 0x804B,
  kCmdSelectNode = 0x804C,
  kCmdOpenNode = 0x804E,
  kCmdRecoverTreeFolder = 0x804F,
  kCmdTreeNodeProperties = 0x8050,
  kCmdItemProperties = 0x8051,
  kCmdReindexNode = 0x8052,
  kCmdShowFoldersPane = 0x8053,
  kCmdColumnFirst = 0x8066,  // 0x8066 + column: show or hide file-list column 0..4
  kCmdColumnLast = 0x806A,
  kCmdSelectAllToolbar = 0x8074,
  kCmdNodeProperties = 0x8076,
  kCmdReindexToolbar = 0x8077,
  kCmdFeedback = 0x8079,
  kCmdViewScan = 0x807A,
  kCmdOpenImage = 0x8100,  // beyond the numbered set: "Open disk image…"
};

struct CommandInfo {
  unsigned id;
  unsigned icon;  // 0: none
  bool checkable;
};

// Every command the main window makes an action for, in menu order.
std::span<const CommandInfo> MainCommands();
// The entry of `id`, or nullptr.
const CommandInfo* FindCommand(unsigned id);
// The resource text of a command's caption.
unsigned CommandCaption(unsigned id);

}  // namespace sorvani::ui
