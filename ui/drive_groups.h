// The drive tree contract's grouping, handed over in terms that do not clash with the
// resource numbers (the contract numbers its icons in a namespace they share).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/session.h"

namespace sorvani::ui {

enum class DriveGroupIcon : std::uint8_t { kLocal, kFloppy, kRemovable, kOptical };

struct GroupedDrive {
  char letter = 0;
  std::uint32_t type = 0;
  std::string text;
  DriveGroupIcon icon = DriveGroupIcon::kRemovable;
};

struct GroupedDisk {
  std::uint32_t diskIndex = 0;
  std::string title;
  std::vector<GroupedDrive> drives;
};

struct GroupedDrives {
  std::vector<GroupedDisk> disks;
  std::vector<GroupedDrive> topLevel;
};

GroupedDrives GroupDrives(const DriveTables& tables);

}  // namespace sorvani::ui
