#include "index/index_cache.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <mutex>
#include <system_error>
#include <vector>

#include "foundation/endian.h"
#include "foundation/log.h"
#include "foundation/profile.h"
#include "index/file_index.h"
#include "platform/paths.h"

namespace sorvani {
namespace {

enum : std::uint8_t { kRecEntry = 1, kRecChild = 2, kRecOrphan = 3, kRecLive = 4 };

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
  return progress.cancel != 0;
}

bool DeleteFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::remove(path, ec);
}

// Each record type's smallest length; a record shorter than its fields is corrupt.
std::size_t MinimumLength(std::uint8_t type) {
  switch (type) {
    case kRecEntry: return 16;
    case kRecChild: return 11;
    case kRecOrphan:
    case kRecLive: return 7;
    default: return 3;
  }
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

std::uint32_t DumpIndexToCache(char driveLetter) {
  return DumpIndexToCache(driveLetter, file_index, index_progress);
}

std::uint32_t RestoreIndexFromCache(char driveLetter) {
  return RestoreIndexFromCache(driveLetter, file_index, index_progress);
}

std::uint32_t DumpIndexToCache(char driveLetter, const CFileIndex& index, IndexProgress& progress) {
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
  std::filesystem::permissions(path,
                               std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::replace, ec);

  std::size_t sum = index.EntryCount() + index.ChildCount() +
                    index.OrphanFolders().size() + index.LiveFolders().size();
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

std::uint32_t RestoreIndexFromCache(char driveLetter, CFileIndex& index, IndexProgress& progress) {
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

  std::uint32_t read = 0;
  {
    ScopeTrace reading(1, "Reading entries...");
    std::uint8_t record[kCacheMaxRecord];
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
            index.InsertEntry(number,
                              std::string_view(reinterpret_cast<const char*>(record + 15), end - 15),
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
    std::string name = it->path().filename().string();
    if (name.size() == 17 && name.starts_with("~index_dump_") && name.ends_with(".tmp"))
      found.push_back(it->path());
  }
  for (const auto& p : found) {
    std::error_code rc;
    if (!std::filesystem::remove(p, rc)) result = 0;
  }
  return result;
}

}  // namespace sorvani
