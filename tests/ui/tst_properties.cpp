// The properties dialog: the texts of a file's fields, a folder's total summed on a worker and
// compared with the fixture's answer key, and a close during a slow sum that ends the worker
// before the dialog goes.
#include <QLabel>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "app/job.h"
#include "app/resource_library.h"
#include "foundation/display_format.h"
#include "tests/app/app_test_util.h"
#include "ui/prop_dlg.h"

using namespace sorvani;
using namespace sorvani::ui;

namespace {

// 2023-03-15 14:30:00 UTC and 2024-11-02 08:05:00 UTC as NTFS file times.
constexpr std::uint64_t FileTimeOf(std::int64_t unixSeconds) {
  return static_cast<std::uint64_t>(unixSeconds + 11644473600LL) * 10000000ULL;
}
constexpr std::uint64_t kCreated = FileTimeOf(1678890600);
constexpr std::uint64_t kModified = FileTimeOf(1730534700);

QString Field(const QDialog& dialog, const char* name) {
  auto* label = dialog.findChild<QLabel*>(name);
  return label ? label->text() : QStringLiteral("<no field %1>").arg(name);
}

// A folder total that never finishes by itself: it adds a little every few milliseconds until
// it is cancelled, and notes when its thread is done.
struct SlowState {
  std::atomic<std::uint64_t> bytes{0};
  std::atomic<bool> ended{false};
  std::atomic<bool> started{false};
};

class CSlowTotal final : public IFolderTotal {
 public:
  explicit CSlowTotal(std::shared_ptr<SlowState> state) : m_job(std::move(state)) {}
  bool Start() override { return m_job.Start(); }
  void Cancel() override { m_job.Cancel(); }
  void Wait() override { m_job.Wait(); }
  bool Finished() const override { return m_job.Finished(); }
  std::uint64_t Bytes() const override { return m_job.state->bytes.load(); }

 private:
  struct Job final : CJob {
    explicit Job(std::shared_ptr<SlowState> s) : state(std::move(s)) {}
    ~Job() override { StopAndWait(); }
    void Run(const CCancelToken& cancel) override {
      state->started = true;
      while (!cancel.Cancelled()) {
        state->bytes.fetch_add(1000);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      // Still busy a moment after the cancel, as a worker inside a record read is.
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      state->ended = true;
    }
    std::shared_ptr<SlowState> state;
  };
  Job m_job;
};

}  // namespace

class TestProperties : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void fileFields();
  void overwrittenShownOnlyAboveZero();
  void folderTotalsMatchTheKey();
  void closingDuringASlowSumEndsTheWorkerFirst();

 private:
  nlohmann::json m_key;
  CSession m_session;
  bool m_indexed = false;
};

void TestProperties::initTestCase() {
  std::string error;
  QVERIFY2(ResourceLibrary().Load(SORVANI_UI_BIN_DIR "/libsvres.so", error), error.c_str());
  std::string image = test::Fixture("ntfs-4k.img");
  if (image.empty()) return;
  m_key = nlohmann::json::parse(test::FixtureText("ntfs-4k.img.key.json"), nullptr, false);
  QVERIFY(!m_key.is_discarded());
  SetCacheSavingAllowed(false);
  QVERIFY(m_session.Drives().Assign('C', test::FileSource(image)));
  QVERIFY(test::IndexNow(m_session, 'C') == kEnumScanned);
  m_indexed = true;
}

void TestProperties::fileFields() {
  QCOMPARE(PropSizeText(1536), QString("2 KB (1536 bytes)"));
  QCOMPARE(PropSizeText(0), QString("0 KB (0 bytes)"));
  QCOMPARE(PropSizeText(5244114), QString("5.0 MB (5244114 bytes)"));

  PropEntry entry;
  entry.name = "report.txt";
  entry.folderPath = "C:\\Docs\\";
  entry.attributes = 0x21;
  entry.size = 1536;
  entry.created = kCreated;
  entry.modified = kModified;
  entry.drive = 'C';
  CPropDlg dialog(entry, nullptr);
  QCOMPARE(Field(dialog, "propName"), QString("report.txt"));
  QCOMPARE(Field(dialog, "propType"),
           QString::fromStdString(DescribeFileType("report.txt").description));
  QCOMPARE(Field(dialog, "propType"), QString("TXT File"));
  QCOMPARE(Field(dialog, "propLocation"), QString("C:\\Docs\\"));
  QCOMPARE(Field(dialog, "propSize"), QString("2 KB (1536 bytes)"));
  // The tests run with TZ=UTC and the C locale.
  QCOMPARE(Field(dialog, "propCreated"), QString("March 15, 2023 02:30 PM"));
  QCOMPARE(Field(dialog, "propModified"), QString("November 02, 2024 08:05 AM"));
  QCOMPARE(Field(dialog, "propAttributes"), QString::fromStdString(FormatAttributes(0x21)));
  QVERIFY(!Field(dialog, "propAttributes").isEmpty());
  QCOMPARE(Field(dialog, "propOverwritten"), QString());
  QVERIFY(!dialog.Summing());
  QVERIFY(dialog.windowTitle().startsWith("report.txt"));

  // A folder: "File Folder", and no total without a worker.
  entry.name = "Reports";
  entry.attributes = 0x10;
  CPropDlg folder(entry, nullptr);
  QCOMPARE(Field(folder, "propType"), QString("File Folder"));
  QCOMPARE(Field(folder, "propSize"), QString());
  QCOMPARE(entry.Folder().path, std::string("C:\\Docs\\Reports\\"));
  QCOMPARE(entry.Folder().kind, FolderKind::Existing);
}

