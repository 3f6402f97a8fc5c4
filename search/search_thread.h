// The search of deleted items by name, size and date over the catalogue, and the folder
// chain that lets a view open the folder of a hit.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "index/file_index.h"
#include "index/record_reader.h"

namespace sorvani {

enum : std::int32_t { kNameModeContains = 1, kNameModeEquals = 0 };
enum : std::int32_t { kDateKindCreated = 0, kDateKindModified = 1 };

// What to look for. Written by the search starter before the worker starts, read-only after.
struct SearchCriteria {
  bool nameOn = false;
  std::string name;
  std::int32_t nameMode = kNameModeContains;  // 1: contains (a pattern); else: equals
  bool sizeOn = false;
  std::uint32_t minimum = 0;  // KB
  std::uint32_t maximum = 0;  // KB
  bool dateOn = false;
  std::int32_t dateKind = kDateKindCreated;  // 0: created; else: modified
  std::int64_t from = 0;                     // local calendar seconds (mktime)
  std::int64_t to = 0;
};

// Where the hits go in place of the search tab's list: one call per list item, and one when
// the search has ended (for whatever reason). Called on the searching thread; `row` is valid
// during the call only.
class ISearchSink {
 public:
  virtual ~ISearchSink() = default;
  virtual void OnRow(std::size_t position, const FileListRow& row) = 0;
  virtual void OnFinished() = 0;
};

// The search proper, over any index and reader (the reader belongs to the calling thread);
// rows are appended to `results`. It ends early once `stop` (may be null) is set.
void RunSearch(const CFileIndex& index, IRecordReader& reader, const SearchCriteria& criteria,
               std::vector<FileListRow>& results, ISearchSink* sink,
               const std::atomic<bool>* stop = nullptr);

// A file time (UTC) as local calendar seconds, the way the date bounds are given.
std::int64_t FileTimeToLocalCalendar(std::uint64_t fileTime);
// "YYYY-MM-DD[THH:MM[:SS]]" in local time to calendar seconds (mktime); a year before 1900
// gives 0. False when the text is not such a date.
bool ParseLocalDate(const std::string& text, std::int64_t& seconds);

// One level of the way from the root down to the folder of a hit: its name and record, and
// whether it is an existing folder or a deleted (or orphan) one. A view opens the level whose
// name AND record match, so a live and a deleted folder of the same name are told apart.
struct RevealStep {
  std::string name;
  std::uint32_t record = 0;
  bool deleted = false;
  bool orphan = false;
};

// What the main window needs to open the folder of a hit: the folder's path, one chain
// element per level below the root ("0;" an existing folder, "N;" a deleted or orphan folder
// of record N), the same levels with names and records, and the name to select.
struct RevealTarget {
  std::string folder;
  std::string chain;
  std::vector<RevealStep> steps;
  std::string name;
};

// Not thread-safe in `reader`: the caller's own reader.
bool RevealInFolder(const FileListRow& row, const CFileIndex& index, IRecordReader& reader,
                    RevealTarget& out);

}  // namespace sorvani
