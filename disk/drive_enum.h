// The drives of this machine grouped by physical disk: the three process-wide tables that
// RetreiveHardwareInfo fills from the kernel's block devices and mount table, and the letters
// they get. The drive tree drawn from them is app/drive_tree.h.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "disk/drive_table.h"
#include "platform/block_devices.h"
#include "platform/mount_table.h"

namespace sorvani {

// Drive types, numbered as Windows numbers them.
enum : std::uint32_t {
  kDriveUnknown = 0,
  kDriveNoRoot = 1,
  kDriveRemovable = 2,
  kDriveFixed = 3,
  kDriveNetwork = 4,
  kDriveCdRom = 5,
  kDriveRam = 6,
};

struct LogicalDisk {
  std::uint32_t type = kDriveUnknown;
  std::string description;
  // Beyond what the tree needs: what `sorvani drives` and the properties show.
  std::string source;      // device node; for a network drive the remote share
  std::string fsName;      // "NTFS", "FAT32", "ext4"; empty when not known
  std::string label;       // file-system label
  std::string mountPoint;  // empty when not mounted
  std::uint64_t size = 0;  // bytes of the device; 0 when not known
  std::string problem;     // why the file system is not known, when it is not
};

struct DiskDrive {
  std::uint32_t index = 0;
  std::string caption;
  std::string description;
  std::string source;  // the whole-disk device node
};

using LogicalDiskTable = std::map<char, LogicalDisk>;
using DiskTable = std::vector<DiskDrive>;
// Letters of one disk keep the order in which they were added.
using DriveDiskTable = std::multimap<std::uint32_t, char>;

// The process-wide tables; filled by RetreiveHardwareInfo, read by the user interface.
extern LogicalDiskTable LogicalDiskMap;
extern DiskTable DiskList;
extern DriveDiskTable DriveDiskMap;

struct HardwareInfo {
  LogicalDiskTable logicalDisks;
  DiskTable disks;
  DriveDiskTable driveDisks;
  std::map<char, DriveSource> sources;  // what the drive table gets for each local letter
};

// Builds the tables from the kernel's facts. Floppies take A and B; the volumes of disks
// take letters from C on in (disk, partition) order, fixed disks first, then removable,
// optical and loop disks, then volumes of no disk; network shares take letters from Z
// downwards. Letters in `reserved` are skipped. `probe` is asked for the file system of
// every volume that has bytes to read.
HardwareInfo CollectHardwareInfo(std::vector<BlockDeviceFacts> devices,
                                 const std::vector<MountFacts>& mounts,
                                 const std::set<char>& reserved,
                                 const std::function<void(BlockDeviceFacts&)>& probe);

// Fills the process-wide tables from the system (or the fake tree `roots` names) and maps
// each local letter in the drive table. Letters that images hold keep them; letters of an
// earlier call are replaced. Returns 0.
int RetreiveHardwareInfo(const SystemRoots& roots = SystemRoots{});

// "Removable Media", "Fixed Disk", "Network Drive", "CD-ROM Drive", "RAM Drive", "Unknown".
const char* DriveTypeName(std::uint32_t type);

// The file-system name this program shows for blkid's type and version ("ntfs" -> "NTFS",
// "vfat" + "FAT32" -> "FAT32"); other types keep their own name.
std::string FileSystemDisplayName(const std::string& type, const std::string& version);

}  // namespace sorvani
