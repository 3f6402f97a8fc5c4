// A fuzzed volume through the catalogue services: the indexing job (the scan of unused records
// with their folder chains), a recursive deleted-only listing, and a search over what was
// found with the reveal of its first hits.
#include <atomic>
#include <cstdint>
#include <vector>

#include "app/indexing_job.h"
#include "app/listing_job.h"
#include "app/search_job.h"
#include "app/session.h"
#include "fuzz/ntfs_fuzz_common.h"
#include "index/index_cache.h"

namespace {

// Stops the listing after a bounded number of rows, as a person closing the window would.
class CBoundedRows : public sorvani::IListingSink {
 public:
  explicit CBoundedRows(std::atomic<bool>& stop) : m_stop(stop) {}
  void OnRow(const sorvani::CatalogueRow&) override {
    if (++m_rows >= 4096) m_stop = true;
  }

 private:
  std::atomic<bool>& m_stop;
  int m_rows = 0;
};

class CFirstHits : public sorvani::ISearchJobSink {
 public:
  void OnHit(const sorvani::CatalogueRow& hit) override {
    if (hits.size() < 16) hits.push_back(hit.row);
  }
  std::vector<sorvani::FileListRow> hits;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace sorvani;
  fuzz::MapBytes(data, size);
  SetCacheSavingAllowed(false);
  static LogicalDiskTable logical;
  static DiskTable disks;
  static DriveDiskTable driveDisks;
  // Readers are made per job from the letter's source, so each input is read afresh.
  CSession session(CDriveTable::Instance(), DriveTables{logical, disks, driveDisks});
  CIndexingJob* indexing = session.StartIndexing(fuzz::kFuzzDrive, true);
  if (!indexing) return 0;
  indexing->Wait();

  std::atomic<bool> stop{false};
  CBoundedRows rows(stop);
  ListingOptions options;
  options.recursive = true;
  options.deletedOnly = true;
  ListFolder(session, fuzz::kFuzzDrive, options, rows, &stop);

  PublishedCatalogue catalogue = session.Catalogue();
  SearchCriteria criteria;
  criteria.nameOn = true;
  criteria.nameMode = kNameModeContains;
  criteria.name = "a";
  CFirstHits hits;
  SearchCatalogue(catalogue, criteria, hits);
  for (const FileListRow& hit : hits.hits) {
    RevealTarget target;
    RevealHit(catalogue, hit, target);
  }
  return 0;
}
