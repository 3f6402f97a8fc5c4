// The IRecordReader of a real NTFS volume: record loads through CNtfsFile, folder paths
// through a folder-name map (the catalogue's, or the reader's own).
#pragma once

#include "index/folder_names.h"
#include "index/record_reader.h"
#include "ntfs/ntfs_file.h"

namespace sorvani {

class CFileIndex;
class CNtfsVolume;

class CNtfsRecordReader : public IRecordReader {
 public:
  // Not thread-safe: one reader (and one volume) per thread. With `catalogue`, folder paths
  // come from that catalogue's folder-name map (shared by every reader of it, and holding the
  // names the catalogue gave folders); without, from a map of the reader's own.
  explicit CNtfsRecordReader(CNtfsVolume* volume, const CFileIndex* catalogue = nullptr)
      : m_volume(volume), m_catalogue(catalogue) {}

  bool LoadNames(std::uint32_t record, RecordNames& out) override;
  bool LoadDetails(std::uint32_t record, bool overwritten, RecordDetails& out) override;
  RecordLoad LastLoadFailure() const override { return m_lastFailure; }
  // -1 when $Bitmap cannot be read: the share is not known.
  std::int32_t LoadedOverwritten() override;
  void DumpLoaded() override { m_file.Dump(); }
  void ClearDirNames() override;
  void RegisterParentFolders(std::uint32_t parent) override;
  std::string FolderPath(std::uint32_t record) override;
  bool SameNameNoCase(std::string_view a, std::string_view b) override;

  CNtfsVolume* Volume() const { return m_volume; }

 private:
  CFolderNames& Names();

  CNtfsVolume* m_volume;
  const CFileIndex* m_catalogue;
  CFolderNames m_ownNames;  // without a catalogue
  CNtfsFile m_file;         // one scratch record, reloaded for every call
  RecordLoad m_lastFailure = RecordLoad::kCorrupt;
};

}  // namespace sorvani
