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

// What a file system or a source finally lies on: one regular file (by device and inode) or
// one whole block device, and the byte range of it. Partitions, loop devices and loop devices
// over partitions are followed down to it.
struct BackingRange {
  bool disk = false;         // a whole block device, else a regular file
  std::uint64_t device = 0;  // the file's st_dev, or the whole device's number
  std::uint64_t inode = 0;   // files only
  std::uint64_t offset = 0;  // first byte used
  std::uint64_t length = 0;  // bytes used; 0 for "to the end"
};

// True when both lie on the same file or disk and their byte ranges meet.
bool BackingsOverlap(const BackingRange& a, const BackingRange& b);

// The backing of `length` bytes (0: to the end) at `offset` of a regular file or block device
// node. False when the path cannot be examined.
bool BackingOfPath(const std::string& path, std::uint64_t offset, std::uint64_t length,
                   BackingRange& out, const std::string& sysRoot = "/sys");

// The same for a block device by its number; false when sysfs does not know the number (the
// anonymous numbers of FUSE, tmpfs, overlay and network file systems).
bool BackingOfBlockDevice(unsigned major, unsigned minor, std::uint64_t offset,
                          std::uint64_t length, BackingRange& out,
                          const std::string& sysRoot = "/sys");

// Everything the file system holding `folder` may be writing to: its own block device, and
// the file or device each mount of it names as its source (an image mounted through FUSE has
// only an anonymous device number; its mount names the image).
std::vector<BackingRange> BackingsOfFolder(
    const std::string& folder, const std::string& mountInfoPath = "/proc/self/mountinfo",
    const std::string& sysRoot = "/sys");

// Capacity and free bytes (those available to this user) of the mounted file system at
// `mountPoint`. False with errno set when statvfs fails.
bool QueryMountSpace(const std::string& mountPoint, std::uint64_t& capacity, std::uint64_t& free);

}  // namespace sorvani
