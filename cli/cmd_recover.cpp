// `sorvani recover SOURCE --to DEST (--record N ... | --all-deleted | --path "X:\\folder\\")`:
// the recovery engine behind a terminal. Prompts are answered from the options, or asked on
// the terminal when stdin is one; progress goes to stderr, one JSON object per item to stdout.
#include "cli/cmd_recover.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <thread>

#include "cli/cmd_catalogue.h"
#include "cli/json.h"
#include "disk/drive_table.h"
#include "disk/volume.h"
#include "foundation/display_format.h"
#include "foundation/log.h"
#include "index/enum_thread.h"
#include "index/file_index.h"
#include "ntfs/ntfs_file.h"
#include "ntfs/ntfs_volume.h"
#include "recovery/dest_files.h"
#include "recovery/destination_check.h"
#include "recovery/recover_catalogue.h"
#include "recovery/recover_engine.h"

namespace sorvani::cli {
namespace {

// [[offset, length], ...] in the file; a span of an alternate stream carries its name third.
std::string UnreadableJson(const std::vector<UnreadableSpan>& spans) {
  std::string out = "[";
  for (std::size_t i = 0; i < spans.size(); ++i) {
    const UnreadableSpan& u = spans[i];
    out += (i ? ",[" : "[") + std::to_string(u.offset) + "," + std::to_string(u.length);
    if (!u.stream.empty()) out += ",\"" + JsonEscape(u.stream) + "\"";
    out += "]";
  }
  return out + "]";
}

volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) { g_interrupted = 1; }

struct RecoverOptions {
  std::string destination;
  bool json = false;
  bool quiet = false;
  bool yesToAll = false;
  bool noToAll = false;
  bool allowSameVolume = false;
  bool listItems = true;  // one stdout line per item written
  bool sameVolumeOverride = true;  // --allow-same-volume exists for this command
  char letter = 0;
};

// Why a destination cannot be used before anything is written; "" when it can. A destination
// on the source is refused: writing there may destroy what is still to be read. Only
// `recover` lets the person insist.
std::string DestinationProblem(const DestinationCheck& check, const RecoverOptions& options) {
  if (!check.valid)
    return "'" + options.destination +
           "' is not a usable destination: give an absolute path without | < > * ?";
  if (check.sameVolume && !options.allowSameVolume)
    return "the destination " + check.destination +
           " lies on the source being recovered (the same device, partition or image file, also "
           "through a loop device or a FUSE mount); writing there may destroy what is to be "
           "recovered" +
           (options.sameVolumeOverride ? " (use --allow-same-volume to insist)" : "");
  return "";
}

class CCliFrontEnd : public IRecoverFrontEnd {
 public:
  explicit CCliFrontEnd(const RecoverOptions& options)
      : m_options(options), m_interactive(::isatty(0) != 0), m_bar(::isatty(2) != 0) {}

  bool ChooseDestination(RecoverJob& job, std::string& destination, bool& /*allStreams*/,
                         bool& /*folderAttributes*/) override {
    while (!job.summingEnded) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::uint64_t selection = 0;
    {
      std::lock_guard<std::mutex> hold(ProgressLock());
      selection = job.selectionSize;
    }
    DestinationCheck check = CheckDestination(m_options.destination, m_options.letter, selection);
    if (std::string problem = DestinationProblem(check, m_options); !problem.empty()) {
      m_error = problem;
      return false;
    }
    if (!check.enoughSpace) {
      std::string text = "The destination has " + FormatSize(check.freeSpace, false) +
                         " free, but the selection needs " + FormatSize(selection, false) +
                         ". Recover anyway?";
      if (!Confirm(text)) {
        m_error = "not enough free space at the destination (" + FormatSize(check.freeSpace, false) +
                  " free, " + FormatSize(selection, false) + " needed)";
        return false;
      }
    }
    if (check.notNtfs) {
      std::fprintf(stderr,
                   "sorvani: note: the destination is on %s, not NTFS: alternate streams become "
                   "sibling files named \"file:stream\" and folder attributes keep only read-only\n",
                   check.fileSystem.c_str());
    }
    // The folder named on the command line is made with its missing parents now: otherwise
    // the items written before the first folder item would find no folder to go into.
    if (int error = 0; !MakeFolderChain(check.destination, error)) {
      m_error = "cannot create the destination folder " + check.destination + ": " + SystemErrorText(error);
      return false;
    }
    RememberDestination(check.destination);
    destination = check.destination;
    return true;
  }

