#include <gtest/gtest.h>

#include "app/drive_tree.h"
#include "disk/drive_enum.h"
#include "tests/drives/fake_system.h"
#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

// A 64 KiB ext4 file system as blkid sees it: the superblock at 1024 with extents and a
// journal, labelled "My Data".
std::vector<std::uint8_t> Ext4Image() {
  std::vector<std::uint8_t> b(65536, 0);
  auto put = [&](std::size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
  };
  const std::size_t sb = 1024;
  put(sb + 4, 64, 4);           // blocks
  put(sb + 56, 0xEF53, 2);      // magic
  put(sb + 76, 1, 4);           // dynamic revision
  put(sb + 92, 0x4, 4);         // has_journal
  put(sb + 96, 0x2 | 0x40, 4);  // filetype, extents
  const char label[] = "My Data";
  std::copy(label, label + 7, b.begin() + sb + 120);
  return b;
}

// One machine: a fixed disk with NTFS, ext4, an extended-partition stub and a logical
// partition; a second fixed disk; a USB stick; an empty optical drive; a floppy; an
// unattached loop device; a device-mapper volume on one disk and a RAID over two; NFS and
// SMB shares.
void BuildMachine(test::CFakeSystem& fake, bool withMissingNode) {
  using test::MakeDisk;
  fake.AddDisk(MakeDisk("fd0", 2, 0, 2880, true, "", ""));
  fake.WriteDevNode("fd0", std::vector<std::uint8_t>(4096, 0));

  fake.AddDisk(MakeDisk("sda", 8, 0, 409600, false, "ATA", "Samsung SSD 860"));
  fake.AddPartition("sda", 1, 8, 1, 98304);
  fake.LinkDevNode("sda1", test::Fixture("ntfs-4k.img"));
  fake.AddPartition("sda", 2, 8, 2, 128);
  fake.WriteDevNode("sda2", Ext4Image());
  fake.AddPartition("sda", 3, 8, 3, 2);  // the extended container's stub
  fake.AddPartition("sda", 5, 8, 5, 4096);
  fake.WriteDevNode("sda5", std::vector<std::uint8_t>(8192, 0));

  fake.AddDisk(MakeDisk("sdc", 8, 32, 8192, false, "0x1af4", ""));
  fake.AddPartition("sdc", 1, 8, 33, 2048);
  fake.WriteDevNode("sdc1", std::vector<std::uint8_t>(8192, 0));
  fake.AddPartition("sdc", 2, 8, 34, 2048);
  if (!withMissingNode) fake.WriteDevNode("sdc2", std::vector<std::uint8_t>(8192, 0));

  fake.AddDisk(MakeDisk("sdb", 8, 16, 163840, true, "SanDisk", "Cruzer Blade"));
  fake.AddPartition("sdb", 1, 8, 17, 81920);
  fake.LinkDevNode("sdb1", test::Fixture("fat32.img"));

  fake.AddDisk(MakeDisk("sr0", 11, 0, 0, true, "HL-DT-ST", "DVD-RAM GH22NS50"));
  fake.AddDisk(MakeDisk("loop0", 7, 0, 0, false, "", ""));
  fake.AddDisk(MakeDisk("dm-0", 253, 0, 2048, false, "", "", {"sdc2"}));
  fake.WriteDevNode("dm-0", std::vector<std::uint8_t>(8192, 0));
  fake.AddDisk(MakeDisk("md0", 9, 0, 4096, false, "", "", {"sda5", "sdc1"}));
  fake.WriteDevNode("md0", std::vector<std::uint8_t>(8192, 0));

  // A bind mount of a sub-folder comes first; the whole file system's mount must still win.
  fake.AddMountLine("27 26 8:2 /sub /srv/bind rw - ext4 /dev/sda2 rw");
  fake.AddMountLine("26 1 8:2 / /mnt/my\\040data rw,relatime shared:1 - ext4 /dev/sda2 rw");
  fake.AddMountLine("30 1 0:50 / /mnt/share rw - nfs4 server:/export rw,vers=4.2");
  fake.AddMountLine("31 1 0:51 / /mnt/share-again rw - nfs4 server:/export rw");
  // FUSE mounts carry a device number of their own: found by the source path.
  fake.AddMountLine("32 1 0:52 / /mnt/usb rw - fuseblk " + fake.DevNode("sdb1") + " rw");
  fake.AddMountLine("33 1 0:53 / /mnt/photos rw - cifs //nas/photos rw");
}

