// Names and places at the destination: collision names, names that try to leave the
// destination, links planted inside it, and the checks of a destination folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "foundation/profile.h"
#include "recovery/dest_names.h"
#include "recovery/destination_check.h"
#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

namespace fs = std::filesystem;

TEST(DestNames, CollisionNames) {
  EXPECT_EQ(CollisionName("/out/report.doc", 42), "/out/report (42).doc");
  EXPECT_EQ(CollisionName("/out/.profile", 42), "/out/.profile (42)");
  EXPECT_EQ(CollisionName("/out/README", 7), "/out/README (7)");
  EXPECT_EQ(CollisionName("/out.d/README", 7), "/out.d/README (7)");
  EXPECT_EQ(CollisionName("/out/a.tar.gz", 4294967295u), "/out/a.tar (4294967295).gz");
}

TEST(DestNames, HostileNamesStayInside) {
  EXPECT_EQ(SafeName(""), "_");
  EXPECT_EQ(SafeName("."), "_");
  EXPECT_EQ(SafeName(".."), "__");
  EXPECT_EQ(SafeName("a/b"), "a_b");
  EXPECT_EQ(SafeName("\\x"), "_x");
  EXPECT_EQ(SafeName("a\x01\x1f\x7f"
                     "b"),
            "a___b");
  EXPECT_EQ(SafeName("x*y|z?<>:"), "x_y_z____");
  EXPECT_EQ(SafeName("..."), "...");  // harmless as a name
  EXPECT_EQ(SafeName("naïve"), "naïve");

  std::string root = test::ScratchFolder("dest_names");
  for (const char* hostile : {"..", "../..", "a/../../b", "\\..\\x", "\x01"}) {
    std::string path = JoinDestination(root, hostile);
    EXPECT_TRUE(PathLiesUnder(root, path)) << path;
    EXPECT_EQ(fs::path(path).parent_path(), fs::path(root)) << path;
  }
  EXPECT_FALSE(PathLiesUnder(root, root + "/../x"));
  EXPECT_FALSE(PathLiesUnder(root, root));
  EXPECT_FALSE(PathLiesUnder(root, "/etc/passwd"));
  EXPECT_FALSE(PathLiesUnder(root, "relative/x"));
  // A link inside the destination that leads out of it is not followed.
  fs::create_directories(root + "/outside");
  fs::create_directories(root + "/dest");
  fs::create_directory_symlink(root + "/outside", root + "/dest/link");
  EXPECT_FALSE(PathLiesUnder(root + "/dest", root + "/dest/link/file.txt"));
  EXPECT_TRUE(PathLiesUnder(root + "/dest", root + "/dest/sub/file.txt"));
  EXPECT_EQ(JoinSubfolder(root + "/dest/", "a/../b//c"), root + "/dest/a/__/b/c/");
}

TEST(DestinationCheck, ValidityFreeSpaceFileSystemAndRecentList) {
  std::string d;
  EXPECT_FALSE(NormalizeDestination("", d));
  EXPECT_FALSE(NormalizeDestination("relative/dir", d));
  for (const char* bad : {"/a|b", "/a<b", "/a>b", "/a*b", "/a?b"})
    EXPECT_FALSE(NormalizeDestination(bad, d)) << bad;
  ASSERT_TRUE(NormalizeDestination(" \t/tmp/out \t", d));
  EXPECT_EQ(d, "/tmp/out/");

  std::string root = test::ScratchFolder("dest_check");
  DestinationCheck c = CheckDestination(root + "/not-yet", 'Z', 1);
  EXPECT_TRUE(c.valid);
  EXPECT_FALSE(c.sameVolume);  // an image is never the file system holding the build tree
  EXPECT_TRUE(c.freeSpaceKnown);
  EXPECT_TRUE(c.enoughSpace);
  EXPECT_FALSE(CheckDestination(root, 'Z', ~0ull).enoughSpace);
  EXPECT_FALSE(c.fileSystem.empty());

  CXMLProfile& profile = Profile();
  std::string saved = profile.Path();
  profile.SetPath(root + "/Profile.xml");
  profile.Load();
  for (const char* dest : {"/a/", "/b/", "/c/", "/d/", "/e/", "/f/", "/B/"})
    RememberDestination(dest);
  EXPECT_EQ(RecentDestinations(), (std::vector<std::string>{"/B/", "/f/", "/e/", "/d/", "/c/"}));
  profile.SetPath(saved);
  profile.Load();
}

}  // namespace
}  // namespace sorvani
