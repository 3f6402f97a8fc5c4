#include "ui/folder_fill.h"

#include <QMetaObject>
#include <mutex>

#include "app/job.h"
#include "app/session.h"
#include "foundation/log.h"
#include "ui/custom_list_view.h"
#include "ui/file_list_model.h"
#include "ui/resources.h"

namespace sorvani::ui {

// One fill's worker and the rows it has gathered for the UI thread. The worker calls the sink;
// the UI thread takes the rows in Take.
class CFillRun final : public CJob, public IListingSink {
 public:
  CFillRun(CFolderFill* owner, std::uint64_t generation, FillSource source)
      : m_owner(owner), m_generation(generation), m_source(std::move(source)) {}
  ~CFillRun() override { StopAndWait(); }

  std::uint64_t Generation() const { return m_generation; }

  // Job's thread.
  void OnRow(const CatalogueRow& row) override {
    FileListEntry entry = FileListEntry::FromRow(row);
    m_all.push_back(entry);
    {
      std::lock_guard hold(m_lock);
      if (m_folderPath.empty()) m_folderPath = row.path;
      m_rows.push_back(std::move(entry));
    }
    Notify();
  }
  void OnFolderProblem(const std::string& path, bool /*listed*/,
                       std::uint64_t /*blocks*/) override {
    std::lock_guard hold(m_lock);
    m_problems.push_back(path);
  }

  // UI thread: the rows gathered since the last call; `done` once the worker has ended and
  // these are its last rows.
  std::vector<FileListEntry> Take(bool& done, FolderFillResult& result) {
    // Cleared before the rows are taken: a row added after this posts a new call.
    m_pending.store(false);
    std::vector<FileListEntry> rows;
    std::lock_guard hold(m_lock);
    rows.swap(m_rows);
    done = m_done;
    if (result.folderPath.empty()) result.folderPath = m_folderPath;
    for (std::string& path : m_problems) result.unlistedFolders.push_back(std::move(path));
    m_problems.clear();
    if (m_done) result.outcome = m_outcome;
    return rows;
  }
  // UI thread, once Take said done: the ranks of every row in the order delivered.
  std::vector<FileListRanks> TakeRanks() {
    std::lock_guard hold(m_lock);
    return std::move(m_ranks);
  }

 protected:
  void Run(const CCancelToken& cancel) override {
    std::uint8_t outcome =
        m_source ? m_source(*this, cancel.Flag()) : std::uint8_t{kListingUnreadable};
    // The sort's string work, done here rather than on the UI thread.
    std::vector<FileListRanks> ranks;
    if (!cancel.Cancelled()) ranks = RankEntries(m_all);
    m_all = {};
    {
      std::lock_guard hold(m_lock);
      m_done = true;
      m_outcome = outcome;
      m_ranks = std::move(ranks);
    }
    Notify();
  }

 private:
  // One queued call at a time, however many rows arrive before the UI thread takes them.
  void Notify() {
    if (m_pending.exchange(true)) return;
    CFolderFill* owner = m_owner;
    const std::uint64_t generation = m_generation;
    QMetaObject::invokeMethod(
        owner, [owner, generation] { owner->Drain(generation); }, Qt::QueuedConnection);
  }

  CFolderFill* const m_owner;
  const std::uint64_t m_generation;
  const FillSource m_source;
  std::atomic<bool> m_pending{false};
  std::mutex m_lock;
  std::vector<FileListEntry> m_rows;
  std::vector<FileListEntry> m_all;  // every row delivered; the worker's own
  std::vector<FileListRanks> m_ranks;
  std::vector<std::string> m_problems;
  std::string m_folderPath;
  bool m_done = false;
  std::uint8_t m_outcome = kListingRunning;
};

CFolderFill::CFolderFill(CFileListModel* model, CCustomListView* view, QObject* parent)
    : QObject(parent), m_model(model), m_view(view) {}

CFolderFill::~CFolderFill() {
  // Workers first: they post to this object until they end.
  if (m_current) m_current->Cancel();
  for (auto& run : m_retired) run->Cancel();
  m_current.reset();
  m_retired.clear();
}

QString CFolderFill::BusyText() { return QStringLiteral("Processing Request..."); }
QString CFolderFill::IdleText() { return ResString(kIdsListEmpty); }

void CFolderFill::Fill(CSession& session, char letter, const std::string& folder,
                       bool deletedOnly) {
  ListingOptions options;
  options.path = folder;
  options.deletedOnly = deletedOnly;
  CSession* from = &session;
  FillFrom(QString::fromStdString(folder),
           [from, letter, options](IListingSink& sink, const std::atomic<bool>* cancel) {
             return ListFolder(*from, letter, options, sink, cancel);
           });
}

void CFolderFill::FillFrom(const QString& folder, FillSource source) {
  Cancel();
  m_building = FolderFillResult{};
  m_model->Clear(folder);
  if (m_view) {
    m_view->SetEmptyText(BusyText());
    m_view->viewport()->setCursor(Qt::BusyCursor);
  }
  m_current = std::make_unique<CFillRun>(this, ++m_generation, std::move(source));
  if (!m_current->Start()) {
    // No thread: nothing is listed, and the view says so as after any fill.
    m_current.reset();
    m_building.outcome = kListingUnreadable;
    m_result = m_building;
    ShowIdle();
    emit fillFinished(m_result.flags);
  }
}

void CFolderFill::Cancel() {
  if (!m_current) return;
  m_current->Cancel();
  if (m_current->Finished())
    m_current.reset();
  else
    m_retired.push_back(std::move(m_current));  // dropped once its worker has ended
  ShowIdle();
}

void CFolderFill::ShowIdle() {
  if (!m_view) return;
  m_view->SetEmptyText(IdleText());
  m_view->viewport()->unsetCursor();
}

void CFolderFill::Drain(std::uint64_t generation) {
  if (!m_current || m_current->Generation() != generation) {
    // A cancelled fill: its rows are dropped, and it goes once its worker has ended.
    for (auto it = m_retired.begin(); it != m_retired.end(); ++it) {
      if ((*it)->Generation() != generation) continue;
      bool done = false;
      FolderFillResult ignored;
      (*it)->Take(done, ignored);
      if (done) m_retired.erase(it);
      break;
    }
    return;
  }
  bool done = false;
  std::vector<FileListEntry> rows = m_current->Take(done, m_building);
  for (const FileListEntry& row : rows) {
    if (!row.deleted) continue;
    m_building.flags |= kFillHasDeleted;
    if (row.overwritten > 0) m_building.flags |= kFillHasOverwritten;
  }
  m_building.rows += rows.size();
  m_model->Append(std::move(rows));
  if (done) Finish();
}

void CFolderFill::Finish() {
  m_model->SetRanks(m_current->TakeRanks());
  m_current.reset();  // its worker has returned from the listing; the join is immediate
  for (const std::string& path : m_building.unlistedFolders)
    LogFile.Write(1, "FindFirstFile failed for '%s'\n", path.c_str());
  m_result = m_building;
  m_model->sort(m_model->SortColumn(), m_model->SortOrder());
  ShowIdle();
  emit fillFinished(m_result.flags);
}

}  // namespace sorvani::ui
