// The main window's shell: what it shows, what it saves when it closes and when it refuses to,
// and how a saved layout (or a hand-edited one) comes back.

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QHeaderView>
#include <QLabel>
#include <QLocalServer>
#include <QMessageBox>
#include <QScreen>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <memory>

#include "app/recovery_job.h"
#include "app/resource_library.h"
#include "app/session.h"
#include "foundation/display_format.h"
#include "foundation/profile.h"
#include "ui/commands.h"
#include "ui/instance_channel.h"
#include "ui/main_frame.h"
#include "ui/resources.h"

using namespace sorvani;
using namespace sorvani::ui;

namespace {

class CRecordingSurvey : public IExitSurvey {
 public:
  explicit CRecordingSurvey(QWidget*& frame) : m_frame(frame) {}
  void Run(QWidget*) override {
    ++calls;
    frameVisibleWhenRun = m_frame && m_frame->isVisible();
  }
  int calls = 0;
  bool frameVisibleWhenRun = true;

 private:
  QWidget*& m_frame;
};

std::vector<std::uint8_t> Le32Array(std::initializer_list<std::int32_t> values) {
  std::vector<std::uint8_t> out;
  for (std::int32_t v : values)
    for (int i = 0; i < 4; ++i)
      out.push_back(static_cast<std::uint8_t>(std::uint32_t(v) >> (8 * i)));
  return out;
}

}  // namespace

