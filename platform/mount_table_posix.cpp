#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <memory>

#include "platform/block_devices.h"
#include "platform/mount_table.h"

namespace sorvani {
namespace {

// Splits at single blanks; mountinfo never has empty fields.
std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t pos = 0;
  while (pos < line.size()) {
    std::size_t end = line.find(' ', pos);
    if (end == std::string_view::npos) end = line.size();
    if (end > pos) fields.push_back(line.substr(pos, end - pos));
    pos = end + 1;
  }
  return fields;
}

bool IsOctal(char c) { return c >= '0' && c <= '7'; }

bool ReadU64(const std::string& path, std::uint64_t& value) {
  std::string text;
  if (!ReadAttributeText(path, text, 64) || text.empty()) return false;
  char* end = nullptr;
  value = std::strtoull(text.c_str(), &end, 10);
  return end && *end == 0;
}

std::string RealPathOf(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
  return real ? std::string(real.get()) : std::string();
}

std::uint64_t AddClamped(std::uint64_t a, std::uint64_t b) {
  return a > std::numeric_limits<std::uint64_t>::max() - b
             ? std::numeric_limits<std::uint64_t>::max()
             : a + b;
}

// Narrows the window (offset, length) taken inside a container whose own window into the
// layer below starts at `start` and holds `size` bytes (0: to the end).
void EnterContainer(std::uint64_t start, std::uint64_t size, std::uint64_t& offset,
                    std::uint64_t& length) {
  if (size != 0) {
    std::uint64_t room = offset < size ? size - offset : 0;
    length = length == 0 ? room : std::min(length, room);
    if (length == 0) length = 1;  // past the container's end: still that container
  }
  offset = AddClamped(offset, start);
}

// Stacked loop devices and partitions are followed this deep at most.
constexpr int kMaxLayers = 16;

// The range [offset, offset + length) of the regular file `st` describes.
BackingRange FileRange(const struct stat& st, std::uint64_t offset, std::uint64_t length) {
  BackingRange range;
  range.device = st.st_dev;
  range.inode = st.st_ino;
  range.offset = offset;
  range.length = length;
  return range;
}

}  // namespace

