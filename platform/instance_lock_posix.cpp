#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/instance_lock.h"
#include "platform/paths.h"

namespace sorvani {
namespace {

constexpr char kLockName[] = "/instance.lock";

enum class FolderState { kMissing, kUsable, kRefused };

// lstat, not stat: a symbolic link planted in place of the folder is refused.
FolderState CheckFolder(const std::string& path, mode_t forbidden) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0)
    return errno == ENOENT ? FolderState::kMissing : FolderState::kRefused;
  if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & forbidden) != 0)
    return FolderState::kRefused;
  return FolderState::kUsable;
}

// `folder` when it passes CheckFolder; a folder that is still missing counts only for a probe
// (nothing was to be made).
std::string Usable(const std::string& folder, mode_t forbidden, bool create) {
  switch (CheckFolder(folder, forbidden)) {
    case FolderState::kUsable:
      return folder;
    case FolderState::kMissing:
      return create ? std::string() : folder;
    case FolderState::kRefused:
      return {};
  }
  return {};
}

std::string RuntimeFolder(bool create) {
  const char* base = std::getenv("XDG_RUNTIME_DIR");
  if (!base || base[0] != '/') return {};
  struct stat st {};
  if (::stat(base, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
      (st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
    return {};
  std::string folder = std::string(base) + "/SorvaniRecovery";
  if (create && ::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return {};
  return Usable(folder, S_IRWXG | S_IRWXO, create);
}

std::string FallbackFolder(bool create) {
  std::string folder = ProfileFolder();
  if (create && !MakeFolders(folder)) return {};
  return Usable(folder, S_IWGRP | S_IWOTH, create);
}

}  // namespace

std::string InstanceFolder(bool create) {
  std::string folder = RuntimeFolder(create);
  return folder.empty() ? FallbackFolder(create) : folder;
}

CInstanceLock::~CInstanceLock() { Unlock(); }

bool CInstanceLock::TryLock(const std::string& folder) {
  Unlock();
  if (folder.empty()) return false;
  std::string path = folder + kLockName;
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
  if (fd < 0) return false;
  // A probe (InstanceRunning) holds a shared lock for an instant; a start meeting it retries
  // briefly instead of taking the prober for a running instance.
  for (int attempt = 0;; ++attempt) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      m_fd = fd;
      return true;
    }
    if ((errno != EWOULDBLOCK && errno != EINTR) || attempt == 4) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::close(fd);
  return false;
}

void CInstanceLock::Unlock() {
  if (m_fd >= 0) ::close(m_fd);  // closing the only descriptor releases the flock
  m_fd = -1;
}

bool InstanceRunning(const std::string& folder) {
  if (folder.empty()) return false;
  std::string path = folder + kLockName;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY);
  if (fd < 0) return false;
  bool held = false;
  while (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    held = errno == EWOULDBLOCK;
    break;
  }
  ::close(fd);
  return held;
}

}  // namespace sorvani