void TestProperties::overwrittenShownOnlyAboveZero() {
  PropEntry entry;
  entry.name = "draft-old.txt";
  entry.folderPath = "C:\\Docs\\Reports\\2023\\";
  entry.size = 300;
  entry.record = 73;
  entry.drive = 'C';
  entry.overwritten = 0;
  CPropDlg clean(entry, nullptr);
  QCOMPARE(Field(clean, "propOverwritten"), QString());
  QCOMPARE(Field(clean, "propSize"), QString("0.3 KB (300 bytes)"));
  QCOMPARE(Field(clean, "propCreated"), QString());  // time not known
  entry.overwritten = 37;
  CPropDlg spoiled(entry, nullptr);
  QCOMPARE(Field(spoiled, "propOverwritten"), QString("37%"));
  entry.overwritten = -1;
  QCOMPARE(MakePropTexts(entry).overwritten, QString());
}

void TestProperties::folderTotalsMatchTheKey() {
  if (!m_indexed) QSKIP("fixtures absent");
  // The key's file sizes below a folder (unnamed streams only); deleted ones only for a
  // deleted folder.
  auto keyTotal = [this](const std::string& prefix, bool deletedOnly) {
    std::uint64_t total = 0;
    for (const auto& e : m_key["entries"]) {
      if (e.value("meta_type", "") != "r" || !e.value("stream", nlohmann::json()).is_null())
        continue;
      if (deletedOnly && !e.value("deleted", false)) continue;
      if (e.value("path", "").starts_with(prefix)) total += e.value("size", std::uint64_t{0});
    }
    return total;
  };
  struct Case {
    const char* name;
    const char* location;
    std::uint32_t record;
    std::string prefix;
    bool deletedOnly;
  } cases[] = {{"OldProject", "C:\\", test::kOldProject, "OldProject/", true},
               {"2023", "C:\\Docs\\Reports\\", 0, "Docs/Reports/2023/", false}};
  for (const Case& c : cases) {
    const std::uint64_t expected = keyTotal(c.prefix, c.deletedOnly);
    QVERIFY(expected > 0);
    PropEntry entry;
    entry.name = c.name;
    entry.folderPath = c.location;
    entry.attributes = 0x10;
    entry.record = c.record;
    entry.drive = 'C';
    CPropDlg dialog(m_session, entry);
    dialog.show();
    QCOMPARE(Field(dialog, "propType"), QString("File Folder"));
    // Shown on the next tick once the worker is done.
    QTRY_COMPARE_WITH_TIMEOUT(dialog.SizeShown(), PropSizeText(expected), 5000);
    QVERIFY(!dialog.Summing());
    dialog.accept();
  }
  QCOMPARE(keyTotal("OldProject/", true), test::kOldProjectBytes);
}

void TestProperties::closingDuringASlowSumEndsTheWorkerFirst() {
  PropEntry entry;
  entry.name = "Big";
  entry.folderPath = "C:\\";
  entry.attributes = 0x10;
  entry.drive = 'C';
  // OK, Cancel and the window's close button each end the sum before the dialog is gone.
  for (int way = 0; way < 3; ++way) {
    auto state = std::make_shared<SlowState>();
    auto* dialog = new CPropDlg(entry, std::make_unique<CSlowTotal>(state));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    bool endedWhenFinished = false, endedWhenDestroyed = false;
    connect(dialog, &QDialog::finished, this, [&] { endedWhenFinished = state->ended.load(); });
    connect(dialog, &QObject::destroyed, this, [&] { endedWhenDestroyed = state->ended.load(); });
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    // The total grows on the dialog while the worker runs.
    QTRY_VERIFY_WITH_TIMEOUT(dialog->SizeShown() != PropSizeText(0), 3000);
    const QString first = dialog->SizeShown();
    QTRY_VERIFY_WITH_TIMEOUT(dialog->SizeShown() != first, 3000);
    QVERIFY(dialog->Summing());
    QVERIFY(!state->ended);
    QPointer<CPropDlg> alive(dialog);
    if (way == 0)
      dialog->accept();
    else if (way == 1)
      dialog->reject();
    else
      dialog->close();
    QVERIFY(state->ended);
    QVERIFY(endedWhenFinished);
    QTRY_VERIFY(alive.isNull());
    QVERIFY(endedWhenDestroyed);
  }
  // Deleted without being closed: the destructor waits as well.
  auto state = std::make_shared<SlowState>();
  auto* dialog = new CPropDlg(entry, std::make_unique<CSlowTotal>(state));
  QTRY_VERIFY(state->started);
  delete dialog;
  QVERIFY(state->ended);
}

QTEST_MAIN(TestProperties)
#include "tst_properties.moc"
