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

  SortRanked(column, order == Qt::AscendingOrder);

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

std::vector<FileListRanks> RankEntries(const std::vector<FileListEntry>& entries) {
  const std::size_t count = entries.size();
  std::vector<FileListRanks> ranks(count);
  std::vector<int> by(count);
  for (std::size_t i = 0; i < count; ++i) by[i] = static_cast<int>(i);
  std::sort(by.begin(), by.end(), [&entries](int a, int b) {
    const FileListEntry& x = entries[a];
    const FileListEntry& y = entries[b];
    if (int c = CompareNoCase(x.name, y.name)) return c < 0;
    if (int c = x.name.compare(y.name)) return c < 0;
    if (x.record != y.record) return x.record < y.record;
    return x.deleted < y.deleted;
  });
  std::uint32_t noCase = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0 && CompareNoCase(entries[by[i - 1]].name, entries[by[i]].name) != 0) ++noCase;
    ranks[by[i]].name = static_cast<std::uint32_t>(i);
    ranks[by[i]].nameNoCase = noCase;
  }
  std::stable_sort(by.begin(), by.end(), [&entries](int a, int b) {
    return CompareNoCase(entries[a].Extension(), entries[b].Extension()) < 0;
  });
  std::uint32_t extension = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0 && CompareNoCase(entries[by[i - 1]].Extension(), entries[by[i]].Extension()) != 0)
      ++extension;
    ranks[by[i]].extension = extension;
  }
  return ranks;
}

void CFileListModel::EnsureRanks() {
  if (m_ranks.size() != m_entries.size()) m_ranks = RankEntries(m_entries);
}

void CFileListModel::SetRanks(std::vector<FileListRanks> ranks) {
  if (ranks.size() == m_entries.size()) m_ranks = std::move(ranks);
}

void CFileListModel::SortRanked(int column, bool ascending) {
  // The order of FileListLess on integers: names are compared once per fill rather than once
  // per comparison, which keeps a sort of 100,000 rows far below what a person notices.
  EnsureRanks();
  auto before = [ascending](auto x, auto y) { return ascending ? x < y : y < x; };
  std::stable_sort(m_order.begin(), m_order.end(), [&](int a, int b) {
    const FileListEntry& x = m_entries[a];
    const FileListEntry& y = m_entries[b];
    const FileListRanks& rx = m_ranks[a];
    const FileListRanks& ry = m_ranks[b];
    if (x.IsFolder() != y.IsFolder()) return x.IsFolder();
    switch (column) {
      case kColSize:
        if (!x.IsFolder() && x.size != y.size) return before(x.size, y.size);
        break;
      case kColType:
        if (!x.IsFolder() && rx.extension != ry.extension)
          return before(rx.extension, ry.extension);
        break;
      case kColCreated:
        if (x.created != y.created) return before(x.created, y.created);
        break;
      case kColModified:
        if (x.modified != y.modified) return before(x.modified, y.modified);
        break;
      default:
        if (rx.nameNoCase != ry.nameNoCase) return before(rx.nameNoCase, ry.nameNoCase);
        break;
    }
    return rx.name < ry.name;
  });
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
  m_ranks.clear();
  m_folderPath = folderPath;
  endResetModel();
}

void CFileListModel::Append(std::vector<FileListEntry> rows) {
  if (rows.empty()) return;
  const int first = static_cast<int>(m_order.size());
  const int last = first + static_cast<int>(rows.size()) - 1;
  beginInsertRows(QModelIndex(), first, last);
  m_ranks.clear();  // made again at the next sort
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
