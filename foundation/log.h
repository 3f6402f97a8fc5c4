// The process-wide diagnostic log and the scope tracer that brackets a handler or a long step.
#pragma once

#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <string>

namespace sorvani {

#define SORVANI_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))

class CLogFile {
 public:
  static constexpr std::uint64_t kDefaultSizeLimit = 1073741824ull;  // 1 GiB

  CLogFile() = default;
  ~CLogFile();
  CLogFile(const CLogFile&) = delete;
  CLogFile& operator=(const CLogFile&) = delete;

  // Creates or truncates the file; on failure every later write is a no-op.
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return m_fd >= 0; }
  const std::string& Path() const { return m_path; }

  void SetSizeLimit(std::uint64_t bytes) { m_sizeLimit = bytes; }
  void SetLevel(int level) { m_threshold = level; }
  std::uint64_t SizeLimit() const { return m_sizeLimit; }
  int Level() const { return m_threshold; }

  void Write(int level, const char* format, ...) SORVANI_PRINTF(3, 4);
  void WriteAlways(const char* format, ...) SORVANI_PRINTF(2, 3);
  // "Error %lu(%XH): %s" with errno and its text, at `level`.
  void WriteLastError(int level);
  void WriteError(int level, int code);
  // For a crash handler: writes `text` as it stands (within the size limit) with write(2), then
  // closes the file. No formatting, allocation or lock, so it may run inside a signal handler.
  void WriteAlwaysAndClose(const char* text);

 private:
  void WriteFormatted(const char* format, va_list args);
  bool UnderLimit() const;

  std::string m_path;
  std::uint64_t m_sizeLimit = kDefaultSizeLimit;
  int m_threshold = 0;
  int m_fd = -1;
};

extern CLogFile LogFile;

// The system's text for an error number, empty when it has none.
std::string SystemErrorText(int code);

// Writes "Entering: name" now and "Leaving: name.    Completed in: x.xxx sec." at scope exit.
class ScopeTrace {
 public:
  ScopeTrace(int level, const char* name);
  ~ScopeTrace();
  ScopeTrace(const ScopeTrace&) = delete;
  ScopeTrace& operator=(const ScopeTrace&) = delete;

 private:
  int m_level;
  const char* m_name;
  std::chrono::steady_clock::time_point m_start;
};

}  // namespace sorvani
