// The index cache file: the four containers of the catalogue of one drive, saved after a
// complete scan and reloaded instead of scanning again later in the same run.
//
// Layout (little-endian, no padding between records): a 24-byte header
//   0 u32 format 100001 | 4 u8 incomplete | 5 u8 drive letter | 6 u8 0 | 7 pad
//   8 i64 creation time (seconds since 1970, UTC) | 16 u32 record count | 20 pad
// then records of u16 length (whole record) and u8 type:
//   1 entry       length = name + 16: u32 record, u32 parent, u32 attributes, name, 0
//   2 child link  length 11: u32 parent, u32 child
//   3 orphan      length 7:  u32 record
//   4 live folder length 7:  u32 record
//   5 identity    length = path + 64, always the first record (readers that predate it skip
//                 it as an unknown type): u64 device, u64 inode, u64 modified, u64 offset,
//                 u64 size, u64 volume serial, u64 MFT records, u32 cluster size, real path, 0
#pragma once

#include <cstdint>
#include <string>

namespace sorvani {

class CFileIndex;
class CNtfsVolume;
struct DriveSource;
struct IndexProgress;

inline constexpr std::uint32_t kCacheFormat = 100001;
inline constexpr std::size_t kCacheHeaderSize = 24;
inline constexpr std::size_t kCacheMaxRecord = 4096;
inline constexpr double kCacheMaxAgeSeconds = 18000.0;  // five hours

// What a cache file describes: the source behind the letter (its file or device, the window
// of the partition in it) and the NTFS volume found there. A file is loaded only for the
// identity it was saved with, so no letter ever shows another volume's catalogue.
struct CacheIdentity {
  std::uint64_t device = 0;    // device number of the file, or of the block device
  std::uint64_t inode = 0;     // of the file; for a source held in memory, its address
  std::uint64_t modified = 0;  // of the file, ns since 1970
  std::uint64_t offset = 0;    // of the volume in the source
  std::uint64_t size = 0;      // of the volume's byte range
  std::uint64_t serial = 0;    // volume serial number, boot sector offset 0x48
  std::uint64_t mftRecords = 0;
  std::uint32_t clusterSize = 0;
  std::string realPath;
  bool operator==(const CacheIdentity&) const = default;
};
// The identity of the volume `volume` has open as drive `driveLetter`; false when it cannot be
// told (no source, an unreadable boot sector), and then no cache file is used for it.
bool VolumeCacheIdentity(char driveLetter, CNtfsVolume& volume, CacheIdentity& out);
// The same for the source the volume was opened from.
bool VolumeCacheIdentity(const DriveSource& source, CNtfsVolume& volume, CacheIdentity& out);

// The folder of the cache files: the program's state folder unless a test set another.
std::string CacheFolder();
void SetCacheFolder(const std::string& folder);  // "" restores the default
std::string CacheFilePath(char driveLetter);

// Seconds since 1970 as the cache sees them; tests replace the clock (nullptr restores it).
using CacheClock = std::int64_t (*)();
void SetCacheClock(CacheClock clock);

// A front end that keeps no cache files (the command line, whose drive letters live only as
// long as the process) switches saving off here; the profile setting still applies on top.
void SetCacheSavingAllowed(bool allowed);

// Deletes the file of one drive, or of every drive for letter 0; whether all deletions worked.
std::uint32_t CleanUpCache(char driveLetter);
// Deletes every cache file older than `maxAgeSeconds` (by the time in its header, or by the
// file's own time when the header is not one of ours); whether all deletions worked.
std::uint32_t CleanUpStaleCache(double maxAgeSeconds = kCacheMaxAgeSeconds);

// 1 when written (or the save was cancelled), 0 when saving is off or the file cannot be made.
// 1 when the index came from the file (or its load was cancelled part way), else 0.
std::uint32_t DumpIndexToCache(char driveLetter, const CFileIndex& index, IndexProgress& progress,
                               const CacheIdentity& identity);
std::uint32_t RestoreIndexFromCache(char driveLetter, CFileIndex& index, IndexProgress& progress,
                                    const CacheIdentity& identity);
// With an empty identity, for callers that deal in files alone (tests, the fuzzer).
std::uint32_t DumpIndexToCache(char driveLetter, const CFileIndex& index, IndexProgress& progress);
std::uint32_t RestoreIndexFromCache(char driveLetter, CFileIndex& index, IndexProgress& progress);

}  // namespace sorvani
