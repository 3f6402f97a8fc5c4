#include "ntfs/ntfs_volume.h"

#include <algorithm>
#include <bit>
#include <cinttypes>

#include "foundation/log.h"
#include "ntfs/ntfs_attr_types.h"
#include "ntfs/ntfs_text.h"

namespace sorvani {
namespace {

// Boot sector fields.
constexpr std::size_t kBootOem = 3;
constexpr std::size_t kBootBytesPerSector = 11;
constexpr std::size_t kBootSectorsPerCluster = 13;
constexpr std::size_t kBootTotalSectors = 40;
constexpr std::size_t kBootMftCluster = 48;
constexpr std::size_t kBootClustersPerRecord = 64;
constexpr std::size_t kBootMarker = 510;
constexpr std::uint32_t kBootSectorSize = 512;

constexpr std::uint32_t kMaxClusterSize = 2u << 20;
// 2^32 clusters of the largest cluster size: no NTFS volume is larger.
constexpr std::uint64_t kMaxVolumeBytes = (std::uint64_t{1} << 32) * kMaxClusterSize;
constexpr std::uint32_t kMinRecordSize = 256;
constexpr std::uint32_t kUpCasePageBytes = 512;
constexpr std::size_t kBitmapWindow = 65536;
constexpr std::size_t kBitmapWindowSlots = 32;  // 2 MiB of $Bitmap: 64 GiB of 4 KiB clusters

constexpr std::uint32_t kSystemRecords[] = {0, 3, 5, 6, 10};

}  // namespace

bool ApplyFixups(std::span<std::uint8_t> block, std::uint32_t strides) {
  if (strides == 0) return true;
  std::uint16_t arrayOffset = ReadLe16(block, 4);
  if (!FitsIn(block.size(), arrayOffset, 2ull * (strides + 1))) return false;
  if (static_cast<std::uint64_t>(strides) * 512 > block.size()) return false;
  std::uint16_t usn = ReadLe16(block, arrayOffset);
  for (std::uint32_t i = 0; i < strides; ++i) {
    std::size_t pos = (i + 1) * 512ull - 2;
    if (ReadLe16(block, pos) != usn) return false;
    block[pos] = block[arrayOffset + 2 * (i + 1)];
    block[pos + 1] = block[arrayOffset + 2 * (i + 1) + 1];
  }
  return true;
}

CNtfsVolume::CNtfsVolume() = default;
CNtfsVolume::~CNtfsVolume() = default;

bool CNtfsVolume::AttachGeometry(char driveLetter, std::uint32_t bytesPerSector,
                                 std::uint32_t bytesPerCluster, std::uint32_t recordSize,
                                 std::uint64_t clusterCount) {
  SetMftReadAhead(0);
  m_driveLetter = driveLetter;
  Open();
  m_bytesPerSector = bytesPerSector;
  m_bytesPerCluster = bytesPerCluster;
  m_recordSize = recordSize;
  m_clusterCount = clusterCount;
  return m_device != nullptr;
}

bool CNtfsVolume::Initialize(char driveLetter) {
  ScopeTrace trace(1, "CNtfsVolume::Initialize");
  SetMftReadAhead(0);  // a window of the MFT read before is stale now
  m_driveLetter = driveLetter;
  m_claimedSize = 0;
  Open();
  std::uint8_t boot[kBootSectorSize];
  std::uint32_t got = 0;
  if (!ReadDirect(0, boot, kBootSectorSize, got) || got < kBootSectorSize) {
    LogFile.WriteLastError(0);
    LogFile.WriteAlways("Cannot read NTFS boot sector\n");
    return false;
  }
  ByteSpan bs(boot, kBootSectorSize);
  if (boot[kBootOem] != 'N' || boot[kBootOem + 1] != 'T' || boot[kBootOem + 2] != 'F' ||
      boot[kBootOem + 3] != 'S' || ReadLe16(bs, kBootMarker) != 0xAA55) {
    return false;
  }
  std::uint32_t bps = ReadLe16(bs, kBootBytesPerSector);
  std::uint8_t spcByte = ReadLe8(bs, kBootSectorsPerCluster);
  // Clusters above 64 KiB are written as a negative power of two.
  std::uint64_t spc = spcByte <= 0x80 ? spcByte : (std::uint64_t{1} << std::min(256 - spcByte, 40));
  if (bps < 512 || bps > 4096 || !std::has_single_bit(bps) || spc == 0 ||
      !std::has_single_bit(spc) || bps * spc > kMaxClusterSize) {
    LogFile.WriteAlways(
        "NTFS boot sector: unsupported geometry (%u bytes per sector, %u sectors per cluster)\n",
        bps, static_cast<unsigned>(spcByte));
    return false;
  }
  m_bytesPerSector = bps;
  m_bytesPerCluster = static_cast<std::uint32_t>(bps * spc);
  LogFile.Write(1, "bpc=%lu\n", static_cast<unsigned long>(m_bytesPerCluster));

  auto v = static_cast<std::int8_t>(ReadLe8(bs, kBootClustersPerRecord));
  std::uint64_t recordSize = v >= 0 ? static_cast<std::uint64_t>(v) * m_bytesPerCluster
                                    : (-v < 32 ? std::uint64_t{1} << -v : 0);
  if (recordSize < kMinRecordSize || recordSize > kMaxRecordSize ||
      !std::has_single_bit(recordSize)) {
    LogFile.WriteAlways("NTFS boot sector: unsupported MFT record size %" PRIu64 "\n", recordSize);
    return false;
  }
  m_recordSize = static_cast<std::uint32_t>(recordSize);
  LogFile.Write(1, "mft_rec_size=%lu\n", static_cast<unsigned long>(m_recordSize));

  std::uint64_t totalSectors = ReadLe64(bs, kBootTotalSectors);
  // A boot sector may claim more than the source holds (an image cut short): what is there
  // is read, the rest reports itself as beyond the end. A claim no NTFS volume can make is
  // a damaged boot sector, not a cut-off image.
  std::uint64_t claimed = 0;
  if (__builtin_mul_overflow(totalSectors, std::uint64_t{bps}, &claimed) ||
      claimed > kMaxVolumeBytes) {
    LogFile.WriteAlways("NTFS boot sector: %" PRIu64
                        " sectors of %u bytes is more than any NTFS volume holds\n",
                        totalSectors, bps);
    return false;
  }
  m_claimedSize = claimed;
  if (MissingBytes() != 0) {
    LogFile.WriteAlways("NTFS volume %c: is cut off: the boot sector claims %" PRIu64
                        " bytes, the source holds %" PRIu64 "\n",
                        m_driveLetter, claimed, DeviceSize());
  }
  m_clusterCount = totalSectors / spc;
  if (m_clusterCount == 0) m_clusterCount = DeviceClusters();
  m_mftStartCluster = ReadLe64(bs, kBootMftCluster);
  if (m_mftStartCluster >= m_clusterCount) {
    LogFile.WriteAlways("NTFS boot sector: MFT cluster %" PRIu64
                        " lies beyond the volume's %" PRIu64 " clusters\n",
                        m_mftStartCluster, m_clusterCount);
    return false;
  }

  CNtfsFile* files[] = {&m_mft, &m_volumeFile, &m_root, &m_bitmap, &m_upcase};
  for (int i = 0; i < 5; ++i) {
    // Once $MFT is known the others are read through its runs; the direct read is the
    // fallback for a volume whose record 0 is damaged.
    if (i == 0 || !files[i]->LoadRecord(this, kSystemRecords[i], false)) {
      ReadSystemRecord(kSystemRecords[i], *files[i]);
    }
  }
  m_bitmapWindows.clear();

  m_upcasePageBuffer.assign(kUpCasePageBytes, 0);
  m_upcasePage = 0;
  m_upcasePageValid = false;
  m_upcaseData = m_upcase.FindAttribute(kAttrData, "");
  if (!m_upcaseData || !m_upcaseData->Seek(0)) {
    LogFile.WriteAlways("Cannot find $UpCase data\n");
    return false;
  }
  std::uint32_t read = 0;
  m_upcaseData->Read(m_upcasePageBuffer.data(), kUpCasePageBytes, read);
  m_upcasePageValid = read == kUpCasePageBytes;
  return true;
}

bool CNtfsVolume::ReadSystemRecord(std::uint32_t index, CNtfsFile& file) {
  std::vector<std::uint8_t> buffer(m_recordSize);
  std::uint64_t offset =
      m_mftStartCluster * m_bytesPerCluster + static_cast<std::uint64_t>(index) * m_recordSize;
  std::uint32_t got = 0;
  if (!ReadDirect(offset, buffer.data(), m_recordSize, got)) {
    LogFile.WriteLastError(0);
    LogFile.WriteAlways("MFT record %lu: Cannot read FILE record\n",
                        static_cast<unsigned long>(index));
    return false;
  }
  if (got < m_recordSize) {
    LogFile.WriteAlways("MFT record %lu: Cannot read FILE record\n",
                        static_cast<unsigned long>(index));
    return false;
  }
  return file.ParseRecord(this, buffer, index, false);
}

std::uint16_t CNtfsVolume::UpCaseChar(std::uint16_t unit) {
  std::uint32_t page = unit / 256u;
  if (!m_upcasePageValid || page != m_upcasePage) {
    std::uint32_t got = 0;
    if (!m_upcaseData || m_upcasePageBuffer.size() != kUpCasePageBytes ||
        !m_upcaseData->Seek(static_cast<std::uint64_t>(page) * kUpCasePageBytes) ||
        !m_upcaseData->Read(m_upcasePageBuffer.data(), kUpCasePageBytes, got) ||
        got != kUpCasePageBytes) {
      // Without the table's page the comparison falls back to exact code units.
      m_upcasePageValid = false;
      return unit;
    }
    m_upcasePage = page;
    m_upcasePageValid = true;
  }
  return ReadLe16(m_upcasePageBuffer, 2u * (unit % 256u));
}

bool CNtfsVolume::ReadMftRecord(std::uint32_t number, std::vector<std::uint8_t>& buffer) {
  m_lastRecordUnreadable = false;
  CNtfsFileAttr* data = m_mft.FindAttribute(kAttrData, "");
  if (!data) return false;
  if (m_readAheadValid != 0 && ReadMftRecordAhead(number, buffer)) return true;
  if (ReadRecordThrough(*data, number, m_recordSize, buffer)) return true;
  m_lastRecordUnreadable = !data->Faults().Empty();
  return false;
}

void CNtfsVolume::SetMftReadAhead(std::uint32_t bytes) {
  m_readAheadBytes = bytes;
  m_readAheadStart = 0;
  m_readAheadValid = 0;
  m_readAheadFailedEnd = 0;
  if (bytes == 0) std::vector<std::uint8_t>().swap(m_readAhead);
}

void CNtfsVolume::PrefetchMftRecords(std::uint32_t first) {
  if (m_readAheadBytes == 0 || m_recordSize == 0 || m_recordSize > kMaxRecordSize) return;
  CNtfsFileAttr* data = m_mft.FindAttribute(kAttrData, "");
  if (!data) return;
  std::vector<std::uint8_t> unused;
  if (m_readAheadValid != 0 && ReadMftRecordAhead(first, unused)) return;
  const std::uint64_t offset = static_cast<std::uint64_t>(first) * m_recordSize;
  const std::uint64_t streamEnd = data->RealSize();
  m_readAheadValid = 0;
  if (offset < m_readAheadFailedEnd || offset >= streamEnd) return;
  // Whole records only, so a record never straddles two windows.
  std::uint64_t want =
      std::min<std::uint64_t>(std::max(m_readAheadBytes, m_recordSize), streamEnd - offset);
  want -= want % m_recordSize;
  if (want == 0) return;
  m_readAhead.resize(want);
  std::uint32_t got = 0;
  m_readAheadStart = offset;
  if (!data->Seek(offset) ||
      !data->Read(m_readAhead.data(), static_cast<std::uint32_t>(want), got)) {
    m_readAheadFailedEnd = offset + want;
    return;
  }
  m_readAheadValid = got;
}

// False when the window does not hold the whole record; the caller then reads it alone,
// which gives the answer (and the failure) of the plain path.
bool CNtfsVolume::ReadMftRecordAhead(std::uint32_t number,
                                     std::vector<std::uint8_t>& buffer) const {
  const std::uint64_t offset = static_cast<std::uint64_t>(number) * m_recordSize;
  if (offset < m_readAheadStart || offset - m_readAheadStart >= m_readAheadValid ||
      m_readAheadValid - (offset - m_readAheadStart) < m_recordSize ||
      m_readAheadValid > m_readAhead.size())
    return false;
  const auto* first = m_readAhead.data() + (offset - m_readAheadStart);
  buffer.assign(first, first + m_recordSize);
  return true;
}

const CNtfsVolume::BitmapWindow* CNtfsVolume::BitmapWindowFor(CNtfsFileAttr& data,
                                                              std::uint64_t byte) {
  const std::uint64_t number = byte / kBitmapWindow;
  if (m_bitmapWindows.empty()) m_bitmapWindows.resize(kBitmapWindowSlots);
  BitmapWindow& slot = m_bitmapWindows[number % kBitmapWindowSlots];
  const std::uint64_t start = number * kBitmapWindow;
  if (!slot.bytes.empty() && slot.start == start) return &slot;
  slot.bytes.assign(kBitmapWindow, 0);
  std::uint32_t got = 0;
  if (!data.Seek(start) || !data.Read(slot.bytes.data(), kBitmapWindow, got) || got == 0) {
    slot.bytes.clear();
    return nullptr;
  }
  slot.bytes.resize(got);
  slot.start = start;
  return &slot;
}

bool CNtfsVolume::CountUsedClusters(std::uint64_t first, std::uint64_t count, std::uint64_t& used) {
  used = 0;
  if (first >= m_clusterCount) return true;
  count = std::min(count, m_clusterCount - first);
  CNtfsFileAttr* data = m_bitmap.FindAttribute(kAttrData, "");
  if (!data) return false;
  std::uint64_t bit = first;
  const std::uint64_t end = first + count;
  while (bit < end) {
    const std::uint64_t byte = bit / 8;
    const BitmapWindow* window = BitmapWindowFor(*data, byte);
    if (!window) return false;
    if (byte >= window->start + window->bytes.size()) break;  // $Bitmap ends before the volume does
    std::uint64_t windowEndBit = (window->start + window->bytes.size()) * 8;
    std::uint64_t stop = std::min(end, windowEndBit);
    while (bit < stop) {
      std::uint8_t b = window->bytes[bit / 8 - window->start];
      if (bit % 8 == 0 && stop - bit >= 8) {
        used += static_cast<unsigned>(std::popcount(b));
        bit += 8;
      } else {
        used += (b >> (bit % 8)) & 1;
        ++bit;
      }
    }
  }
  return true;
}

std::string CNtfsVolume::Label() {
  CNtfsFileAttr* name = m_volumeFile.FindAttribute(kAttrVolumeName);
  if (!name || name->IsNonResident()) return {};
  const auto& value = name->ResidentValue();
  return Utf16LeToUtf8(value, value.size() / 2);
}

bool CNtfsVolume::GetVolumeInfo(NtfsVolumeInfo& info) {
  info = {};
  info.label = Label();
  info.mftStartCluster = m_mftStartCluster;
  info.mftRecordSize = m_recordSize;
  info.bytesPerSector = m_bytesPerSector;
  info.bytesPerCluster = m_bytesPerCluster;
  info.clusters = m_clusterCount;
  std::uint64_t used = 0;
  if (!CountUsedClusters(0, m_clusterCount, used)) return false;
  info.freeClusters = m_clusterCount - used;
  return true;
}

}  // namespace sorvani
