#include "index/enum_thread.h"

#include <array>
#include <bit>
#include <cmath>
#include <memory>
#include <mutex>
#include <vector>

#include "foundation/display_format.h"
#include "foundation/log.h"
#include "index/index_cache.h"
#include "index/ntfs_record_reader.h"
#include "ntfs/ntfs_volume.h"

namespace sorvani {
namespace {

constexpr std::uint32_t kBitmapChunk = 512;
// The scan takes records in ascending order: a MiB of the MFT per device read.
constexpr std::uint32_t kMftReadAhead = 1u << 20;

std::mutex g_volumesLock;
std::array<std::unique_ptr<CNtfsVolume>, 256> g_volumes;

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

// Reads the next chunk of the bitmap under index_lock; the bytes delivered.
std::uint32_t ReadChunk(CNtfsFileAttr& bitmap, std::uint8_t* buffer, std::uint64_t& left) {
  if (left == 0) return 0;
  auto want = static_cast<std::uint32_t>(std::min<std::uint64_t>(kBitmapChunk, left));
  std::uint32_t got = 0;
  std::lock_guard<std::mutex> lock(index_lock);
  if (!bitmap.Read(buffer, want, got)) return 0;
  left -= std::min<std::uint64_t>(got, left);
  return got;
}

}  // namespace

CNtfsVolume* NtfsVolumeFor(char driveLetter) {
  std::lock_guard<std::mutex> lock(g_volumesLock);
  auto& slot = g_volumes[static_cast<unsigned char>(driveLetter)];
  if (!slot) slot = std::make_unique<CNtfsVolume>();
  return slot.get();
}

void EnumThread(char driveLetter) {
  ScopeTrace trace(1, "EnumThread");
  CNtfsVolume* volume = NtfsVolumeFor(driveLetter);
  std::int32_t forceRescan;
  {
    std::lock_guard<std::mutex> lock(index_lock);
    if (!volume->Initialize(driveLetter)) return;
    // Folder names read for an earlier catalogue are dropped with it; the searches of this
    // one share what they read.
    volume->ClearDirNames();
    if (CNtfsFileAttr* mft = volume->MftFile().FindAttribute(kAttrData); mft && volume->MftRecordSize())
      file_index.SetRecordLimit(static_cast<std::uint32_t>(
          std::min<std::uint64_t>(mft->RealSize() / volume->MftRecordSize(), 0xFFFFFFFFu)));
    forceRescan = index_progress.forceRescan;
  }
  if (forceRescan == 0 && RestoreIndexFromCache(driveLetter) == 1) return;

  CNtfsFileAttr* bitmap = volume->MftFile().FindAttribute(kAttrBitmap);
  if (!bitmap) return;
  file_index.Clear();

  std::vector<std::uint8_t> buffer(kBitmapChunk);
  const std::uint64_t limit = BitmapByteLimit(*volume, bitmap->RealSize());

  std::uint32_t unused = 0;
  {
    std::lock_guard<std::mutex> lock(index_lock);
    bitmap->Seek(0);
  }
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
    index_progress.total = unused;
    index_progress.done = 0;
    index_progress.phase = kPhaseScanning;
    bitmap->Seek(0);
  }

  // Read-ahead only while this scan runs; later reads (lists, searches) jump about. The
  // details of each entry are kept while its record is in the window.
  struct ScanScope {
    CNtfsVolume* volume;
    explicit ScanScope(CNtfsVolume* v) : volume(v) {
      std::lock_guard<std::mutex> lock(index_lock);
      volume->SetMftReadAhead(kMftReadAhead);
      file_index.SetKeepFacts(true);
    }
    ~ScanScope() {
      std::lock_guard<std::mutex> lock(index_lock);
      volume->SetMftReadAhead(0);
      file_index.SetKeepFacts(false);
    }
  } scan(volume);
  CNtfsRecordReader reader(volume);
  std::uint32_t record = 0;
  for (std::uint64_t left = limit;;) {
    std::uint32_t got = ReadChunk(*bitmap, buffer.data(), left);
    if (got == 0) break;
    for (std::uint32_t i = 0; i < got; ++i) {
      std::uint8_t bits = buffer[i];
      for (int bit = 0; bit < 8; ++bit, ++record) {
        {
          std::lock_guard<std::mutex> lock(index_lock);
          if (index_progress.cancel) return;
        }
        if (bits & (1u << bit)) continue;
        {
          std::lock_guard<std::mutex> lock(index_lock);
          volume->PrefetchMftRecords(record);
        }
        file_index.IndexUnusedRecord(reader, record);
        std::lock_guard<std::mutex> lock(index_lock);
        ++index_progress.done;
      }
    }
  }
  DumpIndexToCache(driveLetter);
}

IndexTick ComputeIndexTick(const IndexProgress& progress, double elapsedSeconds) {
  IndexTick tick;
  tick.phase = progress.phase;
  switch (progress.phase) {
    case kPhaseScanning: tick.titleString = kIdsIndexTitleScanning; break;
    case kPhaseSaving: tick.titleString = kIdsIndexTitleSaving; break;
    case kPhaseLoading: tick.titleString = kIdsIndexTitleLoading; break;
    default: tick.titleString = 0; break;
  }
  if (progress.total != 0) {
    double percent = static_cast<double>(progress.done) * 100.0 / progress.total;
    tick.percent = (percent >= 0.0 && percent <= 100.0) ? static_cast<int>(percent) : 0;
  }
  tick.elapsedSeconds = elapsedSeconds;
  tick.elapsedText = FormatElapsed(elapsedSeconds);
  if (progress.phase == kPhaseScanning) {
    tick.estimateShown = true;
    double remaining = (static_cast<double>(progress.total) - progress.done) * elapsedSeconds /
                       static_cast<double>(progress.done);
    // done == 0 gives an infinite or undefined value, which lands on "unknown" here.
    double whole = std::isfinite(remaining) ? std::trunc(remaining) : -1.0;
    if (whole >= 0.0 && whole <= 3600.0) {
      tick.estimateKnown = true;
      tick.estimateSeconds = static_cast<std::uint32_t>(whole);
      tick.estimateText = FormatEstimate(tick.estimateSeconds);
    } else {
      tick.estimateText = "unknown";
    }
  }
  return tick;
}

CIndexRun::~CIndexRun() {
  if (m_thread.joinable()) {
    Cancel();
    m_thread.join();
  }
}

void CIndexRun::Start(char driveLetter, bool forceRescan) {
  Wait();
  {
    std::lock_guard<std::mutex> lock(index_lock);
    index_progress.phase = kPhaseNone;
    index_progress.done = 0;
    index_progress.total = 0;
    index_progress.cancel = 0;
    index_progress.forceRescan = forceRescan ? 1 : 0;
  }
  m_start = std::chrono::steady_clock::now();
  m_ended = false;
  m_thread = std::thread([this, driveLetter] {
    m_worker(driveLetter);
    m_ended = true;
  });
}

void CIndexRun::Cancel() {
  std::lock_guard<std::mutex> lock(index_lock);
  index_progress.cancel = 1;
}

IndexTick CIndexRun::Tick() {
  if (m_ended) {
    Wait();
    IndexTick tick;
    tick.finished = true;
    return tick;
  }
  IndexProgress snapshot;
  {
    std::lock_guard<std::mutex> lock(index_lock);
    snapshot = index_progress;
  }
  auto ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_start);
  return ComputeIndexTick(snapshot, ms.count() / 1000.0);
}

void CIndexRun::Wait() {
  if (m_thread.joinable()) m_thread.join();
}

}  // namespace sorvani
