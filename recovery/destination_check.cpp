#include "recovery/destination_check.h"

#include <algorithm>
#include <cctype>

#include "disk/drive_table.h"
#include "foundation/name_compare.h"
#include "foundation/profile.h"
#include "platform/dest_files.h"
#include "platform/mount_table.h"
#include "platform/paths.h"

namespace sorvani {
namespace {

constexpr std::size_t kMaxRecent = 5;
constexpr std::size_t kRecentTextLimit = 2048;

// Resolves "." and ".." parts. A ".." is taken against the real location of the folders
// before it when they exist (so "link/.." is where the link leads, as the system sees it),
// and as text where they do not exist yet. Every later check and every item's path is then
// plainly under the result.
std::string ResolveDotDot(const std::string& path) {
  bool dots = false;
  for (std::size_t i = 0; i < path.size();) {
    std::size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    std::string_view part(path.data() + i, j - i);
    if (part == "." || part == "..") dots = true;
    i = j + 1;
  }
  if (!dots) return path;
  std::string out = "/";
  for (std::size_t i = 0; i < path.size();) {
    std::size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    std::string part = path.substr(i, j - i);
    i = j + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (std::string real = RealPath(out); !real.empty()) out = real;
      auto slash = out.rfind('/');
      out = slash == 0 || slash == std::string::npos ? "/" : out.substr(0, slash);
      continue;
    }
    if (out.back() != '/') out += '/';
    out += part;
  }
  return out;
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
  destination = ResolveDotDot(destination);
  if (destination.back() != '/') destination += '/';
  return true;
}

bool DestinationOnSource(const std::string& destination, const DriveSource& source,
                         const std::string& mountInfoPath) {
  if (source.path.empty()) return false;  // memory
  BackingRange read;
  if (!BackingOfPath(source.path, source.offset, source.length, read)) return false;
  for (const BackingRange& written :
       BackingsOfFolder(NearestExistingFolder(destination), mountInfoPath))
    if (BackingsOverlap(read, written)) return true;
  return false;
}

bool DestinationOnSource(const std::string& destination, const DriveSource& source) {
  return DestinationOnSource(destination, source, "/proc/self/mountinfo");
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
    check.notNtfs = std::none_of(std::begin(kNtfsNames), std::end(kNtfsNames), [&](const char* n) {
      return SameTextNoCase(check.fileSystem, n);
    });
  }
  return check;
}

std::vector<std::string> RecentDestinations() {
  std::string text = Profile().GetString("Recover", "LastDestinationFolders", std::string());
  // A longer value was never written by us (hand-edited): its last entry may be cut, so the
  // whole list falls back to the default, none.
  if (text.size() >= kRecentTextLimit) return {};
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
                            [&](const std::string& d) { return SameTextNoCase(d, destination); }),
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
