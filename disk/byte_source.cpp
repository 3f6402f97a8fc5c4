#include "disk/byte_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace sorvani {

void CReadFaults::Add(std::uint64_t offset, std::uint64_t length, ReadFault kind, int error) {
  if (length == 0) return;
  if (!m_ranges.empty()) {
    UnreadableRange& last = m_ranges.back();
    bool joins = last.kind == kind && last.offset + last.length == offset;
    if (joins || m_ranges.size() >= kMaxEntries) {
      std::uint64_t end = std::max(last.offset + last.length, offset + length);
      last.offset = std::min(last.offset, offset);
      last.length = end - last.offset;
      return;
    }
  }
  m_ranges.push_back({offset, length, kind, error});
}

void CReadFaults::Append(const CReadFaults& other, std::uint64_t shift) {
  for (const UnreadableRange& r : other.m_ranges) Add(r.offset + shift, r.length, r.kind, r.error);
}

bool CReadFaults::Has(ReadFault kind) const {
  for (const UnreadableRange& r : m_ranges)
    if (r.kind == kind) return true;
  return false;
}

std::uint64_t CReadFaults::Bytes() const {
  std::uint64_t total = 0;
  for (const UnreadableRange& r : m_ranges) total += r.length;
  return total;
}

bool CDeviceSource::Open(const std::string& path, std::uint64_t offset, std::uint64_t length) {
  if (!m_device.Open(path)) return false;
  std::uint64_t size = m_device.Size();
  if (offset > size) {
    m_device.Close();
    errno = EINVAL;
    return false;
  }
  m_offset = offset;
  // A window that claims more than the device holds is cut to what is there.
  m_length = (length == 0 || length > size - offset) ? size - offset : length;
  return true;
}

std::int64_t CDeviceSource::ReadAt(std::uint64_t offset, void* dst, std::size_t size) {
  if (offset >= m_length) return 0;
  std::uint64_t avail = m_length - offset;
  if (size > avail) size = static_cast<std::size_t>(avail);
  return m_device.ReadAt(m_offset + offset, dst, size);
}

CMemorySource::CMemorySource(std::shared_ptr<const std::vector<std::uint8_t>> bytes,
                             std::uint64_t offset, std::uint64_t length)
    : m_bytes(std::move(bytes)) {
  std::uint64_t size = m_bytes ? m_bytes->size() : 0;
  m_offset = offset > size ? size : offset;
  m_length = (length == 0 || length > size - m_offset) ? size - m_offset : length;
}

std::int64_t CMemorySource::ReadAt(std::uint64_t offset, void* dst, std::size_t size) {
  if (offset >= m_length) return 0;
  std::uint64_t avail = m_length - offset;
  if (size > avail) size = static_cast<std::size_t>(avail);
  if (size) std::memcpy(dst, m_bytes->data() + m_offset + offset, size);
  return static_cast<std::int64_t>(size);
}

}  // namespace sorvani
