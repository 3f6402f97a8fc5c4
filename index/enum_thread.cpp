#include "index/enum_thread.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "disk/drive_table.h"
#include "foundation/display_format.h"
#include "foundation/log.h"
#include "index/index_cache.h"
#include "index/nameless_folders.h"
#include "index/ntfs_record_reader.h"
#include "ntfs/ntfs_volume.h"

namespace sorvani {
namespace {

constexpr std::uint32_t kBitmapChunk = 512;
// The scan takes records in ascending order: a MiB of the MFT per device read.
constexpr std::uint32_t kMftReadAhead = 1u << 20;

}  // namespace

std::uint8_t InitializeFailure(CNtfsVolume& volume) {
  std::uint8_t boot[512];
  std::uint32_t got = 0;
  if (!volume.Device() || !volume.ReadDirect(0, boot, sizeof boot, got) || got != sizeof boot)
    return kEnumUnreadable;
  return std::equal(boot + 3, boot + 7, "NTFS") ? kEnumUnreadable : kEnumNotNtfs;
}

namespace {

// Bytes of the MFT bitmap worth reading: a volume holds at most (its size / record size)
// records, so a forged bitmap attribute cannot keep the scan going past that.
std::uint64_t BitmapByteLimit(CNtfsVolume& volume, std::uint64_t bitmapSize) {
  std::uint32_t recordSize = volume.MftRecordSize();
  if (recordSize == 0) return 0;
  std::uint64_t records = volume.DeviceSize() / recordSize;
  std::uint64_t limit = records / 8 + 8;
  limit = std::min<std::uint64_t>(limit, std::uint64_t{1} << 29);  // record numbers are 32-bit
  return std::min(bitmapSize, limit);
}

// Reads the next chunk of the bitmap; the bytes delivered.
std::uint32_t ReadChunk(CNtfsFileAttr& bitmap, std::uint8_t* buffer, std::uint64_t& left) {
  if (left == 0) return 0;
  auto want = static_cast<std::uint32_t>(std::min<std::uint64_t>(kBitmapChunk, left));
  std::uint32_t got = 0;
  if (!bitmap.Read(buffer, want, got)) return 0;
  left -= std::min<std::uint64_t>(got, left);
  return got;
}

}  // namespace

std::uint8_t EnumerateDrive(char driveLetter, bool forceRescan) {
  {
    std::lock_guard<std::mutex> lock(index_lock);
    index_progress = IndexProgress{};
    index_progress.forceRescan = forceRescan ? 1 : 0;
  }
  CNtfsVolume volume;
  std::atomic<bool> never{false};
  return EnumThread(driveLetter, volume, file_index, index_progress, never, forceRescan);
}

std::uint8_t EnumThread(char driveLetter, CNtfsVolume& volumeRef, CFileIndex& index,
                        IndexProgress& progress, const std::atomic<bool>& cancel, bool forceRescan,
                        const DriveSource* source) {
  ScopeTrace trace(1, "EnumThread");
  CNtfsVolume* volume = &volumeRef;
  auto finish = [&progress](std::uint8_t result) {
    std::lock_guard<std::mutex> lock(index_lock);
    progress.result = result;
    return result;
  };
  auto cancelled = [&] {
    if (cancel.load(std::memory_order_relaxed)) return true;
    std::lock_guard<std::mutex> lock(index_lock);
    return progress.cancel != 0;
  };
  // Whatever the catalogue held described some drive; from here on it describes none, so no
  // early end below can leave it shown under this drive's letter.
  index.Clear();
  {
    std::lock_guard<std::mutex> lock(index_lock);
    progress.result = kEnumRunning;
    progress.stop = &cancel;
  }
  if (!volume->Initialize(driveLetter)) return finish(InitializeFailure(*volume));
  if (CNtfsFileAttr* mft = volume->MftFile().FindAttribute(kAttrData);
      mft && volume->MftRecordSize())
    index.SetRecordLimit(static_cast<std::uint32_t>(
        std::min<std::uint64_t>(mft->RealSize() / volume->MftRecordSize(), 0xFFFFFFFFu)));
  CacheIdentity identity;
  const bool identified = source ? VolumeCacheIdentity(*source, *volume, identity)
                                 : VolumeCacheIdentity(driveLetter, *volume, identity);
  if (!forceRescan && identified &&
      RestoreIndexFromCache(driveLetter, index, progress, identity) == 1)
    return finish(cancelled() ? kEnumCancelled : kEnumFromCache);

  CNtfsFileAttr* bitmap = volume->MftFile().FindAttribute(kAttrBitmap);
  if (!bitmap) return finish(kEnumUnreadable);
  index.Clear();

  std::vector<std::uint8_t> buffer(kBitmapChunk);
  const std::uint64_t limit = BitmapByteLimit(*volume, bitmap->RealSize());

  std::uint32_t unused = 0;
  bitmap->Seek(0);
  for (std::uint64_t left = limit;;) {
    std::uint32_t got = ReadChunk(*bitmap, buffer.data(), left);
    if (got == 0) break;
    for (std::uint32_t i = 0; i < got; ++i)
      unused += 8 - static_cast<std::uint32_t>(std::popcount(buffer[i]));
  }
  LogFile.WriteAlways("Found %lu unused records in MFT (%c:).\n",
                      static_cast<unsigned long>(unused), driveLetter);
  {
    std::lock_guard<std::mutex> lock(index_lock);
    progress.total = unused;
    progress.done = 0;
    progress.phase = kPhaseScanning;
  }
  bitmap->Seek(0);

  // Read-ahead only while this scan runs; later reads jump about. The details of each entry
  // are kept while its record is in the window.
  struct ScanScope {
    CNtfsVolume* volume;
    CFileIndex& index;
    ScanScope(CNtfsVolume* v, CFileIndex& i) : volume(v), index(i) {
      volume->SetMftReadAhead(kMftReadAhead);
      index.SetKeepFacts(true);
    }
    ~ScanScope() {
      volume->SetMftReadAhead(0);
      index.SetKeepFacts(false);
    }
  } scan(volume, index);
  CNtfsRecordReader reader(volume, &index);
  std::uint32_t record = 0;
  for (std::uint64_t left = limit;;) {
    std::uint32_t got = ReadChunk(*bitmap, buffer.data(), left);
    if (got == 0) break;
    for (std::uint32_t i = 0; i < got; ++i) {
      std::uint8_t bits = buffer[i];
      for (int bit = 0; bit < 8; ++bit, ++record) {
        if (cancel.load(std::memory_order_relaxed)) return finish(kEnumCancelled);
        if (bits & (1u << bit)) continue;
        volume->PrefetchMftRecords(record);
        index.IndexUnusedRecord(reader, record);
        std::lock_guard<std::mutex> lock(index_lock);
        if (progress.cancel != 0) return finish(kEnumCancelled);
        ++progress.done;
      }
    }
  }
  NameNamelessFolders(*volume, index);
  if (identified) {
    DumpIndexToCache(driveLetter, index, progress, identity);
  } else {
    LogFile.WriteAlways("Cannot tell which volume %c: holds; its catalogue is not saved.\n",
                        driveLetter);
  }
  return finish(kEnumScanned);
}

IndexTick ComputeIndexTick(const IndexProgress& progress, double elapsedSeconds) {
  IndexTick tick;
  tick.phase = progress.phase;
  switch (progress.phase) {
    case kPhaseScanning:
      tick.titleString = kIdsIndexTitleScanning;
      break;
    case kPhaseSaving:
      tick.titleString = kIdsIndexTitleSaving;
      break;
    case kPhaseLoading:
      tick.titleString = kIdsIndexTitleLoading;
      break;
    default:
      tick.titleString = 0;
      break;
  }
  if (progress.total != 0) {
    double percent = static_cast<double>(progress.done) * 100.0 / progress.total;
    tick.percent = (percent >= 0.0 && percent <= 100.0) ? static_cast<int>(percent) : 0;
  }
  tick.elapsedSeconds = elapsedSeconds;
  if (progress.phase == kPhaseScanning) {
    tick.estimateShown = true;
    double remaining = (static_cast<double>(progress.total) - progress.done) * elapsedSeconds /
                       static_cast<double>(progress.done);
    // done == 0 gives an infinite or undefined value, which lands on "unknown" here.
    double whole = std::isfinite(remaining) ? std::trunc(remaining) : -1.0;
    if (whole >= 0.0 && whole <= 3600.0) {
      tick.estimateKnown = true;
      tick.estimateSeconds = static_cast<std::uint32_t>(whole);
    }
  }
  return tick;
}

}  // namespace sorvani
