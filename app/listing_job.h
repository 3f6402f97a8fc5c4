// The folder listing service: the items of one folder (or of a whole tree) of a drive,
// existing and deleted side by side, on a worker with a reader of its own, row by row to an
// event sink. Cancel is noticed between items.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "app/job.h"
#include "app/session.h"
#include "index/file_index.h"

namespace sorvani {

// One listed item with the folder that holds it.
struct CatalogueRow {
  FileListRow row;
  std::string path;  // "X:\a\b\"
  bool deleted = false;
  bool orphan = false;
};

// Called on the job's thread, in listing order; never blocks for long (rows keep coming).
class IListingSink {
 public:
  virtual ~IListingSink() = default;
  virtual void OnRow(const CatalogueRow& row) = 0;
  // An existing folder whose index could not be read at all (`listed` false), or of which
  // `unreadableBlocks` blocks could not be read: its existing items are missing.
  virtual void OnFolderProblem(const std::string& /*path*/, bool /*listed*/,
                               std::uint64_t /*unreadableBlocks*/) {}
  // A deleted file of a cut-off volume whose data reaches `bytes` past the end of the source.
  virtual void OnDataPastEnd(std::uint32_t /*record*/, std::uint64_t /*bytes*/) {}
};

struct ListingOptions {
  std::string path;  // any form ParseVolumePath takes; empty for the root
  bool recursive = false;
  bool deletedOnly = false;  // in a recursive listing existing folders are only the way down
};

enum : std::uint8_t {
  kListingRunning = 0,
  kListingDone = 1,
  kListingCancelled = 2,
  kListingNoFolder = 3,    // the path names no folder of the drive
  kListingUnreadable = 4,  // the drive holds no readable NTFS volume
};

struct ListingSnapshot {
  bool finished = false;
  std::uint8_t outcome = kListingRunning;
  std::uint64_t rows = 0;
  int folderProblems = 0;
  int pastEnd = 0;                 // deleted files with data past the end of the source
  std::uint64_t missingBytes = 0;  // bytes of the volume past the end of its source
};

class CListingJob : public CJob {
 public:
  // Owner's thread. Lists with the catalogue the session has published when it describes
  // `letter`, else the existing items alone.
  CListingJob(CSession& session, char letter, ListingOptions options, IListingSink* sink);
  ~CListingJob() override;
  ListingSnapshot Snapshot() const;  // any thread

 protected:
  void Run(const CCancelToken& cancel) override;

 private:
  CSession& m_session;
  const char m_letter;
  const ListingOptions m_options;
  IListingSink* m_sink;
  PublishedCatalogue m_catalogue;
  std::atomic<std::uint8_t> m_outcome{kListingRunning};
  std::atomic<std::uint64_t> m_rows{0};
  std::atomic<int> m_problems{0};
  std::atomic<int> m_pastEnd{0};
  std::atomic<std::uint64_t> m_missing{0};
};

// Synchronous form for callers already on a worker (and tests): the same walk on the calling
// thread; the outcome.
std::uint8_t ListFolder(CSession& session, char letter, const ListingOptions& options,
                        IListingSink& sink, const std::atomic<bool>* cancel = nullptr,
                        ListingSnapshot* totals = nullptr);

}  // namespace sorvani
