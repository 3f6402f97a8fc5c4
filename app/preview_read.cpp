#include "app/preview_read.h"

#include <algorithm>

#include "app/session.h"
#include "fat/fat_volume.h"
#include "ntfs/ntfs_attr.h"
#include "ntfs/ntfs_file.h"
#include "ntfs/ntfs_volume.h"

namespace sorvani {
namespace {

// Pieces of a preview read; cancel is noticed between them.
constexpr std::uint32_t kPiece = 1u << 20;
// A preview is the head of a file, never the whole of a large one.
constexpr std::uint64_t kMaxPreview = 256u << 20;

bool Stopped(const std::atomic<bool>* cancel) {
  return cancel && cancel->load(std::memory_order_relaxed);
}

}  // namespace

PreviewResult ReadRecordData(CNtfsVolume& volume, std::uint32_t record, std::uint64_t limit,
                             std::vector<std::uint8_t>& out, const std::atomic<bool>* cancel) {
  out.clear();
  CNtfsFile file;
  if (!file.LoadRecord(&volume, record, false)) return PreviewResult::kNoStream;
  CNtfsFileAttr* data = file.FindAttribute(kAttrData, "");
  if (!data) return PreviewResult::kNoStream;
  const std::uint64_t want = std::min({limit, data->RealSize(), kMaxPreview});
  out.resize(static_cast<std::size_t>(want));
  if (!data->Seek(0)) return PreviewResult::kUnreadable;
  std::uint64_t done = 0;
  while (done < want) {
    if (Stopped(cancel)) {
      out.resize(static_cast<std::size_t>(done));
      return PreviewResult::kCancelled;
    }
    auto piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(kPiece, want - done));
    std::uint32_t got = 0;
    if (!data->Read(out.data() + done, piece, got)) {
      out.resize(static_cast<std::size_t>(done));
      return PreviewResult::kUnreadable;
    }
    done += got;
    if (got < piece) break;
  }
  out.resize(static_cast<std::size_t>(done));
  return PreviewResult::kOk;
}

PreviewResult ReadRawRange(CVolume& volume, std::uint64_t unit, std::uint64_t offset,
                           std::uint64_t size, std::vector<std::uint8_t>& out,
                           const std::atomic<bool>* cancel) {
  out.clear();
  const std::uint32_t unitSize = volume.BytesPerCluster();
  if (unitSize == 0) return PreviewResult::kUnreadable;
  size = std::min(size, kMaxPreview);
  out.resize(static_cast<std::size_t>(size));
  // The start as (unit, offset within it) with the offset below one unit.
  unit += offset / unitSize;
  std::uint64_t within = offset % unitSize;
  std::uint64_t done = 0;
  while (done < size) {
    if (Stopped(cancel)) {
      out.resize(static_cast<std::size_t>(done));
      return PreviewResult::kCancelled;
    }
    std::uint64_t at = within + done;
    auto piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(kPiece, size - done));
    std::uint32_t got = piece;
    if (!volume.ReadRaw(unit + at / unitSize, static_cast<std::uint32_t>(at % unitSize),
                        out.data() + done, got)) {
      out.resize(static_cast<std::size_t>(done));
      return PreviewResult::kUnreadable;
    }
    done += got;
    if (got < piece) break;  // the end of the source
  }
  out.resize(static_cast<std::size_t>(done));
  return PreviewResult::kOk;
}

CPreviewReader::CPreviewReader() = default;
CPreviewReader::~CPreviewReader() = default;

bool CPreviewReader::Open(char letter, const DriveSource& source) {
  m_ntfs = CSession::NewReader(letter, source);
  if (m_ntfs) return true;
  // Not NTFS: raw ranges (carved files of a FAT volume) read through the FAT reader.
  auto fat = std::make_unique<CFatVolume>();
  if (auto device = source.OpenSource()) fat->AttachDevice(std::move(device));
  if (fat->Device() && fat->Initialize(letter)) m_raw = std::move(fat);
  return false;
}

PreviewResult CPreviewReader::RecordData(std::uint32_t record, std::uint64_t limit,
                                         std::vector<std::uint8_t>& out,
                                         const std::atomic<bool>* cancel) {
  if (!m_ntfs) {
    out.clear();
    return PreviewResult::kNoStream;
  }
  return ReadRecordData(*m_ntfs, record, limit, out, cancel);
}

PreviewResult CPreviewReader::RawRange(std::uint64_t unit, std::uint64_t offset, std::uint64_t size,
                                       std::vector<std::uint8_t>& out,
                                       const std::atomic<bool>* cancel) {
  if (m_ntfs) return ReadRawRange(*m_ntfs, unit, offset, size, out, cancel);
  if (m_raw) return ReadRawRange(*m_raw, unit, offset, size, out, cancel);
  out.clear();
  return PreviewResult::kUnreadable;
}

}  // namespace sorvani
