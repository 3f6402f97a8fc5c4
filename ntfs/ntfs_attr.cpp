#include "ntfs/ntfs_attr.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <limits>
#include <new>

#include "foundation/display_format.h"
#include "foundation/log.h"
#include "ntfs/lznt1.h"
#include "ntfs/ntfs_file.h"
#include "ntfs/ntfs_text.h"
#include "ntfs/ntfs_volume.h"

namespace sorvani {
namespace {

// Attribute header fields.
constexpr std::size_t kAttrType = 0;
constexpr std::size_t kAttrNonResident = 8;
constexpr std::size_t kAttrNameLength = 9;
constexpr std::size_t kAttrNameOffset = 10;
constexpr std::size_t kAttrFlags = 12;
constexpr std::uint16_t kAttrFlagCompressed = 0x0001;
constexpr std::size_t kAttrId = 14;
constexpr std::size_t kAttrValueLength = 16;
constexpr std::size_t kAttrValueOffset = 20;
constexpr std::size_t kAttrResidentHeader = 24;
constexpr std::size_t kAttrStartVcn = 16;
constexpr std::size_t kAttrRunListOffset = 32;
constexpr std::size_t kAttrCompressionUnit = 34;
constexpr std::size_t kAttrRealSize = 48;
constexpr std::size_t kAttrInitializedSize = 56;
constexpr std::size_t kAttrNonResidentHeader = 64;

// A decompressed unit bigger than this (huge clusters claiming compression) is not
// decompressed: NTFS itself compresses only volumes with clusters up to 4 KiB.
constexpr std::uint64_t kMaxUnitBytes = 4u << 20;

}  // namespace

std::uint32_t NormalizeFileAttributes(std::uint32_t bits) {
  if (bits & kFileAttrNtfsDirectory) bits = (bits | kFileAttrDirectory) & ~kFileAttrNtfsDirectory;
  return bits;
}

bool DecodeRunList(ByteSpan list, std::uint64_t maxClusters, std::vector<DataRun>& runs) {
  runs.clear();
  std::size_t pos = 0;
  std::uint64_t clusters = 0;
  std::int64_t lcn = 0;
  while (pos < list.size()) {
    std::uint8_t h = list[pos];
    if (h == 0) break;
    unsigned lengthBytes = h & 0x0F;
    unsigned offsetBytes = h >> 4;
    if (lengthBytes > 8 || offsetBytes > 8) return false;
    if (!FitsIn(list.size(), pos + 1, lengthBytes + offsetBytes)) break;
    DataRun run;
    run.length = ReadLeN(list, pos + 1, lengthBytes);
    run.lcnDelta = ReadLeSignedN(list, pos + 1 + lengthBytes, offsetBytes);
    run.sparse = offsetBytes == 0;
    if (run.length > maxClusters - clusters) return false;
    clusters += run.length;
    if (__builtin_add_overflow(lcn, run.lcnDelta, &lcn)) return false;
    runs.push_back(run);
    pos += 1 + lengthBytes + offsetBytes;
  }
  return true;
}

const char* TypeName(std::uint32_t type) {
  switch (type) {
    case 0x10:
      return "$STANDARD_INFORMATION";
    case 0x20:
      return "$ATTRIBUTE_LIST";
    case 0x30:
      return "$FILE_NAME";
    case 0x40:
      return "$OBJECT_ID";
    case 0x50:
      return "$SECURITY_DESCRIPTOR";
    case 0x60:
      return "$VOLUME_NAME";
    case 0x70:
      return "$VOLUME_INFORMATION";
    case 0x80:
      return "$DATA";
    case 0x90:
      return "$INDEX_ROOT";
    case 0xA0:
      return "$INDEX_ALLOCATION";
    case 0xB0:
      return "$BITMAP";
    case 0xC0:
      return "$SYMBOLIC_LINK";
    case 0xD0:
      return "$REPARSE_POINT";
    case 0xE0:
      return "$EA_INFORMATION";
    case 0xF0:
      return "$EA";
    case 0x100:
      return "$EFS";
    case 0x110:
      return "$AT_LOGGED_UTILITY_STREAM";
    default:
      return "UNKNOWN_TYPE";
  }
}

CNtfsFileAttr::CNtfsFileAttr(CNtfsFile* owner, ByteSpan header, std::uint32_t attributeLength) {
  Initialize(owner, header, attributeLength);
}

CNtfsFileAttr::~CNtfsFileAttr() = default;

CNtfsVolume* CNtfsFileAttr::Volume() const { return m_owner ? m_owner->Volume() : nullptr; }

bool CNtfsFileAttr::Initialize(CNtfsFile* owner, ByteSpan header,
                               std::uint32_t /*attributeLength*/) {
  try {
    m_valid = false;
    m_owner = owner;
    m_value.clear();
    m_runs.clear();
    m_extents.clear();
    m_runClusters = 0;
    m_unitBuffer.clear();
    m_unitNumber = ~std::uint64_t{0};
    m_name.clear();
    if (header.size() < kAttrResidentHeader) return false;
    m_id = ReadLe16(header, kAttrId);
    std::uint8_t nameLength = ReadLe8(header, kAttrNameLength);
    if (nameLength != 0) {
      std::uint16_t nameOffset = ReadLe16(header, kAttrNameOffset);
      if (!FitsIn(header.size(), nameOffset, 2u * nameLength)) return false;
      m_name = Utf16LeToUtf8(header.subspan(nameOffset), nameLength);
    }
    m_type = ReadLe32(header, kAttrType);
    m_nonResident = ReadLe8(header, kAttrNonResident) != 0;
    if (!m_nonResident) {
      std::uint32_t valueLength = ReadLe32(header, kAttrValueLength);
      std::uint16_t valueOffset = ReadLe16(header, kAttrValueOffset);
      if (!FitsIn(header.size(), valueOffset, valueLength)) return false;
      m_value.assign(header.begin() + valueOffset, header.begin() + valueOffset + valueLength);
      m_realSize = valueLength;
      m_initializedSize = valueLength;
      m_compressionUnit = 0;
      m_startVcn = 0;
    } else {
      if (header.size() < kAttrNonResidentHeader) return false;
      m_startVcn = ReadLe64(header, kAttrStartVcn);
      m_realSize = ReadLe64(header, kAttrRealSize);
      m_initializedSize = std::min(ReadLe64(header, kAttrInitializedSize), m_realSize);
      m_compressionUnit = ReadLe16(header, kAttrCompressionUnit);
      // Sparse attributes carry a compression unit too (ntfs-3g and older Windows write 4);
      // only the compressed flag says the data is LZNT1.
      if (!(ReadLe16(header, kAttrFlags) & kAttrFlagCompressed)) m_compressionUnit = 0;
      std::uint32_t bpc = 512;
      if (CNtfsVolume* volume = Volume(); volume && volume->BytesPerCluster()) {
        bpc = volume->BytesPerCluster();
      }
      if (m_compressionUnit != 0 &&
          (m_compressionUnit > 16 ||
           (std::uint64_t{1} << m_compressionUnit) * bpc > kMaxUnitBytes)) {
        m_compressionUnit = 0;
      }
      std::uint16_t runOffset = ReadLe16(header, kAttrRunListOffset);
      if (runOffset > header.size()) return false;
      std::uint64_t maxClusters =
          static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) / bpc;
      if (m_startVcn > maxClusters) return false;
      if (!DecodeRunList(header.subspan(runOffset), maxClusters, m_runs)) return false;
      RebuildExtents();
      if (m_runClusters > maxClusters - m_startVcn) return false;
    }
    Seek(0);
    m_valid = true;
    return true;
  } catch (...) {
    LogFile.WriteAlways("MFT record %lu: Unhandled exception in CNtfsFileAttr::Initialize\n",
                        static_cast<unsigned long>(m_owner ? m_owner->RecordNumber() : 0));
    m_valid = false;
    return false;
  }
}

