#include "ui/main_frame.h"

#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include "app/session.h"
#include "foundation/display_format.h"
#include "foundation/log.h"
#include "foundation/profile.h"
#include "index/index_cache.h"
#include "ui/about_dlg.h"
#include "ui/commands.h"
#include "ui/custom_list_view.h"
#include "ui/drive_tree_model.h"
#include "ui/file_list_model.h"
#include "ui/folder_fill.h"
#include "ui/folder_tree_model.h"
#include "ui/help_viewer.h"
#include "ui/hint_balloon.h"
#include "ui/resources.h"
#include "ui/volume_facts_cache.h"

namespace sorvani::ui {

namespace {

QString Caption(unsigned command) { return ResString(CommandCaption(command)); }

}  // namespace

CMainFrame::CMainFrame(const Options& options, QWidget* parent)
    : QMainWindow(parent), m_options(options) {
  ScopeTrace trace(1, "CMainFrame::OnCreate");
  // No catalogue cache outlives the run that wrote it; within the run, a drive indexed once
  // opens again from its cache.
  SetCacheSavingAllowed(true);
  CleanUpCache(0);
  setObjectName(QStringLiteral("MainFrame"));
  setWindowTitle(ResString(kIdsCaption));
  setWindowIcon(ResIcon(kIconFixedDrive));
  CreateActions();
  CreateMenus();
  CreateToolBar();
  CreateViews();
  WireBrowseMenus();
  CreateStatusBar();
  m_columns = LoadColumnLayout(Profile());
  ApplyColumnLayout();
  ShowFoldersPane(Profile().GetInt("LayoutMain", "ShowFoldersPane", 1) != 0);
  resize(1024, 680);

  // Command states and the status panes are refreshed whenever the event loop is about to wait,
  // as the design's idle pass; they only touch a widget when its state changes, so this never
  // keeps the loop busy.
  connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
          &CMainFrame::UpdateIdle);
  QTimer::singleShot(0, this, &CMainFrame::SecondStage);
}

CMainFrame::~CMainFrame() { CleanUpCache(0); }

QAction* CMainFrame::Action(unsigned command) const {
  auto it = m_actions.find(command);
  return it == m_actions.end() ? nullptr : it->second;
}

QAction* CMainFrame::AddCommand(unsigned id, const QString& caption, unsigned icon,
                                bool checkable) {
  auto* action = new QAction(caption, this);
  action->setObjectName(QStringLiteral("cmd_%1").arg(id, 4, 16, QLatin1Char('0')));
  action->setData(id);
  if (icon != 0) action->setIcon(ResIcon(icon));
  action->setCheckable(checkable);
  connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
  m_actions[id] = action;
  return action;
}

void CMainFrame::CreateActions() {
  for (const CommandInfo& info : MainCommands())
    AddCommand(info.id, Caption(info.id), info.icon, info.checkable);
  Action(kCmdOpenImage)->setShortcut(QKeySequence::Open);
  Action(kCmdExit)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  Action(kCmdSelectAll)->setShortcut(QKeySequence::SelectAll);
  Action(kCmdBack)->setShortcut(QKeySequence::Back);
  Action(kCmdReindex)->setShortcut(QKeySequence::Refresh);
  Action(kCmdProperties)->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Return));
  // Each later window takes over its commands; until then they stay off.
  for (unsigned id :
       {kCmdRecover, kCmdQuickView, kCmdProperties, kCmdSelectAll, kCmdInvertSelection, kCmdBack,
        kCmdUp, kCmdReindex, kCmdShowDeletedOnly, kCmdWizard, kCmdOptions})
    Action(id)->setEnabled(false);
  Action(kCmdOnlineHelp)->setEnabled(!m_options.onlineHelp.isEmpty());
  Action(kCmdExitSurvey)->setEnabled(m_options.survey != nullptr);
}

