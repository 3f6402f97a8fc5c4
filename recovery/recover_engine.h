// The recovery run: RecoverFileGroup runs one whole recovery whose destination and options
// were decided before: it sums the selection's size, then RecoverThread walks the selection and
// writes each item with the per-item writers, asking through a prompt sink and reporting
// through an event sink. The run's numbers stay in its own progress record.
//
// Reader ownership: a run reads its source only through the volume handed to it, and callers
// give it a reader of its own (OpenVolume on the drive letter), never the reader the catalogue
// and a search share, so a search and a recovery never move the same device position or
// cursors at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "recovery/recover_catalogue.h"
#include "recovery/recovery_progress.h"
#include "recovery/recovery_types.h"

namespace sorvani {

class CVolume;
class CNtfsVolume;
class CNtfsFile;
class CNtfsFileAttr;
class CReadFaults;

// Bytes per copy piece. Progress is updated once per piece.
inline constexpr std::uint32_t kCopyPieceSize = 65536;

// One run: the request (filled in by the owner before the run starts), its cancel event and
// its progress, and the worker's own bookkeeping.
struct RecoverJob {
  // The request. The destination and the options are decided before the run: nothing is
  // asked about them once it has started. `nextItem` is called on the run's worker only (the
  // summing step, then the walk).
  NextRecoverItem nextItem;
  CVolume* volume = nullptr;
  IRecoverCatalogue* catalogue = nullptr;  // index items only
  std::string destination;                 // the run appends the final "/"
  std::uint32_t flags = 0;
  IRecoverPrompt* prompt = nullptr;  // null: every question takes its default answer
  IRecoverEvents* events = nullptr;  // may be null
  // An owner's cancel flag (a job's token), honoured like `cancel`; may be null.
  const std::atomic<bool>* stop = nullptr;
  std::uint32_t pieceSize = kCopyPieceSize;

  // Any thread: stop the run, or read how far it got.
  ManualResetEvent cancel;
  CRecoveryProgress progress;
  bool Cancelled() const {
    return cancel.IsSet() || (stop && stop->load(std::memory_order_relaxed));
  }
  RecoveryProgress Snapshot() const { return progress.Snapshot(); }

