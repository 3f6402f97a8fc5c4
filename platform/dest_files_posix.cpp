#include "platform/dest_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace sorvani {

bool CDestFile::Create(const std::string& path, CreateMode mode, int& error) {
  Close();
  int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC;
  flags |= mode == CreateMode::kCreateNew ? O_EXCL : O_TRUNC;
  m_fd = ::open(path.c_str(), flags, 0666);
  error = m_fd < 0 ? errno : 0;
  return m_fd >= 0;
}

namespace {

// Pieces of zeros at least this long become holes; shorter ones are not worth two calls.
constexpr std::size_t kMinHole = 4096;

bool AllZero(const std::uint8_t* p, std::size_t size) {
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, p + i, 8);
    if (word != 0) return false;
  }
  for (; i < size; ++i)
    if (p[i] != 0) return false;
  return true;
}

}  // namespace

bool CDestFile::Write(const void* data, std::size_t size, int& error) {
  error = 0;
  const auto* p = static_cast<const std::uint8_t*>(data);
  if (size >= kMinHole && AllZero(p, size)) {
    off_t end = ::lseek(m_fd, static_cast<off_t>(size), SEEK_CUR);
    if (end >= 0 && ::ftruncate(m_fd, end) == 0) return true;
    error = errno;
    return false;
  }
  while (size > 0) {
    ssize_t n = ::write(m_fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = errno;
      return false;
    }
    if (n == 0) {
      error = ENOSPC;
      return false;
    }
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

void CDestFile::Close() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

bool RenameNoReplace(const std::string& from, const std::string& to, int& error) {
  error = 0;
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) {
    error = errno;
    return false;
  }
  // File systems without the flag (FUSE ones among them): a link cannot replace either.
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return true;
  }
  if (errno == EEXIST) {
    error = EEXIST;
    return false;
  }
  // No hard links either (FAT): checked first, then renamed.
  if (PathExists(to)) {
    error = EEXIST;
    return false;
  }
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  error = errno;
  return false;
}

bool IsPathNotFound(int error) { return error == ENOENT || error == ENOTDIR; }
bool IsAlreadyExists(int error) { return error == EEXIST; }

bool MakeFolder(const std::string& path, int& error) {
  if (::mkdir(path.c_str(), 0777) == 0) {
    error = 0;
    return true;
  }
  error = errno;
  return false;
}

bool MakeFolderChain(const std::string& path, int& error) {
  error = 0;
  std::string sofar;
  std::size_t i = 0;
  while (i < path.size()) {
    std::size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    if (j > i) {
      sofar += "/" + path.substr(i, j - i);
      if (!MakeFolder(sofar, error) && !(IsAlreadyExists(error) && IsDirectory(sofar)))
        return false;
    }
    i = j + 1;
  }
  error = 0;
  return true;
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool SetNtfsAttributeBits(const std::string& path, std::uint32_t attributes) {
  const std::uint8_t be[4] = {
      static_cast<std::uint8_t>(attributes >> 24), static_cast<std::uint8_t>(attributes >> 16),
      static_cast<std::uint8_t>(attributes >> 8), static_cast<std::uint8_t>(attributes)};
  return ::lsetxattr(path.c_str(), "system.ntfs_attrib_be", be, sizeof be, 0) == 0;
}

bool ApplyReadOnlyMode(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) return false;
  return ::chmod(path.c_str(), st.st_mode & 07555) == 0;
}

std::string NearestExistingFolder(const std::string& path) {
  std::string p = path.empty() ? std::string("/") : path;
  for (;;) {
    struct stat st {};
    if (::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return p;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    auto slash = p.find_last_of('/');
    if (slash == std::string::npos) return ".";
    p = slash == 0 ? "/" : p.substr(0, slash);
  }
}

bool DestinationFreeSpace(const std::string& path, std::uint64_t& bytes) {
  struct statvfs vfs {};
  if (::statvfs(NearestExistingFolder(path).c_str(), &vfs) != 0) return false;
  bytes = static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
  return true;
}

bool DestinationFileSystem(const std::string& path, std::string& name) {
  struct stat st {};
  if (::stat(NearestExistingFolder(path).c_str(), &st) != 0) return false;
  // mountinfo: id parent major:minor root mountpoint options [optional...] - fstype source ...
  std::ifstream in("/proc/self/mountinfo");
  std::string line;
  std::string want = std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
  bool found = false;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string id, parent, dev;
    if (!(words >> id >> parent >> dev) || dev != want) continue;
    auto dash = line.find(" - ");
    if (dash == std::string::npos) continue;
    std::istringstream tail(line.substr(dash + 3));
    std::string type;
    if (tail >> type) {
      name = type;
      found = true;  // the last mount of the device wins, as the kernel stacks them
    }
  }
  return found;
}

}  // namespace sorvani