void CMainFrame::CreateMenus() {
  QMenu* file = menuBar()->addMenu(ResString(kIdsMenuFile));
  file->addAction(Action(kCmdOpenImage));
  m_drivesMenu = file->addMenu(ResIcon(kIconFixedDrive), ResString(kIdsMenuDrives));
  m_drivesMenu->setObjectName(QStringLiteral("DrivesMenu"));
  connect(m_drivesMenu, &QMenu::aboutToShow, this, &CMainFrame::FillDrivesMenu);
  file->addSeparator();
  file->addAction(Action(kCmdExit));

  QMenu* edit = menuBar()->addMenu(ResString(kIdsMenuEdit));
  edit->addAction(Action(kCmdSelectAll));
  edit->addAction(Action(kCmdInvertSelection));

  QMenu* view = menuBar()->addMenu(ResString(kIdsMenuView));
  for (unsigned id : {kCmdViewBrowse, kCmdViewSearch, kCmdViewScan}) view->addAction(Action(id));
  view->addSeparator();
  view->addAction(Action(kCmdFoldersPane));
  view->addAction(Action(kCmdShowDeletedOnly));
  QMenu* columns = view->addMenu(ResString(kIdsMenuColumns));
  for (unsigned id = kCmdColumnFirst; id <= kCmdColumnLast; ++id) columns->addAction(Action(id));
  view->addSeparator();
  for (unsigned id : {kCmdBack, kCmdUp, kCmdReindex}) view->addAction(Action(id));

  QMenu* tools = menuBar()->addMenu(ResString(kIdsMenuTools));
  for (unsigned id : {kCmdRecover, kCmdQuickView, kCmdProperties}) tools->addAction(Action(id));
  tools->addSeparator();
  tools->addAction(Action(kCmdWizard));
  tools->addAction(Action(kCmdOptions));

  QMenu* help = menuBar()->addMenu(ResString(kIdsMenuHelp));
  help->addAction(Action(kCmdHelpContents));
  help->addAction(Action(kCmdOnlineHelp));
  help->addSeparator();
  help->addAction(Action(kCmdExitSurvey));
  help->addAction(Action(kCmdAbout));
}

void CMainFrame::CreateToolBar() {
  m_toolBar = addToolBar(ResString(kIdsToolbar));
  m_toolBar->setObjectName(QStringLiteral("MainToolBar"));
  m_toolBar->setMovable(false);
  m_toolBar->setIconSize(QSize(24, 24));
  m_toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  for (unsigned id : {kCmdBack, kCmdUp, kCmdReindex}) m_toolBar->addAction(Action(id));
  m_toolBar->addSeparator();
  for (unsigned id : {kCmdRecover, kCmdQuickView, kCmdProperties}) m_toolBar->addAction(Action(id));
  m_toolBar->addSeparator();
  m_toolBar->addAction(Action(kCmdShowDeletedOnly));
  m_toolBar->addAction(Action(kCmdWizard));
  m_toolBar->addSeparator();
  m_toolBar->addAction(Action(kCmdOptions));
  m_toolBar->addAction(Action(kCmdHelpContents));
}