  void RunProgress(RecoverJob& job) override {
    struct sigaction action {}, previous {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &previous);
    // The bar is redrawn every 100 ms; the end of the run is noticed at once.
    std::mutex mutex;
    std::condition_variable endedChanged;
    bool ended = false;
    std::thread worker([&] {
      RecoverThread(&job);
      std::lock_guard<std::mutex> hold(mutex);
      ended = true;
      endedChanged.notify_all();
    });
    for (;;) {
      {
        std::unique_lock<std::mutex> hold(mutex);
        if (endedChanged.wait_for(hold, std::chrono::milliseconds(100), [&] { return ended; })) break;
      }
      if (g_interrupted && !job.cancel.IsSet()) job.cancel.Set();
      if (m_bar && !m_asking) DrawBar();
    }
    worker.join();
    if (m_bar) std::fprintf(stderr, "\r\033[K");
    ::sigaction(SIGINT, &previous, nullptr);
  }

  void AddFailureRow(const std::string& status, const std::string& path) override {
    ClearBar();
    std::fprintf(stderr, "sorvani: failed: %s: %s\n", path.c_str(), status.c_str());
  }

  void ItemFinished(const RecoveredItemReport& r) override {
    if (!m_options.listItems) return;
    if (m_options.json) {
      std::string streams = "[";
      for (std::size_t i = 0; i < r.streams.size(); ++i)
        streams += (i ? ",\"" : "\"") + JsonEscape(r.streams[i]) + "\"";
      streams += "]";
      JsonObject obj;
      obj.Add("record", r.id)
          .Add("name", r.name)
          .Add("destination", r.destination)
          .Add("result", static_cast<std::uint64_t>(static_cast<std::uint32_t>(r.result)))
          .Add("status", RecoverResultText(r.result))
          .Add("bytes", r.bytes)
          .Add("folder", r.folder)
          .AddRaw("streams", streams);
      if (!r.unreadable.empty()) obj.AddRaw("unreadable", UnreadableJson(r.unreadable));
      if (r.result == REC_E_DAMAGED || r.sizeClaimed > r.dataFound)
        obj.Add("size_claimed", r.sizeClaimed).Add("data_found", r.dataFound);
      std::printf("%s\n", obj.Text().c_str());
    } else {
      const char* what = r.result == REC_S_OK ? "ok" : r.result == REC_S_NOTHING_DONE ? "left" : "FAILED";
      std::printf("%-6s %10llu  %s%s\n", what, static_cast<unsigned long long>(r.bytes),
                  r.destination.c_str(), r.folder ? "/" : "");
      for (const auto& s : r.streams)
        std::printf("%-6s %10s  %s:%s\n", "", "", r.destination.c_str(), s.c_str());
    }
    std::fflush(stdout);
  }

  PromptButton Ask(const PromptRequest& request) override {
    auto has = [&](PromptButton b) {
      return std::find(request.buttons.begin(), request.buttons.end(), b) != request.buttons.end();
    };
    if (m_options.yesToAll && has(PromptButton::kYesToAll)) return PromptButton::kYesToAll;
    if (m_options.noToAll && has(PromptButton::kNoToAll)) return PromptButton::kNoToAll;
    if (!m_interactive) {
      // Unattended: skip what fails and go on; create missing folders; never overwrite.
      if (has(PromptButton::kIgnore)) return PromptButton::kIgnore;
      if (request.buttons.size() == 2 && has(PromptButton::kYes)) return PromptButton::kYes;
      return request.Default();
    }
    ClearBar();
    m_asking = true;
    std::fprintf(stderr, "\n%s\n", request.text.c_str());
    for (std::size_t i = 0; i < request.buttons.size(); ++i)
      std::fprintf(stderr, "  %zu) %s%s\n", i + 1, PromptButtonText(request.buttons[i]),
                   i == request.defaultButton ? " (default)" : "");
    PromptButton answer = request.Default();
    for (;;) {
      std::fprintf(stderr, "Choice [%zu]: ", request.defaultButton + 1);
      std::string line;
      if (!std::getline(std::cin, line)) break;
      if (line.empty()) break;
      char* end = nullptr;
      unsigned long n = std::strtoul(line.c_str(), &end, 10);
      if (end && *end == 0 && n >= 1 && n <= request.buttons.size()) {
        answer = request.buttons[n - 1];
        break;
      }
    }
    m_asking = false;
    return answer;
  }

  const std::string& Error() const { return m_error; }

