// The destination side of a recovery: files, folders, alternate streams and attributes on the
// file system that receives what is recovered. Errors are errno values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sorvani {

enum class CreateMode { kCreateNew, kCreateAlways };

// One destination file open for writing. Never follows a symbolic link in the last component,
// so a link planted in the destination cannot redirect what is written.
class CDestFile {
 public:
  CDestFile() = default;
  ~CDestFile() { Close(); }
  CDestFile(const CDestFile&) = delete;
  CDestFile& operator=(const CDestFile&) = delete;

  bool Create(const std::string& path, CreateMode mode, int& error);
  // Writes all of `size` bytes or fails. A piece of zeros is not written but skipped and the
  // file extended over it, which leaves a hole where the file system keeps holes (sparse
  // runs come back sparse) and reads back as the same zeros everywhere else.
  bool Write(const void* data, std::size_t size, int& error);
  void Close();
  bool IsOpen() const { return m_fd >= 0; }

 private:
  int m_fd = -1;
};

// Renames `from` to `to` unless `to` exists (EEXIST then); never replaces a file.
bool RenameNoReplace(const std::string& from, const std::string& to, int& error);

// True when `error` means a folder on the way does not exist.
bool IsPathNotFound(int error);
bool IsAlreadyExists(int error);

bool MakeFolder(const std::string& path, int& error);
// Makes `path` and every missing folder above it, from the top down; folders that exist
// already (also through links) count as made.
bool MakeFolderChain(const std::string& path, int& error);
// A real folder (not a link to one) exists at `path`.
bool IsFolder(const std::string& path);
bool PathExists(const std::string& path);

// A folder exists at `path`, following links (for the folders above the destination).
bool IsDirectory(const std::string& path);

// The exact Windows attribute bits, through ntfs-3g's extended attribute; false where the
// destination does not offer it.
bool SetNtfsAttributeBits(const std::string& path, std::uint32_t attributes);
// Read-only expressed in the mode bits: every write bit cleared.
bool ApplyReadOnlyMode(const std::string& path);

// Free bytes for an unprivileged writer at the file system holding `path` (or its nearest
// existing folder); false when it cannot be asked.
bool DestinationFreeSpace(const std::string& path, std::uint64_t& bytes);
// The kernel's name for the file system holding `path` ("ext4", "ntfs3", "fuseblk", ...).
bool DestinationFileSystem(const std::string& path, std::string& name);
// The nearest existing folder at or above `path`.
std::string NearestExistingFolder(const std::string& path);

}  // namespace sorvani
