#include "index/index_cache.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <mutex>
#include <system_error>
#include <vector>

#include "disk/drive_table.h"
#include "foundation/endian.h"
#include "foundation/log.h"
#include "foundation/profile.h"
#include "index/enum_thread.h"
#include "index/file_index.h"
#include "ntfs/ntfs_attr.h"
#include "ntfs/ntfs_volume.h"
#include "platform/paths.h"

namespace sorvani {
namespace {

enum : std::uint8_t {
  kRecEntry = 1,
  kRecChild = 2,
  kRecOrphan = 3,
  kRecLive = 4,
  kRecIdentity = 5
};

constexpr std::size_t kIdentityFixed = 64;  // the identity record up to its path
constexpr std::size_t kBootSerialOffset = 0x48;

std::mutex g_settingsLock;
std::string g_cacheFolder;
CacheClock g_clock = nullptr;
bool g_savingAllowed = true;

std::int64_t Now() {
  std::lock_guard<std::mutex> lock(g_settingsLock);
  return g_clock ? g_clock() : static_cast<std::int64_t>(std::time(nullptr));
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

void BuildHeader(std::uint8_t* h, bool incomplete, char letter, std::int64_t created,
                 std::uint32_t count) {
  std::fill(h, h + kCacheHeaderSize, std::uint8_t{0});
  WriteLe32(h, kCacheFormat);
  h[4] = incomplete ? 1 : 0;
  h[5] = static_cast<std::uint8_t>(letter);
  WriteLe64(h + 8, static_cast<std::uint64_t>(created));
  WriteLe32(h + 16, count);
}

// Takes the lock for one progress step; true when the run has been cancelled.
bool StepAndTestCancel(IndexProgress& progress) {
  std::lock_guard<std::mutex> lock(index_lock);
  ++progress.done;
  return progress.Cancelled();
}

bool DeleteFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::remove(path, ec);
}

// Each record type's smallest length; a record shorter than its fields is corrupt.
std::size_t MinimumLength(std::uint8_t type) {
  switch (type) {
    case kRecEntry:
      return 16;
    case kRecChild:
      return 11;
    case kRecOrphan:
    case kRecLive:
      return 7;
    case kRecIdentity:
      return kIdentityFixed;
    default:
      return 3;
  }
}

// The identity record in `record`; its length.
std::size_t BuildIdentity(std::uint8_t* record, const CacheIdentity& id) {
  std::size_t pathLength = std::min(id.realPath.size(), kCacheMaxRecord - kIdentityFixed);
  record[2] = kRecIdentity;
  WriteLe64(record + 3, id.device);
  WriteLe64(record + 11, id.inode);
  WriteLe64(record + 19, id.modified);
  WriteLe64(record + 27, id.offset);
  WriteLe64(record + 35, id.size);
  WriteLe64(record + 43, id.serial);
  WriteLe64(record + 51, id.mftRecords);
  WriteLe32(record + 59, id.clusterSize);
  std::copy_n(id.realPath.data(), pathLength, record + 63);
  record[63 + pathLength] = 0;
  return kIdentityFixed + pathLength;
}

// Whether the identity record `r` (its length checked) names `id`. A path cut to fit the
// record compares by the part that was kept.
bool SameIdentity(ByteSpan r, const CacheIdentity& id) {
  std::size_t end = kIdentityFixed - 1;
  while (end < r.size() && r[end] != 0) ++end;
  std::string_view path(reinterpret_cast<const char*>(r.data() + kIdentityFixed - 1),
                        end - (kIdentityFixed - 1));
  std::string_view expected =
      std::string_view(id.realPath).substr(0, kCacheMaxRecord - kIdentityFixed);
  return ReadLe64(r, 3) == id.device && ReadLe64(r, 11) == id.inode &&
         ReadLe64(r, 19) == id.modified && ReadLe64(r, 27) == id.offset &&
         ReadLe64(r, 35) == id.size && ReadLe64(r, 43) == id.serial &&
         ReadLe64(r, 51) == id.mftRecords && ReadLe32(r, 59) == id.clusterSize && path == expected;
}

// Age in seconds of a cache file, by its header when it is one of ours, else by its own time.
bool FileAge(const std::filesystem::path& path, double& age) {
  FilePtr file(std::fopen(path.c_str(), "rb"));
  std::uint8_t header[kCacheHeaderSize];
  if (file && std::fread(header, 1, sizeof header, file.get()) == sizeof header &&
      ReadLe32(ByteSpan(header, sizeof header), 0) == kCacheFormat) {
    auto created = static_cast<std::int64_t>(ReadLe64(ByteSpan(header, sizeof header), 8));
    age = static_cast<double>(Now()) - static_cast<double>(created);
    return true;
  }
  std::error_code ec;
  auto written = std::filesystem::last_write_time(path, ec);
  if (ec) return false;
  age = std::chrono::duration<double>(std::filesystem::file_time_type::clock::now() - written)
            .count();
  return true;
}

bool IsCacheFileName(const std::string& name) {
  return name.size() == 17 && name.starts_with("~index_dump_") && name.ends_with(".tmp");
}

}  // namespace

std::string CacheFolder() {
  {
    std::lock_guard<std::mutex> lock(g_settingsLock);
    if (!g_cacheFolder.empty()) return g_cacheFolder;
  }
  return StateFolder();
}

void SetCacheFolder(const std::string& folder) {
  std::lock_guard<std::mutex> lock(g_settingsLock);
  g_cacheFolder = folder;
}

void SetCacheSavingAllowed(bool allowed) {
  std::lock_guard<std::mutex> lock(g_settingsLock);
  g_savingAllowed = allowed;
}

void SetCacheClock(CacheClock clock) {
  std::lock_guard<std::mutex> lock(g_settingsLock);
  g_clock = clock;
}

std::string CacheFilePath(char driveLetter) {
  char name[32];
  std::snprintf(name, sizeof name, "~index_dump_%c.tmp", driveLetter);
  return CacheFolder() + "/" + name;
}

bool VolumeCacheIdentity(char driveLetter, CNtfsVolume& volume, CacheIdentity& out) {
  out = CacheIdentity{};
  auto source = CDriveTable::Instance().Find(driveLetter);
  return source && VolumeCacheIdentity(*source, volume, out);
}

bool VolumeCacheIdentity(const DriveSource& source, CNtfsVolume& volume, CacheIdentity& out) {
  out = CacheIdentity{};
  if (!volume.Device()) return false;
  DriveSourceIdentity where;
  if (!IdentifySource(source, where)) return false;
  out.device = where.file.device;
  out.inode = source.memory ? where.memory : where.file.inode;
  out.modified = where.file.modified;
  out.realPath = where.file.realPath;
  out.offset = source.offset;
  out.size = volume.DeviceSize();
  std::uint8_t serial[8];
  std::uint32_t got = 0;
  if (!volume.ReadDirect(kBootSerialOffset, serial, sizeof serial, got) || got != sizeof serial)
    return false;
  out.serial = ReadLe64(ByteSpan(serial, sizeof serial), 0);
  out.clusterSize = volume.BytesPerCluster();
  if (CNtfsFileAttr* mft = volume.MftFile().FindAttribute(kAttrData); mft && volume.MftRecordSize())
    out.mftRecords = mft->RealSize() / volume.MftRecordSize();
  return true;
}

std::uint32_t DumpIndexToCache(char driveLetter, const CFileIndex& index, IndexProgress& progress) {
  return DumpIndexToCache(driveLetter, index, progress, CacheIdentity{});
}

std::uint32_t RestoreIndexFromCache(char driveLetter, CFileIndex& index, IndexProgress& progress) {
  return RestoreIndexFromCache(driveLetter, index, progress, CacheIdentity{});
}

std::uint32_t DumpIndexToCache(char driveLetter, const CFileIndex& index, IndexProgress& progress,
                               const CacheIdentity& identity) {
  bool allowed;
  {
    std::lock_guard<std::mutex> lock(g_settingsLock);
    allowed = g_savingAllowed;
  }
  if (!allowed || Profile().GetInt("Cache", "SaveToDisk", 1) == 0) {
    LogFile.WriteAlways("Cache saving is disabled by app settings.");
    return 0;
  }
  ScopeTrace trace(1, "DumpIndexToCache");
  std::string path = CacheFilePath(driveLetter);
  MakeFolders(CacheFolder());
  FilePtr file(std::fopen(path.c_str(), "wb"));
  if (!file) {
    int error = errno;
    LogFile.WriteAlways("Can't open cache file: %s\n", path.c_str());
    LogFile.WriteError(0, error);
    return 0;
  }
  // The catalogue names what was on the volume: keep it to the owner (the program runs as root).
  std::error_code ec;
  std::filesystem::permissions(
      path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
      std::filesystem::perm_options::replace, ec);

  std::size_t sum = 1 + index.EntryCount() + index.ChildCount() + index.OrphanFolders().size() +
                    index.LiveFolders().size();
  auto count = static_cast<std::uint32_t>(sum);
  {
    std::lock_guard<std::mutex> lock(index_lock);
    progress.phase = kPhaseSaving;
    progress.done = 0;
    progress.total = count;
  }
  std::int64_t created = Now();
  std::uint8_t header[kCacheHeaderSize];
  BuildHeader(header, true, driveLetter, created, count);
  std::fwrite(header, 1, sizeof header, file.get());

  std::uint8_t record[kCacheMaxRecord];
  auto put = [&](std::size_t length) {
    WriteLe16(record, static_cast<std::uint16_t>(length));
    std::fwrite(record, 1, length, file.get());
    return !StepAndTestCancel(progress);
  };

  if (!put(BuildIdentity(record, identity))) return 1;
  bool cancelled = false;
  index.ForEachEntry([&](const FileIndexEntry& entry) {
    // Names are at most 255 UTF-16 units; only a forged index could need the cut.
    std::size_t nameLength = std::min(entry.name.size(), kCacheMaxRecord - 16);
    record[2] = kRecEntry;
    WriteLe32(record + 3, entry.record);
    WriteLe32(record + 7, entry.parent);
    WriteLe32(record + 11, entry.attributes);
    std::copy_n(entry.name.data(), nameLength, record + 15);
    record[15 + nameLength] = 0;
    cancelled = !put(nameLength + 16);
    return !cancelled;
  });
  if (cancelled) return 1;
  for (const auto& [parent, child] : index.Children()) {
    record[2] = kRecChild;
    WriteLe32(record + 3, parent);
    WriteLe32(record + 7, child);
    if (!put(11)) return 1;
  }
  for (std::uint32_t r : index.OrphanFolders()) {
    record[2] = kRecOrphan;
    WriteLe32(record + 3, r);
    if (!put(7)) return 1;
  }
  for (std::uint32_t r : index.LiveFolders()) {
    record[2] = kRecLive;
    WriteLe32(record + 3, r);
    if (!put(7)) return 1;
  }

  BuildHeader(header, false, driveLetter, created, count);
  std::fflush(file.get());
  if (std::fseek(file.get(), 0, SEEK_SET) == 0) std::fwrite(header, 1, sizeof header, file.get());
  if (std::fflush(file.get()) != 0) {
    // A short write (a full disk) must not leave a file that looks complete.
    file.reset();
    DeleteFile(path);
    LogFile.WriteAlways("Can't open cache file: %s\n", path.c_str());
    LogFile.WriteLastError(0);
    return 0;
  }
  return 1;
}

std::uint32_t RestoreIndexFromCache(char driveLetter, CFileIndex& index, IndexProgress& progress,
                                    const CacheIdentity& identity) {
  ScopeTrace trace(0, "RestoreIndexFromCache");
  std::string path = CacheFilePath(driveLetter);
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    int error = errno;
    LogFile.WriteAlways("Can't open cache file: %s\n", path.c_str());
    LogFile.WriteError(0, error);
    return 0;
  }
  auto refuse = [&]() -> std::uint32_t {
    file.reset();
    DeleteFile(path);
    return 0;
  };

