// The surface scan: walks a volume's cluster allocation map ($Bitmap on NTFS, the active FAT
// on FAT12/16/32), tries the selected picture formats at every free cluster and hands each
// carved file to a sink in scan order, while the job record tells a poller how far it got.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "disk/volume.h"
#include "surfacescan/carvers.h"

namespace sorvani {

inline constexpr std::uint32_t kScanResultOk = 0;
inline constexpr std::uint32_t kScanInvalidArg = 0x80070057;  // E_INVALIDARG: no cancel event
inline constexpr std::uint32_t kScanNotImpl = 0x80004001;     // E_NOTIMPL: volume not opened

// The estimate is unknown until pass 1 has seen its first free cluster.
inline constexpr double kUnknownRemaining = -1.0;

// One row of the result list.
struct CarvedFile {
  std::int32_t icon = -1;  // image-list index, set by a window that shows icons
  std::string name;
  std::uint64_t startUnit = 0;
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
  int format = 0;  // the format key that matched
  // Cut short before the picture's end (by the end of the source when cutByEnd, else by a
  // read error): never a full picture.
  bool incomplete = false;
  bool cutByEnd = false;
};

// Receives the scan's results on the scan thread.
class ICarvedFileSink {
 public:
  virtual ~ICarvedFileSink() = default;
  // One carved file, in scan order.
  virtual void Append(const CarvedFile& file) = 0;
  // The scan could not start; the desktop shows this as a message box.
  virtual void ShowError(const std::string& text, const std::string& caption);
};

// What the scan is doing; the front end words it ("Preparing...", "Searching the drive X:
// ..."), with the drive letter of the status.
enum class ScanStage : std::uint8_t { kIdle, kPreparing, kCounting, kSearching };

// The status a poller reads, copied out under the job's lock.
struct SurfaceScanStatus {
  ScanStage stage = ScanStage::kIdle;
  char driveLetter = 0;
  std::int32_t percent = 0;
  std::int32_t found = 0;
  double remainingSeconds = 0;  // kUnknownRemaining (negative) when not yet known
};

struct SurfaceScanJob {
  char driveLetter = 0;
  // The cancel event: set by the front end, tested by the scan. May be null (the scan then
  // runs to its end and the result says so).
  const std::atomic<bool>* cancel = nullptr;
  CFormatSet formats;
  ICarvedFileSink* sink = nullptr;
  std::uint32_t result = kScanResultOk;
  // Set by the scan when part of the allocation map could not be read (a device error, a
  // cut-off source): the free clusters it describes were not searched, so the scan is not
  // the whole volume's. Written by the scan thread only; read after it has ended.
  bool mapIncomplete = false;

  std::mutex lock;  // guards the four fields below
  ScanStage stage = ScanStage::kIdle;
  std::int32_t percent = 0;
  std::int32_t found = 0;
  double remainingSeconds = 0;

  SurfaceScanStatus Snapshot();
  bool Cancelled() const { return cancel && cancel->load(std::memory_order_relaxed); }
};

// The stream of NTFS $Bitmap: bit i (least significant bit first) is cluster i, 1 = in use.
class IClusterBitmap {
 public:
  virtual ~IClusterBitmap() = default;
  virtual std::uint64_t Size() const = 0;  // bytes
  virtual bool Seek(std::uint64_t position) = 0;
  virtual bool Read(void* destination, std::uint32_t size, std::uint32_t& got) = 0;
};

// The $DATA stream of the volume's $Bitmap; null when the volume is not NTFS or the stream
// is missing.
std::unique_ptr<IClusterBitmap> OpenNtfsBitmap(CVolume& volume);

// The thread procedure: opens the job's drive and scans it.
void SurfaceScanThread(SurfaceScanJob& job);
// The same on a volume that is already open (steps after the open).
void SurfaceScanVolume(SurfaceScanJob& job, CVolume& volume);
// The two passes over an NTFS bitmap, and over the active FAT of a FAT volume.
void ScanNtfsBitmap(SurfaceScanJob& job, CVolume& volume, IClusterBitmap& bitmap,
                    std::uint64_t clusterCount);
void ScanFat(SurfaceScanJob& job, CVolume& volume, std::uint32_t fatType, std::uint64_t fatOffset,
             std::uint32_t sectorsPerFat, std::uint32_t firstDataSector,
             std::uint64_t dataClusters);

}  // namespace sorvani
