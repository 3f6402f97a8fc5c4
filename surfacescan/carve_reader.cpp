#include "surfacescan/carve_reader.h"

#include <algorithm>
#include <cstring>

namespace sorvani {

bool CCarveReader::DeviceRead(std::uint64_t position, void* destination, std::uint32_t& size) {
  std::uint32_t unit = m_volume.BytesPerCluster();
  if (unit == 0) return false;
  ++m_deviceReads;
  return m_volume.ReadRaw(position / unit, static_cast<std::uint32_t>(position % unit), destination,
                          size);
}

bool CCarveReader::Load(Window& window, std::uint64_t position, std::uint32_t length,
                        std::uint32_t capacity) {
  window.valid = false;
  length = std::min(length, capacity);
  // Nothing past the device's end is asked for, so a small volume gets a small window.
  const std::uint64_t deviceSize = m_volume.DeviceSize();
  if (deviceSize != 0)
    length = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(length, position < deviceSize ? deviceSize - position : 0));
  std::uint64_t end = 0;
  if (length == 0 || __builtin_add_overflow(position, std::uint64_t{length}, &end)) return false;
  if (window.bytes.size() < length) window.bytes.resize(length);
  std::uint32_t got = length;
  if (!DeviceRead(position, window.bytes.data(), got)) return false;
  window.start = position;
  window.filled = got;
  window.atDeviceEnd = got < length || (deviceSize != 0 && end >= deviceSize);
  window.valid = true;
  return true;
}

bool CCarveReader::Serve(const Window& window, std::uint64_t position, void* destination,
                         std::uint32_t size, std::uint32_t& got) {
  if (!window.valid || position < window.start) return false;
  std::uint64_t rel = position - window.start;
  if (rel > window.filled) return false;
  std::uint64_t avail = window.filled - rel;
  // Past the filled part the window knows nothing, unless the device itself ended there.
  if (avail < size && !window.atDeviceEnd) return false;
  got = static_cast<std::uint32_t>(std::min<std::uint64_t>(avail, size));
  if (got) std::memcpy(destination, window.bytes.data() + rel, got);
  return true;
}

bool CCarveReader::Holds(const Window& window, std::uint64_t position, std::uint32_t length) {
  if (!window.valid || position < window.start) return false;
  std::uint64_t rel = position - window.start;
  return rel <= window.filled && (window.filled - rel >= length || window.atDeviceEnd);
}

bool CCarveReader::Covers(std::uint64_t position, std::uint32_t length) const {
  return Holds(m_scan, position, length) || Holds(m_walk, position, length);
}

void CCarveReader::Prefetch(std::uint64_t position, std::uint32_t length) {
  Load(m_scan, position, length, kScanWindowBytes);
}

bool CCarveReader::ReadAt(std::uint64_t position, void* destination, std::uint32_t size,
                          std::uint32_t& got) {
  got = 0;
  std::uint64_t end = 0;
  if (__builtin_add_overflow(position, std::uint64_t{size}, &end)) return false;
  if (size == 0) return true;
  if (Serve(m_scan, position, destination, size, got)) return true;
  if (Serve(m_walk, position, destination, size, got)) return true;
  if (size <= kWalkWindowBytes && Load(m_walk, position, kWalkWindowBytes, kWalkWindowBytes) &&
      Serve(m_walk, position, destination, size, got))
    return true;
  // A large read, or a read-ahead that the device refused (a bad spot somewhere in the next
  // megabyte): ask for exactly the bytes wanted, as a lone ReadRaw would.
  got = size;
  if (!DeviceRead(position, destination, got)) {
    got = 0;
    return false;
  }
  return true;
}

}  // namespace sorvani
