// The program as a process: start-up order, the single instance, the resource library's checks,
// the rights check and the closing on a signal. Each case runs a copy of the built program in a
// folder of its own (the log lies beside the executable) with private XDG folders.

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "foundation/profile.h"
#include "ui/window_placement.h"

using namespace sorvani;

namespace {

constexpr int kStartTimeoutMs = 20000;

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// One installation of the program with its own home.
class CInstallation {
 public:
  explicit CInstallation(bool withLibrary = true) {
    const QString root = m_dir.path();
    for (const char* sub : {"bin", "home", "config", "state", "runtime"}) QDir(root).mkpath(sub);
    QFile::setPermissions(root + "/runtime",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::copy(SORVANI_UI_BIN_DIR "/sorvani-recovery", Bin() + "/sorvani-recovery");
    if (withLibrary) QFile::copy(SORVANI_UI_BIN_DIR "/libsvres.so", Bin() + "/libsvres.so");
    m_env = QProcessEnvironment::systemEnvironment();
    m_env.insert("HOME", root + "/home");
    m_env.insert("XDG_CONFIG_HOME", root + "/config");
    m_env.insert("XDG_STATE_HOME", root + "/state");
    m_env.insert("XDG_RUNTIME_DIR", root + "/runtime");
    m_env.insert("QT_QPA_PLATFORM", "offscreen");
  }

  QString Root() const { return m_dir.path(); }
  QString Bin() const { return m_dir.path() + "/bin"; }
  QString LogPath() const { return Bin() + "/SorvaniRecovery.log"; }
  QString ProfilePath() const { return m_dir.path() + "/config/SorvaniRecovery/Profile.xml"; }
  QString SocketPath() const { return m_dir.path() + "/runtime/SorvaniRecovery/activate.sock"; }
  QProcessEnvironment& Env() { return m_env; }

  void WriteProfile(const QByteArray& xml) {
    QDir().mkpath(m_dir.path() + "/config/SorvaniRecovery");
    QFile file(ProfilePath());
    if (file.open(QIODevice::WriteOnly)) file.write(xml);
  }

  std::unique_ptr<QProcess> Start(const QStringList& prefix = {}) {
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(m_env);
    process->setProcessChannelMode(QProcess::MergedChannels);
    const QString program = Bin() + "/sorvani-recovery";
    if (prefix.isEmpty()) {
      process->start(program, {});
    } else {
      process->start(prefix.front(), prefix.mid(1) + QStringList{program});
    }
    process->waitForStarted();
    return process;
  }

  // Up: the log has its header and the activation socket listens.
  bool WaitUntilRunning(QProcess& process) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < kStartTimeoutMs) {
      if (process.state() != QProcess::Running) return false;
      if (ReadAll(LogPath()).contains("System time:") && QFile::exists(SocketPath())) return true;
      QTest::qWait(50);
    }
    return false;
  }

 private:
  QTemporaryDir m_dir;
  QProcessEnvironment m_env;
};

bool EndsWith(QProcess& process, int code) {
  return process.waitForFinished(kStartTimeoutMs) && process.exitStatus() == QProcess::NormalExit &&
         process.exitCode() == code;
}

}  // namespace

class TestStartUp : public QObject {
  Q_OBJECT

 private slots:
  void freshStartStampsTheProfileAndWritesTheHeader_data() {
    QTest::addColumn<int>("logType");
    QTest::newRow("normal log") << 1;
    QTest::newRow("verbose log") << 2;
  }
  void freshStartStampsTheProfileAndWritesTheHeader() {
    QFETCH(int, logType);
    CInstallation install;
    if (logType != 1)
      install.WriteProfile("<profile><Logging><Type>" + QByteArray::number(logType) +
                           "</Type></Logging></profile>");
    auto process = install.Start();
    QVERIFY2(install.WaitUntilRunning(*process), process->readAll().constData());

    CXMLProfile profile;
    profile.SetPath(install.ProfilePath().toStdString());
    QVERIFY(profile.Load());
    QCOMPARE(QString::fromStdString(profile.GetString("Application", "Version", "")),
             QString("1.1.20 "));
    const QByteArray log = ReadAll(install.LogPath());
    QVERIFY(log.startsWith("[ Sorvani Recovery Log ]\n"));
    QVERIFY(log.contains("Application version: 1.1.20 \n"));
    QVERIFY(log.contains("Operating System: "));
    QCOMPARE(log.contains("\nVerbose\n"), logType == 2);

    ::kill(process->processId(), SIGTERM);
    QVERIFY(EndsWith(*process, 0));
  }

