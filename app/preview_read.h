// Preview reads: the first bytes of a record's unnamed $DATA, or a raw range of a volume
// (a carved file: unit, offset, size), through a reader of the previewer's own, so a preview
// never shares a reader with a listing or an indexing run.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "disk/drive_table.h"

namespace sorvani {

class CNtfsVolume;
class CVolume;

enum class PreviewResult { kOk, kNoStream, kUnreadable, kCancelled };

// Reads up to `limit` bytes of the unnamed $DATA of record `record` into `out` (resized to
// the bytes read; fewer when the stream is shorter). kNoStream: no such record, or it holds no
// unnamed $DATA; kUnreadable: the bytes could not be read. Thread of `volume`.
PreviewResult ReadRecordData(CNtfsVolume& volume, std::uint32_t record, std::uint64_t limit,
                             std::vector<std::uint8_t>& out,
                             const std::atomic<bool>* cancel = nullptr);

// Reads `size` bytes that start `offset` bytes into allocation unit `unit` (cluster) of
// `volume`; stops at the end of the source (out then holds fewer bytes). Thread of `volume`.
PreviewResult ReadRawRange(CVolume& volume, std::uint64_t unit, std::uint64_t offset,
                           std::uint64_t size, std::vector<std::uint8_t>& out,
                           const std::atomic<bool>* cancel = nullptr);

// A previewer of one drive with its reader, opened from the drive's source. Used from one
// thread at a time (the preview's worker).
class CPreviewReader {
 public:
  CPreviewReader();
  // False when the source holds no NTFS volume (raw ranges still read then).
  bool Open(char letter, const DriveSource& source);
  PreviewResult RecordData(std::uint32_t record, std::uint64_t limit,
                           std::vector<std::uint8_t>& out,
                           const std::atomic<bool>* cancel = nullptr);
  PreviewResult RawRange(std::uint64_t unit, std::uint64_t offset, std::uint64_t size,
                         std::vector<std::uint8_t>& out, const std::atomic<bool>* cancel = nullptr);
  ~CPreviewReader();

 private:
  std::unique_ptr<CNtfsVolume> m_ntfs;
  std::unique_ptr<CVolume> m_raw;
};

}  // namespace sorvani
