// The catalogue of deleted files and folders of one NTFS volume: every unused MFT record that
// still has a name, with the folders above it, so deleted trees can be shown where they lived.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory_resource>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/record_table.h"
#include "index/folder_names.h"
#include "index/record_reader.h"
#include "ntfs/ntfs_constants.h"

namespace sorvani {

inline constexpr std::uint32_t kIndexRootRecord = kRootRecord;
// Records 0 to 24 hold the system files and reserved slots; they are never orphan folders.
inline constexpr std::uint32_t kLastSystemRecord = 24;
inline constexpr std::uint32_t kAttrFolderBit = kFileAttrDirectory;
// Free records that still hold data but lost every name are listed in this orphan folder (no
// real record has the number) under a name made from their record number.
inline constexpr std::uint32_t kNamelessFolderRecord = 0xFFFFFFFFu;
// "Record 8767".
std::string NamelessEntryName(std::uint32_t record);

// The facts a list row shows of a deleted record besides its name, kept from when the
// record was indexed so lists and searches need not read it again.
struct EntryFacts {
  std::uint64_t size = 0;
  std::uint64_t created = 0;
  std::uint64_t modified = 0;
  std::uint32_t parent = 0;
  std::int32_t overwritten = 0;  // of the first $DATA; 0 for folders
};

struct FileIndexEntry {
  std::uint32_t record = 0;
  // Held in the catalogue's arena beside the entry itself, so a walk over the entries reads
  // memory in order rather than chasing one heap block per name.
  std::pmr::string name;
  std::uint32_t attributes = 0;
  std::uint32_t parent = 0;
  // Kept beside the entry, so a list row costs one visit to memory; see SetKeepFacts.
  bool hasFacts = false;
  EntryFacts facts;
  bool IsFolder() const { return (attributes & kAttrFolderBit) != 0; }
};

// One row of a file list or of the search results: an index entry with the facts of its
// freshly read record.
struct FileListRow {
  std::int32_t icon = 0;
  std::int32_t overwritten = 0;
  std::uint32_t record = 0;
  std::uint32_t parent = 0;
  std::string name;
  std::uint32_t attributes = 0;
  std::uint64_t size = 0;
  std::uint64_t created = 0;
  std::uint64_t modified = 0;
};

// Icons of the headless lists; a desktop view maps kIconFile to the icon of the file type.
inline constexpr std::int32_t kIconFolder = 0;
inline constexpr std::int32_t kIconFile = 1;

// Progress of the indexing thread, read by whoever polls it. Guarded by index_lock (inside
// index/ and app/ only); `stop`, when set, is a cancel flag read without the lock.
struct IndexProgress {
  std::uint8_t phase = 0;  // 0 none yet, 1 scanning, 2 saving the cache, 3 loading the cache
  std::uint32_t done = 0;
  std::uint32_t total = 0;
  std::int32_t cancel = 0;
  std::int32_t forceRescan = 0;
  std::uint8_t result = 0;  // how the last run ended, kEnum...; 0 while it runs
  const std::atomic<bool>* stop = nullptr;
  bool Cancelled() const { return cancel != 0 || (stop && stop->load(std::memory_order_relaxed)); }
};

enum : std::uint8_t { kPhaseNone = 0, kPhaseScanning = 1, kPhaseSaving = 2, kPhaseLoading = 3 };

// How an indexing run ended. Only the first two leave a catalogue of the drive; after the
// others the catalogue is empty or partial and belongs to no drive.
enum : std::uint8_t {
  kEnumRunning = 0,
  kEnumFromCache = 1,
  kEnumScanned = 2,
  kEnumCancelled = 3,
  kEnumNotNtfs = 4,
  kEnumUnreadable = 5,
};

class CFileIndex {
 public:
  using RecordSet = std::pmr::set<std::uint32_t>;

  CFileIndex();
  CFileIndex(const CFileIndex&) = delete;
  CFileIndex& operator=(const CFileIndex&) = delete;

