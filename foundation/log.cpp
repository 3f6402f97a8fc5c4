#include "foundation/log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace sorvani {

CLogFile LogFile;

CLogFile::~CLogFile() { Close(); }

bool CLogFile::Open(const std::string& path) {
  Close();
  m_path = path;
  // O_APPEND keeps each message one write at the end even when threads interleave.
  m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
  return m_fd >= 0;
}

void CLogFile::Close() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

bool CLogFile::UnderLimit() const {
  struct stat st {};
  if (::fstat(m_fd, &st) != 0) return false;
  return static_cast<std::uint64_t>(st.st_size) < m_sizeLimit;
}

void CLogFile::WriteFormatted(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  char small[512];
  int n = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (n < 0) return;
  std::string text;
  if (static_cast<std::size_t>(n) < sizeof small) {
    text.assign(small, static_cast<std::size_t>(n));
  } else {
    text.resize(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<std::size_t>(n));
  }
  std::erase(text, '\r');
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    ssize_t w = ::write(m_fd, p, left);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return;
    p += w;
    left -= static_cast<std::size_t>(w);
  }
}

void CLogFile::Write(int level, const char* format, ...) {
  if (m_fd < 0 || !UnderLimit() || level > m_threshold) return;
  va_list args;
  va_start(args, format);
  WriteFormatted(format, args);
  va_end(args);
}

void CLogFile::WriteAlways(const char* format, ...) {
  if (m_fd < 0 || !UnderLimit()) return;
  va_list args;
  va_start(args, format);
  WriteFormatted(format, args);
  va_end(args);
}

void CLogFile::WriteError(int level, int code) {
  std::string text = SystemErrorText(code);
  Write(level, "Error %lu(%XH): %s\n", static_cast<unsigned long>(code),
        static_cast<unsigned>(code), text.c_str());
}

void CLogFile::WriteAlwaysAndClose(const char* text) {
  int fd = m_fd;
  m_fd = -1;
  if (fd < 0) return;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && static_cast<std::uint64_t>(st.st_size) < m_sizeLimit) {
    const char* p = text;
    std::size_t left = std::strlen(text);
    while (left > 0) {
      ssize_t w = ::write(fd, p, left);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) break;
      p += w;
      left -= static_cast<std::size_t>(w);
    }
  }
  ::close(fd);
}

void CLogFile::WriteLastError(int level) { WriteError(level, errno); }

std::string SystemErrorText(int code) {
  char buf[256];
  // GNU strerror_r may return a static string instead of filling buf.
  const char* text = ::strerror_r(code, buf, sizeof buf);
  return text ? std::string(text) : std::string();
}

ScopeTrace::ScopeTrace(int level, const char* name)
    : m_level(level), m_name(name), m_start(std::chrono::steady_clock::now()) {
  LogFile.Write(m_level, "Entering: %s\n", m_name);
}

ScopeTrace::~ScopeTrace() {
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
  LogFile.Write(m_level, "Leaving: %s.    ", m_name);
  LogFile.Write(m_level, "Completed in: %0.3f sec.\n", seconds);
}

}  // namespace sorvani
