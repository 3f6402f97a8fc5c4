// The folder-name map of a catalogue: record -> (name, parent) for the folders above the
// catalogue's entries, filled as paths are asked for, so the rows of a list or a search can
// show "D:\a\b\" without reading every folder again. It belongs to the catalogue it was filled
// for (deleted folders and folders named again after they lost their name come from there),
// not to a volume reader, so every reader of the catalogue sees the same names.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "foundation/record_table.h"

namespace sorvani {

class CFileIndex;
class IRecordReader;

// Folder names met while walking parent chains: record -> (name, parent record).
struct FolderNameEntry {
  std::string name;
  std::uint32_t parent = 0;
};

// Any thread: every member locks the map's own mutex, so one catalogue's names can be filled
// by the search on its worker while a list reads them on another.
class CFolderNames {
 public:
  void Clear();
  // An existing entry is kept.
  void Add(std::uint32_t record, const std::string& name, std::uint32_t parent);
  bool Has(std::uint32_t record) const;
  bool Find(std::uint32_t record, std::string& name, std::uint32_t& parent) const;
  std::size_t Size() const;
  // Names every folder from `parent` up to the root that the map lacks: from the catalogue's
  // own entry where it has one (a deleted folder, or one named again from the folder above
  // it), else from the record as `reader` loads it. Stops at a loop, at a record that cannot
  // be read, at one without a name or that is no folder. `catalogue` may be null.
  void RegisterParentFolders(IRecordReader& reader, const CFileIndex* catalogue,
                             std::uint32_t parent);
  // "D:\a\b\" of folder `record`; where the chain breaks (a loop, an unnamed folder), the
  // rest is "_OrphanFolder_N\" of the first folder that has no name.
  std::string BuildFolderPath(char driveLetter, std::uint32_t record) const;

 private:
  mutable std::mutex m_lock;
  std::map<std::uint32_t, FolderNameEntry> m_names;
  RecordTable<bool> m_named;  // the records m_names holds, for the quick test
};

}  // namespace sorvani
