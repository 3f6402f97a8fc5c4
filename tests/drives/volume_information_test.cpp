#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <regex>

#include "cli/cli.h"
#include "cli/cmd_catalogue.h"
#include "cli/volume_information.h"
#include "disk/drive_enum.h"
#include "disk/volume.h"
#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

TEST(VolumeInformation, FatFreeCountKnownAnswers) {
  // FAT12: entries 0 and 1 reserved; 2 free, 3 -> 4 (odd entry), 4 free, 5 end of chain.
  // Pairs pack into three bytes: entry 2n in the low 12 bits.
  const std::uint8_t fat12[] = {0xF0, 0xFF, 0xFF, 0x00, 0x40, 0x00, 0x00, 0xF0, 0xFF};
  EXPECT_EQ(CountFreeFatEntries(fat12, sizeof fat12, kFsFat12, 2, 4), 2u);
  // A count past the buffer stops at its end instead of reading on: six bytes hold
  // entries 0 to 3 whole, and only entry 2 of them is free.
  EXPECT_EQ(CountFreeFatEntries(fat12, 6, kFsFat12, 2, 100), 1u);
  const std::uint8_t fat16[] = {0xF8, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00};
  EXPECT_EQ(CountFreeFatEntries(fat16, sizeof fat16, kFsFat16, 2, 3), 2u);
  // FAT32 ignores the top four bits: 0xF0000000 is free.
  const std::uint8_t fat32[] = {0xF8, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF, 0xFF, 0x0F,
                                0x00, 0x00, 0x00, 0xF0, 0x03, 0x00, 0x00, 0x00};
  EXPECT_EQ(CountFreeFatEntries(fat32, sizeof fat32, kFsFat32, 2, 2), 1u);
  EXPECT_EQ(CountFreeFatEntries(fat32, 15, kFsFat32, 2, 2), 1u) << "a cut last entry is not read";
}

// Clusters The Sleuth Kit lists as allocated in its FAT contents: "a-b (n) -> ...".
std::uint64_t AllocatedClustersInKey(const std::string& fsstat) {
  std::uint64_t total = 0;
  std::regex run(R"(\d+-\d+ \((\d+)\) ->)");
  for (auto it = std::sregex_iterator(fsstat.begin(), fsstat.end(), run);
       it != std::sregex_iterator(); ++it)
    total += std::stoull((*it)[1].str());
  return total;
}

TEST(VolumeInformation, UnmountedImagesCountFromTheirOwnStructures) {
  CDriveTable& table = CDriveTable::Instance();
  table.Clear();
  LogicalDiskMap.clear();
  std::string error;

  auto fat = table.RegisterImage(test::Fixture("fat32.img"), error);
  ASSERT_EQ(fat.size(), 1u) << error;
  VolumeInformation info;
  ASSERT_TRUE(GetVolumeInformation(fat[0], info));
  EXPECT_EQ(info.fsName, "FAT32");
  EXPECT_EQ(info.label, "SORVANIF32");
  EXPECT_EQ(info.mountPoint, "");
  auto key = nlohmann::json::parse(test::FixtureText("fat32.img.key.json"));
  std::uint64_t clusters = 80629 - 2 + 1;
  ASSERT_TRUE(info.capacityKnown && info.freeKnown);
  EXPECT_EQ(info.capacity, clusters * 512);
  EXPECT_EQ(info.free,
            (clusters - AllocatedClustersInKey(key["fsstat_text"].get<std::string>())) * 512);

  auto ntfs = table.RegisterImage(test::Fixture("ntfs-4k.img"), error);
  ASSERT_EQ(ntfs.size(), 1u) << error;
  ASSERT_TRUE(GetVolumeInformation(ntfs[0], info));
  EXPECT_EQ(info.fsName, "NTFS");
  EXPECT_EQ(info.label, "SORVANI4K");
  EXPECT_EQ(info.capacity, 12287u * 4096);
  ASSERT_TRUE(info.freeKnown);
  EXPECT_GT(info.free, 0u);
  EXPECT_LT(info.free, info.capacity);

  // An image that vanished after it was registered: known letter, problem told, no crash.
  std::string dir = test::ScratchFolder("VolumeInfoGone");
  std::string copy = dir + "/gone.img";
  {
    auto bytes = test::ReadWholeFile(test::Fixture("fat32.img"));
    std::FILE* f = std::fopen(copy.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  auto gone = table.RegisterImage(copy, error);
  ASSERT_EQ(gone.size(), 1u) << error;
  ::unlink(copy.c_str());
  ASSERT_TRUE(GetVolumeInformation(gone[0], info));
  EXPECT_FALSE(info.freeKnown);
  EXPECT_EQ(info.fsName, "");

  EXPECT_FALSE(GetVolumeInformation('Y', info)) << "a letter nobody holds";
  table.Clear();
}

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