void CMainFrame::CreateViews() {
  m_tabs = new QTabWidget(this);
  m_tabs->setObjectName(QStringLiteral("Views"));
  m_tabs->setDocumentMode(true);

  // Browse: the folder pane (title and close button over the tree) beside the file list.
  m_splitter = new QSplitter(Qt::Horizontal);
  m_splitter->setObjectName(QStringLiteral("BrowseSplitter"));
  m_splitter->setChildrenCollapsible(false);
  m_foldersPane = new QWidget;
  m_foldersPane->setObjectName(QStringLiteral("FoldersPane"));
  auto* paneLayout = new QVBoxLayout(m_foldersPane);
  paneLayout->setContentsMargins(0, 0, 0, 0);
  paneLayout->setSpacing(0);
  auto* titleRow = new QHBoxLayout;
  titleRow->setContentsMargins(6, 2, 2, 2);
  auto* title = new QLabel(ResString(kIdsFoldersPane));
  auto* hide = new QToolButton;
  hide->setObjectName(QStringLiteral("FoldersPaneClose"));
  hide->setAutoRaise(true);
  hide->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
  hide->setToolTip(Caption(kCmdFoldersPane));
  connect(hide, &QToolButton::clicked, this, [this] { ShowFoldersPane(false); });
  titleRow->addWidget(title, 1);
  titleRow->addWidget(hide);
  paneLayout->addLayout(titleRow);
  m_folderTree = new QTreeView;
  m_folderTree->setObjectName(QStringLiteral("FolderTree"));
  m_folderTree->setHeaderHidden(true);
  m_folderTree->setUniformRowHeights(true);
  // Long folder names scroll sideways rather than being cut.
  m_folderTree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  m_folderTree->header()->setStretchLastSection(false);
  m_facts = new CVolumeFactsCache(this);
  m_drives = new CDriveTreeModel(m_facts, this);
  m_folders = new CFolderTreeModel(this);
  m_folderTree->setItemDelegate(new CFolderTreeDelegate(m_folderTree));
  m_folderTree->setModel(m_drives);
  if (m_options.session) m_drives->Rebuild(m_options.session->Tables());
  m_drives->ExpandGroups(m_folderTree);
  connect(m_folderTree->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) { OnTreeCurrentChanged(current); });
  paneLayout->addWidget(m_folderTree, 1);

  auto* list = new CCustomListView;
  list->setObjectName(QStringLiteral("FileList"));
  m_listModel = new CFileListModel(list);
  list->setModel(m_listModel);
  list->SetEmptyText(CFolderFill::IdleText());
  list->header()->setSectionsMovable(true);
  m_listModel->AttachHeader(list->header());
  // The header's own menu shows and hides columns, as View > Columns does.
  list->header()->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(list->header(), &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    QMenu menu(this);
    for (unsigned id = kCmdColumnFirst; id <= kCmdColumnLast; ++id) menu.addAction(Action(id));
    menu.exec(m_fileList->header()->mapToGlobal(at));
  });
  connect(list, &QAbstractItemView::activated, this, &CMainFrame::OnListActivated);
  connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { UpdateCommandStates(); });
  m_fill = new CFolderFill(m_listModel, list, this);
  connect(m_fill, &CFolderFill::fillFinished, this, [this](unsigned) { UpdateCommandStates(); });
  connect(m_fill, &CFolderFill::fillFinished, this, [this](unsigned) { SelectRevealedItem(); });
  connect(m_fill, &CFolderFill::fillFinished, this, &CMainFrame::OnFillFinished);
  m_fileList = list;

  m_splitter->addWidget(m_foldersPane);
  m_splitter->addWidget(m_fileList);
  m_splitter->setStretchFactor(1, 1);

  m_tabs->addTab(m_splitter, ResIcon(kIconFolderOpen), ResString(kIdsTabBrowse));
  auto* search = new QWidget;
  search->setObjectName(QStringLiteral("SearchView"));
  m_tabs->addTab(search, ResIcon(kIconFolderPlain), ResString(kIdsTabSearch));
  auto* scan = new QWidget;
  scan->setObjectName(QStringLiteral("ScanView"));
  m_tabs->addTab(scan, ResIcon(kIconFixedDrive), ResString(kIdsTabScan));
  connect(m_tabs, &QTabWidget::currentChanged, this, &CMainFrame::OnTabChanged);
  setCentralWidget(m_tabs);

  auto* help = new QShortcut(QKeySequence::HelpContents, this);
  help->setContext(Qt::WindowShortcut);
  connect(help, &QShortcut::activated, this, [this] { ShowHelpTopic(m_helpTopic); });
}

void CMainFrame::CreateStatusBar() {
  m_runPane = new QLabel;
  m_runPane->setObjectName(QStringLiteral("RunTotalsPane"));
  m_totalPane = new QLabel;
  m_totalPane->setObjectName(QStringLiteral("LifetimeTotalsPane"));
  statusBar()->addWidget(m_runPane);
  statusBar()->addWidget(m_totalPane);
  if (m_options.imagesOnly) {
    auto* note = new QLabel(ResString(kIdsImagesOnlyStatus));
    note->setObjectName(QStringLiteral("ImagesOnlyPane"));
    statusBar()->addPermanentWidget(note);
  }
  UpdateIdle();
}

void CMainFrame::SecondStage() {
  ScopeTrace trace(1, "CMainFrame::OnSecondStage");
  const int splitter = Profile().GetInt("LayoutMain", "SplitterPos", 200);
  const int left = FoldersPaneWidth(splitter, width());
  m_splitter->setSizes({left, std::max(width() - left, 100)});
  UpdateIdle();
  // The wizard comes with its own window; until a person turns it off at start, it is what
  // the start offers, and the hints wait for a start without it.
  if (Profile().GetInt("Wizard", "ShowOnStartUp", 1) == 0) ShowStartHints();
  Profile().Save();
}

void CMainFrame::RestorePlacement() {
  std::vector<std::uint8_t> raw;
  if (!Profile().GetBinary("LayoutMain", "WindowPos", raw)) return;
  const std::optional<WindowPlacement> placement = DecodePlacement(raw);
  if (!placement) return;
  QList<QRect> screens;
  for (const QScreen* screen : QGuiApplication::screens()) screens << screen->availableGeometry();
  if (PlacementOnScreen(placement->normal, screens)) setGeometry(placement->normal);
  // A window closed minimised comes back as it was before, never minimised.
  if (placement->showCommand == kShowMaximized) setWindowState(windowState() | Qt::WindowMaximized);
}

