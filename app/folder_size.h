// Folder sizes: the sum of the file sizes below a deleted or an existing folder, loop-safe
// (deleted folders can name each other as parents), cancellable, with a running total any
// thread may read while it runs. The recover dialog's selection and the properties use it.
#pragma once

#include <atomic>
#include <cstdint>

#include "app/job.h"
#include "app/session.h"
#include "index/folder_model.h"

namespace sorvani {

struct FolderSizeTotals {
  std::atomic<std::uint64_t> bytes{0};
  std::atomic<std::uint64_t> files{0};
  std::atomic<std::uint64_t> folders{0};  // folders entered, the start included
};

// Sums below `folder` through `model` (its catalogue, reader and live lister): every item
// of every folder below, existing and deleted alike for an existing folder, deleted ones
// below a deleted or orphan folder. Each folder is entered once. Adds to `totals` as it goes;
// false when cancelled (the totals then hold what was summed). Thread of the model's reader.
bool SumFolder(CFolderModel& model, const FolderNode& folder, FolderSizeTotals& totals,
               const std::atomic<bool>* cancel = nullptr);

struct FolderSizeSnapshot {
  bool finished = false;
  bool complete = false;  // finished without cancel or an unreadable drive
  std::uint64_t bytes = 0;
  std::uint64_t files = 0;
  std::uint64_t folders = 0;
};

// SumFolder on a worker with a reader of its own, over the session's published catalogue.
class CFolderSizeJob : public CJob {
 public:
  // Owner's thread. `folder` as the folder model gives it (a row entered, or a path resolved).
  CFolderSizeJob(CSession& session, char letter, FolderNode folder);
  ~CFolderSizeJob() override;
  FolderSizeSnapshot Snapshot() const;  // any thread: the running total while it runs

 protected:
  void Run(const CCancelToken& cancel) override;

 private:
  CSession& m_session;
  const char m_letter;
  const FolderNode m_folder;
  PublishedCatalogue m_catalogue;
  FolderSizeTotals m_totals;
  std::atomic<bool> m_complete{false};
};

}  // namespace sorvani