std::string DecodeMountEscapes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && IsOctal(text[i + 1]) && IsOctal(text[i + 2]) &&
        IsOctal(text[i + 3])) {
      int value = (text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0');
      if (value <= 0xFF && value != 0) {
        out.push_back(static_cast<char>(value));
        i += 3;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

bool ParseMountInfoLine(std::string_view line, MountFacts& out) {
  // id parent MAJ:MIN root mount-point options [optional...] - type source super-options
  std::vector<std::string_view> fields = Fields(line);
  if (fields.size() < 7) return false;
  std::size_t dash = 6;
  while (dash < fields.size() && fields[dash] != "-") ++dash;
  if (dash + 2 >= fields.size()) return false;  // no separator, or no type and source
  MountFacts facts;
  if (!ParseDevNumber(fields[2], facts.major, facts.minor)) return false;
  facts.root = DecodeMountEscapes(fields[3]);
  facts.mountPoint = DecodeMountEscapes(fields[4]);
  facts.fsType = DecodeMountEscapes(fields[dash + 1]);
  facts.source = DecodeMountEscapes(fields[dash + 2]);
  if (facts.mountPoint.empty() || facts.mountPoint[0] != '/') return false;
  out = std::move(facts);
  return true;
}

std::vector<MountFacts> ReadMountInfo(const std::string& path) {
  std::vector<MountFacts> mounts;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    MountFacts facts;
    if (ParseMountInfoLine(line, facts)) mounts.push_back(std::move(facts));
  }
  return mounts;
}

bool IsNetworkFileSystem(std::string_view fsType) {
  static constexpr std::array<std::string_view, 16> kNetwork = {
      "nfs", "nfs4",  "cifs",      "smb3",           "smbfs",      "ncpfs",
      "afs", "ceph",  "glusterfs", "fuse.glusterfs", "fuse.sshfs", "sshfs",
      "9p",  "davfs", "fuse.s3fs", "lustre"};
  for (std::string_view name : kNetwork)
    if (fsType == name) return true;
  return false;
}

bool BackingsOverlap(const BackingRange& a, const BackingRange& b) {
  if (a.disk != b.disk || a.device != b.device || (!a.disk && a.inode != b.inode)) return false;
  auto end = [](const BackingRange& r) {
    return r.length == 0 ? std::numeric_limits<std::uint64_t>::max()
                         : AddClamped(r.offset, r.length);
  };
  return a.offset < end(b) && b.offset < end(a);
}

bool BackingOfBlockDevice(unsigned major, unsigned minor, std::uint64_t offset,
                          std::uint64_t length, BackingRange& out, const std::string& sysRoot) {
  for (int layer = 0; layer < kMaxLayers; ++layer) {
    std::string node =
        sysRoot + "/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
    struct stat st {};
    if (::stat(node.c_str(), &st) != 0) {
      if (layer == 0) return false;
      break;  // a layer below vanished: the device above is what can be named
    }
    std::uint64_t start = 0, sectors = 0;
    if (ReadU64(node + "/partition", start) && ReadU64(node + "/start", start)) {
      // A partition: its disk is the folder above it in the device tree.
      ReadU64(node + "/size", sectors);
      std::string real = RealPathOf(node);
      std::string parentDev;
      unsigned pmajor = 0, pminor = 0;
      if (real.empty() ||
          !ReadAttributeText(real.substr(0, real.rfind('/')) + "/dev", parentDev, 64) ||
          !ParseDevNumber(parentDev, pmajor, pminor))
        break;
      EnterContainer(start * 512, sectors * 512, offset, length);
      major = pmajor;
      minor = pminor;
      continue;
    }
    std::string backing;
    if (ReadAttributeText(node + "/loop/backing_file", backing, 8192) && !backing.empty()) {
      std::uint64_t loopOffset = 0, limit = 0;
      ReadU64(node + "/loop/offset", loopOffset);
      ReadU64(node + "/loop/sizelimit", limit);
      struct stat file {};
      if (::stat(backing.c_str(), &file) != 0) break;  // e.g. "(deleted)": the loop itself
      EnterContainer(loopOffset, limit, offset, length);
      if (S_ISBLK(file.st_mode)) {
        major = ::major(file.st_rdev);
        minor = ::minor(file.st_rdev);
        continue;
      }
      out = FileRange(file, offset, length);
      return true;
    }
    break;
  }
  out = BackingRange{};
  out.disk = true;
  out.device = ::makedev(major, minor);
  out.offset = offset;
  out.length = length;
  return true;
}

bool BackingOfPath(const std::string& path, std::uint64_t offset, std::uint64_t length,
                   BackingRange& out, const std::string& sysRoot) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return false;
  if (S_ISBLK(st.st_mode))
    return BackingOfBlockDevice(::major(st.st_rdev), ::minor(st.st_rdev), offset, length, out,
                                sysRoot);
  if (!S_ISREG(st.st_mode)) return false;
  out = FileRange(st, offset, length);
  return true;
}

std::vector<BackingRange> BackingsOfFolder(const std::string& folder,
                                           const std::string& mountInfoPath,
                                           const std::string& sysRoot) {
  std::vector<BackingRange> out;
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) return out;
  unsigned major = ::major(st.st_dev), minor = ::minor(st.st_dev);
  BackingRange range;
  if (BackingOfBlockDevice(major, minor, 0, 0, range, sysRoot)) out.push_back(range);
  for (const MountFacts& mount : ReadMountInfo(mountInfoPath)) {
    if (mount.major != major || mount.minor != minor) continue;
    if (mount.source.empty() || mount.source[0] != '/') continue;
    if (BackingOfPath(mount.source, 0, 0, range, sysRoot)) out.push_back(range);
  }
  return out;
}

bool QueryMountSpace(const std::string& mountPoint, std::uint64_t& capacity, std::uint64_t& free) {
  struct statvfs st {};
  if (::statvfs(mountPoint.c_str(), &st) != 0) return false;
  std::uint64_t unit = st.f_frsize ? st.f_frsize : st.f_bsize;
  capacity = static_cast<std::uint64_t>(st.f_blocks) * unit;
  free = static_cast<std::uint64_t>(st.f_bavail) * unit;
  return true;
}

}  // namespace sorvani
