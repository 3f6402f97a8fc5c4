// The rows of the file list and their order: folders first, then the sorting column's key, and
// every tie settled by name and record so any two different rows have one fixed order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ntfs/ntfs_constants.h"

namespace sorvani {
struct CatalogueRow;
}

namespace sorvani::ui {

// One item of a folder as the file list keeps it: plain values, made on the listing worker.
struct FileListEntry {
  std::string name;
  std::uint32_t record = 0;
  std::uint32_t parent = 0;
  std::uint32_t attributes = 0;
  std::int32_t overwritten = 0;  // per cent of a deleted file's clusters in use again
  std::uint64_t size = 0;
  std::uint64_t created = 0;  // file times; 0 when unknown
  std::uint64_t modified = 0;
  std::uint32_t extensionAt = 0;  // where the text after the last full stop starts
  bool deleted = false;
  bool orphan = false;

  // Inline: every comparison of a sort asks it twice.
  bool IsFolder() const { return (attributes & kFileAttrDirectory) != 0; }
  // The text after the last full stop; empty when the name has none.
  std::string_view Extension() const { return std::string_view(name).substr(extensionAt); }

  // Sets `name` and the extension's place together.
  void SetName(std::string text);
  static FileListEntry FromRow(const CatalogueRow& row);
};

// Columns of the file list.
enum FileListColumn : int {
  kColName = 0,
  kColSize = 1,
  kColType = 2,
  kColCreated = 3,
  kColModified = 4,
  kFileListColumns = 5,
};

// Names compared with ASCII letters folded: <0, 0, >0.
int CompareNoCase(std::string_view a, std::string_view b);

// The sorting key of `column` alone, `ascending` or not, as the list orders it: folders before
// files in both directions; two folders by name ascending in the size and type columns; equal
// extensions by name ascending. 0 when the keys are equal (no tie settled).
int CompareByColumn(const FileListEntry& a, const FileListEntry& b, int column, bool ascending);

// A strict weak ordering (in fact total over rows that differ in name, record or deleted
// state): CompareByColumn, then the names without and with case, the record and the deleted
// flag, all ascending. Equal keys never answer "less" both ways.
bool FileListLess(const FileListEntry& a, const FileListEntry& b, int column, bool ascending);

}  // namespace sorvani::ui
