// The indexing dialog: real indexing of the NTFS fixture through it (scanned, then from the
// cache, then scanned again when asked), Cancel against a run that takes its time to stop,
// and the texts of each tick as a table.
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "app/resource_library.h"
#include "app/session.h"
#include "foundation/display_format.h"
#include "index/index_cache.h"
#include "tests/util/fixtures.h"
#include "ui/animation_label.h"
#include "ui/index_dlg.h"
#include "ui/resources.h"

using namespace sorvani;
using namespace sorvani::ui;

namespace {

// A scan that runs until cancelled and then needs `stopMs` more to end, as a worker between
// two records does; its numbers grow with time.
class CSlowRun final : public IIndexingRun {
 public:
  explicit CSlowRun(int stopMs) : m_stopMs(stopMs) { m_clock.start(); }
  IndexingSnapshot Snapshot() const override {
    IndexingSnapshot s;
    s.drive = 'C';
    if (m_cancelAt >= 0 && m_clock.elapsed() >= m_cancelAt + m_stopMs) {
      if (m_endAt < 0) m_endAt = m_clock.elapsed();
      s.finished = true;
      s.outcome = kEnumCancelled;
      return s;
    }
    IndexProgress progress;
    progress.phase = kPhaseScanning;
    progress.total = 100000;
    progress.done = static_cast<std::uint32_t>(std::min<qint64>(m_clock.elapsed() * 10, 99999));
    static_cast<IndexTick&>(s) = ComputeIndexTick(progress, m_clock.elapsed() / 1000.0);
    return s;
  }
  void Cancel() override {
    if (m_cancelAt < 0) m_cancelAt = m_clock.elapsed();
  }
  // When the run ended as a poll first saw it; the dialog is the only poller, so the end is
  // also timed by a poll of our own in the tests.
  bool Ended() const { return m_cancelAt >= 0 && m_clock.elapsed() >= m_cancelAt + m_stopMs; }
  qint64 EndTime() const { return m_cancelAt + m_stopMs; }
  qint64 Now() const { return m_clock.elapsed(); }

 private:
  int m_stopMs;
  QElapsedTimer m_clock;
  qint64 m_cancelAt = -1;
  mutable qint64 m_endAt = -1;
};

constexpr int kTick = CIndexingJob::kTickMilliseconds;

DriveSource FileSource(const std::string& path) {
  DriveSource source;
  source.path = path;
  return source;
}

}  // namespace

class TestIndexDialog : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void cleanupTestCase();
  void textsOfEachTick_data();
  void textsOfEachTick();
  void indexesTheFixtureThenLoadsItsCache();
  void cancelWaitsForTheRunAndClosesWithinATick();
  void cancelDuringARealScan();
  void refusedWhileAnotherIndexingRuns();

 private:
  std::string m_ntfs;
  std::string m_cacheFolder;
};

void TestIndexDialog::initTestCase() {
  std::string error;
  QVERIFY2(ResourceLibrary().Load(SORVANI_UI_BIN_DIR "/libsvres.so", error), error.c_str());
  m_ntfs = test::Fixture("ntfs-4k.img");
  QVERIFY(!m_ntfs.empty());
  m_cacheFolder = test::ScratchFolder("UiIndexDialogCache");
  SetCacheFolder(m_cacheFolder);
  SetCacheSavingAllowed(true);
}

void TestIndexDialog::cleanupTestCase() {
  CleanUpCache(0);
  SetCacheSavingAllowed(false);
  SetCacheFolder("");
}

void TestIndexDialog::textsOfEachTick_data() {
  QTest::addColumn<int>("phase");
  QTest::addColumn<uint>("done");
  QTest::addColumn<uint>("total");
  QTest::addColumn<double>("elapsed");
  QTest::addColumn<uint>("title");    // 0: the title stays
  QTest::addColumn<int>("estimate");  // -1 empty, -2 unknown, else the seconds shown
  QTest::addColumn<int>("percent");
  // r = (total - done) * elapsed / done, truncated.
  QTest::newRow("scanning, known") << 1 << 50u << 100u << 10.0 << kIdsIndexPhaseScan << 10 << 50;
  QTest::newRow("scanning, at the hour")
      << 1 << 10u << 3610u << 10.0 << kIdsIndexPhaseScan << 3600 << 0;
  QTest::newRow("scanning, past the hour")
      << 1 << 10u << 3611u << 10.0 << kIdsIndexPhaseScan << -2 << 0;
  QTest::newRow("scanning, nothing done")
      << 1 << 0u << 100u << 4.0 << kIdsIndexPhaseScan << -2 << 0;
  QTest::newRow("scanning, truncated") << 1 << 3u << 10u << 1.0 << kIdsIndexPhaseScan << 2 << 30;
  QTest::newRow("saving") << 2 << 5u << 10u << 30.0 << kIdsIndexPhaseSave << -1 << 50;
  QTest::newRow("loading") << 3 << 10u << 10u << 1.0 << kIdsIndexPhaseLoad << -1 << 100;
  QTest::newRow("not started") << 0 << 0u << 0u << 0.0 << 0u << -1 << 0;
}

