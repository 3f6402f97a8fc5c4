#include "ui/drive_groups.h"

#include "app/drive_tree.h"

namespace sorvani::ui {

namespace {

GroupedDrive Convert(const DriveNode& node) {
  GroupedDrive out;
  out.letter = node.letter;
  out.type = node.type;
  out.text = node.text;
  switch (node.icon) {
    case kIconLocalDisk:
      out.icon = DriveGroupIcon::kLocal;
      break;
    case kIconFloppy:
      out.icon = DriveGroupIcon::kFloppy;
      break;
    case kIconCdRom:
      out.icon = DriveGroupIcon::kOptical;
      break;
    default:
      out.icon = DriveGroupIcon::kRemovable;
      break;
  }
  return out;
}

}  // namespace

GroupedDrives GroupDrives(const DriveTables& tables) {
  const DriveTree tree = BuildDriveTree(tables.logicalDisks, tables.disks, tables.driveDisks);
  GroupedDrives out;
  for (const DriveGroup& group : tree.groups) {
    GroupedDisk disk;
    disk.diskIndex = group.diskIndex;
    disk.title = group.title;
    for (const DriveNode& node : group.drives) disk.drives.push_back(Convert(node));
    out.disks.push_back(std::move(disk));
  }
  for (const DriveNode& node : tree.topLevel) out.topLevel.push_back(Convert(node));
  return out;
}

}  // namespace sorvani::ui
