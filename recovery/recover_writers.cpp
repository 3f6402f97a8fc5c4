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
#include "recovery/dest_files.h"
#include "recovery/dest_names.h"
#include "recovery/efs_import.h"
#include "recovery/recover_engine.h"

namespace sorvani {
namespace {

void SetStatus(unsigned id) {
  std::lock_guard<std::mutex> hold(ProgressLock());
  Progress().statusText = LoadResString(id);
}

void StartItem(const std::string& path) {
  std::lock_guard<std::mutex> hold(ProgressLock());
  Progress().statusText = LoadResString(kIdsStatusWorking);
  Progress().currentItem = path;
}

CNtfsVolume* NtfsOf(RecoverJob& job) { return dynamic_cast<CNtfsVolume*>(job.volume); }

// Creates the destination file empty under its final name (step 4 of the file writer) and
// leaves it open in `file` for the unnamed stream. Returns REC_S_OK with `path` updated, or
// the result that ends the file.
RecoverResult CreateEmptyFile(RecoverJob& job, std::string& path, std::uint32_t record,
                              std::uint32_t flags, CDestFile& file) {
  int error = 0;
  if (!PathLiesUnder(job.destination, path)) {
    SetStatus(kIdsStatusFileNotCreated);
    LogFile.Write(1, "Refused a destination outside the destination folder (%s)\n", path.c_str());
    return REC_E_SKIPPED;
  }
  if (file.Create(path, CreateMode::kCreateNew, error)) return REC_S_OK;
  std::string numbered = CollisionName(path, record);
  if (file.Create(numbered, CreateMode::kCreateNew, error)) {
    path = numbered;
    return REC_S_OK;
  }
  path = numbered;
  SetStatus(kIdsStatusFileNotCreated);
  LogFile.Write(1, "Couldn't create new file (%s)\n", path.c_str());
  LogFile.WriteError(1, error);
  // Only a name that is taken raises the overwrite question; any other failure goes straight
  // to the create-always attempts, whose prompt names the system's reason.
  if (IsAlreadyExists(error)) {
    int choice = 0;
    {
      std::lock_guard<std::mutex> hold(ProgressLock());
      choice = Progress().fileOverwriteChoice;
    }
    if (choice == 2) return REC_E_SKIPPED;
    if (choice == 0) {
      PromptButton answer = AskUser(job, FormatResString(kIdsFileExists, path), PromptIcon::kExclamation,
                                    {PromptButton::kYes, PromptButton::kNo, PromptButton::kYesToAll,
                                     PromptButton::kNoToAll},
                                    1);
      if (answer == PromptButton::kYesToAll || answer == PromptButton::kNoToAll) {
        std::lock_guard<std::mutex> hold(ProgressLock());
        Progress().fileOverwriteChoice = answer == PromptButton::kYesToAll ? 1 : 2;
      }
      if (answer != PromptButton::kYes && answer != PromptButton::kYesToAll) return REC_E_SKIPPED;
    }
  }
  while (!file.Create(path, CreateMode::kCreateAlways, error)) {
    SetStatus(kIdsStatusFileNotCreated);
    if (flags & RF_QUIET) return REC_E_SKIPPED;
    PromptButton answer =
        AskUser(job, FormatResString(kIdsFileCreateFailed, SystemErrorText(error), path),
                PromptIcon::kError, {PromptButton::kAbort, PromptButton::kRetry, PromptButton::kIgnore}, 1);
    if (answer == PromptButton::kAbort) {
      SetStatus(kIdsStatusAborted);
      return REC_E_ABORT;
    }
    if (answer != PromptButton::kRetry) return REC_E_SKIPPED;
  }
  return REC_S_OK;
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
    SetStatus(kIdsStatusStreamNotCreated);
    LogFile.Write(1, "Destination file %s couldn't be created.\n", target.c_str());
    LogFile.WriteError(1, error);
    return ReportItemFailure(job, FormatResString(kIdsMsgStreamNotCreated, target), flags);
  }
  stream.Seek(0);
  double elapsedBefore = 0;
  {
    std::lock_guard<std::mutex> hold(ProgressLock());
    elapsedBefore = Progress().elapsedSeconds;
  }
  double start = ClockMilliseconds();
  std::vector<std::uint8_t> piece(job.pieceSize ? job.pieceSize : kCopyPieceSize);
  const std::uint64_t size = stream.RealSize();
  for (;;) {
    std::uint32_t got = 0;
    if (!stream.Read(piece.data(), static_cast<std::uint32_t>(piece.size()), got, false) || got == 0) break;
    if (job.cancel.IsSet()) {
      SetStatus(kIdsStatusAborted);
      return REC_E_ABORT;
    }
    while (!out.Write(piece.data(), got, error)) {
      SetStatus(kIdsStatusWriteFailed);
      LogFile.WriteError(1, error);
      if (flags & RF_QUIET) return REC_E_SKIPPED;
      PromptButton answer =
          AskUser(job, FormatResString(kIdsWriteFailed, SystemErrorText(error), target),
                  PromptIcon::kError, {PromptButton::kAbort, PromptButton::kRetry, PromptButton::kIgnore}, 1);
      if (answer == PromptButton::kAbort) {
        SetStatus(kIdsStatusAborted);
        return REC_E_ABORT;
      }
      if (answer != PromptButton::kRetry) return REC_E_SKIPPED;
    }
    copied += got;
    std::lock_guard<std::mutex> hold(ProgressLock());
    RecoveryProgress& p = Progress();
    p.bytesProcessed += got;
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
    SetStatus(kIdsStatusEfsCorrupt);
    LogFile.Write(1, "$EFS attribute is corrupted.\n");
    return ReportItemFailure(job, FormatResString(kIdsMsgEfsCorrupt, path), flags);
  }
  EfsImportContext context;
  context.cancel = &job.cancel;
  context.record = &file;
  int openError = 0;
  std::uint32_t rc = ImportEncryptedFileRaw(path, context, job.pieceSize ? job.pieceSize : kCopyPieceSize,
                                            openError);
  report.bytes = context.fileBytes;
  if (openError != 0) {
    SetStatus(kIdsStatusEfsOpenFailed);
    LogFile.Write(1, "Couldn't open encrypted file for import.\n");
    return ReportItemFailure(job, FormatResString(kIdsMsgEfsOpenFailed, path), flags);
  }
  if (rc == 0) return REC_S_OK;
  if (job.cancel.IsSet()) {
    LogFile.Write(1, "The operation was aborted.\n");
    SetStatus(kIdsStatusAborted);
    return REC_E_ABORT;
  }
  SetStatus(kIdsStatusEfsImportFailed);
  LogFile.Write(1, "Error importing encrypted file.\n");
  return ReportItemFailure(job, FormatResString(kIdsMsgEfsImportFailed, path), flags);
}

RecoverResult WriteFile(RecoverJob& job, std::string& path, std::uint32_t record,
                        std::uint32_t flags, RecoveredItemReport& report) {
  StartItem(path);
  CNtfsFile file;
  CNtfsVolume* volume = NtfsOf(job);
  if (!volume || !file.LoadRecord(volume, record, false)) {
    SetStatus(kIdsStatusRecordUnreadable);
    return ReportItemFailure(job, FormatResString(kIdsMsgRecordUnreadable, path), flags);
  }
  // A free record that lost its names but kept its data is recovered under the name the
  // catalogue made for it.
  if (!file.FindAttribute(kAttrFileName) && !file.FindAttribute(kAttrData)) {
    SetStatus(kIdsStatusNoFileName);
    LogFile.Write(1, "Couldn't get $FILE_NAME attribute\n");
    return ReportItemFailure(job, FormatResString(kIdsMsgNoFileName, path), flags);
  }
  CDestFile mainFile;
  RecoverResult created = CreateEmptyFile(job, path, record, flags, mainFile);
  report.destination = path;
  if (created != REC_S_OK) return created;

  if (CNtfsFileAttr* efs = FindEfsAttribute(file)) {
    mainFile.Close();
    RecoverResult r = ImportEncrypted(job, file, *efs, path, flags, report);
    if (r == REC_S_OK) {
      std::lock_guard<std::mutex> hold(ProgressLock());
      ++Progress().filesRecovered;
    }
    return r;
  }

  int count = 0;
  RecoverResult streamFailure = REC_S_OK;
  for (std::size_t i = 0; i < file.AttributeCount(); ++i) {
    CNtfsFileAttr* attr = file.AttributeAt(i);
    if (!attr || attr->Type() != kAttrData) continue;
    ++count;
    std::string name = attr->Name();
    if (name.empty() && count > 1) name = "unk_stream_" + std::to_string(count);
    std::string target = name.empty() ? path : path + ":" + SafeName(name);
    std::uint64_t copied = 0;
    RecoverResult r = CopyStream(job, *attr, target, flags, copied, name.empty() ? &mainFile : nullptr);
    if (name.empty()) mainFile.Close();
    report.bytes += copied;
    if (r != REC_S_OK) return r;
    if (!name.empty()) report.streams.push_back(SafeName(name));
    if (copied != attr->RealSize()) {
      SetStatus(kIdsStatusStreamIncomplete);
      LogFile.Write(1, "The data stream was recovered not completely.\n");
      RecoverResult reported = (flags & RF_QUIET)
                                    ? REC_E_SKIPPED
                                    : ReportItemFailure(job, FormatResString(kIdsMsgStreamIncomplete, target), flags);
      if (reported == REC_E_ABORT) {
        SetStatus(kIdsStatusAborted);
        return REC_E_ABORT;
      }
      // The partial stream stays; the file is listed as failed once its streams are done.
      if (streamFailure == REC_S_OK) streamFailure = reported;
    }
    if (!(flags & RF_ALL_STREAMS)) break;
  }
  if (count == 0) {
    SetStatus(kIdsStatusNoData);
    LogFile.Write(1, "File referenced by MFT record %u has no DATA attribute. The file possibly was overwritten.\n",
                  record);
    return ReportItemFailure(job, FormatResString(kIdsMsgNoData, path), flags);
  }
  if (streamFailure != REC_S_OK) {
    SetStatus(kIdsStatusStreamIncomplete);
    return streamFailure;
  }
  std::lock_guard<std::mutex> hold(ProgressLock());
  ++Progress().filesRecovered;
  return REC_S_OK;
}

// Creates the folder (step 3 of the folder writer). REC_S_OK with `path` updated, or the
// result that ends the folder.
RecoverResult CreateFolder(RecoverJob& job, std::string& path, std::uint32_t record,
                           std::uint32_t flags) {
  if (!PathLiesUnder(job.destination, path)) {
    SetStatus(kIdsStatusFolderNotCreated);
    LogFile.Write(1, "Refused a destination outside the destination folder (%s)\n", path.c_str());
    return REC_E_SKIPPED;
  }
  for (;;) {
    int error = 0;
    if (MakeFolder(path, error)) return REC_S_OK;
    SetStatus(kIdsStatusFolderNotCreated);
    if (flags & RF_QUIET) return REC_E_SKIPPED;
    if (IsPathNotFound(error)) {
      PromptButton answer = AskUser(job, FormatResString(kIdsFolderParentMissing, path),
                                    PromptIcon::kQuestion, {PromptButton::kYes, PromptButton::kNo}, 0);
      if (answer != PromptButton::kYes) {
        SetStatus(kIdsStatusFolderSkipped);
        return REC_E_SKIPPED;
      }
      // The folder itself must be a real folder, not a link that happened to be there.
      if (int chainError = 0; !MakeFolderChain(path, chainError) || !IsFolder(path)) {
        SetStatus(kIdsStatusFolderSkipped);
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
        int choice = 0;
        {
          std::lock_guard<std::mutex> hold(ProgressLock());
          choice = Progress().folderOverwriteChoice;
        }
        if (choice == 2) return REC_S_NOTHING_DONE;
        if (choice == 1) return REC_S_OK;
        PromptButton answer = AskUser(job, FormatResString(kIdsFolderExists, path), PromptIcon::kExclamation,
                                      {PromptButton::kYes, PromptButton::kNo, PromptButton::kYesToAll,
                                       PromptButton::kNoToAll},
                                      1);
        if (answer == PromptButton::kYesToAll || answer == PromptButton::kNoToAll) {
          std::lock_guard<std::mutex> hold(ProgressLock());
          Progress().folderOverwriteChoice = answer == PromptButton::kYesToAll ? 1 : 2;
        }
        if (answer == PromptButton::kYes || answer == PromptButton::kYesToAll) return REC_S_OK;
        SetStatus(kIdsStatusFolderSkipped);
        return REC_E_SKIPPED;
      }
      error = ENOTDIR;
    }
    PromptButton answer =
        AskUser(job, FormatResString(kIdsFolderCreateFailed, SystemErrorText(error), path),
                PromptIcon::kError, {PromptButton::kAbort, PromptButton::kRetry, PromptButton::kIgnore}, 1);
    if (answer == PromptButton::kAbort) {
      SetStatus(kIdsStatusAborted);
      return REC_E_ABORT;
    }
    if (answer != PromptButton::kRetry) return REC_E_SKIPPED;
  }
}

// Sizes of every file below a folder, for the bookkeeping of a failed folder.
std::uint64_t SumChildren(RecoverJob& job, std::uint32_t record, std::set<std::uint32_t>& seen) {
  std::uint64_t total = 0;
  if (!job.catalogue || !seen.insert(record).second) return 0;
  std::vector<CatalogueEntry> children;
  job.catalogue->Children(record, children);
  CNtfsFile file;
  for (const CatalogueEntry& child : children) {
    if (job.cancel.IsSet()) break;
    if (child.attributes & kFileAttrDirectory) {
      total += SumChildren(job, child.record, seen);
    } else if (CNtfsVolume* volume = NtfsOf(job); volume && file.LoadRecord(volume, child.record, false)) {
      total += file.GetDataSize();
    }
  }
  return total;
}

RecoverResult WriteFolder(RecoverJob& job, std::string& path, std::uint32_t record,
                          std::uint32_t flags, RecoveredItemReport& report) {
  StartItem(path);
  if (job.cancel.IsSet()) {
    SetStatus(kIdsStatusAborted);
    return REC_E_ABORT;
  }
  RecoverResult created = CreateFolder(job, path, record, flags);
  report.destination = path;
  if (created != REC_S_OK) return created;

  bool readOnlyLater = false;
  CatalogueEntry entry;
  if ((flags & RF_FOLDER_ATTRIBUTES) && job.catalogue && job.catalogue->FindEntry(record, entry)) {
    CNtfsFile file;
    CNtfsVolume* volume = NtfsOf(job);
    if (!volume || !file.LoadRecord(volume, record, true)) {
      SetStatus(kIdsStatusRecordUnreadable);
      LogFile.WriteAlways("Couldn't init file\n");
      return ReportItemFailure(job, FormatResString(kIdsMsgRecordUnreadable, path), flags);
    }
    std::string name;
    std::uint64_t size = 0, created_ = 0, modified = 0;
    std::uint32_t attributes = 0, parent = 0;
    file.GetNameInfo(name, size, attributes, parent, created_, modified);
    attributes = NormalizeFileAttributes(attributes);
    // The exact bits go on now where the destination keeps them; read-only as mode bits
    // would lock the folder against its own children, so it waits until they are written.
    if (!SetNtfsAttributeBits(path, attributes)) readOnlyLater = (attributes & 0x1) != 0;
    if (attributes & 0x4000) {
      // Folders are not encrypted here: the raw import keeps each file's own encryption.
      LogFile.Write(1, "Couldn't encrypt file #%lu\n", static_cast<unsigned long>(record));
    }
  }

  bool failedInside = false;
  bool quiet = (flags & RF_QUIET) != 0;
  bool switchedQuiet = false;
  RecoverResult last = REC_S_OK;
  if (job.catalogue && job.activeFolders.insert(record).second) {
    std::vector<CatalogueEntry> children;
    job.catalogue->Children(record, children);
    for (const CatalogueEntry& child : children) {
      if (job.cancel.IsSet()) {
        SetStatus(kIdsStatusAborted);
        last = REC_E_ABORT;
        failedInside = true;
        break;
      }
      std::string childPath = JoinDestination(path, child.name);
      std::uint32_t childFlags = flags | (quiet ? std::uint32_t{RF_QUIET} : 0u);
      RecoverResult r = (child.attributes & kFileAttrDirectory)
                            ? RecoverFolder(job, childPath, child.record, childFlags)
                            : RecoverFile(job, childPath, child.record, childFlags);
      last = r;
      if (RecoverFailed(r)) {
        failedInside = true;
        AddFailureRow(job, childPath);
        if (r == REC_E_ABORT) break;
        if (r == REC_E_IGNORE_ALL) {
          quiet = true;
          switchedQuiet = true;
        }
      }
    }
    job.activeFolders.erase(record);
  } else if (job.catalogue) {
    LogFile.Write(1, "Folder #%lu contains itself; its children are written once\n",
                  static_cast<unsigned long>(record));
  }
  if (readOnlyLater && !ApplyReadOnlyMode(path))
    LogFile.Write(1, "Couldn't set file attributes for file #%lu\n", static_cast<unsigned long>(record));

  {
    std::lock_guard<std::mutex> hold(ProgressLock());
    RecoveryProgress& p = Progress();
    p.filePercent = 100;
    p.RecomputeTotalPercent();
    if (failedInside) {
      p.statusText = LoadResString(kIdsStatusFolderFailures);
    } else {
      ++p.foldersRecovered;
    }
  }
  if (switchedQuiet) return REC_E_IGNORE_ALL;
  return last == REC_E_ABORT ? REC_E_ABORT : (RecoverFailed(last) ? last : REC_S_OK);
}

}  // namespace

