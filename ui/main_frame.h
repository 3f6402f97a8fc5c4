// The main window: command bar (menus), toolbar, the three views on tabs (browse, search,
// surface scan) and the status bar; it owns the closing sequence and the window's layout in the
// profile.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <map>

#include "app/recovery_job.h"
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
  UsageTotals m_shownTotals;  // what the status panes show
  bool m_panesShown = false;
};

}  // namespace sorvani::ui
