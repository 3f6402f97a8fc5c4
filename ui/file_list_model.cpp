#include "ui/file_list_model.h"

#include <QHeaderView>
#include <algorithm>

#include "foundation/display_format.h"
#include "foundation/name_compare.h"
#include "ui/resources.h"
#include "ui/tooltip_style.h"

namespace sorvani::ui {

namespace {

constexpr const char* kTimePattern = "%x %X";
constexpr unsigned kHeaderTexts[kFileListColumns] = {kIdsColumnName, kIdsColumnSize, kIdsColumnType,
                                                     kIdsColumnCreated, kIdsColumnModified};

QString Text(const std::string& text) { return QString::fromStdString(text); }

QString TimeText(std::uint64_t fileTime) { return Text(FormatFileTime(fileTime, kTimePattern)); }

}  // namespace

QString FileListToolTipText(const FileListEntry& entry, const QString& typeText) {
  QString text = QStringLiteral("Name: ") + Text(entry.name);
  if (entry.IsFolder()) {
    text += QStringLiteral("\nType: File Folder");
  } else {
    if (entry.overwritten > 0) text += QStringLiteral("\nOverwritten: %1%").arg(entry.overwritten);
    text += QStringLiteral("\nType: ") + typeText;
    text += QStringLiteral("\nSize: ") + Text(FormatSize(entry.size, false));
  }
  const std::string attributes = FormatAttributes(entry.attributes);
  if (!attributes.empty()) text += QStringLiteral("\nAttributes: ") + Text(attributes);
  const QString created = TimeText(entry.created);
  if (!created.isEmpty()) text += QStringLiteral("\nDate Created: ") + created;
  const QString modified = TimeText(entry.modified);
  if (!modified.isEmpty()) text += QStringLiteral("\nDate Modified: ") + modified;
  return text;
}

CFileListModel::CFileListModel(QObject* parent) : QAbstractTableModel(parent) {}

int CFileListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_order.size());
}

int CFileListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kFileListColumns;
}

QVariant CFileListModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
    return {};
  const FileListEntry& entry = Entry(index.row());
  switch (role) {
    case Qt::DisplayRole:
      switch (index.column()) {
        case kColName:
          return Text(entry.name);
        case kColSize:
          return entry.IsFolder() ? QString() : Text(FormatSize(entry.size, false));
        case kColType:
          return m_types.TypeText(entry);
        case kColCreated:
          return TimeText(entry.created);
        case kColModified:
          return TimeText(entry.modified);
      }
      return {};
    case Qt::DecorationRole:
      if (index.column() == kColName) return m_types.Icon(entry);
      return {};
    case Qt::ToolTipRole:
      return RichToolTipText(FileListToolTipText(entry, m_types.TypeText(entry)));
    case Qt::TextAlignmentRole:
      if (index.column() == kColSize) return int(Qt::AlignRight | Qt::AlignVCenter);
      return int(Qt::AlignLeft | Qt::AlignVCenter);
    case kDeletedRole:
      return entry.deleted;
    case kRecordRole:
      return entry.record;
    case kFolderRole:
      return entry.IsFolder();
  }
  return {};
}

QVariant CFileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kFileListColumns) return {};
  switch (role) {
    case Qt::DisplayRole:
      return m_headerTexts[section].isEmpty() ? ResString(kHeaderTexts[section])
                                              : m_headerTexts[section];
    case Qt::TextAlignmentRole:
      return int((section == kColSize ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    case Qt::InitialSortOrderRole:
      // Another column's first click sorts ascending.
      return int(Qt::AscendingOrder);
  }
  return {};
}

bool CFileListModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                                   int role) {
  if (orientation != Qt::Horizontal || section < 0 || section >= kFileListColumns) return false;
  if (role != Qt::DisplayRole && role != Qt::EditRole) return false;
  m_headerTexts[section] = value.toString();
  emit headerDataChanged(orientation, section, section);
  return true;
}

void CFileListModel::sort(int column, Qt::SortOrder order) {
  if (column < 0 || column >= kFileListColumns) return;
  m_sortColumn = column;
  m_sortOrder = order;
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  const QModelIndexList before = persistentIndexList();
  std::vector<int> entryOf;
  entryOf.reserve(static_cast<std::size_t>(before.size()));
  for (const QModelIndex& index : before) entryOf.push_back(m_order[index.row()]);

  const bool ascending = order == Qt::AscendingOrder;
  std::stable_sort(m_order.begin(), m_order.end(), [this, column, ascending](int a, int b) {
    return FileListLess(m_entries[a], m_entries[b], column, ascending);
  });

  if (!before.isEmpty()) {
    std::vector<int> rowOf(m_entries.size());
    for (std::size_t row = 0; row < m_order.size(); ++row)
      rowOf[m_order[row]] = static_cast<int>(row);
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i)
      after.push_back(index(rowOf[entryOf[i]], before[i].column()));
    changePersistentIndexList(before, after);
  }
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void CFileListModel::SetSortOrder(int column, Qt::SortOrder order) {
  if (column < 0 || column >= kFileListColumns) return;
  m_sortColumn = column;
  m_sortOrder = order;
}

void CFileListModel::AttachHeader(QHeaderView* header) {
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(true);
  header->setSortIndicator(m_sortColumn, m_sortOrder);
  // The header turns the arrow itself (same column reverses, another starts ascending through
  // InitialSortOrderRole); the model follows the arrow.
  connect(header, &QHeaderView::sortIndicatorChanged, this, &CFileListModel::sort);
}

void CFileListModel::Clear(const QString& folderPath) {
  beginResetModel();
  m_entries.clear();
  m_order.clear();
  m_folderPath = folderPath;
  endResetModel();
}

void CFileListModel::Append(std::vector<FileListEntry> rows) {
  if (rows.empty()) return;
  const int first = static_cast<int>(m_order.size());
  const int last = first + static_cast<int>(rows.size()) - 1;
  beginInsertRows(QModelIndex(), first, last);
  m_entries.reserve(m_entries.size() + rows.size());
  for (FileListEntry& row : rows) {
    m_order.push_back(static_cast<int>(m_entries.size()));
    m_entries.push_back(std::move(row));
  }
  endInsertRows();
}

int CFileListModel::FindRow(std::uint32_t record, std::string_view name) const {
  for (std::size_t row = 0; row < m_order.size(); ++row) {
    const FileListEntry& entry = m_entries[m_order[row]];
    if (entry.record == record && SameTextNoCase(entry.name, name)) return static_cast<int>(row);
  }
  return -1;
}

}  // namespace sorvani::ui
