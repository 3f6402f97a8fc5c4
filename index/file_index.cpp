#include "index/file_index.h"

#include <algorithm>

#include "foundation/name_compare.h"

namespace sorvani {

CFileIndex file_index;
IndexProgress index_progress;
std::mutex index_lock;

namespace {

// Chains are short; a long one (a hostile volume) switches to a set so the loop test stays cheap.
constexpr std::size_t kVisitedLinearLimit = 64;

}  // namespace

std::string NamelessEntryName(std::uint32_t record) { return "Record " + std::to_string(record); }

bool IRecordReader::SameNameNoCase(std::string_view a, std::string_view b) {
  return SameTextNoCase(a, b);
}

CFileIndex::CFileIndex() : m_orphanFolders(&m_arena), m_liveFolders(&m_arena) {}

void CFileIndex::Clear() {
  m_entries.clear();  // before the arena goes: the names live there
  m_links.clear();
  m_links.shrink_to_fit();
  m_firstLink.Clear();
  m_lastLink.Clear();
  m_orphanFolders.clear();
  m_liveFolders.clear();
  m_entryByRecord.Clear();
  m_flags.Clear();
  m_folderNames.Clear();
  m_arena.release();
  m_unreadableRecords = 0;
  m_firstUnreadableRecord = 0;
}

void CFileIndex::SetRecordLimit(std::uint32_t records) {
  const std::uint32_t limit = std::max(records, RecordTable<std::uint8_t>::kDefaultDenseLimit);
  m_entryByRecord.SetDenseLimit(limit);
  m_flags.SetDenseLimit(limit);
  m_firstLink.SetDenseLimit(limit);
  m_lastLink.SetDenseLimit(limit);
}

const FileIndexEntry* CFileIndex::FindEntry(std::uint32_t record) const {
  return m_entryByRecord.Get(record);
}

std::vector<std::uint32_t> CFileIndex::ChildrenOf(std::uint32_t folder) const {
  std::vector<std::uint32_t> out;
  auto [first, last] = ChildRange(folder);
  for (auto it = first; it != last; ++it) out.push_back(*it);
  return out;
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> CFileIndex::Children() const {
  std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
  out.reserve(m_links.size());
  for (const ChildLink& link : m_links) out.emplace_back(link.parent, link.child);
  std::stable_sort(out.begin(), out.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  return out;
}

void CFileIndex::InsertChild(std::uint32_t parent, std::uint32_t child) {
  // A cache file is bounded in size, and the walk adds one link per entry, so the count
  // stays far below 2^32; refuse rather than wrap should it not.
  if (m_links.size() >= 0xFFFFFFFEu) return;
  m_links.push_back({parent, child, 0});
  auto id = static_cast<std::uint32_t>(m_links.size());
  std::uint32_t& last = m_lastLink.Ref(parent);
  if (last) {
    m_links[last - 1].next = id;
  } else {
    m_firstLink.Ref(parent) = id;
  }
  last = id;
}

bool CFileIndex::InsertEntry(std::uint32_t record, std::string_view name, std::uint32_t attributes,
                             std::uint32_t parent) {
  FileIndexEntry*& slot = m_entryByRecord.Ref(record);
  if (slot) return false;
  FileIndexEntry entry;
  entry.record = record;
  entry.name = std::pmr::string(name, &m_arena);  // a moved string keeps its allocator
  entry.attributes = attributes;
  entry.parent = parent;
  m_entries.push_back(std::move(entry));
  slot = &m_entries.back();
  return true;
}

void CFileIndex::KeepLoadedFacts(IRecordReader& reader, std::uint32_t record,
                                 std::uint32_t attributes) {
  std::int32_t overwritten = 0;
  if (!(attributes & kAttrFolderBit)) {
    std::lock_guard<std::mutex> lock(index_lock);
    overwritten = reader.LoadedOverwritten();
  }
  StoreFacts(record, m_details, overwritten);
}

void CFileIndex::KeepFacts(IRecordReader& reader, std::uint32_t record, const std::string& name,
                           std::uint32_t attributes) {
  const bool folder = (attributes & kAttrFolderBit) != 0;
  RecordDetails details;
  bool loaded;
  {
    std::lock_guard<std::mutex> lock(index_lock);
    loaded = reader.LoadDetails(record, !folder, details);
  }
  // A record that fails now, or names itself differently, is read again where it is shown,
  // so that path reports it as it always has.
  if (!loaded || details.name != name) return;
  StoreFacts(record, details, folder ? 0 : details.overwritten);
}

void CFileIndex::StoreFacts(std::uint32_t record, const RecordDetails& details,
                            std::int32_t overwritten) {
  FileIndexEntry* entry = m_entryByRecord.Get(record);
  if (!entry || entry->hasFacts) return;
  entry->facts = {details.size, details.created, details.modified, details.parent, overwritten};
  entry->hasFacts = true;
}

bool CFileIndex::IndexNameless(IRecordReader& reader, std::uint32_t record, bool detailed) {
  RecordDetails read;
  if (!detailed) {
    std::lock_guard<std::mutex> lock(index_lock);
    if (!reader.LoadDetails(record, false, read)) return false;
  }
  RecordDetails& details = detailed ? m_details : read;
  // Without data there is nothing to give back; a folder's index alone is not a file.
  if (!details.hasData || details.inUse || (!detailed && !details.name.empty())) return false;
  const std::uint32_t attributes = details.attributes & ~kAttrFolderBit;
  InsertEntry(record, NamelessEntryName(record), attributes, kNamelessFolderRecord);
  InsertChild(kNamelessFolderRecord, record);
  InsertOrphanFolder(kNamelessFolderRecord);
  if (m_keepFacts) {
    details.parent = kNamelessFolderRecord;
    std::int32_t overwritten;
    {
      std::lock_guard<std::mutex> lock(index_lock);
      overwritten = reader.LoadedOverwritten();
    }
    StoreFacts(record, details, overwritten);
  }
  return true;
}

RecordLoad CFileIndex::IndexUnusedRecord(IRecordReader& reader, std::uint32_t start) {
  m_walkVisited.clear();
  m_walkVisitedLarge.clear();
  auto visited = [this](std::uint32_t r) {
    if (!m_walkVisitedLarge.empty()) return m_walkVisitedLarge.count(r) != 0;
    return std::find(m_walkVisited.begin(), m_walkVisited.end(), r) != m_walkVisited.end();
  };
  auto visit = [this](std::uint32_t r) {
    if (!m_walkVisitedLarge.empty()) {
      m_walkVisitedLarge.insert(r);
    } else if (m_walkVisited.size() < kVisitedLinearLimit) {
      m_walkVisited.push_back(r);
    } else {
      m_walkVisitedLarge.insert(m_walkVisited.begin(), m_walkVisited.end());
      m_walkVisitedLarge.insert(r);
    }
  };

  RecordNames loaded;
  bool stop = false;
  RecordLoad outcome = RecordLoad::kOk;
  std::uint32_t current = start;
  for (;;) {
    if (current == kIndexRootRecord) return outcome;
    std::string_view name;
    std::uint32_t attributes = 0;
    std::uint32_t parent = 0;
    if (const FileIndexEntry* entry = FindEntry(current)) {
      name = entry->name;
      attributes = entry->attributes;
      parent = entry->parent;
    } else if ((m_flags.Get(current) & kFlagSettled) && current != start) {
      // Reading it again would end the walk here and change nothing. (An unused record met
      // first as a parent is still read as itself: it may be a file that lost its name.)
      return outcome;
    } else {
      loaded = RecordNames{};
      bool valid = false;
      bool detailed = false;  // `details` holds the record read in full
      {
        std::lock_guard<std::mutex> lock(index_lock);
        // While details are kept, one full read serves both the names and the details; a
        // record that fails in full is read again for its names alone, as without details.
        if (m_keepFacts) detailed = valid = reader.LoadDetails(current, false, m_details);
        if (detailed) {
          loaded.inUse = m_details.inUse;
          loaded.name = std::move(m_details.name);
          loaded.attributes = m_details.attributes;
          loaded.parent = m_details.parent;
        } else {
          valid = reader.LoadNames(current, loaded);
        }
      }
      attributes = loaded.attributes;
      parent = loaded.parent;
      if (!valid) {
        stop = true;
        if (reader.LastLoadFailure() == RecordLoad::kDeviceError) {
          if (m_unreadableRecords++ == 0) m_firstUnreadableRecord = current;
          outcome = RecordLoad::kDeviceError;
        } else if (current == start) {
          outcome = RecordLoad::kCorrupt;
        }
      } else if (!loaded.inUse && !loaded.name.empty()) {
        InsertEntry(current, loaded.name, attributes, parent);
        InsertChild(parent, current);
        if (detailed) {
          KeepLoadedFacts(reader, current, attributes);
        } else if (m_keepFacts) {
          KeepFacts(reader, current, loaded.name, attributes);
        }
        name = loaded.name;
      } else if (current == start && !loaded.inUse && loaded.name.empty() &&
                 current > kLastSystemRecord && IndexNameless(reader, current, detailed)) {
        return outcome;
      } else {
        name = loaded.name;
        if (IsLiveFolderWithDeleted(current)) {
          stop = true;
        } else {
          InsertLiveFolder(current);
          if (current <= kLastSystemRecord || (!name.empty() && (attributes & kAttrFolderBit)))
            SetFlag(current, kFlagSettled);
        }
      }
    }
    // A folder that is unreadable, nameless or now something other than a folder: its
    // deleted children are shown under an orphan folder named after it.
    if (current != start && current > kLastSystemRecord &&
        (name.empty() || !(attributes & kAttrFolderBit))) {
      InsertOrphanFolder(current);
      // A record read here (not an entry) reads the same next time: the walk would stop at it
      // (it is unreadable or a live folder by now) and file the same orphan folder again.
      if (!FindEntry(current)) SetFlag(current, kFlagSettled);
      return outcome;
    }
    if (visited(parent)) stop = true;
    visit(current);
    if (stop) return outcome;
    // Past this point the walk from `current` on is the one an earlier walk took.
    if (!SetFlag(current, kFlagWalkedOn)) return outcome;
    current = parent;
  }
}

}  // namespace sorvani
