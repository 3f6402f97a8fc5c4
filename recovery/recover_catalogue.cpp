#include "recovery/recover_catalogue.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <unordered_map>
#include <unordered_set>

#include "foundation/log.h"
#include "foundation/name_compare.h"
#include "index/file_index.h"
#include "index/ntfs_record_reader.h"
#include "index/orphan_folder.h"
#include "ntfs/ntfs_attr.h"
#include "ntfs/ntfs_file.h"
#include "ntfs/ntfs_volume.h"

namespace sorvani {
namespace {

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
  // The names stay in the catalogue's folder-name map for the next item.
  CNtfsRecordReader walker(m_reader, &m_index);
  walker.RegisterParentFolders(record);
  std::string path = walker.FolderPath(record);  // "X:\a\b\"
  std::string out;
  for (std::size_t i = path.size() >= 3 ? 3 : path.size(); i < path.size(); ++i)
    out += path[i] == '\\' ? '/' : path[i];
  while (!out.empty() && out.back() == '/') out.pop_back();
  return out;
}

std::uint64_t SumFolderData(const IRecoverCatalogue& catalogue, std::uint32_t record,
                            const std::function<std::uint64_t(std::uint32_t)>& fileSize,
                            const std::function<bool()>& stop) {
  std::uint64_t total = 0;
  std::unordered_set<std::uint32_t> seen{record};
  std::vector<std::uint32_t> pending{record};
  std::vector<CatalogueEntry> children;
  while (!pending.empty()) {
    if (stop && stop()) break;
    std::uint32_t folder = pending.back();
    pending.pop_back();
    catalogue.Children(folder, children);
    for (const CatalogueEntry& child : children) {
      if (child.attributes & kFileAttrDirectory) {
        if (seen.insert(child.record).second) pending.push_back(child.record);
      } else {
        total += fileSize(child.record);
      }
    }
  }
  return total;
}

namespace {

// How the folder path of an entry stands to the folder filter, kept per entry instead of the
// path itself (which would make memory grow with the square of a chain's depth): the path is
// at or below the filter, is the filter's first `matched` bytes up to a "/" (it may still
// lead there), or neither.
struct FilterMatch {
  enum Kind : std::uint8_t { kUnknown, kPrefix, kUnder, kNo };
  Kind kind = kUnknown;
  std::uint32_t matched = 0;
};

FilterMatch MatchOfText(const std::string& path, const std::string& filter) {
  if (FolderUnder(path, filter)) return {FilterMatch::kUnder, 0};
  if (path.size() < filter.size() &&
      SameTextNoCase(std::string_view(filter).substr(0, path.size()), path) &&
      (path.empty() || filter[path.size()] == '/'))
    return {FilterMatch::kPrefix, static_cast<std::uint32_t>(path.size())};
  return {FilterMatch::kNo, 0};
}

// The match of `folder` + "/" + `name` (just `name` below the root), from the match of `folder`.
FilterMatch ExtendMatch(FilterMatch m, std::string_view name, const std::string& filter) {
  if (m.kind != FilterMatch::kPrefix) return m;
  std::size_t start = m.matched == 0 ? 0 : std::size_t{m.matched} + 1;
  std::size_t total = start + name.size();
  std::size_t common = std::min(total, filter.size()) - start;
  if (!SameTextNoCase(name.substr(0, common), std::string_view(filter).substr(start, common)))
    return {FilterMatch::kNo, 0};
  if (total == filter.size()) return {FilterMatch::kUnder, 0};
  if (total < filter.size())
    return filter[total] == '/'
               ? FilterMatch{FilterMatch::kPrefix, static_cast<std::uint32_t>(total)}
               : FilterMatch{FilterMatch::kNo, 0};
  return name[filter.size() - start] == '/' ? FilterMatch{FilterMatch::kUnder, 0}
                                            : FilterMatch{FilterMatch::kNo, 0};
}

}  // namespace

std::vector<PlacedItem> PlaceDeletedItems(IRecoverCatalogue& catalogue, const std::string& folder) {
  std::string filter = folder;
  while (!filter.empty() && filter.front() == '/') filter.erase(0, 1);
  while (!filter.empty() && filter.back() == '/') filter.pop_back();

  std::vector<CatalogueEntry> all;
  catalogue.AllEntries(all);
  std::unordered_map<std::uint32_t, std::size_t> indexOf;
  indexOf.reserve(all.size());
  for (std::size_t i = 0; i < all.size(); ++i) indexOf.emplace(all[i].record, i);
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  auto entryIndex = [&](std::uint32_t record) {
    auto it = indexOf.find(record);
    return it == indexOf.end() ? kNone : it->second;
  };
  // The deleted folder an entry lies in, when its parent record is one.
  auto folderParent = [&](std::size_t i) {
    std::size_t p = entryIndex(all[i].parent);
    return p != kNone && (all[p].attributes & kFileAttrDirectory) ? p : kNone;
  };

  std::map<std::uint32_t, std::string> liveCache;
  auto live = [&](std::uint32_t record) -> const std::string& {
    auto it = liveCache.find(record);
    if (it == liveCache.end()) {
      it = liveCache
               .emplace(record, catalogue.IsOrphanFolder(record) ? OrphanFolderName(record)
                                                                 : catalogue.LiveFolderPath(record))
               .first;
    }
    return it->second;
  };
  // A chain that loops through deleted folders is cut where it comes back: that entry then
  // stands on its own at the root.
  std::vector<bool> looped(all.size(), false);
  // The folder path of an entry that does not lie in a deleted folder (or is cut from its chain).
  auto baseFolder = [&](std::size_t i) -> std::string {
    if (looped[i]) return "";
    std::size_t p = entryIndex(all[i].parent);
    // The parent record now holds a deleted file: the folder is gone.
    if (p != kNone) return OrphanFolderName(all[i].parent);
    return live(all[i].parent);
  };

  // Each entry's match, worked out up its chain of deleted folders with a stack of its own.
  std::vector<FilterMatch> match(all.size());
  std::vector<std::uint32_t> walkMark(all.size(), 0);
  std::uint32_t walk = 0;
  std::vector<std::size_t> chain;
  for (std::size_t start = 0; start < all.size(); ++start) {
    if (match[start].kind != FilterMatch::kUnknown) continue;
    ++walk;
    chain.assign(1, start);
    walkMark[start] = walk;
    for (;;) {
      std::size_t p = folderParent(chain.back());
      if (p == kNone || match[p].kind != FilterMatch::kUnknown) break;
      if (walkMark[p] == walk) {
        looped[chain.back()] = true;
        break;
      }
      walkMark[p] = walk;
      chain.push_back(p);
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      std::size_t i = *it;
      std::size_t p = looped[i] ? kNone : folderParent(i);
      match[i] = p == kNone ? MatchOfText(baseFolder(i), filter)
                            : ExtendMatch(match[p], all[p].name, filter);
    }
  }
  auto under = [&](std::size_t i) { return match[i].kind == FilterMatch::kUnder; };
  // The folder path of a placed item, built only for it.
  auto folderPath = [&](std::size_t i) {
    std::vector<std::size_t> above;
    std::size_t at = i;
    for (std::size_t p; !looped[at] && (p = folderParent(at)) != kNone; at = p) above.push_back(p);
    std::string path = baseFolder(at);
    for (auto it = above.rbegin(); it != above.rend(); ++it)
      path += (path.empty() ? "" : "/") + all[*it].name;
    return path;
  };

  std::vector<PlacedItem> out;
  std::set<std::uint32_t> orphansPlaced;
  for (std::size_t i = 0; i < all.size(); ++i) {
    const CatalogueEntry& e = all[i];
    if (!under(i)) continue;
    std::size_t parent = looped[i] ? kNone : folderParent(i);
    // Reached through its deleted folder when that folder is selected too; a folder that is
    // the filter itself is not, so its children stand on their own.
    if (parent != kNone && under(parent)) continue;
    // An orphan folder goes as one item whose children follow it; a parent record that now
    // holds a deleted file cannot (the item would name that file), so its children go alone.
    if (parent == kNone && catalogue.IsOrphanFolder(e.parent) && filter.empty() &&
        entryIndex(e.parent) == kNone) {
      if (orphansPlaced.insert(e.parent).second)
        out.push_back({e.parent, kFileAttrDirectory, OrphanFolderName(e.parent), ""});
      continue;
    }
    out.push_back({e.record, e.attributes, e.name, folderPath(i)});
  }
  return out;
}

}  // namespace sorvani