 private:
  bool Confirm(const std::string& text) {
    if (m_options.yesToAll) return true;
    if (!m_interactive) return false;
    PromptRequest request;
    request.text = text;
    request.buttons = {PromptButton::kYes, PromptButton::kNo};
    request.defaultButton = 1;
    return Ask(request) == PromptButton::kYes;
  }

  void ClearBar() {
    if (m_bar) std::fprintf(stderr, "\r\033[K");
  }

  void DrawBar() {
    RecoveryProgress p = ProgressSnapshot();
    unsigned percent = std::min(p.totalPercent, 100u);
    std::string left = "";
    if (p.bytesProcessed != 0 && p.bytesProcessed < p.bytesExpected) {
      double seconds = static_cast<double>(p.bytesExpected - p.bytesProcessed) * p.elapsedSeconds /
                       static_cast<double>(p.bytesProcessed);
      left = seconds > 4096 ? "  time left: unknown" : "  time left: " + FormatEstimate(seconds);
    }
    std::string current = p.currentItem;
    if (current.size() > 50) {
      auto first = current.find('/', 1);
      auto last = current.rfind('/');
      if (first != std::string::npos && last != std::string::npos && last > first)
        current = current.substr(0, first + 1) + "..." + current.substr(last);
    }
    int filled = static_cast<int>(percent / 5);
    std::fprintf(stderr, "\r\033[K[%.*s%*s] %3u%%  %s%s", filled, "####################", 20 - filled,
                 "", percent, current.c_str(), left.c_str());
    std::fflush(stderr);
  }

  RecoverOptions m_options;
  bool m_interactive;
  bool m_bar;
  std::atomic<bool> m_asking{false};
  std::string m_error;
};

std::string SummaryLine(std::uint64_t files, std::uint64_t folders, std::uint64_t bytes) {
  return std::to_string(files) + " files, " + std::to_string(folders) + " folders, " +
         FormatSize(bytes, false);
}

std::uint64_t Less(std::uint64_t a, std::uint64_t b) { return a > b ? a - b : 0; }

}  // namespace

std::string FormatRecoverSummary(const RecoveryProgress& p) {
  std::string out = "Recovered: " + SummaryLine(p.filesRecovered, p.foldersRecovered, p.bytesRecovered) +
                    " in " + FormatElapsed(p.elapsedSeconds) + "\n";
  if (p.filesSkipped)
    out += "Skipped:   " + std::to_string(p.filesSkipped) + " files already at the destination, left as they were\n";
  if (p.filesReadError || p.filesBeyondEnd || p.filesDamaged) {
    std::string kinds;
    auto add = [&](std::uint32_t n, const char* what) {
      if (!n) return;
      kinds += (kinds.empty() ? "" : ", ") + std::to_string(n) + " " + what;
    };
    add(p.filesReadError, "with read errors");
    add(p.filesBeyondEnd, "cut short by the end of the source");
    add(p.filesDamaged, "damaged (size larger than their data)");
    out += "Partial:   " + kinds;
    if (p.bytesUnreadable)
      out += "; " + FormatSize(p.bytesUnreadable, false) + " could not be read (zeros in the files written)";
    out += "\n";
  }
  if (p.failed || p.stopped) {
    // Counted so that no line can wrap below zero, whatever order a stop left them in.
    std::uint64_t tried = std::max(p.bytesProcessed, p.bytesRecovered);
    // Files left as they were at the destination were tried but did not fail.
    out += "Failed:    " + SummaryLine(Less(p.filesTried, p.filesRecovered + p.filesSkipped), Less(p.foldersTried, p.foldersRecovered),
                                       Less(tried, p.bytesRecovered)) + "\n";
    out += "Tried:     " + SummaryLine(std::max(p.filesTried, p.filesRecovered),
                                       std::max(p.foldersTried, p.foldersRecovered), tried) + "\n";
  }
  if (p.stopped) out += "Stopped:   the run was interrupted before every item was tried\n";
  return out;
}

