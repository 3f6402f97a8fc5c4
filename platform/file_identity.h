// What makes a file or device the one it is, beyond the path that named it: a catalogue saved
// for one image must not be taken for another that later sits at the same drive letter.
#pragma once

#include <cstdint>
#include <string>

namespace sorvani {

struct FileIdentity {
  std::uint64_t device = 0;    // block device: its device number; file: its file system's
  std::uint64_t inode = 0;     // 0 for a block device (its number says it all)
  std::uint64_t modified = 0;  // regular file: last change in ns since 1970; 0 for a device
  std::uint64_t size = 0;      // regular file: bytes; 0 for a device
  std::string realPath;        // the path with every link and "." / ".." resolved
  bool operator==(const FileIdentity&) const = default;
};

// False (errno set) when the path cannot be examined.
bool GetFileIdentity(const std::string& path, FileIdentity& out);

}  // namespace sorvani