class TestMainShell : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir m_dir;
  QString m_profilePath;
  CSession m_session;
  QWidget* m_current = nullptr;

  std::unique_ptr<CMainFrame> MakeFrame(IExitSurvey* survey = nullptr) {
    CMainFrame::Options options;
    options.session = &m_session;
    options.survey = survey;
    auto frame = std::make_unique<CMainFrame>(options);
    m_current = frame.get();
    return frame;
  }

  // A fresh profile on disk with `xml` as its content (empty: no file).
  void ResetProfile(const QByteArray& xml = {}) {
    QFile::remove(m_profilePath);
    if (!xml.isEmpty()) {
      QFile file(m_profilePath);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write(xml);
    }
    Profile().SetPath(m_profilePath.toStdString());
    QVERIFY(Profile().Load());
  }

  // Runs the event loop until it has waited once, as the program's own loop does between events.
  static void WaitIdle() {
    QEventLoop loop;
    QTimer::singleShot(100, &loop, &QEventLoop::quit);
    loop.exec();
  }

  QByteArray ProfileBytes() {
    QFile file(m_profilePath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

 private slots:
  void initTestCase() {
    QVERIFY(m_dir.isValid());
    m_profilePath = m_dir.filePath("Profile.xml");
    std::string error;
    QVERIFY2(ResourceLibrary().Load(SORVANI_UI_BIN_DIR "/libsvres.so", error), error.c_str());
  }

  void init() { ResetProfile(); }

  void showsTitleCommandsTabsAndStatus() {
    auto frame = MakeFrame();
    frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
    QCOMPARE(frame->windowTitle(), ResString(kIdsCaption));
    QVERIFY(frame->windowTitle() != QString::fromLatin1(kResourceNotAvailable));

    // Every command has a worded caption and every toolbar button an icon.
    for (const CommandInfo& info : MainCommands()) {
      QAction* action = frame->Action(info.id);
      QVERIFY(action);
      QVERIFY2(!action->text().isEmpty() && action->text() != kResourceNotAvailable,
               qPrintable(QString::number(info.id, 16)));
    }
    auto* toolBar = frame->findChild<QToolBar*>("MainToolBar");
    QVERIFY(toolBar);
    int buttons = 0;
    for (QAction* action : toolBar->actions()) {
      if (action->isSeparator()) continue;
      ++buttons;
      QVERIFY(FindCommand(action->data().toUInt()));
      QVERIFY2(!action->icon().isNull(), qPrintable(action->text()));
    }
    QVERIFY(buttons >= 8);

    QTabWidget* tabs = frame->Tabs();
    QCOMPARE(tabs->count(), 3);
    QCOMPARE(tabs->tabText(0), ResString(kIdsTabBrowse));
    QCOMPARE(tabs->tabText(1), ResString(kIdsTabSearch));
    QCOMPARE(tabs->tabText(2), ResString(kIdsTabScan));

    // The status panes follow the usage totals on the next idle pass, without being told.
    AddUsageStatistics(3, 5u << 20);
    const UsageTotals totals = CurrentUsageTotals();
    WaitIdle();
    auto* runPane = frame->findChild<QLabel*>("RunTotalsPane");
    auto* totalPane = frame->findChild<QLabel*>("LifetimeTotalsPane");
    QCOMPARE(runPane->text(), ResFormat(kIdsStatusRecoveredRun, totals.filesThisRun,
                                        FormatSize(totals.bytesThisRun, false)));
    QCOMPARE(totalPane->text(), ResFormat(kIdsStatusRecoveredTotal, totals.filesInTotal,
                                          FormatSize(totals.bytesInTotal, false)));
    QVERIFY(runPane->text().contains("5"));
    QVERIFY(runPane->width() >= runPane->fontMetrics().horizontalAdvance(runPane->text()));
  }

  void closeIsRefusedWhileWorkRuns_data() {
    QTest::addColumn<int>("kind");
    QTest::newRow("search") << 0;
    QTest::newRow("surface scan") << 1;
    QTest::newRow("modal dialog") << 2;
  }
  void closeIsRefusedWhileWorkRuns() {
    QFETCH(int, kind);
    QWidget* seen = nullptr;
    CRecordingSurvey survey(seen);
    auto frame = MakeFrame(&survey);
    seen = frame.get();
    frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
    WaitIdle();  // the start-up's own save is done
    const QByteArray before = ProfileBytes();
    QVERIFY(!before.isEmpty());
    QSignalSpy closed(frame.get(), &CMainFrame::closed);
    UiActivity& activity = frame->Activity();
    if (kind == 0) activity.searchRunning = true;
    if (kind == 1) activity.scanRunning = true;
    if (kind == 2) activity.modalJobs = 1;

    QVERIFY(!frame->RequestClose());
    QVERIFY(!frame->close());  // the window's own close button goes the same way
    QVERIFY(frame->isVisible());
    QCOMPARE(closed.count(), 0);
    QCOMPARE(survey.calls, 0);
    QCOMPARE(ProfileBytes(), before);  // nothing saved
    auto* box = frame->findChild<QMessageBox*>("CloseRefusedBox");
    if (kind == 2) {
      QVERIFY(!box);
    } else {
      QVERIFY(box && box->isVisible());
      QCOMPARE(box->text(), ResString(kIdsCloseRefused));
    }

    // Once the work ends the same request closes.
    activity = UiActivity{};
    QVERIFY(frame->RequestClose());
    QCOMPARE(closed.count(), 1);
  }

  void closeSavesLayoutThenOffersTheSurvey_data() {
    QTest::addColumn<int>("requestFeedback");
    QTest::newRow("feedback asked") << 1;
    QTest::newRow("feedback off") << 0;
  }
  void closeSavesLayoutThenOffersTheSurvey() {
    QFETCH(int, requestFeedback);
    Profile().SetInt("UsageStatistics", "RequestFeedback", requestFeedback);
    QWidget* seen = nullptr;
    CRecordingSurvey survey(seen);
    auto frame = MakeFrame(&survey);
    seen = frame.get();
    frame->setGeometry(60, 70, 820, 540);
    frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
    const QRect shown = frame->normalGeometry();
    QSignalSpy closed(frame.get(), &CMainFrame::closed);

    QVERIFY(frame->RequestClose());
    QCOMPARE(closed.count(), 1);
    QVERIFY(!frame->isVisible());
    QCOMPARE(survey.calls, requestFeedback ? 1 : 0);
    if (requestFeedback) QVERIFY2(!survey.frameVisibleWhenRun, "survey before the window hid");
    frame->RequestClose();  // a second request after the end does nothing more
    QCOMPARE(closed.count(), 1);
    QCOMPARE(survey.calls, requestFeedback ? 1 : 0);

    // What was saved is on disk, not only in memory.
    CXMLProfile reread;
    reread.SetPath(m_profilePath.toStdString());
    QVERIFY(reread.Load());
    std::vector<std::uint8_t> raw;
    QVERIFY(reread.GetBinary("LayoutMain", "WindowPos", raw));
    QCOMPARE(raw.size(), kPlacementSize);
    const auto placement = DecodePlacement(raw);
    QVERIFY(placement);
    QCOMPARE(placement->normal, shown);
    QCOMPARE(placement->showCommand, kShowNormal);
    QCOMPARE(reread.GetInt("LayoutMain", "ColumnMap", -1), 0x1F);
    QCOMPARE(reread.GetInt("LayoutMain", "ShowFoldersPane", -1), 1);
    QVERIFY(reread.GetInt("UsageStatistics", "FilesRecoveredInTotal", -1) >= 0);
    raw.clear();
    QVERIFY(reread.GetBinary("UsageStatistics", "AmountRecoveredInTotal", raw));
    QCOMPARE(raw.size(), std::size_t(8));
  }

  void layoutComesBackAfterARestart() {
    {
      auto frame = MakeFrame();
      frame->resize(700, 450);
      frame->show();
      QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
      frame->Action(kCmdColumnFirst + 1)->trigger();  // hide "Size"
      frame->Action(kCmdFoldersPane)->trigger();      // hide the folder pane
      auto* list = frame->findChild<QTreeView*>("FileList");
      list->header()->resizeSection(0, 260);
      list->header()->moveSection(list->header()->visualIndex(4), 0);  // "Date Modified" first
      QVERIFY(frame->RequestClose());
    }
    QCOMPARE(Profile().GetInt("LayoutMain", "ColumnMap", -1), 29);
    Profile().Load();
    auto frame = MakeFrame();
    frame->RestorePlacement();
    frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
    auto* list = frame->findChild<QTreeView*>("FileList");
    QHeaderView* header = list->header();
    QVERIFY(header->isSectionHidden(1));
    for (int c : {0, 2, 3, 4}) QVERIFY(!header->isSectionHidden(c));
    QCOMPARE(header->sectionSize(0), 260);
    QCOMPARE(header->logicalIndex(0), 4);
    QVERIFY(!frame->Action(kCmdColumnFirst + 1)->isChecked());
    QVERIFY(!frame->findChild<QWidget*>("FoldersPane")->isVisibleTo(frame.get()));
    QCOMPARE(frame->size(), QSize(700, 450));

    // The last visible column cannot be hidden: a list without columns has no header to click.
    for (int c : {0, 2, 3, 4}) frame->Action(kCmdColumnFirst + c)->trigger();
    QCOMPARE(header->hiddenSectionCount(), 4);
  }

  void handEditedLayoutFallsBackToDefaults_data() {
    QTest::addColumn<QByteArray>("placement");
    QTest::addColumn<QByteArray>("order");
    QTest::addColumn<QByteArray>("widths");
    QTest::addColumn<int>("map");
    const auto bytes = [](std::vector<std::uint8_t> v) {
      return QByteArray(reinterpret_cast<const char*>(v.data()), int(v.size()));
    };
    const QByteArray goodOrder = bytes(Le32Array({0, 1, 2, 3, 4}));
    const QByteArray goodWidths = bytes(Le32Array({200, 100, 150, 150, 150}));
    WindowPlacement far;
    far.normal = QRect(50000 - 32767, 30000, 400, 300);  // on no screen
    const auto farRecord = EncodePlacement(far);
    QTest::newRow("placement cut short")
        << bytes(Le32Array({44, 0, 1, 0, 0, 0, 0, 10, 10, 500})) << goodOrder << goodWidths << 31;
    QTest::newRow("placement with unknown show command")
        << bytes(Le32Array({44, 0, 9, 0, 0, 0, 0, 10, 10, 500, 400})) << goodOrder << goodWidths
        << 31;
    QTest::newRow("placement inside out")
        << bytes(Le32Array({44, 0, 1, 0, 0, 0, 0, 500, 400, 10, 10})) << goodOrder << goodWidths
        << 31;
    QTest::newRow("placement off every screen")
        << QByteArray(reinterpret_cast<const char*>(farRecord.data()), int(farRecord.size()))
        << goodOrder << goodWidths << 31;
    QTest::newRow("order repeats a column")
        << QByteArray() << bytes(Le32Array({0, 0, 2, 3, 4})) << goodWidths << 31;
    QTest::newRow("order names a hidden column")
        << QByteArray() << bytes(Le32Array({1, 0, 2, 3, 4})) << goodWidths << 29;
    QTest::newRow("order out of range")
        << QByteArray() << bytes(Le32Array({0, 1, 2, 3, 77})) << goodWidths << 31;
    QTest::newRow("widths zero and huge")
        << QByteArray() << goodOrder << bytes(Le32Array({0, 100000, -5, 150, 150})) << 31;
    QTest::newRow("widths cut short")
        << QByteArray() << goodOrder << bytes(Le32Array({10, 20})) << 31;
    QTest::newRow("no column visible") << QByteArray() << goodOrder << goodWidths << 0;
    QTest::newRow("map beyond five columns") << QByteArray() << goodOrder << goodWidths << 0x7FF;
  }
  void handEditedLayoutFallsBackToDefaults() {
    QFETCH(QByteArray, placement);
    QFETCH(QByteArray, order);
    QFETCH(QByteArray, widths);
    QFETCH(int, map);
    if (!placement.isEmpty())
      Profile().SetBinary("LayoutMain", "WindowPos", placement.constData(), placement.size());
    Profile().SetBinary("LayoutMain", "ColumnOrder", order.constData(), order.size());
    Profile().SetBinary("LayoutMain", "ColumnWidths", widths.constData(), widths.size());
    Profile().SetInt("LayoutMain", "ColumnMap", map);
    Profile().SetInt("LayoutMain", "SortingColumn", 12);

    auto frame = MakeFrame();
    const QSize defaultSize = frame->size();
    frame->RestorePlacement();
    frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
    // A record that cannot be used leaves the window where a fresh start puts it.
    QCOMPARE(frame->size(), defaultSize);
    QVERIFY(frame->screen()->availableGeometry().intersects(frame->geometry()));

    const ColumnLayout layout = LoadColumnLayout(Profile());
    QHeaderView* header = frame->findChild<QTreeView*>("FileList")->header();
    QVERIFY(layout.map >= 1 && layout.map <= 0x1F);
    QCOMPARE(layout.sortingColumn, 0);
    QCOMPARE(header->sortIndicatorSection(), 0);
    std::vector<int> sorted = layout.order;
    std::sort(sorted.begin(), sorted.end());
    std::vector<int> visible;
    for (int c = 0; c < kColumnCount; ++c) {
      if (layout.Visible(c)) visible.push_back(c);
      QVERIFY(layout.widths[c] >= 1 && layout.widths[c] <= 4096);
      QCOMPARE(header->isSectionHidden(c), !layout.Visible(c));
    }
    QCOMPARE(sorted, visible);
    if (widths.size() != 20 || QTest::currentDataTag() == QByteArray("widths zero and huge")) {
      QCOMPARE(layout.widths[0], kDefaultColumnWidths[0]);
      QCOMPARE(layout.widths[1], kDefaultColumnWidths[1]);
    }
  }

  void placementRecordRoundTrips() {
    WindowPlacement p;
    p.showCommand = kShowMaximized;
    p.minPosition = QPoint(-1, -1);
    p.maxPosition = QPoint(-8, -8);
    p.normal = QRect(-100, 20, 1024, 700);
    const auto record = EncodePlacement(p);
    QCOMPARE(record[0], std::uint8_t(44));
    QCOMPARE(record[8], std::uint8_t(3));
    const auto back = DecodePlacement(record);
    QVERIFY(back);
    QCOMPARE(back->normal, p.normal);
    QCOMPARE(back->maxPosition, p.maxPosition);
    QCOMPARE(back->showCommand, kShowMaximized);

    const QList<QRect> screens{QRect(0, 0, 1920, 1080)};
    QVERIFY(PlacementOnScreen(QRect(100, 100, 800, 600), screens));
    QVERIFY(PlacementOnScreen(QRect(-700, 100, 800, 600), screens));  // title strip still reachable
    QVERIFY(!PlacementOnScreen(QRect(-790, 100, 800, 600), screens));
    QVERIFY(!PlacementOnScreen(QRect(100, 1080, 800, 600), screens));
    QVERIFY(!PlacementOnScreen(QRect(2000, 100, 800, 600), screens));
  }

  void tabsStayWhileASearchRuns() {
    auto frame = MakeFrame();
    frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
    frame->Action(kCmdViewSearch)->trigger();
    QCOMPARE(frame->Tabs()->currentIndex(), 1);
    frame->Activity().searchRunning = true;
    frame->Action(kCmdViewScan)->trigger();
    QCOMPARE(frame->Tabs()->currentIndex(), 1);
    frame->Activity().searchRunning = false;
    frame->Action(kCmdViewScan)->trigger();
    QCOMPARE(frame->Tabs()->currentIndex(), 2);
  }

  void secondStartWakesTheFirst() {
    QTemporaryDir folder;
    const QString path = folder.path();
    // A socket left by an instance that crashed must not stop the next one from listening.
    {
      QLocalServer stale;
      QVERIFY(stale.listen(ActivationSocketPath(path)));
    }
    QFile leftover(ActivationSocketPath(path));
    if (!leftover.exists()) {
      QVERIFY(leftover.open(QIODevice::WriteOnly));
      leftover.close();
    }
    CInstanceServer server;
    QVERIFY(server.Listen(path));
    QSignalSpy woken(&server, &CInstanceServer::activationRequested);
    QVERIFY(WakeRunningInstance(path, 2000));
    QTRY_COMPARE(woken.count(), 1);

    // Nobody listening: the second start gives up after its time.
    QTemporaryDir empty;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!WakeRunningInstance(empty.path(), 400));
    QVERIFY(clock.elapsed() >= 400);
  }
};

QTEST_MAIN(TestMainShell)
#include "tst_main_shell.moc"
