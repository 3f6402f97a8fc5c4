#include "svres/string_table.h"

#include <algorithm>
#include <iterator>

#include "svres/res_ids.h"

namespace sorvani {

namespace {

// Sorted by number (checked below at compile time).
constexpr SvresText kTable[] = {
    // Caption of every message box the recovery run shows.
    {kIdsCaption, "Sorvani Recovery"},

    // Prompts of the file and folder writers (buttons Yes/No/Yes to all/No to all, or
    // Abort/Retry/Ignore). The system error text, where there is one, comes first.
    {kIdsFileExists,
     "The file\n%s\nalready exists in the destination folder.\n\n"
     "Do you want to replace it with the recovered file?"},
    {kIdsFileCreateFailed,
     "The system reported: %s\n\nThe file\n%s\ncould not be created. Check that the destination "
     "is writable and has free space, then choose Retry. Choose Ignore to skip this file, or "
     "Abort to stop the recovery."},
    // Status bar: files and bytes recovered; the size is already formatted.
    {kIdsStatusRecoveredRun, "Recovered this session: %lu files, %s"},
    {kIdsStatusRecoveredTotal, "Recovered in total: %lu files, %s"},
    {kIdsFolderParentMissing,
     "The folder that should hold\n%s\ndoes not exist.\n\n"
     "Do you want to create the missing folders?"},
    {kIdsFolderExists,
     "The folder\n%s\nalready exists in the destination.\n\n"
     "Do you want to recover the items into the existing folder?"},
    // A folder name on the destination; must stay a valid file name.
    {kIdsOrphanFolderName, "_OrphanFolder_%lu"},
    {kIdsFolderCreateFailed,
     "The system reported: %s\n\nThe folder\n%s\ncould not be created. Check that the destination "
     "is writable, then choose Retry, or choose Ignore to skip this folder and everything in it."},
    {kIdsFolderPathFailed,
     "The folders leading to\n%s\ncould not be created, so this folder and everything in it "
     "cannot be recovered. Check that the destination is writable and not full."},
    {kIdsWriteFailed,
     "The system reported: %s\n\nWriting the file\n%s\nfailed. The destination may be full or no "
     "longer connected. Free some space or reconnect it and choose Retry, or choose Ignore to "
     "skip this file."},

    {kIdsAboutText,
     "Sorvani Recovery finds files that were deleted from NTFS and FAT drives and copies them to "
     "a safe place. It only reads the drive it searches and never writes to it.\n\n"
     "For the best chance of getting a file back, stop using the drive it was on as soon as you "
     "can, and recover to a different drive."},

    // Selecting a drive that cannot be browsed.
    {kIdsDriveNotNtfs,
     "This drive holds a %s file system. Deleted files can be browsed only on NTFS drives; use "
     "the surface scan to find pictures and documents on it."},
    {kIdsDriveUnreadable,
     "The drive %s cannot be read. It may hold no medium, or it may be damaged or no longer "
     "connected."},

    // Indexing window (numbers named beside the indexing thread): time left as a duration
    // text, or unknown; per cent done; elapsed duration text; the title of each phase.
    {kIdsIndexTimeLeft, "Time left: %s"},
    {kIdsIndexTimeEstimating, "Time left: estimating..."},
    {kIdsIndexPercentDone, "%d%% done"},
    {kIdsIndexElapsedTime, "Elapsed time: %s"},
    {kIdsIndexPhaseScan, "Scanning the drive for deleted files..."},
    {kIdsIndexPhaseLoad, "Loading the saved list of deleted files..."},
    {kIdsIndexPhaseSave, "Saving the list of deleted files for next time..."},

    {kIdsNeedAdminRights,
     "Sorvani Recovery needs the right to read disks directly, and this account does not have "
     "it.\n\n"
     "Add the account to the group \"disk\" and log in again, or start the program with pkexec. "
     "You can still open disk images."},
    {kIdsListEmpty, "There are no items to show in this view."},
    {kIdsCloseRefused,
     "Sorvani Recovery cannot close while a search or a surface scan is running. Stop it first, "
     "then close the program."},

    // Status texts: the progress window's current state, and column 0 of a failure row.
    {kIdsStatusWorking, "Recovering..."},
    {kIdsStatusAborted, "The recovery was stopped."},
    {kIdsStatusRecordUnreadable, "The file's MFT record could not be read."},
    {kIdsStatusItemFailed, "The item could not be recovered."},  // spare, named by no step today
    {kIdsStatusNoFileName, "The MFT record holds no file name."},
    {kIdsStatusFileNotCreated, "The destination file could not be created."},
    {kIdsStatusEfsCorrupt, "The file's encryption data ($EFS) is damaged."},
    {kIdsStatusEfsOpenFailed, "The encrypted file could not be opened for import."},
    {kIdsStatusEfsImportFailed, "Importing the encrypted file failed."},
    {kIdsStatusWriteFailed, "Writing to the destination failed."},
    {kIdsStatusStreamIncomplete, "A data stream was recovered only in part."},
    {kIdsStatusStreamNotCreated, "A data stream could not be created at the destination."},
    {kIdsStatusNoData, "The file has no data left; it was probably overwritten."},
    {kIdsStatusFolderNotCreated, "The folder could not be created."},
    {kIdsStatusFolderSkipped, "The folder was skipped."},
    {kIdsStatusFolderFailures, "Some items in the folder could not be recovered."},

    // Failure messages (buttons Ignore, Ignore all, Cancel), each naming the item's path.
    {kIdsMsgRecordUnreadable,
     "The MFT record of\n%s\ncould not be read, so the file cannot be recovered. The disk may "
     "have read errors, or the record has been reused."},
    {kIdsMsgNoFileName,
     "The MFT record of\n%s\nholds no file name any more; it has probably been reused by another "
     "file. The file cannot be recovered."},
    {kIdsMsgEfsCorrupt,
     "The encryption data of\n%s\nis damaged, so the encrypted file cannot be rebuilt. An empty "
     "file was left at the destination."},
    {kIdsMsgEfsOpenFailed,
     "The encrypted file\n%s\ncould not be opened for import. The destination may not support "
     "encryption; try recovering to an NTFS volume."},
    {kIdsMsgEfsImportFailed,
     "Importing the encrypted file\n%s\nfailed. What was written so far was kept, but the file "
     "may not open."},
    {kIdsMsgStreamIncomplete,
     "Only part of the data of\n%s\ncould be recovered; the rest could not be read or has been "
     "overwritten. The part that was read was kept."},
    {kIdsMsgStreamNotCreated,
     "The data stream\n%s\ncould not be created at the destination. Alternate streams are kept "
     "only on an NTFS destination."},
    {kIdsMsgNoData,
     "The file\n%s\nhas no data left in its MFT record; it has probably been overwritten. An "
     "empty file was left at the destination."},

    // One-time hints: title, then text (some titles and texts serve two hints).
    {kIdsTipStartSearchTitle, "Looking for a particular file?"},
    {kIdsTipIndexTitleOne, "Start by indexing your drive"},
    {kIdsTipIndexTitleMany, "Start by indexing a drive"},
    {kIdsTipShowDeletedOnlyTitle, "Only interested in deleted files?"},
    {kIdsTipShowDeletedOnlyText,
     "This folder holds no deleted items. Click Show Deleted Only to hide the existing files and "
     "see just the folders that still contain deleted ones."},
    {kIdsTipDeletedFilesText,
     "Items marked as deleted can be recovered: select them and click Recover to save copies on "
     "another drive."},
    {kIdsTipDeletedFilesTitle, "Deleted files found"},
    {kIdsTipOverwrittenFilesText,
     "Some deleted files here are partly overwritten by newer data and may come back damaged. "
     "Point at a file to see how much of it is overwritten."},
    {kIdsTipLaunchWizardTitle, "Not sure where to start?"},
    {kIdsTipLaunchWizardText,
     "The Recovery Wizard leads you step by step, from choosing the drive to saving the files "
     "it finds."},
    {kIdsTipIndexText,
     "Deleted files are found by indexing a drive: one scan that lists everything deleted on it, "
     "ready to browse and search. A large drive can take a few minutes."},
    {kIdsTipCustomizeViewTitle, "Arrange the file list"},
    {kIdsTipCustomizeViewText,
     "Right-click a column header to choose the columns you see, and drag a header to move its "
     "column. Click a header to sort by it."},

    // Tabs of the main window and the title of the folder pane.
    {kIdsTabBrowse, "Browse"},
    {kIdsFoldersPane, "Folders"},
    {kIdsTabSearch, "Search"},
    {kIdsTabScan, "Surface Scan"},

    // Command captions (menus, toolbar and context menus); '&' marks the access key.
    {CommandCaptionId(kCmdRecoverItems), "&Recover..."},
    {CommandCaptionId(kCmdAbout), "&About Sorvani Recovery"},
    {CommandCaptionId(kCmdReindex), "Re-&index Drive"},
    {CommandCaptionId(kCmdRecover), "&Recover..."},
    {CommandCaptionId(kCmdQuickView), "&Quick View"},
    {CommandCaptionId(kCmdProperties), "P&roperties"},
    {CommandCaptionId(kCmdExit), "E&xit"},
    {CommandCaptionId(kCmdSelectAll), "Select &All"},
    {CommandCaptionId(kCmdInvertSelection), "&Invert Selection"},
    {CommandCaptionId(kCmdViewBrowse), "&Browse"},
    {CommandCaptionId(kCmdViewSearch), "&Search"},
    {CommandCaptionId(kCmdWizard), "Recovery &Wizard..."},
    {CommandCaptionId(kCmdOptions), "&Options..."},
    {CommandCaptionId(kCmdHelpContents), "&Help Topics"},
    {CommandCaptionId(kCmdOnlineHelp), "&Online Help"},
    {CommandCaptionId(kCmdShowDeletedOnly), "Show &Deleted Only"},
    {CommandCaptionId(kCmdBack), "&Back"},
    {CommandCaptionId(kCmdUp), "&Up One Level"},
    {CommandCaptionId(kCmdShowDeletedOnlyMenu), "Show &Deleted Items Only"},
    {CommandCaptionId(kCmdQuickViewItem), "&Quick View"},
    {CommandCaptionId(kCmdFolderProperties), "P&roperties"},
    {CommandCaptionId(kCmdOpenNode), "&Open"},
    {CommandCaptionId(kCmdExpandNode), "&Expand"},
    {CommandCaptionId(kCmdRecoverFolder), "&Recover Folder..."},
    {CommandCaptionId(kCmdNodeProperties), "P&roperties"},
    {CommandCaptionId(kCmdItemProperties), "P&roperties"},
    {CommandCaptionId(kCmdReindexNode), "Re-&index"},
    {CommandCaptionId(kCmdFoldersPane), "&Folders Pane"},
    {CommandCaptionId(kCmdColumnName), "&Name"},
    {CommandCaptionId(kCmdColumnSize), "&Size"},
    {CommandCaptionId(kCmdColumnType), "&Type"},
    {CommandCaptionId(kCmdColumnCreated), "Date &Created"},
    {CommandCaptionId(kCmdColumnModified), "Date &Modified"},
    {CommandCaptionId(kCmdSelectAllItems), "Select &All"},
    {CommandCaptionId(kCmdSelectionProperties), "P&roperties"},
    {CommandCaptionId(kCmdReindexDrive), "Re-&index"},
    {CommandCaptionId(kCmdExitSurvey), "Send &Feedback..."},
    {CommandCaptionId(kCmdViewScan), "Surface &Scan"},

    // A recovery status without a number of its own.
    {kIdsStatusRecordDamaged, "The file's MFT record is damaged."},

    // Disk images, which also work without the right to read disks.
    {kIdsCmdOpenImage, "Open Disk &Image..."},
    {kIdsOpenImageTitle, "Open Disk Image"},
    {kIdsOpenImageFilter, "Disk images (*.img *.dd *.raw *.bin *.iso);;All files (*)"},
    {kIdsOpenImageFailed, "The disk image\n%s\ncould not be opened: %s"},
    {kIdsImagesOnlyStatus, "Only disk images can be opened: this account cannot read the drives."},
    {kIdsLocalDisk, "Local disk"},
    {kIdsNoDrives, "No NTFS drive found"},
    {kIdsAddressTitle,
     "Sorvani Recovery runs with administrator rights, so it does not start a web browser. "
     "Open this address in your browser:\n\n%s"},
    {kIdsImageOpened, "Opened %s as %s"},

    // The drive tree's group of opened images, and the drive properties.
    {kIdsDiskImagesGroup, "Disk images"},
    {kIdsDrivePropTitle, "Properties of %s"},
    {kIdsDrivePropType, "Type:"},
    {kIdsDrivePropLabel, "Label:"},
    {kIdsDrivePropFs, "File system:"},
    {kIdsDrivePropCapacity, "Capacity:"},
    {kIdsDrivePropFree, "Free space:"},

    // Menu titles.
    {kIdsMenuFile, "&File"},
    {kIdsMenuEdit, "&Edit"},
    {kIdsMenuView, "&View"},
    {kIdsMenuTools, "&Tools"},
    {kIdsMenuHelp, "&Help"},
    {kIdsMenuDrives, "&Drives"},
    {kIdsMenuColumns, "&Columns"},
    {kIdsToolbar, "Toolbar"},
    {kIdsMenuSortBy, "Sort &By"},

    // Message box buttons beyond the standard ones.
    {kIdsButtonYesToAll, "Yes to &all"},
    {kIdsButtonNoToAll, "No to a&ll"},
    {kIdsButtonIgnoreAll, "&Ignore all"},
    {kIdsButtonSkipAll, "S&kip all"},
    {kIdsButtonTryAgain, "&Try again"},
    {kIdsDoNotShowAgain, "&Do not show again"},
    {kIdsButtonHelp, "&Help"},
    {kIdsHintMoreLink, "Tell me more"},
    {kIdsButtonCopy, "&Copy Address"},

    // About box and help viewer.
    {kIdsAboutProduct, "Sorvani Recovery"},
    {kIdsAboutWebSite, "Visit the Sorvani Recovery web site"},
    {kIdsAboutTitle, "About Sorvani Recovery"},
    // File-list column headers.
    {kIdsColumnName, "Name"},
    {kIdsColumnSize, "Size"},
    {kIdsColumnType, "Type"},
    {kIdsColumnCreated, "Date Created"},
    {kIdsColumnModified, "Date Modified"},
    {kIdsHelpTitle, "Sorvani Recovery Help"},
    {kIdsHelpMissing, "The help page \"%s\" is not installed."},
    {kIdsPropTitle, "%s Properties"},
    {kIdsPropType, "Type:"},
    {kIdsPropLocation, "Location:"},
    {kIdsPropSize, "Size:"},
    {kIdsPropCreated, "Created:"},
    {kIdsPropModified, "Modified:"},
    {kIdsPropAttributes, "Attributes:"},
    {kIdsPropOverwritten, "Overwritten:"},
};

constexpr bool IsSorted() {
  for (std::size_t i = 1; i < std::size(kTable); ++i)
    if (kTable[i - 1].id >= kTable[i].id) return false;
  return true;
}
static_assert(IsSorted(), "the string table must be sorted by number, without repeats");

}  // namespace

const char* SvresTableString(unsigned id) {
  const SvresText* it =
      std::lower_bound(std::begin(kTable), std::end(kTable), id,
                       [](const SvresText& entry, unsigned wanted) { return entry.id < wanted; });
  if (it == std::end(kTable) || it->id != id) return nullptr;
  return it->text;
}

const SvresText* SvresTableBegin() { return kTable; }

std::size_t SvresTableSize() { return std::size(kTable); }

}  // namespace sorvani
