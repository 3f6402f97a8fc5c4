// The catalogue of deleted files and folders of one NTFS volume: every unused MFT record that
// still has a name, with the folders above it, so deleted trees can be shown where they lived.
#pragma once

#include <cstdint>
#include <map>
#include <memory_resource>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "index/record_reader.h"

namespace sorvani {

class CNtfsVolume;

inline constexpr std::uint32_t kIndexRootRecord = 5;
// Records 0 to 24 hold the system files and reserved slots; they are never orphan folders.
inline constexpr std::uint32_t kLastSystemRecord = 24;
inline constexpr std::uint32_t kAttrFolderBit = 0x10;

struct FileIndexEntry {
  std::uint32_t record = 0;
  std::string name;
  std::uint32_t attributes = 0;
  std::uint32_t parent = 0;
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

// The facts a list row shows of a deleted record besides its name, kept from when the
// record was indexed so lists and searches need not read it again.
struct EntryFacts {
  std::uint64_t size = 0;
  std::uint64_t created = 0;
  std::uint64_t modified = 0;
  std::uint32_t parent = 0;
  std::int32_t overwritten = 0;  // of the first $DATA; 0 for folders
};

// Icons of the headless lists; a desktop view maps kIconFile to the icon of the file type.
inline constexpr std::int32_t kIconFolder = 0;
inline constexpr std::int32_t kIconFile = 1;

// Progress of the indexing thread, read by the dialog that polls it. Guarded by index_lock.
struct IndexProgress {
  std::uint8_t phase = 0;  // 0 none yet, 1 scanning, 2 saving the cache, 3 loading the cache
  std::uint32_t done = 0;
  std::uint32_t total = 0;
  std::int32_t cancel = 0;
  std::int32_t forceRescan = 0;
};

enum : std::uint8_t { kPhaseNone = 0, kPhaseScanning = 1, kPhaseSaving = 2, kPhaseLoading = 3 };

class CFileIndex {
 public:
  using EntryMap = std::pmr::map<std::uint32_t, FileIndexEntry>;
  using ChildMap = std::pmr::multimap<std::uint32_t, std::uint32_t>;
  using RecordSet = std::pmr::set<std::uint32_t>;
  using FactsMap = std::pmr::map<std::uint32_t, EntryFacts>;

  CFileIndex();
  CFileIndex(const CFileIndex&) = delete;
  CFileIndex& operator=(const CFileIndex&) = delete;

  void Clear();
  const FileIndexEntry* FindEntry(std::uint32_t record) const;
  // Child records filed under `folder`, in the order they were added.
  std::vector<std::uint32_t> ChildrenOf(std::uint32_t folder) const;
  std::pair<ChildMap::const_iterator, ChildMap::const_iterator> ChildRange(
      std::uint32_t folder) const {
    return m_children.equal_range(folder);
  }
  bool IsOrphanFolder(std::uint32_t record) const { return m_orphanFolders.count(record) != 0; }
  bool IsLiveFolderWithDeleted(std::uint32_t record) const {
    return m_liveFolders.count(record) != 0;
  }
  std::size_t EntryCount() const { return m_entries.size(); }

  const EntryMap& Entries() const { return m_entries; }
  const ChildMap& Children() const { return m_children; }
  const RecordSet& OrphanFolders() const { return m_orphanFolders; }
  const RecordSet& LiveFolders() const { return m_liveFolders; }

  // Raw insertions, for the walk and the cache loader. An entry whose record is present
  // already is left as it was.
  bool InsertEntry(std::uint32_t record, std::string_view name, std::uint32_t attributes,
                   std::uint32_t parent);
  void InsertChild(std::uint32_t parent, std::uint32_t child) { m_children.emplace(parent, child); }
  void InsertOrphanFolder(std::uint32_t record) { m_orphanFolders.insert(record); }
  void InsertLiveFolder(std::uint32_t record) { m_liveFolders.insert(record); }

  // With `keep`, IndexUnusedRecord also reads the details of each entry it adds (while the
  // record is at hand) and keeps them for FindFacts. Off until set; Clear keeps the setting.
  void SetKeepFacts(bool keep) { m_keepFacts = keep; }
  // The kept details of an entry; nullptr when none were kept (read the record instead).
  const EntryFacts* FindFacts(std::uint32_t record) const {
    auto it = m_facts.find(record);
    return it == m_facts.end() ? nullptr : &it->second;
  }

  // Adds one unused record and whatever of its folder chain is not indexed yet. Each record
  // load happens under index_lock.
  void IndexUnusedRecord(IRecordReader& reader, std::uint32_t start);

 private:
  void KeepFacts(IRecordReader& reader, std::uint32_t record, const std::string& name,
                 std::uint32_t attributes);

  // Nodes of all four containers come from one arena: the index only grows until the next
  // Clear, which drops the arena whole.
  std::pmr::monotonic_buffer_resource m_arena;
  EntryMap m_entries;
  ChildMap m_children;
  RecordSet m_orphanFolders;
  RecordSet m_liveFolders;
  // Live records the walk has read whose second reading could only end the walk (named
  // folders, and system records): the walk ends there without reading them again.
  RecordSet m_liveSettled;
  // Records a walk has already gone on from to their parent: every later walk that reaches
  // one would repeat the same steps, none of which could change the index again.
  RecordSet m_walkedOn;
  FactsMap m_facts;
  bool m_keepFacts = false;
  std::vector<std::uint32_t> m_walkVisited;  // scratch of IndexUnusedRecord
  std::set<std::uint32_t> m_walkVisitedLarge;
};

// The process-wide catalogue, its progress block and the lock of both and of every record load
// on a shared volume reader.
extern CFileIndex file_index;
extern IndexProgress index_progress;
extern std::mutex index_lock;

// The walk of IndexUnusedRecord on the process-wide index, through the NTFS reader of `volume`.
void IndexUnusedRecord(CNtfsVolume* volume, std::uint32_t record);

}  // namespace sorvani
