// What the recovery engine needs of the catalogue of deleted items: an entry by record number,
// whether a record is an orphan folder, the children of a folder in key order, and the path of
// a folder that still exists.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace sorvani {

class CNtfsVolume;

struct CatalogueEntry {
  std::uint32_t record = 0;
  std::string name;
  std::uint32_t attributes = 0;  // bit 0x10 marks a folder
  std::uint32_t parent = 0;
};

class IRecoverCatalogue {
 public:
  virtual ~IRecoverCatalogue() = default;
  virtual bool FindEntry(std::uint32_t record, CatalogueEntry& entry) const = 0;
  virtual bool IsOrphanFolder(std::uint32_t record) const = 0;
  // The deleted items whose folder is `record`, in the order the catalogue keeps them.
  virtual void Children(std::uint32_t record, std::vector<CatalogueEntry>& out) const = 0;
  // Every deleted item, in ascending record number.
  virtual void AllEntries(std::vector<CatalogueEntry>& out) const = 0;
  // "/"-separated path below the volume's root of a folder that is not a deleted entry
  // ("" for the root; "_OrphanFolder_N" for an orphan folder or a broken chain).
  virtual std::string LiveFolderPath(std::uint32_t record) = 0;
};

class CFileIndex;

// The file index seen through the questions the engine asks. Folder paths of existing folders
// are read through `reader`, the recovery's own volume reader, never the shared one.
class CFileIndexCatalogue : public IRecoverCatalogue {
 public:
  CFileIndexCatalogue(const CFileIndex& index, CNtfsVolume* reader)
      : m_index(index), m_reader(reader) {}

  bool FindEntry(std::uint32_t record, CatalogueEntry& entry) const override;
  bool IsOrphanFolder(std::uint32_t record) const override;
  void Children(std::uint32_t record, std::vector<CatalogueEntry>& out) const override;
  void AllEntries(std::vector<CatalogueEntry>& out) const override;
  std::string LiveFolderPath(std::uint32_t record) override;

 private:
  const CFileIndex& m_index;
  CNtfsVolume* m_reader;
};

// The summed data size of every file below the folder `record`, walked through the catalogue
// without recursion (a folder met twice counts once); `fileSize` gives one file's size. Stops
// early when `stop` says so.
std::uint64_t SumFolderData(const IRecoverCatalogue& catalogue, std::uint32_t record,
                            const std::function<std::uint64_t(std::uint32_t)>& fileSize,
                            const std::function<bool()>& stop = {});

// The selection that puts deleted items back at their place: every deleted item that is not
// reached through a deleted folder above it, each with the folder path it belongs in. With a
// `folder` ("/"-separated, "" for all), only the items at or below that folder.
struct PlacedItem {
  std::uint32_t record = 0;
  std::uint32_t attributes = 0;  // 0x10 for folders and orphan folders
  std::string name;
  std::string subfolder;
};
std::vector<PlacedItem> PlaceDeletedItems(IRecoverCatalogue& catalogue, const std::string& folder);

}  // namespace sorvani
