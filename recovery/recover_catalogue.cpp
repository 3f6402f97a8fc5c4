#include "recovery/recover_catalogue.h"

#include <algorithm>
#include <cctype>
#include <functional>

#include "foundation/log.h"
#include "index/file_index.h"
#include "ntfs/ntfs_attr.h"
#include "ntfs/ntfs_file.h"
#include "ntfs/ntfs_volume.h"

namespace sorvani {
namespace {

std::string OrphanFolderName(std::uint32_t record) {
  return "_OrphanFolder_" + std::to_string(static_cast<unsigned long>(record));
}

bool SameTextNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool FolderUnder(const std::string& folder, const std::string& filter) {
  if (filter.empty()) return true;
  if (folder.size() < filter.size()) return false;
  if (!SameTextNoCase(std::string_view(folder).substr(0, filter.size()), filter)) return false;
  return folder.size() == filter.size() || folder[filter.size()] == '/';
}

}  // namespace

namespace {

CatalogueEntry ToCatalogueEntry(const FileIndexEntry& e) {
  return {e.record, std::string(e.name), NormalizeFileAttributes(e.attributes), e.parent};
}

}  // namespace

bool CFileIndexCatalogue::FindEntry(std::uint32_t record, CatalogueEntry& entry) const {
  const FileIndexEntry* e = m_index.FindEntry(record);
  if (!e) return false;
  entry = ToCatalogueEntry(*e);
  return true;
}

bool CFileIndexCatalogue::IsOrphanFolder(std::uint32_t record) const {
  return m_index.IsOrphanFolder(record);
}

void CFileIndexCatalogue::Children(std::uint32_t record, std::vector<CatalogueEntry>& out) const {
  out.clear();
  auto [first, last] = m_index.ChildRange(record);
  for (auto it = first; it != last; ++it) {
    if (const FileIndexEntry* e = m_index.FindEntry(*it)) out.push_back(ToCatalogueEntry(*e));
  }
}

void CFileIndexCatalogue::AllEntries(std::vector<CatalogueEntry>& out) const {
  out.clear();
  m_index.ForEachEntry([&out](const FileIndexEntry& entry) {
    out.push_back(ToCatalogueEntry(entry));
    return true;
  });
}

std::string CFileIndexCatalogue::LiveFolderPath(std::uint32_t record) {
  if (record == kRootRecord || !m_reader) return "";
  if (m_index.IsOrphanFolder(record)) return OrphanFolderName(record);
  CNtfsFile walker;
  walker.LoadRecord(m_reader, record, true);  // binds the walker to the reader
  walker.RegisterParentFolders(record);
  std::string path = m_reader->BuildFolderPath(record);  // "X:\a\b\"
  std::string out;
  for (std::size_t i = path.size() >= 3 ? 3 : path.size(); i < path.size(); ++i)
    out += path[i] == '\\' ? '/' : path[i];
  while (!out.empty() && out.back() == '/') out.pop_back();
  return out;
}

std::vector<PlacedItem> PlaceDeletedItems(IRecoverCatalogue& catalogue, const std::string& folder) {
  std::string filter = folder;
  while (!filter.empty() && filter.front() == '/') filter.erase(0, 1);
  while (!filter.empty() && filter.back() == '/') filter.pop_back();

  std::vector<CatalogueEntry> all;
  catalogue.AllEntries(all);
  std::map<std::uint32_t, const CatalogueEntry*> byRecord;
  for (const auto& e : all) byRecord[e.record] = &e;

  // Folder path of each entry's parent; a chain that loops through deleted folders is cut
  // where it comes back, and the entry then counts as standing on its own.
  std::map<std::uint32_t, std::string> folderOf;
  std::map<std::uint32_t, std::string> liveCache;
  auto live = [&](std::uint32_t record) -> const std::string& {
    auto it = liveCache.find(record);
    if (it == liveCache.end()) {
      it = liveCache.emplace(record, catalogue.IsOrphanFolder(record)
                                         ? OrphanFolderName(record)
                                         : catalogue.LiveFolderPath(record)).first;
    }
    return it->second;
  };
  std::set<std::uint32_t> looped;
  std::function<std::string(std::uint32_t, std::set<std::uint32_t>&)> pathOf =
      [&](std::uint32_t record, std::set<std::uint32_t>& chain) -> std::string {
    auto done = folderOf.find(record);
    if (done != folderOf.end()) return done->second;
    const CatalogueEntry* e = byRecord[record];
    std::string result;
    auto parent = byRecord.find(e->parent);
    if (parent != byRecord.end() && parent->second &&
        !(parent->second->attributes & kFileAttrDirectory)) {
      // The parent record now holds a deleted file: the folder is gone.
      result = OrphanFolderName(e->parent);
    } else if (parent != byRecord.end() && parent->second) {
      if (!chain.insert(e->parent).second) {
        looped.insert(record);
        result = "";
      } else {
        std::string above = pathOf(e->parent, chain);
        result = (above.empty() ? "" : above + "/") + parent->second->name;
      }
    } else {
      result = live(e->parent);
    }
    folderOf[record] = result;
    return result;
  };
  for (const auto& e : all) {
    std::set<std::uint32_t> chain{e.record};
    pathOf(e.record, chain);
  }

  std::vector<PlacedItem> out;
  std::set<std::uint32_t> orphansPlaced;
  for (const auto& e : all) {
    if (!FolderUnder(folderOf[e.record], filter)) continue;
    auto parent = byRecord.find(e.parent);
    bool parentIsEntry = parent != byRecord.end() && parent->second &&
                         (parent->second->attributes & kFileAttrDirectory) && !looped.count(e.record);
    // Reached through its deleted folder when that folder is selected too; a folder that is
    // the filter itself is not, so its children stand on their own.
    if (parentIsEntry && FolderUnder(folderOf[e.parent], filter)) continue;
    // An orphan folder goes as one item whose children follow it; a parent record that now
    // holds a deleted file cannot (the item would name that file), so its children go alone.
    if (!parentIsEntry && catalogue.IsOrphanFolder(e.parent) && filter.empty() &&
        byRecord.find(e.parent) == byRecord.end()) {
      if (orphansPlaced.insert(e.parent).second)
        out.push_back({e.parent, kFileAttrDirectory, OrphanFolderName(e.parent), ""});
      continue;
    }
    out.push_back({e.record, e.attributes, e.name, folderOf[e.record]});
  }
  return out;
}

}  // namespace sorvani
