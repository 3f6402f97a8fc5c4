#include "app/image_drives.h"

#include <filesystem>

#include "disk/fs_probe.h"
#include "fat/fat_volume.h"
#include "ntfs/ntfs_volume.h"

namespace sorvani {
namespace {

// Disks of images are numbered from here, clear of the kernel's disks.
constexpr std::uint32_t kFirstImageDisk = 0x10000;

void Describe(char letter, const DriveSource& source, LogicalDisk& disk) {
  disk.type = kDriveFixed;
  disk.description = "Disk image";
  disk.source = source.path;
  auto device = source.OpenSource();
  if (!device) {
    disk.problem = "cannot be opened";
    return;
  }
  disk.size = device->Size();
  std::vector<std::uint8_t> boot(512);
  if (device->ReadAt(0, boot.data(), boot.size()) != 512) {
    disk.problem = "cannot read its boot sector";
    return;
  }
  const char* fs = ProbeFileSystem(boot);
  if (!fs) {
    disk.problem = "no known file system in its boot sector";
    return;
  }
  disk.fsName = fs;
  if (disk.fsName == "NTFS") {
    if (auto volume = CSession::NewReader(letter, source)) disk.label = volume->Label();
  } else {
    CFatVolume fat;
    fat.AttachDevice(std::move(device));
    if (fat.Initialize(letter)) disk.label = fat.Label();
  }
}

}  // namespace

std::vector<char> RegisterImageDrives(CDriveTable& table, DriveTables& tables,
                                      const std::string& path, std::string& error) {
  std::vector<char> letters = table.RegisterImage(path, error);
  if (letters.empty()) return letters;
  const std::string caption = std::filesystem::path(path).filename().string();
  // The image's disk: the one it had when opened before, else a new number.
  std::uint32_t number = kFirstImageDisk;
  DiskDrive* disk = nullptr;
  for (DiskDrive& d : tables.disks) {
    if (d.index >= kFirstImageDisk) number = std::max(number, d.index + 1);
    if (d.index >= kFirstImageDisk && d.source == path) disk = &d;
  }
  if (!disk) {
    tables.disks.push_back(DiskDrive{number, caption, "Disk image", path});
    disk = &tables.disks.back();
  }
  const std::uint32_t index = disk->index;
  for (char letter : letters) {
    // A letter reused from another disk leaves that disk.
    for (auto it = tables.driveDisks.begin(); it != tables.driveDisks.end();)
      it = it->second == letter ? tables.driveDisks.erase(it) : std::next(it);
    LogicalDisk logical;
    if (auto source = table.Find(letter)) Describe(letter, *source, logical);
    tables.logicalDisks[letter] = std::move(logical);
    tables.driveDisks.emplace(index, letter);
  }
  return letters;
}

}  // namespace sorvani