TEST(DriveEnum, FakeMachineLettersTablesAndTree) {
  CDriveTable::Instance().Clear();
  test::CFakeSystem fake(test::ScratchFolder("DriveEnumMachine"));
  BuildMachine(fake, /*withMissingNode=*/true);
  ASSERT_EQ(RetreiveHardwareInfo(fake.Roots()), 0);

  // Letters: the floppy A:, then disk by disk, then optical, then volumes of no disk;
  // network shares from Z: down, one per share.
  std::map<char, std::string> expected = {
      {'A', "fd0"},  {'C', "sda1"}, {'D', "sda2"}, {'E', "sda5"}, {'F', "sdc1"},
      {'G', "sdc2"}, {'H', "sdb1"}, {'I', "sr0"},  {'J', "dm-0"}, {'K', "md0"}};
  std::map<char, std::string> got;
  for (const auto& [letter, disk] : LogicalDiskMap)
    if (disk.type != kDriveNetwork) got[letter] = disk.source.substr(disk.source.rfind('/') + 1);
  EXPECT_EQ(got, expected);
  ASSERT_TRUE(LogicalDiskMap.count('Z') && LogicalDiskMap.count('Y'));
  EXPECT_EQ(LogicalDiskMap['Z'].source, "server:/export");
  EXPECT_EQ(LogicalDiskMap['Y'].source, "//nas/photos");
  EXPECT_EQ(LogicalDiskMap['Z'].type, kDriveNetwork);
  EXPECT_EQ(LogicalDiskMap.size(), expected.size() + 2) << "a share mounted twice is one drive";

  // Types and what the file systems say.
  EXPECT_EQ(LogicalDiskMap['A'].type, kDriveRemovable);
  EXPECT_EQ(LogicalDiskMap['C'].type, kDriveFixed);
  EXPECT_EQ(LogicalDiskMap['C'].fsName, "NTFS");
  EXPECT_EQ(LogicalDiskMap['C'].label, "SORVANI4K");
  EXPECT_EQ(LogicalDiskMap['C'].mountPoint, "");
  EXPECT_EQ(LogicalDiskMap['D'].fsName, "ext4");
  EXPECT_EQ(LogicalDiskMap['D'].label, "My Data");
  EXPECT_EQ(LogicalDiskMap['D'].mountPoint, "/mnt/my data");
  EXPECT_EQ(LogicalDiskMap['E'].fsName, "");
  EXPECT_EQ(LogicalDiskMap['E'].problem, "no file system recognised");
  EXPECT_NE(LogicalDiskMap['G'].problem.find("No such file"), std::string::npos)
      << "a vanished device node is listed with the reason: " << LogicalDiskMap['G'].problem;
  EXPECT_EQ(LogicalDiskMap['H'].type, kDriveRemovable);
  EXPECT_EQ(LogicalDiskMap['H'].fsName, "FAT32");
  EXPECT_EQ(LogicalDiskMap['H'].label, "SORVANIF32");
  EXPECT_EQ(LogicalDiskMap['H'].mountPoint, "/mnt/usb");
  EXPECT_EQ(LogicalDiskMap['I'].type, kDriveCdRom);
  EXPECT_EQ(LogicalDiskMap['I'].problem, "no medium");
  EXPECT_EQ(LogicalDiskMap['C'].size, 98304u * 512);

  // Disks, and which letters each holds, in insertion order.
  ASSERT_EQ(DiskList.size(), 4u);
  EXPECT_EQ(DiskList[0].caption, "ATA Samsung SSD 860");
  EXPECT_EQ(DiskList[1].caption, "Disk sdc") << "a bus id is no vendor name";
  EXPECT_EQ(DiskList[2].caption, "SanDisk Cruzer Blade");
  EXPECT_EQ(DiskList[3].caption, "HL-DT-ST DVD-RAM GH22NS50");
  EXPECT_EQ(DiskList[3].description, "CD-ROM Drive");
  std::vector<std::pair<std::uint32_t, char>> map(DriveDiskMap.begin(), DriveDiskMap.end());
  std::vector<std::pair<std::uint32_t, char>> wantMap = {{0, 'C'}, {0, 'D'}, {0, 'E'}, {1, 'F'},
                                                         {1, 'G'}, {1, 'J'}, {2, 'H'}, {3, 'I'}};
  EXPECT_EQ(map, wantMap);

  // Local letters reach the drive table; network letters do not (there is no device).
  auto c = CDriveTable::Instance().Find('C');
  ASSERT_TRUE(c.has_value());
  EXPECT_EQ(c->path, fake.DevNode("sda1"));
  EXPECT_FALSE(CDriveTable::Instance().Find('Z').has_value());

  DriveTree tree = BuildDriveTree(LogicalDiskMap, DiskList, DriveDiskMap);
  ASSERT_EQ(tree.groups.size(), 4u);
  auto texts = [](const DriveGroup& g) {
    std::vector<std::string> out;
    for (const DriveNode& n : g.drives)
      out.push_back(n.text + " #" + std::to_string(static_cast<int>(n.icon)));
    return out;
  };
  EXPECT_EQ(tree.groups[0].title, "ATA Samsung SSD 860");
  EXPECT_EQ(texts(tree.groups[0]), (std::vector<std::string>{"SORVANI4K (C:) #2", "My Data (D:) #2",
                                                             "Local disk (E:) #2"}));
  EXPECT_EQ(
      texts(tree.groups[1]),
      (std::vector<std::string>{"Local disk (F:) #2", "Local disk (G:) #2", "Local disk (J:) #2"}));
  EXPECT_EQ(texts(tree.groups[2]), (std::vector<std::string>{"Removable Disk (H:) #4"}));
  EXPECT_EQ(texts(tree.groups[3]), (std::vector<std::string>{"CD-ROM Disc (I:) #5"}));
  std::vector<std::string> top;
  for (const DriveNode& n : tree.topLevel)
    top.push_back(n.text + " #" + std::to_string(static_cast<int>(n.icon)));
  EXPECT_EQ(top, (std::vector<std::string>{"3 1/2 Inch Floppy Drive (A:) #3",
                                           "Local Fixed Disk (K:) #4"}))
      << "the floppy and the RAID over two disks stand alone; network drives nowhere";
  EXPECT_EQ(tree.ntfsLetters, (std::set<char>{'C'}));
  EXPECT_TRUE(tree.placed.count('J'));
  EXPECT_FALSE(tree.placed.count('K'));
}

