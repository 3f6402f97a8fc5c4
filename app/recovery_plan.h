// Recovery planning: a selection (record numbers, every deleted item, or the deleted items
// below one folder) becomes the list of items a recovery run writes, each with the bytes it
// will really read. Front ends hand in what the person chose and never load records
// themselves. Also the items of a raw-range recovery (carved pictures).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "recovery/recover_catalogue.h"
#include "recovery/recovery_types.h"

namespace sorvani {

class CNtfsVolume;

struct RecoverySelection {
  enum class Kind { kRecords, kAllDeleted, kFolder };
  Kind kind = Kind::kAllDeleted;
  std::vector<std::uint32_t> records;  // kRecords
  std::string folder;                  // kFolder: "/"-separated below the root
};

struct RecoveryPlan {
  std::vector<RecoverItem> items;
  std::uint64_t totalBytes = 0;  // the sum of the items' sizes (saturating)
  // Records asked for by number that are neither a deleted item with a name nor an orphan
  // folder: still planned, so the run counts and lists them as failed.
  std::vector<std::uint32_t> unknownRecords;
  bool cancelled = false;  // `cancel` was set before every size was known
};

// Plans a selection over `catalogue`, sizing every item through `volume` (a reader of the
// caller's worker, never one another thread uses). Called on a worker: it loads one record per
// file. Stops early, with `cancelled` set, when `cancel` is set.
RecoveryPlan PlanRecovery(CNtfsVolume& volume, IRecoverCatalogue& catalogue,
                          const RecoverySelection& selection,
                          const std::atomic<bool>* cancel = nullptr);

// A folder in any form ParseVolumePath takes ("X:\\a\\b\\", "/a/b", "a/b") as a
// "/"-separated folder below the root; the letter, when there is one, goes to `letter` (0
// else). "" for the root, and for a text that is no path (the caller's check of the folder
// then fails).
std::string FolderFilterOf(const std::string& text, char& letter);

// A byte range of a raw volume to write as one file (a carved picture).
struct RawRangeItem {
  std::string name;
  std::uint64_t startUnit = 0;
  std::uint32_t offsetInUnit = 0;
  std::uint64_t size = 0;
  // The range is known to stop short of its picture's end: a ReadFault value, 0 when not.
  int cutShort = 0;
};

// The items of a raw-range recovery, in the order given.
RecoveryPlan PlanRawRanges(const std::vector<RawRangeItem>& ranges);

}  // namespace sorvani