  void secondStartWakesTheFirstAndWritesNothing() {
    CInstallation install;
    // The verbose log shows when the first instance has finished its own start-up saves.
    install.WriteProfile("<profile><Logging><Type>2</Type></Logging></profile>");
    auto first = install.Start();
    QVERIFY(install.WaitUntilRunning(*first));
    QTRY_VERIFY_WITH_TIMEOUT(
        ReadAll(install.LogPath()).contains("Leaving: CMainFrame::OnSecondStage"), kStartTimeoutMs);
    const QByteArray logBefore = ReadAll(install.LogPath());
    const QByteArray profileBefore = ReadAll(install.ProfilePath());
    QVERIFY(!profileBefore.isEmpty());

    auto second = install.Start();
    QVERIFY(EndsWith(*second, 1));
    QCOMPARE(first->state(), QProcess::Running);
    QTRY_VERIFY_WITH_TIMEOUT(
        ReadAll(install.LogPath()).contains("A second start asked for the running window."), 5000);
    const QByteArray logAfter = ReadAll(install.LogPath());
    QVERIFY(logAfter.size() >= logBefore.size());
    QVERIFY(logAfter.startsWith(logBefore));  // header intact, nothing cut
    QCOMPARE(ReadAll(install.ProfilePath()), profileBefore);

    ::kill(first->processId(), SIGTERM);
    QVERIFY(EndsWith(*first, 0));
  }

  void signalsCloseAndSaveTheLayout_data() {
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGHUP") << SIGHUP;
  }
  void signalsCloseAndSaveTheLayout() {
    QFETCH(int, signalNumber);
    CInstallation install;
    install.WriteProfile(
        "<profile><UsageStatistics><FilesRecoveredInTotal>12</FilesRecoveredInTotal>"
        "<RequestFeedback>0</RequestFeedback></UsageStatistics></profile>");
    auto process = install.Start();
    QVERIFY(install.WaitUntilRunning(*process));
    ::kill(process->processId(), signalNumber);
    QVERIFY(EndsWith(*process, 0));

    CXMLProfile profile;
    profile.SetPath(install.ProfilePath().toStdString());
    QVERIFY(profile.Load());
    std::vector<std::uint8_t> placement;
    QVERIFY(profile.GetBinary("LayoutMain", "WindowPos", placement));
    QCOMPARE(placement.size(), ui::kPlacementSize);
    QVERIFY(ui::DecodePlacement(placement).has_value());
    QCOMPARE(profile.GetInt("UsageStatistics", "FilesRecoveredInTotal", -1), 12);
    std::vector<std::uint8_t> amount;
    QVERIFY(profile.GetBinary("UsageStatistics", "AmountRecoveredInTotal", amount));
    QCOMPARE(amount.size(), std::size_t(8));
  }

  void aMissingOrTamperedLibraryStopsTheStart_data() {
    QTest::addColumn<int>("damage");
    QTest::newRow("library missing") << 0;
    QTest::newRow("library group-writable") << 1;
    QTest::newRow("library world-writable") << 2;
  }
  void aMissingOrTamperedLibraryStopsTheStart() {
    QFETCH(int, damage);
    CInstallation install(damage != 0);
    if (damage != 0)
      QVERIFY(::chmod(QFile::encodeName(install.Bin() + "/libsvres.so").constData(),
                      damage == 1 ? 0775 : 0757) == 0);
    auto process = install.Start();
    QVERIFY(EndsWith(*process, 1));
    QVERIFY(ReadAll(install.LogPath()).contains("Error loading resource library (libsvres.so)\n"));
  }

  void withoutDiskRightsOnlyImagesAreOffered() {
    if (::geteuid() != 0) QSKIP("needs root to start the program as another user");
    if (QStandardPaths::findExecutable("setpriv").isEmpty()) QSKIP("setpriv is not installed");
    CInstallation install;
    // The other user needs its own folders and a way through the temporary folder.
    QVERIFY(::chmod(QFile::encodeName(install.Root()).constData(), 0711) == 0);
    for (const QString& path : QDir(install.Root()).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
      QVERIFY(::chown(QFile::encodeName(install.Root() + "/" + path).constData(), 65534, 65534) ==
              0);
    for (const QString& file : {QString("/bin/sorvani-recovery"), QString("/bin/libsvres.so")})
      QVERIFY(::chown(QFile::encodeName(install.Root() + file).constData(), 65534, 65534) == 0);
    auto process = install.Start({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    QVERIFY2(install.WaitUntilRunning(*process), process->readAll().constData());
    QVERIFY(ReadAll(install.LogPath()).contains("Need admin rights!\n"));
    QCOMPARE(process->state(), QProcess::Running);  // it goes on, for disk images
    ::kill(process->processId(), SIGTERM);
    QVERIFY(EndsWith(*process, 0));
  }
};

QTEST_MAIN(TestStartUp)
#include "tst_start_up.moc"