TEST(DriveEnum, LettersAreStableAndImagesKeepTheirs) {
  CDriveTable& table = CDriveTable::Instance();
  table.Clear();
  test::CFakeSystem fake(test::ScratchFolder("DriveEnumStable"));
  BuildMachine(fake, /*withMissingNode=*/false);

  RetreiveHardwareInfo(fake.Roots());
  auto first = table.Snapshot();
  RetreiveHardwareInfo(fake.Roots());
  auto second = table.Snapshot();
  ASSERT_EQ(first.size(), second.size());
  for (const auto& [letter, source] : first) EXPECT_EQ(second[letter].path, source.path) << letter;

  // An image that holds a letter keeps it; the disks move past it, not over it.
  std::string error;
  table.Clear();
  auto imageLetters = table.RegisterImage(test::Fixture("ntfs-4k.img"), error);
  ASSERT_EQ(imageLetters, std::vector<char>{'C'}) << error;
  RetreiveHardwareInfo(fake.Roots());
  EXPECT_EQ(table.Find('C')->path, test::Fixture("ntfs-4k.img"));
  EXPECT_EQ(table.Find('D')->path, fake.DevNode("sda1"));
  EXPECT_EQ(LogicalDiskMap.count('C'), 0u);
  // The next image after the disks takes the next free letter.
  EXPECT_EQ(table.NextFreeLetter(), 'M');
  table.Clear();
}

BlockDeviceFacts Whole(const std::string& name) {
  BlockDeviceFacts d;
  d.name = name;
  d.devNode = "/nonexistent/" + name;
  d.bytes = 1 << 20;
  return d;
}

TEST(DriveEnum, DiskOrderIsNaturalAndLettersRunOutQuietly) {
  std::vector<BlockDeviceFacts> devices = {Whole("sdb"), Whole("sdaa"), Whole("nvme10n1"),
                                           Whole("nvme2n1")};
  HardwareInfo info = CollectHardwareInfo(devices, {}, {}, nullptr);
  std::vector<std::string> order;
  for (const auto& [letter, disk] : info.logicalDisks)
    order.push_back(std::string(1, letter) + disk.source);
  EXPECT_EQ(order, (std::vector<std::string>{"C/nonexistent/nvme2n1", "D/nonexistent/nvme10n1",
                                             "E/nonexistent/sdaa", "F/nonexistent/sdb"}));

  // More volumes than letters: C..Z are handed out, the rest left out; two network shares
  // then find nothing free.
  devices.clear();
  for (int i = 0; i < 30; ++i)
    devices.push_back(Whole("vd" + std::string(1, char('a' + i % 26)) + (i >= 26 ? "x" : "")));
  std::vector<MountFacts> mounts(2);
  mounts[0].fsType = mounts[1].fsType = "nfs";
  mounts[0].source = "a:/x";
  mounts[1].source = "b:/y";
  info = CollectHardwareInfo(devices, mounts, {'Q'}, nullptr);
  EXPECT_EQ(info.logicalDisks.size(), 23u) << "C..Z without the reserved Q";
  EXPECT_EQ(info.logicalDisks.count('Q'), 0u);
  for (const auto& [letter, disk] : info.logicalDisks) EXPECT_NE(disk.type, kDriveNetwork);
}

}  // namespace
}  // namespace sorvani
