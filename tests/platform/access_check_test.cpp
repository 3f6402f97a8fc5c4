#include "platform/access_check.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace sorvani {
namespace {

TEST(AccessCheckTest, RootOrTheDiskGroupReadRawDisks) {
  constexpr gid_t kDisk = 6;
  struct Case {
    uid_t uid;
    std::vector<gid_t> groups;
    std::optional<gid_t> disk;
    bool expected;
  } cases[] = {
      {0, {}, std::nullopt, true},             // root, even without a disk group
      {0, {0}, kDisk, true},                   // root
      {1000, {1000}, kDisk, false},            // ordinary user
      {1000, {1000, 27, kDisk}, kDisk, true},  // supplementary group disk
      {1000, {kDisk}, kDisk, true},            // effective group disk
      {1000, {kDisk}, std::nullopt, false},    // the system has no group disk
      {1000, {}, kDisk, false},                // no groups at all
      {1000, {7, 8}, kDisk, false},            // neighbouring ids are not disk
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HasRawDiskAccess(c.uid, c.groups, c.disk), c.expected)
        << "uid " << c.uid << " with " << c.groups.size() << " groups";
  }
  if (::geteuid() == 0) {
    EXPECT_TRUE(HasRawDiskAccess());
  }
}

}  // namespace
}  // namespace sorvani
