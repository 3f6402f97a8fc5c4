#include "recovery/recover_engine.h"

#include <algorithm>

#include "disk/volume.h"
#include "foundation/log.h"
#include "foundation/res_strings.h"
#include "index/orphan_folder.h"
#include "ntfs/ntfs_attr.h"
#include "ntfs/ntfs_file.h"
#include "ntfs/ntfs_volume.h"
#include "platform/dest_files.h"
#include "recovery/dest_create.h"
#include "recovery/dest_names.h"
#include "volumes/open_volume.h"

namespace sorvani {

const char* RecoverResultText(RecoverResult r) {
  switch (r) {
    case REC_S_OK:
      return "ok";
    case REC_S_NOTHING_DONE:
      return "nothing done";
    case REC_E_READ_ERROR:
      return "read error";
    case REC_E_BEYOND_END:
      return "beyond the end of the source";
    case REC_E_DAMAGED:
      return "damaged";
    case REC_E_ABORT:
      return "stopped";
    case REC_E_SKIPPED:
    case REC_E_IGNORE_ALL:
      return "skipped";
    default:
      return RecoverFailed(r) ? "failed" : "ok";
  }
}

RecoverResult ClassifyUnreadable(const std::vector<UnreadableSpan>& spans) {
  if (spans.empty()) return REC_S_OK;
  for (const UnreadableSpan& s : spans)
    if (!s.beyondEnd) return REC_E_READ_ERROR;
  return REC_E_BEYOND_END;
}

void AddUnreadable(RecoveredItemReport& report, const CReadFaults& faults,
                   const std::string& stream, std::uint64_t shift) {
  for (const UnreadableRange& r : faults.Ranges())
    report.unreadable.push_back(
        {stream, r.offset + shift, r.length, r.kind == ReadFault::kBeyondEnd, r.error});
}

std::string DescribeUnreadable(const RecoveredItemReport& report) {
  std::string text;
  std::uint64_t bytes = 0;
  for (const UnreadableSpan& s : report.unreadable) bytes += s.length;
  RecoverResult kind = ClassifyUnreadable(report.unreadable);
  text = kind == REC_E_READ_ERROR ? "Read error: " : "Cut short by the end of the source: ";
  text += std::to_string(bytes) + " bytes could not be read (at";
  std::size_t shown = 0;
  for (const UnreadableSpan& s : report.unreadable) {
    if (shown == 4) {
      text += " and " + std::to_string(report.unreadable.size() - shown) + " more";
      break;
    }
    text += shown ? ", " : " ";
    if (!s.stream.empty()) text += s.stream + ":";
    text += std::to_string(s.offset) + "+" + std::to_string(s.length);
    ++shown;
  }
  text += ")";
  return text;
}

bool ClaimsMoreThanVolume(const CNtfsFileAttr& stream) {
  if (!stream.IsNonResident()) return false;
  CNtfsFile* owner = stream.Owner();
  CNtfsVolume* volume = owner ? owner->Volume() : nullptr;
  if (!volume || volume->BytesPerCluster() == 0) return false;
  const std::uint64_t bpc = volume->BytesPerCluster();
  std::uint64_t volumeBytes = 0;
  if (__builtin_mul_overflow(volume->ClusterCount(), bpc, &volumeBytes)) return false;
  if (stream.RealSize() <= volumeBytes) return false;
  // A sparse file may be larger than its volume; its data clusters cannot.
  std::uint64_t dataClusters = 0;
  for (const DataRun& run : stream.Runs())
    if (!run.sparse) dataClusters += run.length;
  return stream.DataFound() < stream.RealSize() || dataClusters > volume->ClusterCount();
}

std::uint64_t RecoverableDataSize(const CNtfsFile& file) {
  const CNtfsFileAttr* data = file.FindAttribute(kAttrData);
  if (!data) return 0;
  if (ClaimsMoreThanVolume(*data)) return 0;
  return data->DataFound();
}

std::uint64_t RecoverableItemSize(CNtfsVolume& volume, const IRecoverCatalogue* catalogue,
                                  std::uint32_t record, bool folder,
                                  const std::function<bool()>& stop) {
  // What can really be read, so one corrupt size cannot swell the totals.
  auto fileSize = [&volume](std::uint32_t r) -> std::uint64_t {
    CNtfsFile file;
    return file.LoadRecord(&volume, r, false) ? RecoverableDataSize(file) : 0;
  };
  if (!folder) return fileSize(record);
  return catalogue ? SumFolderData(*catalogue, record, fileSize, stop) : 0;
}

PromptButton AskUser(RecoverJob& job, const std::string& text, PromptIcon icon,
                     std::vector<PromptButton> buttons, std::size_t defaultButton) {
  PromptRequest request;
  request.text = text;
  request.caption = LoadResString(kIdsCaption);
  request.icon = icon;
  request.buttons = std::move(buttons);
  request.defaultButton = defaultButton;
  if (!job.prompt) return request.Default();
  PromptButton answer = job.prompt->Ask(request);
  // An answer that was not offered counts as the default.
  if (std::find(request.buttons.begin(), request.buttons.end(), answer) == request.buttons.end())
    return request.Default();
  return answer;
}

RecoverResult ReportItemFailure(RecoverJob& job, const std::string& message, std::uint32_t& flags) {
  if (flags & RF_QUIET) return REC_E_SKIPPED;
  PromptButton answer =
      AskUser(job, message, PromptIcon::kError,
              {PromptButton::kIgnore, PromptButton::kIgnoreAll, PromptButton::kCancel}, 2);
  if (answer == PromptButton::kCancel) return REC_E_ABORT;
  if (answer == PromptButton::kIgnoreAll) {
    flags |= RF_QUIET;
    return REC_E_IGNORE_ALL;
  }
  return REC_E_SKIPPED;
}

RetryAnswer AskRetry(RecoverJob& job, const std::string& message, std::uint32_t flags) {
  if (flags & RF_QUIET) return RetryAnswer::kSkip;
  PromptButton answer =
      AskUser(job, message, PromptIcon::kError,
              {PromptButton::kAbort, PromptButton::kRetry, PromptButton::kIgnore}, 1);
  if (answer == PromptButton::kAbort) {
    SetStatus(job, kIdsStatusAborted);
    return RetryAnswer::kAbort;
  }
  return answer == PromptButton::kRetry ? RetryAnswer::kRetry : RetryAnswer::kSkip;
}

bool AskOverwrite(RecoverJob& job, ExistingKind kind, const std::string& path) {
  const bool file = kind == ExistingKind::kFile;
  OverwriteChoice choice = OverwriteChoice::kAsk;
  {
    std::lock_guard<std::mutex> hold(job.progress.Lock());
    RecoveryProgress& p = job.progress.Record();
    choice = file ? p.fileOverwriteChoice : p.folderOverwriteChoice;
  }
  if (choice != OverwriteChoice::kAsk) return choice == OverwriteChoice::kYesToAll;
  PromptButton answer = AskUser(
      job, FormatResString(file ? kIdsFileExists : kIdsFolderExists, path),
      PromptIcon::kExclamation,
      {PromptButton::kYes, PromptButton::kNo, PromptButton::kYesToAll, PromptButton::kNoToAll}, 1);
  if (answer == PromptButton::kYesToAll || answer == PromptButton::kNoToAll) {
    std::lock_guard<std::mutex> hold(job.progress.Lock());
    RecoveryProgress& p = job.progress.Record();
    (file ? p.fileOverwriteChoice : p.folderOverwriteChoice) =
        answer == PromptButton::kYesToAll ? OverwriteChoice::kYesToAll : OverwriteChoice::kNoToAll;
  }
  return answer == PromptButton::kYes || answer == PromptButton::kYesToAll;
}

void AddFailureRow(RecoverJob& job, const std::string& path) {
  std::string status;
  {
    std::lock_guard<std::mutex> hold(job.progress.Lock());
    RecoveryProgress& p = job.progress.Record();
    p.failed = true;
    ++p.failureRows;
    status = p.statusText.substr(0, 255);
  }
  if (job.events) job.events->AddFailureRow(status, path);
}

NextRecoverItem MakeItemList(std::vector<RecoverItem> items) {
  auto list = std::make_shared<std::vector<RecoverItem>>(std::move(items));
  auto next = std::make_shared<std::size_t>(0);
  return [list, next](RecoverItem& item) {
    if (*next >= list->size()) {
      *next = 0;
      return false;
    }
    item = (*list)[(*next)++];
    return true;
  };
}

void SumSelection(RecoverJob& job) {
  RecoverItem item;
  std::uint32_t count = 0;
  std::uint64_t size = 0;
  std::string first;
  while (!job.Cancelled()) {
    item = RecoverItem{};
    if (!job.nextItem || !job.nextItem(item)) break;
    if (count == 0) first = item.name;
    ++count;
    // Sizes come from records that may be hostile: the sum saturates instead of wrapping.
    if (__builtin_add_overflow(size, item.size, &size)) size = UINT64_MAX;
  }
  std::lock_guard<std::mutex> hold(job.progress.Lock());
  RecoveryProgress& p = job.progress.Record();
  p.selectionCount = count;
  p.firstItemName = std::move(first);
  p.bytesExpected = size;
}

namespace {

// Creates the folders of `subfolder` below the destination; every part must stay inside it.
bool PrepareSubfolder(RecoverJob& job, const std::string& subfolder, std::string& folder) {
  folder = JoinSubfolder(job.destination, subfolder);
  if (subfolder.empty()) return true;
  // Made for an earlier item already; should it have vanished since, it is made again.
  if (job.preparedSubfolders.count(subfolder) && IsFolder(folder)) return true;
  std::string sofar = job.destination;
  std::size_t i = 0;
  while (i < subfolder.size()) {
    std::size_t j = subfolder.find('/', i);
    if (j == std::string::npos) j = subfolder.size();
    if (j > i) {
      sofar = JoinDestination(sofar, std::string_view(subfolder).substr(i, j - i));
      int error = 0;
      if (!PathLiesUnder(job.destination, sofar)) return false;
      if (!MakeFolder(sofar, error) && !(IsAlreadyExists(error) && IsFolder(sofar))) {
        LogFile.Write(1, "Couldn't create folder %s\n", sofar.c_str());
        LogFile.WriteError(1, error);
        return false;
      }
    }
    i = j + 1;
  }
  if (job.preparedSubfolders.size() >= 4096) job.preparedSubfolders.clear();
  job.preparedSubfolders.insert(subfolder);
  return true;
}

}  // namespace

void RecoverThread(RecoverJob* jobPointer) {
  RecoverJob& job = *jobPointer;
  ScopeTrace trace(1, "RecoverThread");
  bool ignoreAll = false;
  RecoverItem item;
  for (;;) {
    item = RecoverItem{};
    if (!job.nextItem || !job.nextItem(item)) break;
    std::uint32_t flags = job.flags | (ignoreAll ? std::uint32_t{RF_QUIET} : 0u);
    RecoverResult result = REC_S_OK;
    std::string path;
    // A stopped run starts no further item: a raw range would otherwise leave an empty file.
    if (job.Cancelled()) break;
    if (job.flags & RF_RAW_RANGES) {
      std::string folder;
      path = JoinDestination(job.destination, item.name);
      if (!PrepareSubfolder(job, item.subfolder, folder)) {
        result = REC_E_FAIL;
      } else {
        path = JoinDestination(folder, item.name);
        result = RecoverRawRange(job, path, item.id, item.offsetInUnit, item.size, flags, nullptr,
                                 item.cutShort);
      }
    } else {
      auto record = static_cast<std::uint32_t>(item.id);
      CatalogueEntry entry;
      bool known = job.catalogue && job.catalogue->FindEntry(record, entry);
      bool folder = false;
      std::string name;
      if (!known && (item.attributes & kFileAttrDirectory)) {
        name = OrphanFolderName(record);
        folder = true;
      } else if (known) {
        name = entry.name;
        folder = (entry.attributes & kFileAttrDirectory) != 0;
      }
      std::string target;
      // Items that fail before a writer runs still count as tried and failed, and are reported,
      // so the summary and the per-item listing never hide them. Nothing is written for them.
      auto failBeforeWriting = [&](unsigned status, RecoverResult code) {
        std::uint64_t noted = 0;
        RecoveredItemReport report = BeginItem(job, path, record, folder, noted);
        report.destination.clear();
        {
          std::lock_guard<std::mutex> hold(job.progress.Lock());
          job.progress.Record().statusText = LoadResString(status);
        }
        SkipFailedItem(job, noted, item.size);
        return FinishItem(job, report, code, nullptr);
      };
      if (!known && !folder) {
        path = JoinDestination(job.destination,
                               item.name.empty() ? std::to_string(record) : item.name);
        result = failBeforeWriting(kIdsStatusRecordUnreadable, REC_E_UNEXPECTED);
      } else if (!PrepareSubfolder(job, item.subfolder, target)) {
        path = JoinDestination(job.destination, name);
        result = failBeforeWriting(kIdsStatusFolderNotCreated, REC_E_SKIPPED);
      } else {
        path = JoinDestination(target, name);
        result = folder ? RecoverFolder(job, path, record, flags)
                        : RecoverFile(job, path, record, flags);
      }
    }
    {
      std::lock_guard<std::mutex> hold(job.progress.Lock());
      ++job.progress.Record().selectionItemsDone;
    }
    if (RecoverFailed(result)) {
      AddFailureRow(job, path);
      if (result == REC_E_ABORT) break;
      if (result == REC_E_IGNORE_ALL) ignoreAll = true;
    }
  }
}

RecoverResult RecoverFileGroup(RecoverJob& job) {
  ScopeTrace trace(1, "RecoverFileGroup");
  // No destination is no run: an empty one would become the root folder.
  if (job.destination.empty()) return REC_E_INVALIDARG;
  if (job.destination.back() != '/') job.destination += '/';
  // The caller's thread is the run's worker (the application layer's job owns it), so no
  // second thread only waits on a first.
  SumSelection(job);
  // Stopped before the first item: nothing is made at the destination.
  if (!job.Cancelled()) {
    int error = 0;
    MakeFolder(job.destination, error);  // it may exist; otherwise the first write reports it
    RecoverThread(&job);
  }
  if (job.Cancelled()) {
    std::lock_guard<std::mutex> hold(job.progress.Lock());
    job.progress.Record().stopped = true;
  }
  return REC_S_OK;
}

RecoverResult RecoverRawRanges(RecoverJob& job) {
  if (!job.volume) return REC_E_INVALIDARG;
  job.flags |= RF_RAW_RANGES;
  job.catalogue = nullptr;
  return RecoverFileGroup(job);
}

namespace {

RecoverResult WriteRawRange(RecoverJob& job, const std::string& path, std::uint64_t startUnit,
                            std::uint32_t offsetInUnit, std::uint64_t byteCount,
                            RecoveredItemReport& report) {
  {
    std::lock_guard<std::mutex> hold(job.progress.Lock());
    job.progress.Record().statusText = LoadResString(kIdsStatusWorking);
    job.progress.Record().currentItem = path;
  }
  CDestFile out;
  int error = 0;
  // A carved file takes a free name (the collision name with its start unit) or replaces an
  // existing one only by consent, as recovered files do.
  bool overwrite = false;
  RecoverResult created = CreateDestinationFile(job, report.destination, startUnit,
                                                job.flags | RF_QUIET, {}, out, overwrite);
  if (created == REC_S_NOTHING_DONE) return created;
  // The status text already says why the file could not be created.
  if (created != REC_S_OK) return REC_E_FAIL;
  CPartialFileGuard partial(report.destination, startUnit);
  double elapsedBefore = 0;
  {
    std::lock_guard<std::mutex> hold(job.progress.Lock());
    elapsedBefore = job.progress.Record().elapsedSeconds;
  }
  double start = ClockMilliseconds();
  std::uint32_t unitSize = job.volume ? job.volume->BytesPerCluster() : 0;
  if (byteCount == 0) {
    partial.Keep();
    return REC_S_OK;
  }
  if (unitSize == 0) {
    SetStatus(job, kIdsStatusWriteFailed);
    return REC_E_FAIL;
  }
  std::vector<std::uint8_t> piece(job.pieceSize ? job.pieceSize : kCopyPieceSize);
  std::uint64_t written = 0;
  CReadFaults faults;
  // What cannot be read is zeros in the file and listed in the report; the end of the source
  // ends the file there, since nothing after it can be read either.
  auto finish = [&]() {
    AddUnreadable(report, faults, "", 0);
    return PartialResult(job, path, report);
  };
  while (!job.Cancelled()) {
    std::uint64_t at = offsetInUnit + written;
    std::uint64_t unit = startUnit + at / unitSize;
    auto offset = static_cast<std::uint32_t>(at % unitSize);
    auto size =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(piece.size(), byteCount - written));
    CReadFaults pieceFaults;
    if (!job.volume->ReadRawChecked(unit, offset, piece.data(), size, pieceFaults)) {
      SetStatus(job, kIdsStatusWriteFailed);
      return REC_E_FAIL;
    }
    // Past the end of the source nothing more can come: the file ends there, and the rest of
    // the range is listed as beyond the end (a device error before it stays a device error).
    std::uint32_t take = size;
    bool ended = false;
    for (const UnreadableRange& r : pieceFaults.Ranges()) {
      if (r.kind == ReadFault::kBeyondEnd) {
        take = static_cast<std::uint32_t>(r.offset);
        ended = true;
        faults.Add(written + take, byteCount - written - take, ReadFault::kBeyondEnd);
        break;
      }
      faults.Add(written + r.offset, r.length, r.kind, r.error);
    }
    if (take > 0 && !out.Write(piece.data(), take, error)) {
      LogFile.WriteError(1, error);
      SetStatus(job, kIdsStatusWriteFailed);
      return REC_E_FAIL;
    }
    written += take;
    report.bytes = written;
    {
      std::lock_guard<std::mutex> hold(job.progress.Lock());
      RecoveryProgress& p = job.progress.Record();
      p.bytesProcessed += take;
      p.bytesWritten += take;
      p.filePercent = static_cast<std::uint32_t>(static_cast<double>(written) * 100.0 /
                                                 static_cast<double>(byteCount));
      p.RecomputeTotalPercent();
      p.elapsedSeconds = elapsedBefore + (ClockMilliseconds() - start) / 1000.0;
    }
    if (ended || written >= byteCount) {
      RecoverResult result = finish();
      // Only a whole range keeps its final name.
      if (result == REC_S_OK) partial.Keep();
      return result;
    }
  }
  LogFile.WriteAlways("The operation was aborted.\n");
  SetStatus(job, kIdsStatusAborted);
  return REC_E_ABORT;
}

}  // namespace

