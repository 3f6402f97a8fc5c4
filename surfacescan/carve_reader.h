// CCarveReader: the volume's bytes as the carvers see them. It answers every read exactly as
// ReadRaw would (short only at the device end, false on a device error) but serves it from
// memory: a scan window that the scan loads over a run of free clusters, and a walk window
// that follows a carver through a picture's body. The per-candidate tests then cost no system
// call and no allocation.
#pragma once

#include <cstdint>
#include <vector>

#include "disk/volume.h"

namespace sorvani {

class CCarveReader {
 public:
  static constexpr std::uint32_t kScanWindowBytes = 4u << 20;
  static constexpr std::uint32_t kWalkWindowBytes = 1u << 20;

  explicit CCarveReader(CVolume& volume) : m_volume(volume) {}
  CCarveReader(const CCarveReader&) = delete;
  CCarveReader& operator=(const CCarveReader&) = delete;

  CVolume& Volume() const { return m_volume; }
  std::uint32_t UnitSize() const { return m_volume.BytesPerCluster(); }

  // Reads `size` bytes at byte `position` of the volume. `got` is the count delivered, fewer
  // than `size` only where the device ends. False on a device error or an unreachable
  // position.
  bool ReadAt(std::uint64_t position, void* destination, std::uint32_t size, std::uint32_t& got);

  // Loads [position, position + length) (length capped at kScanWindowBytes) into the scan
  // window. A failed load is not an error: reads then go to the device one by one.
  void Prefetch(std::uint64_t position, std::uint32_t length);
  // True when [position, position + length) is already in memory.
  bool Covers(std::uint64_t position, std::uint32_t length) const;

  // Device reads made so far (for tests and the benchmark note).
  std::uint64_t DeviceReads() const { return m_deviceReads; }

 private:
  struct Window {
    std::vector<std::uint8_t> bytes;
    std::uint64_t start = 0;
    std::uint32_t filled = 0;  // bytes delivered by the device
    bool atDeviceEnd = false;  // the device ended inside (or right after) the window
    bool valid = false;
  };

  bool Load(Window& window, std::uint64_t position, std::uint32_t length, std::uint32_t capacity);
  static bool Holds(const Window& window, std::uint64_t position, std::uint32_t length);
  static bool Serve(const Window& window, std::uint64_t position, void* destination,
                    std::uint32_t size, std::uint32_t& got);
  bool DeviceRead(std::uint64_t position, void* destination, std::uint32_t& size);

  CVolume& m_volume;
  Window m_scan;
  Window m_walk;
  std::uint64_t m_deviceReads = 0;
};

}  // namespace sorvani
