// Start-up pieces both front ends call in their own order: the profile, the process log with its
// header, and crash reporting.
#pragma once

#include <string>

#include "app/version.h"

namespace sorvani {

inline constexpr char kLogFileName[] = "SorvaniRecovery.log";
// Logged, and written into crash reports, when the site configuration names no address.
extern const char kBuiltInCrashReportAddress[];

// Points the profile at Profile.xml in the profile folder, loads it and stamps
// Application/Version; saves it unless `save` is false. A missing, unreadable or hand-broken
// profile leaves the defaults in effect; nothing here throws.
void LoadProfile(bool save = true);

// Opens "<folder>/SorvaniRecovery.log" (folder empty: StateFolder()) as the profile's Logging
// settings say, sets its limit and level and writes the header. Returns the log's path even
// when no log is opened (Logging/Type 0, or a folder that cannot be written: the program then
// runs without a log).
std::string OpenProcessLog(const std::string& folder = std::string());

// The header every log starts with: banner, "Verbose" at level 1, system, version, time.
void WriteLogHeader();

// Logs the crash-reporting lines and installs the crash handler, whose report names `logPath`
// (opened or not). The address from the site configuration is only logged and written into the
// report; nothing is sent.
void InstallCrashReporting(const std::string& logPath);

// The command line's start-up: LoadProfile, then OpenProcessLog. While the desktop program
// runs (its instance lock is held) the log file and the profile file are its own: the command
// line then opens no log and does not save the profile.
void InitProcessLog(const std::string& logFolder = std::string());

}  // namespace sorvani
