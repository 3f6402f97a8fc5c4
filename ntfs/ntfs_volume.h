// CNtfsVolume: an NTFS volume. Reads the boot sector, checks the geometry, loads the five
// system records ($MFT, $Volume, root, $Bitmap, $UpCase) and offers the directory index
// lookups, folder paths and folder listings built on them.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "disk/volume.h"
#include "foundation/record_table.h"
#include "ntfs/ntfs_constants.h"
#include "ntfs/ntfs_file.h"

namespace sorvani {

inline constexpr std::uint32_t kMaxRecordSize = 65536;
inline constexpr std::uint32_t kMaxIndexBlockSize = 65536;

// One entry of a folder's directory index, from its $FILE_NAME key.
struct NtfsDirEntry {
  std::uint32_t record = 0;
  std::uint16_t sequence = 0;
  std::uint32_t parent = 0;
  std::string name;
  std::uint8_t nameSpace = 0;    // 0 POSIX, 1 Win32, 2 DOS, 3 Win32 and DOS
  std::uint32_t attributes = 0;  // normalised Windows bits
  std::uint64_t size = 0;
  std::uint64_t allocatedSize = 0;
  std::uint64_t created = 0;
  std::uint64_t modified = 0;
  std::uint64_t mftChanged = 0;
  std::uint64_t accessed = 0;
  bool IsDirectory() const { return (attributes & kFileAttrDirectory) != 0; }
};

struct NtfsVolumeInfo {
  std::string label;
  std::uint64_t mftStartCluster = 0;
  std::uint32_t mftRecordSize = 0;
  std::uint32_t bytesPerSector = 0;
  std::uint32_t bytesPerCluster = 0;
  std::uint64_t clusters = 0;
  std::uint64_t freeClusters = 0;
};

// Applies an update-sequence array: the last two bytes of every 512-byte stride of `block`
// must hold the sequence number and get back the saved bytes. `strides` of them are fixed
// (capped by the block's size); false on a mismatch or an array outside the block.
bool ApplyFixups(std::span<std::uint8_t> block, std::uint32_t strides);

class CNtfsVolume : public CVolume {
 public:
  CNtfsVolume();
  ~CNtfsVolume() override;

  bool Initialize(char driveLetter) override;
  std::uint32_t GetFsType() const override { return kFsNtfs; }

  // Sets the geometry without a boot sector, for tests and fuzzers that build records in
  // memory: the letter is opened as Initialize would, nothing else is read.
  bool AttachGeometry(char driveLetter, std::uint32_t bytesPerSector, std::uint32_t bytesPerCluster,
                      std::uint32_t recordSize, std::uint64_t clusterCount);

  bool ReadSystemRecord(std::uint32_t index, CNtfsFile& file);
  std::uint16_t UpCaseChar(std::uint16_t unit);

  CNtfsFile& MftFile() { return m_mft; }
  CNtfsFile& VolumeFile() { return m_volumeFile; }
  CNtfsFile& RootFile() { return m_root; }
  CNtfsFile& BitmapFile() { return m_bitmap; }
  CNtfsFile& UpCaseFile() { return m_upcase; }
  std::uint64_t MftStartCluster() const { return m_mftStartCluster; }
  std::uint32_t MftRecordSize() const { return m_recordSize; }
  // Clusters of the volume as its boot sector gives them.
  std::uint64_t ClusterCount() const { return m_clusterCount; }
  // True for a cluster number that lies on the volume (reads of others are refused).
  bool ClusterInVolume(std::int64_t lcn) const {
    return lcn >= 0 && static_cast<std::uint64_t>(lcn) < m_clusterCount;
  }

