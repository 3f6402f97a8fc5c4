// `sorvani recover SOURCE --to DEST (--record N ... | --all-deleted | --path "X:\\folder\\")`:
// the recovery job behind a terminal. The command parses, plans through the application layer,
// settles the destination, then only answers questions (from the options, or on the terminal
// when stdin is one) and prints: a live line on stderr, and the items on stdout (every one when
// stdout is no terminal, with --json or --verbose; else only the items left as they were, the
// failures showing as failure rows).
#include "cli/cmd_recover.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>

#include "app/recovery_job.h"
#include "app/recovery_plan.h"
#include "app/session.h"
#include "cli/catalogue_common.h"
#include "cli/cmd_catalogue.h"
#include "cli/json.h"
#include "cli/progress_loop.h"
#include "disk/drive_table.h"
#include "disk/volume.h"
#include "foundation/display_format.h"
#include "foundation/log.h"
#include "index/file_index.h"
#include "ntfs/ntfs_volume.h"
#include "platform/dest_files.h"
#include "recovery/destination_check.h"
#include "recovery/recover_catalogue.h"
#include "recovery/recover_engine.h"
#include "volumes/open_volume.h"

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

struct RecoverOptions {
  std::string destination;
  bool json = false;
  bool quiet = false;
  bool yesToAll = false;
  bool noToAll = false;
  bool allowSameVolume = false;
  bool verbose = false;
  bool listItems = true;           // stdout lines for items written
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

// The command line's words for the buttons of a question.
const char* ButtonText(PromptButton button) {
  switch (button) {
    case PromptButton::kYes:
      return "Yes";
    case PromptButton::kNo:
      return "No";
    case PromptButton::kOk:
      return "OK";
    case PromptButton::kCancel:
      return "Cancel";
    case PromptButton::kAbort:
      return "Abort";
    case PromptButton::kRetry:
      return "Retry";
    case PromptButton::kIgnore:
      return "Ignore";
    case PromptButton::kYesToAll:
      return "Yes to all";
    case PromptButton::kNoToAll:
      return "No to all";
    case PromptButton::kIgnoreAll:
      return "Ignore all";
    case PromptButton::kSkipAll:
      return "Skip all";
    case PromptButton::kTryAgain:
      return "Try again";
  }
  return "?";
}

// Questions are answered from the options, or asked on the terminal when stdin is one. Ask
// comes on the recovery's thread and blocks it until answered.
class CCliPrompt final : public IRecoverPrompt {
 public:
  CCliPrompt(const RecoverOptions& options, CStatusLine& line)
      : m_options(options), m_line(line), m_interactive(::isatty(0) != 0) {}

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
    m_line.Pause(true);
    m_line.Clear();
    std::fprintf(stderr, "\n%s\n", request.text.c_str());
    for (std::size_t i = 0; i < request.buttons.size(); ++i)
      std::fprintf(stderr, "  %zu) %s%s\n", i + 1, ButtonText(request.buttons[i]),
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
    m_line.Pause(false);
    return answer;
  }

  // A yes/no question before the run (the free space); --yes-to-all says yes.
  bool Confirm(const std::string& text) {
    if (m_options.yesToAll) return true;
    if (!m_interactive) return false;
    PromptRequest request;
    request.text = text;
    request.buttons = {PromptButton::kYes, PromptButton::kNo};
    request.defaultButton = 1;
    return Ask(request) == PromptButton::kYes;
  }

 private:
  const RecoverOptions& m_options;
  CStatusLine& m_line;
  bool m_interactive;
};

// Items and failure rows, printed as they come (on the recovery's thread). With every item
// listed, each one is a line on stdout; otherwise (a person at a terminal) only the items left
// as they were, while failures show through their failure rows on stderr.
class CCliEvents final : public IRecoverEvents {
 public:
  CCliEvents(const RecoverOptions& options, CStatusLine& line, bool listAll)
      : m_options(options), m_line(line), m_listAll(listAll) {}

  void AddFailureRow(const std::string& status, const std::string& path) override {
    auto hold = m_line.Hold();
    m_line.ClearHeld();
    std::fprintf(stderr, "sorvani: failed: %s: %s\n", path.c_str(), status.c_str());
  }

