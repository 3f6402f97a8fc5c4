#include "recovery/efs_import.h"

#include <algorithm>
#include <cstring>

#include "foundation/endian.h"
#include "foundation/log.h"
#include "ntfs/ntfs_attr.h"
#include "ntfs/ntfs_file.h"
#include "platform/dest_files.h"
#include "recovery/recovery_progress.h"

namespace sorvani {
namespace {

// Writes `text` as UTF-16LE with its terminating zero.
void PutWide(std::uint8_t* at, const char* text) {
  std::size_t n = std::strlen(text);
  for (std::size_t i = 0; i <= n; ++i) WriteLe16(at + 2 * i, static_cast<std::uint8_t>(text[i]));
}

std::uint32_t WriteStreamHeader(std::uint8_t* at) {
  std::memset(at, 0, kEfsStreamHeaderSize);
  WriteLe32(at + 0, 256);
  PutWide(at + 4, "ROBS");
  WriteLe32(at + 20, 30);
  PutWide(at + 24, "NTFS");
  WriteLe32(at + 44, 2);
  WriteLe32(at + 48, 0x03901910);
  PutWide(at + 54, "GURE");
  return kEfsStreamHeaderSize;
}

std::uint32_t WriteDataHeader(std::uint8_t* at) {
  std::memset(at, 0, kEfsDataHeaderSize);
  WriteLe32(at + 0, kEfsDataHeaderSize);
  PutWide(at + 4, "NTFS");
  WriteLe32(at + 24, 14);
  const char* name = "::$DATA";
  for (int i = 0; i < 7; ++i) WriteLe16(at + 28 + 2 * i, static_cast<std::uint8_t>(name[i]));
  return kEfsDataHeaderSize;
}

std::uint32_t WriteBlockHeader(std::uint8_t* at, std::uint32_t piece, std::uint32_t number) {
  std::memset(at, 0, kEfsBlockHeaderSize);
  std::uint32_t rounded = (piece + 511) / 512 * 512;
  WriteLe32(at + 0, rounded + kEfsBlockHeaderSize);
  PutWide(at + 4, "GURE");
  WriteLe32(at + 18, number);
  WriteLe32(at + 22, 0x01F00000);
  WriteLe32(at + 28, piece);
  WriteLe32(at + 32, piece);
  WriteLe32(at + 36, 0x0D0D0000);
  WriteLe32(at + 40, 0x0001010C);
  WriteLe32(at + 44, rounded);
  return kEfsBlockHeaderSize;
}

}  // namespace

CNtfsFileAttr* FindEfsAttribute(const CNtfsFile& file) {
  // Type 0x100 also carries $TXF_DATA of transacted files; only the named $EFS is the key data.
  return file.FindAttribute(kAttrEfs, "$EFS");
}

std::uint32_t EfsImportCallback(std::uint8_t* buffer, EfsImportContext& ctx,
                                std::uint32_t& length) {
  if (ctx.clockNoted < 0) ctx.clockNoted = ClockMilliseconds();
  const std::uint32_t requested = length;
  if (ctx.state == kEfsEnded && ctx.carried == 0) {
    length = 0;
    return 0;
  }
  // Each step adds at most 512 bytes, so this room always suffices for one call.
  std::size_t room = std::max<std::size_t>(requested, ctx.carried) + 512;
  if (ctx.staging.size() < room) ctx.staging.resize(room);
  std::uint32_t built = ctx.carried;

  while (ctx.state != kEfsEnded && built <= requested) {
    std::uint8_t* at = ctx.staging.data() + built;
    switch (ctx.state) {
      case kEfsStart: {
        ctx.fileBytes = 0;
        CNtfsFile* file = ctx.record;
        ctx.data = file ? file->FindAttribute(kAttrData, "") : nullptr;
        if (file && !ctx.data) ctx.data = file->FindAttribute(kAttrData);
        if (!ctx.data) {
          LogFile.WriteAlways("Encrypted file doesn't have $DATA attribute.\n");
          return kEfsErrorInvalidData;
        }
        ctx.efs = FindEfsAttribute(*file);
        if (!ctx.efs) {
          LogFile.WriteAlways("Encrypted file doesn't have $EFS attribute.\n");
          return kEfsErrorInvalidData;
        }
        ctx.data->Seek(0);
        ctx.efs->Seek(0);
        // Ciphertext the source cannot give is zeros in the stream and listed for the caller.
        ctx.data->SetTolerant(true);
        ctx.data->ClearFaults();
        ctx.dataSize = ctx.data->RealSize();
        built += WriteStreamHeader(at);
        ctx.state = kEfsCopyMetadata;
        break;
      }
      case kEfsCopyMetadata: {
        std::uint32_t got = 0;
        // The key data must be whole: a stream with a gap in it cannot be imported.
        if (!ctx.efs->Read(at, 512, got)) {
          // A resident value answers false at its end; anything earlier is a failed read.
          if (ctx.efs->Position() < ctx.efs->RealSize()) {
            LogFile.WriteAlways("The $EFS attribute of the encrypted file could not be read.\n");
            return kEfsErrorReadFault;
          }
          got = 0;
        }
        built += got;
        if (got == 0) ctx.state = kEfsDataHeader;
        break;
      }
      case kEfsDataHeader:
        built += WriteDataHeader(at);
        ctx.dataOffset = 0;
        ctx.blockFill = 0;
        ctx.blockNumber = 0;
        ctx.state = kEfsBlockHeader;
        break;
      case kEfsBlockHeader: {
        std::uint64_t left = ctx.dataOffset < ctx.dataSize ? ctx.dataSize - ctx.dataOffset : 0;
        auto piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, kEfsBlockData));
        if (piece == 0) {
          ctx.state = kEfsEnded;
          break;
        }
        built += WriteBlockHeader(at, piece, ctx.blockNumber);
        ctx.state = kEfsBlockData_;
        break;
      }
      case kEfsBlockData_: {
        if ((ctx.cancel && ctx.cancel->IsSet()) || (ctx.stop && ctx.stop->load())) {
          // A stream stopped here is truncated: it ends the import as a failure, never as a
          // complete file.
          ctx.state = kEfsEnded;
          return kEfsErrorCancelled;
        }
        std::uint32_t want = std::min<std::uint32_t>(512, kEfsBlockData - ctx.blockFill);
        std::uint32_t got = 0;
        if (!ctx.data->Read(at, want, got, true)) got = 0;
        // Resident data is not rounded by the reader; the block header promises whole sectors.
        if (got > 0 && got < want && !ctx.data->IsNonResident()) {
          std::memset(at + got, 0, want - got);
          got = want;
        }
        std::uint64_t left = ctx.dataOffset < ctx.dataSize ? ctx.dataSize - ctx.dataOffset : 0;
        std::uint64_t credited = std::min<std::uint64_t>(got, left);
        ctx.fileBytes += credited;
        if (ctx.progress) {
          std::lock_guard<std::mutex> hold(ctx.progress->Lock());
          RecoveryProgress& p = ctx.progress->Record();
          p.bytesProcessed += credited;
          p.bytesWritten += credited;
          p.filePercent =
              ctx.dataSize == 0
                  ? 100
                  : static_cast<std::uint32_t>(static_cast<double>(ctx.fileBytes) * 100.0 /
                                               static_cast<double>(ctx.dataSize));
          p.RecomputeTotalPercent();
        }
        if (got == 0) {
          ctx.state = kEfsEnded;
          break;
        }
        built += got;
        ctx.dataOffset += got;
        ctx.blockFill += got;
        if (ctx.blockFill >= kEfsBlockData) {
          ++ctx.blockNumber;
          ctx.blockFill = 0;
          ctx.state = kEfsBlockHeader;
        }
        break;
      }
      default:
        ctx.state = kEfsEnded;
        break;
    }
  }

  if (built > requested) {
    std::memcpy(buffer, ctx.staging.data(), requested);
    ctx.carried = built - requested;
    std::memmove(ctx.staging.data(), ctx.staging.data() + requested, ctx.carried);
  } else {
    if (built) std::memcpy(buffer, ctx.staging.data(), built);
    ctx.carried = 0;
    length = built;
  }
  if (ctx.state == kEfsEnded && ctx.carried == 0) {
    ctx.staging.clear();
    ctx.staging.shrink_to_fit();
  }
  double now = ClockMilliseconds();
  if (ctx.progress) {
    std::lock_guard<std::mutex> hold(ctx.progress->Lock());
    ctx.progress->Record().elapsedSeconds += (now - ctx.clockNoted) / 1000.0;
  }
  ctx.clockNoted = now;
  return 0;
}

std::uint32_t ImportEncryptedFileRaw(const std::string& path, EfsImportContext& context,
                                     std::uint32_t bufferSize, int& openError) {
  CDestFile out;
  openError = 0;
  if (!out.Create(path, CreateMode::kCreateAlways, openError))
    return static_cast<std::uint32_t>(openError);
  std::vector<std::uint8_t> buffer(std::max<std::uint32_t>(bufferSize, 1));
  for (;;) {
    auto length = static_cast<std::uint32_t>(buffer.size());
    std::uint32_t rc = EfsImportCallback(buffer.data(), context, length);
    if (rc != 0) return rc;
    if (length == 0) return 0;
    int error = 0;
    if (!out.Write(buffer.data(), length, error))
      return static_cast<std::uint32_t>(error ? error : 5);
  }
}

}  // namespace sorvani
