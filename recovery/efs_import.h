// The raw backup stream of an encrypted (EFS) file, built from the deleted file's record:
// a stream header, the $EFS metadata byte for byte, a data stream header and the ciphertext
// of $DATA in blocks of at most 64 KiB. On this platform the stream is written into the
// destination file itself, ready for a raw import on Windows; the key is never needed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "recovery/recovery_progress.h"
#include "recovery/recovery_types.h"

namespace sorvani {

class CNtfsFile;
class CNtfsFileAttr;

inline constexpr std::uint32_t kEfsBlockData = 65536;
inline constexpr std::uint32_t kEfsStreamHeaderSize = 66;
inline constexpr std::uint32_t kEfsDataHeaderSize = 42;
inline constexpr std::uint32_t kEfsBlockHeaderSize = 512;

// Import states: 0 start, 1 copying $EFS, 2 data header, 3 block header, 4 block data, 5 ended.
enum : std::uint32_t {
  kEfsStart = 0,
  kEfsCopyMetadata = 1,
  kEfsDataHeader = 2,
  kEfsBlockHeader = 3,
  kEfsBlockData_ = 4,
  kEfsEnded = 5,
};

// One import. The state between callback calls lives here rather than in the process, so two
// imports can never share it.
struct EfsImportContext {
  ManualResetEvent* cancel = nullptr;
  const std::atomic<bool>* stop = nullptr;  // a second cancel flag (the owner's), may be null
  CRecoveryProgress* progress = nullptr;    // the run's record; null counts nothing
  CNtfsFile* record = nullptr;
  std::uint32_t state = kEfsStart;

  std::vector<std::uint8_t> staging;
  std::uint32_t carried = 0;
  std::uint64_t dataOffset = 0;
  std::uint32_t blockFill = 0;
  std::uint32_t blockNumber = 0;
  std::uint64_t fileBytes = 0;
  std::uint64_t dataSize = 0;
  CNtfsFileAttr* data = nullptr;
  CNtfsFileAttr* efs = nullptr;
  double clockNoted = -1.0;
};

// Error returned when $DATA or $EFS is missing (ERROR_INVALID_DATA).
inline constexpr std::uint32_t kEfsErrorInvalidData = 13;
// Error returned when $EFS cannot be read (ERROR_READ_FAULT) and when the import is stopped
// (ERROR_CANCELLED).
inline constexpr std::uint32_t kEfsErrorReadFault = 30;
inline constexpr std::uint32_t kEfsErrorCancelled = 1223;

// The $EFS attribute of a record (type 0x100 named "$EFS"); nullptr when it has none.
CNtfsFileAttr* FindEfsAttribute(const CNtfsFile& file);

// Builds the next part of the stream into `buffer`. On entry `length` is the room in the
// buffer; on return the bytes placed (0 once the stream has ended). Returns 0 to continue or
// an error code that ends the import.
std::uint32_t EfsImportCallback(std::uint8_t* buffer, EfsImportContext& context,
                                std::uint32_t& length);

// Stands in for the system's raw import: opens `path` (create-always) and writes the stream the
// callback builds, pulling `bufferSize` bytes at a time. Returns 0 on success; `openError`
// tells an open failure (errno) apart from a failure of the import itself (the return value).
std::uint32_t ImportEncryptedFileRaw(const std::string& path, EfsImportContext& context,
                                     std::uint32_t bufferSize, int& openError);

}  // namespace sorvani