void CMainFrame::ApplyColumnLayout() {
  QHeaderView* header = m_fileList->header();
  for (int c = 0; c < kColumnCount; ++c) {
    header->setSectionHidden(c, !m_columns.Visible(c));
    header->resizeSection(c, m_columns.widths[c]);
    Action(kCmdColumnFirst + c)->setChecked(m_columns.Visible(c));
  }
  if (m_columns.orderRead) {
    for (int position = 0; position < static_cast<int>(m_columns.order.size()); ++position) {
      const int from = header->visualIndex(m_columns.order[position]);
      // Hidden columns keep their places after the visible ones.
      if (from != position) header->moveSection(from, position);
    }
  }
  const Qt::SortOrder order = m_columns.sortDescending ? Qt::DescendingOrder : Qt::AscendingOrder;
  m_listModel->SetSortOrder(m_columns.sortingColumn, order);
  // The header's arrow drives the model; both must start where the profile left them.
  header->setSortIndicator(m_columns.sortingColumn, order);
}

void CMainFrame::ToggleColumn(int column) {
  const unsigned bit = 1u << column;
  // The last visible column stays: a list without columns cannot be brought back by clicking.
  if ((m_columns.map & ~bit) == 0) {
    Action(kCmdColumnFirst + column)->setChecked(true);
    return;
  }
  m_columns.map ^= bit;
  QHeaderView* header = m_fileList->header();
  // A hidden section reports no size; its width is kept for the next start from here.
  if (!m_columns.Visible(column) && header->sectionSize(column) > 0)
    m_columns.widths[column] = header->sectionSize(column);
  header->setSectionHidden(column, !m_columns.Visible(column));
  // A column shown again gets the design's literal header text.
  static const char* const kLiteralHeaders[kColumnCount] = {"Name", "Size", "Type", "Date Created",
                                                            "Date Modified"};
  if (m_columns.Visible(column))
    m_fileList->model()->setHeaderData(column, Qt::Horizontal,
                                       QString::fromLatin1(kLiteralHeaders[column]));
}

void CMainFrame::SaveLayout() {
  CXMLProfile& profile = Profile();
  WindowPlacement placement;
  placement.showCommand = isMaximized()   ? kShowMaximized
                          : isMinimized() ? kShowMinimized
                                          : kShowNormal;
  placement.normal = normalGeometry().isValid() ? normalGeometry() : geometry();
  const auto record = EncodePlacement(placement);
  profile.SetBinary("LayoutMain", "WindowPos", record.data(), record.size());
  profile.SetInt("LayoutMain", "ShowFoldersPane", m_foldersPane->isVisibleTo(this) ? 1 : 0);
  const QList<int> sizes = m_splitter->sizes();
  if (m_foldersPane->isVisibleTo(this) && !sizes.isEmpty() && sizes.front() > 0)
    profile.SetInt("LayoutMain", "SplitterPos", sizes.front());

  // The header as the person left it: visible columns in display order, widths of the shown ones.
  QHeaderView* header = m_fileList->header();
  m_columns.order.clear();
  for (int visual = 0; visual < kColumnCount; ++visual) {
    const int logical = header->logicalIndex(visual);
    if (m_columns.Visible(logical)) m_columns.order.push_back(logical);
  }
  for (int c = 0; c < kColumnCount; ++c)
    if (m_columns.Visible(c) && header->sectionSize(c) > 0)
      m_columns.widths[c] = header->sectionSize(c);
  m_columns.sortingColumn = m_listModel->SortColumn();
  if (m_columns.sortingColumn < 0 || m_columns.sortingColumn >= kColumnCount)
    m_columns.sortingColumn = 0;
  m_columns.sortDescending = m_listModel->SortOrder() == Qt::DescendingOrder;
  StoreColumnLayout(profile, m_columns);
  StoreUsageTotals();
}

