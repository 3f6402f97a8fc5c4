#include "cli/volume_information.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

#include "disk/drive_enum.h"
#include "fat/fat_volume.h"
#include "foundation/log.h"
#include "ntfs/ntfs_volume.h"
#include "platform/mount_table.h"

namespace sorvani {
namespace {

const char* FatName(std::uint32_t type) {
  switch (type) {
    case kFsFat12:
      return "FAT12";
    case kFsFat16:
      return "FAT16";
    case kFsFat32:
      return "FAT32";
    default:
      return "FAT";
  }
}

// Reads the active FAT piece by piece. Pieces are a multiple of 3 bytes, so a FAT12 pair of
// entries never straddles two of them.
bool CountFreeFatClusters(CFatVolume& volume, std::uint64_t& free) {
  constexpr std::uint32_t kPiece = 3u << 18;
  const std::uint32_t type = volume.GetFsType();
  const std::uint64_t clusters = volume.DataClusters();
  const std::uint64_t fatBytes = volume.FatBytes();
  std::vector<std::uint8_t> piece(kPiece);
  free = 0;
  for (std::uint64_t at = 0; at < fatBytes; at += kPiece) {
    std::uint32_t want = static_cast<std::uint32_t>(std::min<std::uint64_t>(kPiece, fatBytes - at));
    std::uint32_t got = 0;
    if (!volume.ReadDirect(volume.ActiveFatOffset() + at, piece.data(), want, got)) return false;
    // Entry numbers this piece holds whole.
    std::uint64_t first = 0, end = 0;
    if (type == kFsFat12) {
      first = at / 3 * 2;
      end = (at + got) / 3 * 2;
    } else {
      std::uint64_t width = type == kFsFat16 ? 2 : 4;
      first = at / width;
      end = (at + got) / width;
    }
    std::uint64_t from = std::max<std::uint64_t>(first, 2);
    std::uint64_t to = std::min<std::uint64_t>(end, clusters + 2);
    if (from < to) free += CountFreeFatEntries(piece.data(), got, type, from - first, to - from);
    if (got < want) break;
  }
  return true;
}

}  // namespace

std::uint64_t CountFreeFatEntries(const std::uint8_t* fat, std::size_t size, std::uint32_t fatType,
                                  std::uint64_t firstCluster, std::uint64_t count) {
  std::uint64_t free = 0;
  for (std::uint64_t n = firstCluster; n < firstCluster + count; ++n) {
    std::uint32_t value = 0;
    if (fatType == kFsFat12) {
      std::uint64_t at = n + n / 2;
      if (at + 2 > size) break;
      std::uint32_t pair = fat[at] | (fat[at + 1] << 8);
      value = n & 1 ? pair >> 4 : pair & 0xFFF;
    } else if (fatType == kFsFat16) {
      if (n * 2 + 2 > size) break;
      value = fat[n * 2] | (fat[n * 2 + 1] << 8);
    } else {
      if (n * 4 + 4 > size) break;
      value = (fat[n * 4] | (fat[n * 4 + 1] << 8) | (fat[n * 4 + 2] << 16) |
               (static_cast<std::uint32_t>(fat[n * 4 + 3]) << 24)) &
              0x0FFFFFFF;
    }
    if (value == 0) ++free;
  }
  return free;
}

bool GetVolumeInformation(char letter, VolumeInformation& out) {
  out = VolumeInformation{};
  auto known = LogicalDiskMap.find(letter);
  bool inTable = CDriveTable::Instance().Find(letter).has_value();
  if (known == LogicalDiskMap.end() && !inTable) return false;

  if (known != LogicalDiskMap.end()) {
    const LogicalDisk& disk = known->second;
    out.label = disk.label;
    out.fsName = disk.fsName;
    out.mountPoint = disk.mountPoint;
    out.problem = disk.problem;
    if (disk.size) {
      out.capacity = disk.size;
      out.capacityKnown = true;
    }
    // statvfs on a share whose server is gone can hang; network drives show no space.
    if (disk.type == kDriveNetwork) return true;
    if (!disk.mountPoint.empty()) {
      std::uint64_t capacity = 0, free = 0;
      if (QueryMountSpace(disk.mountPoint, capacity, free)) {
        out.capacity = capacity;
        out.free = free;
        out.capacityKnown = out.freeKnown = true;
        return true;
      }
      LogFile.WriteLastError(1);
      LogFile.Write(1, "%s: the mount point gives no free space\n", disk.mountPoint.c_str());
    }
    // Only a file system our readers know is worth opening.
    bool readable =
        disk.fsName.empty() || disk.fsName == "NTFS" || disk.fsName.rfind("FAT", 0) == 0;
    if (!readable || !inTable || disk.size == 0) return true;
  }

  std::unique_ptr<CVolume> volume;
  if (!OpenVolume(letter, volume)) {
    if (out.problem.empty() && !out.fsName.empty())
      out.problem = "the volume cannot be read as " + out.fsName;
    return true;
  }
  if (auto* ntfs = dynamic_cast<CNtfsVolume*>(volume.get())) {
    NtfsVolumeInfo info;
    out.fsName = "NTFS";
    if (ntfs->GetVolumeInfo(info)) {
      out.label = info.label;
      out.capacity = info.clusters * info.bytesPerCluster;
      out.free = info.freeClusters * info.bytesPerCluster;
      out.capacityKnown = out.freeKnown = true;
      out.problem.clear();
    } else {
      out.problem = "$Bitmap cannot be read";
    }
  } else if (auto* fat = dynamic_cast<CFatVolume*>(volume.get())) {
    out.fsName = FatName(fat->GetFsType());
    out.label = fat->Label();
    out.capacity = fat->DataClusters() * fat->BytesPerCluster();
    out.capacityKnown = true;
    std::uint64_t freeClusters = 0;
    if (CountFreeFatClusters(*fat, freeClusters)) {
      out.free = freeClusters * fat->BytesPerCluster();
      out.freeKnown = true;
      out.problem.clear();
    } else {
      out.problem = "the FAT cannot be read";
    }
  }
  return true;
}

}  // namespace sorvani
