#include "app/startup.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "foundation/log.h"
#include "foundation/profile.h"
#include "platform/instance_lock.h"
#include "recovery/destination_check.h"
#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string ProfileXml(const std::string& body) {
  return "<?xml version=\"1.0\"?>\n<profile>" + body + "</profile>\n";
}

// Each test gets private XDG folders, so the profile, the instance lock and the site file are
// its own; the process-wide log is closed again afterwards.
class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "fast");
    m_dir = test::ScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    Remember("XDG_CONFIG_HOME", m_dir + "/config");
    Remember("XDG_RUNTIME_DIR", m_dir + "/run");
    fs::create_directories(m_dir + "/run");
    ::chmod((m_dir + "/run").c_str(), 0700);
    m_profilePath = m_dir + "/config/SorvaniRecovery/Profile.xml";
    m_logFolder = m_dir + "/state";
    m_logPath = m_logFolder + "/SorvaniRecovery.log";
  }
  void TearDown() override {
    LogFile.Close();
    LogFile.SetLevel(0);
    LogFile.SetSizeLimit(CLogFile::kDefaultSizeLimit);
    for (auto& [name, value] : m_saved) {
      if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
      else
        ::unsetenv(name.c_str());
    }
  }
  void Remember(const std::string& name, const std::string& value) {
    const char* old = std::getenv(name.c_str());
    m_saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    ::setenv(name.c_str(), value.c_str(), 1);
  }

  std::string m_dir, m_profilePath, m_logFolder, m_logPath;
  std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

TEST_F(StartupTest, ProfileIsStampedAndItsSettingsKept) {
  WriteText(m_profilePath, ProfileXml("<Logging><Type>2</Type></Logging>"
                                      "<Application><Version>0.9 </Version></Application>"));
  LoadProfile();
  EXPECT_EQ(Profile().Path(), m_profilePath);
  std::string saved = ReadText(m_profilePath);
  EXPECT_NE(saved.find(std::string("<Version>") + kApplicationVersion + "</Version>"),
            std::string::npos)
      << saved;
  EXPECT_NE(saved.find("<Type>2</Type>"), std::string::npos) << saved;

  EXPECT_EQ(OpenProcessLog(m_logFolder), m_logPath);
  ASSERT_TRUE(LogFile.IsOpen());
  std::string log = ReadText(m_logPath);
  EXPECT_EQ(log.rfind("[ Sorvani Recovery Log ]\nVerbose\nOperating System: ", 0), 0u) << log;
  EXPECT_NE(log.find(std::string("Application version: ") + kApplicationVersion + "\n"),
            std::string::npos);
}

TEST_F(StartupTest, HandEditedProfileGivesDefaultsWithoutThrowing) {
  // A recent-destination list longer than any the program writes.
  std::string longList = "|" + std::string(3000, 'd');
  WriteText(m_profilePath,
            ProfileXml("<Logging><Type>3</Type></Logging><Recover><LastDestinationFolders>" +
                       longList + "</LastDestinationFolders></Recover>"));
  EXPECT_NO_THROW(LoadProfile());
  std::vector<std::string> recent{"sentinel"};
  EXPECT_NO_THROW(recent = RecentDestinations());
  EXPECT_TRUE(recent.empty()) << "a cut entry must not be offered: " << recent.size();
  EXPECT_EQ(Profile().GetInt("Logging", "Type", 1), 3) << "the rest of the profile still counts";
  // Where the program remembers a destination, the over-long value is replaced.
  EXPECT_NO_THROW(RememberDestination("/mnt/out"));
  EXPECT_EQ(RecentDestinations(), std::vector<std::string>{"/mnt/out"});

  // A broken file: defaults, a log all the same, and the file itself is not overwritten.
  std::string broken = "<profile><Logging><Type>0</Type></Logg";
  WriteText(m_profilePath, broken);
  EXPECT_NO_THROW(LoadProfile());
  EXPECT_EQ(Profile().GetInt("Logging", "Type", 1), 1);
  EXPECT_EQ(OpenProcessLog(m_logFolder), m_logPath);
  EXPECT_TRUE(LogFile.IsOpen());
  EXPECT_EQ(ReadText(m_profilePath), broken);
}

TEST_F(StartupTest, LogPathIsKnownEvenWithoutALog) {
  WriteText(m_profilePath, ProfileXml("<Logging><Type>0</Type></Logging>"));
  LoadProfile();
  EXPECT_EQ(OpenProcessLog(m_logFolder), m_logPath);
  EXPECT_FALSE(LogFile.IsOpen());
  EXPECT_FALSE(fs::exists(m_logPath)) << "Type 0 makes no file, not even an empty one";

  // A folder that cannot be made: the program runs on without a log.
  WriteText(m_profilePath, ProfileXml("<Logging><Type>1</Type></Logging>"));
  LoadProfile();
  WriteText(m_dir + "/plainfile", "x");
  EXPECT_EQ(OpenProcessLog(m_dir + "/plainfile/logs"),
            m_dir + "/plainfile/logs/SorvaniRecovery.log");
  EXPECT_FALSE(LogFile.IsOpen());
}

