#include "tests/util/fixtures.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace sorvani::test {
namespace {

struct Codec {
  const char* suffix;
  const char* command;
};
constexpr Codec kCodecs[] = {
    {".zst", "zstd -dc --long=31"}, {".xz", "xz -dc"}, {".gz", "gzip -dc"}, {".bz2", "bzip2 -dc"}};

// Decompresses `folder/name` + one known suffix into the cache once; the result is written
// under a temporary name and renamed so parallel test processes never see half a file.
std::optional<std::string> Materialize(const std::string& folder, const std::string& name) {
  fs::path cache = SORVANI_FIXTURE_CACHE;
  fs::path out = cache / name;
  std::error_code ec;
  if (fs::exists(fs::path(folder) / name, ec)) return (fs::path(folder) / name).string();
  for (const Codec& codec : kCodecs) {
    fs::path packed = fs::path(folder) / (name + codec.suffix);
    if (!fs::exists(packed, ec)) continue;
    // A regenerated fixture is newer than its decompressed copy: unpack it again.
    if (fs::exists(out, ec) && fs::last_write_time(out, ec) >= fs::last_write_time(packed, ec))
      return out.string();
    fs::create_directories(cache, ec);
    std::string tmp = out.string() + ".tmp." + std::to_string(::getpid());
    std::string cmd = std::string(codec.command) + " '" + packed.string() + "' > '" + tmp + "'";
    if (std::system(cmd.c_str()) != 0) {
      fs::remove(tmp, ec);
      return std::nullopt;
    }
    fs::rename(tmp, out, ec);
    if (ec) return std::nullopt;
    return out.string();
  }
  return std::nullopt;
}

std::optional<std::string> ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace

std::string Fixture(const std::string& name) {
  auto path = Materialize(SORVANI_FIXTURE_DIR, name);
  if (!path) {
    ADD_FAILURE() << "fixture " << name << " is missing from tests/fixtures";
    return {};
  }
  return *path;
}

std::string FixtureText(const std::string& name) {
  return ReadText(fs::path(SORVANI_FIXTURE_DIR) / name).value_or("");
}

std::optional<std::string> RealImage(const std::string& name) {
  return Materialize(SORVANI_REALIMAGES_DIR, name);
}

std::optional<std::string> RealImageText(const std::string& name) {
  return ReadText(fs::path(SORVANI_REALIMAGES_DIR) / name);
}

std::string ScratchFolder(const std::string& testName) {
  fs::path dir =
      fs::path(SORVANI_FIXTURE_CACHE) / "scratch" / (testName + "." + std::to_string(::getpid()));
  std::error_code ec;
  fs::remove_all(dir, ec);
  fs::create_directories(dir, ec);
  return dir.string();
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace sorvani::test
