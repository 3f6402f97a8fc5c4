#include "app/volume_facts.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

#include "disk/drive_enum.h"
#include "fat/fat_table.h"
#include "fat/fat_volume.h"
#include "foundation/log.h"
#include "ntfs/ntfs_volume.h"
#include "platform/mount_table.h"
#include "volumes/open_volume.h"

namespace sorvani {
namespace {

// Reads the active FAT piece by piece. A table that cannot be read to its end gives no count:
// a part of it would claim less free space than there is.
bool CountFreeFatClusters(CFatVolume& volume, std::uint64_t& free) {
  constexpr std::uint32_t kPiece = 1u << 20;
  const std::uint64_t entryLimit = volume.DataClusters() + 2;
  CFatEntryDecoder decoder(volume.GetFsType());
  if (!decoder.Valid()) return false;
  // Bytes past the last data cluster's entry describe nothing on the volume.
  const std::uint64_t fatBytes =
      std::min(volume.FatBytes(), FatEntryEndByte(volume.GetFsType(), entryLimit - 1));
  std::vector<std::uint8_t> piece(kPiece);
  free = 0;
  for (std::uint64_t at = 0; at < fatBytes; at += kPiece) {
    std::uint32_t want = static_cast<std::uint32_t>(std::min<std::uint64_t>(kPiece, fatBytes - at));
    std::uint32_t got = 0;
    if (!volume.ReadDirect(volume.ActiveFatOffset() + at, piece.data(), want, got) || got < want) {
      LogFile.Write(1, "The FAT could not be read past byte %llu of %llu\n",
                    static_cast<unsigned long long>(at + got),
                    static_cast<unsigned long long>(fatBytes));
      return false;
    }
    decoder.Feed(piece.data(), got, [&](std::uint64_t n, std::uint32_t value) {
      if (n >= 2 && n < entryLimit && value == 0) ++free;
    });
  }
  return true;
}

}  // namespace

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
    out.unopenable = true;
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
    const char* name = FsTypeName(fat->GetFsType());
    out.fsName = name ? name : "FAT";
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
