#include "recovery/destination_check.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "disk/drive_table.h"
#include "foundation/profile.h"
#include "recovery/dest_files.h"

namespace sorvani {
namespace {

constexpr std::size_t kMaxRecent = 5;
constexpr std::size_t kRecentTextLimit = 2048;

std::string ReadFirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

std::string RealPath(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
  return real ? std::string(real.get()) : std::string();
}

bool ParseU64(const std::string& text, std::uint64_t& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtoull(text.c_str(), &end, 10);
  return end && (*end == 0 || *end == '\n' || *end == ' ');
}

bool SameNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

bool NormalizeDestination(const std::string& text, std::string& destination) {
  std::size_t first = text.find_first_not_of(" \t");
  std::size_t last = text.find_last_not_of(" \t");
  destination = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
  if (destination.empty() || destination[0] != '/') return false;
  for (char c : destination) {
    if (std::string_view("|<>*?").find(c) != std::string_view::npos) return false;
    if (static_cast<unsigned char>(c) < 0x20) return false;
  }
  if (destination.back() != '/') destination += '/';
  return true;
}

bool DestinationOnSource(const std::string& destination, const DriveSource& source) {
  struct stat dest {};
  if (::stat(NearestExistingFolder(destination).c_str(), &dest) != 0) return false;
  if (source.path.empty()) return false;  // memory
  struct stat src {};
  if (::stat(source.path.c_str(), &src) != 0) return false;
  std::string sys = "/sys/dev/block/" + std::to_string(major(dest.st_dev)) + ":" +
                    std::to_string(minor(dest.st_dev));
  if (S_ISBLK(src.st_mode)) {
    if (dest.st_dev == src.st_rdev && source.offset == 0) return true;
    // A partition of the source disk that starts where the source's window starts.
    std::uint64_t start = 0;
    std::string node = RealPath(sys);
    if (!node.empty() && ParseU64(ReadFirstLine(sys + "/start"), start)) {
      std::string parentDev = ReadFirstLine(node.substr(0, node.rfind('/')) + "/dev");
      std::string want = std::to_string(major(src.st_rdev)) + ":" + std::to_string(minor(src.st_rdev));
      if (parentDev == want && start * 512 == source.offset) return true;
    }
    return false;
  }
  // An image file mounted through a loop device.
  std::string backing = ReadFirstLine(sys + "/loop/backing_file");
  if (backing.empty() || RealPath(backing) != RealPath(source.path)) return false;
  std::uint64_t offset = 0;
  ParseU64(ReadFirstLine(sys + "/loop/offset"), offset);
  return offset == source.offset;
}

DestinationCheck CheckDestination(const std::string& text, char sourceLetter,
                                  std::uint64_t selectionSize) {
  DestinationCheck check;
  check.valid = NormalizeDestination(text, check.destination);
  if (!check.valid) return check;
  if (auto source = CDriveTable::Instance().Find(sourceLetter))
    check.sameVolume = DestinationOnSource(check.destination, *source);
  check.freeSpaceKnown = DestinationFreeSpace(check.destination, check.freeSpace);
  check.enoughSpace = !check.freeSpaceKnown || selectionSize <= check.freeSpace;
  if (DestinationFileSystem(check.destination, check.fileSystem)) {
    // ntfs-3g mounts show as fuseblk; the kernel drivers as ntfs and ntfs3.
    static const char* const kNtfsNames[] = {"ntfs", "ntfs3", "fuseblk", "fuse.ntfs-3g"};
    check.notNtfs = std::none_of(std::begin(kNtfsNames), std::end(kNtfsNames),
                                 [&](const char* n) { return SameNoCase(check.fileSystem, n); });
  }
  return check;
}

std::vector<std::string> RecentDestinations() {
  std::string text = Profile().GetString("Recover", "LastDestinationFolders", std::string());
  if (text.size() >= kRecentTextLimit) text.resize(kRecentTextLimit - 1);
  std::vector<std::string> out;
  std::size_t i = 0;
  while (i <= text.size()) {
    std::size_t j = text.find('|', i);
    if (j == std::string::npos) j = text.size();
    if (j > i) out.push_back(text.substr(i, j - i));
    i = j + 1;
  }
  return out;
}

void RememberDestination(const std::string& destination) {
  std::vector<std::string> list = RecentDestinations();
  list.erase(std::remove_if(list.begin(), list.end(),
                            [&](const std::string& d) { return SameNoCase(d, destination); }),
             list.end());
  list.insert(list.begin(), destination);
  std::string text;
  for (std::size_t i = 0; i < list.size() && i < kMaxRecent; ++i) {
    if (text.size() + 1 + list[i].size() >= kRecentTextLimit) break;
    text += "|" + list[i];
  }
  Profile().SetString("Recover", "LastDestinationFolders", text);
  Profile().Save();
}

}  // namespace sorvani
