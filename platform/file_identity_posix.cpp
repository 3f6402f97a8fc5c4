#include "platform/file_identity.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <memory>

namespace sorvani {

bool GetFileIdentity(const std::string& path, FileIdentity& out) {
  out = FileIdentity{};
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  if (S_ISBLK(st.st_mode)) {
    out.device = static_cast<std::uint64_t>(st.st_rdev);
  } else {
    out.device = static_cast<std::uint64_t>(st.st_dev);
    out.inode = static_cast<std::uint64_t>(st.st_ino);
    out.modified = static_cast<std::uint64_t>(st.st_mtim.tv_sec) * 1000000000u +
                   static_cast<std::uint64_t>(st.st_mtim.tv_nsec);
    out.size = static_cast<std::uint64_t>(st.st_size);
  }
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
  if (real) out.realPath = real.get();
  return true;
}

}  // namespace sorvani
