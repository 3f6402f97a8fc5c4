// The file list of the browse view: the existing and deleted items of one folder as a table of
// five columns over plain rows, ordered through a permutation so sorting moves integers only.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <string_view>
#include <vector>

#include "ui/file_list_sort.h"
#include "ui/file_types.h"

class QHeaderView;

namespace sorvani::ui {

// An entry's place among all the list's names (no case, then exact, record and state) and
// among its extensions: every column's order ends in the names', so a sort on these compares
// integers where it would compare strings.
struct FileListRanks {
  std::uint32_t name = 0;
  std::uint32_t nameNoCase = 0;  // equal for names that differ only in case
  std::uint32_t extension = 0;   // equal for extensions that differ only in case
};
// One per entry, in the entries' order. Any thread.
std::vector<FileListRanks> RankEntries(const std::vector<FileListEntry>& entries);

// "Name: ...\nType: ...": the tooltip of a list item before it is made rich text.
QString FileListToolTipText(const FileListEntry& entry, const QString& typeText);

class CFileListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Role : int {
    kDeletedRole = Qt::UserRole + 1,  // bool
    kRecordRole,                      // record number
    kFolderRole,                      // bool
  };

  explicit CFileListModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  // A column's header text (display or edit role), in place of the resource text it starts with.
  bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                     int role = Qt::EditRole) override;
  // Orders the rows by `column`; selections and other persistent indexes follow their rows.
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

  // Empties the list for `folderPath` (kept for the owner; shown nowhere).
  void Clear(const QString& folderPath = QString());
  // Adds rows at the end, unsorted (the fill sorts once it is complete).
  void Append(std::vector<FileListEntry> rows);

  // The row shown at `row` (0 <= row < rowCount()).
  const FileListEntry& Entry(int row) const { return m_entries[m_order[row]]; }
  // The shown row of the item with `record` and `name` (no case); -1 when absent.
  int FindRow(std::uint32_t record, std::string_view name) const;
  const QString& FolderPath() const { return m_folderPath; }

  int SortColumn() const { return m_sortColumn; }
  Qt::SortOrder SortOrder() const { return m_sortOrder; }
  // Ranks made elsewhere (the fill's worker) for the rows as appended; ignored unless there is
  // one per row. Without them the first sort makes them.
  void SetRanks(std::vector<FileListRanks> ranks);
  // The order to keep, without sorting now (a fill sorts at its end).
  void SetSortOrder(int column, Qt::SortOrder order);
  // Lets `header` sort the list: a click on the sorting column reverses it, a click on another
  // sorts that one ascending, and the arrow shows the current order.
  void AttachHeader(QHeaderView* header);

  QString TypeText(const FileListEntry& entry) const { return m_types.TypeText(entry); }

 private:
  void EnsureRanks();
  void SortRanked(int column, bool ascending);

  std::vector<FileListEntry> m_entries;
  std::vector<FileListRanks> m_ranks;  // per entry; empty until a sort needs them
  std::vector<int> m_order;            // shown row -> index in m_entries
  QString m_folderPath;
  QString m_headerTexts[kFileListColumns];  // set ones replace the resource texts
  int m_sortColumn = kColName;
  Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
  mutable CFileTypeCache m_types;
};

}  // namespace sorvani::ui
