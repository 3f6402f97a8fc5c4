// A readable byte range: a device, a window of an image file, or memory (tests, fuzzers).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/raw_device.h"

namespace sorvani {

class IByteSource {
 public:
  virtual ~IByteSource() = default;
  // Reads up to `size` bytes at `offset` from the start of the range; returns the count
  // (short only at the end of the range) or -1 with errno set.
  virtual std::int64_t ReadAt(std::uint64_t offset, void* dst, std::size_t size) = 0;
  virtual std::uint64_t Size() const = 0;
};

// A window [offset, offset + length) of a device or file opened read-only.
class CDeviceSource final : public IByteSource {
 public:
  // length 0 means "to the end of the device".
  bool Open(const std::string& path, std::uint64_t offset = 0, std::uint64_t length = 0);
  std::int64_t ReadAt(std::uint64_t offset, void* dst, std::size_t size) override;
  std::uint64_t Size() const override { return m_length; }

 private:
  CRawDevice m_device;
  std::uint64_t m_offset = 0;
  std::uint64_t m_length = 0;
};

class CMemorySource final : public IByteSource {
 public:
  explicit CMemorySource(std::shared_ptr<const std::vector<std::uint8_t>> bytes,
                         std::uint64_t offset = 0, std::uint64_t length = 0);
  std::int64_t ReadAt(std::uint64_t offset, void* dst, std::size_t size) override;
  std::uint64_t Size() const override { return m_length; }

 private:
  std::shared_ptr<const std::vector<std::uint8_t>> m_bytes;
  std::uint64_t m_offset;
  std::uint64_t m_length;
};

}  // namespace sorvani