RecoverResult RecoverFile(RecoverJob& job, const std::string& path, std::uint32_t record,
                          std::uint32_t flags, RecoveredItemReport* reportOut) {
  std::uint64_t noted = 0;
  RecoveredItemReport report = BeginItem(path, record, false, noted);
  CatalogueEntry entry;
  if (job.catalogue && job.catalogue->FindEntry(record, entry)) report.name = entry.name;
  std::string finalPath = path;
  RecoverResult result = WriteFile(job, finalPath, record, flags, report);
  if (RecoverFailed(result)) {
    std::uint64_t size = 0;
    CNtfsFile file;
    if (CNtfsVolume* volume = NtfsOf(job); volume && file.LoadRecord(volume, record, false))
      size = file.GetDataSize();
    SkipFailedItem(noted, size);
  } else {
    std::lock_guard<std::mutex> hold(ProgressLock());
    Progress().bytesRecovered += Progress().bytesProcessed - noted;
  }
  return FinishItem(job, report, result, reportOut);
}

RecoverResult RecoverFolder(RecoverJob& job, const std::string& path, std::uint32_t record,
                            std::uint32_t flags, RecoveredItemReport* reportOut) {
  std::uint64_t noted = 0;
  RecoveredItemReport report = BeginItem(path, record, true, noted);
  CatalogueEntry entry;
  if (job.catalogue && job.catalogue->FindEntry(record, entry)) report.name = entry.name;
  std::string finalPath = path;
  RecoverResult result = WriteFolder(job, finalPath, record, flags, report);
  if (RecoverFailed(result)) {
    std::set<std::uint32_t> seen;
    SkipFailedItem(noted, SumChildren(job, record, seen));
  }
  return FinishItem(job, report, result, reportOut);
}

}  // namespace sorvani