void CNtfsFileAttr::RebuildExtents() {
  m_extents.clear();
  m_extents.reserve(m_runs.size());
  std::uint64_t vcn = m_startVcn;
  std::int64_t lcn = 0;
  for (const DataRun& run : m_runs) {
    // Overflow was refused when the runs were decoded or joined.
    lcn = static_cast<std::int64_t>(static_cast<std::uint64_t>(lcn) +
                                    static_cast<std::uint64_t>(run.lcnDelta));
    if (run.length != 0) m_extents.push_back({vcn, run.length, lcn, run.sparse});
    vcn += run.length;
  }
  m_runClusters = vcn - m_startVcn;
}

void CNtfsFileAttr::AppendRuns(CNtfsFileAttr& first, CNtfsFileAttr& later) {
  std::uint64_t end = first.m_startVcn + first.m_runClusters;
  if (later.m_startVcn < end) {
    later.m_runs.clear();  // overlapping piece: the first one read wins
    later.RebuildExtents();
    return;
  }
  std::int64_t lastLcn = 0;
  for (const DataRun& run : first.m_runs) lastLcn += run.lcnDelta;
  std::vector<DataRun> moved;
  if (later.m_startVcn > end) moved.push_back({0, later.m_startVcn - end, true});  // missing piece
  bool rebased = false;
  for (DataRun run : later.m_runs) {
    if (!rebased && !run.sparse) {
      std::int64_t delta;
      if (__builtin_sub_overflow(run.lcnDelta, lastLcn, &delta)) {
        later.m_runs.clear();
        later.RebuildExtents();
        return;
      }
      run.lcnDelta = delta;
      rebased = true;
    }
    moved.push_back(run);
  }
  first.m_runs.insert(first.m_runs.end(), moved.begin(), moved.end());
  later.m_runs.clear();
  later.RebuildExtents();
  first.RebuildExtents();
  first.m_unitNumber = ~std::uint64_t{0};
  first.Seek(0);
}

