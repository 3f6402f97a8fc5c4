// The browse model of a drive without its windows: for one folder, its existing subfolders
// and files (from the live listing) beside its deleted children (from the catalogue), the
// orphan folders under the root, and the "deleted items only" view. The command line lists
// with it today; the desktop tree and file list sit on it later.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "index/file_index.h"
#include "index/record_reader.h"

namespace sorvani {

class CNtfsVolume;

// One existing item of a folder as the live file system lists it.
struct LiveItem {
  std::string name;
  std::uint32_t record = 0;  // 0 when the listing does not know it
  std::uint32_t attributes = 0;
  std::uint64_t size = 0;
  std::uint64_t created = 0;
  std::uint64_t modified = 0;
};

class ILiveLister {
 public:
  virtual ~ILiveLister() = default;
  // Existing items of the folder `path` ("D:\a\b\") whose MFT record is `record` (0 when not
  // known). False when the folder cannot be listed.
  virtual bool List(const std::string& path, std::uint32_t record, std::vector<LiveItem>& out) = 0;
  // The same, limited to the folders.
  virtual bool ListFolders(const std::string& path, std::uint32_t record,
                           std::vector<LiveItem>& out) {
    if (!List(path, record, out)) return false;
    std::erase_if(out, [](const LiveItem& l) { return !(l.attributes & kAttrFolderBit); });
    return true;
  }
  // MFT record of an existing folder path, 0 when it cannot be resolved.
  virtual std::uint32_t RecordOf(const std::string& path) = 0;
};

// The live listing of a volume that is not mounted: the folder's own NTFS directory index,
// without DOS-only names and without the system files of the root.
class CNtfsIndexLister : public ILiveLister {
 public:
  explicit CNtfsIndexLister(CNtfsVolume* volume) : m_volume(volume) {}
  bool List(const std::string& path, std::uint32_t record, std::vector<LiveItem>& out) override {
    return Collect(path, record, false, out);
  }
  bool ListFolders(const std::string& path, std::uint32_t record,
                   std::vector<LiveItem>& out) override {
    return Collect(path, record, true, out);
  }
  std::uint32_t RecordOf(const std::string& path) override;

 private:
  bool Collect(const std::string& path, std::uint32_t record, bool foldersOnly,
               std::vector<LiveItem>& out);
  CNtfsVolume* m_volume;
};

enum class FolderKind { Existing, Deleted, Orphan };

struct FolderNode {
  std::string path;  // "D:\", "D:\Photos\", "D:\_OrphanFolder_1234\"
  std::uint32_t record = kIndexRootRecord;
  FolderKind kind = FolderKind::Existing;
};

struct FolderItem {
  FileListRow row;
  bool deleted = false;  // from the catalogue (drawn with the deleted overlay)
  bool orphan = false;   // an "_OrphanFolder_N" folder
  bool loaded = false;   // a deleted item whose record was read again for size and times
  bool IsFolder() const { return (row.attributes & kAttrFolderBit) != 0; }
};

class CFolderModel {
 public:
  CFolderModel(char driveLetter, const CFileIndex& index, IRecordReader& reader, ILiveLister& live);

  void SetDeletedOnly(bool deletedOnly) { m_deletedOnly = deletedOnly; }
  bool DeletedOnly() const { return m_deletedOnly; }

  FolderNode Root() const;
  // The node of a folder path such as "D:\a\b\" through existing, deleted and orphan
  // folders, matching names without case. False when a component is not found.
  bool Resolve(const std::string& path, FolderNode& out);
  // Everything the file list shows for `folder`: existing items (unless deleted-only),
  // deleted children with their rows, and under the root the orphan folders. False when the
  // folder's live listing failed (its deleted items are still given).
  bool List(const FolderNode& folder, std::vector<FolderItem>& out);
  // Only the subfolders, as the folder tree shows them; deleted rows are not loaded.
  bool ListSubfolders(const FolderNode& folder, std::vector<FolderItem>& out);
  // The node of a folder item listed in `parent`.
  FolderNode Enter(const FolderNode& parent, const FolderItem& item);

  static std::string OrphanFolderName(std::uint32_t record);
  // Names compared as the volume compares them (its case table), without regard to case.
  bool SameName(std::string_view a, std::string_view b) { return m_reader.SameNameNoCase(a, b); }

 private:
  bool Collect(const FolderNode& folder, bool foldersOnly, bool loadRows,
               std::vector<FolderItem>& out);
  FolderItem DeletedItem(const FileIndexEntry& entry, bool loadRow);

  char m_letter;
  const CFileIndex& m_index;
  IRecordReader& m_reader;
  ILiveLister& m_live;
  bool m_deletedOnly = false;
};

}  // namespace sorvani
