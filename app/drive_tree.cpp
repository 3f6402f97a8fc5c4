#include "app/drive_tree.h"

namespace sorvani {
namespace {

DriveNode MakeNode(char letter, const LogicalDisk& disk, DriveIcon icon) {
  DriveNode node;
  node.letter = letter;
  node.type = disk.type;
  node.icon = icon;
  if (disk.type == kDriveFixed)
    node.label = disk.label.empty() ? "Local disk" : disk.label;
  else
    node.label = disk.description;
  node.text = node.label + " (" + std::string(1, letter) + ":)";
  return node;
}

}  // namespace

DriveTree BuildDriveTree(const LogicalDiskTable& logicalDisks, const DiskTable& disks,
                         const DriveDiskTable& driveDisks) {
  DriveTree tree;
  for (const DiskDrive& disk : disks) {
    DriveGroup group;
    group.diskIndex = disk.index;
    group.title = disk.caption;
    auto [first, last] = driveDisks.equal_range(disk.index);
    for (auto it = first; it != last; ++it) {
      auto found = logicalDisks.find(it->second);
      if (found == logicalDisks.end()) continue;
      const LogicalDisk& logical = found->second;
      tree.placed.insert(it->second);
      DriveIcon icon = DriveIcon::kRemovable;
      switch (logical.type) {
        case kDriveFixed:
          icon = DriveIcon::kLocalDisk;
          break;
        case kDriveRemovable:
          icon =
              it->second == 'A' || it->second == 'B' ? DriveIcon::kFloppy : DriveIcon::kRemovable;
          break;
        case kDriveCdRom:
          icon = DriveIcon::kCdRom;
          break;
        default:
          continue;  // other types are not shown under a disk
      }
      group.drives.push_back(MakeNode(it->second, logical, icon));
      if (logical.type == kDriveFixed && logical.fsName == "NTFS")
        tree.ntfsLetters.insert(it->second);
    }
    tree.groups.push_back(std::move(group));
  }
  for (const auto& [letter, logical] : logicalDisks) {
    if (tree.placed.count(letter) || logical.type == kDriveNetwork) continue;
    DriveNode node;
    node.letter = letter;
    node.type = logical.type;
    node.label = logical.description;
    node.text = node.label + " (" + std::string(1, letter) + ":)";
    node.icon = letter == 'A' || letter == 'B' ? DriveIcon::kFloppy : DriveIcon::kRemovable;
    tree.topLevel.push_back(std::move(node));
  }
  return tree;
}

}  // namespace sorvani