  void Clear();
  // Records below `records` (the volume's MFT size) are kept in the paged tables, the rest in
  // hash maps; raising it above the tables' default is all a large volume needs.
  void SetRecordLimit(std::uint32_t records);
  const FileIndexEntry* FindEntry(std::uint32_t record) const;
  // Child records filed under `folder`, in the order they were added.
  std::vector<std::uint32_t> ChildrenOf(std::uint32_t folder) const;
  // Walks the children of one folder in insertion order; *it is the child's record.
  class ChildIterator {
   public:
    ChildIterator(const CFileIndex* index, std::uint32_t link) : m_index(index), m_link(link) {}
    std::uint32_t operator*() const { return m_index->m_links[m_link - 1].child; }
    ChildIterator& operator++() {
      m_link = m_index->m_links[m_link - 1].next;
      return *this;
    }
    bool operator==(const ChildIterator& o) const { return m_link == o.m_link; }
    bool operator!=(const ChildIterator& o) const { return m_link != o.m_link; }

   private:
    const CFileIndex* m_index;
    std::uint32_t m_link;  // 1-based position in m_links, 0 at the end
  };
  std::pair<ChildIterator, ChildIterator> ChildRange(std::uint32_t folder) const {
    return {ChildIterator(this, m_firstLink.Get(folder)), ChildIterator(this, 0)};
  }
  bool IsOrphanFolder(std::uint32_t record) const { return m_flags.Get(record) & kFlagOrphan; }
  bool IsLiveFolderWithDeleted(std::uint32_t record) const {
    return m_flags.Get(record) & kFlagLive;
  }
  std::size_t EntryCount() const { return m_entries.size(); }

  // Calls fn(entry) for every entry in record order; fn returns false to stop.
  template <typename Fn>
  void ForEachEntry(Fn&& fn) const {
    bool going = true;
    m_entryByRecord.ForEachSlot([&](std::uint32_t, const FileIndexEntry* entry) {
      if (going && entry) going = fn(*entry);
    });
  }
  // Every (parent, child) link, by parent, each parent's children in insertion order.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> Children() const;
  std::size_t ChildCount() const { return m_links.size(); }
  const RecordSet& OrphanFolders() const { return m_orphanFolders; }
  const RecordSet& LiveFolders() const { return m_liveFolders; }
  // The names of the folders above the entries, filled as paths are asked for; locks
  // inside, so a published (const) catalogue still takes names from any thread. Clear empties it.
  CFolderNames& FolderNames() const { return m_folderNames; }

  // Raw insertions, for the walk and the cache loader. An entry whose record is present
  // already is left as it was.
  bool InsertEntry(std::uint32_t record, std::string_view name, std::uint32_t attributes,
                   std::uint32_t parent);
  void InsertChild(std::uint32_t parent, std::uint32_t child);
  void InsertOrphanFolder(std::uint32_t record) {
    if (SetFlag(record, kFlagOrphan)) m_orphanFolders.insert(record);
  }
  // A folder that was filed as an orphan folder and has been placed since.
  void RemoveOrphanFolder(std::uint32_t record) {
    if (m_orphanFolders.erase(record) != 0)
      m_flags.Ref(record) &= static_cast<std::uint8_t>(~kFlagOrphan);
  }
  void InsertLiveFolder(std::uint32_t record) {
    if (SetFlag(record, kFlagLive)) m_liveFolders.insert(record);
  }

  // With `keep`, IndexUnusedRecord also reads the details of each entry it adds (while the
  // record is at hand) and keeps them for FindFacts. Off until set; Clear keeps the setting.
  void SetKeepFacts(bool keep) { m_keepFacts = keep; }
  // The kept details of an entry; nullptr when none were kept (read the record instead).
  const EntryFacts* FindFacts(std::uint32_t record) const {
    const FileIndexEntry* entry = m_entryByRecord.Get(record);
    return entry && entry->hasFacts ? &entry->facts : nullptr;
  }

