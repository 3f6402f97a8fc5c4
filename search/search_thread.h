// The search of deleted items by name, size and date over the catalogue, and the folder
// chain that lets a view open the folder of a hit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "index/file_index.h"
#include "index/record_reader.h"

namespace sorvani {

enum : std::int32_t { kNameModeContains = 1, kNameModeEquals = 0 };
enum : std::int32_t { kDateKindCreated = 0, kDateKindModified = 1 };

// What to look for. Written by the search starter before the thread starts; `stop` is
// written by whoever stops it, both sides under index_lock.
struct SearchCriteria {
  bool nameOn = false;
  std::string name;
  std::int32_t nameMode = kNameModeContains;  // 1: contains (a pattern); else: equals
  bool sizeOn = false;
  std::uint32_t minimum = 0;  // KB
  std::uint32_t maximum = 0;  // KB
  bool dateOn = false;
  std::int32_t dateKind = kDateKindCreated;  // 0: created; else: modified
  std::int64_t from = 0;  // local calendar seconds (mktime)
  std::int64_t to = 0;
  std::int32_t stop = 0;
};

// Where the hits go in place of the search tab's list: one call per list item, and one when
// the search has ended (for whatever reason).
class ISearchSink {
 public:
  virtual ~ISearchSink() = default;
  virtual void OnRow(std::size_t position, const FileListRow& row) = 0;
  virtual void OnFinished() = 0;
};

extern SearchCriteria search_criteria;
extern std::vector<FileListRow> search_results;  // guarded by index_lock
extern char search_drive;

// The sink of SearchThread (not owned; nullptr for none).
void SetSearchSink(ISearchSink* sink);
// Thread procedure: searches the catalogue of drive `driveLetter` with search_criteria.
void SearchThread(char driveLetter);

// The search proper, over any index and reader; rows are appended to `results`.
void RunSearch(const CFileIndex& index, IRecordReader& reader, SearchCriteria& criteria,
               std::vector<FileListRow>& results, ISearchSink* sink);

// A file time (UTC) as local calendar seconds, the way the date bounds are given.
std::int64_t FileTimeToLocalCalendar(std::uint64_t fileTime);
// "YYYY-MM-DD[THH:MM[:SS]]" in local time to calendar seconds (mktime); a year before 1900
// gives 0. False when the text is not such a date.
bool ParseLocalDate(const std::string& text, std::int64_t& seconds);

// What the main window needs to open the folder of a hit: the folder's path, one chain
// element per level below the root ("0;" an existing folder, "N;" a deleted or orphan folder
// of record N) and the name to select.
struct RevealTarget {
  std::string folder;
  std::string chain;
  std::string name;
};

bool RevealInFolder(const FileListRow& row, const CFileIndex& index, IRecordReader& reader,
                    RevealTarget& out);
// On the process-wide index and the reader of the search drive.
bool RevealInFolder(const FileListRow& row, RevealTarget& out);

}  // namespace sorvani
