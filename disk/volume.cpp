#include "disk/volume.h"

#include <cerrno>
#include <cstring>

#include "disk/drive_table.h"
#include "foundation/log.h"

namespace sorvani {

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
    LogFile.WriteAlways("Cannot open %s\n", source->path.empty() ? name.c_str() : source->path.c_str());
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
  std::int64_t n = m_device->ReadAt(offset, destination, size);
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
    if (!m_device) errno = EBADF;
    else errno = EINVAL;
    LogFile.WriteLastError(0);
    LogFile.WriteAlways("Error in CNTFSDrive::ReadRaw SetFilePointerEx\n");
    return false;
  }
  if (size == 0) return true;
  std::int64_t n = m_device->ReadAt(start, destination, size);
  if (n < 0) {
    LogFile.WriteLastError(0);
    LogFile.WriteAlways("Error in CNTFSDrive::ReadRaw ReadFile\n");
    return false;
  }
  size = static_cast<std::uint32_t>(n);
  return true;
}

bool CVolume::LockVolume(bool lock) {
  m_locked = lock;
  return true;
}

}  // namespace sorvani
