// A recovery run as a job: the destination, the options and the planned items are decided
// before it starts; it writes every item on its own thread, asks through a prompt sink and
// reports through an event sink, and a poller reads a Snapshot of plain values.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/job.h"
#include "recovery/recover_engine.h"

namespace sorvani {

class CVolume;

// What to recover and where. The volume is a reader of the run's own (OpenVolume on the
// drive), never the one a catalogue or a search uses; the job keeps it when it is handed over.
struct RecoveryRequest {
  std::unique_ptr<CVolume> ownVolume;      // or:
  CVolume* volume = nullptr;               // a reader that outlives the job
  IRecoverCatalogue* catalogue = nullptr;  // index items; null for raw ranges
  std::string destination;                 // checked and made by the front end beforehand
  std::uint32_t flags = 0;                 // RF_*; RF_RAW_RANGES for carved pictures
  std::vector<RecoverItem> items;
  // Whether the files and bytes written go into the usage totals of the profile.
  bool countUsage = true;
};

// Plain values for polling.
struct RecoveryJobSnapshot {
  std::uint32_t itemsDone = 0;   // items of the selection finished
  std::uint32_t itemsTotal = 0;  // items of the selection
  std::uint64_t bytesDone = 0;   // bytes processed (written, or passed over by a failure)
  std::uint64_t bytesTotal = 0;
  std::string currentItem;
  std::uint32_t failed = 0;   // failure rows listed
  std::uint32_t partial = 0;  // files written in part (read errors, cut short, damaged)
  std::uint32_t skipped = 0;  // existing files left as they were
  double elapsedSeconds = 0;  // wall time since the job's thread began
  bool started = false;       // the selection has been summed and writing began
  RecoveryProgress detail;    // the run's whole record (for a summary)
};

class CRecoveryJob : public CJob {
 public:
  // `prompt` and `events` are called on the job's thread and must outlive the job; either may
  // be null (questions then take their default answers).
  CRecoveryJob(RecoveryRequest request, IRecoverPrompt* prompt, IRecoverEvents* events);
  ~CRecoveryJob() override;

  // Any thread.
  RecoveryJobSnapshot Snapshot() const;
  // After Finished: REC_S_OK when the run took place (see Snapshot for what became of the
  // items), REC_E_INVALIDARG without a volume or a destination.
  RecoverResult Result() const { return m_result.load(); }

 protected:
  void Run(const CCancelToken& cancel) override;

 private:
  RecoveryRequest m_request;
  RecoverJob m_job;
  std::atomic<RecoverResult> m_result{REC_S_NOTHING_DONE};
  std::atomic<std::int64_t> m_startedAt{0};  // steady-clock nanoseconds, 0 until Run begins
  std::atomic<std::int64_t> m_endedAt{0};
};

// Files and bytes recovered: during this process, and over all runs (kept in the profile).
struct UsageTotals {
  std::uint64_t filesThisRun = 0;
  std::uint64_t bytesThisRun = 0;
  std::uint64_t filesInTotal = 0;
  std::uint64_t bytesInTotal = 0;
};
// Any thread.
UsageTotals CurrentUsageTotals();
// Adds to both pairs and stores the lifetime pair in the profile. Any thread.
void AddUsageStatistics(std::uint64_t files, std::uint64_t bytes);
// Writes the lifetime pair into the profile (not saved: the caller saves). Any thread.
void StoreUsageTotals();

}  // namespace sorvani
