// The block devices of this machine as the kernel describes them: whole disks, their
// partitions, optical and floppy drives, loop devices and their backing files, and the
// file-system type and label of each readable volume. Nothing here assigns drive letters.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sorvani {

// Where the kernel's views live; tests point them at a fake tree.
struct SystemRoots {
  std::string sys = "/sys";
  std::string dev = "/dev";
  std::string mountInfo = "/proc/self/mountinfo";
};

struct BlockDeviceFacts {
  std::string name;     // kernel name: "sda1", "sr0", "loop0"
  std::string devNode;  // device node under the dev root
  std::string parent;   // whole disk of a partition; empty for a whole disk
  int partition = 0;    // partition number; 0 for a whole disk
  std::uint64_t bytes = 0;
  unsigned major = 0;
  unsigned minor = 0;
  bool hasDevNumber = false;
  bool removable = false;
  bool readOnly = false;
  std::string vendor;               // device/vendor, blanks trimmed
  std::string model;                // device/model, blanks trimmed
  std::string backingFile;          // loop devices: the attached file
  std::vector<std::string> slaves;  // device-mapper and RAID members

  // Filled by ProbeVolume for devices that could be read.
  bool probed = false;
  std::string fsType;     // blkid's name: "ntfs", "vfat", "ext4"; empty when not recognised
  std::string fsVersion;  // "FAT32" and the like
  std::string label;
  std::string probeError;  // why nothing is known, when that is the case
};

// Every block device under <sys>/class/block, whole disks before their partitions, in the
// directory's order. Hidden devices are left out. Never opens a device.
std::vector<BlockDeviceFacts> ReadBlockDevices(const SystemRoots& roots);

// Asks libblkid for the file-system type, version and label of the device node. A device
// that cannot be opened for reading without blocking is left unprobed with the reason.
void ProbeVolume(BlockDeviceFacts& device);

// Text of a sysfs attribute file, without the trailing line break; false when unreadable.
// At most `limit` bytes are read, so a misbehaving attribute cannot flood memory.
bool ReadAttributeText(const std::string& path, std::string& out, std::size_t limit = 4096);

// Splits "MAJ:MIN" into its numbers; false unless both are decimal and in range.
bool ParseDevNumber(std::string_view text, unsigned& major, unsigned& minor);

}  // namespace sorvani
