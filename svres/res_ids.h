// Numbers of the texts, icons, pictures, animations and sounds that the resource library holds.
// Both the library and the program include this one header, so a number means the same thing on
// both sides. Formatted texts name their arguments in order, in parentheses.
#pragma once

namespace sorvani {

// Kinds of the binary resources (svres_data).
inline constexpr unsigned kResIcon = 1;       // PNG
inline constexpr unsigned kResImage = 2;      // PNG
inline constexpr unsigned kResAnimation = 3;  // frame set: u32 count, u32 delay ms, (u32 size, PNG)*
inline constexpr unsigned kResSound = 4;      // WAV

// Texts of the main window and its shared helpers.
inline constexpr unsigned kIdsStatusRecoveredRun = 7;    // (files, size text) this run
inline constexpr unsigned kIdsStatusRecoveredTotal = 8;  // (files, size text) in total
inline constexpr unsigned kIdsAboutText = 18;
inline constexpr unsigned kIdsNeedAdminRights = 48;
inline constexpr unsigned kIdsListEmpty = 49;
inline constexpr unsigned kIdsCloseRefused = 60;
inline constexpr unsigned kIdsTipLaunchWizardTitle = 121;
inline constexpr unsigned kIdsTipLaunchWizardText = 122;
inline constexpr unsigned kIdsTipCustomizeViewTitle = 125;
inline constexpr unsigned kIdsTipCustomizeViewText = 126;
inline constexpr unsigned kIdsTabBrowse = 132;
inline constexpr unsigned kIdsFoldersPane = 133;
inline constexpr unsigned kIdsTabSearch = 146;
inline constexpr unsigned kIdsTabScan = 147;

// Captions of commands: 1000 + (command id − 0x8000), e.g. 0x800B Recover → 1011.
inline constexpr unsigned kIdsCommandBase = 1000;
constexpr unsigned CommandCaptionId(unsigned command) { return kIdsCommandBase + (command - 0x8000); }
inline constexpr unsigned kIdsCmdOpenImage = 1300;  // "Open disk image…" (no design number)
inline constexpr unsigned kIdsOpenImageTitle = 1301;
inline constexpr unsigned kIdsOpenImageFilter = 1302;
inline constexpr unsigned kIdsOpenImageFailed = 1303;  // (file, reason)
inline constexpr unsigned kIdsImagesOnlyStatus = 1304;
inline constexpr unsigned kIdsLocalDisk = 1305;         // drive menu entry of a drive without label
inline constexpr unsigned kIdsNoDrives = 1306;          // Drives menu without an NTFS drive
inline constexpr unsigned kIdsAddressTitle = 1307;      // (address) shown instead of a browser as root
inline constexpr unsigned kIdsImageOpened = 1308;       // (file, drive letters) status message

// Menu titles.
inline constexpr unsigned kIdsMenuFile = 1900;
inline constexpr unsigned kIdsMenuEdit = 1901;
inline constexpr unsigned kIdsMenuView = 1902;
inline constexpr unsigned kIdsMenuTools = 1903;
inline constexpr unsigned kIdsMenuHelp = 1904;
inline constexpr unsigned kIdsMenuDrives = 1905;
inline constexpr unsigned kIdsMenuColumns = 1906;
inline constexpr unsigned kIdsToolbar = 1907;

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
inline constexpr unsigned kIdsColumnName = 1965;  // file-list headers: Name, Size, Type,
inline constexpr unsigned kIdsColumnSize = 1966;  // Date Created, Date Modified
inline constexpr unsigned kIdsColumnType = 1967;
inline constexpr unsigned kIdsColumnCreated = 1968;
inline constexpr unsigned kIdsColumnModified = 1969;
inline constexpr unsigned kIdsHelpTitle = 1970;
inline constexpr unsigned kIdsHelpMissing = 1971;  // (page) shown when a help page is absent

// Icons (kResIcon).
inline constexpr unsigned kIconFolder = 203;
inline constexpr unsigned kIconFixedDrive = 204;
inline constexpr unsigned kIconFolderClosed = 205;
inline constexpr unsigned kIconFile = 206;
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
inline constexpr unsigned kIconBack = 1400;            // no design number
inline constexpr unsigned kIconUp = 1401;              // no design number
inline constexpr unsigned kIconShowDeletedOnly = 1402;  // no design number
inline constexpr unsigned kIconOpenImage = 1403;        // no design number

// Pictures, animations, sounds.
inline constexpr unsigned kImageIndexBanner = 240;
inline constexpr unsigned kAnimationIndexing = 235;
inline constexpr unsigned kSoundFolderFilled = 261;
inline constexpr unsigned kSoundDone = 264;

}  // namespace sorvani
