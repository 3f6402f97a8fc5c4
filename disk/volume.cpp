#include "disk/volume.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "disk/drive_table.h"
#include "foundation/log.h"

namespace sorvani {

const char* FsTypeName(std::uint32_t type) {
  switch (type) {
    case kFsFat12:
      return "FAT12";
    case kFsFat16:
      return "FAT16";
    case kFsFat32:
      return "FAT32";
    case kFsNtfs:
      return "NTFS";
    default:
      return nullptr;
  }
}
namespace {

// A device read that fails is tried once more before it counts as failed.
std::int64_t ReadTryingTwice(IByteSource& device, std::uint64_t offset, void* destination,
                             std::size_t size) {
  std::int64_t n = device.ReadAt(offset, destination, size);
  return n < 0 ? device.ReadAt(offset, destination, size) : n;
}

}  // namespace

CVolume::~CVolume() {
  if (m_locked) LockVolume(false);
}

bool CVolume::Initialize(char driveLetter) {
  m_driveLetter = driveLetter;
  return true;
}

bool CVolume::Open() {
  if (m_device) return true;
  auto source = CDriveTable::Instance().Find(m_driveLetter);
  std::string name = std::string(1, m_driveLetter) + ":";
  if (!source) {
    LogFile.WriteError(0, ENODEV);
    LogFile.WriteAlways("Cannot open %s\n", name.c_str());
    return false;
  }
  auto device = source->OpenSource();
  if (!device) {
    LogFile.WriteLastError(0);
    LogFile.WriteAlways("Cannot open %s\n",
                        source->path.empty() ? name.c_str() : source->path.c_str());
    return false;
  }
  m_device = std::move(device);
  return true;
}

bool CVolume::ReadDirect(std::uint64_t offset, void* destination, std::uint32_t size,
                         std::uint32_t& got) {
  got = 0;
  if (!m_device) {
    errno = EBADF;
    return false;
  }
  std::int64_t n = ReadTryingTwice(*m_device, offset, destination, size);
  if (n < 0) return false;
  got = static_cast<std::uint32_t>(n);
  return true;
}

// The delivered bytes are exactly those the cluster-by-cluster walk would give: everything
// from the start position up to `size` or the end of the device, whichever comes first. They
// are read straight into the destination, without a bounce buffer per call.
bool CVolume::ReadRaw(std::uint64_t cluster, std::uint32_t offsetInCluster, void* destination,
                      std::uint32_t& size) {
  std::uint64_t start = 0;
  if (!m_device || m_bytesPerCluster == 0 ||
      __builtin_mul_overflow(cluster, std::uint64_t{m_bytesPerCluster}, &start) ||
      __builtin_add_overflow(start, std::uint64_t{offsetInCluster}, &start)) {
    if (!m_device)
      errno = EBADF;
    else
      errno = EINVAL;
    LogFile.WriteLastError(0);
    LogFile.WriteAlways("Error in CNTFSDrive::ReadRaw SetFilePointerEx\n");
    return false;
  }
  if (size == 0) return true;
  std::int64_t n = ReadTryingTwice(*m_device, start, destination, size);
  if (n < 0) {
    LogFile.WriteLastError(0);
    LogFile.WriteAlways("Error in CNTFSDrive::ReadRaw ReadFile\n");
    return false;
  }
  size = static_cast<std::uint32_t>(n);
  return true;
}

bool CVolume::ReadChecked(std::uint64_t offset, void* destination, std::uint32_t size,
                          CReadFaults& faults) {
  std::uint64_t end = 0;
  if (!m_device) {
    errno = EBADF;
    return false;
  }
  if (__builtin_add_overflow(offset, std::uint64_t{size}, &end)) {
    errno = EINVAL;
    return false;
  }
  if (size == 0) return true;
  auto* out = static_cast<std::uint8_t*>(destination);
  std::int64_t n = m_device->ReadAt(offset, out, size);
  if (n == static_cast<std::int64_t>(size)) return true;  // the common case: one read
  if (n >= 0) {
    // Short without an error: the source ends inside the read.
    std::memset(out + n, 0, size - static_cast<std::size_t>(n));
    faults.Add(static_cast<std::uint64_t>(n), size - static_cast<std::uint64_t>(n),
               ReadFault::kBeyondEnd);
    return true;
  }
  int error = errno;
  n = m_device->ReadAt(offset, out, size);
  if (n == static_cast<std::int64_t>(size)) return true;
  if (n < 0) error = errno;
  LogFile.WriteError(1, error);
  LogFile.Write(1, "Read of %u bytes at offset %llu failed; reading it sector by sector\n", size,
                static_cast<unsigned long long>(offset));
  // Sector by sector on the source's own sector grid, so a bad sector costs only itself.
  const std::uint64_t sector = m_bytesPerSector ? m_bytesPerSector : 512;
  std::uint64_t at = offset;
  bool ended = false;
  while (at < end) {
    std::uint64_t next = std::min(end, (at / sector + 1) * sector);
    auto piece = static_cast<std::size_t>(next - at);
    std::uint8_t* dst = out + (at - offset);
    if (ended) {
      std::memset(dst, 0, piece);
      faults.Add(at - offset, piece, ReadFault::kBeyondEnd);
      at = next;
      continue;
    }
    std::int64_t got = m_device->ReadAt(at, dst, piece);
    if (got < 0) {
      int sectorError = errno;
      std::memset(dst, 0, piece);
      faults.Add(at - offset, piece, ReadFault::kDeviceError, sectorError);
    } else if (static_cast<std::size_t>(got) < piece) {
      std::memset(dst + got, 0, piece - static_cast<std::size_t>(got));
      faults.Add(at - offset + static_cast<std::uint64_t>(got),
                 piece - static_cast<std::uint64_t>(got), ReadFault::kBeyondEnd);
      ended = true;
    }
    at = next;
  }
  return true;
}

bool CVolume::ReadRawChecked(std::uint64_t cluster, std::uint32_t offsetInCluster,
                             void* destination, std::uint32_t size, CReadFaults& faults) {
  std::uint64_t start = 0;
  if (m_bytesPerCluster == 0 ||
      __builtin_mul_overflow(cluster, std::uint64_t{m_bytesPerCluster}, &start) ||
      __builtin_add_overflow(start, std::uint64_t{offsetInCluster}, &start)) {
    errno = EINVAL;
    return false;
  }
  return ReadChecked(start, destination, size, faults);
}

bool CVolume::LockVolume(bool lock) {
  m_locked = lock;
  return true;
}

}  // namespace sorvani