  void ItemFinished(const RecoveredItemReport& r) override {
    if (!m_options.listItems) return;
    if (!m_listAll && r.result != REC_S_NOTHING_DONE) return;
    auto hold = m_line.Hold();
    m_line.ClearHeld();
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
      const char* what = r.result == REC_S_OK             ? "ok"
                         : r.result == REC_S_NOTHING_DONE ? "left"
                                                          : "FAILED";
      std::printf("%-6s %10llu  %s%s\n", what, static_cast<unsigned long long>(r.bytes),
                  r.destination.c_str(), r.folder ? "/" : "");
      for (const auto& s : r.streams)
        std::printf("%-6s %10s  %s:%s\n", "", "", r.destination.c_str(), s.c_str());
    }
    std::fflush(stdout);
  }

 private:
  const RecoverOptions& m_options;
  CStatusLine& m_line;
  bool m_listAll;
};

// Columns of the terminal on stderr (80 when it does not say).
std::size_t TerminalColumns() {
  struct winsize size {};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 10) return size.ws_col;
  return 80;
}

// The live line: items, bytes, rate, time left and the current item, cut to the terminal.
std::string ProgressText(const RecoveryJobSnapshot& s) {
  if (!s.started) return "Preparing...";
  std::string text = std::to_string(s.itemsDone) + "/" + std::to_string(s.itemsTotal) + " items  " +
                     FormatSize(s.bytesDone, false) + " of " + FormatSize(s.bytesTotal, false);
  double rate = s.elapsedSeconds > 0.2 ? static_cast<double>(s.bytesDone) / s.elapsedSeconds : 0;
  if (rate > 0) text += "  " + FormatRate(rate);
  if (rate > 0 && s.bytesDone < s.bytesTotal) {
    double seconds = static_cast<double>(s.bytesTotal - s.bytesDone) / rate;
    text += seconds > 359999 ? "  time left: unknown" : "  time left: " + FormatEstimate(seconds);
  }
  if (s.failed) text += "  " + std::to_string(s.failed) + " failed";
  std::string current = s.currentItem;
  auto slash = current.rfind('/');
  if (slash != std::string::npos) current = current.substr(slash + 1);
  if (!current.empty()) text += "  " + current;
  std::size_t width = TerminalColumns() - 1;
  if (text.size() > width) {
    // Cut at a character boundary, never inside a UTF-8 sequence.
    while (width > 0 && (static_cast<unsigned char>(text[width]) & 0xC0) == 0x80) --width;
    text.resize(width);
  }
  return text;
}

std::string SummaryLine(std::uint64_t files, std::uint64_t folders, std::uint64_t bytes) {
  return std::to_string(files) + " files, " + std::to_string(folders) + " folders, " +
         FormatSize(bytes, false);
}

std::uint64_t Less(std::uint64_t a, std::uint64_t b) { return a > b ? a - b : 0; }

}  // namespace

std::string FormatRecoverSummary(const RecoveryProgress& p) {
  std::string out =
      "Recovered: " + SummaryLine(p.filesRecovered, p.foldersRecovered, p.bytesRecovered) + " in " +
      FormatElapsed(p.elapsedSeconds) + "\n";
  if (p.filesSkipped)
    out += "Skipped:   " + std::to_string(p.filesSkipped) +
           " files already at the destination, left as they were\n";
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
      out += "; " + FormatSize(p.bytesUnreadable, false) +
             " could not be read (zeros in the files written)";
    out += "\n";
  }
  if (p.failed || p.stopped) {
    // Counted so that no line can wrap below zero, whatever order a stop left them in.
    std::uint64_t tried = std::max(p.bytesProcessed, p.bytesRecovered);
    // Files left as they were at the destination were tried but did not fail.
    out += "Failed:    " +
           SummaryLine(Less(p.filesTried, p.filesRecovered + p.filesSkipped),
                       Less(p.foldersTried, p.foldersRecovered), Less(tried, p.bytesRecovered)) +
           "\n";
    out += "Tried:     " +
           SummaryLine(std::max(p.filesTried, p.filesRecovered),
                       std::max(p.foldersTried, p.foldersRecovered), tried) +
           "\n";
  }
  if (p.stopped) out += "Stopped:   the run was interrupted before every item was tried\n";
  return out;
}

