#include "disk/drive_enum.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>

#include "foundation/log.h"

namespace sorvani {

LogicalDiskTable LogicalDiskMap;
DiskTable DiskList;
DriveDiskTable DriveDiskMap;

namespace {

enum class DeviceKind { Floppy, Fixed, Removable, Optical, Loop, Composite, Ram };

// Order in which disks take letters.
int KindRank(DeviceKind kind) {
  switch (kind) {
    case DeviceKind::Fixed:
      return 0;
    case DeviceKind::Removable:
      return 1;
    case DeviceKind::Optical:
      return 2;
    case DeviceKind::Loop:
      return 3;
    case DeviceKind::Composite:
      return 4;
    case DeviceKind::Ram:
      return 5;
    case DeviceKind::Floppy:
      return 6;
  }
  return 7;
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

bool HasDigitsAfter(const std::string& text, std::size_t from) {
  if (from >= text.size()) return false;
  for (std::size_t i = from; i < text.size(); ++i)
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  return true;
}

DeviceKind KindOf(const BlockDeviceFacts& d) {
  if (StartsWith(d.name, "fd") && HasDigitsAfter(d.name, 2)) return DeviceKind::Floppy;
  if ((StartsWith(d.name, "sr") && HasDigitsAfter(d.name, 2)) ||
      (StartsWith(d.name, "scd") && HasDigitsAfter(d.name, 3)))
    return DeviceKind::Optical;
  if (StartsWith(d.name, "loop") && HasDigitsAfter(d.name, 4)) return DeviceKind::Loop;
  if (StartsWith(d.name, "dm-") || (StartsWith(d.name, "md") && HasDigitsAfter(d.name, 2)))
    return DeviceKind::Composite;
  if (StartsWith(d.name, "zram") || (StartsWith(d.name, "ram") && HasDigitsAfter(d.name, 3)))
    return DeviceKind::Ram;
  return d.removable ? DeviceKind::Removable : DeviceKind::Fixed;
}

// "sdb" before "sdaa", "nvme2n1" before "nvme10n1": digit runs compare as numbers.
bool NaturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
    bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
    if (da && db) {
      std::size_t ei = i, ej = j;
      while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
      while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
      std::string_view na(a.data() + i, ei - i), nb(b.data() + j, ej - j);
      while (na.size() > 1 && na.front() == '0') na.remove_prefix(1);
      while (nb.size() > 1 && nb.front() == '0') nb.remove_prefix(1);
      if (na.size() != nb.size()) return na.size() < nb.size();
      if (na != nb) return na < nb;
      i = ei;
      j = ej;
      continue;
    }
    if (a[i] != b[j]) return a[i] < b[j];
    ++i;
    ++j;
  }
  return a.size() - i < b.size() - j;
}

// A vendor of the form "0x1af4" is a bus id (virtio), not a name a person knows.
bool IsBusId(const std::string& vendor) { return StartsWith(vendor, "0x"); }

std::string DiskCaption(const BlockDeviceFacts& d, DeviceKind kind) {
  std::string caption;
  if (!d.vendor.empty() && !IsBusId(d.vendor)) caption = d.vendor;
  if (!d.model.empty()) caption += (caption.empty() ? "" : " ") + d.model;
  if (!caption.empty()) return caption;
  switch (kind) {
    case DeviceKind::Optical:
      return "CD-ROM drive " + d.name;
    case DeviceKind::Loop:
      return d.backingFile.empty() ? "Loop device " + d.name : d.backingFile;
    default:
      return "Disk " + d.name;
  }
}

const char* DiskDescription(DeviceKind kind) {
  switch (kind) {
    case DeviceKind::Optical:
      return "CD-ROM Drive";
    case DeviceKind::Loop:
      return "Loop device";
    default:
      return "Disk drive";
  }
}

const char* LogicalDescription(std::uint32_t type, bool floppy) {
  if (floppy) return "3 1/2 Inch Floppy Drive";
  switch (type) {
    case kDriveRemovable:
      return "Removable Disk";
    case kDriveFixed:
      return "Local Fixed Disk";
    case kDriveNetwork:
      return "Network Connection";
    case kDriveCdRom:
      return "CD-ROM Disc";
    case kDriveRam:
      return "RAM Disk";
    default:
      return "Unknown";
  }
}

std::uint32_t TypeOf(DeviceKind kind) {
  switch (kind) {
    case DeviceKind::Floppy:
    case DeviceKind::Removable:
      return kDriveRemovable;
    case DeviceKind::Optical:
      return kDriveCdRom;
    case DeviceKind::Ram:
      return kDriveRam;
    default:
      return kDriveFixed;
  }
}

std::string Canonical(const std::string& path) {
  if (path.empty() || path[0] != '/') return {};
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

// The mount of a device: by device number, or by source path for FUSE and btrfs, whose
// mounts carry a number of their own. A mount of the whole file system wins over a bind
// mount of a sub-folder; among equals the first in the table.
const MountFacts* FindMount(const BlockDeviceFacts& d, const std::vector<MountFacts>& mounts) {
  const MountFacts* best = nullptr;
  std::string node;
  bool nodeResolved = false;
  for (const MountFacts& m : mounts) {
    bool match = d.hasDevNumber && m.major == d.major && m.minor == d.minor && m.major != 0;
    if (!match && !m.source.empty() && m.source[0] == '/') {
      if (m.source == d.devNode) {
        match = true;
      } else {
        if (!nodeResolved) {
          node = Canonical(d.devNode);
          nodeResolved = true;
        }
        match = !node.empty() && Canonical(m.source) == node;
      }
    }
    if (!match) continue;
    if (!best || (best->root != "/" && m.root == "/")) best = &m;
  }
  return best;
}

std::string FsNameFromMount(const std::string& type) {
  if (type == "ntfs" || type == "ntfs3") return "NTFS";
  if (type == "vfat" || type == "msdos") return "FAT";
  if (type == "exfat") return "exFAT";
  // FUSE hides the real type; a name like "fuseblk" would only mislead.
  if (StartsWith(type, "fuse")) return {};
  return type;
}

struct Volume {
  BlockDeviceFacts* device = nullptr;
  DeviceKind kind = DeviceKind::Fixed;
  int disk = -1;  // position in the disk list; -1 for none
  bool floppy = false;
};

}  // namespace

std::string FileSystemDisplayName(const std::string& type, const std::string& version) {
  if (type == "ntfs") return "NTFS";
  if (type == "vfat" || type == "msdos") {
    if (version == "FAT12" || version == "FAT16" || version == "FAT32") return version;
    return "FAT";
  }
  if (type == "exfat") return "exFAT";
  if (type == "iso9660") return "CDFS";
  if (type == "udf") return "UDF";
  return type;
}

HardwareInfo CollectHardwareInfo(std::vector<BlockDeviceFacts> devices,
                                 const std::vector<MountFacts>& mounts,
                                 const std::set<char>& reserved,
                                 const std::function<void(BlockDeviceFacts&)>& probe) {
  HardwareInfo info;

  std::map<std::string, BlockDeviceFacts*> byName;
  std::map<std::string, std::vector<BlockDeviceFacts*>> partitionsOf;
  std::vector<BlockDeviceFacts*> wholes;
  for (BlockDeviceFacts& d : devices) {
    if (byName.count(d.name)) continue;  // one name, one device
    byName[d.name] = &d;
    if (d.partition > 0)
      partitionsOf[d.parent].push_back(&d);
    else
      wholes.push_back(&d);
  }
  for (auto& [parent, parts] : partitionsOf) {
    std::stable_sort(parts.begin(), parts.end(),
                     [](auto* a, auto* b) { return a->partition < b->partition; });
    // An extended partition's container is a stub of one or two sectors holding no volume.
    std::erase_if(parts, [](auto* p) { return p->bytes <= 1024; });
  }
  std::stable_sort(wholes.begin(), wholes.end(), [](auto* a, auto* b) {
    int ra = KindRank(KindOf(*a)), rb = KindRank(KindOf(*b));
    return ra != rb ? ra < rb : NaturalLess(a->name, b->name);
  });

  // Disks and the volumes they hold, in letter order.
  std::vector<Volume> volumes, floppies;
  std::map<std::string, int> diskOfName;  // whole-disk name -> disk list position
  for (BlockDeviceFacts* d : wholes) {
    DeviceKind kind = KindOf(*d);
    // A drive without a medium shows only when it is an optical drive, as Windows shows it.
    if (d->bytes == 0 && kind != DeviceKind::Optical) continue;
    if (kind == DeviceKind::Floppy) {
      floppies.push_back({d, kind, -1, true});
      continue;
    }
    if (kind == DeviceKind::Composite || kind == DeviceKind::Ram) {
      volumes.push_back({d, kind, -1, false});
      continue;
    }
    int slot = static_cast<int>(info.disks.size());
    DiskDrive disk;
    disk.index = static_cast<std::uint32_t>(slot);
    disk.caption = DiskCaption(*d, kind);
    disk.description = DiskDescription(kind);
    disk.source = d->devNode;
    info.disks.push_back(std::move(disk));
    diskOfName[d->name] = slot;
    auto parts = partitionsOf.find(d->name);
    if (kind != DeviceKind::Optical && parts != partitionsOf.end() && !parts->second.empty()) {
      for (BlockDeviceFacts* p : parts->second) volumes.push_back({p, kind, slot, false});
    } else {
      volumes.push_back({d, kind, slot, false});
    }
  }

  // A device-mapper or RAID volume belongs to a disk only when all its members lie on it;
  // one that spans disks stays at the top level.
  for (Volume& v : volumes) {
    if (v.kind != DeviceKind::Composite) continue;
    std::set<int> disksFound;
    bool unknown = v.device->slaves.empty();
    std::vector<std::pair<const BlockDeviceFacts*, int>> pending{{v.device, 0}};
    while (!pending.empty() && !unknown) {
      auto [node, depth] = pending.back();
      pending.pop_back();
      for (const std::string& slave : node->slaves) {
        auto it = byName.find(slave);
        if (it == byName.end() || depth > 8) {
          unknown = true;
          break;
        }
        const BlockDeviceFacts* member = it->second;
        std::string whole = member->partition > 0 ? member->parent : member->name;
        if (auto disk = diskOfName.find(whole); disk != diskOfName.end())
          disksFound.insert(disk->second);
        else if (!member->slaves.empty())
          pending.push_back({member, depth + 1});
        else
          unknown = true;
      }
    }
    if (!unknown && disksFound.size() == 1) v.disk = *disksFound.begin();
  }

  // Letters.
  std::set<char> used(reserved.begin(), reserved.end());
  auto take = [&](char from, char to, int step) -> char {
    for (char c = from; step > 0 ? c <= to : c >= to; c = static_cast<char>(c + step))
      if (!used.count(c)) {
        used.insert(c);
        return c;
      }
    return 0;
  };
  std::vector<std::pair<char, Volume>> lettered;
  for (std::size_t i = 0; i < floppies.size(); ++i) {
    char letter = i < 2 ? take('A', 'B', 1) : 0;
    if (letter)
      lettered.push_back({letter, floppies[i]});
    else
      volumes.push_back(floppies[i]);  // a third floppy queues behind the disks
  }
  for (Volume& v : volumes) {
    char letter = take('C', 'Z', 1);
    if (!letter) {
      LogFile.WriteAlways("%s: no free drive letter is left\n", v.device->devNode.c_str());
      continue;
    }
    lettered.push_back({letter, v});
  }

  for (auto& [letter, v] : lettered) {
    BlockDeviceFacts& d = *v.device;
    if (d.bytes > 0 && probe) probe(d);
    LogicalDisk disk;
    disk.type = TypeOf(v.kind);
    disk.description = LogicalDescription(disk.type, v.floppy);
    disk.source = d.devNode;
    disk.size = d.bytes;
    disk.label = d.label;
    disk.fsName = FileSystemDisplayName(d.fsType, d.fsVersion);
    if (d.bytes == 0)
      disk.problem = "no medium";
    else if (!d.probeError.empty())
      disk.problem = d.probeError;
    else if (d.fsType.empty())
      disk.problem = "no file system recognised";
    if (const MountFacts* m = FindMount(d, mounts)) {
      disk.mountPoint = m->mountPoint;
      if (disk.fsName.empty()) disk.fsName = FsNameFromMount(m->fsType);
    }
    info.logicalDisks[letter] = std::move(disk);
    DriveSource source;
    source.path = d.devNode;
    info.sources[letter] = std::move(source);
    if (v.disk >= 0) info.driveDisks.emplace(static_cast<std::uint32_t>(v.disk), letter);
  }

  // Network shares: one letter per share, from Z downwards, in mount-table order.
  std::set<std::string> shares;
  for (const MountFacts& m : mounts) {
    if (!IsNetworkFileSystem(m.fsType) || !shares.insert(m.source).second) continue;
    char letter = take('Z', 'C', -1);
    if (!letter) break;
    LogicalDisk disk;
    disk.type = kDriveNetwork;
    disk.description = LogicalDescription(kDriveNetwork, false);
    disk.source = m.source;
    disk.fsName = m.fsType;
    disk.mountPoint = m.mountPoint;
    info.logicalDisks[letter] = std::move(disk);
  }
  return info;
}

int RetreiveHardwareInfo(const SystemRoots& roots) {
  ScopeTrace trace(0, "RetreiveHardwareInfo");
  // Letters of an earlier call go; letters that images took since stay theirs.
  static std::map<char, std::string> enumerated;
  CDriveTable& table = CDriveTable::Instance();
  std::set<char> reserved;
  for (const auto& [letter, source] : table.Snapshot()) {
    auto it = enumerated.find(letter);
    if (it != enumerated.end() && it->second == source.path && source.offset == 0)
      table.Remove(letter);
    else
      reserved.insert(letter);
  }
  enumerated.clear();

  std::vector<BlockDeviceFacts> devices = ReadBlockDevices(roots);
  if (devices.empty())
    LogFile.WriteAlways("No block devices found under %s/class/block\n", roots.sys.c_str());
  std::vector<MountFacts> mounts = ReadMountInfo(roots.mountInfo);
  if (mounts.empty()) LogFile.WriteAlways("No mounts read from %s\n", roots.mountInfo.c_str());

  HardwareInfo info = CollectHardwareInfo(std::move(devices), mounts, reserved, ProbeVolume);

  for (const auto& [letter, disk] : info.logicalDisks) {
    LogFile.WriteAlways("DeviceID=%c: ", letter);
    LogFile.WriteAlways("Description=%s\n", disk.description.c_str());
    LogFile.WriteAlways("Type=%d\n", static_cast<int>(disk.type));
  }
  for (const DiskDrive& disk : info.disks) {
    LogFile.WriteAlways("DeviceID=%s ", disk.source.c_str());
    LogFile.WriteAlways("Index=%ud  ", disk.index);
    LogFile.WriteAlways("Caption=%s ", disk.caption.c_str());
    LogFile.WriteAlways("Description=%s\n", disk.description.c_str());
  }
  for (const auto& [index, letter] : info.driveDisks)
    LogFile.WriteAlways("%s belongs to HardDisk%d\n", info.logicalDisks[letter].source.c_str(),
                        static_cast<int>(index));

  for (auto& [letter, source] : info.sources) {
    enumerated[letter] = source.path;
    table.Assign(letter, source);
  }
  LogicalDiskMap = std::move(info.logicalDisks);
  DiskList = std::move(info.disks);
  DriveDiskMap = std::move(info.driveDisks);
  return 0;
}

const char* DriveTypeName(std::uint32_t type) {
  switch (type) {
    case kDriveRemovable:
      return "Removable Media";
    case kDriveFixed:
      return "Fixed Disk";
    case kDriveNetwork:
      return "Network Drive";
    case kDriveCdRom:
      return "CD-ROM Drive";
    case kDriveRam:
      return "RAM Drive";
    default:
      return "Unknown";
  }
}

}  // namespace sorvani
