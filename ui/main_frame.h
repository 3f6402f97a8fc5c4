// The main window: command bar (menus), toolbar, the three views on tabs (browse, search,
// surface scan) and the status bar; it owns the closing sequence and the window's layout in the
// profile.
#pragma once

#include <QMainWindow>
#include <QPersistentModelIndex>
#include <QPointer>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/recovery_job.h"
#include "ui/browse_hints.h"
#include "ui/window_placement.h"

class QAction;
class QLabel;
class QMenu;
class QSplitter;
class QTabWidget;
class QToolBar;
class QTreeView;
class QWidget;

namespace sorvani {
class CSession;
}

namespace sorvani::ui {

class CHintBalloon;
class CDriveTreeModel;
class CFileListModel;
class CFolderFill;
class CFolderTreeModel;
struct BrowseMenuState;
class CVolumeFactsCache;

// The exit survey, offered after the window is hidden when the profile asks for feedback.
class IExitSurvey {
 public:
  virtual ~IExitSurvey() = default;
  virtual void Run(QWidget* owner) = 0;
};

// Work that keeps the program from closing. Views set these while their work runs.
struct UiActivity {
  bool searchRunning = false;
  bool scanRunning = false;
  int modalJobs = 0;  // a modal indexing or recovery dialog is open
};

class CMainFrame : public QMainWindow {
  Q_OBJECT
 public:
  // The views' tabs, in order.
  static constexpr int kBrowseTab = 0;
  static constexpr int kSearchTab = 1;
  static constexpr int kScanTab = 2;

  struct Options {
    CSession* session = nullptr;
    IExitSurvey* survey = nullptr;
    bool imagesOnly = false;  // no rights to read disks: only disk images can be opened
    QString webSite;          // vendor addresses; empty ones turn their command off
    QString onlineHelp;
  };
  explicit CMainFrame(const Options& options, QWidget* parent = nullptr);
  ~CMainFrame() override;

  QAction* Action(unsigned command) const;
  UiActivity& Activity() { return m_activity; }
  QTabWidget* Tabs() const { return m_tabs; }

  // Applies the saved placement; before the window is first shown.
  void RestorePlacement();
  // The closing sequence. False (nothing saved) while work that must not be cut runs.
  bool RequestClose();
  // A second start asked for this window.
  void Activate();
  // Opens a disk image and lists its drives; a box says why when it cannot.
  bool OpenImage(const QString& path);
  // Opens the folder `folderText` ("C:\\a\\b\\") of the current drive level by level, each level
  // matched by name and by the record of `chain` ("0;1234;": 0 for an existing folder), and
  // selects `name` in the list once it is filled. A level not found stops the walk at the
  // folder reached. False when the folder is not on the browsed drive.
  bool SelectFolderChain(const std::string& folderText, const std::string& chain,
                         const std::string& name);
  // The one-time indexing hint at the first NTFS drive's tree node (for the wizard when it ends
  // without Finish). False when it was shown before or no NTFS drive is known.
  bool ShowIndexHint();
  // Lists the current folder again as the program's own work (after it changed what the list
  // shows): no "folder filled" sound.
  void RefreshFolder();

 signals:
  // The closing sequence ended; the program ends with exit code 0.
  void closed();
  // Step 3 of the closing sequence: the search and surface-scan views write their layouts.
  void closingViews();
  // A drive of the Drives menu was chosen.
  void driveChosen(char letter);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // A command of the window: its action, which runs RunCommand(id).
  QAction* AddCommand(unsigned id, const QString& caption, unsigned icon, bool checkable);
  void CreateActions();
  void CreateMenus();
  void CreateToolBar();
  void CreateViews();
  void CreateStatusBar();
  void SecondStage();
  void RunCommand(unsigned command);
  void FillDrivesMenu();
  void ApplyColumnLayout();
  void ToggleColumn(int column);
  void SaveLayout();
  void UpdateIdle();
  void OnTabChanged(int index);
  void ShowAbout();
  void ShowHelpTopic(const QString& anchor);
  void ShowStartHints();
  void OpenAddress(const QString& address);
  void ShowFoldersPane(bool show);
  void OnTreeCurrentChanged(const QModelIndex& index);
  // Makes `node` the tree's current node, shown and drawn, without listing it.
  void SetTreeNodeQuietly(const QModelIndex& node);
  void SelectDriveNode(char letter, bool reindex);
  void ShowFolder(char letter, const std::string& path, bool remember);
  void OnListActivated(const QModelIndex& index);
  void SelectRevealedItem();
  void ToggleDeletedOnly();
  void ShowProperties();
  void ShowItemProperties(int shownRow);
  void ShowNodeProperties(const QModelIndex& node);
  void GoBack();
  void GoUp();
  void UpdateCommandStates();
  QModelIndex TreeIndexOfFolder(char letter, const std::string& path);
  void OnFillFinished(unsigned flags);
  QRect FirstDeletedRowRect() const;
  // The browse view's context menus, double clicks and selection commands
  // (main_frame_menus.cpp).
  void WireBrowseMenus();
  bool RunBrowseMenuCommand(unsigned command);
  void OnListContextMenu(const QPoint& at);
  void OnTreeContextMenu(const QPoint& at);
  void OnListDoubleClicked(const QModelIndex& index);
  BrowseMenuState ListMenuState() const;
  BrowseMenuState NodeMenuState(const QModelIndex& node) const;
  void UpdateSelectionCommands();
  void InvertListSelection();
  void SortListBy(int column);

  Options m_options;
  UiActivity m_activity;
  std::map<unsigned, QAction*> m_actions;
  QMenu* m_drivesMenu = nullptr;
  QToolBar* m_toolBar = nullptr;
  QTabWidget* m_tabs = nullptr;
  QSplitter* m_splitter = nullptr;
  QWidget* m_foldersPane = nullptr;
  QTreeView* m_folderTree = nullptr;
  QTreeView* m_fileList = nullptr;
  QLabel* m_runPane = nullptr;
  QLabel* m_totalPane = nullptr;
  ColumnLayout m_columns;
  int m_shownTab = 0;
  QString m_helpTopic = QStringLiteral("Contents");
  bool m_closed = false;
  bool m_closing = false;
  QPointer<CHintBalloon> m_hint;
  CVolumeFactsCache* m_facts = nullptr;
  CDriveTreeModel* m_drives = nullptr;
  CFolderTreeModel* m_folders = nullptr;
  CFileListModel* m_listModel = nullptr;
  CFolderFill* m_fill = nullptr;
  char m_currentDrive = 0;
  bool m_indexed = false;  // the published catalogue describes the current drive
  bool m_deletedOnly = false;
  bool m_quietTree = false;
  bool m_fillHintShown = false;  // the balloon shows a hint about the folder listed  // the tree's
                                 // current node changes without the list following
  bool m_programFill = false;    // the fill being started is the program's, not a person's
  FillTrigger m_fillTrigger = FillTrigger::kPerson;
  std::string m_currentFolder;  // "X:\a\b\" shown in the list
  std::vector<std::pair<char, std::string>> m_history;
  std::string m_revealName;   // selected in the list when the fill under way ends
  UsageTotals m_shownTotals;  // what the status panes show
  bool m_panesShown = false;
  QPersistentModelIndex m_contextNode;  // the tree node whose menu is open
};

}  // namespace sorvani::ui
