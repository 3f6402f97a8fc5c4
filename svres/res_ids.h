// Numbers of the texts, icons, pictures, animations and sounds that the resource library holds.
// Both the library and the programs include this one header, so a number means the same thing on
// both sides. Formatted texts name their arguments in order, in parentheses: an argument whose
// name ends in "number" is an integer, any other is a text. Every number named here must have its
// resource in the library (a test reads this header to check).
#pragma once

namespace sorvani {

// Kinds of the binary resources (svres_data). An animation is a frame set: u32 count, u32 delay
// in ms, then per frame u32 size and a PNG, all little-endian.
inline constexpr unsigned kResIcon = 1;       // PNG
inline constexpr unsigned kResImage = 2;      // PNG
inline constexpr unsigned kResAnimation = 3;  // frame set
inline constexpr unsigned kResSound = 4;      // WAV

// Texts of the recovery engine, also shown by the command line.
inline constexpr unsigned kIdsCaption = 1;               // caption of every message box
inline constexpr unsigned kIdsFileExists = 3;            // (path) overwrite?
inline constexpr unsigned kIdsFileCreateFailed = 4;      // (system error text, path)
inline constexpr unsigned kIdsFolderParentMissing = 12;  // (path) create the missing folders?
inline constexpr unsigned kIdsFolderExists = 13;         // (path) use the existing folder?
inline constexpr unsigned kIdsOrphanFolderName = 14;     // (record number)
inline constexpr unsigned kIdsFolderCreateFailed = 15;   // (system error text, path)
inline constexpr unsigned kIdsFolderPathFailed = 16;     // (path)
inline constexpr unsigned kIdsWriteFailed = 17;          // (system error text, path)
inline constexpr unsigned kIdsStatusWorking = 62;
inline constexpr unsigned kIdsStatusAborted = 63;
inline constexpr unsigned kIdsStatusRecordUnreadable = 64;
inline constexpr unsigned kIdsStatusItemFailed = 65;
inline constexpr unsigned kIdsStatusNoFileName = 66;
inline constexpr unsigned kIdsStatusFileNotCreated = 67;
inline constexpr unsigned kIdsStatusEfsCorrupt = 68;
inline constexpr unsigned kIdsStatusEfsOpenFailed = 69;
inline constexpr unsigned kIdsStatusEfsImportFailed = 70;
inline constexpr unsigned kIdsStatusWriteFailed = 71;
inline constexpr unsigned kIdsStatusStreamIncomplete = 72;
inline constexpr unsigned kIdsStatusStreamNotCreated = 73;
inline constexpr unsigned kIdsStatusNoData = 74;
inline constexpr unsigned kIdsStatusFolderNotCreated = 75;
inline constexpr unsigned kIdsStatusFolderSkipped = 76;
inline constexpr unsigned kIdsStatusFolderFailures = 77;
inline constexpr unsigned kIdsMsgRecordUnreadable = 78;  // (path)
inline constexpr unsigned kIdsMsgNoFileName = 79;        // (path)
inline constexpr unsigned kIdsMsgEfsCorrupt = 80;        // (path)
inline constexpr unsigned kIdsMsgEfsOpenFailed = 81;     // (path)
inline constexpr unsigned kIdsMsgEfsImportFailed = 82;   // (path)
inline constexpr unsigned kIdsMsgStreamIncomplete = 83;  // (path)
inline constexpr unsigned kIdsMsgStreamNotCreated = 84;  // (stream path)
inline constexpr unsigned kIdsMsgNoData = 85;            // (path)
// read, but not a usable record (no design number)
inline constexpr unsigned kIdsStatusRecordDamaged = 1290;

// Texts of the drive selection.
inline constexpr unsigned kIdsDriveNotNtfs = 33;     // (file system name) the drive stays
inline constexpr unsigned kIdsDriveUnreadable = 34;  // (root path)

// Texts of the indexing window.
inline constexpr unsigned kIdsIndexTimeLeft = 35;  // (duration text)
inline constexpr unsigned kIdsIndexTimeEstimating = 36;
inline constexpr unsigned kIdsIndexPercentDone = 37;  // (per cent number)
inline constexpr unsigned kIdsIndexElapsedTime = 38;  // (duration text)
inline constexpr unsigned kIdsIndexPhaseScan = 39;
inline constexpr unsigned kIdsIndexPhaseLoad = 40;
inline constexpr unsigned kIdsIndexPhaseSave = 42;

// Texts of the main window and its shared helpers.
inline constexpr unsigned kIdsStatusRecoveredRun = 7;    // (files number, size text) this run
inline constexpr unsigned kIdsStatusRecoveredTotal = 8;  // (files number, size text) in total
inline constexpr unsigned kIdsAboutText = 18;
inline constexpr unsigned kIdsNeedAdminRights = 48;
inline constexpr unsigned kIdsListEmpty = 49;
inline constexpr unsigned kIdsCloseRefused = 60;
inline constexpr unsigned kIdsTipStartSearchTitle = 100;
inline constexpr unsigned kIdsTipIndexTitleOne = 114;   // one NTFS drive known
inline constexpr unsigned kIdsTipIndexTitleMany = 115;  // several NTFS drives known
inline constexpr unsigned kIdsTipShowDeletedOnlyTitle = 116;
inline constexpr unsigned kIdsTipShowDeletedOnlyText = 117;
inline constexpr unsigned kIdsTipDeletedFilesText = 118;
inline constexpr unsigned kIdsTipDeletedFilesTitle = 119;  // also the overwritten files' title
inline constexpr unsigned kIdsTipOverwrittenFilesText = 120;
inline constexpr unsigned kIdsTipLaunchWizardTitle = 121;
inline constexpr unsigned kIdsTipLaunchWizardText = 122;
inline constexpr unsigned kIdsTipIndexText = 123;  // also the start-search hint's text
inline constexpr unsigned kIdsTipCustomizeViewTitle = 125;
inline constexpr unsigned kIdsTipCustomizeViewText = 126;
inline constexpr unsigned kIdsTabBrowse = 132;
inline constexpr unsigned kIdsFoldersPane = 133;
inline constexpr unsigned kIdsTabSearch = 146;
inline constexpr unsigned kIdsTabScan = 147;

// Captions of commands: 1000 + (command id − 0x8000), e.g. 0x800B Recover → 1011.
inline constexpr unsigned kIdsCommandBase = 1000;
constexpr unsigned CommandCaptionId(unsigned command) {
  return kIdsCommandBase + (command - 0x8000);
}
inline constexpr unsigned kIdsCmdOpenImage = 1300;  // "Open disk image…" (no design number)
inline constexpr unsigned kIdsOpenImageTitle = 1301;
inline constexpr unsigned kIdsOpenImageFilter = 1302;
inline constexpr unsigned kIdsOpenImageFailed = 1303;  // (file, reason)
inline constexpr unsigned kIdsImagesOnlyStatus = 1304;
inline constexpr unsigned kIdsLocalDisk = 1305;     // drive menu entry of a drive without label
inline constexpr unsigned kIdsNoDrives = 1306;      // Drives menu without an NTFS drive
inline constexpr unsigned kIdsAddressTitle = 1307;  // (address) shown instead of a browser as root
inline constexpr unsigned kIdsImageOpened = 1308;   // (file, drive letters) status message
// The drive tree and the drive properties.
inline constexpr unsigned kIdsDiskImagesGroup = 1320;  // tree group of the opened images
inline constexpr unsigned kIdsDrivePropTitle = 1321;   // (root path)
inline constexpr unsigned kIdsDrivePropType = 1322;
inline constexpr unsigned kIdsDrivePropLabel = 1323;
inline constexpr unsigned kIdsDrivePropFs = 1324;
inline constexpr unsigned kIdsDrivePropCapacity = 1325;
inline constexpr unsigned kIdsDrivePropFree = 1326;

// Commands of the main window (menu, toolbar and context menus); each has the caption
// CommandCaptionId(command).
inline constexpr unsigned kCmdRecoverItems = 0x8004;  // the selected list items
inline constexpr unsigned kCmdAbout = 0x8008;
inline constexpr unsigned kCmdReindex = 0x800A;  // the current drive (menu)
inline constexpr unsigned kCmdRecover = 0x800B;
inline constexpr unsigned kCmdQuickView = 0x800C;
inline constexpr unsigned kCmdProperties = 0x800D;
inline constexpr unsigned kCmdExit = 0x800E;
inline constexpr unsigned kCmdSelectAll = 0x800F;
inline constexpr unsigned kCmdInvertSelection = 0x8010;
inline constexpr unsigned kCmdViewBrowse = 0x8011;
inline constexpr unsigned kCmdViewSearch = 0x8012;
inline constexpr unsigned kCmdWizard = 0x8014;
inline constexpr unsigned kCmdOptions = 0x8015;
inline constexpr unsigned kCmdHelpContents = 0x8016;
inline constexpr unsigned kCmdOnlineHelp = 0x8017;
inline constexpr unsigned kCmdShowDeletedOnly = 0x801A;  // toolbar
inline constexpr unsigned kCmdBack = 0x803F;
inline constexpr unsigned kCmdUp = 0x8040;
inline constexpr unsigned kCmdShowDeletedOnlyMenu = 0x8042;
inline constexpr unsigned kCmdQuickViewItem = 0x8043;
inline constexpr unsigned kCmdFolderProperties = 0x804B;
inline constexpr unsigned kCmdOpenNode = 0x804C;
inline constexpr unsigned kCmdExpandNode = 0x804E;
inline constexpr unsigned kCmdRecoverFolder = 0x804F;
inline constexpr unsigned kCmdNodeProperties = 0x8050;
inline constexpr unsigned kCmdItemProperties = 0x8051;
inline constexpr unsigned kCmdReindexNode = 0x8052;
inline constexpr unsigned kCmdFoldersPane = 0x8053;
inline constexpr unsigned kCmdColumnName = 0x8066;
inline constexpr unsigned kCmdColumnSize = 0x8067;
inline constexpr unsigned kCmdColumnType = 0x8068;
inline constexpr unsigned kCmdColumnCreated = 0x8069;
inline constexpr unsigned kCmdColumnModified = 0x806A;
inline constexpr unsigned kCmdSelectAllItems = 0x8074;  // context menu
inline constexpr unsigned kCmdSelectionProperties = 0x8076;
inline constexpr unsigned kCmdReindexDrive = 0x8077;  // toolbar and context menu
inline constexpr unsigned kCmdExitSurvey = 0x8079;
inline constexpr unsigned kCmdViewScan = 0x807A;

// Menu titles.
inline constexpr unsigned kIdsMenuFile = 1900;
inline constexpr unsigned kIdsMenuEdit = 1901;
inline constexpr unsigned kIdsMenuView = 1902;
inline constexpr unsigned kIdsMenuTools = 1903;
inline constexpr unsigned kIdsMenuHelp = 1904;
inline constexpr unsigned kIdsMenuDrives = 1905;
inline constexpr unsigned kIdsMenuColumns = 1906;
inline constexpr unsigned kIdsToolbar = 1907;
inline constexpr unsigned kIdsMenuSortBy = 1908;  // the file list's menu: sort by a column

// Buttons of the rich message box beyond the standard ones.
inline constexpr unsigned kIdsButtonYesToAll = 1950;
inline constexpr unsigned kIdsButtonNoToAll = 1951;
inline constexpr unsigned kIdsButtonIgnoreAll = 1952;
inline constexpr unsigned kIdsButtonSkipAll = 1953;
inline constexpr unsigned kIdsButtonTryAgain = 1954;
inline constexpr unsigned kIdsDoNotShowAgain = 1955;
inline constexpr unsigned kIdsButtonHelp = 1956;
inline constexpr unsigned kIdsHintMoreLink = 1957;  // the help link under a hint's text
inline constexpr unsigned kIdsButtonCopy = 1958;

// About box and help viewer.
inline constexpr unsigned kIdsAboutProduct = 1960;  // product name before " v." and the version
inline constexpr unsigned kIdsAboutWebSite = 1961;  // text of the web-site link
inline constexpr unsigned kIdsAboutTitle = 1962;    // window title of the About box
inline constexpr unsigned kIdsColumnName = 1965;    // file-list headers: Name, Size, Type,
inline constexpr unsigned kIdsColumnSize = 1966;    // Date Created, Date Modified
inline constexpr unsigned kIdsColumnType = 1967;
inline constexpr unsigned kIdsColumnCreated = 1968;
inline constexpr unsigned kIdsColumnModified = 1969;
inline constexpr unsigned kIdsHelpTitle = 1970;
inline constexpr unsigned kIdsHelpMissing = 1971;  // (page) shown when a help page is absent

// Properties of a file or folder: the window title and the labels of its fields.
inline constexpr unsigned kIdsPropTitle = 1980;  // (name)
inline constexpr unsigned kIdsPropType = 1981;
inline constexpr unsigned kIdsPropLocation = 1982;
inline constexpr unsigned kIdsPropSize = 1983;
inline constexpr unsigned kIdsPropCreated = 1984;
inline constexpr unsigned kIdsPropModified = 1985;
inline constexpr unsigned kIdsPropAttributes = 1986;
inline constexpr unsigned kIdsPropOverwritten = 1987;

// Icons (kResIcon).
inline constexpr unsigned kIconFolderPlain = 203;
inline constexpr unsigned kIconFixedDrive = 204;
inline constexpr unsigned kIconFolderClosed = 205;
inline constexpr unsigned kIconGenericFile = 206;
inline constexpr unsigned kIconDeletedOverlay = 212;
inline constexpr unsigned kIconOnlineHelp = 218;
inline constexpr unsigned kIconProperties = 219;
inline constexpr unsigned kIconOptions = 220;
inline constexpr unsigned kIconExit = 221;
inline constexpr unsigned kIconSelectAll = 222;
inline constexpr unsigned kIconAbout = 223;
inline constexpr unsigned kIconFloppy = 231;
inline constexpr unsigned kIconRemovable = 232;
inline constexpr unsigned kIconOptical = 234;
inline constexpr unsigned kIconDisk = 247;
inline constexpr unsigned kIconRecover = 262;
inline constexpr unsigned kIconReindex = 265;
inline constexpr unsigned kIconFolderOpen = 267;
inline constexpr unsigned kIconQuickView = 270;
inline constexpr unsigned kIconHelp = 271;
inline constexpr unsigned kIconWizard = 308;
inline constexpr unsigned kIconFeedback = 311;
inline constexpr unsigned kIconBack = 1400;             // no design number
inline constexpr unsigned kIconUp = 1401;               // no design number
inline constexpr unsigned kIconShowDeletedOnly = 1402;  // no design number
inline constexpr unsigned kIconOpenImage = 1403;        // no design number

// Pictures, animations, sounds.
inline constexpr unsigned kImageIndexBanner = 240;
inline constexpr unsigned kAnimationIndexing = 235;
inline constexpr unsigned kSoundFolderFilled = 261;
inline constexpr unsigned kSoundDone = 264;

}  // namespace sorvani
