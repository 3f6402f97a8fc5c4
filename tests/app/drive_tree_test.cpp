#include "app/drive_tree.h"

#include <gtest/gtest.h>

namespace sorvani {
namespace {

LogicalDisk Drive(std::uint32_t type, const std::string& description,
                  const std::string& fsName = "", const std::string& label = "") {
  LogicalDisk d;
  d.type = type;
  d.description = description;
  d.fsName = fsName;
  d.label = label;
  return d;
}

TEST(DriveTree, ContractOnHandMadeTables) {
  // One disk with C: and D:, a CD-ROM drive E:, a network drive Z:, a removable A: under a
  // disk, a RAM drive under a disk (not shown but placed) and a volume of no disk.
  LogicalDiskTable logical;
  logical['A'] = Drive(kDriveRemovable, "Removable Disk");
  logical['C'] = Drive(kDriveFixed, "Local Fixed Disk", "NTFS");
  logical['D'] = Drive(kDriveFixed, "Local Fixed Disk", "FAT32", "DATA");
  logical['E'] = Drive(kDriveCdRom, "CD-ROM Disc");
  logical['F'] = Drive(kDriveRemovable, "Removable Disk");
  logical['R'] = Drive(kDriveRam, "RAM Disk");
  logical['S'] = Drive(kDriveFixed, "Local Fixed Disk", "NTFS");
  logical['Z'] = Drive(kDriveNetwork, "Network Connection");
  DiskTable disks(3);
  const char* captions[] = {"WDC WD10EZEX", "USB Reader", "DVD Writer"};
  for (std::uint32_t i = 0; i < 3; ++i) {
    disks[i].index = i;
    disks[i].caption = captions[i];
  }
  DriveDiskTable map = {{0, 'D'}, {0, 'C'}, {0, 'R'}, {1, 'A'}, {1, 'F'}, {2, 'E'}};

  const LogicalDiskTable& tables = logical;  // the builder only reads them
  DriveTree tree = BuildDriveTree(tables, disks, map);
  ASSERT_EQ(tree.groups.size(), 3u);
  ASSERT_EQ(tree.groups[0].drives.size(), 2u) << "the RAM drive is not shown under a disk";
  EXPECT_EQ(tree.groups[0].drives[0].text, "DATA (D:)") << "map order, not letter order";
  EXPECT_EQ(tree.groups[0].drives[1].text, "Local disk (C:)");
  EXPECT_EQ(tree.groups[0].drives[1].icon, DriveIcon::kLocalDisk);
  ASSERT_EQ(tree.groups[1].drives.size(), 2u);
  EXPECT_EQ(tree.groups[1].drives[0].text, "Removable Disk (A:)");
  EXPECT_EQ(tree.groups[1].drives[0].icon, DriveIcon::kFloppy);
  EXPECT_EQ(tree.groups[1].drives[1].icon, DriveIcon::kRemovable);
  EXPECT_EQ(tree.groups[2].drives[0].icon, DriveIcon::kCdRom);
  EXPECT_TRUE(tree.placed.count('R'));
  ASSERT_EQ(tree.topLevel.size(), 1u);
  EXPECT_EQ(tree.topLevel[0].text, "Local Fixed Disk (S:)");
  EXPECT_EQ(tree.topLevel[0].icon, DriveIcon::kRemovable);
  EXPECT_EQ(tree.ntfsLetters, (std::set<char>{'C'})) << "NTFS letters come from under disks";

  // The tables are only read, so a drive that leaves its disk stands at the top level the
  // next time instead of vanishing from both places.
  map.erase(map.find(0));  // D: is under no disk any more
  DriveTree again = BuildDriveTree(logical, disks, map);
  EXPECT_FALSE(again.placed.count('D'));
  ASSERT_EQ(again.topLevel.size(), 2u);
  EXPECT_EQ(again.topLevel[0].text, "Local Fixed Disk (D:)");
  EXPECT_EQ(again.topLevel[1].text, "Local Fixed Disk (S:)");

  EXPECT_STREQ(DriveTypeName(2), "Removable Media");
  EXPECT_STREQ(DriveTypeName(3), "Fixed Disk");
  EXPECT_STREQ(DriveTypeName(4), "Network Drive");
  EXPECT_STREQ(DriveTypeName(5), "CD-ROM Drive");
  EXPECT_STREQ(DriveTypeName(6), "RAM Drive");
  EXPECT_STREQ(DriveTypeName(7), "Unknown");
  EXPECT_STREQ(DriveTypeName(0), "Unknown");
}

}  // namespace
}  // namespace sorvani