void TestIndexDialog::textsOfEachTick() {
  QFETCH(int, phase);
  QFETCH(uint, done);
  QFETCH(uint, total);
  QFETCH(double, elapsed);
  QFETCH(uint, title);
  QFETCH(int, estimate);
  QFETCH(int, percent);
  IndexProgress progress;
  progress.phase = static_cast<std::uint8_t>(phase);
  progress.done = done;
  progress.total = total;
  const IndexTick tick = ComputeIndexTick(progress, elapsed);
  const IndexDialogTexts texts = MakeIndexDialogTexts(tick);
  QCOMPARE(texts.title, title ? ResString(title) : QString());
  QCOMPARE(texts.percent, ResFormat(kIdsIndexPercentDone, percent));
  QCOMPARE(texts.elapsed, ResFormat(kIdsIndexElapsedTime, FormatElapsed(elapsed)));
  if (estimate == -1)
    QCOMPARE(texts.estimate, QString());
  else if (estimate == -2)
    QCOMPARE(texts.estimate, ResString(kIdsIndexTimeEstimating));
  else
    QCOMPARE(texts.estimate, ResFormat(kIdsIndexTimeLeft, FormatEstimate(estimate)));

  // The dialog shows the same texts on a tick.
  struct CFixedRun final : IIndexingRun {
    IndexingSnapshot snapshot;
    IndexingSnapshot Snapshot() const override { return snapshot; }
    void Cancel() override {}
  } run;
  static_cast<IndexTick&>(run.snapshot) = tick;
  CIndexDlg dialog(run);
  const QString before = dialog.windowTitle();
  dialog.Tick();
  QCOMPARE(dialog.windowTitle(), title ? ResString(title) : before);
  QCOMPARE(dialog.Bar()->value(), percent);
  QCOMPARE(dialog.PercentLabel()->text(), texts.percent);
  QCOMPARE(dialog.ElapsedLabel()->text(), texts.elapsed);
  QCOMPARE(dialog.EstimateLabel()->text(), texts.estimate);
}

void TestIndexDialog::indexesTheFixtureThenLoadsItsCache() {
  CSession session;
  QVERIFY(session.Drives().Assign('C', FileSource(m_ntfs)));
  CleanUpCache('C');

  bool sawRunning = false;
  {
    CIndexDlg dialog(session, 'C', false);
    QVERIFY(!dialog.windowIcon().isNull());
    QCOMPARE(dialog.Bar()->minimum(), 0);
    QCOMPARE(dialog.Bar()->maximum(), 100);
    // Watch the dialog while it is up.
    QTimer watch;
    connect(&watch, &QTimer::timeout, &dialog, [&] {
      if (dialog.isVisible() && dialog.Animation()->IsRunning()) sawRunning = true;
    });
    watch.start(5);
    QCOMPARE(dialog.Run(), std::uint8_t(kEnumScanned));
    QVERIFY(!dialog.isVisible());
    QVERIFY(!dialog.Animation()->IsRunning());
  }
  QVERIFY(sawRunning || session.Indexing()->Finished());
  PublishedCatalogue catalogue = session.Catalogue();
  QCOMPARE(catalogue.drive, 'C');
  QCOMPARE(catalogue.outcome, std::uint8_t(kEnumScanned));
  QVERIFY(catalogue.index->EntryCount() > 0);
  QVERIFY(QFileInfo::exists(QString::fromStdString(CacheFilePath('C'))));

  // Again: the saved list is loaded.
  QCOMPARE(CIndexDlg::IndexDrive(session, 'C', false, nullptr), std::uint8_t(kEnumFromCache));
  QCOMPARE(session.Catalogue().drive, 'C');
  // Re-indexing drops it and scans.
  QCOMPARE(CIndexDlg::IndexDrive(session, 'C', true, nullptr), std::uint8_t(kEnumScanned));
  QCOMPARE(session.Catalogue().outcome, std::uint8_t(kEnumScanned));

  // A drive that is not NTFS, and one that cannot be read, end the dialog with their outcome.
  QVERIFY(session.Drives().Assign('D', FileSource(test::Fixture("fat32.img"))));
  QCOMPARE(CIndexDlg::IndexDrive(session, 'D', false, nullptr), std::uint8_t(kEnumNotNtfs));
  QVERIFY(session.Drives().Assign('E', FileSource(m_cacheFolder + "/missing.img")));
  QCOMPARE(CIndexDlg::IndexDrive(session, 'E', false, nullptr), std::uint8_t(kEnumUnreadable));
  QCOMPARE(session.Catalogue().drive, '\0');
}

