#include "ui/commands.h"

#include <algorithm>

#include "svres/res_ids.h"

namespace sorvani::ui {

namespace {

constexpr CommandInfo kCommands[] = {
    {kCmdOpenImage, kIconOpenImage, false},
    {kCmdExit, kIconExit, false},
    {kCmdSelectAll, kIconSelectAll, false},
    {kCmdInvertSelection, 0, false},
    {kCmdViewBrowse, kIconFolderOpen, false},
    {kCmdViewSearch, kIconFolderPlain, false},
    {kCmdViewScan, kIconFixedDrive, false},
    {kCmdFoldersPane, 0, true},
    {kCmdShowDeletedOnly, kIconShowDeletedOnly, true},
    {kCmdBack, kIconBack, false},
    {kCmdUp, kIconUp, false},
    {kCmdReindex, kIconReindex, false},
    {kCmdColumnFirst + 0, 0, true},
    {kCmdColumnFirst + 1, 0, true},
    {kCmdColumnFirst + 2, 0, true},
    {kCmdColumnFirst + 3, 0, true},
    {kCmdColumnFirst + 4, 0, true},
    {kCmdRecover, kIconRecover, false},
    {kCmdQuickView, kIconQuickView, false},
    {kCmdProperties, kIconProperties, false},
    {kCmdWizard, kIconWizard, false},
    {kCmdOptions, kIconOptions, false},
    {kCmdHelpContents, kIconHelp, false},
    {kCmdOnlineHelp, kIconOnlineHelp, false},
    {kCmdExitSurvey, kIconFeedback, false},
    {kCmdAbout, kIconAbout, false},
};

}  // namespace

std::span<const CommandInfo> MainCommands() { return kCommands; }

const CommandInfo* FindCommand(unsigned id) {
  auto it = std::find_if(std::begin(kCommands), std::end(kCommands),
                         [id](const CommandInfo& c) { return c.id == id; });
  return it == std::end(kCommands) ? nullptr : it;
}

unsigned CommandCaption(unsigned id) {
  return id == kCmdOpenImage ? kIdsCmdOpenImage : CommandCaptionId(id);
}

}  // namespace sorvani::ui
