#include "app/startup.h"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <exception>
#include <string>

#include "foundation/log.h"
#include "foundation/profile.h"
#include "platform/crash_handler.h"
#include "platform/instance_lock.h"
#include "platform/os_info.h"
#include "platform/paths.h"
#include "platform/site_config.h"

namespace sorvani {

// The .invalid domain never resolves: without a configured address there is nowhere to send.
const char kBuiltInCrashReportAddress[] = "mailto:crash-reports@sorvani-recovery.invalid";

namespace {

void CloseLogForCrash() { LogFile.WriteAlwaysAndClose("Exception. Generating crash report...\n"); }

}  // namespace

void LoadProfile(bool save) {
  CXMLProfile& profile = Profile();
  try {
    std::string folder = ProfileFolder();
    MakeFolders(folder);
    profile.SetPath(folder + "/Profile.xml");
    profile.Load();
    profile.SetString("Application", "Version", kApplicationVersion);
    if (save) profile.Save();
  } catch (const std::exception&) {
    // Only memory exhaustion can get here; the defaults stay in effect.
  }
}

std::string OpenProcessLog(const std::string& folder) {
  CXMLProfile& profile = Profile();
  std::string logFolder = folder.empty() ? StateFolder() : folder;
  std::string path = logFolder + "/" + kLogFileName;
  int type = profile.GetInt("Logging", "Type", 1);
  if (type <= 0) return path;  // no log at all, not even an empty file
  if (!MakeFolders(logFolder) || !LogFile.Open(path)) return path;
  std::uint64_t limit = CLogFile::kDefaultSizeLimit;
  if (profile.GetInt("Logging", "LogSizeIsLimited", 1) != 0)
    limit = std::uint64_t(std::clamp(profile.GetInt("Logging", "MaxLogSize", 51), 1, 51)) * 102400;
  LogFile.SetSizeLimit(limit);
  LogFile.SetLevel(type - 1);
  WriteLogHeader();
  return path;
}

void WriteLogHeader() {
  LogFile.Write(0, "[ Sorvani Recovery Log ]\n");
  LogFile.Write(1, "Verbose\n");
  LogFile.Write(0, "Operating System: %s\n", OperatingSystemText().c_str());
  LogFile.Write(0, "Application version: %s\n", kApplicationVersion);
  char when[128] = "";
  std::time_t now = std::time(nullptr);
  std::tm local{};
  if (!localtime_r(&now, &local) || !std::strftime(when, sizeof when, "%B %d, %Y %I:%M %p", &local))
    when[0] = 0;
  LogFile.Write(0, "System time: %s\n", when);
}

void InstallCrashReporting(const std::string& logPath) {
  if (!CrashBacktraceAvailable()) {
    LogFile.WriteAlways("backtrace not found or invalid. Crash reporting is disabled.\n");
    return;
  }
  LogFile.WriteAlways("backtrace found. Installing crash report library.\n");
  std::string address = SiteSetting("SendCrashReportsTo");
  if (address.empty()) address = kBuiltInCrashReportAddress;
  LogFile.WriteAlways("Email for crash reports: %s\n", address.c_str());
  CrashReportSettings settings;
  settings.subject = "Sorvani Recovery Crash Report";
  settings.version = kApplicationVersion;
  settings.address = address;
  settings.logPath = logPath;
  settings.logDescription = "Sorvani Recovery Log File";
  if (!InstallCrashHandler(&CloseLogForCrash, settings))
    LogFile.WriteAlways("Crash handler could not be installed. Crash reporting is disabled.\n");
}

void InitProcessLog(const std::string& logFolder) {
  bool desktopRunning = InstanceRunning(InstanceFolder(false));
  LoadProfile(!desktopRunning);
  if (!desktopRunning) OpenProcessLog(logFolder);
}

}  // namespace sorvani