  std::uint8_t header[kCacheHeaderSize];
  std::size_t got = std::fread(header, 1, sizeof header, file.get());
  ByteSpan h(header, got);
  if (got != kCacheHeaderSize || ReadLe32(h, 0) != kCacheFormat ||
      header[5] != static_cast<std::uint8_t>(driveLetter) || header[4] != 0) {
    LogFile.WriteAlways("Error in cache header.\n");
    return refuse();
  }
  auto created = static_cast<std::int64_t>(ReadLe64(h, 8));
  double age = static_cast<double>(Now()) - static_cast<double>(created);
  if (age > kCacheMaxAgeSeconds) {
    LogFile.WriteAlways("Too old cache.\n");
    return refuse();
  }
  std::uint32_t expected = ReadLe32(h, 16);

  // The identity comes first; a file without one, or of another source or volume, describes
  // something else (or cannot say what) and is not taken.
  std::uint8_t record[kCacheMaxRecord];
  {
    bool same = false;
    if (expected != 0 && std::fread(record, 1, 2, file.get()) == 2) {
      std::size_t length = ReadLe16(ByteSpan(record, 2), 0);
      same = length >= kIdentityFixed && length <= kCacheMaxRecord &&
             std::fread(record + 2, 1, length - 2, file.get()) == length - 2 &&
             record[2] == kRecIdentity && SameIdentity(ByteSpan(record, length), identity);
    }
    if (!same) {
      LogFile.WriteAlways("Cache belongs to another volume.\n");
      return refuse();
    }
  }

