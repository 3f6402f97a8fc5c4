#include "index/folder_model.h"

#include <cctype>
#include <cstdio>
#include <mutex>

#include "index/orphan_folder.h"
#include "ntfs/ntfs_volume.h"

namespace sorvani {
namespace {

// System files of the root are not part of the browsed tree.
constexpr std::uint32_t kFirstUserRecord = 16;

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  // Skip the drive part ("D:\").
  std::size_t pos = path.size() >= 3 && path[1] == ':' ? 3 : 0;
  while (pos < path.size()) {
    std::size_t next = path.find('\\', pos);
    if (next == std::string::npos) next = path.size();
    if (next > pos) parts.push_back(path.substr(pos, next - pos));
    pos = next + 1;
  }
  return parts;
}

}  // namespace

bool CNtfsIndexLister::Collect(const std::string& path, std::uint32_t record, bool foldersOnly,
                               std::vector<LiveItem>& out) {
  out.clear();
  if (!m_volume) return false;
  std::vector<NtfsDirEntry> entries;
  {
    std::lock_guard<std::mutex> lock(index_lock);
    if (record == 0) record = m_volume->ResolvePath(path);
    if (record == 0 || !m_volume->ListDirectory(record, entries, foldersOnly)) return false;
  }
  out.reserve(entries.size());
  for (NtfsDirEntry& e : entries) {
    if (e.name == "." || e.name == "..") continue;
    if (record == kRootRecord && e.record < kFirstUserRecord && !e.name.empty() && e.name[0] == '$')
      continue;
    // The root lists itself as "."; a folder never lists itself.
    if (e.record == record) continue;
    LiveItem item;
    item.name = std::move(e.name);
    item.record = e.record;
    item.attributes = e.attributes;
    item.size = e.size;
    item.created = e.created;
    item.modified = e.modified;
    out.push_back(std::move(item));
  }
  return true;
}

std::uint32_t CNtfsIndexLister::RecordOf(const std::string& path) {
  if (!m_volume) return 0;
  std::lock_guard<std::mutex> lock(index_lock);
  return m_volume->ResolvePath(path);
}

CFolderModel::CFolderModel(char driveLetter, const CFileIndex& index, IRecordReader& reader,
                           ILiveLister& live)
    : m_letter(driveLetter), m_index(index), m_reader(reader), m_live(live) {}

std::string CFolderModel::OrphanFolderName(std::uint32_t record) {
  return sorvani::OrphanFolderName(record);
}

FolderNode CFolderModel::Root() const {
  FolderNode root;
  root.path = std::string(1, m_letter) + ":\\";
  return root;
}

FolderItem CFolderModel::DeletedItem(const FileIndexEntry& entry, bool loadRow) {
  FolderItem item;
  item.deleted = true;
  FileListRow& row = item.row;
  row.record = entry.record;
  row.parent = entry.parent;
  row.name = entry.name;
  row.attributes = entry.attributes;
  row.icon = entry.IsFolder() ? kIconFolder : kIconFile;
  if (!loadRow) return item;
  if (const EntryFacts* facts = m_index.FindFacts(entry.record)) {
    item.loaded = true;
    row.size = facts->size;
    row.created = facts->created;
    row.modified = facts->modified;
    row.overwritten = facts->overwritten;
    return item;
  }
  RecordDetails details;
  bool ok;
  {
    std::lock_guard<std::mutex> lock(index_lock);
    ok = m_reader.LoadDetails(entry.record, !entry.IsFolder(), details);
  }
  if (ok) {
    item.loaded = true;
    row.size = details.size;
    row.created = details.created;
    row.modified = details.modified;
    row.overwritten = entry.IsFolder() ? 0 : details.overwritten;
  }
  return item;
}

bool CFolderModel::Collect(const FolderNode& folder, bool foldersOnly, bool loadRows,
                           std::vector<FolderItem>& out) {
  out.clear();
  bool listed = true;
  if (folder.kind == FolderKind::Existing) {
    std::vector<LiveItem> live;
    listed = (foldersOnly || m_deletedOnly) ? m_live.ListFolders(folder.path, folder.record, live)
                                            : m_live.List(folder.path, folder.record, live);
    for (LiveItem& l : live) {
      bool isFolder = (l.attributes & kAttrFolderBit) != 0;
      if ((foldersOnly || m_deletedOnly) && !isFolder) continue;
      if (m_deletedOnly) {
        std::uint32_t record = l.record ? l.record : m_live.RecordOf(folder.path + l.name + "\\");
        if (!m_index.IsLiveFolderWithDeleted(record)) continue;
        l.record = record;
      }
      FolderItem item;
      item.row.record = l.record;
      item.row.parent = folder.record;
      item.row.name = std::move(l.name);
      item.row.attributes = l.attributes;
      item.row.size = l.size;
      item.row.created = l.created;
      item.row.modified = l.modified;
      item.row.icon = isFolder ? kIconFolder : kIconFile;
      out.push_back(std::move(item));
    }
  }
  auto [first, last] = m_index.ChildRange(folder.record);
  for (auto it = first; it != last; ++it) {
    const FileIndexEntry* entry = m_index.FindEntry(*it);
    if (!entry) continue;
    if (foldersOnly && !entry->IsFolder()) continue;
    out.push_back(DeletedItem(*entry, loadRows));
  }
  if (folder.kind == FolderKind::Existing && folder.path.size() == 3) {
    for (std::uint32_t record : m_index.OrphanFolders()) {
      FolderItem item;
      item.deleted = true;
      item.orphan = true;
      item.row.record = record;
      item.row.parent = kIndexRootRecord;
      item.row.name = OrphanFolderName(record);
      item.row.attributes = kAttrFolderBit;
      item.row.icon = kIconFolder;
      out.push_back(std::move(item));
    }
  }
  return listed;
}

bool CFolderModel::List(const FolderNode& folder, std::vector<FolderItem>& out) {
  return Collect(folder, false, true, out);
}

bool CFolderModel::ListSubfolders(const FolderNode& folder, std::vector<FolderItem>& out) {
  return Collect(folder, true, false, out);
}

FolderNode CFolderModel::Enter(const FolderNode& parent, const FolderItem& item) {
  FolderNode node;
  node.path = parent.path + item.row.name + "\\";
  if (item.orphan) {
    node.kind = FolderKind::Orphan;
    node.record = item.row.record;
  } else if (item.deleted) {
    node.kind = FolderKind::Deleted;
    node.record = item.row.record;
  } else {
    node.kind = FolderKind::Existing;
    node.record = item.row.record ? item.row.record : m_live.RecordOf(node.path);
  }
  return node;
}

bool CFolderModel::Resolve(const std::string& path, FolderNode& out) {
  out = Root();
  if (path.size() >= 2 && path[1] == ':' &&
      std::toupper(static_cast<unsigned char>(path[0])) !=
          std::toupper(static_cast<unsigned char>(m_letter)))
    return false;
  bool deletedOnly = m_deletedOnly;
  m_deletedOnly = false;
  bool found = true;
  std::vector<FolderItem> items;
  for (const std::string& part : SplitPath(path)) {
    ListSubfolders(out, items);
    const FolderItem* match = nullptr;
    for (const FolderItem& item : items) {
      bool same;
      {
        std::lock_guard<std::mutex> lock(index_lock);
        same = m_reader.SameNameNoCase(item.row.name, part);
      }
      if (same) {
        match = &item;
        break;
      }
    }
    if (!match) {
      found = false;
      break;
    }
    out = Enter(out, *match);
  }
  m_deletedOnly = deletedOnly;
  return found;
}

}  // namespace sorvani
