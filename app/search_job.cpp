#include "app/search_job.h"

#include "index/ntfs_record_reader.h"
#include "ntfs/ntfs_volume.h"

namespace sorvani {
namespace {

// Adds the folder path to each hit; on the searching thread, with the search's own reader,
// which has just named the hit's folders.
class CPathSink : public ISearchSink {
 public:
  CPathSink(IRecordReader& reader, ISearchJobSink& next) : m_reader(reader), m_next(next) {
    m_hit.deleted = true;
  }
  void OnRow(std::size_t, const FileListRow& row) override {
    m_hit.row = row;
    m_hit.path = m_reader.FolderPath(row.parent);
    m_next.OnHit(m_hit);
  }
  void OnFinished() override { m_next.OnFinished(); }

 private:
  IRecordReader& m_reader;
  ISearchJobSink& m_next;
  CatalogueRow m_hit;
};

std::unique_ptr<CNtfsVolume> ReaderOf(const PublishedCatalogue& catalogue) {
  if (catalogue.drive == 0 || !catalogue.source || !catalogue.index) return nullptr;
  return CSession::NewReader(catalogue.drive, *catalogue.source);
}

}  // namespace

bool SearchCatalogue(const PublishedCatalogue& catalogue, const SearchCriteria& criteria,
                     ISearchJobSink& sink, const std::atomic<bool>* cancel) {
  std::unique_ptr<CNtfsVolume> volume = ReaderOf(catalogue);
  if (!volume) {
    sink.OnFinished();
    return false;
  }
  CNtfsRecordReader reader(volume.get(), catalogue.index.get());
  CPathSink paths(reader, sink);
  std::vector<FileListRow> rows;
  RunSearch(*catalogue.index, reader, criteria, rows, &paths, cancel);
  return true;
}

bool RevealHit(const PublishedCatalogue& catalogue, const FileListRow& hit, RevealTarget& out) {
  std::unique_ptr<CNtfsVolume> volume = ReaderOf(catalogue);
  if (!volume) return false;
  CNtfsRecordReader reader(volume.get(), catalogue.index.get());
  return RevealInFolder(hit, *catalogue.index, reader, out);
}

CSearchJob::CSearchJob(CSession& session, PublishedCatalogue catalogue, SearchCriteria criteria,
                       ISearchJobSink* sink)
    : m_session(session),
      m_catalogue(std::move(catalogue)),
      m_criteria(std::move(criteria)),
      m_sink(sink) {}

CSearchJob::~CSearchJob() { StopAndWait(); }

SearchSnapshot CSearchJob::Snapshot() const {
  SearchSnapshot out;
  out.finished = Finished();
  out.cancelled = Cancelled();
  std::lock_guard hold(m_hitsLock);
  out.hits = m_hits.size();
  return out;
}

std::vector<CatalogueRow> CSearchJob::Hits() const {
  std::lock_guard hold(m_hitsLock);
  return m_hits;
}

void CSearchJob::Run(const CCancelToken& cancel) {
  struct CKeeping : ISearchJobSink {
    CSearchJob* job;
    void OnHit(const CatalogueRow& hit) override {
      {
        std::lock_guard hold(job->m_hitsLock);
        job->m_hits.push_back(hit);
      }
      if (job->m_sink) job->m_sink->OnHit(hit);
    }
    void OnFinished() override {
      if (job->m_sink) job->m_sink->OnFinished();
    }
  } keeping;
  keeping.job = this;
  SearchCatalogue(m_catalogue, m_criteria, keeping, cancel.Flag());
}

}  // namespace sorvani
