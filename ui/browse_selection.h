// What the browse view hands to a recovery: the selected rows of the file list or one folder of
// the tree, made into a recovery selection on the UI thread from plain values (no widgets), then
// planned and turned into the request the recovery job takes.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/recovery_job.h"
#include "app/recovery_plan.h"
#include "app/session.h"
#include "index/folder_model.h"

namespace sorvani {
class CNtfsVolume;
class CFileIndexCatalogue;
}  // namespace sorvani

namespace sorvani::ui {

// One selected row of the file list, copied when the command is given.
struct BrowseRow {
  std::uint32_t record = 0;
  std::string name;
  std::uint32_t attributes = 0;
  std::uint64_t size = 0;
  bool folder = false;
  bool deleted = false;  // from the catalogue (existing rows are not recovered from it)
};

// The deleted rows in list order (a deleted folder brings everything below it); `existing`
// counts the rows left out. A row repeated counts once.
RecoverySelection ListSelection(const std::vector<BrowseRow>& rows,
                                std::size_t* existing = nullptr);
// A folder of the tree: a deleted or orphan folder is recovered as itself with everything below
// it; an existing folder gives the deleted items below it, in their folders.
RecoverySelection TreeFolderSelection(const FolderNode& folder);

// The parts of one browse recovery, kept together while its job runs: a reader of its own, the
// catalogue as published, and the catalogue's view the engine reads.
class CBrowseRecovery {
 public:
  // Owner's thread. nullptr, with `error` set, when the drive has no readable NTFS volume or
  // the published catalogue does not describe it.
  static std::unique_ptr<CBrowseRecovery> Open(CSession& session, char letter, std::string& error);
  ~CBrowseRecovery();
  CBrowseRecovery(const CBrowseRecovery&) = delete;
  CBrowseRecovery& operator=(const CBrowseRecovery&) = delete;

  // Sizes every item (one record read per file): best on a worker. Never while a job made from
  // this object runs.
  RecoveryPlan Plan(const RecoverySelection& selection, const std::atomic<bool>* cancel = nullptr);
  // The request for CRecoveryJob: this object's reader and catalogue (so this object must
  // outlive the job), every stream and the folders' attributes.
  RecoveryRequest Request(RecoveryPlan plan, const std::string& destination) const;
  char Letter() const { return m_letter; }

 private:
  CBrowseRecovery() = default;
  char m_letter = 0;
  std::shared_ptr<const CFileIndex> m_index;
  std::unique_ptr<CNtfsVolume> m_volume;
  std::unique_ptr<CFileIndexCatalogue> m_catalogue;
};

}  // namespace sorvani::ui
