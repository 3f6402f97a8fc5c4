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
  std::string problem;      // why something is not known
  bool unopenable = false;  // the volume itself could not be opened (e.g. its image is gone)
};

// Fills `out` for a letter of the drive tables or the drive table. False when the letter is
// unknown; a known drive whose volume cannot be read gives true with `problem` set. Reads
// the drive: called on a worker or the owner's thread, one call at a time per letter.
bool GetVolumeInformation(char letter, VolumeInformation& out);

}  // namespace sorvani
