// What GetVolumeInformation and GetDiskFreeSpace tell on Windows, for one drive letter:
// label, file-system name, capacity, free space and mount point. A mounted volume answers
// through its mount point; any other through our own NTFS and FAT readers.
#pragma once

#include <cstdint>
#include <string>

namespace sorvani {

struct VolumeInformation {
  std::string label;
  std::string fsName;      // "NTFS", "FAT32", "ext4"; empty when not known
  std::string mountPoint;  // empty when not mounted
  std::uint64_t capacity = 0;
  std::uint64_t free = 0;
  bool capacityKnown = false;
  bool freeKnown = false;
  std::string problem;  // why something is not known
};

// Counts the free clusters of a FAT from its raw bytes: `count` clusters from cluster 2 on,
// entries of `fatType` (kFsFat12, kFsFat16 or kFsFat32). Entries past `fat` are not counted.
std::uint64_t CountFreeFatEntries(const std::uint8_t* fat, std::size_t size, std::uint32_t fatType,
                                  std::uint64_t firstCluster, std::uint64_t count);

// Fills `out` for a letter of the drive tables or the drive table. False when the letter is
// unknown; a known drive whose volume cannot be read gives true with `problem` set.
bool GetVolumeInformation(char letter, VolumeInformation& out);

}  // namespace sorvani