  // Reads record `number` through the MFT's $DATA into `buffer` (resized to one record).
  bool ReadMftRecord(std::uint32_t number, std::vector<std::uint8_t>& buffer);
  // The same read, told as Ok, DeviceError (the bytes could not be read) or Corrupt (the MFT
  // holds no such record).
  RecordLoad ReadMftRecordResult(std::uint32_t number, std::vector<std::uint8_t>& buffer) {
    if (ReadMftRecord(number, buffer)) return RecordLoad::kOk;
    return m_lastRecordUnreadable ? RecordLoad::kDeviceError : RecordLoad::kCorrupt;
  }
  // True when the last ReadMftRecord failed because the record's bytes could not be read
  // (a device error, the end of a cut-off source), not because there is no such record.
  bool LastRecordUnreadable() const { return m_lastRecordUnreadable; }
  // With `bytes` > 0, ReadMftRecord serves records from a window of up to that many bytes of
  // the MFT, read in one go (one device read per run it covers) by PrefetchMftRecords, for
  // scans that take records in ascending order. The bytes are those of the record-by-record
  // read, which serves every record outside the window; 0 turns it off and frees the window.
  void SetMftReadAhead(std::uint32_t bytes);
  // Moves the window to start at record `first` unless it holds that record already. Only the
  // scan moves it: records it looks up on the side (parent folders) are read alone, so they
  // do not cost a window each.
  void PrefetchMftRecords(std::uint32_t first);
  // Clusters in [first, first + count) that $Bitmap marks in use; clipped to the volume.
  // False when the bitmap cannot be read.
  bool CountUsedClusters(std::uint64_t first, std::uint64_t count, std::uint64_t& used);

  // Label, geometry, cluster count and free clusters (zero bits of $Bitmap).
  bool GetVolumeInfo(NtfsVolumeInfo& info);
  std::string Label();

  // Directory index lookups. (Folder paths of a catalogue are built in index/, from its
  // folder-name map.)
  bool ApplyIndexFixup(std::span<std::uint8_t> block, std::uint32_t size);
  int CompareNames(std::string_view a, std::string_view b);
  std::uint32_t FindInDirectory(std::string_view name, std::uint32_t dirRecord);
  std::uint32_t ResolvePath(std::string_view path);
  // Every entry of the folder's index ($INDEX_ROOT and the in-use blocks of
  // $INDEX_ALLOCATION), DOS-only names left out; with `foldersOnly`, only subfolders. False
  // when the folder cannot be read, or when an index block in use (or the index's block map)
  // cannot be read: `entries` then holds what could be read.
  bool ListDirectory(std::uint32_t dirRecord, std::vector<NtfsDirEntry>& entries,
                     bool foldersOnly = false);
  // Index blocks in use that ListDirectory could not read, over the volume's life: the
  // entries they hold are missing from its results, which callers tell the person about.
  std::uint64_t UnreadableIndexBlocks() const { return m_unreadableIndexBlocks; }

 private:
  // False for a block that cannot be used; `unreadable` (when given) is set when its bytes
  // could not be read at all.
  bool ReadIndexBlock(CNtfsFileAttr& allocation, std::uint64_t vcn, std::uint32_t blockSize,
                      std::vector<std::uint8_t>& block, bool* unreadable = nullptr);
  std::uint32_t IndexVcnUnit(std::uint32_t blockSize) const;

  CNtfsFile m_mft;
  CNtfsFile m_volumeFile;
  CNtfsFile m_root;
  CNtfsFile m_bitmap;
  CNtfsFile m_upcase;
  std::uint32_t m_upcasePage = 0;
  CNtfsFileAttr* m_upcaseData = nullptr;
  std::vector<std::uint8_t> m_upcasePageBuffer;
  bool m_upcasePageValid = false;
  std::uint64_t m_mftStartCluster = 0;
  std::uint32_t m_recordSize = 0;
  std::uint64_t m_clusterCount = 0;

  bool ReadMftRecordAhead(std::uint32_t number, std::vector<std::uint8_t>& buffer) const;

  bool m_lastRecordUnreadable = false;
  std::uint32_t m_readAheadBytes = 0;
  std::vector<std::uint8_t> m_readAhead;
  std::uint64_t m_readAheadStart = 0;  // byte offset of the window in the MFT's $DATA
  std::uint64_t m_readAheadValid = 0;  // bytes of the window that were read
  // End of a window whose read failed: records before it are read one by one, so one bad
  // cluster does not cost a window read per record.
  std::uint64_t m_readAheadFailedEnd = 0;

  // Windows of $Bitmap kept between CountUsedClusters calls, each in the slot its window
  // number picks: files scattered over a large volume then cost one read per window, not one
  // per file.
  struct BitmapWindow {
    std::vector<std::uint8_t> bytes;  // empty: slot unused
    std::uint64_t start = 0;          // byte offset in $Bitmap
  };
  std::vector<BitmapWindow> m_bitmapWindows;
  // The window holding $Bitmap byte `byte`, read when not at hand; nullptr when unreadable.
  const BitmapWindow* BitmapWindowFor(CNtfsFileAttr& data, std::uint64_t byte);
  std::uint64_t m_unreadableIndexBlocks = 0;
};

}  // namespace sorvani