void TestIndexDialog::cancelWaitsForTheRunAndClosesWithinATick() {
  constexpr int kStopMs = 450;  // longer than a tick: the dialog must wait for the run
  CSlowRun run(kStopMs);
  CIndexDlg dialog(run);
  qint64 closedAt = -1, endSeenAt = -1;
  bool visibleAfterCancel = false, titleWhileRunning = false;
  connect(&dialog, &QDialog::finished, &dialog, [&] { closedAt = run.Now(); });
  QTimer poll;  // our own view of the run's end, finer than the dialog's tick
  connect(&poll, &QTimer::timeout, &dialog, [&] {
    if (endSeenAt < 0 && run.Ended()) endSeenAt = run.Now();
    if (dialog.CancelAsked() && !run.Ended() && dialog.isVisible()) visibleAfterCancel = true;
    if (dialog.isVisible() && dialog.windowTitle() == ResString(kIdsIndexPhaseScan) &&
        !dialog.EstimateLabel()->text().isEmpty())
      titleWhileRunning = true;
  });
  poll.start(2);
  // Escape first (cancels, does not close), the button afterwards does nothing more.
  QTimer::singleShot(kTick + 50, &dialog, [&] { QTest::keyClick(&dialog, Qt::Key_Escape); });
  QTimer::singleShot(kTick + 100, &dialog, [&] { dialog.CancelButton()->click(); });
  QCOMPARE(dialog.Run(), std::uint8_t(kEnumCancelled));
  QVERIFY(dialog.CancelAsked());
  QVERIFY(!dialog.CancelButton()->isEnabled());
  QVERIFY(visibleAfterCancel);
  QVERIFY(titleWhileRunning);
  QVERIFY(closedAt >= run.EndTime());
  // At the first tick after the end; a loaded machine's timer may fire up to a tick late.
  QVERIFY2(closedAt - run.EndTime() <= 2 * kTick,
           qPrintable(QStringLiteral("closed %1 ms after the end").arg(closedAt - run.EndTime())));
  Q_UNUSED(endSeenAt);
}

void TestIndexDialog::cancelDuringARealScan() {
  CSession session;
  QVERIFY(session.Drives().Assign('C', FileSource(m_ntfs)));
  CIndexDlg dialog(session, 'C', true);
  QElapsedTimer clock;
  clock.start();
  qint64 endAt = -1, closedAt = -1;
  connect(&dialog, &QDialog::finished, &dialog, [&] { closedAt = clock.elapsed(); });
  QTimer poll;
  connect(&poll, &QTimer::timeout, &dialog, [&] {
    if (endAt < 0 && session.Indexing() && session.Indexing()->Finished()) endAt = clock.elapsed();
  });
  poll.start(1);
  // Cancel as soon as the modal loop runs.
  QTimer::singleShot(0, &dialog, [&] { dialog.CancelButton()->click(); });
  const std::uint8_t outcome = dialog.Run();
  if (!dialog.CancelAsked()) {
    // On a busy machine the scan can end before the dialog's loop first runs: the dialog then
    // returns at once with the scan's outcome, and there was nothing to cancel.
    QCOMPARE(outcome, std::uint8_t(kEnumScanned));
    QCOMPARE(session.Catalogue().drive, 'C');
    QSKIP("the scan ended before the dialog's loop ran");
  }
  qInfo("real scan ended %d, closed %lld ms after", outcome, closedAt - endAt);
  // A scan may finish before it sees the request; either way the catalogue tells the truth.
  QVERIFY2(outcome == kEnumCancelled || outcome == kEnumScanned,
           qPrintable(QString::number(outcome)));
  QCOMPARE(session.Catalogue().drive, outcome == kEnumCancelled ? '\0' : 'C');
  QVERIFY(session.Indexing() && session.Indexing()->Finished());
  // On a stalled machine the dialog's overdue tick may run before the watch's: then the end
  // and the close came in the same turn of the loop.
  if (endAt < 0) endAt = closedAt;
  QVERIFY(closedAt >= endAt);
  QVERIFY2(closedAt - endAt <= 2 * kTick,
           qPrintable(QStringLiteral("closed %1 ms after the end").arg(closedAt - endAt)));
}

void TestIndexDialog::refusedWhileAnotherIndexingRuns() {
  CSession session;
  QVERIFY(session.Drives().Assign('C', FileSource(m_ntfs)));
  CIndexingJob* running = session.StartIndexing('C', true);
  QVERIFY(running);
  if (running->Finished()) QSKIP("the first run ended before the second was asked");
  CIndexDlg dialog(session, 'C', false);
  const std::uint8_t outcome = dialog.Run();
  if (running->Finished() && outcome != kEnumRunning)
    QSKIP("the first run ended before the second was asked");
  QCOMPARE(outcome, std::uint8_t(kEnumRunning));
  QVERIFY(!dialog.isVisible());
  running->Wait();
}

QTEST_MAIN(TestIndexDialog)
#include "tst_index_dialog.moc"
