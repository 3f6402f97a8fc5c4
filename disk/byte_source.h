// A readable byte range: a device, a window of an image file, or memory (tests, fuzzers).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/raw_device.h"

namespace sorvani {

// Why bytes of a read are missing. A device error (EIO and the like) and a range past the end
// of the source are told apart, because they mean different things to the person recovering:
// a failing disk, or an image that was cut short.
enum class ReadFault : std::uint8_t { kDeviceError = 1, kBeyondEnd = 2 };

// Bytes [offset, offset + length) that could not be read; `error` is the errno of a device
// error (0 past the end). Offsets are relative to whatever the list describes (a read, a
// stream, a file).
struct UnreadableRange {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
  ReadFault kind = ReadFault::kDeviceError;
  int error = 0;
  bool operator==(const UnreadableRange&) const = default;
};

// Ranges in the order they were met; a range that continues the previous one with the same
// kind is joined to it, so a run of bad sectors is one entry. Entries are capped so a wholly
// unreadable disk cannot make the list grow without limit: the last entry then absorbs the rest.
class CReadFaults {
 public:
  static constexpr std::size_t kMaxEntries = 4096;
  void Add(std::uint64_t offset, std::uint64_t length, ReadFault kind, int error = 0);
  // Adds every range of `other` moved by `shift` bytes.
  void Append(const CReadFaults& other, std::uint64_t shift);
  void Clear() { m_ranges.clear(); }
  bool Empty() const { return m_ranges.empty(); }
  const std::vector<UnreadableRange>& Ranges() const { return m_ranges; }
  bool Has(ReadFault kind) const;
  std::uint64_t Bytes() const;

 private:
  std::vector<UnreadableRange> m_ranges;
};

class IByteSource {
 public:
  virtual ~IByteSource() = default;
  // Reads up to `size` bytes at `offset` from the start of the range; returns the count
  // (short only at the end of the range) or -1 with errno set. A failed read delivers no
  // count at all: callers that want the readable part ask again in smaller pieces.
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