bool CMainFrame::RequestClose() {
  ScopeTrace trace(1, "CMainFrame::OnClose");
  if (m_closed || m_closing) return m_closed;
  if (m_activity.modalJobs > 0) {
    // A modal indexing or recovery dialog runs a worker that writes into this window's state;
    // closing now would pull the window from under it.
    LogFile.Write(0, "Close request refused: an indexing or recovery dialog is open.\n");
    return false;
  }
  if (m_activity.searchRunning || m_activity.scanRunning) {
    auto* box = new QMessageBox(QMessageBox::Warning, ResString(kIdsCaption),
                                ResString(kIdsCloseRefused), QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("CloseRefusedBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return false;
  }
  m_closing = true;
  SaveLayout();
  emit closingViews();
  Profile().Save();
  hide();
  if (Profile().GetInt("UsageStatistics", "RequestFeedback", 1) != 0 && m_options.survey) {
    QWidget* owner = QApplication::activeWindow();
    m_options.survey->Run(owner ? owner : nullptr);
  }
  m_closed = true;
  emit closed();
  return true;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (m_closed) {
    event->accept();
    return;
  }
  event->ignore();
  RequestClose();
}

void CMainFrame::Activate() {
  LogFile.Write(0, "A second start asked for the running window.\n");
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
  // Desktops that refuse to move focus still mark the window as wanting attention.
  QApplication::alert(this);
}

bool CMainFrame::OpenImage(const QString& path) {
  std::string error;
  const std::vector<char> letters =
      m_drives->OpenImage(*m_options.session, path.toStdString(), error);
  if (letters.empty()) {
    auto* box = new QMessageBox(QMessageBox::Information, ResString(kIdsCaption),
                                ResFormat(kIdsOpenImageFailed, path.toStdString(), error),
                                QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("OpenImageFailedBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return false;
  }
  std::string text;
  for (char letter : letters) {
    if (!text.empty()) text += ", ";
    text += letter;
    text += ':';
  }
  statusBar()->showMessage(ResFormat(kIdsImageOpened, path.toStdString(), text), 10000);
  m_drives->ExpandGroups(m_folderTree);
  m_folderTree->setCurrentIndex(m_drives->DriveIndex(letters.front()));
  return true;
}

void CMainFrame::FillDrivesMenu() {
  m_drivesMenu->clear();
  if (!m_options.session) return;
  // The drives the browse view can open: the tree's own set, in its words.
  const LogicalDiskTable& disks = m_options.session->Tables().logicalDisks;
  for (char letter : m_drives->NtfsLetters()) {
    auto disk = disks.find(letter);
    if (disk == disks.end()) continue;
    QAction* entry =
        m_drivesMenu->addAction(ResIcon(kIconFixedDrive), DriveNodeText(letter, disk->second));
    const char chosen = letter;
    connect(entry, &QAction::triggered, this, [this, chosen] {
      m_tabs->setCurrentIndex(kBrowseTab);
      m_folderTree->setCurrentIndex(m_drives->DriveIndex(chosen));
      emit driveChosen(chosen);
    });
  }
  if (m_drivesMenu->isEmpty()) m_drivesMenu->addAction(ResString(kIdsNoDrives))->setEnabled(false);
}

void CMainFrame::RunCommand(unsigned command) {
  if (RunBrowseMenuCommand(command)) return;
  switch (command) {
    case kCmdExit:
      // Posted, as the design's own close request, so the menu is gone before the sequence runs.
      QTimer::singleShot(0, this, [this] { RequestClose(); });
      break;
    case kCmdAbout:
      ShowAbout();
      break;
    case kCmdHelpContents:
      ShowHelpTopic(QStringLiteral("Contents"));
      break;
    case kCmdOnlineHelp:
      OpenAddress(m_options.onlineHelp);
      break;
    case kCmdExitSurvey:
      if (m_options.survey) m_options.survey->Run(this);
      break;
    case kCmdViewBrowse:
      m_tabs->setCurrentIndex(kBrowseTab);
      break;
    case kCmdViewSearch:
      m_tabs->setCurrentIndex(kSearchTab);
      break;
    case kCmdViewScan:
      m_tabs->setCurrentIndex(kScanTab);
      break;
    case kCmdShowDeletedOnly:
    case kCmdShowDeletedOnlyMenu:
      ToggleDeletedOnly();
      break;
    case kCmdBack:
      GoBack();
      break;
    case kCmdUp:
      GoUp();
      break;
    case kCmdReindex:
    case kCmdReindexDrive:
      if (m_currentDrive) SelectDriveNode(m_currentDrive, true);
      break;
    case kCmdProperties:
    case kCmdNodeProperties:
      ShowProperties();
      break;
    case kCmdFoldersPane:
      ShowFoldersPane(Action(kCmdFoldersPane)->isChecked());
      break;
    case kCmdOpenImage: {
      QFileDialog::Options options;
      // The desktop's portal dialogs do not serve a program running as root.
      if (geteuid() == 0) options |= QFileDialog::DontUseNativeDialog;
      const QString path =
          QFileDialog::getOpenFileName(this, ResString(kIdsOpenImageTitle), QString(),
                                       ResString(kIdsOpenImageFilter), nullptr, options);
      if (!path.isEmpty()) OpenImage(path);
      break;
    }
    default:
      if (command >= kCmdColumnFirst && command <= kCmdColumnLast)
        ToggleColumn(static_cast<int>(command - kCmdColumnFirst));
      break;
  }
}

void CMainFrame::ShowFoldersPane(bool show) {
  m_foldersPane->setVisible(show);
  Action(kCmdFoldersPane)->setChecked(show);
}

void CMainFrame::OnTabChanged(int index) {
  if (index == m_shownTab) return;
  if (m_activity.searchRunning) {
    // A running search keeps its view in front.
    QApplication::beep();
    const QSignalBlocker block(m_tabs);
    m_tabs->setCurrentIndex(m_shownTab);
    return;
  }
  m_shownTab = index;
}

void CMainFrame::UpdateIdle() {
  if (!m_runPane) return;
  const UsageTotals totals = CurrentUsageTotals();
  // The loop waits often; the texts are made again only when the totals moved.
  if (m_panesShown && totals.filesThisRun == m_shownTotals.filesThisRun &&
      totals.bytesThisRun == m_shownTotals.bytesThisRun &&
      totals.filesInTotal == m_shownTotals.filesInTotal &&
      totals.bytesInTotal == m_shownTotals.bytesInTotal)
    return;
  m_shownTotals = totals;
  m_panesShown = true;
  const QString run = ResFormat(kIdsStatusRecoveredRun, totals.filesThisRun,
                                FormatSize(totals.bytesThisRun, false));
  const QString total = ResFormat(kIdsStatusRecoveredTotal, totals.filesInTotal,
                                  FormatSize(totals.bytesInTotal, false));
  for (auto [pane, text] : {std::pair{m_runPane, run}, std::pair{m_totalPane, total}}) {
    if (pane->text() == text) continue;
    pane->setText(text);
    pane->setFixedWidth(pane->fontMetrics().horizontalAdvance(text) + 10);
  }
}

void CMainFrame::ShowAbout() {
  CAboutDlg about(m_options.webSite, this);
  about.exec();
}

void CMainFrame::ShowHelpTopic(const QString& anchor) { ShowHelp(this, kHelpPage, anchor); }

void CMainFrame::ShowStartHints() {
  if (!m_hint) m_hint = new CHintBalloon(this);
  QWidget* wizardButton = m_toolBar->widgetForAction(Action(kCmdWizard));
  const QRect wizardRect(wizardButton->mapToGlobal(QPoint(0, 0)), wizardButton->size());
  if (ShowOneTimeHint(*m_hint, Profile(), "TipLaunchWizard", wizardRect, kIdsTipLaunchWizardTitle,
                      kIdsTipLaunchWizardText, QStringLiteral("Wizard")))
    return;
  QWidget* header = m_fileList->header();
  const QRect headerRect(header->mapToGlobal(QPoint(0, 0)), header->size());
  ShowOneTimeHint(*m_hint, Profile(), "TipCustomizeView", headerRect, kIdsTipCustomizeViewTitle,
                  kIdsTipCustomizeViewText, QStringLiteral("ViewingDeletedData"));
}

void CMainFrame::OpenAddress(const QString& address) {
  if (address.isEmpty()) return;
  if (geteuid() != 0) {
    QDesktopServices::openUrl(QUrl(address));
    return;
  }
  // A browser started as root is unsafe and usually fails; give the address to copy instead.
  QMessageBox box(QMessageBox::Information, ResString(kIdsCaption),
                  ResFormat(kIdsAddressTitle, address.toStdString()), QMessageBox::Close, this);
  QAbstractButton* copy = box.addButton(ResString(kIdsButtonCopy), QMessageBox::ActionRole);
  box.exec();
  if (box.clickedButton() == copy) QApplication::clipboard()->setText(address);
}

}  // namespace sorvani::ui
