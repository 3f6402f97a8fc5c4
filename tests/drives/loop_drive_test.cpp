#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "app/drive_tree.h"
#include "app/volume_facts.h"
#include "cli/cli.h"
#include "cli/cmd_catalogue.h"
#include "disk/drive_enum.h"
#include "disk/volume.h"
#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

// A loop device attached read-only for the length of one test, detached on every path.
class CLoopAttachment {
 public:
  explicit CLoopAttachment(const std::string& image) {
    std::string cmd = "losetup -r -f --show '" + image + "' 2>&1";
    if (std::FILE* p = ::popen(cmd.c_str(), "r")) {
      char line[512] = "";
      if (std::fgets(line, sizeof line, p)) m_output = line;
      int status = ::pclose(p);
      while (!m_output.empty() && (m_output.back() == '\n' || m_output.back() == ' '))
        m_output.pop_back();
      if (status == 0 && m_output.rfind("/dev/loop", 0) == 0) m_device = m_output;
    }
  }
  ~CLoopAttachment() {
    if (!m_device.empty()) std::system(("losetup -d " + m_device + " 2>/dev/null").c_str());
  }
  CLoopAttachment(const CLoopAttachment&) = delete;
  CLoopAttachment& operator=(const CLoopAttachment&) = delete;
  const std::string& Device() const { return m_device; }
  const std::string& Output() const { return m_output; }

 private:
  std::string m_device;
  std::string m_output;
};

TEST(LoopDrive, AttachedNtfsImageIsADriveByLetter) {
  if (::geteuid() != 0 || ::access("/dev/loop-control", F_OK) != 0)
    GTEST_SKIP() << "needs root and /dev/loop-control to attach a loop device";
  if (std::system("command -v losetup >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "losetup is not installed";
  std::string image = test::Fixture("ntfs-4k.img");
  ASSERT_FALSE(image.empty());
  CLoopAttachment loop(image);
  if (loop.Device().empty())
    GTEST_SKIP() << "losetup could not attach the image: " << loop.Output();

  CDriveTable::Instance().Clear();
  RetreiveHardwareInfo();
  char letter = 0;
  for (const auto& [l, disk] : LogicalDiskMap)
    if (disk.source == loop.Device()) letter = l;
  ASSERT_NE(letter, 0) << loop.Device() << " is not among the drives";
  const LogicalDisk& disk = LogicalDiskMap[letter];
  EXPECT_EQ(disk.type, kDriveFixed);
  EXPECT_EQ(disk.fsName, "NTFS");
  EXPECT_EQ(disk.label, "SORVANI4K");
  EXPECT_EQ(disk.size, 50331648u);
  bool underItsDisk = false;
  for (const auto& [index, mapped] : DriveDiskMap)
    if (mapped == letter && index < DiskList.size() && DiskList[index].caption == image)
      underItsDisk = true;
  EXPECT_TRUE(underItsDisk) << "the loop device's group is titled with its backing file";

  VolumeInformation info;
  ASSERT_TRUE(GetVolumeInformation(letter, info));
  EXPECT_EQ(info.capacity, 12287u * 4096);
  EXPECT_TRUE(info.freeKnown);
  DriveTree tree = BuildDriveTree(LogicalDiskMap, DiskList, DriveDiskMap);
  EXPECT_TRUE(tree.ntfsLetters.count(letter));

  // The catalogue finds the drive by its letter.
  std::string source = std::string(1, letter) + ":";
  cli::Args args({source, "--deleted-only", "--json"});
  std::fflush(stdout);
  int saved = ::dup(1);
  int null = ::open("/dev/null", O_WRONLY);
  ::dup2(null, 1);
  int rc = cli::RunList(args);
  std::fflush(stdout);
  ::dup2(saved, 1);
  ::close(saved);
  ::close(null);
  EXPECT_EQ(rc, cli::kExitOk);
  CDriveTable::Instance().Clear();
}

}  // namespace
}  // namespace sorvani
