// RecoverFile and RecoverFolder: one NTFS file recreated stream by stream from its FILE
// record, and one folder with its deleted children, each with the bookkeeping of the run.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "disk/volume.h"
#include "foundation/endian.h"
#include "foundation/log.h"
#include "foundation/res_strings.h"
#include "ntfs/ntfs_attr.h"
#include "ntfs/ntfs_file.h"
#include "ntfs/ntfs_volume.h"
#include "platform/dest_files.h"
#include "recovery/dest_create.h"
#include "recovery/dest_names.h"
#include "recovery/efs_import.h"
#include "recovery/recover_engine.h"

namespace sorvani {
namespace {

void StartItem(RecoverJob& job, const std::string& path) {
  std::lock_guard<std::mutex> hold(job.progress.Lock());
  job.progress.Record().statusText = LoadResString(kIdsStatusWorking);
  job.progress.Record().currentItem = path;
}

CNtfsVolume* NtfsOf(RecoverJob& job) { return dynamic_cast<CNtfsVolume*>(job.volume); }

// A name too long for the destination's file systems is written shortened; the log says so.
void NoteLongName(std::uint32_t record, const std::string& name) {
  if (name.size() > kMaxNameBytes)
    LogFile.Write(
        1,
        "The name of #%lu takes %zu bytes, more than a file name may have; it is written as %s\n",
        static_cast<unsigned long>(record), name.size(), SafeName(name).c_str());
}

// The name the `count`th $DATA stream of a file is written under: its own, "unk_stream_N" for
// an unnamed one after the first, "" for the file's main stream.
std::string StreamName(const CNtfsFileAttr& attr, int count) {
  if (!attr.Name().empty() || count == 1) return attr.Name();
  return "unk_stream_" + std::to_string(count);
}

// The names of the alternate streams a file's $DATA attributes give, as ":" + name suffixes
// of the file's path (walked as the stream copy walks them).
std::vector<std::string> StreamSuffixes(CNtfsFile& file, std::uint32_t flags) {
  std::vector<std::string> out;
  if (FindEfsAttribute(file)) return out;  // the raw import writes one file
  int count = 0;
  for (std::size_t i = 0; i < file.AttributeCount(); ++i) {
    CNtfsFileAttr* attr = file.AttributeAt(i);
    if (!attr || attr->Type() != kAttrData) continue;
    std::string name = StreamName(*attr, ++count);
    if (!name.empty()) out.push_back(":" + SafeName(name));
    if (!(flags & RF_ALL_STREAMS)) break;
  }
  return out;
}

// Copies one $DATA stream to `target`, into `created` when that is open (the empty file just
// made for it: reopening it would truncate it again, which costs a forced flush on some file
// systems). Returns REC_S_OK, or the result that ends the file.
RecoverResult CopyStream(RecoverJob& job, CNtfsFileAttr& stream, const std::string& target,
                         std::uint32_t& flags, std::uint64_t& copied, CDestFile* created) {
  CDestFile opened;
  CDestFile& out = created && created->IsOpen() ? *created : opened;
  int error = 0;
  copied = 0;
  if (!out.IsOpen() && !out.Create(target, CreateMode::kCreateAlways, error)) {
    SetStatus(job, kIdsStatusStreamNotCreated);
    LogFile.Write(1, "Destination file %s couldn't be created.\n", target.c_str());
    LogFile.WriteError(1, error);
    return ReportItemFailure(job, FormatResString(kIdsMsgStreamNotCreated, target), flags);
  }
  stream.Seek(0);
  // Bytes the source cannot give are written as zeros and listed, so the rest of the file
  // is kept; the caller reports them.
  stream.SetTolerant(true);
  stream.ClearFaults();
  double elapsedBefore = 0;
  {
    std::lock_guard<std::mutex> hold(job.progress.Lock());
    elapsedBefore = job.progress.Record().elapsedSeconds;
  }
  double start = ClockMilliseconds();
  std::vector<std::uint8_t> piece(job.pieceSize ? job.pieceSize : kCopyPieceSize);
  const std::uint64_t size = stream.RealSize();
  for (;;) {
    std::uint32_t got = 0;
    if (!stream.Read(piece.data(), static_cast<std::uint32_t>(piece.size()), got, false) ||
        got == 0)
      break;
    if (job.Cancelled()) {
      SetStatus(job, kIdsStatusAborted);
      return REC_E_ABORT;
    }
    while (!out.Write(piece.data(), got, error)) {
      SetStatus(job, kIdsStatusWriteFailed);
      LogFile.WriteError(1, error);
      RetryAnswer answer =
          AskRetry(job, FormatResString(kIdsWriteFailed, SystemErrorText(error), target), flags);
      if (answer == RetryAnswer::kAbort) return REC_E_ABORT;
      if (answer == RetryAnswer::kSkip) return REC_E_SKIPPED;
    }
    copied += got;
    std::lock_guard<std::mutex> hold(job.progress.Lock());
    RecoveryProgress& p = job.progress.Record();
    p.bytesProcessed += got;
    p.bytesWritten += got;
    p.filePercent = size ? static_cast<std::uint32_t>(static_cast<double>(copied) * 100.0 /
                                                      static_cast<double>(size))
                         : 100;
    p.RecomputeTotalPercent();
    p.elapsedSeconds = elapsedBefore + (ClockMilliseconds() - start) / 1000.0;
  }
  return REC_S_OK;
}

RecoverResult ImportEncrypted(RecoverJob& job, CNtfsFile& file, CNtfsFileAttr& efs,
                              const std::string& path, std::uint32_t& flags,
                              RecoveredItemReport& report) {
  std::uint8_t head[4] = {};
  std::uint32_t got = 0;
  efs.Seek(0);
  if (!efs.Read(head, 4, got)) got = 0;
  if (got != 4 || (efs.RealSize() >> 32) != 0 || ReadLe32(ByteSpan(head, 4), 0) != efs.RealSize()) {
    SetStatus(job, kIdsStatusEfsCorrupt);
    LogFile.Write(1, "$EFS attribute is corrupted.\n");
    return ReportItemFailure(job, FormatResString(kIdsMsgEfsCorrupt, path), flags);
  }
  EfsImportContext context;
  context.cancel = &job.cancel;
  context.stop = job.stop;
  context.progress = &job.progress;
  context.record = &file;
  int openError = 0;
  std::uint32_t rc = ImportEncryptedFileRaw(
      path, context, job.pieceSize ? job.pieceSize : kCopyPieceSize, openError);
  report.bytes = context.fileBytes;
  if (context.data) AddUnreadable(report, context.data->Faults(), "", 0);
  if (openError != 0) {
    SetStatus(job, kIdsStatusEfsOpenFailed);
    LogFile.Write(1, "Couldn't open encrypted file for import.\n");
    return ReportItemFailure(job, FormatResString(kIdsMsgEfsOpenFailed, path), flags);
  }
  if (rc == 0) {
    if (context.data && context.fileBytes < context.dataSize) {
      report.sizeClaimed = context.dataSize;
      report.dataFound = context.fileBytes;
    }
    return PartialResult(job, path, report);
  }
  if (job.Cancelled()) {
    LogFile.Write(1, "The operation was aborted.\n");
    SetStatus(job, kIdsStatusAborted);
    return REC_E_ABORT;
  }
  SetStatus(job, kIdsStatusEfsImportFailed);
  LogFile.Write(1, "Error importing encrypted file.\n");
  return ReportItemFailure(job, FormatResString(kIdsMsgEfsImportFailed, path), flags);
}

RecoverResult WriteFile(RecoverJob& job, std::string& path, std::uint32_t record,
                        std::uint32_t flags, RecoveredItemReport& report) {
  StartItem(job, path);
  CNtfsFile file;
  CNtfsVolume* volume = NtfsOf(job);
  if (!volume || !file.LoadRecord(volume, record, false)) {
    if (volume && file.LoadFault() == RecordFault::kDamaged) {
      SetStatus(job, kIdsStatusRecordDamaged);
      LogFile.Write(0, "MFT record %u is damaged (%s)\n", record, path.c_str());
    } else {
      SetStatus(job, kIdsStatusRecordUnreadable);
      LogFile.Write(0, "MFT record %u could not be read (%s)\n", record, path.c_str());
    }
    RecoverResult r = ReportItemFailure(job, FormatResString(kIdsMsgRecordUnreadable, path), flags);
    // The record's bytes did not come off the device: that is a read error, not damage.
    if (r == REC_E_SKIPPED && file.LoadFault() == RecordFault::kUnreadable) return REC_E_READ_ERROR;
    return r;
  }
  // A free record that lost its names but kept its data is recovered under the name the
  // catalogue made for it.
  if (!file.FindAttribute(kAttrFileName) && !file.FindAttribute(kAttrData)) {
    SetStatus(job, kIdsStatusNoFileName);
    LogFile.Write(1, "Couldn't get $FILE_NAME attribute\n");
    return ReportItemFailure(job, FormatResString(kIdsMsgNoFileName, path), flags);
  }
  // A size more than the whole volume holds is a damaged record: nothing of it is written.
  for (std::size_t i = 0; i < file.AttributeCount(); ++i) {
    CNtfsFileAttr* attr = file.AttributeAt(i);
    if (!attr || attr->Type() != kAttrData || !ClaimsMoreThanVolume(*attr)) continue;
    report.sizeClaimed = attr->RealSize();
    report.dataFound = attr->DataFound();
    std::string text = "Damaged: the file claims " + std::to_string(attr->RealSize()) +
                       " bytes, more than the whole volume holds; nothing was written";
    LogFile.Write(0, "%s: %s\n", path.c_str(), text.c_str());
    SetStatusText(job, text);
    report.destination.clear();
    return REC_E_DAMAGED;
  }
  CDestFile mainFile;
  std::vector<std::string> siblings = StreamSuffixes(file, flags);
  bool overwrite = false;
  RecoverResult created =
      CreateDestinationFile(job, path, record, flags, siblings, mainFile, overwrite);
  report.destination = path;
  if (created != REC_S_OK) return created;
  CPartialFileGuard partial(report.destination, record, siblings);

  if (CNtfsFileAttr* efs = FindEfsAttribute(file)) {
    mainFile.Close();
    RecoverResult r = ImportEncrypted(job, file, *efs, path, flags, report);
    if (r == REC_S_OK) {
      partial.Keep();
      std::lock_guard<std::mutex> hold(job.progress.Lock());
      ++job.progress.Record().filesRecovered;
    }
    return r;
  }

  int count = 0;
  RecoverResult streamFailure = REC_S_OK;
  for (std::size_t i = 0; i < file.AttributeCount(); ++i) {
    CNtfsFileAttr* attr = file.AttributeAt(i);
    if (!attr || attr->Type() != kAttrData) continue;
    std::string name = StreamName(*attr, ++count);
    std::string target = name.empty() ? path : path + ":" + SafeName(name);
    std::uint64_t copied = 0;
    // A stream's own file is made here, so that an existing one is replaced only by consent.
    CDestFile streamFile;
    if (!name.empty()) {
      if (RecoverResult r = CreateStreamTarget(job, target, overwrite, flags, streamFile);
          r != REC_S_OK)
        return r;
    }
    RecoverResult r =
        CopyStream(job, *attr, target, flags, copied, name.empty() ? &mainFile : &streamFile);
    if (name.empty()) mainFile.Close();
    report.bytes += copied;
    if (r != REC_S_OK) return r;
    if (!name.empty()) report.streams.push_back(SafeName(name));
    AddUnreadable(report, attr->Faults(), name.empty() ? std::string() : SafeName(name), 0);
    if (attr->DataFound() < attr->RealSize() && copied == attr->DataFound()) {
      // The record claims more than its runs hold: the file holds what they hold.
      report.sizeClaimed += attr->RealSize();
      report.dataFound += copied;
      LogFile.Write(0, "%s: the record claims %llu bytes, its runs hold %llu\n", target.c_str(),
                    static_cast<unsigned long long>(attr->RealSize()),
                    static_cast<unsigned long long>(copied));
    } else if (copied != attr->RealSize()) {
      SetStatus(job, kIdsStatusStreamIncomplete);
      LogFile.Write(1, "The data stream was recovered not completely.\n");
      RecoverResult reported =
          (flags & RF_QUIET)
              ? REC_E_SKIPPED
              : ReportItemFailure(job, FormatResString(kIdsMsgStreamIncomplete, target), flags);
      if (reported == REC_E_ABORT) {
        SetStatus(job, kIdsStatusAborted);
        return REC_E_ABORT;
      }
      // The partial stream stays; the file is listed as failed once its streams are done.
      if (streamFailure == REC_S_OK) streamFailure = reported;
    }
    if (!(flags & RF_ALL_STREAMS)) break;
  }
  if (count == 0) {
    SetStatus(job, kIdsStatusNoData);
    LogFile.Write(1,
                  "File referenced by MFT record %u has no DATA attribute. The file possibly was "
                  "overwritten.\n",
                  record);
    return ReportItemFailure(job, FormatResString(kIdsMsgNoData, path), flags);
  }
  if (streamFailure != REC_S_OK) {
    SetStatus(job, kIdsStatusStreamIncomplete);
    return streamFailure;
  }
  // A file with bytes that could not be read keeps them as zeros, under its partial name.
  if (RecoverResult kind = PartialResult(job, path, report); kind != REC_S_OK) return kind;
  partial.Keep();
  std::lock_guard<std::mutex> hold(job.progress.Lock());
  ++job.progress.Record().filesRecovered;
  return REC_S_OK;
}

// Creates the folder (step 3 of the folder writer). REC_S_OK with `path` updated, or the
// result that ends the folder.
RecoverResult CreateFolder(RecoverJob& job, std::string& path, std::uint32_t record,
                           std::uint32_t flags) {
  if (!PathLiesUnder(job.destination, path)) {
    SetStatus(job, kIdsStatusFolderNotCreated);
    LogFile.Write(1, "Refused a destination outside the destination folder (%s)\n", path.c_str());
    return REC_E_SKIPPED;
  }
  for (;;) {
    int error = 0;
    if (MakeFolder(path, error)) return REC_S_OK;
    SetStatus(job, kIdsStatusFolderNotCreated);
    if (flags & RF_QUIET) return REC_E_SKIPPED;
    if (IsPathNotFound(error)) {
      PromptButton answer =
          AskUser(job, FormatResString(kIdsFolderParentMissing, path), PromptIcon::kQuestion,
                  {PromptButton::kYes, PromptButton::kNo}, 0);
      if (answer != PromptButton::kYes) {
        SetStatus(job, kIdsStatusFolderSkipped);
        return REC_E_SKIPPED;
      }
      // The folder itself must be a real folder, not a link that happened to be there.
      if (int chainError = 0; !MakeFolderChain(path, chainError) || !IsFolder(path)) {
        SetStatus(job, kIdsStatusFolderSkipped);
        return ReportItemFailure(job, FormatResString(kIdsFolderPathFailed, path), flags);
      }
      return REC_S_OK;
    }
    if (IsAlreadyExists(error)) {
      std::string numbered = CollisionName(path, record);
      int error2 = 0;
      if (MakeFolder(numbered, error2)) {
        path = numbered;
        return REC_S_OK;
      }
      // Only a real folder is merged into; a file or a link of that name is another failure.
      if (IsFolder(path)) {
        if (AskOverwrite(job, ExistingKind::kFolder, path)) return REC_S_OK;
        // Declined (now or by "No to all"): the existing folder is left alone, no failure.
        SetStatus(job, kIdsStatusFolderSkipped);
        return REC_S_NOTHING_DONE;
      }
      error = ENOTDIR;
    }
    RetryAnswer answer =
        AskRetry(job, FormatResString(kIdsFolderCreateFailed, SystemErrorText(error), path), flags);
    if (answer == RetryAnswer::kAbort) return REC_E_ABORT;
    if (answer == RetryAnswer::kSkip) return REC_E_SKIPPED;
  }
}

// The data size of one file, as the bookkeeping of a failed item counts it.
std::uint64_t FileDataSize(RecoverJob& job, std::uint32_t record) {
  CNtfsVolume* volume = NtfsOf(job);
  return volume ? RecoverableItemSize(*volume, job.catalogue, record, false) : 0;
}

// Sizes of every file below a folder, for the bookkeeping of a failed folder.
std::uint64_t SumChildren(RecoverJob& job, std::uint32_t record) {
  CNtfsVolume* volume = NtfsOf(job);
  if (!job.catalogue || !volume) return 0;
  return RecoverableItemSize(*volume, job.catalogue, record, true,
                             [&job] { return job.Cancelled(); });
}

// One folder of the walk below a folder item. The walk keeps its own stack of these rather
// than recursing, so a chain of folders read off the image cannot exhaust the thread's stack;
// its depth is bounded by the length a destination path can have.
struct FolderFrame {
  RecoveredItemReport report;
  std::uint64_t noted = 0;
  std::string requested;  // the path asked for; a failure row of the folder above names it
  std::string path;       // the path written (after collision naming)
  std::uint32_t record = 0;
  std::uint32_t flags = 0;
  bool opened = false;
  bool walking = false;  // its children are being written
  bool stopped = false;  // the walk of its children ended early
  bool quiet = false;
  bool switchedQuiet = false;
  bool failedInside = false;
  bool readOnlyLater = false;
  RecoverResult last = REC_S_OK;
  std::vector<CatalogueEntry> children;
  std::size_t next = 0;
};

void PushFolder(RecoverJob& job, std::vector<FolderFrame>& stack, const std::string& path,
                std::uint32_t record, std::uint32_t flags) {
  FolderFrame f;
  f.report = BeginItem(job, path, record, true, f.noted);
  CatalogueEntry entry;
  if (job.catalogue && job.catalogue->FindEntry(record, entry)) f.report.name = entry.name;
  NoteLongName(record, f.report.name);
  f.requested = path;
  f.path = path;
  f.record = record;
  f.flags = flags;
  f.quiet = (flags & RF_QUIET) != 0;
  stack.push_back(std::move(f));
}

// Creates the folder and gives it its attributes; REC_S_OK when its children are to follow.
RecoverResult OpenFolder(RecoverJob& job, FolderFrame& f) {
  StartItem(job, f.path);
  if (job.Cancelled()) {
    SetStatus(job, kIdsStatusAborted);
    return REC_E_ABORT;
  }
  RecoverResult created = CreateFolder(job, f.path, f.record, f.flags);
  f.report.destination = f.path;
  if (created != REC_S_OK) return created;

  CatalogueEntry entry;
  if ((f.flags & RF_FOLDER_ATTRIBUTES) && job.catalogue &&
      job.catalogue->FindEntry(f.record, entry)) {
    CNtfsFile file;
    CNtfsVolume* volume = NtfsOf(job);
    if (!volume || !file.LoadRecord(volume, f.record, true)) {
      SetStatus(job, kIdsStatusRecordUnreadable);
      LogFile.WriteAlways("Couldn't init file\n");
      return ReportItemFailure(job, FormatResString(kIdsMsgRecordUnreadable, f.path), f.flags);
    }
    std::string name;
    std::uint64_t size = 0, created_ = 0, modified = 0;
    std::uint32_t attributes = 0, parent = 0;
    file.GetNameInfo(name, size, attributes, parent, created_, modified);
    attributes = NormalizeFileAttributes(attributes);
    // The exact bits go on now where the destination keeps them; read-only as mode bits
    // would lock the folder against its own children, so it waits until they are written.
    if (!SetNtfsAttributeBits(f.path, attributes)) f.readOnlyLater = (attributes & 0x1) != 0;
    if (attributes & 0x4000) {
      // Folders are not encrypted here: the raw import keeps each file's own encryption.
      LogFile.Write(1, "Couldn't encrypt file #%lu\n", static_cast<unsigned long>(f.record));
    }
  }
  if (job.catalogue && job.activeFolders.insert(f.record).second) {
    f.walking = true;
    job.catalogue->Children(f.record, f.children);
  } else if (job.catalogue) {
    LogFile.Write(1, "Folder #%lu contains itself; its children are written once\n",
                  static_cast<unsigned long>(f.record));
  }
  return REC_S_OK;
}

// What one child's result does to the walk of its folder.
void TakeChildResult(RecoverJob& job, FolderFrame& f, RecoverResult r,
                     const std::string& childPath) {
  f.last = r;
  if (!RecoverFailed(r)) return;
  f.failedInside = true;
  AddFailureRow(job, childPath);
  if (r == REC_E_ABORT) f.stopped = true;
  if (r == REC_E_IGNORE_ALL) {
    f.quiet = true;
    f.switchedQuiet = true;
  }
}

// After the last child: the late read-only bit, the counts, and the folder's result.
RecoverResult CloseFolder(RecoverJob& job, FolderFrame& f) {
  if (f.walking) job.activeFolders.erase(f.record);
  if (f.readOnlyLater && !ApplyReadOnlyMode(f.path))
    LogFile.Write(1, "Couldn't set file attributes for file #%lu\n",
                  static_cast<unsigned long>(f.record));
  {
    std::lock_guard<std::mutex> hold(job.progress.Lock());
    RecoveryProgress& p = job.progress.Record();
    p.filePercent = 100;
    p.RecomputeTotalPercent();
    if (f.failedInside) {
      p.statusText = LoadResString(kIdsStatusFolderFailures);
    } else {
      ++p.foldersRecovered;
    }
  }
  if (f.switchedQuiet) return REC_E_IGNORE_ALL;
  return f.last == REC_E_ABORT ? REC_E_ABORT : (RecoverFailed(f.last) ? f.last : REC_S_OK);
}

// The bookkeeping of a finished folder item. A failed folder counts the bytes below it that
// were not walked as processed: all of them when it was never opened, else those of the
// children it did not reach (each byte is counted once, however deep the failure began).
RecoverResult EndFolder(RecoverJob& job, FolderFrame& f, RecoverResult result,
                        RecoveredItemReport* reportOut) {
  if (RecoverFailed(result)) {
    std::uint64_t notWalked = 0;
    if (!f.walking) {
      notWalked = SumChildren(job, f.record);
    } else {
      for (std::size_t i = f.next; i < f.children.size() && !job.Cancelled(); ++i) {
        const CatalogueEntry& child = f.children[i];
        notWalked += (child.attributes & kFileAttrDirectory) ? SumChildren(job, child.record)
                                                             : FileDataSize(job, child.record);
      }
    }
    std::lock_guard<std::mutex> hold(job.progress.Lock());
    RecoveryProgress& p = job.progress.Record();
    p.bytesProcessed = std::max(p.bytesProcessed, f.noted) + notWalked;
    p.filePercent = 0;
    p.RecomputeTotalPercent();
  }
  return FinishItem(job, f.report, result, reportOut);
}

}  // namespace

RecoverResult PartialResult(RecoverJob& job, const std::string& path,
                            const RecoveredItemReport& report) {
  RecoverResult kind = ClassifyUnreadable(report.unreadable);
  std::string text;
  if (kind != REC_S_OK) {
    text = DescribeUnreadable(report);
  } else if (report.sizeClaimed > report.dataFound) {
    kind = REC_E_DAMAGED;
    text = "Damaged: the record claims " + std::to_string(report.sizeClaimed) +
           " bytes, its data runs hold " + std::to_string(report.dataFound) +
           "; the file holds those";
  } else {
    return REC_S_OK;
  }
  if (report.sizeClaimed > report.dataFound && kind != REC_E_DAMAGED)
    text += "; the record claims " + std::to_string(report.sizeClaimed) + " bytes, its runs hold " +
            std::to_string(report.dataFound);
  LogFile.Write(0, "%s: %s\n", path.c_str(), text.c_str());
  SetStatusText(job, text.substr(0, 255));
  return kind;
}

RecoverResult RecoverFile(RecoverJob& job, const std::string& path, std::uint32_t record,
                          std::uint32_t flags, RecoveredItemReport* reportOut) {
  std::uint64_t noted = 0;
  RecoveredItemReport report = BeginItem(job, path, record, false, noted);
  CatalogueEntry entry;
  if (job.catalogue && job.catalogue->FindEntry(record, entry)) report.name = entry.name;
  NoteLongName(record, report.name);
  std::string finalPath = path;
  RecoverResult result = WriteFile(job, finalPath, record, flags, report);
  if (RecoverFailed(result)) {
    SkipFailedItem(job, noted, FileDataSize(job, record));
  } else if (result == REC_S_NOTHING_DONE) {
    // Left as it was at the destination: done with, though nothing was written.
    SkipFailedItem(job, noted, FileDataSize(job, record));
    std::lock_guard<std::mutex> hold(job.progress.Lock());
    ++job.progress.Record().filesSkipped;
  } else {
    std::lock_guard<std::mutex> hold(job.progress.Lock());
    job.progress.Record().bytesRecovered += job.progress.Record().bytesProcessed - noted;
  }
  return FinishItem(job, report, result, reportOut);
}

RecoverResult RecoverFolder(RecoverJob& job, const std::string& path, std::uint32_t record,
                            std::uint32_t flags, RecoveredItemReport* reportOut) {
  std::vector<FolderFrame> stack;
  PushFolder(job, stack, path, record, flags);
  RecoverResult result = REC_S_OK;
  std::string finished;   // the requested path of the folder that just ended
  bool handBack = false;  // its result goes to the folder below it on the stack
  while (!stack.empty()) {
    FolderFrame& f = stack.back();
    bool end = false;
    RecoverResult own = REC_S_OK;
    if (handBack) {
      handBack = false;
      TakeChildResult(job, f, result, finished);
    } else if (!f.opened) {
      f.opened = true;
      own = OpenFolder(job, f);
      end = own != REC_S_OK;
    }
    if (!end && f.walking && !f.stopped && f.next < f.children.size()) {
      if (job.Cancelled()) {
        SetStatus(job, kIdsStatusAborted);
        f.last = REC_E_ABORT;
        f.failedInside = true;
        f.stopped = true;
        continue;
      }
      CatalogueEntry child = f.children[f.next++];
      std::string childPath = JoinDestination(f.path, child.name);
      std::uint32_t childFlags = f.flags | (f.quiet ? std::uint32_t{RF_QUIET} : 0u);
      if (child.attributes & kFileAttrDirectory) {
        PushFolder(job, stack, childPath, child.record, childFlags);  // `f` is not used after this
      } else {
        TakeChildResult(job, f, RecoverFile(job, childPath, child.record, childFlags), childPath);
      }
      continue;
    }
    if (!end) own = CloseFolder(job, f);
    result = EndFolder(job, f, own, stack.size() == 1 ? reportOut : nullptr);
    finished = f.requested;
    stack.pop_back();
    handBack = true;
  }
  return result;
}

}  // namespace sorvani