namespace {

// "X:\\a\\b\\" or "a/b" as a "/"-separated folder below the root; the letter goes to `letter`.
std::string FolderFilter(const std::string& text, char& letter) {
  std::string rest = text;
  letter = 0;
  if (rest.size() >= 2 && rest[1] == ':' && std::isalpha(static_cast<unsigned char>(rest[0]))) {
    letter = static_cast<char>(std::toupper(static_cast<unsigned char>(rest[0])));
    rest = rest.substr(2);
  }
  for (char& c : rest)
    if (c == '\\') c = '/';
  while (!rest.empty() && rest.front() == '/') rest.erase(0, 1);
  while (!rest.empty() && rest.back() == '/') rest.pop_back();
  return rest;
}

std::uint64_t ItemSize(CNtfsVolume& volume, IRecoverCatalogue& catalogue, std::uint32_t record,
                       bool folder) {
  // What can really be read, so one corrupt size cannot fail the free-space check.
  auto fileSize = [&volume](std::uint32_t r) -> std::uint64_t {
    CNtfsFile file;
    return file.LoadRecord(&volume, r, false) ? RecoverableDataSize(file) : 0;
  };
  return folder ? SumFolderData(catalogue, record, fileSize) : fileSize(record);
}

const char kRecoverUsage[] =
    "usage: sorvani recover SOURCE --to DEST (--record N ... | --all-deleted | --path \"X:\\\\folder\\\\\")\n"
    "           [--first-stream-only] [--no-folder-attributes] [--yes-to-all | --no-to-all]\n"
    "           [--quiet] [--json] [--allow-same-volume]";

// The summary counts that end a run; the exit code follows from them.
int PrintSummary() {
  RecoveryProgress p = ProgressSnapshot();
  std::fprintf(stderr, "%s", FormatRecoverSummary(p).c_str());
  return p.failed || p.stopped ? kExitItemsFailed : kExitOk;
}

}  // namespace

int RunRecover(Args& args) {
  RecoverOptions options;
  bool missing = false;
  bool haveDest = args.Option("--to", options.destination, missing);
  std::vector<std::string> recordTexts;
  std::string value;
  while (args.Option("--record", value, missing)) recordTexts.push_back(value);
  bool recordMissing = missing;
  std::string pathText;
  bool havePath = args.Option("--path", pathText, missing);
  bool allDeleted = args.Flag("--all-deleted");
  bool firstStreamOnly = args.Flag("--first-stream-only");
  bool noFolderAttributes = args.Flag("--no-folder-attributes");
  options.yesToAll = args.Flag("--yes-to-all");
  options.noToAll = args.Flag("--no-to-all");
  options.quiet = args.Flag("--quiet");
  options.json = args.Flag("--json");
  options.allowSameVolume = args.Flag("--allow-same-volume");
  if (std::string extra = args.Leftover(); !extra.empty()) {
    PrintError("recover: unknown option " + extra);
    return kExitBadUsage;
  }
  auto words = args.Positionals();
  // "--record 29 30 31": numbers after the source are more records.
  if (!recordTexts.empty())
    while (words.size() > 1) {
      recordTexts.push_back(words.back());
      words.pop_back();
    }
  int modes = (recordTexts.empty() ? 0 : 1) + (allDeleted ? 1 : 0) + (havePath ? 1 : 0);
  if (words.size() != 1 || !haveDest || recordMissing || modes != 1 ||
      (options.yesToAll && options.noToAll)) {
    PrintError(kRecoverUsage);
    return kExitBadUsage;
  }
  std::vector<std::uint32_t> records;
  for (const auto& t : recordTexts) {
    char* end = nullptr;
    unsigned long long n = std::strtoull(t.c_str(), &end, 10);
    if (t.empty() || !end || *end || n > 0xFFFFFFFFull) {
      PrintError("recover: '" + t + "' is not a record number");
      return kExitBadUsage;
    }
    records.push_back(static_cast<std::uint32_t>(n));
  }

  std::vector<char> letters;
  std::string error;
  if (!ResolveSource(words[0], letters, error)) {
    PrintError(error);
    return kExitBadUsage;
  }
  char pathLetter = 0;
  std::string filter = havePath ? FolderFilter(pathText, pathLetter) : std::string();
  // The recovery reads through a reader of its own; the catalogue's reader stays the index's.
  std::unique_ptr<CVolume> volume;
  CNtfsVolume* ntfs = nullptr;
  for (char letter : letters) {
    if (pathLetter && letter != pathLetter) continue;
    std::unique_ptr<CVolume> candidate;
    if (OpenVolume(letter, candidate) && (ntfs = dynamic_cast<CNtfsVolume*>(candidate.get()))) {
      volume = std::move(candidate);
      options.letter = letter;
      break;
    }
    ntfs = nullptr;
  }
  if (!ntfs) {
    PrintError("recover: " + words[0] + " holds no readable NTFS volume");
    return kExitBadUsage;
  }

  // A destination that cannot be used is refused before the source is scanned.
  if (std::string problem =
          DestinationProblem(CheckDestination(options.destination, options.letter, 0), options);
      !problem.empty()) {
    PrintError("recover: " + problem);
    return kExitBadUsage;
  }

  EnumerateDrive(options.letter, true);
  if (havePath && !DriveHasFolder(options.letter, pathText)) {
    PrintError("recover: no folder " + pathText);
    return kExitBadUsage;
  }
  CFileIndexCatalogue catalogue(file_index, ntfs);

  std::vector<RecoverItem> items;
  if (!records.empty()) {
    for (std::uint32_t r : records) {
      RecoverItem item;
      item.id = r;
      CatalogueEntry entry;
      bool folder = catalogue.IsOrphanFolder(r) ||
                    (catalogue.FindEntry(r, entry) && (entry.attributes & kFileAttrDirectory));
      if (catalogue.FindEntry(r, entry)) {
        item.name = entry.name;
      } else if (!folder) {
        // Still handed on, so it is counted and listed as failed like any other item.
        std::fprintf(stderr, "sorvani: record %u is not a deleted file or folder with a name\n", r);
      }
      item.attributes = folder ? std::uint32_t{kFileAttrDirectory} : 0u;
      item.size = ItemSize(*ntfs, catalogue, r, folder);
      items.push_back(item);
    }
  } else {
    for (const PlacedItem& placed : PlaceDeletedItems(catalogue, filter)) {
      RecoverItem item;
      item.id = placed.record;
      item.attributes = placed.attributes & kFileAttrDirectory;
      item.name = placed.name;
      item.subfolder = placed.subfolder;
      item.size = ItemSize(*ntfs, catalogue, placed.record, item.attributes != 0);
      items.push_back(item);
    }
  }
  if (items.empty()) {
    std::fprintf(stderr, "sorvani: no deleted items to recover\n");
    return kExitOk;
  }

  std::uint32_t flags = RF_ALL_STREAMS | RF_FOLDER_ATTRIBUTES;
  if (firstStreamOnly) flags &= ~RF_ALL_STREAMS;
  if (noFolderAttributes) flags &= ~RF_FOLDER_ATTRIBUTES;
  if (options.quiet) flags |= RF_QUIET;

  CCliFrontEnd frontEnd(options);
  RecoverResult started = RecoverFileGroup(frontEnd, *volume, flags, MakeItemList(std::move(items)), &catalogue);
  if (started != REC_S_OK) {
    PrintError("recover: " + (frontEnd.Error().empty() ? std::string("the recovery could not start")
                                                       : frontEnd.Error()));
    return kExitBadUsage;
  }
  return PrintSummary();
}

