#include "cli/cmd_carve.h"
#include "cli/cmd_recover.h"

#include <unistd.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <sstream>

#include "app/scan_job.h"
#include "cli/json.h"
#include "cli/progress_loop.h"
#include "disk/volume.h"
#include "foundation/display_format.h"
#include "surfacescan/surface_scan.h"

namespace sorvani::cli {
namespace {

// The command line's words for a stage of the scan.
std::string StageText(const SurfaceScanStatus& status) {
  switch (status.stage) {
    case ScanStage::kIdle:
    case ScanStage::kPreparing:
      return "Preparing...";
    case ScanStage::kCounting:
      return "Calculating estimated scan time...";
    case ScanStage::kSearching:
      return std::string("Searching the drive ") + status.driveLetter +
             ": for selected file types...";
  }
  return "";
}

bool ParseTypes(const std::string& list, CFormatSet& formats, std::string& error) {
  std::stringstream in(list);
  std::string word;
  while (std::getline(in, word, ',')) {
    if (word.empty()) continue;
    int format = FormatFromName(word);
    if (!format) {
      error = "carve: unknown picture type '" + word + "' (jpeg, bmp, png, gif)";
      return false;
    }
    formats.Add(format);
  }
  if (formats.Empty()) {
    error = "carve: no picture type selected";
    return false;
  }
  return true;
}

// Prints rows as the scan thread finds them and keeps them for the writer. The progress line
// on stderr is wiped before a row is printed, so both can share one terminal.
class CConsoleSink final : public ICarvedFileSink {
 public:
  CConsoleSink(char letter, bool json, CStatusLine& line)
      : m_letter(letter), m_json(json), m_line(line) {}

  void Append(const CarvedFile& file) override {
    auto hold = m_line.Hold();
    m_line.ClearHeld();
    if (m_json) {
      JsonObject obj;
      obj.Add("drive", std::string(1, m_letter) + ":")
          .Add("name", file.name)
          .Add("start_unit", file.startUnit)
          .Add("offset", file.offset)
          .Add("size", file.size)
          .Add("type", FormatKeyName(file.format))
          .Add("complete", !file.incomplete);
      if (file.incomplete)
        obj.Add("cut_short_by", file.cutByEnd ? "the end of the source" : "a read error");
      std::printf("%s\n", obj.Text().c_str());
    } else {
      std::printf("%-22s %14" PRIu64 " %8u %12u  %s%s\n", file.name.c_str(), file.startUnit,
                  file.offset, file.size, FormatKeyName(file.format),
                  !file.incomplete ? ""
                  : file.cutByEnd  ? "  incomplete: cut short by the end of the source"
                                   : "  incomplete: cut short by a read error");
    }
    std::fflush(stdout);
    m_files.push_back(file);
  }

  void ShowError(const std::string& text, const std::string& caption) override {
    auto hold = m_line.Hold();
    m_line.ClearHeld();
    PrintError(caption + ": " + text);
  }

  // Only after the scan has ended.
  const std::vector<CarvedFile>& Files() const { return m_files; }

