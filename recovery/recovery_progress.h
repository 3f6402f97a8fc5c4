// RecoveryProgress: the record one recovery run keeps up to date for whoever shows its
// progress, and CRecoveryProgress, the lock that goes with it. Each run owns its own, so two
// runs never mix their counts.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace sorvani {

// What the person answered once for every later existing file (or folder) of the run.
enum class OverwriteChoice : std::uint8_t { kAsk, kYesToAll, kNoToAll };

struct RecoveryProgress {
  std::string currentItem;  // destination path of the item being written
  std::string statusText;   // latest status or failure text
  // The selection as summed before the first item: its items and their bytes.
  std::uint32_t selectionCount = 0;
  std::string firstItemName;  // the name of the selection's first item
  std::uint32_t filesTried = 0;
  std::uint32_t foldersTried = 0;
  std::uint32_t filesRecovered = 0;
  std::uint32_t foldersRecovered = 0;
  std::uint32_t filesSkipped = 0;  // existing files left as they were (overwrite declined)
  // Items of the selection (top level) finished so far, whatever their result.
  std::uint32_t selectionItemsDone = 0;
  std::uint64_t bytesProcessed = 0;
  std::uint64_t bytesRecovered = 0;
  std::uint64_t bytesExpected = 0;
  // Bytes that reached the destination, whatever became of their item: the amount a run
  // really wrote, counted in the usage totals.
  std::uint64_t bytesWritten = 0;
  // Items written in part: with device errors, cut short by the end of the source, or with
  // a size their runs do not hold; and the bytes of theirs written as zeros for lack of data.
  std::uint32_t filesReadError = 0;
  std::uint32_t filesBeyondEnd = 0;
  std::uint32_t filesDamaged = 0;
  std::uint64_t bytesUnreadable = 0;
  // Failure rows listed (items that failed, children of folders included).
  std::uint32_t failureRows = 0;
  bool stopped = false;  // the run was cancelled before its end
  std::uint32_t filePercent = 0;
  std::uint32_t totalPercent = 0;
  double elapsedSeconds = 0.0;
  bool failed = false;
  OverwriteChoice fileOverwriteChoice = OverwriteChoice::kAsk;
  OverwriteChoice folderOverwriteChoice = OverwriteChoice::kAsk;

  // bytes processed × 100 ÷ bytes expected; 100 when nothing is expected. Caller holds lock.
  void RecomputeTotalPercent();
};

// One run's record with its lock. The run's worker writes it; any thread may take a Snapshot.
class CRecoveryProgress {
 public:
  std::mutex& Lock() const { return m_lock; }
  // The record itself; only under Lock().
  RecoveryProgress& Record() { return m_record; }
  RecoveryProgress Snapshot() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_record;
  }
  // Replace the status text (what a failure row shows), each under the lock: the text itself,
  // a status string by number, or that string followed by why and where.
  void SetStatusText(std::string text);
  void SetStatus(unsigned id);
  void SetStatus(unsigned id, const std::string& reason, const std::string& path);

 private:
  mutable std::mutex m_lock;
  RecoveryProgress m_record;
};

// Milliseconds of a steady clock: the copy loops time themselves with it (never CPU time,
// which would not count the waits for the disks).
double ClockMilliseconds();

}  // namespace sorvani
