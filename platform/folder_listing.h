// The entries of a folder of a mounted file system, as the live listing shows them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sorvani {

struct FolderEntryFacts {
  std::string name;
  std::uint64_t inode = 0;
  bool isDirectory = false;
  bool isSymlink = false;
  std::uint32_t mode = 0;  // permission bits
  std::uint64_t size = 0;
  std::int64_t modifiedSeconds = 0;  // since 1970, UTC
  std::uint32_t modifiedNanoseconds = 0;
  bool hasBirthTime = false;
  std::int64_t birthSeconds = 0;
  std::uint32_t birthNanoseconds = 0;
};

// Every entry of `folder` but "." and "..", with its metadata; symbolic links are described,
// not followed. An entry that vanishes while it is listed is left out. False with errno set
// when the folder itself cannot be read.
bool ListFolderEntries(const std::string& folder, std::vector<FolderEntryFacts>& out);

// The metadata of one path, links not followed; false with errno set.
bool StatEntry(const std::string& path, FolderEntryFacts& out);

}  // namespace sorvani
