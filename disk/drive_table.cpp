#include "disk/drive_table.h"

#include <cctype>
#include <cerrno>
#include <cstring>

#include "disk/fs_probe.h"
#include "disk/partition_table.h"
#include "platform/raw_device.h"

namespace sorvani {
namespace {

char NormaliseLetter(char letter) {
  char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  return upper >= 'A' && upper <= 'Z' ? upper : 0;
}

std::string PathProblem(const std::string& path) {
  int code = 0;
  switch (ClassifyPath(path, &code)) {
    case PathKind::Missing:
      return "no such file or device";
    case PathKind::Directory:
      return "is a directory, not a disk image or device";
    case PathKind::Other:
      return "is not a regular file or block device";
    case PathKind::Unreadable:
      return std::strerror(code);
    case PathKind::RegularFile:
    case PathKind::BlockDevice:
      break;
  }
  return {};
}

}  // namespace

std::unique_ptr<IByteSource> DriveSource::OpenSource() const {
  if (memory) return std::make_unique<CMemorySource>(memory, offset, length);
  auto source = std::make_unique<CDeviceSource>();
  if (!source->Open(path, offset, length)) return nullptr;
  return source;
}

bool IdentifySource(const DriveSource& source, DriveSourceIdentity& out) {
  out = DriveSourceIdentity{};
  out.offset = source.offset;
  out.length = source.length;
  if (source.memory) {
    out.memory = reinterpret_cast<std::uintptr_t>(source.memory.get());
    return true;
  }
  return GetFileIdentity(source.path, out.file);
}

CDriveTable& CDriveTable::Instance() {
  static CDriveTable table;
  return table;
}

bool CDriveTable::Assign(char letter, DriveSource source) {
  letter = NormaliseLetter(letter);
  if (!letter) return false;
  std::lock_guard lock(m_mutex);
  m_drives[letter] = std::move(source);
  return true;
}

void CDriveTable::Remove(char letter) {
  std::lock_guard lock(m_mutex);
  m_drives.erase(NormaliseLetter(letter));
}

void CDriveTable::Clear() {
  std::lock_guard lock(m_mutex);
  m_drives.clear();
}

std::optional<DriveSource> CDriveTable::Find(char letter) const {
  std::lock_guard lock(m_mutex);
  auto it = m_drives.find(NormaliseLetter(letter));
  if (it == m_drives.end()) return std::nullopt;
  return it->second;
}

std::map<char, DriveSource> CDriveTable::Snapshot() const {
  std::lock_guard lock(m_mutex);
  return m_drives;
}

char CDriveTable::NextFreeLetter() const {
  std::lock_guard lock(m_mutex);
  for (char c = 'C'; c <= 'Z'; ++c)
    if (!m_drives.count(c)) return c;
  return 0;
}

std::vector<char> CDriveTable::RegisterImage(const std::string& path, std::string& error) {
  error.clear();
  if (std::string problem = PathProblem(path); !problem.empty()) {
    error = path + ": " + problem;
    return {};
  }
  CDeviceSource disk;
  if (!disk.Open(path)) {
    error = path + ": cannot open for reading: " + std::strerror(errno);
    return {};
  }
  if (disk.Size() == 0) {
    error = path + ": the file is empty";
    return {};
  }
  std::vector<std::uint8_t> first(512);
  std::int64_t got = disk.ReadAt(0, first.data(), first.size());
  if (got < 0) {
    error = path + ": cannot read the first sector: " + std::strerror(errno);
    return {};
  }
  if (got < 512) {
    error = path + ": too short to hold a file system (" + std::to_string(disk.Size()) + " bytes)";
    return {};
  }

  std::vector<DriveSource> found;
  if (ProbeFileSystem(first)) {
    DriveSource whole;
    whole.path = path;
    found.push_back(std::move(whole));
  } else {
    PartitionTable table = ReadPartitionTable(disk);
    for (const PartitionEntry& p : table.partitions) {
      DriveSource part;
      part.path = path;
      part.offset = p.offset;
      part.length = p.length;
      part.partitionScheme = table.scheme;
      part.partitionNumber = p.number;
      found.push_back(std::move(part));
    }
  }
  if (found.empty()) {
    error = path + ": no NTFS or FAT file system and no partition table found";
    return {};
  }

  // Letters are taken under one lock so two registrations never get the same one.
  std::vector<char> letters;
  std::lock_guard lock(m_mutex);
  for (DriveSource& source : found) {
    char letter = 'C';
    while (letter <= 'Z' && m_drives.count(letter)) ++letter;
    if (letter > 'Z') {
      error = path + ": no free drive letter is left";
      break;
    }
    m_drives[letter] = std::move(source);
    letters.push_back(letter);
  }
  return letters;
}

}  // namespace sorvani