const CNtfsFileAttr::Extent* CNtfsFileAttr::FindExtent(std::uint64_t vcn) const {
  auto it = std::upper_bound(m_extents.begin(), m_extents.end(), vcn,
                             [](std::uint64_t v, const Extent& e) { return v < e.vcn; });
  if (it == m_extents.begin()) return nullptr;
  --it;
  if (vcn - it->vcn >= it->length) return nullptr;
  return &*it;
}

// ---- stream reading ----

bool CNtfsFileAttr::Seek(std::uint64_t pos) {
  if (!m_nonResident) {
    // An empty value can still be positioned at its start, so empty streams read as empty.
    if (pos < m_realSize || pos == 0) {
      m_position = pos;
      return true;
    }
    return false;
  }
  CNtfsVolume* volume = Volume();
  std::uint64_t bpc = volume && volume->BytesPerCluster() ? volume->BytesPerCluster() : 0;
  if (pos == 0) {
    m_position = 0;
    return true;
  }
  if (bpc == 0) return false;
  std::uint64_t endVcn = m_startVcn + m_runClusters;
  std::uint64_t endByte;
  if (__builtin_mul_overflow(endVcn, bpc, &endByte))
    endByte = std::numeric_limits<std::uint64_t>::max();
  if (pos > endByte) return false;
  m_position = pos;
  return true;
}