RecoveredItemReport BeginItem(RecoverJob& job, const std::string& path, std::uint64_t id,
                              bool folder, std::uint64_t& noted) {
  {
    std::lock_guard<std::mutex> hold(job.progress.Lock());
    ++(folder ? job.progress.Record().foldersTried : job.progress.Record().filesTried);
    noted = job.progress.Record().bytesProcessed;
  }
  RecoveredItemReport report;
  report.id = id;
  report.folder = folder;
  report.destination = path;
  auto slash = path.rfind('/');
  report.name = slash == std::string::npos ? path : path.substr(slash + 1);
  return report;
}

void SkipFailedItem(RecoverJob& job, std::uint64_t noted, std::uint64_t itemBytes) {
  std::lock_guard<std::mutex> hold(job.progress.Lock());
  RecoveryProgress& p = job.progress.Record();
  // Never backwards: what the item (or a folder's children) wrote before it failed or was
  // stopped stays processed, so the processed bytes never fall below the recovered ones.
  p.bytesProcessed = std::max(p.bytesProcessed, noted + itemBytes);
  p.filePercent = 0;
  p.RecomputeTotalPercent();
}

RecoverResult FinishItem(RecoverJob& job, RecoveredItemReport& report, RecoverResult result,
                         RecoveredItemReport* reportOut) {
  report.result = result;
  // A folder passes on its children's result; only the files themselves are counted.
  if (!report.folder &&
      (result == REC_E_READ_ERROR || result == REC_E_BEYOND_END || result == REC_E_DAMAGED)) {
    std::lock_guard<std::mutex> hold(job.progress.Lock());
    RecoveryProgress& p = job.progress.Record();
    ++(result == REC_E_READ_ERROR   ? p.filesReadError
       : result == REC_E_BEYOND_END ? p.filesBeyondEnd
                                    : p.filesDamaged);
    for (const UnreadableSpan& s : report.unreadable) p.bytesUnreadable += s.length;
  }
  if (result == REC_E_ABORT) {
    std::lock_guard<std::mutex> hold(job.progress.Lock());
    job.progress.Record().stopped = true;
  }
  if (job.events) job.events->ItemFinished(report);
  if (reportOut) *reportOut = report;
  return result;
}

