// A byte source that fails on purpose: chosen ranges answer EIO (always, or only the first
// few times they are asked), and the source can end early, as a cut-off image does. It wraps
// a real source, so the readers above it see the committed fixtures.
#pragma once

#include <cerrno>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "disk/byte_source.h"

namespace sorvani::test {

class CFaultSource final : public IByteSource {
 public:
  explicit CFaultSource(std::unique_ptr<IByteSource> inner) : m_inner(std::move(inner)) {}

  // Every read touching [offset, offset + length) fails with EIO; with `failures` > 0 only
  // the first that many reads touching it fail (a transient fault that a retry gets past).
  void FailRange(std::uint64_t offset, std::uint64_t length, int failures = -1) {
    m_bad.push_back({offset, length, failures});
  }
  // Bytes read back as `bytes` at `offset` (damage that reads without an error).
  void Patch(std::uint64_t offset, std::vector<std::uint8_t> bytes) {
    m_patches.push_back({offset, std::move(bytes)});
  }
  // The source ends at `size` bytes (reads past it are short, like a truncated file).
  void EndAt(std::uint64_t size) { m_end = size; }

  std::int64_t ReadAt(std::uint64_t offset, void* dst, std::size_t size) override {
    ++m_reads;
    const std::uint64_t total = Size();
    if (offset >= total) return 0;
    if (size > total - offset) size = static_cast<std::size_t>(total - offset);
    for (Bad& bad : m_bad) {
      if (bad.failures == 0) continue;
      if (offset < bad.offset + bad.length && bad.offset < offset + size) {
        if (bad.failures > 0) --bad.failures;
        ++m_failed;
        errno = EIO;
        return -1;
      }
    }
    std::int64_t n = m_inner->ReadAt(offset, dst, size);
    for (const auto& [at, bytes] : m_patches) {
      for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::uint64_t where = at + i;
        if (n > 0 && where >= offset && where < offset + static_cast<std::uint64_t>(n))
          static_cast<std::uint8_t*>(dst)[where - offset] = bytes[i];
      }
    }
    return n;
  }
  std::uint64_t Size() const override { return m_end < m_inner->Size() ? m_end : m_inner->Size(); }

  std::uint64_t Reads() const { return m_reads; }
  std::uint64_t FailedReads() const { return m_failed; }
  void ResetCounts() { m_reads = m_failed = 0; }

 private:
  struct Bad {
    std::uint64_t offset;
    std::uint64_t length;
    int failures;
  };
  std::unique_ptr<IByteSource> m_inner;
  std::vector<Bad> m_bad;
  std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>> m_patches;
  std::uint64_t m_end = ~std::uint64_t{0};
  std::uint64_t m_reads = 0;
  std::uint64_t m_failed = 0;
};

}  // namespace sorvani::test
