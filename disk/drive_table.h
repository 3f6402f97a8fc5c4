// The process-wide table of drive letters. Each letter maps to a source: a block device, an
// image file, a window (offset, length) of either (one partition), or memory (tests).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "disk/byte_source.h"
#include "platform/file_identity.h"

namespace sorvani {

struct DriveSource {
  std::string path;          // device node or image file; empty for memory
  std::uint64_t offset = 0;  // bytes into the path where the volume starts
  std::uint64_t length = 0;  // bytes of the volume; 0 = to the end
  std::shared_ptr<const std::vector<std::uint8_t>> memory;
  std::string partitionScheme;  // "", "MBR" or "GPT"
  int partitionNumber = 0;      // 1-based within its table; 0 for a bare volume

  // Opens the range read-only; nullptr with errno set on failure.
  std::unique_ptr<IByteSource> OpenSource() const;
};

// Which bytes a source stands for: the file or device behind its path (as it is now, so a
// file replaced under the same name differs), the window in it, or the memory block.
struct DriveSourceIdentity {
  FileIdentity file;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
  std::uintptr_t memory = 0;
  bool operator==(const DriveSourceIdentity&) const = default;
};
// False when the path cannot be examined (the identity then holds the window alone).
bool IdentifySource(const DriveSource& source, DriveSourceIdentity& out);

class CDriveTable {
 public:
  static CDriveTable& Instance();

  // Maps `letter` (A-Z, either case) to a source, replacing any earlier mapping.
  bool Assign(char letter, DriveSource source);
  void Remove(char letter);
  void Clear();
  std::optional<DriveSource> Find(char letter) const;
  std::map<char, DriveSource> Snapshot() const;
  // First letter from C on that is free; 0 when all are taken.
  char NextFreeLetter() const;

  // Probes an image file or device: a bare file system becomes one drive; an MBR or GPT
  // table gives one drive per partition. Returns the letters assigned, in table order.
  // On failure returns none and sets `error` to a one-line reason.
  std::vector<char> RegisterImage(const std::string& path, std::string& error);

 private:
  mutable std::mutex m_mutex;
  std::map<char, DriveSource> m_drives;
};

}  // namespace sorvani
