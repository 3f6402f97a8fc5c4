#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/raw_device.h"

namespace sorvani {

CRawDevice::~CRawDevice() { Close(); }

bool CRawDevice::Open(const std::string& path) {
  Close();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    int saved = errno;
    ::close(fd);
    errno = saved;
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    return false;
  }
  m_isBlockDevice = S_ISBLK(st.st_mode);
  if (m_isBlockDevice) {
    std::uint64_t bytes = 0;
    if (::ioctl(fd, BLKGETSIZE64, &bytes) != 0) {
      int saved = errno;
      ::close(fd);
      errno = saved;
      return false;
    }
    m_size = bytes;
  } else {
    m_size = static_cast<std::uint64_t>(st.st_size);
  }
  m_fd = fd;
  return true;
}

void CRawDevice::Close() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
  m_size = 0;
  m_isBlockDevice = false;
}

std::int64_t CRawDevice::ReadAt(std::uint64_t offset, void* dst, std::size_t size) const {
  if (m_fd < 0) {
    errno = EBADF;
    return -1;
  }
  auto* out = static_cast<unsigned char*>(dst);
  std::size_t done = 0;
  while (done < size) {
    if (offset + done > static_cast<std::uint64_t>(INT64_MAX)) break;
    ssize_t n = ::pread(m_fd, out + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      // What came before the error would read as "the device ends here": the caller asks
      // again (in smaller pieces) and learns which bytes failed.
      return -1;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<std::int64_t>(done);
}

PathKind ClassifyPath(const std::string& path, int* errorCode) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errorCode) *errorCode = errno;
    return errno == ENOENT || errno == ENOTDIR ? PathKind::Missing : PathKind::Unreadable;
  }
  if (S_ISDIR(st.st_mode)) return PathKind::Directory;
  if (S_ISBLK(st.st_mode)) return PathKind::BlockDevice;
  if (S_ISREG(st.st_mode)) return PathKind::RegularFile;
  return PathKind::Other;
}

}  // namespace sorvani
