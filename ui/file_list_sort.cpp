#include "ui/file_list_sort.h"

#include <algorithm>

#include "app/listing_job.h"
#include "foundation/name_compare.h"
#include "index/file_index.h"

namespace sorvani::ui {

void FileListEntry::SetName(std::string text) {
  name = std::move(text);
  std::size_t dot = name.rfind('.');
  extensionAt = static_cast<std::uint32_t>(dot == std::string::npos ? name.size() : dot + 1);
}

FileListEntry FileListEntry::FromRow(const CatalogueRow& row) {
  FileListEntry entry;
  entry.SetName(row.row.name);
  entry.record = row.row.record;
  entry.parent = row.row.parent;
  entry.attributes = row.row.attributes;
  entry.overwritten = row.row.overwritten;
  entry.size = row.row.size;
  entry.created = row.row.created;
  entry.modified = row.row.modified;
  entry.deleted = row.deleted;
  entry.orphan = row.orphan;
  return entry;
}

int CompareNoCase(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(FoldAsciiCase(a[i]));
    const auto y = static_cast<unsigned char>(FoldAsciiCase(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

namespace {

template <class T>
int Compare(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

int CompareByColumn(const FileListEntry& a, const FileListEntry& b, int column, bool ascending) {
  const int d = ascending ? 1 : -1;
  const bool folderA = a.IsFolder();
  const bool folderB = b.IsFolder();
  if (folderA != folderB) return folderA ? -1 : 1;
  switch (column) {
    case kColSize:
      if (folderA) return CompareNoCase(a.name, b.name);
      return Compare(a.size, b.size) * d;
    case kColType:
      if (folderA) return CompareNoCase(a.name, b.name);
      if (int c = CompareNoCase(a.Extension(), b.Extension())) return c * d;
      return CompareNoCase(a.name, b.name);
    case kColCreated:
      return Compare(a.created, b.created) * d;
    case kColModified:
      return Compare(a.modified, b.modified) * d;
    case kColName:
    default:
      return CompareNoCase(a.name, b.name) * d;
  }
}

bool FileListLess(const FileListEntry& a, const FileListEntry& b, int column, bool ascending) {
  if (int c = CompareByColumn(a, b, column, ascending)) return c < 0;
  if (int c = CompareNoCase(a.name, b.name)) return c < 0;
  if (int c = a.name.compare(b.name)) return c < 0;
  if (a.record != b.record) return a.record < b.record;
  return a.deleted < b.deleted;
}

}  // namespace sorvani::ui
