#include "fat/fat_volume.h"

#include <algorithm>
#include <cstring>

#include "foundation/endian.h"
#include "foundation/log.h"

namespace sorvani {
namespace {

// Boot-sector field offsets.
constexpr std::size_t kBytesPerSector = 11;
constexpr std::size_t kSectorsPerCluster = 13;
constexpr std::size_t kReservedSectors = 14;
constexpr std::size_t kNumberOfFats = 16;
constexpr std::size_t kRootEntries = 17;
constexpr std::size_t kTotalSectors16 = 19;
constexpr std::size_t kSectorsPerFat16 = 22;
constexpr std::size_t kTotalSectors32 = 32;
constexpr std::size_t kSectorsPerFat32 = 36;
constexpr std::size_t kExtendedFlags32 = 40;
constexpr std::size_t kLabel16 = 43;
constexpr std::size_t kTypeText16 = 54;
constexpr std::size_t kLabel32 = 71;
constexpr std::size_t kTypeText32 = 82;
constexpr std::size_t kEndMarker = 510;

constexpr std::uint32_t kMaxClusterBytes = 2u << 20;

bool IsPowerOfTwo(std::uint32_t v) { return v && !(v & (v - 1)); }

}  // namespace

bool CFatVolume::Initialize(char driveLetter) {
  ScopeTrace trace(1, "CFatVolume::Initialize");
  m_driveLetter = driveLetter;
  m_fatType = kFsNone;
  Open();

  std::uint32_t got = 0;
  if (!ReadDirect(0, m_bootSector.data(), 512, got) || got < 512) {
    LogFile.WriteLastError(0);
    LogFile.WriteAlways("Cannot read the boot sector\n");
    return false;
  }
  ByteSpan b(m_bootSector);
  if (ReadLe16(b, kEndMarker) != 0xAA55) return false;

  std::uint32_t type = kFsNone;
  if (std::memcmp(&b[kTypeText16], "FAT12", 5) == 0)
    type = kFsFat12;
  else if (std::memcmp(&b[kTypeText16], "FAT16", 5) == 0)
    type = kFsFat16;
  else if (std::memcmp(&b[kTypeText32], "FAT32", 5) == 0)
    type = kFsFat32;
  if (type == kFsNone) return false;

  std::uint32_t bytesPerSector = ReadLe16(b, kBytesPerSector);
  std::uint32_t sectorsPerCluster = ReadLe8(b, kSectorsPerCluster);
  std::uint32_t numberOfFats = ReadLe8(b, kNumberOfFats);
  std::uint32_t sectorsPerFat =
      type == kFsFat32 ? ReadLe32(b, kSectorsPerFat32) : ReadLe16(b, kSectorsPerFat16);
  // Values that would divide by zero or place the FAT and data area nowhere are refused here,
  // before anything computes with them.
  if (bytesPerSector < 512 || bytesPerSector > 4096 || !IsPowerOfTwo(bytesPerSector) ||
      !IsPowerOfTwo(sectorsPerCluster) || bytesPerSector * sectorsPerCluster > kMaxClusterBytes ||
      numberOfFats == 0 || sectorsPerFat == 0) {
    LogFile.WriteAlways(
        "FAT boot sector has an invalid geometry: %u bytes per sector, %u sectors per cluster, "
        "%u FATs of %u sectors\n",
        bytesPerSector, sectorsPerCluster, numberOfFats, sectorsPerFat);
    return false;
  }

  m_bytesPerSector = bytesPerSector;
  m_bytesPerCluster = bytesPerSector * sectorsPerCluster;
  m_numberOfFats = numberOfFats;
  m_reservedSectors = ReadLe16(b, kReservedSectors);
  m_sectorsPerFat = sectorsPerFat;
  m_activeFat = 0;
  if (type == kFsFat32) {
    std::uint8_t flags = ReadLe8(b, kExtendedFlags32);
    // Bit 7 set: mirroring is off and only the FAT named by the low nibble is current.
    if (flags & 0x80) m_activeFat = flags & 0x0F;
    if (m_activeFat >= m_numberOfFats) {
      // A copy that does not exist cannot be current; the first one is the best guess.
      LogFile.WriteAlways("FAT32 extended flags name FAT %u of %u; using FAT 0\n", m_activeFat,
                          m_numberOfFats);
      m_activeFat = 0;
    }
  }
  std::uint64_t firstData = std::uint64_t{m_numberOfFats} * m_sectorsPerFat + m_reservedSectors;
  // The fixed root directory fills whole sectors: a partial last sector still comes before
  // the data area.
  if (type != kFsFat32)
    firstData +=
        (std::uint64_t{ReadLe16(b, kRootEntries)} * 32 + m_bytesPerSector - 1) / m_bytesPerSector;
  if (firstData > UINT32_MAX) {
    LogFile.WriteAlways("FAT boot sector places the data area beyond any volume\n");
    return false;
  }
  m_firstDataSector = static_cast<std::uint32_t>(firstData);
  std::uint32_t total16 = ReadLe16(b, kTotalSectors16);
  m_totalSectors = total16 ? total16 : ReadLe32(b, kTotalSectors32);
  m_claimedSize = m_totalSectors * m_bytesPerSector;
  m_fatType = type;
  return true;
}

std::uint64_t CFatVolume::DataClusters() const {
  if (!m_bytesPerCluster) return 0;
  std::uint64_t sectors = m_totalSectors;
  if (std::uint64_t deviceSectors = DeviceSize() / m_bytesPerSector; deviceSectors < sectors)
    sectors = deviceSectors;
  if (sectors <= m_firstDataSector) return 0;
  return (sectors - m_firstDataSector) / (m_bytesPerCluster / m_bytesPerSector);
}

std::string CFatVolume::Label() const {
  std::size_t off = m_fatType == kFsFat32 ? kLabel32 : kLabel16;
  std::string label(reinterpret_cast<const char*>(&m_bootSector[off]), 11);
  while (!label.empty() && (label.back() == ' ' || label.back() == '\0')) label.pop_back();
  return label;
}

std::uint64_t CFatVolume::ActiveFatOffset() const {
  return (std::uint64_t{m_activeFat} * m_sectorsPerFat + m_reservedSectors) * m_bytesPerSector;
}

std::uint64_t CFatVolume::FatBytes() const {
  return std::uint64_t{m_sectorsPerFat} * m_bytesPerSector;
}

std::uint64_t CFatVolume::ClusterOffset(std::uint64_t n) const {
  return std::uint64_t{m_firstDataSector} * m_bytesPerSector + (n - 2) * m_bytesPerCluster;
}

std::uint64_t CFatVolume::ClusterToRawUnit(std::uint64_t n) const {
  return std::uint64_t{m_firstDataSector} * m_bytesPerSector / m_bytesPerCluster + n - 2;
}

std::uint32_t CFatVolume::DataAreaOffsetInUnit() const {
  return static_cast<std::uint32_t>(std::uint64_t{m_firstDataSector} * m_bytesPerSector %
                                    m_bytesPerCluster);
}

}  // namespace sorvani
