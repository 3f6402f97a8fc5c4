#include <gtest/gtest.h>

#include <fstream>

#include "platform/block_devices.h"
#include "platform/mount_table.h"
#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

TEST(MountTable, EscapesDecodeOnlyWhenWhole) {
  EXPECT_EQ(DecodeMountEscapes("/mnt/my\\040disk"), "/mnt/my disk");
  EXPECT_EQ(DecodeMountEscapes("a\\011b\\012c\\134d"), "a\tb\nc\\d");
  // Broken or cut escapes stay as written rather than reading past the text.
  EXPECT_EQ(DecodeMountEscapes("end\\04"), "end\\04");
  EXPECT_EQ(DecodeMountEscapes("end\\"), "end\\");
  EXPECT_EQ(DecodeMountEscapes("x\\999y"), "x\\999y");
  EXPECT_EQ(DecodeMountEscapes("nul\\000"), "nul\\000");
}

TEST(MountTable, LinesParseWithAndWithoutOptionalFields) {
  MountFacts m;
  ASSERT_TRUE(
      ParseMountInfoLine("36 35 98:0 /mnt1 /mnt/parent\\040dir rw,noatime master:1 shared:7 - ext3 "
                         "/dev/root rw,errors=continue",
                         m));
  EXPECT_EQ(m.major, 98u);
  EXPECT_EQ(m.minor, 0u);
  EXPECT_EQ(m.root, "/mnt1");
  EXPECT_EQ(m.mountPoint, "/mnt/parent dir");
  EXPECT_EQ(m.fsType, "ext3");
  EXPECT_EQ(m.source, "/dev/root");

  ASSERT_TRUE(ParseMountInfoLine("1 0 0:5 / / rw - nfs4 srv:/x\\040y rw", m));
  EXPECT_EQ(m.source, "srv:/x y");

  const char* bad[] = {
      "",
      "36 35 98:0 /mnt1 /mnt/parent rw",                      // no separator
      "36 35 98:0 /mnt1 /mnt/parent rw -",                    // nothing after it
      "36 35 98:0 /mnt1 /mnt/parent rw - ext3",               // no source
      "36 35 98-0 /mnt1 /mnt/parent rw - ext3 /dev/root rw",  // device number
      "36 35 98:99999999999 / /m rw - ext3 /dev/root rw",     // out of range
      "36 35 98:0 / relative rw - ext3 /dev/root rw",         // not a path
  };
  for (const char* line : bad) EXPECT_FALSE(ParseMountInfoLine(line, m)) << line;

  // Every cut of a good line either parses or is refused; none reads past its end.
  std::string good = "36 35 98:0 /mnt1 /mnt/a\\040b rw,noatime master:1 - ext3 /dev/root rw";
  for (std::size_t n = 0; n <= good.size(); ++n) {
    MountFacts cut;
    if (ParseMountInfoLine(std::string_view(good).substr(0, n), cut)) {
      EXPECT_GE(n, good.find("/dev/root")) << n;
    }
  }
}

TEST(MountTable, FileReadingSkipsBadLinesAndNetworkTypesAreKnown) {
  std::string dir = test::ScratchFolder("MountTableFile");
  std::ofstream(dir + "/mountinfo") << "garbage line\n"
                                       "26 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
                                       "\n"
                                       "44 26 0:39 / /srv rw - cifs //nas/share rw\n";
  auto mounts = ReadMountInfo(dir + "/mountinfo");
  ASSERT_EQ(mounts.size(), 2u);
  EXPECT_EQ(mounts[0].mountPoint, "/");
  EXPECT_FALSE(IsNetworkFileSystem(mounts[0].fsType));
  EXPECT_TRUE(IsNetworkFileSystem(mounts[1].fsType));
  EXPECT_TRUE(IsNetworkFileSystem("fuse.sshfs"));
  EXPECT_FALSE(IsNetworkFileSystem("fuseblk"));
  EXPECT_TRUE(ReadMountInfo(dir + "/missing").empty());

  std::uint64_t capacity = 0, free = 0;
  ASSERT_TRUE(QueryMountSpace(dir, capacity, free));
  EXPECT_GT(capacity, 0u);
  EXPECT_LE(free, capacity);
  EXPECT_FALSE(QueryMountSpace(dir + "/missing", capacity, free));
}

TEST(BlockDevices, AttributeTextAndDeviceNumbers) {
  std::string dir = test::ScratchFolder("BlockDevicesAttr");
  std::ofstream(dir + "/model") << "Cruzer Blade    \n";
  std::string text;
  ASSERT_TRUE(ReadAttributeText(dir + "/model", text));
  EXPECT_EQ(text, "Cruzer Blade    ");
  std::ofstream(dir + "/big") << std::string(10000, 'x');
  ASSERT_TRUE(ReadAttributeText(dir + "/big", text, 100));
  EXPECT_EQ(text.size(), 100u) << "reads stop at the limit";
  EXPECT_FALSE(ReadAttributeText(dir + "/missing", text));

  unsigned major = 0, minor = 0;
  EXPECT_TRUE(ParseDevNumber("259:12", major, minor));
  EXPECT_EQ(major, 259u);
  EXPECT_EQ(minor, 12u);
  EXPECT_FALSE(ParseDevNumber("259:", major, minor));
  EXPECT_FALSE(ParseDevNumber(":1", major, minor));
  EXPECT_FALSE(ParseDevNumber("8:1x", major, minor));
  EXPECT_FALSE(ParseDevNumber("99999999999:1", major, minor));
}

}  // namespace
}  // namespace sorvani
