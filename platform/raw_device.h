// Read-only access to a block device or a file. Nothing here can write: the descriptor is
// opened O_RDONLY, because the volume being read must never change.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sorvani {

class CRawDevice {
 public:
  CRawDevice() = default;
  ~CRawDevice();
  CRawDevice(const CRawDevice&) = delete;
  CRawDevice& operator=(const CRawDevice&) = delete;

  // Opens `path` for reading. On failure errno is left set and false returned.
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return m_fd >= 0; }
  int Descriptor() const { return m_fd; }

  // Reads up to `size` bytes at `offset`; returns the count (short only at the end of the
  // device) or -1 with errno set. A device error is never a short count: the bytes a failed
  // read delivered before the error are not handed out as if the device ended there.
  std::int64_t ReadAt(std::uint64_t offset, void* dst, std::size_t size) const;

  // Bytes in the file or device.
  std::uint64_t Size() const { return m_size; }
  bool IsBlockDevice() const { return m_isBlockDevice; }

 private:
  int m_fd = -1;
  std::uint64_t m_size = 0;
  bool m_isBlockDevice = false;
};

// Classifies a path before opening it, so callers can name the reason in their error.
enum class PathKind { Missing, Directory, RegularFile, BlockDevice, Other, Unreadable };
PathKind ClassifyPath(const std::string& path, int* errorCode = nullptr);

}  // namespace sorvani