bool CNtfsFileAttr::Read(void* destination, std::uint32_t size, std::uint32_t& got,
                         bool roundToSector) {
  got = 0;
  if (destination == nullptr || size == 0) return false;
  auto* dst = static_cast<std::uint8_t*>(destination);
  if (!m_nonResident) {
    if (m_position >= m_value.size()) return m_value.empty() && m_realSize == 0;
    std::uint64_t n = std::min<std::uint64_t>(size, m_value.size() - m_position);
    std::memcpy(dst, m_value.data() + m_position, n);
    m_position += n;
    got = static_cast<std::uint32_t>(n);
    return true;
  }
  CNtfsVolume* volume = Volume();
  if (!volume || volume->BytesPerCluster() == 0) return false;
  if (!m_tolerant && !m_faults.Empty()) m_faults.Clear();  // strict: only the last failure's
  std::uint64_t end = m_realSize;
  std::uint64_t zeroFrom = m_initializedSize;
  if (roundToSector) {
    // The raw import of encrypted files takes whole sectors of ciphertext.
    std::uint64_t bps = volume->BytesPerSector() ? volume->BytesPerSector() : 512;
    auto roundUp = [bps](std::uint64_t v) {
      std::uint64_t r = v % bps;
      return r == 0 || v > std::numeric_limits<std::uint64_t>::max() - bps ? v : v + (bps - r);
    };
    end = roundUp(end);
    zeroFrom = std::min(roundUp(zeroFrom), end);
  }
  // Past the runs there is no data: a size claiming more (one flipped bit can make a small
  // file claim gigabytes) is not filled up with invented zeros.
  end = std::min(end, RunsEndByte(volume->BytesPerCluster()));
  zeroFrom = std::min(zeroFrom, end);
  if (m_position >= end) return true;
  std::uint64_t n64 = std::min<std::uint64_t>(size, end - m_position);
  auto n = static_cast<std::uint32_t>(n64);
  while (got < n) {
    std::uint32_t want = n - got;
    std::uint32_t done = 0;
    if (m_position >= zeroFrom) {
      // Past the initialized size NTFS returns zeros whatever the clusters hold.
      std::memset(dst + got, 0, want);
      done = want;
    } else {
      want = static_cast<std::uint32_t>(std::min<std::uint64_t>(want, zeroFrom - m_position));
      bool ok = IsCompressed() ? ReadCompressed(m_position, dst + got, want, done)
                               : ReadPlain(m_position, dst + got, want, done);
      if (!ok) return false;
      if (done == 0) return false;  // cannot happen; guards the loop
    }
    m_position += done;
    got += done;
  }
  return true;
}

std::uint64_t CNtfsFileAttr::RunsEndByte(std::uint64_t bpc) const {
  std::uint64_t endByte = 0;
  if (__builtin_mul_overflow(m_startVcn + m_runClusters, bpc, &endByte))
    endByte = std::numeric_limits<std::uint64_t>::max();
  return endByte;
}

std::uint64_t CNtfsFileAttr::DataFound() const {
  if (!m_nonResident) return m_value.size();
  CNtfsVolume* volume = Volume();
  if (!volume || volume->BytesPerCluster() == 0) return m_realSize;
  return std::min(m_realSize, RunsEndByte(volume->BytesPerCluster()));
}

bool CNtfsFileAttr::TakeFaults(const CReadFaults& faults, std::uint64_t pos) {
  if (!m_tolerant) {
    // Kept so the caller can tell a read that failed from data that is not what it wants.
    m_faults.Append(faults, pos);
    LogFile.Write(1, "Attribute 0x%X of record %lu: bytes at %llu could not be read\n", m_type,
                  static_cast<unsigned long>(m_owner ? m_owner->RecordNumber() : 0),
                  static_cast<unsigned long long>(pos + faults.Ranges().front().offset));
    errno = faults.Has(ReadFault::kDeviceError) ? EIO : ENXIO;
    return false;
  }
  m_faults.Append(faults, pos);
  return true;
}

