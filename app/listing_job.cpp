#include "app/listing_job.h"

#include <set>
#include <vector>

#include "app/volume_path.h"
#include "foundation/record_table.h"
#include "index/folder_model.h"
#include "index/ntfs_record_reader.h"
#include "ntfs/ntfs_volume.h"

namespace sorvani {
namespace {

class CWalker {
 public:
  CWalker(char letter, const CFileIndex& index, CNtfsVolume& volume, const DriveSource* source,
          const ListingOptions& options, IListingSink& sink, const std::atomic<bool>* cancel,
          ListingSnapshot& totals)
      : m_index(index),
        m_volume(volume),
        m_reader(&volume, &index),
        m_live(&volume),
        m_model(letter, index, m_reader, m_live),
        m_options(options),
        m_sink(sink),
        m_cancel(cancel),
        m_totals(totals) {
    m_model.SetDeletedOnly(options.deletedOnly);
    // A cut-off volume is listed whole; each deleted file whose data reaches past the end is
    // named. The check reads through a reader of its own.
    if (source && volume.MissingBytes() != 0) {
      m_cutOff = CSession::NewReader(letter, *source);
      m_totals.missingBytes = volume.MissingBytes();
    }
  }

  CFolderModel& Model() { return m_model; }
  bool Cancelled() const { return m_cancel && m_cancel->load(std::memory_order_relaxed); }

  bool Walk(const FolderNode& start) {
    // Deleted folders can name each other as parents; each is entered once.
    std::vector<FolderNode> stack{start};
    std::set<std::pair<int, std::uint32_t>> entered;
    std::vector<FolderItem> items;
    while (!stack.empty()) {
      FolderNode folder = std::move(stack.back());
      stack.pop_back();
      std::uint64_t unreadableBefore = m_volume.UnreadableIndexBlocks();
      bool listed = m_model.List(folder, items);
      if (folder.kind == FolderKind::Existing) {
        std::uint64_t unreadable = m_volume.UnreadableIndexBlocks() - unreadableBefore;
        if (!listed || unreadable != 0) {
          ++m_totals.folderProblems;
          m_sink.OnFolderProblem(folder.path, listed, unreadable);
        }
      }
      std::vector<FolderNode> below;
      for (const FolderItem& item : items) {
        if (Cancelled()) return false;
        if (!(m_options.recursive && m_options.deletedOnly && !item.deleted))
          Emit(folder.path, item);
        if (item.deleted && !item.orphan) m_printed.Ref(item.row.record) = true;
        if (m_options.recursive && item.IsFolder()) {
          FolderNode node = m_model.Enter(folder, item);
          if (node.record != 0 && entered.insert({static_cast<int>(node.kind), node.record}).second)
            below.push_back(std::move(node));
        }
      }
      stack.insert(stack.end(), below.rbegin(), below.rend());
    }
    return true;
  }

  // Entries the tree cannot reach (a parent chain that loops, a system folder that is not
  // browsed, a reserved record as parent) are listed with the path their chain spells.
  bool ListUnreached() {
    bool going = true;
    m_index.ForEachEntry([&](const FileIndexEntry& entry) {
      if (Cancelled()) return going = false;
      const std::uint32_t record = entry.record;
      if (m_printed.Get(record)) return true;
      m_reader.RegisterParentFolders(entry.parent);
      std::string path = m_reader.FolderPath(entry.parent);
      FolderItem item;
      item.deleted = true;
      item.row.record = record;
      item.row.parent = entry.parent;
      item.row.name = entry.name;
      item.row.attributes = entry.attributes;
      if (const EntryFacts* facts = m_index.FindFacts(record)) {
        item.row.size = facts->size;
        item.row.created = facts->created;
        item.row.modified = facts->modified;
        item.row.overwritten = facts->overwritten;
      } else if (RecordDetails details; m_reader.LoadDetails(record, !entry.IsFolder(), details)) {
        item.row.size = details.size;
        item.row.created = details.created;
        item.row.modified = details.modified;
        item.row.overwritten = entry.IsFolder() ? 0 : details.overwritten;
      }
      Emit(path, item);
      return true;
    });
    return going;
  }

