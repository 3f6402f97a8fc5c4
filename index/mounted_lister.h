// The live listing of a mounted volume: readdir under its mount point, standing in for
// FindFirstFile/FindNextFile. MakeLiveLister picks it for a mounted drive and the NTFS
// index listing for any other, so the folder model sees one interface either way.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "index/folder_model.h"
#include "platform/folder_listing.h"

namespace sorvani {

class CMountedLister : public ILiveLister {
 public:
  // `recordsFromInodes`: the mounted file system is NTFS, whose drivers (ntfs-3g, ntfs3)
  // give each file its MFT record number as inode number.
  CMountedLister(std::string mountPoint, bool recordsFromInodes)
      : m_mountPoint(std::move(mountPoint)), m_recordsFromInodes(recordsFromInodes) {
    while (m_mountPoint.size() > 1 && m_mountPoint.back() == '/') m_mountPoint.pop_back();
  }

  bool List(const std::string& path, std::uint32_t /*record*/,
            std::vector<LiveItem>& out) override {
    out.clear();
    std::string folder;
    if (!HostPath(path, folder)) return false;
    std::vector<FolderEntryFacts> entries;
    if (!ListFolderEntries(folder, entries)) return false;
    out.reserve(entries.size());
    for (const FolderEntryFacts& e : entries) out.push_back(ToItem(e));
    return true;
  }

  std::uint32_t RecordOf(const std::string& path) override {
    std::string host;
    FolderEntryFacts facts;
    if (!m_recordsFromInodes || !HostPath(path, host) || !StatEntry(host, facts)) return 0;
    return RecordOfInode(facts.inode);
  }

  // "D:\a\b\" -> "<mount point>/a/b". False for a component that would leave the mount
  // point ("..") or that no Windows path can hold.
  bool HostPath(const std::string& path, std::string& host) const {
    std::size_t pos = path.size() >= 2 && path[1] == ':' ? 2 : 0;
    host = m_mountPoint;
    while (pos < path.size()) {
      std::size_t next = path.find('\\', pos);
      if (next == std::string::npos) next = path.size();
      std::string part = path.substr(pos, next - pos);
      pos = next + 1;
      if (part.empty()) continue;
      if (part == "." || part == ".." || part.find('/') != std::string::npos ||
          part.find('\0') != std::string::npos)
        return false;
      if (host != "/") host += '/';
      host += part;
    }
    return true;
  }

  // Seconds since 1970 to 100-ns units since 1601, the time unit of every row.
  static std::uint64_t FileTimeOf(std::int64_t seconds, std::uint32_t nanoseconds) {
    constexpr std::int64_t kEpochDelta = 11644473600;  // 1601-01-01 to 1970-01-01
    if (seconds < -kEpochDelta) return 0;
    return static_cast<std::uint64_t>(seconds + kEpochDelta) * 10000000u + nanoseconds / 100;
  }

 private:
  std::uint32_t RecordOfInode(std::uint64_t inode) const {
    // Records are 32-bit; anything larger is not a record number.
    return m_recordsFromInodes && inode <= 0xFFFFFFFFu ? static_cast<std::uint32_t>(inode) : 0;
  }

  LiveItem ToItem(const FolderEntryFacts& e) const {
    constexpr std::uint32_t kReadOnly = 0x1, kHidden = 0x2, kDirectory = 0x10, kArchive = 0x20;
    LiveItem item;
    item.name = e.name;
    item.record = RecordOfInode(e.inode);
    item.attributes = e.isDirectory ? kDirectory : kArchive;
    if ((e.mode & 0222) == 0) item.attributes |= kReadOnly;
    // The Unix convention for hidden files, the nearest there is to the Windows bit.
    if (!e.name.empty() && e.name[0] == '.') item.attributes |= kHidden;
    item.size = e.size;
    item.modified = FileTimeOf(e.modifiedSeconds, e.modifiedNanoseconds);
    item.created = e.hasBirthTime ? FileTimeOf(e.birthSeconds, e.birthNanoseconds) : item.modified;
    return item;
  }

  std::string m_mountPoint;
  bool m_recordsFromInodes;
};

// The live lister of a drive: readdir when it is mounted, its NTFS index when it is not.
inline std::unique_ptr<ILiveLister> MakeLiveLister(const std::string& mountPoint, bool isNtfs,
                                                   CNtfsVolume* volume) {
  if (!mountPoint.empty()) return std::make_unique<CMountedLister>(mountPoint, isNtfs);
  return std::make_unique<CNtfsIndexLister>(volume);
}

}  // namespace sorvani
