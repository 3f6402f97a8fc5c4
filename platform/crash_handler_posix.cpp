#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/crash_handler.h"
#include "platform/paths.h"

namespace sorvani {
namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr char kReportPrefix[] = "/SorvaniRecovery-crash-";

// Everything the handler needs is copied here at installation: a handler may not allocate.
struct CrashState {
  CrashCallback callback = nullptr;
  char subject[256] = "";
  char version[64] = "";
  char address[512] = "";
  char logPath[4096] = "";
  char logDescription[256] = "";
  char reportFolder[4096] = "";
};
CrashState g_state;

// Large enough for backtrace_symbols_fd and the callback; static so installing needs no heap.
alignas(16) char g_altStack[256 * 1024];
std::atomic<long> g_reportingThread{0};

void CopyText(char* out, std::size_t capacity, const std::string& text) {
  std::size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
  std::memcpy(out, text.data(), n);
  out[n] = 0;
}

// A small append-only text buffer on the stack, with async-signal-safe number formatting.
class CLineBuffer {
 public:
  void Add(const char* text) {
    while (*text && m_length < sizeof m_text) m_text[m_length++] = *text++;
  }
  void AddDecimal(unsigned long long value) {
    char digits[24];
    int n = 0;
    do digits[n++] = static_cast<char>('0' + value % 10);
    while ((value /= 10) != 0 && n < 24);
    while (n > 0 && m_length < sizeof m_text) m_text[m_length++] = digits[--n];
  }
  void AddHex(unsigned long long value) {
    Add("0x");
    for (int shift = 60; shift >= 0; shift -= 4) {
      if (m_length < sizeof m_text) m_text[m_length++] = "0123456789abcdef"[(value >> shift) & 15];
    }
  }
  void WriteTo(int fd) {
    const char* p = m_text;
    std::size_t left = m_length;
    while (left > 0) {
      ssize_t w = ::write(fd, p, left);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) break;
      p += w;
      left -= static_cast<std::size_t>(w);
    }
    m_length = 0;
  }

 private:
  char m_text[6144];
  std::size_t m_length = 0;
};

const char* SignalName(int signal) {
  switch (signal) {
    case SIGSEGV:
      return "SIGSEGV";
    case SIGBUS:
      return "SIGBUS";
    case SIGILL:
      return "SIGILL";
    case SIGFPE:
      return "SIGFPE";
    case SIGABRT:
      return "SIGABRT";
  }
  return "?";
}

void WriteReport(int signal, const siginfo_t* info, void* const* frames, int frameCount) {
  // The path is built by hand: no allocation is allowed here.
  const char* folder = g_state.reportFolder;
  char path[sizeof g_state.reportFolder + 64];
  std::size_t n = std::strlen(folder);
  if (n + sizeof kReportPrefix + 32 > sizeof path) return;
  std::memcpy(path, folder, n);
  std::memcpy(path + n, kReportPrefix, sizeof kReportPrefix - 1);
  n += sizeof kReportPrefix - 1;
  char digits[24];
  int d = 0;
  unsigned long long pid = static_cast<unsigned long long>(::getpid());
  do digits[d++] = static_cast<char>('0' + pid % 10);
  while ((pid /= 10) != 0);
  while (d > 0) path[n++] = digits[--d];
  std::memcpy(path + n, ".txt", 5);
  int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
  if (fd < 0) return;
  CLineBuffer line;
  line.Add(g_state.subject);
  line.Add("\nVersion: ");
  line.Add(g_state.version);
  line.Add("\nSignal: ");
  line.AddDecimal(static_cast<unsigned long long>(signal));
  line.Add(" (");
  line.Add(SignalName(signal));
  line.Add(")\nFault address: ");
  line.AddHex(reinterpret_cast<unsigned long long>(info ? info->si_addr : nullptr));
  line.Add("\nProcess: ");
  line.AddDecimal(static_cast<unsigned long long>(::getpid()));
  line.Add("\n");
  line.Add(g_state.logDescription);
  line.Add(": ");
  line.Add(g_state.logPath);
  line.Add("\nSend this report to: ");
  line.Add(g_state.address);
  line.Add(" (nothing has been sent)\nBacktrace:\n");
  line.WriteTo(fd);
  if (frameCount > 0) ::backtrace_symbols_fd(frames, frameCount, fd);
  ::close(fd);
}

[[noreturn]] void DieBy(int signal) {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  ::sigaction(signal, &action, nullptr);
  sigset_t unblock;
  sigemptyset(&unblock);
  sigaddset(&unblock, signal);
  ::sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
  ::raise(signal);
  ::_exit(128 + signal);
}

void OnFatalSignal(int signal, siginfo_t* info, void*) {
  long self = ::syscall(SYS_gettid);
  long expected = 0;
  if (!g_reportingThread.compare_exchange_strong(expected, self)) {
    if (expected == self) DieBy(signal);  // the handler itself failed
    for (;;) ::pause();                   // another thread reports and ends the process
  }
  void* frames[64];
  int count = ::backtrace(frames, 64);
  if (g_state.callback) g_state.callback();
  // Frame 0 is this handler; the report starts at the signal trampoline and the faulting code.
  WriteReport(signal, info, frames + 1, count > 1 ? count - 1 : 0);
  DieBy(signal);
}

}  // namespace

bool CrashBacktraceAvailable() {
  void* frames[4];
  return ::backtrace(frames, 4) > 0;
}

std::string CrashReportPath(const std::string& folder, long pid) {
  return folder + kReportPrefix + std::to_string(pid) + ".txt";
}

bool InstallCrashHandler(CrashCallback callback, const CrashReportSettings& settings) {
  CrashBacktraceAvailable();
  g_state.callback = callback;
  CopyText(g_state.subject, sizeof g_state.subject, settings.subject);
  CopyText(g_state.version, sizeof g_state.version, settings.version);
  CopyText(g_state.address, sizeof g_state.address, settings.address);
  CopyText(g_state.logPath, sizeof g_state.logPath, settings.logPath);
  CopyText(g_state.logDescription, sizeof g_state.logDescription, settings.logDescription);
  std::string folder = settings.reportFolder;
  if (folder.empty()) {
    std::size_t slash = settings.logPath.rfind('/');
    folder = slash == std::string::npos ? std::string(".") : settings.logPath.substr(0, slash);
  }
  CopyText(g_state.reportFolder, sizeof g_state.reportFolder, folder);
  // The folder is made now: with logging off nothing else creates it, and a handler cannot.
  MakeFolders(folder);

  stack_t stack{};
  stack.ss_sp = g_altStack;
  stack.ss_size = sizeof g_altStack;
  if (::sigaltstack(&stack, nullptr) != 0) return false;
  struct sigaction action {};
  action.sa_sigaction = OnFatalSignal;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  bool ok = true;
  for (int signal : kFatalSignals) ok = ::sigaction(signal, &action, nullptr) == 0 && ok;
  return ok;
}

}  // namespace sorvani
