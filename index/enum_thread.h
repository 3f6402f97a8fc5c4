// The indexing of one drive: the process-wide table of NTFS readers, the worker that fills
// the catalogue from the MFT's own bitmap, and the dialog logic that starts, polls and
// cancels it (the windows only draw what CIndexRun::Tick reports).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "index/file_index.h"

namespace sorvani {

class CNtfsVolume;

// The reader of a drive letter, created on first use and kept while the letter stands for the
// same source. When the drive table maps the letter to other bytes (another image, a
// refreshed table), the next call replaces the reader, so nothing reads the old source on
// through it: callers take the reader anew for each piece of work and never keep it across a
// change of the drive table. The enumeration, the search, recovery and the views share it.
CNtfsVolume* NtfsVolumeFor(char driveLetter);

// Fills file_index for the drive: from its cache file when that is usable (unless
// index_progress.forceRescan is set), else by scanning every record the MFT bitmap marks
// unused; a complete scan is saved to the cache. The previous catalogue is cleared first,
// whatever happens next; how the run ended goes to index_progress.result and is returned.
void EnumThread(char driveLetter);
std::uint8_t EnumerateDrive(char driveLetter);

// The letter the catalogue describes: set by a run that ended with kEnumFromCache or
// kEnumScanned, 0 from the start of every run and after any other ending.
char CataloguedDrive();

// Resource strings of the indexing dialog's title per phase, and of its texts.
inline constexpr unsigned kIdsIndexTitleScanning = 39;
inline constexpr unsigned kIdsIndexTitleLoading = 40;
inline constexpr unsigned kIdsIndexTitleSaving = 42;
inline constexpr unsigned kIdsIndexEstimate = 35;
inline constexpr unsigned kIdsIndexEstimateUnknown = 36;
inline constexpr unsigned kIdsIndexPercent = 37;
inline constexpr unsigned kIdsIndexElapsed = 38;

// What one poll of the indexing dialog shows.
struct IndexTick {
  bool finished = false;
  std::uint8_t result = kEnumRunning;  // once finished: how the run ended
  std::uint8_t phase = 0;
  unsigned titleString = 0;  // resource string of the title; 0 leaves the title as it is
  int percent = 0;           // 0..100, also the progress bar's position
  double elapsedSeconds = 0;
  bool estimateShown = false;  // only while scanning
  bool estimateKnown = false;  // false: "unknown"
  std::uint32_t estimateSeconds = 0;
  std::string elapsedText;   // FormatElapsed
  std::string estimateText;  // FormatEstimate, "unknown", or "" outside the scan
};

// The values of one tick from a snapshot of the progress block and the seconds since start.
IndexTick ComputeIndexTick(const IndexProgress& progress, double elapsedSeconds);

// The indexing dialog without its window: Start, a Tick every kTickMilliseconds, Cancel.
class CIndexRun {
 public:
  static constexpr int kTickMilliseconds = 300;
  using Worker = std::function<void(char)>;

  explicit CIndexRun(Worker worker = EnumThread) : m_worker(std::move(worker)) {}
  ~CIndexRun();
  CIndexRun(const CIndexRun&) = delete;
  CIndexRun& operator=(const CIndexRun&) = delete;

  // Resets the progress block, sets force rescan, notes the start time, starts the worker.
  // A forced rescan deletes the drive's cache file first, so nothing can take the old one.
  void Start(char driveLetter, bool forceRescan);
  // Sets the cancel flag; the worker stops before its next record.
  void Cancel();
  // One poll. When the worker has ended, the result says finished and the thread is joined.
  IndexTick Tick();
  // Blocks until the worker has ended.
  void Wait();
  bool Started() const { return m_thread.joinable(); }
  // True once the worker has returned (the next Tick reports it finished).
  bool Ended() const { return m_ended; }

 private:
  Worker m_worker;
  std::thread m_thread;
  std::atomic<bool> m_ended{false};
  std::chrono::steady_clock::time_point m_start;
};

}  // namespace sorvani
