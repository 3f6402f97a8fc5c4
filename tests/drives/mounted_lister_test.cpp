#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "index/mounted_lister.h"
#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

const LiveItem* Named(const std::vector<LiveItem>& items, const std::string& name) {
  auto it =
      std::find_if(items.begin(), items.end(), [&](const LiveItem& i) { return i.name == name; });
  return it == items.end() ? nullptr : &*it;
}

TEST(MountedLister, ListsFoldersUnderTheMountPoint) {
  std::string mount = test::ScratchFolder("MountedListerTree");
  ::mkdir((mount + "/My Photos").c_str(), 0755);
  std::ofstream(mount + "/My Photos/cat.jpg") << "12345";
  std::ofstream(mount + "/readme.txt") << "hello world";
  std::ofstream(mount + "/.hidden") << "";
  ::chmod((mount + "/readme.txt").c_str(), 0444);
  // 2001-01-01 00:00:00 UTC, a time with a known file-time value.
  timespec times[2] = {{978307200, 0}, {978307200, 500}};
  ::utimensat(AT_FDCWD, (mount + "/readme.txt").c_str(), times, 0);

  CMountedLister lister(mount + "/", /*recordsFromInodes=*/true);
  std::vector<LiveItem> items;
  ASSERT_TRUE(lister.List("D:\\", 0, items));
  ASSERT_EQ(items.size(), 3u);
  const LiveItem* folder = Named(items, "My Photos");
  const LiveItem* file = Named(items, "readme.txt");
  const LiveItem* hidden = Named(items, ".hidden");
  ASSERT_TRUE(folder && file && hidden);
  EXPECT_EQ(folder->attributes & 0x10u, 0x10u);
  EXPECT_EQ(file->attributes & 0x10u, 0u);
  EXPECT_EQ(file->attributes & 0x1u, 0x1u) << "no write bits reads as read-only";
  EXPECT_EQ(hidden->attributes & 0x2u, 0x2u);
  EXPECT_EQ(file->size, 11u);
  EXPECT_EQ(file->modified, 126227808000000005ull);
  struct stat st {};
  ASSERT_EQ(::stat((mount + "/readme.txt").c_str(), &st), 0);
  EXPECT_EQ(file->record, static_cast<std::uint32_t>(st.st_ino));

  ASSERT_TRUE(lister.List("D:\\My Photos\\", 0, items));
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].name, "cat.jpg");
  EXPECT_EQ(items[0].size, 5u);
  ASSERT_EQ(::stat((mount + "/My Photos").c_str(), &st), 0);
  EXPECT_EQ(lister.RecordOf("D:\\My Photos\\"), static_cast<std::uint32_t>(st.st_ino));

  // Paths that would leave the mount point, or do not exist, are refused.
  EXPECT_FALSE(lister.List("D:\\..\\", 0, items));
  EXPECT_FALSE(lister.List("D:\\My Photos\\..\\..\\", 0, items));
  EXPECT_FALSE(lister.List("D:\\a/..\\", 0, items));
  EXPECT_FALSE(lister.List("D:\\gone\\", 0, items));
  EXPECT_FALSE(lister.List("D:\\readme.txt\\", 0, items)) << "a file is not a folder";
  EXPECT_EQ(lister.RecordOf("D:\\gone\\"), 0u);

  // On a file system other than NTFS inode numbers mean nothing to the catalogue.
  CMountedLister other(mount, /*recordsFromInodes=*/false);
  ASSERT_TRUE(other.List("D:\\", 0, items));
  for (const LiveItem& item : items) EXPECT_EQ(item.record, 0u);
  EXPECT_EQ(other.RecordOf("D:\\My Photos\\"), 0u);
}

TEST(MountedLister, FactoryPicksByMountState) {
  auto mounted = MakeLiveLister("/mnt/x", true, nullptr);
  EXPECT_NE(dynamic_cast<CMountedLister*>(mounted.get()), nullptr);
  auto unmounted = MakeLiveLister("", true, nullptr);
  EXPECT_NE(dynamic_cast<CNtfsIndexLister*>(unmounted.get()), nullptr);
  std::vector<LiveItem> items;
  EXPECT_FALSE(unmounted->List("D:\\", 0, items)) << "no volume: nothing to list, no crash";

  std::string host;
  CMountedLister root("/", false);
  ASSERT_TRUE(root.HostPath("C:\\etc\\", host));
  EXPECT_EQ(host, "/etc");
  ASSERT_TRUE(root.HostPath("C:\\", host));
  EXPECT_EQ(host, "/");
  EXPECT_EQ(CMountedLister::FileTimeOf(0, 0), 116444736000000000ull);
  EXPECT_EQ(CMountedLister::FileTimeOf(-11644473601, 0), 0u);
}

}  // namespace
}  // namespace sorvani
