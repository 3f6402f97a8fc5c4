#include <sys/statvfs.h>

#include <array>
#include <cerrno>
#include <fstream>

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

bool QueryMountSpace(const std::string& mountPoint, std::uint64_t& capacity, std::uint64_t& free) {
  struct statvfs st {};
  if (::statvfs(mountPoint.c_str(), &st) != 0) return false;
  std::uint64_t unit = st.f_frsize ? st.f_frsize : st.f_bsize;
  capacity = static_cast<std::uint64_t>(st.f_blocks) * unit;
  free = static_cast<std::uint64_t>(st.f_bavail) * unit;
  return true;
}

}  // namespace sorvani
