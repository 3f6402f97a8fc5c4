// RecoveryProgress: the one process-wide record a recovery run keeps up to date for whoever
// shows its progress. Every field is read and written under its lock.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace sorvani {

class IRecoverFrontEnd;

struct RecoveryProgress {
  std::string currentItem;  // destination path of the item being written
  std::string statusText;   // latest status or failure text
  std::uint32_t filesTried = 0;
  std::uint32_t foldersTried = 0;
  std::uint32_t filesRecovered = 0;
  std::uint32_t foldersRecovered = 0;
  std::uint32_t filesSkipped = 0;  // existing files left as they were (overwrite declined)
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
  bool stopped = false;  // the run was cancelled before its end
  std::uint32_t filePercent = 0;
  std::uint32_t totalPercent = 0;
  double elapsedSeconds = 0.0;
  bool failed = false;
  int fileOverwriteChoice = 0;    // 0 ask, 1 yes to all, 2 no to all
  int folderOverwriteChoice = 0;  // the same for existing folders
  IRecoverFrontEnd* progressDialog = nullptr;

  // Clears every counter, text, choice and the flag (the lock itself stays).
  void Reset();
  // bytes processed × 100 ÷ bytes expected; 100 when nothing is expected. Caller holds lock.
  void RecomputeTotalPercent();
};

// The record and the lock that guards it.
RecoveryProgress& Progress();
std::mutex& ProgressLock();

// Replace the status text (what a failure row shows), each under the lock: the text itself,
// a status string by number, or that string followed by why and where.
void SetStatusText(std::string text);
void SetStatus(unsigned id);
void SetStatus(unsigned id, const std::string& reason, const std::string& path);

// A copy of the record taken under the lock, for display.
RecoveryProgress ProgressSnapshot();

// Milliseconds of a steady clock: the copy loops time themselves with it (never CPU time,
// which would not count the waits for the disks).
double ClockMilliseconds();

}  // namespace sorvani
