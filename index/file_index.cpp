#include "index/file_index.h"

#include <algorithm>

#include "index/ntfs_record_reader.h"

namespace sorvani {

CFileIndex file_index;
IndexProgress index_progress;
std::mutex index_lock;

namespace {

// Chains are short; a long one (a hostile volume) switches to a set so the loop test stays cheap.
constexpr std::size_t kVisitedLinearLimit = 64;

}  // namespace

bool IRecordReader::SameNameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto x = static_cast<unsigned char>(a[i]);
    auto y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

CFileIndex::CFileIndex()
    : m_entries(&m_arena), m_children(&m_arena), m_orphanFolders(&m_arena),
      m_liveFolders(&m_arena), m_liveSettled(&m_arena), m_walkedOn(&m_arena),
      m_facts(&m_arena) {}

void CFileIndex::Clear() {
  m_entries.clear();
  m_children.clear();
  m_orphanFolders.clear();
  m_liveFolders.clear();
  m_liveSettled.clear();
  m_walkedOn.clear();
  m_facts.clear();
  m_arena.release();
}

const FileIndexEntry* CFileIndex::FindEntry(std::uint32_t record) const {
  auto it = m_entries.find(record);
  return it == m_entries.end() ? nullptr : &it->second;
}

std::vector<std::uint32_t> CFileIndex::ChildrenOf(std::uint32_t folder) const {
  std::vector<std::uint32_t> out;
  auto [first, last] = m_children.equal_range(folder);
  for (auto it = first; it != last; ++it) out.push_back(it->second);
  return out;
}

bool CFileIndex::InsertEntry(std::uint32_t record, std::string_view name,
                             std::uint32_t attributes, std::uint32_t parent) {
  auto [it, inserted] = m_entries.try_emplace(record);
  if (inserted) {
    it->second.record = record;
    it->second.name.assign(name);
    it->second.attributes = attributes;
    it->second.parent = parent;
  }
  return inserted;
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
  EntryFacts facts;
  facts.size = details.size;
  facts.created = details.created;
  facts.modified = details.modified;
  facts.parent = details.parent;
  facts.overwritten = folder ? 0 : details.overwritten;
  m_facts.emplace(record, facts);
}

void CFileIndex::IndexUnusedRecord(IRecordReader& reader, std::uint32_t start) {
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
  std::uint32_t current = start;
  for (;;) {
    if (current == kIndexRootRecord) return;
    std::string_view name;
    std::uint32_t attributes = 0;
    std::uint32_t parent = 0;
    if (const FileIndexEntry* entry = FindEntry(current)) {
      name = entry->name;
      attributes = entry->attributes;
      parent = entry->parent;
    } else if (m_liveSettled.count(current)) {
      // Reading it again would find it in live_folders, stop, and file no orphan.
      return;
    } else {
      loaded = RecordNames{};
      bool valid;
      {
        std::lock_guard<std::mutex> lock(index_lock);
        valid = reader.LoadNames(current, loaded);
      }
      attributes = loaded.attributes;
      parent = loaded.parent;
      if (!valid) {
        stop = true;
      } else if (!loaded.inUse && !loaded.name.empty()) {
        InsertEntry(current, loaded.name, attributes, parent);
        InsertChild(parent, current);
        if (m_keepFacts) KeepFacts(reader, current, loaded.name, attributes);
        name = loaded.name;
      } else {
        name = loaded.name;
        if (IsLiveFolderWithDeleted(current)) {
          stop = true;
        } else {
          InsertLiveFolder(current);
          if (current <= kLastSystemRecord || (!name.empty() && (attributes & kAttrFolderBit)))
            m_liveSettled.insert(current);
        }
      }
    }
    // A folder that is unreadable, nameless or now something other than a folder: its
    // deleted children are shown under an orphan folder named after it.
    if (current != start && current > kLastSystemRecord &&
        (name.empty() || !(attributes & kAttrFolderBit))) {
      InsertOrphanFolder(current);
      return;
    }
    if (visited(parent)) stop = true;
    visit(current);
    if (stop) return;
    // Past this point the walk from `current` on is the one an earlier walk took.
    if (!m_walkedOn.insert(current).second) return;
    current = parent;
  }
}

void IndexUnusedRecord(CNtfsVolume* volume, std::uint32_t record) {
  CNtfsRecordReader reader(volume);
  file_index.IndexUnusedRecord(reader, record);
}

}  // namespace sorvani