TEST_F(StartupTest, CommandLineLeavesTheLogOfARunningDesktopAlone) {
  std::string desktopLog = "[ Sorvani Recovery Log ]\nthe desktop program's lines\n";
  WriteText(m_logPath, desktopLog);
  std::string profile = ProfileXml("<Logging><Type>2</Type></Logging><Marker>desktop</Marker>");
  WriteText(m_profilePath, profile);

  CInstanceLock desktop;
  ASSERT_TRUE(desktop.TryLock(InstanceFolder()));
  InitProcessLog(m_logFolder);
  EXPECT_FALSE(LogFile.IsOpen());
  EXPECT_EQ(fs::file_size(m_logPath), desktopLog.size());
  EXPECT_EQ(ReadText(m_logPath), desktopLog);
  EXPECT_EQ(ReadText(m_profilePath), profile) << "the profile file belongs to the desktop";
  EXPECT_EQ(Profile().GetInt("Logging", "Type", 1), 2) << "its settings are still read";

  // Once the desktop has ended the command line logs as before (the file starts afresh).
  desktop.Unlock();
  InitProcessLog(m_logFolder);
  EXPECT_TRUE(LogFile.IsOpen());
  std::string log = ReadText(m_logPath);
  EXPECT_EQ(log.rfind("[ Sorvani Recovery Log ]\nVerbose\n", 0), 0u) << log;
  EXPECT_EQ(log.find("the desktop program's lines"), std::string::npos);
  EXPECT_NE(ReadText(m_profilePath).find("<Version>"), std::string::npos);
}

TEST_F(StartupTest, CrashReportingLogsItsAddressAndReportsBesideTheLog) {
  // The site file's address is logged; with none configured the built-in one is.
  for (std::string site : {std::string("SendCrashReportsTo = mailto:ops@example.org\n"),
                           std::string("SendCrashReportsTo=\n")}) {
    WriteText(m_dir + "/config/SorvaniRecovery/site.conf", site);
    std::string expected = site.find("ops@") != std::string::npos
                               ? std::string("mailto:ops@example.org")
                               : std::string(kBuiltInCrashReportAddress);
    EXPECT_EXIT(
        {
          LoadProfile();
          InstallCrashReporting(OpenProcessLog(m_logFolder));
          std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    std::string log = ReadText(m_logPath);
    EXPECT_NE(log.find("backtrace found. Installing crash report library.\n"), std::string::npos)
        << log;
    EXPECT_NE(log.find("Email for crash reports: " + expected + "\n"), std::string::npos) << log;
  }

  EXPECT_EXIT(
      {
        LoadProfile();
        InstallCrashReporting(OpenProcessLog(m_logFolder));
        ::raise(SIGSEGV);
        std::_Exit(4);
      },
      ::testing::KilledBySignal(SIGSEGV), "");
  std::string log = ReadText(m_logPath);
  std::string last = "Exception. Generating crash report...\n";
  ASSERT_GE(log.size(), last.size());
  EXPECT_EQ(log.substr(log.size() - last.size()), last) << log;
  bool reported = false;
  for (const auto& entry : fs::directory_iterator(m_logFolder)) {
    if (entry.path().filename().string().rfind("SorvaniRecovery-crash-", 0) != 0) continue;
    std::string report = ReadText(entry.path().string());
    EXPECT_NE(report.find("Sorvani Recovery Log File: " + m_logPath + "\n"), std::string::npos);
    EXPECT_NE(report.find("Sorvani Recovery Crash Report"), std::string::npos);
    reported = true;
  }
  EXPECT_TRUE(reported);
}

TEST_F(StartupTest, CrashReportNamesTheLogWhenLoggingIsOff) {
  WriteText(m_profilePath, ProfileXml("<Logging><Type>0</Type></Logging>"));
  EXPECT_EXIT(
      {
        LoadProfile();
        InstallCrashReporting(OpenProcessLog(m_logFolder));
        ::raise(SIGSEGV);
        std::_Exit(4);
      },
      ::testing::KilledBySignal(SIGSEGV), "");
  EXPECT_FALSE(fs::exists(m_logPath));
  int reports = 0;
  for (const auto& entry : fs::directory_iterator(m_logFolder)) {
    std::string report = ReadText(entry.path().string());
    EXPECT_NE(report.find("Sorvani Recovery Log File: " + m_logPath + "\n"), std::string::npos)
        << report;
    ++reports;
  }
  EXPECT_EQ(reports, 1);
}

}  // namespace
}  // namespace sorvani
