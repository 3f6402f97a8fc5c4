#include "platform/crash_handler.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/log.h"
#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

namespace fs = std::filesystem;

constexpr char kCrashLine[] = "Exception. Generating crash report...\n";

void CloseLogForCrash() { LogFile.WriteAlwaysAndClose(kCrashLine); }

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class CrashHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Fork only: the child must see the folder this process made.
    GTEST_FLAG_SET(death_test_style, "fast");
    m_dir = test::ScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    m_log = m_dir + "/logs/SorvaniRecovery.log";
    m_settings.subject = "Sorvani Recovery Crash Report";
    m_settings.version = "9.8.7 ";
    m_settings.address = "mailto:crash@example.org";
    m_settings.logPath = m_log;
    m_settings.logDescription = "Sorvani Recovery Log File";
  }

  // The reports in the log's folder (the child's pid is not known here).
  std::vector<std::string> Reports() const {
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(m_dir + "/logs", ec)) {
      std::string name = entry.path().filename().string();
      if (name.rfind("SorvaniRecovery-crash-", 0) == 0) found.push_back(entry.path().string());
    }
    return found;
  }

  // Frame lines after "Backtrace:".
  static int FrameCount(const std::string& report) {
    std::size_t at = report.find("Backtrace:\n");
    if (at == std::string::npos) return -1;
    std::istringstream rest(report.substr(at + 11));
    int frames = 0;
    for (std::string line; std::getline(rest, line);) frames += line.empty() ? 0 : 1;
    return frames;
  }

  std::string m_dir, m_log;
  CrashReportSettings m_settings;
};

TEST_F(CrashHandlerTest, FaultClosesTheLogAndWritesAReportBesideIt) {
  // A real fault at a known address: a store into a page that allows no access.
  void* page = ::mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(page, MAP_FAILED);
  EXPECT_EXIT(
      {
        fs::create_directories(m_dir + "/logs");
        LogFile.Open(m_log);
        LogFile.WriteAlways("before the fault\n");
        if (!InstallCrashHandler(&CloseLogForCrash, m_settings)) std::_Exit(3);
        *static_cast<volatile char*>(page) = 1;
        std::_Exit(4);
      },
      ::testing::KilledBySignal(SIGSEGV), "");
  ::munmap(page, 4096);

  std::string log = ReadText(m_log);
  EXPECT_EQ(log, std::string("before the fault\n") + kCrashLine);

  std::vector<std::string> reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  struct stat st {};
  ASSERT_EQ(::stat(reports[0].c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  std::string report = ReadText(reports[0]);
  EXPECT_EQ(report.rfind("Sorvani Recovery Crash Report\n", 0), 0u) << report;
  EXPECT_NE(report.find("Version: 9.8.7 \n"), std::string::npos) << report;
  EXPECT_NE(report.find("Signal: 11 (SIGSEGV)\n"), std::string::npos) << report;
  char address[64];
  std::snprintf(address, sizeof address, "Fault address: 0x%016llx\n",
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(page)));
  EXPECT_NE(report.find(address), std::string::npos) << report;
  EXPECT_NE(report.find("Sorvani Recovery Log File: " + m_log + "\n"), std::string::npos) << report;
  EXPECT_NE(report.find("mailto:crash@example.org (nothing has been sent)"), std::string::npos);
  EXPECT_GE(FrameCount(report), 1) << report;
  std::size_t pid = report.find("Process: ");
  ASSERT_NE(pid, std::string::npos);
  EXPECT_EQ(reports[0], CrashReportPath(m_dir + "/logs", std::atol(report.c_str() + pid + 9)));
}

TEST_F(CrashHandlerTest, ReportNamesTheLogEvenWithoutAnOpenLog) {
  LogFile.Close();
  EXPECT_EXIT(
      {
        // No log was opened: the folder does not exist yet either.
        if (!InstallCrashHandler(&CloseLogForCrash, m_settings)) std::_Exit(3);
        std::abort();
      },
      ::testing::KilledBySignal(SIGABRT), "");
  EXPECT_FALSE(fs::exists(m_log));
  std::vector<std::string> reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  std::string report = ReadText(reports[0]);
  EXPECT_NE(report.find("Signal: 6 (SIGABRT)\n"), std::string::npos) << report;
  EXPECT_NE(report.find("Sorvani Recovery Log File: " + m_log + "\n"), std::string::npos) << report;
  EXPECT_GE(FrameCount(report), 1) << report;
}

TEST_F(CrashHandlerTest, EachFatalSignalEndsTheProcessByThatSignal) {
  const struct {
    int signal;
    const char* name;
  } kSignals[] = {{SIGBUS, "SIGBUS"}, {SIGILL, "SIGILL"}, {SIGFPE, "SIGFPE"}};
  for (const auto& s : kSignals) {
    fs::remove_all(m_dir + "/logs");
    EXPECT_EXIT(
        {
          fs::create_directories(m_dir + "/logs");
          LogFile.Open(m_log);
          InstallCrashHandler(&CloseLogForCrash, m_settings);
          ::raise(s.signal);
          std::_Exit(4);
        },
        ::testing::KilledBySignal(s.signal), "")
        << s.name;
    std::vector<std::string> reports = Reports();
    ASSERT_EQ(reports.size(), 1u) << s.name;
    EXPECT_NE(ReadText(reports[0]).find(std::string("(") + s.name + ")"), std::string::npos);
    EXPECT_EQ(ReadText(m_log), kCrashLine) << s.name;
  }
}

}  // namespace
}  // namespace sorvani