namespace {

const char kRecoverUsage[] =
    "usage: sorvani recover SOURCE --to DEST (--record N ... | --all-deleted | --path "
    "\"X:\\\\folder\\\\\")\n"
    "           [--first-stream-only] [--no-folder-attributes] [--yes-to-all | --no-to-all]\n"
    "           [--quiet] [--json] [--verbose] [--allow-same-volume]";

// The summary counts that end a run; the exit code follows from them.
int PrintSummary(const RecoveryProgress& p) {
  std::fprintf(stderr, "%s", FormatRecoverSummary(p).c_str());
  return p.failed || p.stopped ? kExitItemsFailed : kExitOk;
}

// The catalogue of deleted items of drive `letter`, built now (the recovery needs it whole)
// through the session, with the indexing's progress line and Ctrl-C; null after printing why.
std::shared_ptr<const CFileIndex> IndexCatalogue(char letter, int& exitCode) {
  if (!IndexLetter(letter, /*useCache=*/false, exitCode)) return nullptr;
  return Session().Catalogue().index;
}

// Settles the destination before the run: the checks (on the source, free space for
// `selectionBytes`, file system), the folder made with its parents, and the recent list. ""
// with the reason in `error` when the run must not start.
std::string DecideDestination(const RecoverOptions& options, std::uint64_t selectionBytes,
                              CCliPrompt& prompt, std::string& error) {
  DestinationCheck check = CheckDestination(options.destination, options.letter, selectionBytes);
  if (std::string problem = DestinationProblem(check, options); !problem.empty()) {
    error = problem;
    return "";
  }
  if (!check.enoughSpace) {
    std::string text = "The destination has " + FormatSize(check.freeSpace, false) +
                       " free, but the selection needs " + FormatSize(selectionBytes, false) +
                       ". Recover anyway?";
    if (!prompt.Confirm(text)) {
      error = "not enough free space at the destination (" + FormatSize(check.freeSpace, false) +
              " free, " + FormatSize(selectionBytes, false) + " needed)";
      return "";
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
  if (int code = 0; !MakeFolderChain(check.destination, code)) {
    error =
        "cannot create the destination folder " + check.destination + ": " + SystemErrorText(code);
    return "";
  }
  RememberDestination(check.destination);
  return check.destination;
}

// Decides the destination for `selectionBytes` (the plan's total), runs the recovery job
// while the live line is drawn, and leaves the run's record in `done`. "" on success; the
// reason when the run could not start.
std::string RunRecoveryJob(RecoveryRequest request, std::uint64_t selectionBytes,
                           const RecoverOptions& options, RecoveryProgress& done) {
  // Every item is listed when the output is read by a program (not a terminal, or JSON), or
  // when asked for; a person at a terminal sees the live line, the failures and the summary.
  bool listAll = options.json || options.verbose || ::isatty(STDOUT_FILENO) == 0;
  CStatusLine line(::isatty(STDERR_FILENO) != 0);
  CCliPrompt prompt(options, line);
  CCliEvents events(options, line, listAll);
  std::string error;
  request.destination = DecideDestination(options, selectionBytes, prompt, error);
  if (request.destination.empty()) return error;
  CRecoveryJob job(std::move(request), &prompt, &events);
  if (!job.Start()) return "the recovery could not start";
  RunProgressLoop(job, [&] { line.Draw(ProgressText(job.Snapshot())); });
  line.Clear();
  if (job.Result() != REC_S_OK) return "the recovery could not start";
  done = job.Snapshot().detail;
  return "";
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
  options.verbose = args.Flag("--verbose");
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
  RecoverySelection selection;
  for (const auto& t : recordTexts) {
    char* end = nullptr;
    unsigned long long n = std::strtoull(t.c_str(), &end, 10);
    if (t.empty() || !end || *end || n > 0xFFFFFFFFull) {
      PrintError("recover: '" + t + "' is not a record number");
      return kExitBadUsage;
    }
    selection.records.push_back(static_cast<std::uint32_t>(n));
  }
  selection.kind = !recordTexts.empty() ? RecoverySelection::Kind::kRecords
                   : havePath           ? RecoverySelection::Kind::kFolder
                                        : RecoverySelection::Kind::kAllDeleted;

  std::vector<char> letters;
  std::string error;
  if (!ResolveSource(words[0], letters, error)) {
    PrintError(error);
    return kExitBadUsage;
  }
  char pathLetter = 0;
  if (havePath) selection.folder = FolderFilterOf(pathText, pathLetter);
  if (pathLetter && std::find(letters.begin(), letters.end(), pathLetter) == letters.end()) {
    PrintError("recover: " + pathText + " is not a drive of " + words[0]);
    return kExitBadUsage;
  }
  // The recovery reads through a reader of its own; the catalogue's reader stays the index's.
  std::unique_ptr<CNtfsVolume> volume;
  CNtfsVolume* ntfs = nullptr;
  for (char letter : letters) {
    if (pathLetter && letter != pathLetter) continue;
    if ((volume = Session().NewReader(letter))) {
      ntfs = volume.get();
      options.letter = letter;
      break;
    }
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

  int indexExit = kExitOk;
  std::shared_ptr<const CFileIndex> published = IndexCatalogue(options.letter, indexExit);
  if (!published) return indexExit;
  const CFileIndex& index = *published;
  if (havePath && !Session().HasFolder(options.letter, pathText)) {
    PrintError("recover: no folder " + pathText);
    return kExitBadUsage;
  }
  CFileIndexCatalogue catalogue(index, ntfs);

  RecoveryPlan plan = PlanRecovery(*ntfs, catalogue, selection);
  // Still handed on, so they are counted and listed as failed like any other item.
  for (std::uint32_t r : plan.unknownRecords)
    std::fprintf(stderr, "sorvani: record %u is not a deleted file or folder with a name\n", r);
  if (plan.items.empty()) {
    std::fprintf(stderr, "sorvani: no deleted items to recover\n");
    return kExitOk;
  }

  RecoveryRequest request;
  request.volume = volume.get();
  request.catalogue = &catalogue;
  request.flags = RF_ALL_STREAMS | RF_FOLDER_ATTRIBUTES;
  if (firstStreamOnly) request.flags &= ~RF_ALL_STREAMS;
  if (noFolderAttributes) request.flags &= ~RF_FOLDER_ATTRIBUTES;
  if (options.quiet) request.flags |= RF_QUIET;
  request.items = std::move(plan.items);
  RecoveryProgress done;
  if (std::string failure = RunRecoveryJob(std::move(request), plan.totalBytes, options, done);
      !failure.empty()) {
    PrintError("recover: " + failure);
    return kExitBadUsage;
  }
  int code = PrintSummary(done);
  // Deleted items in unreadable MFT records were never tried: the run is not the whole drive.
  return indexExit == kExitItemsFailed ? kExitItemsFailed : code;
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
  RecoveryRequest request;
  if (!OpenVolume(letter, request.ownVolume) || !request.ownVolume) {
    PrintError("carve: the pictures could not be written");
    return kExitBadUsage;
  }
  request.flags = RF_RAW_RANGES;
  RecoveryPlan plan = PlanRawRanges(ranges);
  request.items = std::move(plan.items);
  RecoveryProgress p;
  if (std::string failure = RunRecoveryJob(std::move(request), plan.totalBytes, options, p);
      !failure.empty()) {
    PrintError("carve: " + (failure == "the recovery could not start"
                                ? std::string("the pictures could not be written")
                                : failure));
    return kExitBadUsage;
  }
  if (p.stopped) {
    // Pictures written in part (unreadable bytes) are on disk; the rest are not.
    std::uint64_t onDisk = std::uint64_t{p.filesRecovered} + p.filesReadError + p.filesBeyondEnd;
    std::uint64_t notWritten = ranges.size() > onDisk ? ranges.size() - onDisk : 0;
    std::fprintf(
        stderr,
        "sorvani: carve: stopped while writing: %llu of %zu found pictures were not written\n",
        static_cast<unsigned long long>(notWritten), ranges.size());
  }
  return PrintSummary(p);
}

}  // namespace sorvani::cli