 private:
  char m_letter;
  bool m_json;
  CStatusLine& m_line;
  std::vector<CarvedFile> m_files;
};

std::string ScanProgressText(const SurfaceScanStatus& status) {
  std::string left = status.remainingSeconds < 0 ? std::string("unknown")
                                                 : FormatEstimate(status.remainingSeconds);
  char text[64];
  std::snprintf(text, sizeof text, " %3d%%  %d found  ", status.percent, status.found);
  return StageText(status) + text + left + " left";
}

// Each drive of a source with several writes into a folder of its own (DEST/C/, DEST/D/):
// carved names restart for every drive and would otherwise meet.
std::string DriveDestination(const std::string& destination, char letter, std::size_t drives) {
  if (drives <= 1) return destination;
  std::string out = destination;
  while (out.size() > 1 && (out.back() == ' ' || out.back() == '\t')) out.pop_back();
  if (out.empty() || out.back() != '/') out += '/';
  return out + letter;
}

}  // namespace

int RunCarve(Args& args) {
  bool json = args.Flag("--json");
  std::string types = "jpeg,bmp,png,gif";
  std::string destination;
  bool missing = false;
  args.Option("--types", types, missing);
  if (missing) {
    PrintError("carve: --types needs a list such as jpeg,png");
    return kExitBadUsage;
  }
  bool recover = args.Option("--recover-to", destination, missing);
  if (missing || (recover && destination.empty())) {
    PrintError("carve: --recover-to needs a destination folder");
    return kExitBadUsage;
  }
  if (std::string extra = args.Leftover(); !extra.empty()) {
    PrintError("carve: unknown option " + extra);
    return kExitBadUsage;
  }
  auto words = args.Positionals();
  if (words.size() != 1) {
    PrintError(std::string("usage: sorvani ") + kCarveUsage);
    return kExitBadUsage;
  }
  CFormatSet formats;
  std::string error;
  if (!ParseTypes(types, formats, error)) {
    PrintError(error);
    return kExitBadUsage;
  }
  std::vector<char> letters;
  if (!ResolveSource(words[0], letters, error)) {
    PrintError(error);
    return kExitBadUsage;
  }

  // A destination that cannot be used is refused before the scan, not after it.
  if (recover) {
    for (char letter : letters) {
      if (!CheckCarveDestination(letter, destination, error)) {
        PrintError("carve: " + error);
        return kExitBadUsage;
      }
    }
  }

  CStatusLine line(::isatty(STDERR_FILENO) != 0);
  bool stopped = false;
  int opened = 0;
  int failures = 0;
  std::size_t total = 0;
  if (!json)
    std::printf("%-22s %14s %8s %12s  %s\n", "NAME", "START_UNIT", "OFFSET", "SIZE", "TYPE");
  for (char letter : letters) {
    if (stopped) break;
    if (!json && letters.size() > 1) std::printf("Drive %c:\n", letter);
    // A cut-off FAT volume is carved as far as it goes; the part past the end was not searched.
    if (WarnIfFatCutOff(letter)) ++failures;
    CConsoleSink sink(letter, json, line);
    CScanJob job(letter, formats, sink);
    job.Start();
    // The first Ctrl-C stops the scan and keeps what it found; a second one ends the process.
    ProgressLoopOptions loop;
    loop.interval = std::chrono::milliseconds(200);
    loop.secondInterruptEnds = true;
    stopped = RunProgressLoop(
        job, [&] { line.Draw(ScanProgressText(job.Snapshot())); }, loop);
    line.Clear();
    if (job.Result() == kScanNotImpl) {
      ++failures;
      continue;
    }
    ++opened;
    total += sink.Files().size();
    std::size_t incomplete = 0;
    for (const CarvedFile& file : sink.Files()) incomplete += file.incomplete;
    if (incomplete) {
      std::fprintf(
          stderr,
          "sorvani: carve: drive %c: %zu of the pictures found are incomplete (cut short by a read "
          "error or the end of the source)\n",
          letter, incomplete);
      ++failures;
    }
    if (job.MapIncomplete()) {
      std::fprintf(
          stderr,
          "sorvani: carve: drive %c: part of the allocation map could not be read; the free space "
          "it describes was not searched\n",
          letter);
      ++failures;
    }
    if (!recover || sink.Files().empty()) continue;

    // The pictures found are written even after a Ctrl-C: that is what the stop keeps.
    std::vector<RawRangeItem> ranges;
    for (const CarvedFile& file : sink.Files())
      ranges.push_back(RawRangeItem{file.name, file.startUnit, file.offset, file.size,
                                    !file.incomplete ? 0
                                    : file.cutByEnd  ? static_cast<int>(ReadFault::kBeyondEnd)
                                                     : static_cast<int>(ReadFault::kDeviceError)});
    if (RecoverRawRangesTo(letter, ranges, DriveDestination(destination, letter, letters.size())) !=
        kExitOk)
      ++failures;
  }
  if (stopped) {
    std::fprintf(stderr, "sorvani: carve: stopped; %zu pictures found before the stop\n", total);
    return kExitItemsFailed;
  }
  if (opened == 0) return kExitBadUsage;
  return failures ? kExitItemsFailed : kExitOk;
}

}  // namespace sorvani::cli
