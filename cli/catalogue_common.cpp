#include "cli/catalogue_common.h"

#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>

#include "app/indexing_job.h"
#include "app/session.h"
#include "cli/json.h"
#include "cli/progress_loop.h"
#include "disk/drive_table.h"
#include "disk/fs_probe.h"
#include "foundation/display_format.h"
#include "foundation/file_time.h"
#include "index/index_cache.h"

namespace sorvani::cli {
namespace {

// Why a drive is not an NTFS volume, as far as its first sector tells.
std::string NotNtfsReason(char letter) {
  auto source = Session().Drives().Find(letter);
  if (!source) return "no such drive";
  auto device = source->OpenSource();
  if (!device) return "cannot be opened";
  std::vector<std::uint8_t> boot(512);
  if (device->ReadAt(0, boot.data(), boot.size()) != 512) return "cannot read its boot sector";
  const char* fs = ProbeFileSystem(boot);
  if (!fs) return "no known file system in its boot sector";
  if (std::string(fs) == "NTFS") return "the NTFS boot sector or system files are damaged";
  return std::string(fs) + " file system";
}

std::string BarText(char letter, const IndexingSnapshot& tick) {
  char line[160];
  int filled = tick.percent / 5;
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.resize(20, '.');
  const char* what = tick.phase == kPhaseSaving    ? "saving"
                     : tick.phase == kPhaseLoading ? "loading"
                                                   : "indexing";
  std::snprintf(line, sizeof line, "%c: %-8s [%s] %3d%%  elapsed %s", letter, what, bar.c_str(),
                tick.percent, FormatElapsed(tick.elapsedSeconds).c_str());
  std::string text = line;
  if (tick.estimateShown)
    text += "  left " +
            (tick.estimateKnown ? FormatEstimate(tick.estimateSeconds) : std::string("unknown"));
  return text;
}

// Runs the indexing of one drive the way the indexing dialog does; how it ended.
std::uint8_t IndexDrive(char letter, bool useCache) {
  CIndexingJob* run = Session().StartIndexing(letter, !useCache);
  if (!run) return kEnumUnreadable;
  CStatusLine line(isatty(STDERR_FILENO));
  // The bar is redrawn six times per dialog tick; the loop notices the end within a few
  // milliseconds, so a short indexing is not padded out to the next redraw.
  ProgressLoopOptions options;
  options.interval = std::chrono::milliseconds(CIndexingJob::kTickMilliseconds / 6);
  RunProgressLoop(
      *run, [&] { line.Draw(BarText(letter, run->Snapshot())); }, options);
  line.Clear();
  return run->Snapshot().outcome;
}

}  // namespace

bool ResolveNtfsSource(const std::string& source, bool useCache, std::vector<char>& letters,
                       int& exitCode) {
  std::vector<char> all;
  std::string error;
  if (!ResolveSource(source, all, error)) {
    PrintError(error);
    exitCode = kExitBadUsage;
    return false;
  }
  SetCacheSavingAllowed(useCache);
  letters.clear();
  std::string reasons;
  for (char letter : all) {
    if (Session().Volume(letter)) {
      letters.push_back(letter);
    } else {
      if (!reasons.empty()) reasons += "; ";
      reasons += std::string(1, letter) + ": " + NotNtfsReason(letter);
    }
  }
  if (letters.empty()) {
    PrintError(source + ": not an NTFS volume (" + reasons + ")");
    exitCode = kExitBadUsage;
    return false;
  }
  exitCode = kExitOk;
  return true;
}

bool IndexLetter(char letter, bool useCache, int& exitCode) {
  std::uint8_t result = IndexDrive(letter, useCache);
  switch (result) {
    case kEnumFromCache:
    case kEnumScanned: {
      exitCode = kExitOk;
      // The device failed on some MFT records: the rest of the catalogue stands, but it is not
      // the whole drive, and the exit code says so.
      std::shared_ptr<const CFileIndex> index = Session().Catalogue().index;
      if (std::uint64_t lost = index ? index->UnreadableRecords() : 0; lost != 0) {
        std::fprintf(stderr,
                     "sorvani: note: drive %c: %llu MFT records could not be read (the first is "
                     "record %u); deleted items they held are not listed\n",
                     letter, static_cast<unsigned long long>(lost), index->FirstUnreadableRecord());
        exitCode = kExitItemsFailed;
      }
      return true;
    }
    case kEnumCancelled:
      PrintError("cancelled");
      exitCode = kExitItemsFailed;
      return false;
    case kEnumNotNtfs:
      PrintError(std::string(1, letter) + ": not an NTFS volume (" + NotNtfsReason(letter) + ")");
      exitCode = kExitBadUsage;
      return false;
    default:
      PrintError(std::string(1, letter) + ": the NTFS volume cannot be read");
      exitCode = kExitBadUsage;
      return false;
  }
}

std::string IsoUtc(std::uint64_t fileTime) {
  if (fileTime == 0) return {};
  // Whole seconds since 1601-01-01, a Monday of a proleptic Gregorian 400-year cycle, so the
  // civil date follows from cycle arithmetic without the C library's time zone machinery.
  std::uint64_t seconds = FileTimeSeconds(fileTime);
  std::uint64_t days = seconds / 86400;
  auto secondOfDay = static_cast<unsigned>(seconds % 86400);
  constexpr std::uint64_t kDaysPer400Years = 146097;
  std::uint64_t year = 1601 + 400 * (days / kDaysPer400Years);
  auto day = static_cast<unsigned>(days % kDaysPer400Years);  // day of the cycle, from 1 Jan
  // Within a cycle starting the year after a leap century: 100-year blocks of 36,524 days
  // (the last has 36,525), 4-year blocks of 1,461 (the last of a century has 1,460), years of
  // 365 (the last of a 4-year block has 366).
  unsigned centuries = std::min(day / 36524u, 3u);
  day -= centuries * 36524u;
  unsigned quads = day / 1461u;
  day -= quads * 1461u;
  unsigned years = std::min(day / 365u, 3u);
  day -= years * 365u;
  year += 100 * centuries + 4 * quads + years;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  static constexpr unsigned kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  unsigned month = 0;
  for (; month < 11; ++month) {
    unsigned length = kMonthDays[month] + (month == 1 && leap ? 1 : 0);
    if (day < length) break;
    day -= length;
  }
  // Years past 9999 (the largest file time reaches 60056) take as many digits as they need.
  std::string text = year > 9999 ? std::to_string(year) : std::string(4, '0');
  if (year <= 9999)
    for (int i = 3; i >= 0; --i, year /= 10)
      text[static_cast<std::size_t>(i)] = static_cast<char>('0' + year % 10);
  auto two = [&text](char separator, unsigned value) {
    text += separator;
    text += static_cast<char>('0' + value / 10);
    text += static_cast<char>('0' + value % 10);
  };
  two('-', month + 1);
  two('-', day + 1);
  two('T', secondOfDay / 3600);
  two(':', secondOfDay / 60 % 60);
  two(':', secondOfDay % 60);
  text += 'Z';
  return text;
}

std::string RowJson(const CatalogueRow& r) {
  std::string line;
  AppendRowJson(line, r, '\0');
  line.pop_back();
  return line;
}

void AppendRowJson(std::string& out, const CatalogueRow& r, char end) {
  // Written out by hand: a listing prints one of these per deleted file, and the keys are fixed.
  auto number = [&out](std::int64_t value) {
    char text[24];
    out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
  };
  auto flag = [&out](bool value) { out += value ? "true" : "false"; };
  auto text = [&out](std::string_view value) {
    out += '"';
    AppendJsonEscaped(out, value);
    out += '"';
  };
  auto time = [&out, &text](std::uint64_t fileTime) {
    if (fileTime == 0)
      out += "null";
    else
      text(IsoUtc(fileTime));
  };
  out += "{\"record\":";
  number(r.row.record);
  out += ",\"deleted\":";
  flag(r.deleted);
  out += ",\"folder\":";
  flag((r.row.attributes & kAttrFolderBit) != 0);
  out += ",\"orphan\":";
  flag(r.orphan);
  out += ",\"name\":";
  text(r.row.name);
  out += ",\"path\":";
  text(r.path);
  out += ",\"size\":";
  char big[24];
  out.append(big, std::to_chars(big, big + sizeof big, r.row.size).ptr);
  out += ",\"overwritten\":";
  number(r.row.overwritten);
  out += ",\"attributes\":";
  number(r.row.attributes);
  out += ",\"created\":";
  time(r.row.created);
  out += ",\"modified\":";
  time(r.row.modified);
  out += '}';
  out += end;
}

void PrintTableHeader() {
  std::printf("%-3s %10s  %-20s %5s  %s\n", "", "Size", "Modified", "Over.", "Name");
}

void PrintTableRow(const CatalogueRow& r) {
  bool folder = (r.row.attributes & kAttrFolderBit) != 0;
  const char* state = r.orphan ? "O" : r.deleted ? "D" : "";
  std::string size = folder ? "<DIR>" : FormatSize(r.row.size, false);
  std::string when = FormatFileTime(r.row.modified, "%x %X");
  char over[16] = "";
  // A negative share is one that could not be read ($Bitmap unreadable).
  if (r.deleted && !folder && !r.orphan && r.row.overwritten < 0)
    std::snprintf(over, sizeof over, "?");
  else if (r.deleted && !folder && !r.orphan)
    std::snprintf(over, sizeof over, "%d%%", r.row.overwritten);
  // Names come off the volume: control characters would reach the terminal, a line break
  // would forge a row.
  std::printf("%-3s %10s  %-20s %5s  %s%s%s\n", state, size.c_str(), when.c_str(), over,
              EscapeControlCharacters(r.path).c_str(), EscapeControlCharacters(r.row.name).c_str(),
              folder ? "\\" : "");
}

}  // namespace sorvani::cli
