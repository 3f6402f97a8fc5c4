#include <grp.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "platform/access_check.h"

namespace sorvani {

bool HasRawDiskAccess(uid_t effectiveUid, const std::vector<gid_t>& groups,
                      std::optional<gid_t> diskGroup) {
  if (effectiveUid == 0) return true;
  return diskGroup && std::find(groups.begin(), groups.end(), *diskGroup) != groups.end();
}

bool HasRawDiskAccess() {
  std::vector<gid_t> groups{::getegid()};
  int count = ::getgroups(0, nullptr);
  if (count > 0) {
    std::vector<gid_t> extra(static_cast<std::size_t>(count));
    count = ::getgroups(count, extra.data());
    if (count > 0) groups.insert(groups.end(), extra.begin(), extra.begin() + count);
  }
  std::optional<gid_t> disk;
  // getgrnam_r: the start-up may already run other threads (Qt's).
  group entry{};
  group* found = nullptr;
  std::vector<char> buffer(16384);
  if (::getgrnam_r("disk", &entry, buffer.data(), buffer.size(), &found) == 0 && found)
    disk = found->gr_gid;
  return HasRawDiskAccess(::geteuid(), groups, disk);
}

}  // namespace sorvani
