#include "app/search_job.h"

#include <map>
#include <set>

#include "app/volume_path.h"
#include "index/folder_model.h"
#include "index/ntfs_record_reader.h"
#include "ntfs/ntfs_volume.h"

namespace sorvani {
namespace {

// Adds the folder path to each hit; on the searching thread, with the search's own reader,
// which has just named the hit's folders.
class CPathSink : public ISearchSink {
 public:
  CPathSink(IRecordReader& reader, ISearchJobSink& next, const CFileIndex& index,
            std::uint32_t below)
      : m_reader(reader), m_next(next), m_index(index), m_below(below) {
    m_hit.deleted = true;
  }
  void OnRow(std::size_t, const FileListRow& row) override {
    if (m_below != 0 && !Below(row.parent)) return;
    m_hit.row = row;
    m_hit.path = m_reader.FolderPath(row.parent);
    m_next.OnHit(m_hit);
  }
  void OnFinished() override { m_next.OnFinished(); }

 private:
  // Whether folder `folder` is m_below or lies below it: up the catalogue's entries and the
  // records' own parents, each folder's answer kept for the hits that follow.
  bool Below(std::uint32_t folder) {
    std::vector<std::uint32_t> walked;
    std::set<std::uint32_t> seen;
    bool answer = false;
    RecordNames names;
    for (std::uint32_t current = folder;;) {
      if (current == m_below) {
        answer = true;
        break;
      }
      if (auto it = m_known.find(current); it != m_known.end()) {
        answer = it->second;
        break;
      }
      if (current == kIndexRootRecord || !seen.insert(current).second) break;
      walked.push_back(current);
      if (const FileIndexEntry* entry = m_index.FindEntry(current)) {
        current = entry->parent;
      } else if (m_reader.LoadNames(current, names) && !names.name.empty()) {
        current = names.parent;
      } else {
        break;
      }
    }
    for (std::uint32_t r : walked) m_known[r] = answer;
    return answer;
  }

  IRecordReader& m_reader;
  ISearchJobSink& m_next;
  const CFileIndex& m_index;
  const std::uint32_t m_below;  // 0: everywhere
  std::map<std::uint32_t, bool> m_known;
  CatalogueRow m_hit;
};

std::unique_ptr<CNtfsVolume> ReaderOf(const PublishedCatalogue& catalogue) {
  if (catalogue.drive == 0 || !catalogue.source || !catalogue.index) return nullptr;
  return CSession::NewReader(catalogue.drive, *catalogue.source);
}

}  // namespace

bool SearchCatalogue(const PublishedCatalogue& catalogue, const SearchCriteria& criteria,
                     ISearchJobSink& sink, const std::atomic<bool>* cancel,
                     const std::string& below, bool* noFolder) {
  if (noFolder) *noFolder = false;
  std::unique_ptr<CNtfsVolume> volume = ReaderOf(catalogue);
  if (!volume) {
    sink.OnFinished();
    return false;
  }
  CNtfsRecordReader reader(volume.get(), catalogue.index.get());
  std::uint32_t folder = 0;
  if (!below.empty()) {
    CNtfsIndexLister live(volume.get());
    CFolderModel model(catalogue.drive, *catalogue.index, reader, live);
    FolderNode node;
    if (!ResolveFolderText(model, below, node)) {
      if (noFolder) *noFolder = true;
      sink.OnFinished();
      return false;
    }
    // The root holds everything, orphan folders included.
    if (node.record != kIndexRootRecord || node.kind != FolderKind::Existing) folder = node.record;
  }
  CPathSink paths(reader, sink, *catalogue.index, folder);
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
                       ISearchJobSink* sink, std::string below)
    : m_session(session),
      m_catalogue(std::move(catalogue)),
      m_criteria(std::move(criteria)),
      m_sink(sink),
      m_below(std::move(below)) {}

CSearchJob::~CSearchJob() { StopAndWait(); }

SearchSnapshot CSearchJob::Snapshot() const {
  SearchSnapshot out;
  out.finished = Finished();
  out.cancelled = Cancelled();
  out.noFolder = m_noFolder.load();
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
  bool noFolder = false;
  SearchCatalogue(m_catalogue, m_criteria, keeping, cancel.Flag(), m_below, &noFolder);
  m_noFolder = noFolder;
}

}  // namespace sorvani