bool CNtfsFileAttr::ReadPlain(std::uint64_t pos, std::uint8_t* dst, std::uint32_t n,
                              std::uint32_t& done) {
  CNtfsVolume* volume = Volume();
  std::uint64_t bpc = volume->BytesPerCluster();
  std::uint64_t vcn = pos / bpc;
  const Extent* e = FindExtent(vcn);
  if (!e) {
    // Beyond the runs (or a hole between pieces): zeros up to the next extent, if any.
    auto next = std::upper_bound(m_extents.begin(), m_extents.end(), vcn,
                                 [](std::uint64_t v, const Extent& x) { return v < x.vcn; });
    std::uint64_t limit = n;
    if (next != m_extents.end()) limit = std::min<std::uint64_t>(n, next->vcn * bpc - pos);
    std::memset(dst, 0, limit);
    done = static_cast<std::uint32_t>(limit);
    return true;
  }
  std::uint64_t extentEnd = (e->vcn + e->length) * bpc;
  auto piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(n, extentEnd - pos));
  if (e->sparse) {
    std::memset(dst, 0, piece);
    done = piece;
    return true;
  }
  std::int64_t lcn;
  // A run pointing outside the volume is a damaged run list, not a cut-off source: the
  // stream ends there (the caller sees it stop short).
  if (__builtin_add_overflow(e->lcn, static_cast<std::int64_t>(vcn - e->vcn), &lcn) ||
      !volume->ClusterInVolume(lcn)) {
    return false;
  }
  CReadFaults faults;
  auto offset = static_cast<std::uint32_t>(pos % bpc);
  if (!volume->ReadRawChecked(static_cast<std::uint64_t>(lcn), offset, dst, piece, faults))
    return false;
  if (!faults.Empty() && !TakeFaults(faults, pos)) return false;
  done = piece;
  return true;
}

CNtfsFileAttr::UnitKind CNtfsFileAttr::ClassifyUnit(std::uint64_t unit,
                                                    std::uint64_t& dataClusters) const {
  const std::uint64_t unitClusters = UnitClusters();
  const std::uint64_t start = unit * unitClusters;
  std::uint64_t v = start;
  bool sawSparse = false;
  dataClusters = 0;
  while (v < start + unitClusters) {
    const Extent* e = FindExtent(v);
    if (!e) break;
    std::uint64_t segEnd = std::min(e->vcn + e->length, start + unitClusters);
    if (e->sparse) {
      sawSparse = true;
    } else {
      if (sawSparse) return UnitKind::Plain;  // data after a hole: not a compressed unit
      dataClusters += segEnd - v;
    }
    v = segEnd;
  }
  return (sawSparse && dataClusters > 0 && dataClusters < unitClusters) ? UnitKind::Compressed
                                                                        : UnitKind::Plain;
}

bool CNtfsFileAttr::LoadUnit(std::uint64_t unit) {
  if (unit == m_unitNumber) return true;
  CNtfsVolume* volume = Volume();
  const std::uint64_t bpc = volume->BytesPerCluster();
  const std::uint64_t unitClusters = UnitClusters();
  std::uint64_t dataClusters = 0;
  ClassifyUnit(unit, dataClusters);
  std::vector<std::uint8_t> packed(dataClusters * bpc);
  std::uint64_t v = unit * unitClusters;
  std::uint64_t filled = 0;
  CReadFaults faults;
  m_unitNumber = ~std::uint64_t{0};
  m_unitFaults.Clear();
  while (filled < packed.size()) {
    const Extent* e = FindExtent(v);
    if (!e || e->sparse) break;
    std::uint64_t clusters = std::min(e->vcn + e->length - v, dataClusters - filled / bpc);
    std::int64_t lcn;
    auto want = static_cast<std::uint32_t>(clusters * bpc);
    if (__builtin_add_overflow(e->lcn, static_cast<std::int64_t>(v - e->vcn), &lcn) ||
        !volume->ClusterInVolume(lcn)) {
      return false;
    }
    if (!volume->ReadRawChecked(static_cast<std::uint64_t>(lcn), 0, packed.data() + filled, want,
                                faults)) {
      return false;
    }
    filled += want;
    v += clusters;
  }
  if (!faults.Empty()) {
    if (!m_tolerant) return false;
    // Compressed bytes cannot be mapped to the bytes they decode to: the whole unit is
    // suspect, with the kind of its first missing piece.
    const UnreadableRange& first = faults.Ranges().front();
    m_unitFaults.Add(0, unitClusters * bpc, first.kind, first.error);
  }
  m_unitBuffer.assign(unitClusters * bpc, 0);
  Lznt1DecompressUnit(packed, m_unitBuffer);
  m_unitNumber = unit;
  return true;
}