RecoverResult RecoverRawRange(RecoverJob& job, const std::string& path, std::uint64_t startUnit,
                              std::uint32_t offsetInUnit, std::uint64_t byteCount,
                              std::uint32_t /*flags*/, RecoveredItemReport* reportOut,
                              int cutShort) {
  std::uint64_t noted = 0;
  RecoveredItemReport report = BeginItem(job, path, startUnit, false, noted);
  RecoverResult result = WriteRawRange(job, path, startUnit, offsetInUnit, byteCount, report);
  if (result == REC_S_OK && cutShort != 0) {
    // The range was read whole, but the item it holds goes on past it.
    result =
        cutShort == static_cast<int>(ReadFault::kBeyondEnd) ? REC_E_BEYOND_END : REC_E_READ_ERROR;
    std::string text = result == REC_E_BEYOND_END
                           ? "Incomplete: the picture is cut short by the end of the source"
                           : "Incomplete: the picture is cut short by a read error";
    LogFile.Write(0, "%s: %s\n", path.c_str(), text.c_str());
    SetStatusText(job, text);
  }
  if (RecoverFailed(result)) {
    SkipFailedItem(job, noted, byteCount);
  } else if (result == REC_S_NOTHING_DONE) {
    SkipFailedItem(job, noted, byteCount);
    std::lock_guard<std::mutex> hold(job.progress.Lock());
    ++job.progress.Record().filesSkipped;
  } else {
    std::lock_guard<std::mutex> hold(job.progress.Lock());
    ++job.progress.Record().filesRecovered;
    job.progress.Record().bytesRecovered += report.bytes;
  }
  return FinishItem(job, report, result, reportOut);
}

}  // namespace sorvani
