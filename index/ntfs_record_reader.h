// The IRecordReader of a real NTFS volume: record loads through CNtfsFile, folder paths
// through the volume's folder-name map.
#pragma once

#include "index/record_reader.h"
#include "ntfs/ntfs_file.h"

namespace sorvani {

class CNtfsVolume;

class CNtfsRecordReader : public IRecordReader {
 public:
  explicit CNtfsRecordReader(CNtfsVolume* volume) : m_volume(volume) {}

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
  CNtfsVolume* m_volume;
  CNtfsFile m_file;  // one scratch record, reloaded for every call
  RecordLoad m_lastFailure = RecordLoad::kCorrupt;
};

}  // namespace sorvani
