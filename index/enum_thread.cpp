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

std::mutex g_volumesLock;
struct VolumeSlot {
  std::unique_ptr<CNtfsVolume> volume;
  std::optional<DriveSourceIdentity> source;  // what the letter stood for when it was made
};
std::array<VolumeSlot, 256> g_volumes;

std::atomic<char> g_cataloguedDrive{0};

std::optional<DriveSourceIdentity> CurrentSource(char driveLetter) {
  auto source = CDriveTable::Instance().Find(driveLetter);
  if (!source) return std::nullopt;
  DriveSourceIdentity identity;
  IdentifySource(*source, identity);
  return identity;
}

// Why a reader could not initialise: a boot sector that says NTFS but whose volume cannot be
// read is unreadable; any other is not NTFS. Called under index_lock.
std::uint8_t InitializeFailure(CNtfsVolume& volume) {
  std::uint8_t boot[512];
  std::uint32_t got = 0;
  if (!volume.Device() || !volume.ReadDirect(0, boot, sizeof boot, got) || got != sizeof boot)
    return kEnumUnreadable;
  return std::equal(boot + 3, boot + 7, "NTFS") ? kEnumUnreadable : kEnumNotNtfs;
}

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
  std::optional<DriveSourceIdentity> current = CurrentSource(driveLetter);
  std::lock_guard<std::mutex> lock(g_volumesLock);
  auto& slot = g_volumes[static_cast<unsigned char>(driveLetter)];
  if (!slot.volume || slot.source != current) {
    slot.volume = std::make_unique<CNtfsVolume>();
    slot.source = std::move(current);
  }
  return slot.volume.get();
}

char CataloguedDrive() { return g_cataloguedDrive; }

void EnumThread(char driveLetter) { EnumerateDrive(driveLetter); }

std::uint8_t EnumerateDrive(char driveLetter) {
  ScopeTrace trace(1, "EnumThread");
  auto finish = [driveLetter](std::uint8_t result) {
    {
      std::lock_guard<std::mutex> lock(index_lock);
      index_progress.result = result;
    }
    if (result == kEnumFromCache || result == kEnumScanned) g_cataloguedDrive = driveLetter;
    return result;
  };
  // Whatever the catalogue held described some drive; from here on it describes none, so no
  // early end below can leave it shown under this drive's letter.
  g_cataloguedDrive = 0;
  file_index.Clear();
  CNtfsVolume* volume = NtfsVolumeFor(driveLetter);
  std::int32_t forceRescan;
  {
    std::lock_guard<std::mutex> lock(index_lock);
    index_progress.result = kEnumRunning;
    if (!volume->Initialize(driveLetter)) {
      std::uint8_t why = InitializeFailure(*volume);
      index_progress.result = why;
      return why;
    }
    // Folder names read for an earlier catalogue are dropped with it; the searches of this
    // one share what they read.
    volume->ClearDirNames();
    if (CNtfsFileAttr* mft = volume->MftFile().FindAttribute(kAttrData); mft && volume->MftRecordSize())
      file_index.SetRecordLimit(static_cast<std::uint32_t>(
          std::min<std::uint64_t>(mft->RealSize() / volume->MftRecordSize(), 0xFFFFFFFFu)));
    forceRescan = index_progress.forceRescan;
  }
  auto cancelled = [] {
    std::lock_guard<std::mutex> lock(index_lock);
    return index_progress.cancel != 0;
  };
  if (forceRescan == 0 && RestoreIndexFromCache(driveLetter) == 1)
    return finish(cancelled() ? kEnumCancelled : kEnumFromCache);

  CNtfsFileAttr* bitmap = volume->MftFile().FindAttribute(kAttrBitmap);
  if (!bitmap) return finish(kEnumUnreadable);
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
        bool stop;
        {
          std::lock_guard<std::mutex> lock(index_lock);
          stop = index_progress.cancel != 0;
        }
        if (stop) return finish(kEnumCancelled);
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
  NameNamelessFolders(*volume, file_index);
  DumpIndexToCache(driveLetter);
  return finish(kEnumScanned);
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
  if (forceRescan) CleanUpCache(driveLetter);
  {
    std::lock_guard<std::mutex> lock(index_lock);
    index_progress.phase = kPhaseNone;
    index_progress.done = 0;
    index_progress.total = 0;
    index_progress.cancel = 0;
    index_progress.forceRescan = forceRescan ? 1 : 0;
    index_progress.result = kEnumRunning;
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
    std::lock_guard<std::mutex> lock(index_lock);
    tick.result = index_progress.result;
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
