// The search service: the catalogue's deleted items by name, size and date, on a worker with
// a reader of its own, hit by hit to an event sink; and "reveal", the way from the root to a
// hit's folder, level by level with names and record numbers.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "app/job.h"
#include "app/listing_job.h"
#include "app/session.h"
#include "search/search_thread.h"

namespace sorvani {

// Called on the job's thread, once per hit in the order found, then once at the end.
class ISearchJobSink {
 public:
  virtual ~ISearchJobSink() = default;
  // The hit with the path of its folder ("X:\a\b\"); deleted is true, orphan false.
  virtual void OnHit(const CatalogueRow& hit) = 0;
  virtual void OnFinished() {}
};

struct SearchSnapshot {
  bool finished = false;
  bool cancelled = false;
  bool noFolder = false;  // the folder to search below names no folder of the drive
  std::uint64_t hits = 0;
};

class CSearchJob : public CJob {
 public:
  // Owner's thread; the session starts it (StartSearch) so that it never runs beside an
  // indexing run. `sink` may be null: the hits are kept either way (Hits).
  // `below`: only hits below that folder (any form ParseVolumePath takes); empty for all.
  CSearchJob(CSession& session, PublishedCatalogue catalogue, SearchCriteria criteria,
             ISearchJobSink* sink, std::string below = {});
  ~CSearchJob() override;

  SearchSnapshot Snapshot() const;  // any thread
  // A copy of the hits found so far; any thread.
  std::vector<CatalogueRow> Hits() const;
  const PublishedCatalogue& Catalogue() const { return m_catalogue; }

 protected:
  void Run(const CCancelToken& cancel) override;

 private:
  CSession& m_session;
  const PublishedCatalogue m_catalogue;
  const SearchCriteria m_criteria;
  ISearchJobSink* m_sink;
  const std::string m_below;
  std::atomic<bool> m_noFolder{false};
  mutable std::mutex m_hitsLock;
  std::vector<CatalogueRow> m_hits;
};

// The search on the calling thread over a published catalogue, with a reader of its own over
// the source the catalogue was made from; `sink` gets every hit (below the folder `below`
// names, when it is not empty). False when the catalogue describes no drive or its source
// holds no readable NTFS volume, or `below` names no folder (`noFolder` then set).
bool SearchCatalogue(const PublishedCatalogue& catalogue, const SearchCriteria& criteria,
                     ISearchJobSink& sink, const std::atomic<bool>* cancel = nullptr,
                     const std::string& below = {}, bool* noFolder = nullptr);

// The way to the folder of `hit` (a row of the search): each level's name, record and kind,
// walked by record number, so a live and a deleted folder of the same name are told apart.
// Reads through a reader of its own; owner's thread (or any one thread at a time).
bool RevealHit(const PublishedCatalogue& catalogue, const FileListRow& hit, RevealTarget& out);

}  // namespace sorvani
