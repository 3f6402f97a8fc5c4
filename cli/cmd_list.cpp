// `sorvani list SOURCE [--path P] [--recursive] [--deleted-only] [--json] [--cache]`: the
// folder model of a drive, existing and deleted items side by side.
#include <cstdio>
#include <memory>
#include <mutex>
#include <set>

#include "cli/catalogue_common.h"
#include "cli/cmd_catalogue.h"
#include "index/enum_thread.h"
#include "index/folder_model.h"
#include "index/ntfs_record_reader.h"
#include "foundation/display_format.h"
#include "foundation/record_table.h"
#include "ntfs/ntfs_volume.h"

namespace sorvani::cli {
namespace {

class CLister {
 public:
  CLister(char letter, bool json, bool recursive, bool deletedOnly)
      : m_volume(NtfsVolumeFor(letter)),
        m_reader(NtfsVolumeFor(letter)),
        m_live(NtfsVolumeFor(letter)),
        m_model(letter, file_index, m_reader, m_live),
        m_json(json),
        m_recursive(recursive),
        m_deletedOnly(deletedOnly) {
    m_model.SetDeletedOnly(deletedOnly);
    // A cut-off volume is listed whole; each deleted file whose data reaches past the end
    // is named on stderr. The check reads through a reader of its own.
    if (CNtfsVolume* shared = NtfsVolumeFor(letter); shared && shared->MissingBytes() != 0) {
      m_cutOff = std::make_unique<CNtfsVolume>();
      if (!m_cutOff->Initialize(letter)) m_cutOff.reset();
    }
  }

  int PastEnd() const { return m_pastEnd; }

  CFolderModel& Model() { return m_model; }

  void Walk(const FolderNode& start) {
    // Deleted folders can name each other as parents; each is entered once.
    std::vector<FolderNode> stack{start};
    std::set<std::pair<int, std::uint32_t>> entered;
    std::vector<FolderItem> items;
    while (!stack.empty()) {
      FolderNode folder = std::move(stack.back());
      stack.pop_back();
      std::uint64_t unreadableBefore = m_volume ? m_volume->UnreadableIndexBlocks() : 0;
      bool listed = m_model.List(folder, items);
      if (folder.kind == FolderKind::Existing) ReportLiveListing(folder, listed, unreadableBefore);
      std::vector<FolderNode> below;
      for (const FolderItem& item : items) {
        // In a recursive deleted-only listing the existing folders are only the way down.
        if (!(m_recursive && m_deletedOnly && !item.deleted)) Print(folder.path, item);
        if (item.deleted && !item.orphan) m_printed.Ref(item.row.record) = true;
        if (m_recursive && item.IsFolder()) {
          FolderNode node = m_model.Enter(folder, item);
          if (node.record != 0 &&
              entered.insert({static_cast<int>(node.kind), node.record}).second)
            below.push_back(std::move(node));
        }
      }
      stack.insert(stack.end(), below.rbegin(), below.rend());
    }
  }

  // Entries the tree cannot reach (a parent chain that loops, a system folder that is not
  // browsed, a reserved record as parent) are listed with the path their chain spells.
  void ListUnreached() {
    file_index.ForEachEntry([&](const FileIndexEntry& entry) {
      const std::uint32_t record = entry.record;
      if (m_printed.Get(record)) return true;
      std::string path;
      {
        std::lock_guard<std::mutex> lock(index_lock);
        m_reader.RegisterParentFolders(entry.parent);
        path = m_reader.FolderPath(entry.parent);
      }
      FolderItem item;
      item.deleted = true;
      item.row.record = record;
      item.row.parent = entry.parent;
      item.row.name = entry.name;
      item.row.attributes = entry.attributes;
      if (const EntryFacts* facts = file_index.FindFacts(record)) {
        item.row.size = facts->size;
        item.row.created = facts->created;
        item.row.modified = facts->modified;
        item.row.overwritten = facts->overwritten;
        Print(path, item);
        return true;
      }
      RecordDetails details;
      std::lock_guard<std::mutex> lock(index_lock);
      if (m_reader.LoadDetails(record, !entry.IsFolder(), details)) {
        item.row.size = details.size;
        item.row.created = details.created;
        item.row.modified = details.modified;
        item.row.overwritten = entry.IsFolder() ? 0 : details.overwritten;
      }
      Print(path, item);
      return true;
    });
  }

  int ListFailures() const { return m_listFailures; }

