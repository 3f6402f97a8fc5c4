// `sorvani list SOURCE [--path P] [--recursive] [--deleted-only] [--json] [--cache]`: the
// folder model of a drive, existing and deleted items side by side.
#include <cstdio>
#include <memory>

#include "app/listing_job.h"
#include "app/session.h"
#include "app/volume_path.h"
#include "cli/catalogue_common.h"
#include "cli/cmd_catalogue.h"
#include "disk/drive_table.h"
#include "foundation/display_format.h"
#include "index/folder_model.h"
#include "index/ntfs_record_reader.h"
#include "ntfs/ntfs_volume.h"

namespace sorvani::cli {
namespace {

// Prints the listing's rows as they come (on the listing's thread, while the command waits).
class CListPrinter : public IListingSink {
 public:
  explicit CListPrinter(bool json) : m_json(json) {}
  ~CListPrinter() override { Flush(); }

  void OnRow(const CatalogueRow& row) override {
    if (m_json) {
      // Rows gather in one buffer and leave in large writes.
      AppendRowJson(m_out, row, '\n');
      if (m_out.size() >= kOutputChunk) Flush();
    } else {
      PrintTableRow(row);
    }
  }

  // Says on stderr what a damaged folder index kept out of the listing: the whole folder,
  // or the blocks of it that could not be read. Either makes the listing incomplete.
  void OnFolderProblem(const std::string& path, bool listed, std::uint64_t unreadable) override {
    Flush();
    std::fflush(stdout);
    std::string where = "list: " + EscapeControlCharacters(path) + ": ";
    if (!listed)
      PrintError(where + "the folder's index cannot be read; its existing items are not listed");
    else
      PrintError(where + std::to_string(unreadable) + " block" + (unreadable == 1 ? "" : "s") +
                 " of the folder's index cannot be read; the existing items in " +
                 (unreadable == 1 ? "it" : "them") + " are not listed");
  }

  void OnDataPastEnd(std::uint32_t record, std::uint64_t bytes) override {
    std::fprintf(stderr,
                 "sorvani: note: deleted file of record %lu: %llu bytes of its data lie past the "
                 "end of the source\n",
                 static_cast<unsigned long>(record), static_cast<unsigned long long>(bytes));
  }

  void Flush() {
    if (!m_out.empty()) std::fwrite(m_out.data(), 1, m_out.size(), stdout);
    m_out.clear();
  }

 private:
  static constexpr std::size_t kOutputChunk = 1 << 16;
  bool m_json;
  std::string m_out;
};

}  // namespace

int RunList(Args& args) {
  bool json = args.Flag("--json");
  bool recursive = args.Flag("--recursive");
  bool deletedOnly = args.Flag("--deleted-only");
  bool useCache = args.Flag("--cache");
  std::string path;
  bool missing = false;
  bool hasPath = args.Option("--path", path, missing);
  const char* usage =
      "usage: sorvani list SOURCE [--path \"X:\\\\folder\\\\\"] [--recursive] [--deleted-only] "
      "[--json] [--cache]";
  if (missing) {
    PrintError(usage);
    return kExitBadUsage;
  }
  if (std::string extra = args.Leftover(); !extra.empty()) {
    PrintError("list: unknown option " + extra);
    return kExitBadUsage;
  }
  auto words = args.Positionals();
  if (words.size() != 1) {
    PrintError(usage);
    return kExitBadUsage;
  }
  VolumePath wanted;
  if (std::string error; hasPath && !ParseVolumePath(path, wanted, error)) {
    PrintError("list: " + error);
    return kExitBadUsage;
  }
  std::vector<char> letters;
  int exitCode = kExitOk;
  if (!ResolveNtfsSource(words[0], useCache, letters, exitCode)) return exitCode;
  if (hasPath && wanted.letter != 0) {
    std::erase_if(letters, [&](char l) { return l != wanted.letter; });
    if (letters.empty()) {
      PrintError("list: " + path + " is not a drive of " + words[0]);
      return kExitBadUsage;
    }
  }

  if (!json) PrintTableHeader();
  int result = kExitOk;
  for (char letter : letters) {
    if (!IndexLetter(letter, useCache, exitCode)) return exitCode;
    if (exitCode == kExitItemsFailed) result = kExitItemsFailed;
    ListingOptions options;
    options.path = hasPath ? path : std::string();
    options.recursive = recursive;
    options.deletedOnly = deletedOnly;
    CListPrinter printer(json);
    CListingJob job(Session(), letter, options, &printer);
    job.Start();
    job.Wait();
    printer.Flush();
    ListingSnapshot done = job.Snapshot();
    if (done.outcome == kListingNoFolder) {
      PrintError("list: no folder " + path);
      return kExitBadUsage;
    }
    if (done.outcome == kListingUnreadable) {
      PrintError(std::string(1, letter) + ": the NTFS volume cannot be read");
      return kExitBadUsage;
    }
    if (done.folderProblems) result = kExitItemsFailed;
    if (done.missingBytes != 0) {
      std::fprintf(
          stderr,
          "sorvani: note: drive %c: is cut off: %llu bytes of the volume lie past the end of the "
          "source; %d deleted files listed have data there\n",
          letter, static_cast<unsigned long long>(done.missingBytes), done.pastEnd);
    }
  }
  std::fflush(stdout);
  return result;
}

}  // namespace sorvani::cli