  // The worker's own. Folders being written on the current path of the walk; a catalogue
  // whose folders contain each other is walked once.
  std::set<std::uint32_t> activeFolders;
  // Item subfolders whose folders were made already: each item would otherwise make its whole
  // chain again.
  std::unordered_set<std::string> preparedSubfolders;
};

// Runs a whole recovery of a filled-in job: sums the selection (count and bytes), makes the
// destination folder, and writes every item. Called on the run's worker thread (a job's own,
// see app/recovery_job.h), which it blocks until the run ends; the sinks are called on it.
// Returns REC_S_OK when the run took place (items may have failed or the run may have been
// stopped: see job.Snapshot()), REC_E_INVALIDARG without a destination.
RecoverResult RecoverFileGroup(RecoverJob& job);

// The same for byte ranges of the raw volume in job.volume (a carved picture each).
RecoverResult RecoverRawRanges(RecoverJob& job);

// The size-summing step: counts the selection and its bytes into the progress record.
void SumSelection(RecoverJob& job);
// The worker: walks the selection and writes every item.
void RecoverThread(RecoverJob* job);

// The bookkeeping every per-item writer shares. BeginItem counts the item as tried, notes the
// bytes processed so far in `noted` and starts its report (named after the last path part).
RecoveredItemReport BeginItem(RecoverJob& job, const std::string& path, std::uint64_t id,
                              bool folder, std::uint64_t& noted);
// After a failed item the processed bytes move on by the item's whole size, as if written.
void SkipFailedItem(RecoverJob& job, std::uint64_t noted, std::uint64_t itemBytes);
// Hands the finished report to the front end and the caller; returns `result`.
RecoverResult FinishItem(RecoverJob& job, RecoveredItemReport& report, RecoverResult result,
                         RecoveredItemReport* reportOut);

// Per-item writers with their bookkeeping; `report` (may be null) receives what was written.
RecoverResult RecoverFile(RecoverJob& job, const std::string& path, std::uint32_t record,
                          std::uint32_t flags, RecoveredItemReport* report = nullptr);
RecoverResult RecoverFolder(RecoverJob& job, const std::string& path, std::uint32_t record,
                            std::uint32_t flags, RecoveredItemReport* report = nullptr);
RecoverResult RecoverRawRange(RecoverJob& job, const std::string& path, std::uint64_t startUnit,
                              std::uint32_t offsetInUnit, std::uint64_t byteCount,
                              std::uint32_t flags, RecoveredItemReport* report = nullptr,
                              int cutShort = 0);

// The result an item's unreadable spans give it: REC_E_READ_ERROR when any is a device
// error, REC_E_BEYOND_END when all lie past the end of the source, REC_S_OK for none.
RecoverResult ClassifyUnreadable(const std::vector<UnreadableSpan>& spans);
// Adds `faults` (offsets shifted by `shift`) to the report's spans of `stream`.
void AddUnreadable(RecoveredItemReport& report, const CReadFaults& faults,
                   const std::string& stream, std::uint64_t shift);
// One line for the failure row and the log: the kind, the bytes and the first ranges
// (offset+length in the file).
std::string DescribeUnreadable(const RecoveredItemReport& report);

// The bytes of a file's first data stream a recovery can really read: its size, cut to what
// its runs hold; 0 for a size no volume of this one's size can hold (refused outright). The
// free-space check and the progress totals use it, so one corrupt size cannot block a run.
std::uint64_t RecoverableDataSize(const CNtfsFile& file);
// The bytes a recovery of one item can really read: a file's RecoverableDataSize, or for a
// folder the sum over every file below it (walked without recursion, each folder once). 0 for
// a record that cannot be loaded. The planning of a selection and the bookkeeping of a failed
// folder both count with it. `catalogue` may be null (files only).
std::uint64_t RecoverableItemSize(CNtfsVolume& volume, const IRecoverCatalogue* catalogue,
                                  std::uint32_t record, bool folder,
                                  const std::function<bool()>& stop = {});
// True when the stream claims more than the volume holds and its runs do not account for it
// as sparse data: nothing of it is written.
bool ClaimsMoreThanVolume(const CNtfsFileAttr& stream);

// An item written in full but not wholly from the source: bytes that could not be read, or a
// size its runs do not hold. Sets the status (the failure row) and logs it; REC_S_OK when
// every byte came off the source.
RecoverResult PartialResult(RecoverJob& job, const std::string& path,
                            const RecoveredItemReport& report);

// Tells the person about a failure (or, quiet, skips): REC_E_SKIPPED, REC_E_IGNORE_ALL (and
// the quiet bit set in `flags`), or REC_E_ABORT.
RecoverResult ReportItemFailure(RecoverJob& job, const std::string& message, std::uint32_t& flags);

// Asks through the job's prompt sink with caption string 1; without one, the default.
PromptButton AskUser(RecoverJob& job, const std::string& text, PromptIcon icon,
                     std::vector<PromptButton> buttons, std::size_t defaultButton);

// The Abort / Retry / Ignore question after an operation failed (never asked when quiet).
enum class RetryAnswer { kRetry, kSkip, kAbort };
RetryAnswer AskRetry(RecoverJob& job, const std::string& message, std::uint32_t flags);

// The question before an existing file (or folder) is used: Yes / No / Yes to all / No to
// all, remembered for the rest of the run. True when the person consented.
enum class ExistingKind { kFile, kFolder };
bool AskOverwrite(RecoverJob& job, ExistingKind kind, const std::string& path);

// Lists a failure row with the current status text.
void AddFailureRow(RecoverJob& job, const std::string& path);

// Status texts of the job's progress record.
inline void SetStatus(RecoverJob& job, unsigned id) { job.progress.SetStatus(id); }
inline void SetStatus(RecoverJob& job, unsigned id, const std::string& reason,
                      const std::string& path) {
  job.progress.SetStatus(id, reason, path);
}
inline void SetStatusText(RecoverJob& job, std::string text) {
  job.progress.SetStatusText(std::move(text));
}

// A NextRecoverItem over a fixed list that starts over after its last item.
NextRecoverItem MakeItemList(std::vector<RecoverItem> items);

}  // namespace sorvani
