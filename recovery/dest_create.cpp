#include "recovery/dest_create.h"

#include "foundation/log.h"
#include "foundation/res_strings.h"
#include "recovery/dest_names.h"
#include "recovery/recover_engine.h"

namespace sorvani {
namespace {

// A name is taken when the file or any file standing for one of its streams exists.
bool NameTaken(const std::string& path, const std::vector<std::string>& siblings) {
  if (PathExists(path)) return true;
  for (const std::string& suffix : siblings)
    if (PathExists(path + suffix)) return true;
  return false;
}

// Creates `path` as a new file unless it or one of its siblings exists.
bool CreateIfFree(CDestFile& file, const std::string& path,
                  const std::vector<std::string>& siblings, int& error) {
  for (const std::string& suffix : siblings) {
    if (PathExists(path + suffix)) {
      error = EEXIST;
      return false;
    }
  }
  return file.Create(path, CreateMode::kCreateNew, error);
}

constexpr int kPartialNames = 100;

}  // namespace

RecoverResult CreateDestinationFile(RecoverJob& job, std::string& path, std::uint64_t id,
                                    std::uint32_t flags, const std::vector<std::string>& siblings,
                                    CDestFile& file, bool& overwrite) {
  int error = 0;
  overwrite = false;
  if (!PathLiesUnder(job.destination, path)) {
    SetStatus(job, kIdsStatusFileNotCreated, "It would lie outside the destination folder", path);
    LogFile.Write(1, "Refused a destination outside the destination folder (%s)\n", path.c_str());
    return REC_E_SKIPPED;
  }
  if (CreateIfFree(file, path, siblings, error)) return REC_S_OK;
  std::string numbered = CollisionName(path, id);
  if (CreateIfFree(file, numbered, siblings, error)) {
    path = numbered;
    return REC_S_OK;
  }
  path = numbered;
  SetStatus(job, kIdsStatusFileNotCreated, SystemErrorText(error), path);
  LogFile.Write(1, "Couldn't create new file (%s)\n", path.c_str());
  LogFile.WriteError(1, error);
  // Only a name that is taken raises the overwrite question; any other failure goes straight
  // to the create-always attempts, whose prompt names the system's reason.
  if (IsAlreadyExists(error)) {
    // Declining to overwrite leaves the file there as it was: the item is skipped, which is
    // no failure of the recovery.
    if (!AskOverwrite(job, ExistingKind::kFile, path)) {
      LogFile.Write(1, "Left the existing file as it is (%s)\n", path.c_str());
      return REC_S_NOTHING_DONE;
    }
    overwrite = true;
  }
  while (!file.Create(path, CreateMode::kCreateAlways, error)) {
    SetStatus(job, kIdsStatusFileNotCreated, SystemErrorText(error), path);
    RetryAnswer answer =
        AskRetry(job, FormatResString(kIdsFileCreateFailed, SystemErrorText(error), path), flags);
    if (answer == RetryAnswer::kAbort) return REC_E_ABORT;
    if (answer == RetryAnswer::kSkip) return REC_E_SKIPPED;
  }
  return REC_S_OK;
}

RecoverResult CreateStreamTarget(RecoverJob& job, const std::string& target, bool overwrite,
                                 std::uint32_t& flags, CDestFile& file) {
  int error = 0;
  if (file.Create(target, overwrite ? CreateMode::kCreateAlways : CreateMode::kCreateNew, error))
    return REC_S_OK;
  SetStatus(job, kIdsStatusStreamNotCreated, SystemErrorText(error), target);
  LogFile.Write(1, "Destination file %s couldn't be created.\n", target.c_str());
  LogFile.WriteError(1, error);
  return ReportItemFailure(job, FormatResString(kIdsMsgStreamNotCreated, target), flags);
}

bool SetAsidePartialFile(std::string& path, std::uint64_t id,
                         const std::vector<std::string>& siblings) {
  if (path.empty() || !PathExists(path)) return false;
  std::string base = AppendToName(path, kPartialSuffix);
  for (int attempt = 0; attempt < kPartialNames; ++attempt) {
    std::string target =
        attempt == 0   ? base
        : attempt == 1 ? CollisionName(base, id)
                       : AppendToName(path, std::string(kPartialSuffix) + std::to_string(attempt));
    if (NameTaken(target, siblings)) continue;
    int error = 0;
    if (!RenameNoReplace(path, target, error)) {
      if (IsAlreadyExists(error)) continue;
      LogFile.Write(1, "Couldn't rename the incomplete file %s\n", path.c_str());
      LogFile.WriteError(1, error);
      return false;
    }
    // Where the destination keeps streams they moved with the file; where it does not, the
    // files standing for them follow it.
    for (const std::string& suffix : siblings) {
      if (!PathExists(path + suffix)) continue;
      if (!RenameNoReplace(path + suffix, target + suffix, error)) {
        LogFile.Write(1, "Couldn't rename the incomplete stream %s\n", (path + suffix).c_str());
        LogFile.WriteError(1, error);
      }
    }
    LogFile.Write(1, "The incomplete file %s is kept as %s\n", path.c_str(), target.c_str());
    path = target;
    return true;
  }
  LogFile.Write(1, "No free name for the incomplete file %s\n", path.c_str());
  return false;
}

}  // namespace sorvani
