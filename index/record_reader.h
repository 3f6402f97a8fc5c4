// IRecordReader: what the catalogue, the search and the folder model need from one volume's
// MFT records. The NTFS reader stands behind it in the program; tests put a table of records
// behind it to build parent chains no real volume would hold.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ntfs/ntfs_constants.h"

namespace sorvani {

// A record loaded with names only, as GetNameInfo reports it.
struct RecordNames {
  bool inUse = false;
  std::string name;
  std::uint32_t attributes = 0;
  std::uint32_t parent = 0;
};

// A record loaded in full: the facts a list row shows.
struct RecordDetails {
  bool inUse = false;
  std::string name;
  std::uint64_t size = 0;  // real size of the first $DATA, 0 without one
  std::uint32_t attributes = 0;
  std::uint32_t parent = 0;
  // From $FILE_NAME, NTFS file times; from $STANDARD_INFORMATION for a record without a name.
  std::uint64_t created = 0;
  std::uint64_t modified = 0;
  std::int32_t overwritten = 0;
  bool hasData = false;  // holds a $DATA attribute, unnamed or named
};

class IRecordReader {
 public:
  virtual ~IRecordReader() = default;
  // False when the record cannot be read or is not a valid base record.
  virtual bool LoadNames(std::uint32_t record, RecordNames& out) = 0;
  // `overwritten`: also compute the share of the first $DATA's clusters now in use.
  virtual bool LoadDetails(std::uint32_t record, bool overwritten, RecordDetails& out) = 0;
  // Why the last LoadNames or LoadDetails that returned false failed. A reader that cannot
  // tell a device error from a bad record calls every failure corrupt.
  virtual RecordLoad LastLoadFailure() const { return RecordLoad::kCorrupt; }
  // Share of the first $DATA's clusters now in use, of the record last loaded in full.
  virtual std::int32_t LoadedOverwritten() { return 0; }
  // Writes the last record loaded in full to the log.
  virtual void DumpLoaded() {}
  // The folder-name map behind FolderPath.
  virtual void ClearDirNames() {}
  virtual void RegisterParentFolders(std::uint32_t /*parent*/) {}
  // "D:\a\b\" of folder `record`, from the folder-name map.
  virtual std::string FolderPath(std::uint32_t record) = 0;
  // Names compared without regard to case (the volume's own case table where it has one).
  virtual bool SameNameNoCase(std::string_view a, std::string_view b);
};

}  // namespace sorvani