  {
    ScopeTrace clearing(1, "Clearing index...");
    LogFile.Write(1, "Entries in file_index:%lu\n", static_cast<unsigned long>(index.EntryCount()));
    index.Clear();
  }
  {
    std::lock_guard<std::mutex> lock(index_lock);
    progress.total = expected;
    progress.done = 0;
    progress.phase = kPhaseLoading;
  }

  std::uint32_t read = 1;  // the identity
  if (StepAndTestCancel(progress)) return 1;
  {
    ScopeTrace reading(1, "Reading entries...");
    for (;;) {
      if (std::fread(record, 1, 2, file.get()) != 2) break;
      std::size_t length = ReadLe16(ByteSpan(record, 2), 0);
      if (length > kCacheMaxRecord || length < 3) return refuse();
      if (std::fread(record + 2, 1, length - 2, file.get()) != length - 2) return 0;
      ByteSpan r(record, length);
      std::uint8_t type = record[2];
      if (length < MinimumLength(type)) return refuse();
      switch (type) {
        case kRecEntry: {
          std::uint32_t number = ReadLe32(r, 3);
          std::size_t end = 15;
          while (end < length && record[end] != 0) ++end;
          // The root is never an entry and every entry has a name: a record that breaks
          // either rule is passed over.
          if (number != kIndexRootRecord && end > 15) {
            index.InsertEntry(
                number, std::string_view(reinterpret_cast<const char*>(record + 15), end - 15),
                ReadLe32(r, 11), ReadLe32(r, 7));
          }
          break;
        }
        case kRecChild:
          index.InsertChild(ReadLe32(r, 3), ReadLe32(r, 7));
          break;
        case kRecOrphan: {
          std::uint32_t number = ReadLe32(r, 3);
          if (number > kLastSystemRecord) index.InsertOrphanFolder(number);
          break;
        }
        case kRecLive: {
          std::uint32_t number = ReadLe32(r, 3);
          if (number != kIndexRootRecord) index.InsertLiveFolder(number);
          break;
        }
        default:
          LogFile.Write(1, "!!!Unknown entry type\n");
          break;
      }
      ++read;
      if (StepAndTestCancel(progress)) return 1;
      // More records than the header announced can only end in a refusal; stop reading now.
      if (read > expected) break;
    }
  }
  if (read == expected) return 1;
  LogFile.WriteAlways("Error reading cache: wrong number of entries");
  return refuse();
}

