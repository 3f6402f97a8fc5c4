// The mounted file systems of this process's mount namespace (mountinfo) and the space of a
// mounted one (statvfs).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sorvani {

struct MountFacts {
  unsigned major = 0;
  unsigned minor = 0;
  std::string root;        // the mounted sub-tree of the file system ("/" for all of it)
  std::string mountPoint;  // escapes decoded
  std::string fsType;      // "ext4", "fuseblk", "nfs4"
  std::string source;      // "/dev/sda1", "server:/export"
};

// Decodes the octal escapes the kernel writes for blanks, tabs, line breaks and
// backslashes ("\040"). Any other backslash is kept as it is.
std::string DecodeMountEscapes(std::string_view text);

// Parses one mountinfo line; false when it lacks a field or its separator.
bool ParseMountInfoLine(std::string_view line, MountFacts& out);

// Every well-formed line of a mountinfo file, in file order; lines that do not parse are
// skipped. Empty when the file cannot be read.
std::vector<MountFacts> ReadMountInfo(const std::string& path);

// True for file-system types that reach another machine (NFS, SMB, sshfs and the like).
bool IsNetworkFileSystem(std::string_view fsType);

// Capacity and free bytes (those available to this user) of the mounted file system at
// `mountPoint`. False with errno set when statvfs fails.
bool QueryMountSpace(const std::string& mountPoint, std::uint64_t& capacity, std::uint64_t& free);

}  // namespace sorvani
