// The properties of one file or folder, existing or deleted: name, type, place, size, times,
// attributes and the overwritten share. A folder's size is the total below it, summed on a
// worker and shown growing; closing the dialog stops that worker and waits for it.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>

#include "app/session.h"
#include "index/folder_model.h"

class QLabel;
class QTimer;

namespace sorvani::ui {

// The one entry the dialog shows, as the list or the tree holds it.
struct PropEntry {
  QIcon icon;
  std::string name;
  std::string folderPath;  // the folder holding it, "X:\a\"
  std::uint32_t attributes = 0;
  std::uint64_t size = 0;
  std::uint64_t created = 0;  // NTFS file times, 0 when unknown
  std::uint64_t modified = 0;
  std::int32_t overwritten = 0;  // per cent
  std::uint32_t record = 0;      // catalogue record; 0 for an existing item
  bool orphan = false;           // an "_OrphanFolder_N" folder
  std::uint32_t liveRecord = 0;  // an existing folder's record when known (0: by its path)
  char drive = 0;
  bool IsFolder() const;
  // The folder to sum: its path below `folderPath`, existing, deleted or orphan.
  FolderNode Folder() const;
};

// The texts of the fields, apart from any window.
struct PropTexts {
  QString name;
  QString type;
  QString location;
  QString size;  // "" for a folder until its total is known
  QString created;
  QString modified;
  QString attributes;
  QString overwritten;  // "" at 0 %
};
PropTexts MakePropTexts(const PropEntry& entry);
// "2 KB (1536 bytes)".
QString PropSizeText(std::uint64_t bytes);

// The folder total's worker as the dialog drives it; the job owns its thread.
class IFolderTotal {
 public:
  virtual ~IFolderTotal() = default;
  virtual bool Start() = 0;
  virtual void Cancel() = 0;
  virtual void Wait() = 0;  // returns once the worker has ended
  virtual bool Finished() const = 0;
  virtual std::uint64_t Bytes() const = 0;  // the running total, any thread
};
// Over the application's folder-size job on `session`'s published catalogue.
std::unique_ptr<IFolderTotal> MakeFolderTotal(CSession& session, char letter, FolderNode folder);

class CPropDlg : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kTotalTickMs = 300;

  // For a folder `total` is started at once (nullptr: no total shown). Files ignore it.
  CPropDlg(const PropEntry& entry, std::unique_ptr<IFolderTotal> total, QWidget* parent = nullptr);
  // The usual form: a folder is summed through `session`.
  CPropDlg(CSession& session, const PropEntry& entry, QWidget* parent = nullptr);
  ~CPropDlg() override;

  const PropTexts& Texts() const { return m_texts; }
  QString SizeShown() const;
  bool Summing() const { return m_total && !m_total->Finished(); }

  // OK, Cancel and the close button all end here: the worker stops before the dialog goes.
  void done(int result) override;

 private:
  void OnInitDialog();
  void ShowTotal();
  void StopTotal();

  PropEntry m_entry;
  PropTexts m_texts;
  std::unique_ptr<IFolderTotal> m_total;
  QTimer* m_timer = nullptr;
  QLabel* m_size = nullptr;
};

}  // namespace sorvani::ui