  // Says on stderr what a damaged folder index kept out of the listing: the whole folder,
  // or the blocks of it that could not be read. Either makes the listing incomplete.
  void ReportLiveListing(const FolderNode& folder, bool listed, std::uint64_t unreadableBefore) {
    std::uint64_t unreadable = (m_volume ? m_volume->UnreadableIndexBlocks() : 0) - unreadableBefore;
    if (listed && unreadable == 0) return;
    m_listFailures++;
    Flush();
    std::fflush(stdout);
    std::string where = "list: " + EscapeControlCharacters(folder.path) + ": ";
    if (!listed)
      PrintError(where + "the folder's index cannot be read; its existing items are not listed");
    else
      PrintError(where + std::to_string(unreadable) + " block" + (unreadable == 1 ? "" : "s") +
                 " of the folder's index cannot be read; the existing items in " +
                 (unreadable == 1 ? "it" : "them") + " are not listed");
  }

  void Flush() {
    if (!m_out.empty()) std::fwrite(m_out.data(), 1, m_out.size(), stdout);
    m_out.clear();
  }
  ~CLister() { Flush(); }

 private:
  void Print(const std::string& path, const FolderItem& item) {
    if (m_cutOff && item.deleted && !item.orphan && !item.IsFolder()) {
      CNtfsFile file;
      std::uint64_t past = 0;
      if (file.LoadRecord(m_cutOff.get(), item.row.record, false) && (past = file.DataBytesPastEnd()) != 0) {
        ++m_pastEnd;
        std::fprintf(stderr, "sorvani: note: deleted file of record %lu: %llu bytes of its data lie past the end of the source\n",
                     static_cast<unsigned long>(item.row.record), static_cast<unsigned long long>(past));
      }
    }
    CatalogueRow row{item.row, path, item.deleted, item.orphan};
    if (m_json) {
      // Rows gather in one buffer and leave in large writes.
      AppendRowJson(m_out, row, '\n');
      if (m_out.size() >= kOutputChunk) Flush();
    } else {
      PrintTableRow(row);
    }
  }

  CNtfsVolume* m_volume;
  std::unique_ptr<CNtfsVolume> m_cutOff;  // set only for a volume cut off by its source
  int m_pastEnd = 0;
  CNtfsRecordReader m_reader;
  CNtfsIndexLister m_live;
  CFolderModel m_model;
  bool m_json, m_recursive, m_deletedOnly;
  RecordTable<bool> m_printed;
  int m_listFailures = 0;
  static constexpr std::size_t kOutputChunk = 1 << 16;
  std::string m_out;
};

}  // namespace

bool DriveHasFolder(char letter, const std::string& path) {
  std::string rest = path;
  if (rest.size() >= 2 && rest[1] == ':') rest.erase(0, 2);
  std::string folder = std::string(1, letter) + ":\\";
  for (char c : rest) folder += c == '/' ? '\\' : c;
  CNtfsRecordReader reader(NtfsVolumeFor(letter));
  CNtfsIndexLister live(NtfsVolumeFor(letter));
  CFolderModel model(letter, file_index, reader, live);
  FolderNode node;
  return model.Resolve(folder, node);
}

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
  std::vector<char> letters;
  int exitCode = kExitOk;
  if (!ResolveNtfsSource(words[0], useCache, letters, exitCode)) return exitCode;
  if (hasPath && path.size() >= 2 && path[1] == ':') {
    char wanted = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
    std::erase_if(letters, [&](char l) { return l != wanted; });
    if (letters.empty()) {
      PrintError("list: " + path + " is not a drive of " + words[0]);
      return kExitBadUsage;
    }
  }

  if (!json) PrintTableHeader();
  int result = kExitOk;
  for (char letter : letters) {
    if (!IndexLetter(letter, useCache, exitCode)) return exitCode;
    CLister lister(letter, json, recursive, deletedOnly);
    FolderNode start = lister.Model().Root();
    if (hasPath && !lister.Model().Resolve(path, start)) {
      PrintError("list: no folder " + path);
      return kExitBadUsage;
    }
    lister.Walk(start);
    if (recursive && start.path.size() == 3) lister.ListUnreached();
    if (lister.ListFailures()) result = kExitItemsFailed;
    if (CNtfsVolume* volume = NtfsVolumeFor(letter); volume && volume->MissingBytes() != 0) {
      std::fprintf(stderr,
                   "sorvani: note: drive %c: is cut off: %llu bytes of the volume lie past the end of the "
                   "source; %d deleted files listed have data there\n",
                   letter, static_cast<unsigned long long>(volume->MissingBytes()), lister.PastEnd());
    }
  }
  std::fflush(stdout);
  return result;
}

}  // namespace sorvani::cli
