// Fills the file list with one folder's items on a worker: rows go to the UI thread in batches
// through one pending queued call at a time, the list is sorted once they are all in, and a new
// fill cancels the one still running (its late rows are dropped).
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "app/listing_job.h"

namespace sorvani {
class CSession;
}

namespace sorvani::ui {

class CCustomListView;
class CFileListModel;
class CFillRun;

// What a finished fill found, for the view's hints.
enum : unsigned {
  kFillHasDeleted = 1,      // the folder holds deleted entries
  kFillHasOverwritten = 2,  // one of them is (partly) overwritten
};

struct FolderFillResult {
  unsigned flags = 0;                      // kFill...
  std::uint8_t outcome = kListingRunning;  // kListing...
  std::uint64_t rows = 0;
  std::string folderPath;  // as the listing spells it, "C:\a\b\"; empty when no row
  std::vector<std::string> unlistedFolders;  // existing folders whose items could not be read
};

// Delivers one folder's rows on the fill's worker, stopping soon after `cancel` is set; returns
// how it ended (kListing...).
using FillSource = std::function<std::uint8_t(IListingSink& sink, const std::atomic<bool>* cancel)>;

class CFolderFill : public QObject {
  Q_OBJECT

 public:
  // `view` (optional) shows "Processing Request..." and a busy cursor while a fill runs.
  explicit CFolderFill(CFileListModel* model, CCustomListView* view = nullptr,
                       QObject* parent = nullptr);
  ~CFolderFill() override;

  // Lists `folder` (any path form of the listing; empty for the root) of drive `letter`, with
  // the deleted items of the session's catalogue. The session must outlive the fill.
  void Fill(CSession& session, char letter, const std::string& folder, bool deletedOnly);
  // The same over any source of rows (tests, other listings).
  void FillFrom(const QString& folder, FillSource source);
  // Stops the running fill; the rows already shown stay. No fillFinished for it.
  void Cancel();
  bool Filling() const { return m_current != nullptr; }
  // The last finished fill.
  const FolderFillResult& Result() const { return m_result; }

  // The texts of the view's empty list.
  static QString BusyText();
  static QString IdleText();

 signals:
  // The list holds the whole folder, sorted; `flags` are kFill....
  void fillFinished(unsigned flags);

 private:
  friend class CFillRun;
  void Drain(std::uint64_t generation);
  void Finish();
  void ShowIdle();

  CFileListModel* m_model;
  CCustomListView* m_view;
  std::unique_ptr<CFillRun> m_current;
  std::list<std::unique_ptr<CFillRun>> m_retired;  // cancelled, worker still ending
  std::uint64_t m_generation = 0;
  FolderFillResult m_result;
  FolderFillResult m_building;
};

}  // namespace sorvani::ui
