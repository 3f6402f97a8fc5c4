#include "search/search_thread.h"

#include <cstdio>
#include <ctime>
#include <mutex>
#include <set>

#include "foundation/file_time.h"
#include "foundation/log.h"
#include "index/ntfs_record_reader.h"
#include "lib/fpattern/fpattern.h"

namespace sorvani {

namespace {

constexpr std::uint32_t kStopTestInterval = 64;

bool Stopped(const std::atomic<bool>* stop) {
  return stop && stop->load(std::memory_order_relaxed);
}

}  // namespace

std::int64_t FileTimeToLocalCalendar(std::uint64_t fileTime) {
  std::int64_t seconds = FileTimeToUnixSeconds(fileTime);
  auto t = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (!localtime_r(&t, &local)) return seconds;
  local.tm_isdst = -1;
  std::time_t back = std::mktime(&local);
  return back == static_cast<std::time_t>(-1) ? seconds : static_cast<std::int64_t>(back);
}

bool ParseLocalDate(const std::string& text, std::int64_t& seconds) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  char tail = 0;
  int n = std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &year, &month, &day, &hour,
                      &minute, &second, &tail);
  bool shapeOk = (n == 3 && text.size() == 10) || (n == 5 && text.size() == 16) ||
                 (n == 6 && text.size() == 19);
  if (!shapeOk || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
      second > 60 || hour < 0 || minute < 0 || second < 0)
    return false;
  if (year < 1900) {
    seconds = 0;
    return true;
  }
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  std::time_t t = std::mktime(&local);
  if (t == static_cast<std::time_t>(-1) && year != 1969) return false;
  seconds = static_cast<std::int64_t>(t);
  return true;
}

void RunSearch(const CFileIndex& index, IRecordReader& reader, const SearchCriteria& criteria,
               std::vector<FileListRow>& results, ISearchSink* sink,
               const std::atomic<bool>* stop) {
  // The folder-name map is emptied when the catalogue is built, not before each search: the
  // rows show the volume as it was indexed (their facts come from then too), and every search
  // after the first finds the folders above its hits already named.
  const std::string pattern = "*" + criteria.name + "*";
  // Most searches are plain text: a straight scan answers them as the matcher would.
  const bool plain = !criteria.name.empty() && IsPlainPatternText(criteria.name);
  std::uint32_t registeredParent = kIndexRootRecord;  // registering it again would do nothing
  const std::uint64_t minimum = std::uint64_t{criteria.minimum} * 1024;
  const std::uint64_t maximum = std::uint64_t{criteria.maximum} * 1024;
  RecordDetails details;

  std::uint32_t sinceTest = kStopTestInterval - 1;  // the first entry is tested
  index.ForEachEntry([&](const FileIndexEntry& entry) {
    const std::uint32_t record = entry.record;
    // The stop flag is tested every few entries and after every hit.
    if (++sinceTest == kStopTestInterval) {
      sinceTest = 0;
      if (Stopped(stop)) return false;
    }
    if (criteria.nameOn) {
      bool match;
      if (criteria.nameMode == kNameModeContains) {
        match = plain ? MatchContains(criteria.name, entry.name)
                      : MatchPattern(pattern.c_str(), entry.name.c_str());
      } else {
        match = reader.SameNameNoCase(criteria.name, entry.name);
      }
      if (!match) return true;
    }
    const EntryFacts* facts = index.FindFacts(record);
    if (facts) {
      details.size = facts->size;
      details.created = facts->created;
      details.modified = facts->modified;
      details.parent = facts->parent;
    } else {
      if (!reader.LoadDetails(record, false, details)) return true;
      if (details.name.empty()) {
        // A record without a name names no folder: the catalogue's entry says where it is
        // (the nameless folder, or the folder whose index named it again).
        details.parent = entry.parent;
      } else if (std::string_view(details.name) != std::string_view(entry.name)) {
        LogFile.WriteAlways("Wrong name of file #%lu.\n", static_cast<unsigned long>(record));
        reader.DumpLoaded();
      }
    }
    if (criteria.sizeOn && (details.size < minimum || details.size > maximum)) return true;
    if (criteria.dateOn) {
      std::uint64_t stamp =
          criteria.dateKind == kDateKindCreated ? details.created : details.modified;
      std::int64_t local = FileTimeToLocalCalendar(stamp);
      if (local < criteria.from || local > criteria.to) return true;
    }

    sinceTest = kStopTestInterval - 1;  // a hit is followed by a test (the sink may have stopped)
    FileListRow row;
    row.record = record;
    row.parent = details.parent;
    row.name.assign(entry.name);
    row.attributes = entry.attributes;
    row.icon = entry.IsFolder() ? kIconFolder : kIconFile;
    row.size = details.size;
    row.created = details.created;
    row.modified = details.modified;
    if (details.parent != registeredParent) {
      reader.RegisterParentFolders(details.parent);
      registeredParent = details.parent;
    }
    if (!entry.IsFolder())
      row.overwritten = facts ? facts->overwritten : reader.LoadedOverwritten();
    results.push_back(std::move(row));
    const std::size_t position = results.size() - 1;
    if (Stopped(stop)) return false;
    if (sink) sink->OnRow(position, results[position]);
    return true;
  });
  if (sink) sink->OnFinished();
}

bool RevealInFolder(const FileListRow& row, const CFileIndex& index, IRecordReader& reader,
                    RevealTarget& out) {
  out = RevealTarget{};
  out.name = row.name;
  reader.RegisterParentFolders(row.parent);
  out.folder = reader.FolderPath(row.parent);
  std::string chain;
  std::vector<RevealStep> steps;  // from the folder up
  std::set<std::uint32_t> seen;
  RecordNames names;
  for (std::uint32_t current = row.parent; current != kIndexRootRecord;) {
    if (current == kNamelessFolderRecord && index.IsOrphanFolder(current)) {
      chain.insert(0, std::to_string(current) + ";");
      steps.push_back({"_OrphanFolder_" + std::to_string(current), current, true, true});
      break;
    }
    // A chain that comes back on itself cannot be opened level by level.
    if (!seen.insert(current).second || !reader.LoadNames(current, names)) {
      LogFile.WriteAlways("Error determening containing folder for file #%lu\n",
                          static_cast<unsigned long>(current));
      return false;
    }
    bool orphan = index.IsOrphanFolder(current);
    char element[16];
    if (!names.inUse || orphan)
      std::snprintf(element, sizeof element, "%lu;", static_cast<unsigned long>(current));
    else
      std::snprintf(element, sizeof element, "0;");
    chain.insert(0, element);
    if (orphan) {
      steps.push_back({"_OrphanFolder_" + std::to_string(current), current, true, true});
      break;
    }
    // A deleted folder's name is the catalogue's (it may have been named again there).
    const FileIndexEntry* entry = index.FindEntry(current);
    steps.push_back({entry ? std::string(entry->name) : names.name, current, !names.inUse, false});
    current = entry ? entry->parent : names.parent;
  }
  out.chain = std::move(chain);
  out.steps.assign(steps.rbegin(), steps.rend());
  return true;
}

}  // namespace sorvani
