// Command numbers of the main window. Menus, the toolbar and context menus share them, and each
// command's caption is resource text CommandCaptionId(id).
#pragma once

#include <span>

#include "svres/res_ids.h"

namespace sorvani::ui {

// The numbered commands are in svres/res_ids.h (the library words their captions); these are the
// main window's names for ranges and for the one command the numbered set lacks.
inline constexpr unsigned kCmdColumnFirst = kCmdColumnName;  // + column: show or hide column 0..4
inline constexpr unsigned kCmdColumnLast = kCmdColumnModified;
inline constexpr unsigned kCmdOpenImage = 0x8100;  // "Open disk image…"

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
