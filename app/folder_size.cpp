#include "app/folder_size.h"

#include <set>
#include <utility>
#include <vector>

#include "index/ntfs_record_reader.h"
#include "ntfs/ntfs_volume.h"

namespace sorvani {

bool SumFolder(CFolderModel& model, const FolderNode& folder, FolderSizeTotals& totals,
               const std::atomic<bool>* cancel) {
  auto cancelled = [cancel] { return cancel && cancel->load(std::memory_order_relaxed); };
  std::vector<FolderNode> stack{folder};
  std::set<std::pair<int, std::uint32_t>> entered{{static_cast<int>(folder.kind), folder.record}};
  std::vector<FolderItem> items;
  const bool deletedOnly = model.DeletedOnly();
  model.SetDeletedOnly(false);
  bool complete = true;
  while (!stack.empty() && complete) {
    FolderNode current = std::move(stack.back());
    stack.pop_back();
    totals.folders.fetch_add(1, std::memory_order_relaxed);
    model.List(current, items);
    for (const FolderItem& item : items) {
      if (cancelled()) {
        complete = false;
        break;
      }
      if (!item.IsFolder()) {
        totals.bytes.fetch_add(item.row.size, std::memory_order_relaxed);
        totals.files.fetch_add(1, std::memory_order_relaxed);
        continue;
      }
      FolderNode below = model.Enter(current, item);
      // A folder met again (a loop of deleted parents, a live folder listed twice) adds nothing.
      if (below.record != 0 && entered.insert({static_cast<int>(below.kind), below.record}).second)
        stack.push_back(std::move(below));
    }
  }
  model.SetDeletedOnly(deletedOnly);
  return complete && !cancelled();
}

CFolderSizeJob::CFolderSizeJob(CSession& session, char letter, FolderNode folder)
    : m_session(session),
      m_letter(letter),
      m_folder(std::move(folder)),
      m_catalogue(session.Catalogue()) {}

CFolderSizeJob::~CFolderSizeJob() { StopAndWait(); }

FolderSizeSnapshot CFolderSizeJob::Snapshot() const {
  FolderSizeSnapshot out;
  out.finished = Finished();
  out.complete = m_complete.load();
  out.bytes = m_totals.bytes.load();
  out.files = m_totals.files.load();
  out.folders = m_totals.folders.load();
  return out;
}

void CFolderSizeJob::Run(const CCancelToken& cancel) {
  std::unique_ptr<CNtfsVolume> volume = m_session.NewReader(m_letter);
  if (!volume) return;
  static const CFileIndex kEmpty;
  const CFileIndex& index =
      m_catalogue.drive == m_letter && m_catalogue.index ? *m_catalogue.index : kEmpty;
  CNtfsRecordReader reader(volume.get(), &index);
  CNtfsIndexLister live(volume.get());
  CFolderModel model(m_letter, index, reader, live);
  m_complete = SumFolder(model, m_folder, m_totals, cancel.Flag());
}

}  // namespace sorvani
