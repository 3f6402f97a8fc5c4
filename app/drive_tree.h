// The drive tree as the desktop program draws it: the drives of the machine's tables grouped
// under their disks, with the icon each gets.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "disk/drive_enum.h"

namespace sorvani {

// Icons of the drive tree, indices into its image list.
// Scoped: the desktop program's resource numbers use the plain names.
enum class DriveIcon : std::uint8_t { kLocalDisk = 2, kFloppy = 3, kRemovable = 4, kCdRom = 5 };

struct DriveNode {
  char letter = 0;
  std::uint32_t type = kDriveUnknown;
  std::string label;
  std::string text;  // "label (X:)"
  DriveIcon icon = DriveIcon::kRemovable;
};

struct DriveGroup {
  std::uint32_t diskIndex = 0;
  std::string title;
  std::vector<DriveNode> drives;
};

struct DriveTree {
  std::vector<DriveGroup> groups;
  std::vector<DriveNode> topLevel;  // drives of no disk, network drives excepted
  std::set<char> ntfsLetters;
  std::set<char> placed;  // letters met under a disk, shown there or not (RAM drives)
};

// Groups the drives under their disks; a drive met under no disk stands at the top level
// (network drives are left out). Reads the tables only: on the owner's thread, which owns them.
DriveTree BuildDriveTree(const LogicalDiskTable& logicalDisks, const DiskTable& disks,
                         const DriveDiskTable& driveDisks);

}  // namespace sorvani