bool CheckCarveDestination(char letter, const std::string& destination, std::string& error) {
  RecoverOptions options;
  options.destination = destination;
  options.sameVolumeOverride = false;
  error = DestinationProblem(CheckDestination(destination, letter, 0), options);
  return error.empty();
}

int RecoverRawRangesTo(char letter, const std::vector<RawRangeItem>& ranges,
                       const std::string& destination) {
  RecoverOptions options;
  options.destination = destination;
  options.sameVolumeOverride = false;
  // The caller's listing of the ranges stays the only thing on stdout.
  options.listItems = false;
  options.letter = letter;
  std::vector<RecoverItem> items;
  for (const RawRangeItem& range : ranges) {
    RecoverItem item;
    item.id = range.startUnit;
    item.offsetInUnit = range.offsetInUnit;
    item.name = range.name;
    item.size = range.size;
    item.cutShort = range.cutShort;
    items.push_back(std::move(item));
  }
  CCliFrontEnd frontEnd(options);
  RecoverResult started = RecoverRawRanges(frontEnd, letter, RF_RAW_RANGES, MakeItemList(std::move(items)));
  if (started != REC_S_OK) {
    PrintError("carve: " + (frontEnd.Error().empty() ? std::string("the pictures could not be written")
                                                     : frontEnd.Error()));
    return kExitBadUsage;
  }
  RecoveryProgress p = ProgressSnapshot();
  if (p.stopped) {
    // Pictures written in part (unreadable bytes) are on disk; the rest are not.
    std::uint64_t onDisk = std::uint64_t{p.filesRecovered} + p.filesReadError + p.filesBeyondEnd;
    std::uint64_t notWritten = ranges.size() > onDisk ? ranges.size() - onDisk : 0;
    std::fprintf(stderr, "sorvani: carve: stopped while writing: %llu of %zu found pictures were not written\n",
                 static_cast<unsigned long long>(notWritten), ranges.size());
  }
  return PrintSummary();
}

}  // namespace sorvani::cli
