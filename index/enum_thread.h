// The indexing of one drive: the worker that fills a catalogue from the MFT's own bitmap, and
// the numbers the indexing dialog shows while it runs (front ends format them).
#pragma once

#include <atomic>
#include <cstdint>

#include "index/file_index.h"

namespace sorvani {

class CNtfsVolume;

// Why a reader could not initialise: kEnumUnreadable when its boot sector says NTFS (or cannot
// be read), kEnumNotNtfs for any other.
std::uint8_t InitializeFailure(CNtfsVolume& volume);

struct DriveSource;

// Fills `index` for the drive `volume` stands for: from its cache file when that is usable
// (unless `forceRescan`), else by scanning every record the MFT bitmap marks unused; a
// complete scan is saved to the cache. `volume` has its device attached (or opens the letter's
// source from the process-wide drive table); it is initialised here. `index` is cleared
// first, whatever happens next. `progress` is guarded by index_lock; `cancel` stops the run
// before its next record. Called on the worker's thread, which owns `volume` and `index`
// until it returns. Returns how the run ended (kEnum...), also left in progress.result.
// `source` (may be null) identifies the cache file; without it the letter's entry in the
// process-wide drive table does.
std::uint8_t EnumThread(char driveLetter, CNtfsVolume& volume, CFileIndex& index,
                        IndexProgress& progress, const std::atomic<bool>& cancel, bool forceRescan,
                        const DriveSource* source = nullptr);

// The synchronous form on the process-wide catalogue (file_index, index_progress) with a
// reader of its own, for the callers that fill one catalogue per process (the recovery
// command and its tests). Resets the progress block first.
std::uint8_t EnumerateDrive(char driveLetter, bool forceRescan = true);

// Resource strings of the indexing dialog's title per phase, and of its texts.
inline constexpr unsigned kIdsIndexTitleScanning = 39;
inline constexpr unsigned kIdsIndexTitleLoading = 40;
inline constexpr unsigned kIdsIndexTitleSaving = 42;
inline constexpr unsigned kIdsIndexEstimate = 35;
inline constexpr unsigned kIdsIndexEstimateUnknown = 36;
inline constexpr unsigned kIdsIndexPercent = 37;
inline constexpr unsigned kIdsIndexElapsed = 38;

// What one poll of the indexing dialog shows, as numbers: the front end turns them into text
// (FormatElapsed, FormatEstimate, its own word for an unknown estimate).
struct IndexTick {
  std::uint8_t phase = 0;
  unsigned titleString = 0;  // resource string of the title; 0 leaves the title as it is
  int percent = 0;           // 0..100, also the progress bar's position
  double elapsedSeconds = 0;
  bool estimateShown = false;  // only while scanning
  bool estimateKnown = false;  // false: the estimate is unknown
  std::uint32_t estimateSeconds = 0;
};

// The values of one tick from a snapshot of the progress block and the seconds since start.
IndexTick ComputeIndexTick(const IndexProgress& progress, double elapsedSeconds);

}  // namespace sorvani
