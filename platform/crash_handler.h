// The process's own crash handler: on a fatal signal it lets the program close its log, writes a
// report with a backtrace beside the log and ends the process by the same signal. Nothing is
// sent anywhere; the report only says where a person may send it.
#pragma once

#include <string>

namespace sorvani {

// Called on the crashing thread before the report is written; must be async-signal-safe.
using CrashCallback = void (*)();

struct CrashReportSettings {
  std::string subject;         // first line of the report
  std::string version;         // the program's version text
  std::string address;         // where the report may be sent; only written into it
  std::string logPath;         // named in the report whether or not a log is open
  std::string logDescription;  // the label of that line
  std::string reportFolder;    // empty: the log's folder; created at installation
};

// Whether backtraces can be taken here. Also loads the unwinder now, which a signal handler
// must not do.
bool CrashBacktraceAvailable();

// Installs the handler for SIGSEGV, SIGBUS, SIGILL, SIGFPE and SIGABRT on an alternate signal
// stack of the calling thread (so a stack overflow of that thread is still reported). Calling it
// again replaces the settings. False when the signal set-up failed.
bool InstallCrashHandler(CrashCallback callback, const CrashReportSettings& settings);

// "<folder>/SorvaniRecovery-crash-<pid>.txt": where the report of process `pid` goes.
std::string CrashReportPath(const std::string& folder, long pid);

}  // namespace sorvani
