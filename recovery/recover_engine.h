// The recovery run: RecoverFileGroup drives one whole recovery through a front end, a thread
// sums the selection's size, RecoverThread walks the selection and writes each item with the
// per-item writers, and the usage totals grow at the end of a confirmed run.
//
// Reader ownership: a run reads its source only through the volume handed to it, and callers
// give it a reader of its own (OpenVolume on the drive letter), never the reader the catalogue
// and a search share, so a search and a recovery never move the same device position or
// cursors at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <set>
#include <unordered_set>
#include <string>
#include <vector>

#include "recovery/recover_catalogue.h"
#include "recovery/recovery_progress.h"
#include "recovery/recovery_types.h"

namespace sorvani {

class CVolume;
class CNtfsFile;
class CNtfsFileAttr;
class CReadFaults;

// Bytes per copy piece. Progress is updated once per piece.
inline constexpr std::uint32_t kCopyPieceSize = 65536;

// The context handed to both threads of a run.
struct RecoverJob {
  // Guarded by the progress lock.
  std::uint64_t selectionSize = 0;
  std::uint32_t selectionCount = 0;
  std::string caption;

  NextRecoverItem nextItem;
  CVolume* volume = nullptr;
  IRecoverCatalogue* catalogue = nullptr;  // index items only
  std::string destination;                 // always ends in "/"
  std::uint32_t flags = 0;
  IRecoverFrontEnd* frontEnd = nullptr;    // owner of every prompt; receives failure rows
  ManualResetEvent cancel;
  std::atomic<bool> summingEnded{false};
  std::uint32_t pieceSize = kCopyPieceSize;

  // Folders being written on the current path of the walk; a catalogue whose folders contain
  // each other is walked once.
  std::set<std::uint32_t> activeFolders;
  // Item subfolders whose folders were made already: each item would otherwise make its whole
  // chain again.
  std::unordered_set<std::string> preparedSubfolders;
};

// Runs a whole recovery. Returns 0 when the run took place (items may have failed: see
// Progress().failed), 1 when the front end cancelled, REC_E_UNEXPECTED when a thread could
// not be started.
RecoverResult RecoverFileGroup(IRecoverFrontEnd& frontEnd, CVolume& volume, std::uint32_t flags,
                               NextRecoverItem nextItem, IRecoverCatalogue* catalogue);

// Opens the drive with OpenVolume (NTFS, else FAT) and recovers the byte ranges the items
// name. REC_E_INVALIDARG when the volume cannot be opened.
RecoverResult RecoverRawRanges(IRecoverFrontEnd& frontEnd, char driveLetter, std::uint32_t flags,
                               NextRecoverItem nextItem);

// The size-summing thread: counts the selection and builds the caption.
void SumSelectionThread(RecoverJob* job);
// The worker: walks the selection and writes every item.
void RecoverThread(RecoverJob* job);

// The bookkeeping every per-item writer shares. BeginItem counts the item as tried, notes the
// bytes processed so far in `noted` and starts its report (named after the last path part).
RecoveredItemReport BeginItem(const std::string& path, std::uint64_t id, bool folder,
                              std::uint64_t& noted);
// After a failed item the processed bytes move on by the item's whole size, as if written.
void SkipFailedItem(std::uint64_t noted, std::uint64_t itemBytes);
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
void AddUnreadable(RecoveredItemReport& report, const CReadFaults& faults, const std::string& stream,
                   std::uint64_t shift);
// One line for the failure row and the log: the kind, the bytes and the first ranges
// (offset+length in the file).
std::string DescribeUnreadable(const RecoveredItemReport& report);

// The bytes of a file's first data stream a recovery can really read: its size, cut to what
// its runs hold; 0 for a size no volume of this one's size can hold (refused outright). The
// free-space check and the progress totals use it, so one corrupt size cannot block a run.
std::uint64_t RecoverableDataSize(const CNtfsFile& file);
// True when the stream claims more than the volume holds and its runs do not account for it
// as sparse data: nothing of it is written.
bool ClaimsMoreThanVolume(const CNtfsFileAttr& stream);

// An item written in full but not wholly from the source: bytes that could not be read, or a
// size its runs do not hold. Sets the status (the failure row) and logs it; REC_S_OK when
// every byte came off the source.
RecoverResult PartialResult(const std::string& path, const RecoveredItemReport& report);

// Tells the person about a failure (or, quiet, skips): REC_E_SKIPPED, REC_E_IGNORE_ALL (and
// the quiet bit set in `flags`), or REC_E_ABORT.
RecoverResult ReportItemFailure(RecoverJob& job, const std::string& message, std::uint32_t& flags);

// Asks through the job's front end with caption string 1; without a front end the default.
PromptButton AskUser(RecoverJob& job, const std::string& text, PromptIcon icon,
                     std::vector<PromptButton> buttons, std::size_t defaultButton);

// Lists a failure row with the current status text.
void AddFailureRow(RecoverJob& job, const std::string& path);

// A NextRecoverItem over a fixed list that starts over after its last item.
NextRecoverItem MakeItemList(std::vector<RecoverItem> items);

// Files and bytes recovered: during this process, and over all runs (kept in the profile).
struct UsageTotals {
  std::uint64_t filesThisRun = 0;
  std::uint64_t bytesThisRun = 0;
  std::uint64_t filesInTotal = 0;
  std::uint64_t bytesInTotal = 0;
};
UsageTotals CurrentUsageTotals();
// Adds to both pairs and stores the lifetime pair in the profile.
void AddUsageStatistics(std::uint64_t files, std::uint64_t bytes);

}  // namespace sorvani