  // Adds one unused record and whatever of its folder chain is not indexed yet. Each record
  // load happens under index_lock. A corrupt record adds nothing (or, met as a parent, files
  // its children under an orphan folder) and the scan goes on; the result says whether a
  // record of the walk could not be read from the device, so the scan can stop and say so.
  RecordLoad IndexUnusedRecord(IRecordReader& reader, std::uint32_t start);
  // Records of the walks since Clear that could not be read from the device, and the first.
  std::uint64_t UnreadableRecords() const { return m_unreadableRecords; }
  std::uint32_t FirstUnreadableRecord() const { return m_firstUnreadableRecord; }

 private:
  void KeepFacts(IRecordReader& reader, std::uint32_t record, const std::string& name,
                 std::uint32_t attributes);
  // The same from the record the walk has just read in full into m_details.
  void KeepLoadedFacts(IRecordReader& reader, std::uint32_t record, std::uint32_t attributes);
  // Files the unused record `record` that has no name as an entry of the nameless orphan
  // folder when it holds data; `detailed`: m_details holds it read in full. False when it is
  // not such a record.
  bool IndexNameless(IRecordReader& reader, std::uint32_t record, bool detailed);
  // Puts the facts of `details` on the entry of `record`, unless it has some already.
  void StoreFacts(std::uint32_t record, const RecordDetails& details, std::int32_t overwritten);

  enum : std::uint8_t {
    kFlagLive = 1,     // in m_liveFolders
    kFlagOrphan = 2,   // in m_orphanFolders
    kFlagSettled = 4,  // see IndexUnusedRecord
    kFlagWalkedOn = 8,
  };
  // Sets `flag` of `record`; true when it was not set before.
  bool SetFlag(std::uint32_t record, std::uint8_t flag) {
    std::uint8_t& bits = m_flags.Ref(record);
    if (bits & flag) return false;
    bits |= flag;
    return true;
  }

  // Entry names and the nodes of the ordered sets come from one arena: the index only grows
  // until the next Clear, which drops the arena whole. Entries are kept in the order they
  // were added (a deque does not move them) and found, and walked in record order, through
  // the record table.
  std::pmr::monotonic_buffer_resource m_arena;
  std::deque<FileIndexEntry> m_entries;
  // Child links in insertion order, chained per parent.
  struct ChildLink {
    std::uint32_t parent;
    std::uint32_t child;
    std::uint32_t next;  // 1-based position of the parent's next link, 0 for none
  };
  std::vector<ChildLink> m_links;
  RecordTable<std::uint32_t> m_firstLink;  // 1-based, per parent
  RecordTable<std::uint32_t> m_lastLink;
  RecordSet m_orphanFolders;
  RecordSet m_liveFolders;
  RecordTable<FileIndexEntry*> m_entryByRecord;
  // kFlagSettled: records the walk has read whose second reading could only end the walk
  // without changing the index (named live folders, system records, folders that became
  // orphan folders): the walk ends there without reading them again.
  // kFlagWalkedOn: records a walk has already gone on from to their parent: every later walk
  // that reaches one would repeat the same steps, none of which could change the index again.
  RecordTable<std::uint8_t> m_flags;
  bool m_keepFacts = false;
  mutable CFolderNames m_folderNames;
  RecordDetails m_details;                   // scratch of IndexUnusedRecord
  std::vector<std::uint32_t> m_walkVisited;  // scratch of IndexUnusedRecord
  std::set<std::uint32_t> m_walkVisitedLarge;
  std::uint64_t m_unreadableRecords = 0;
  std::uint32_t m_firstUnreadableRecord = 0;
};

// The process-wide catalogue and progress block, for the synchronous callers that still fill
// one catalogue per process (the recovery command, its tests). The lock guards the progress
// blocks and the record loads inside the indexing; callers outside index/ and app/ never take it.
extern CFileIndex file_index;
extern IndexProgress index_progress;
extern std::mutex index_lock;

}  // namespace sorvani