std::uint32_t CleanUpCache(char driveLetter) {
  ScopeTrace trace(1, "CleanUpCache");
  if (driveLetter != 0) return DeleteFile(CacheFilePath(driveLetter)) ? 1 : 0;
  std::uint32_t result = 1;
  std::error_code ec;
  std::filesystem::directory_iterator it(CacheFolder(), ec), end;
  std::vector<std::filesystem::path> found;
  for (; !ec && it != end; it.increment(ec)) {
    if (IsCacheFileName(it->path().filename().string())) found.push_back(it->path());
  }
  for (const auto& p : found) {
    std::error_code rc;
    if (!std::filesystem::remove(p, rc)) result = 0;
  }
  return result;
}

std::uint32_t CleanUpStaleCache(double maxAgeSeconds) {
  ScopeTrace trace(1, "CleanUpStaleCache");
  std::uint32_t result = 1;
  std::error_code ec;
  std::filesystem::directory_iterator it(CacheFolder(), ec), end;
  std::vector<std::filesystem::path> stale;
  for (; !ec && it != end; it.increment(ec)) {
    double age = 0;
    if (IsCacheFileName(it->path().filename().string()) && FileAge(it->path(), age) &&
        age > maxAgeSeconds)
      stale.push_back(it->path());
  }
  for (const auto& p : stale) {
    std::error_code rc;
    if (!std::filesystem::remove(p, rc)) result = 0;
  }
  return result;
}

}  // namespace sorvani
