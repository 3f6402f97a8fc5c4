#include "index/folder_names.h"

#include <set>

#include "index/file_index.h"
#include "index/orphan_folder.h"
#include "index/record_reader.h"

namespace sorvani {

void CFolderNames::Clear() {
  std::lock_guard hold(m_lock);
  m_names.clear();
  m_named.Clear();
}

void CFolderNames::Add(std::uint32_t record, const std::string& name, std::uint32_t parent) {
  std::lock_guard hold(m_lock);
  m_names.emplace(record, FolderNameEntry{name, parent});
  m_named.Ref(record) = true;
}

bool CFolderNames::Has(std::uint32_t record) const {
  std::lock_guard hold(m_lock);
  return m_named.Get(record);
}

bool CFolderNames::Find(std::uint32_t record, std::string& name, std::uint32_t& parent) const {
  std::lock_guard hold(m_lock);
  auto it = m_names.find(record);
  if (it == m_names.end()) return false;
  name = it->second.name;
  parent = it->second.parent;
  return true;
}

std::size_t CFolderNames::Size() const {
  std::lock_guard hold(m_lock);
  return m_names.size();
}

void CFolderNames::RegisterParentFolders(IRecordReader& reader, const CFileIndex* catalogue,
                                         std::uint32_t parent) {
  if (parent == kIndexRootRecord || Has(parent)) return;  // the usual case
  std::set<std::uint32_t> seen;
  RecordNames names;
  for (std::uint32_t current = parent; current != kIndexRootRecord;) {
    if (Has(current) || !seen.insert(current).second) break;
    std::string name;
    std::uint32_t attributes = 0, grandParent = 0;
    if (const FileIndexEntry* entry = catalogue ? catalogue->FindEntry(current) : nullptr) {
      name.assign(entry->name);
      attributes = entry->attributes;
      grandParent = entry->parent;
    } else {
      if (!reader.LoadNames(current, names)) break;
      name = std::move(names.name);
      attributes = names.attributes;
      grandParent = names.parent;
    }
    if (name.empty() || !(attributes & kAttrFolderBit)) break;
    Add(current, name, grandParent);
    current = grandParent;
  }
}

std::string CFolderNames::BuildFolderPath(char driveLetter, std::uint32_t record) const {
  std::string path;
  std::set<std::uint32_t> seen;
  std::uint32_t current = record;
  std::lock_guard hold(m_lock);
  while (current != kIndexRootRecord) {
    auto it = m_names.find(current);
    // A chain that comes back to a folder already on it is as broken as a missing one.
    if (seen.insert(current).second && it != m_names.end()) {
      path = it->second.name + "\\" + path;
      current = it->second.parent;
      continue;
    }
    path = OrphanFolderName(current) + "\\" + path;
    break;
  }
  return std::string(1, driveLetter) + ":\\" + path;
}

}  // namespace sorvani
