// Whether this process may read raw disks: the Linux stand-in for the administrator check.
#pragma once

#include <sys/types.h>

#include <optional>
#include <vector>

namespace sorvani {

// True for effective uid 0, or when the group "disk" (which owns the block devices) is the
// effective group or one of the supplementary groups.
bool HasRawDiskAccess();

// The same rule over given facts; `diskGroup` is empty when the system has no group "disk".
bool HasRawDiskAccess(uid_t effectiveUid, const std::vector<gid_t>& groups,
                      std::optional<gid_t> diskGroup);

}  // namespace sorvani
