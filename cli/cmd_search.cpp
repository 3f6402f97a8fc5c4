// `sorvani search SOURCE [--name TEXT [--exact]] [--min-kb N] [--max-kb N]
//                 [--created|--modified FROM TO] [--json] [--cache]`
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <mutex>

#include "cli/catalogue_common.h"
#include "cli/cmd_catalogue.h"
#include "index/enum_thread.h"
#include "index/ntfs_record_reader.h"
#include "search/search_thread.h"

namespace sorvani::cli {
namespace {

const char kUsage[] =
    "usage: sorvani search SOURCE [--name TEXT [--exact]] [--min-kb N] [--max-kb N] "
    "[--created|--modified FROM TO] [--json] [--cache]";

// A size bound typed as a number of KB: its leading digits, 0 when there are none.
std::uint32_t LeadingNumber(const std::string& text) {
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + static_cast<unsigned>(c - '0');
    if (value > std::numeric_limits<std::uint32_t>::max()) return std::numeric_limits<std::uint32_t>::max();
  }
  return static_cast<std::uint32_t>(value);
}

}  // namespace

int RunSearch(Args& args) {
  SearchCriteria criteria;
  bool json = args.Flag("--json");
  bool useCache = args.Flag("--cache");
  bool exact = args.Flag("--exact");
  bool missing = false, anyMissing = false;
  std::string value;
  if (args.Option("--name", value, missing)) {
    criteria.nameOn = true;
    criteria.name = value;
  }
  anyMissing |= missing;
  criteria.nameMode = exact ? kNameModeEquals : kNameModeContains;
  criteria.maximum = std::numeric_limits<std::uint32_t>::max();
  if (args.Option("--min-kb", value, missing)) {
    criteria.sizeOn = true;
    criteria.minimum = LeadingNumber(value);
  }
  anyMissing |= missing;
  if (args.Option("--max-kb", value, missing)) {
    criteria.sizeOn = true;
    criteria.maximum = LeadingNumber(value);
  }
  anyMissing |= missing;
  std::string from, to;
  bool created = args.Option2("--created", from, to, missing);
  anyMissing |= missing;
  bool modified = !created && args.Option2("--modified", from, to, missing);
  anyMissing |= missing;
  if (anyMissing || (exact && !criteria.nameOn)) {
    PrintError(kUsage);
    return kExitBadUsage;
  }
  if (std::string extra = args.Leftover(); !extra.empty()) {
    PrintError("search: unknown option " + extra);
    return kExitBadUsage;
  }
  auto words = args.Positionals();
  if (words.size() != 1) {
    PrintError(kUsage);
    return kExitBadUsage;
  }
  std::string source = words[0];
  if (created || modified) {
    criteria.dateOn = true;
    criteria.dateKind = created ? kDateKindCreated : kDateKindModified;
    if (!ParseLocalDate(from, criteria.from) || !ParseLocalDate(to, criteria.to)) {
      PrintError("search: dates are YYYY-MM-DD[THH:MM[:SS]] in local time");
      return kExitBadUsage;
    }
  }

  std::vector<char> letters;
  int exitCode = kExitOk;
  if (!ResolveNtfsSource(source, useCache, letters, exitCode)) return exitCode;
  if (!json) PrintTableHeader();
  for (char letter : letters) {
    if (!IndexLetter(letter, useCache, exitCode)) return exitCode;
    CNtfsRecordReader reader(NtfsVolumeFor(letter));
    std::vector<FileListRow> rows;
    search_drive = letter;
    RunSearch(file_index, reader, criteria, rows, nullptr);
    for (const FileListRow& row : rows) {
      std::string path;
      {
        std::lock_guard<std::mutex> lock(index_lock);
        path = reader.FolderPath(row.parent);
      }
      CatalogueRow out{row, path, true, false};
      if (json) std::printf("%s\n", RowJson(out).c_str());
      else PrintTableRow(out);
    }
  }
  std::fflush(stdout);
  return kExitOk;
}

}  // namespace sorvani::cli