 private:
  void Emit(const std::string& path, const FolderItem& item) {
    if (m_cutOff && item.deleted && !item.orphan && !item.IsFolder()) {
      CNtfsFile file;
      std::uint64_t past = 0;
      if (file.LoadRecord(m_cutOff.get(), item.row.record, false) &&
          (past = file.DataBytesPastEnd()) != 0) {
        ++m_totals.pastEnd;
        m_sink.OnDataPastEnd(item.row.record, past);
      }
    }
    m_row.row = item.row;
    m_row.path = path;
    m_row.deleted = item.deleted;
    m_row.orphan = item.orphan;
    ++m_totals.rows;
    m_sink.OnRow(m_row);
  }

  const CFileIndex& m_index;
  CNtfsVolume& m_volume;
  CNtfsRecordReader m_reader;
  CNtfsIndexLister m_live;
  CFolderModel m_model;
  const ListingOptions& m_options;
  IListingSink& m_sink;
  const std::atomic<bool>* m_cancel;
  ListingSnapshot& m_totals;
  std::unique_ptr<CNtfsVolume> m_cutOff;  // set only for a volume cut off by its source
  RecordTable<bool> m_printed;
  CatalogueRow m_row;  // reused: its strings keep their buffers
};

std::uint8_t ListWith(const PublishedCatalogue& catalogue, CSession& session, char letter,
                      const ListingOptions& options, IListingSink& sink,
                      const std::atomic<bool>* cancel, ListingSnapshot& totals) {
  auto source = session.Drives().Find(letter);
  if (!source) return kListingUnreadable;
  std::unique_ptr<CNtfsVolume> volume = CSession::NewReader(letter, *source);
  if (!volume) return kListingUnreadable;
  // A catalogue of another drive (or of none) has nothing to add to this one's folders.
  static const CFileIndex kEmpty;
  const CFileIndex& index =
      catalogue.drive == letter && catalogue.index ? *catalogue.index : kEmpty;
  CWalker walker(letter, index, *volume, &*source, options, sink, cancel, totals);
  FolderNode start = walker.Model().Root();
  if (!options.path.empty() && !ResolveFolderText(walker.Model(), options.path, start))
    return kListingNoFolder;
  if (!walker.Walk(start)) return kListingCancelled;
  if (options.recursive && start.path.size() == 3 && !walker.ListUnreached())
    return kListingCancelled;
  return kListingDone;
}

}  // namespace

CListingJob::CListingJob(CSession& session, char letter, ListingOptions options, IListingSink* sink)
    : m_session(session),
      m_letter(letter),
      m_options(std::move(options)),
      m_sink(sink),
      m_catalogue(session.Catalogue()) {}

CListingJob::~CListingJob() { StopAndWait(); }

ListingSnapshot CListingJob::Snapshot() const {
  ListingSnapshot out;
  out.finished = Finished();
  out.outcome = m_outcome.load();
  out.rows = m_rows.load();
  out.folderProblems = m_problems.load();
  out.pastEnd = m_pastEnd.load();
  out.missingBytes = m_missing.load();
  return out;
}

void CListingJob::Run(const CCancelToken& cancel) {
  struct CCounting : IListingSink {
    IListingSink* next;
    CListingJob* job;
    void OnRow(const CatalogueRow& row) override {
      job->m_rows.fetch_add(1, std::memory_order_relaxed);
      if (next) next->OnRow(row);
    }
    void OnFolderProblem(const std::string& path, bool listed, std::uint64_t blocks) override {
      ++job->m_problems;
      if (next) next->OnFolderProblem(path, listed, blocks);
    }
    void OnDataPastEnd(std::uint32_t record, std::uint64_t bytes) override {
      ++job->m_pastEnd;
      if (next) next->OnDataPastEnd(record, bytes);
    }
  } counting;
  counting.next = m_sink;
  counting.job = this;
  ListingSnapshot totals;
  std::uint8_t outcome =
      ListWith(m_catalogue, m_session, m_letter, m_options, counting, cancel.Flag(), totals);
  m_missing = totals.missingBytes;
  m_outcome = outcome;
}

std::uint8_t ListFolder(CSession& session, char letter, const ListingOptions& options,
                        IListingSink& sink, const std::atomic<bool>* cancel,
                        ListingSnapshot* totals) {
  ListingSnapshot local;
  ListingSnapshot& out = totals ? *totals : local;
  out = ListingSnapshot{};
  out.outcome = ListWith(session.Catalogue(), session, letter, options, sink, cancel, out);
  out.finished = true;
  return out.outcome;
}

}  // namespace sorvani