bool CNtfsFileAttr::ReadCompressed(std::uint64_t pos, std::uint8_t* dst, std::uint32_t n,
                                   std::uint32_t& done) {
  const std::uint64_t bpc = Volume()->BytesPerCluster();
  const std::uint64_t unitBytes = UnitClusters() * bpc;
  const std::uint64_t unit = pos / unitBytes;
  const std::uint64_t inUnit = pos % unitBytes;
  auto piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(n, unitBytes - inUnit));
  std::uint64_t dataClusters = 0;
  if (ClassifyUnit(unit, dataClusters) == UnitKind::Plain) return ReadPlain(pos, dst, piece, done);
  if (!LoadUnit(unit)) return false;
  if (!m_unitFaults.Empty()) {
    const UnreadableRange& r = m_unitFaults.Ranges().front();
    CReadFaults faults;
    faults.Add(0, piece, r.kind, r.error);
    if (!TakeFaults(faults, pos)) return false;
  }
  std::memcpy(dst, m_unitBuffer.data() + inUnit, piece);
  done = piece;
  return true;
}

std::uint32_t CNtfsFileAttr::GetOverwrittenPercent() {
  std::uint32_t percent = 0;
  return OverwrittenPercent(percent) ? percent : 0;
}

bool CNtfsFileAttr::OverwrittenPercent(std::uint32_t& percent) {
  percent = 0;
  if (!m_nonResident) return true;
  CNtfsVolume* volume = Volume();
  if (!volume) return false;
  const std::uint64_t clusterCount = volume->ClusterCount();
  std::uint64_t total = 0;
  std::uint64_t used = 0;
  for (const Extent& e : m_extents) {
    // Sparse runs own no clusters, so nothing of theirs can be overwritten.
    if (e.sparse || e.lcn < 0) continue;
    auto start = static_cast<std::uint64_t>(e.lcn);
    if (start >= clusterCount) continue;
    std::uint64_t length = std::min(e.length, clusterCount - start);
    // A file cannot own more clusters than the volume has: stop a hostile run list there.
    length = std::min(length, clusterCount - total);
    std::uint64_t inUse = 0;
    if (!volume->CountUsedClusters(start, length, inUse)) return false;
    used += inUse;
    total += length;
    if (total >= clusterCount) break;
  }
  if (total != 0)
    percent =
        static_cast<std::uint32_t>(static_cast<double>(used) * 100.0 / static_cast<double>(total));
  return true;
}

// ---- dumps ----

void CNtfsFileAttr::Dump() {
  std::string text = DumpText();
  LogFile.WriteAlways("%s", text.c_str());
}

std::string CNtfsFileAttr::DumpText() {
  std::string out;
  AppendDump(out);
  return out;
}

void CNtfsFileAttr::AppendDump(std::string& out) { AppendBaseDump(out); }

void CNtfsFileAttr::AppendBaseDump(std::string& out) {
  Appendf(out,
          "  ATTRIBUTE id=%u\tname=%s\ttype=%s\t\tresident=%d\treal_sz=%" PRIu64
          "\tstream_sz=%" PRIu64 "\n",
          m_id, EscapeControlCharacters(m_name).c_str(), TypeName(m_type), m_nonResident ? 0 : 1,
          m_realSize, m_nonResident ? m_initializedSize : m_realSize);
  if (!m_nonResident) return;
  Appendf(out, "  DATARUNS sz=%d\n", static_cast<int>(m_runs.size()));
  for (std::size_t i = 0; i < m_runs.size(); ++i) {
    Appendf(out, "  %d ", static_cast<int>(i));
    Appendf(out, "    DATARUN offset=%" PRId64 "\tlength=%" PRIu64 "\n", m_runs[i].lcnDelta,
            m_runs[i].length);
  }
}

}  // namespace sorvani
