#include "cli/cmd_carve.h"
#include "cli/cmd_recover.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cinttypes>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include "cli/json.h"
#include "disk/volume.h"
#include "foundation/display_format.h"
#include "surfacescan/surface_scan.h"

namespace sorvani::cli {
namespace {

std::atomic<bool> g_cancel{false};

// The first Ctrl-C stops the scan and keeps what it found; a second one ends the process.
void OnInterrupt(int) {
  g_cancel.store(true);
  ::signal(SIGINT, SIG_DFL);
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
  CConsoleSink(char letter, bool json, bool progress)
      : m_letter(letter), m_json(json), m_progress(progress) {}

  void Append(const CarvedFile& file) override {
    std::lock_guard<std::mutex> guard(m_mutex);
    ClearProgressLocked();
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
    std::lock_guard<std::mutex> guard(m_mutex);
    ClearProgressLocked();
    PrintError(caption + ": " + text);
  }

  void DrawProgress(const SurfaceScanStatus& status) {
    std::lock_guard<std::mutex> guard(m_mutex);
    std::string left = status.remainingSeconds < 0 ? std::string("unknown")
                                                   : FormatEstimate(status.remainingSeconds);
    std::fprintf(stderr, "\r\033[K%s %3d%%  %d found  %s left", status.statusText.c_str(),
                 status.percent, status.found, left.c_str());
    std::fflush(stderr);
    m_progressShown = true;
  }

  void ClearProgress() {
    std::lock_guard<std::mutex> guard(m_mutex);
    ClearProgressLocked();
  }

  bool Progress() const { return m_progress; }
  const std::vector<CarvedFile>& Files() const { return m_files; }

 private:
  void ClearProgressLocked() {
    if (!m_progressShown) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    m_progressShown = false;
  }

  char m_letter;
  bool m_json;
  bool m_progress;
  bool m_progressShown = false;
  std::mutex m_mutex;
  std::vector<CarvedFile> m_files;
};

// Runs the scan thread and, on a terminal, redraws the progress line until it ends.
void RunScan(SurfaceScanJob& job, CConsoleSink& sink) {
  std::mutex doneMutex;
  std::condition_variable doneSignal;
  bool done = false;
  std::thread worker([&] {
    SurfaceScanThread(job);
    std::lock_guard<std::mutex> guard(doneMutex);
    done = true;
    doneSignal.notify_all();
  });
  {
    std::unique_lock<std::mutex> lock(doneMutex);
    while (!done) {
      doneSignal.wait_for(lock, std::chrono::milliseconds(200));
      if (!done && sink.Progress()) {
        lock.unlock();
        sink.DrawProgress(job.Snapshot());
        lock.lock();
      }
    }
  }
  worker.join();
  sink.ClearProgress();
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

  g_cancel.store(false);
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  struct sigaction previous {};
  ::sigaction(SIGINT, &action, &previous);

  bool progress = ::isatty(STDERR_FILENO);
  int opened = 0;
  int failures = 0;
  std::size_t total = 0;
  if (!json)
    std::printf("%-22s %14s %8s %12s  %s\n", "NAME", "START_UNIT", "OFFSET", "SIZE", "TYPE");
  for (char letter : letters) {
    if (g_cancel.load()) break;
    if (!json && letters.size() > 1) std::printf("Drive %c:\n", letter);
    // A cut-off FAT volume is carved as far as it goes; the part past the end was not searched.
    if (WarnIfFatCutOff(letter)) ++failures;
    CConsoleSink sink(letter, json, progress);
    SurfaceScanJob job;
    job.driveLetter = letter;
    job.cancel = &g_cancel;
    job.formats = formats;
    job.sink = &sink;
    RunScan(job, sink);
    if (job.result == kScanNotImpl) {
      ++failures;
      continue;
    }
    ++opened;
    total += sink.Files().size();
    std::size_t incomplete = 0;
    for (const CarvedFile& file : sink.Files()) incomplete += file.incomplete;
    if (incomplete) {
      std::fprintf(stderr, "sorvani: carve: drive %c: %zu of the pictures found are incomplete (cut short by a read "
                   "error or the end of the source)\n", letter, incomplete);
      ++failures;
    }
    if (job.mapIncomplete) {
      std::fprintf(stderr, "sorvani: carve: drive %c: part of the allocation map could not be read; the free space "
                   "it describes was not searched\n", letter);
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
  ::sigaction(SIGINT, &previous, nullptr);

  if (g_cancel.load()) {
    std::fprintf(stderr, "sorvani: carve: stopped; %zu pictures found before the stop\n", total);
    return kExitItemsFailed;
  }
  if (opened == 0) return kExitBadUsage;
  return failures ? kExitItemsFailed : kExitOk;
}

}  // namespace sorvani::cli
