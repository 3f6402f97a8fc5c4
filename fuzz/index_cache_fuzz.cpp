// Feeds arbitrary bytes to the index cache loader as the cache file of one drive.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "foundation/endian.h"
#include "index/file_index.h"
#include "index/index_cache.h"

namespace {

std::int64_t g_now = 0;
std::int64_t FuzzClock() { return g_now; }

const std::string& Folder() {
  static const std::string folder = [] {
    char pattern[] = "/tmp/sorvani-cache-fuzz.XXXXXX";
    const char* made = ::mkdtemp(pattern);
    return std::string(made ? made : "/tmp");
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace sorvani;
  SetCacheFolder(Folder());
  // Let most inputs pass the age rule so the record walk is reached: "now" is the file's own
  // creation time plus a little.
  // Unsigned arithmetic: the file's time may be anything, and the sum must not overflow.
  g_now = size >= 16 ? static_cast<std::int64_t>(ReadLe64(ByteSpan(data, size), 8) + 60u) : 0;
  SetCacheClock(&FuzzClock);

  std::string path = CacheFilePath('F');
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  CFileIndex index;
  IndexProgress progress;
  RestoreIndexFromCache('F', index, progress);
  ::unlink(path.c_str());
  return 0;
}
