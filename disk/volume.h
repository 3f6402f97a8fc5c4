// The raw volume: one drive's bytes read by whole clusters. Base of the NTFS and FAT readers.
#pragma once

#include <cstdint>
#include <memory>

#include "disk/byte_source.h"

namespace sorvani {

// File-system type codes (partition-type numbers) returned by GetFsType.
enum : std::uint32_t {
  kFsNone = 0,
  kFsFat12 = 1,
  kFsFat16 = 4,
  kFsNtfs = 7,
  kFsFat32 = 11,
};

// "NTFS", "FAT12", "FAT16" or "FAT32" for a GetFsType code; nullptr for any other.
const char* FsTypeName(std::uint32_t type);

class CVolume {
 public:
  CVolume() = default;
  virtual ~CVolume();
  CVolume(const CVolume&) = delete;
  CVolume& operator=(const CVolume&) = delete;

  // Stores the letter, opens the device and parses the boot sector (in the subclasses).
  virtual bool Initialize(char driveLetter);
  virtual std::uint32_t GetFsType() const { return kFsNone; }

  // Opens the source the drive table maps the letter to, read-only. Keeps an open device.
  bool Open();
  // Drops the device, so that the next Open takes the letter's current source.
  void Close() { m_device.reset(); }

  // Reads `size` bytes starting `offsetInCluster` bytes into `cluster`. On success `size`
  // becomes the bytes delivered, fewer only where the device ends. A failing read is tried
  // once more before it counts as failed.
  bool ReadRaw(std::uint64_t cluster, std::uint32_t offsetInCluster, void* destination,
               std::uint32_t& size);

  // Reads all `size` bytes at volume byte `offset`, whatever fails: a read the device refuses
  // is tried once more, then sector by sector, so one bad sector costs one sector. Bytes that
  // could not be read are zeros in `destination` and listed in `faults` (offsets relative to
  // `offset`), told apart as device errors or bytes past the end of the source. On success
  // this is one device read, as ReadRaw. False only for a call that cannot be made (no
  // device, an offset that overflows).
  bool ReadChecked(std::uint64_t offset, void* destination, std::uint32_t size,
                   CReadFaults& faults);
  bool ReadRawChecked(std::uint64_t cluster, std::uint32_t offsetInCluster, void* destination,
                      std::uint32_t size, CReadFaults& faults);

  // Reads bytes at an absolute byte offset through the handle (boot sectors, first records).
  // Returns false on a device error (after one more try); `got` is what was delivered.
  bool ReadDirect(std::uint64_t offset, void* destination, std::uint32_t size, std::uint32_t& got);

  // Exclusive access is not needed by anything today: this keeps the flag only.
  bool LockVolume(bool lock);

  char DriveLetter() const { return m_driveLetter; }
  std::uint32_t BytesPerSector() const { return m_bytesPerSector; }
  std::uint32_t BytesPerCluster() const { return m_bytesPerCluster; }
  bool IsLocked() const { return m_locked; }
  IByteSource* Device() const { return m_device.get(); }
  // Size of the volume's byte range; 0 before Open.
  std::uint64_t DeviceSize() const { return m_device ? m_device->Size() : 0; }
  // Bytes the boot sector says the volume spans (0 when it does not say). More than
  // DeviceSize means the source was cut short: the rest reads as "beyond the end".
  std::uint64_t ClaimedSize() const { return m_claimedSize; }
  std::uint64_t MissingBytes() const {
    return m_claimedSize > DeviceSize() ? m_claimedSize - DeviceSize() : 0;
  }
  // Puts a byte source in place of the letter's own (tests that inject faults); Initialize
  // then reads through it.
  void AttachDevice(std::unique_ptr<IByteSource> device) { m_device = std::move(device); }
  // Whole clusters on the device (for bounding walks of on-disk chains).
  std::uint64_t DeviceClusters() const {
    return m_bytesPerCluster ? DeviceSize() / m_bytesPerCluster : 0;
  }

 protected:
  char m_driveLetter = 0;
  std::uint32_t m_bytesPerSector = 0;
  std::uint32_t m_bytesPerCluster = 0;
  bool m_locked = false;
  std::uint64_t m_claimedSize = 0;
  std::unique_ptr<IByteSource> m_device;
};

}  // namespace sorvani
