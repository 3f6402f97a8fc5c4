#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/folder_listing.h"

namespace sorvani {
namespace {

bool Describe(int dirFd, const char* name, FolderEntryFacts& out) {
  struct statx st {};
  if (::statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_BASIC_STATS | STATX_BTIME,
              &st) != 0)
    return false;
  out.inode = st.stx_ino;
  out.isDirectory = S_ISDIR(st.stx_mode);
  out.isSymlink = S_ISLNK(st.stx_mode);
  out.mode = st.stx_mode & 07777;
  out.size = out.isDirectory ? 0 : st.stx_size;
  out.modifiedSeconds = st.stx_mtime.tv_sec;
  out.modifiedNanoseconds = st.stx_mtime.tv_nsec;
  // Not every file system keeps a creation time.
  out.hasBirthTime = (st.stx_mask & STATX_BTIME) != 0;
  if (out.hasBirthTime) {
    out.birthSeconds = st.stx_btime.tv_sec;
    out.birthNanoseconds = st.stx_btime.tv_nsec;
  }
  return true;
}

}  // namespace

bool ListFolderEntries(const std::string& folder, std::vector<FolderEntryFacts>& out) {
  out.clear();
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  DIR* dir = ::fdopendir(fd);
  if (!dir) {
    int saved = errno;
    ::close(fd);
    errno = saved;
    return false;
  }
  errno = 0;
  while (dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    FolderEntryFacts facts;
    facts.name = std::move(name);
    if (Describe(::dirfd(dir), entry->d_name, facts)) out.push_back(std::move(facts));
    errno = 0;
  }
  int failure = errno;
  ::closedir(dir);
  errno = failure;
  return failure == 0;
}

bool StatEntry(const std::string& path, FolderEntryFacts& out) {
  std::size_t slash = path.find_last_of('/');
  out.name = slash == std::string::npos ? path : path.substr(slash + 1);
  return Describe(AT_FDCWD, path.c_str(), out);
}

}  // namespace sorvani
