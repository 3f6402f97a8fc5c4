// Numbers every layer above the NTFS reader shares with it.
#pragma once

#include <cstdint>

namespace sorvani {

// The MFT record of the root folder.
inline constexpr std::uint32_t kRootRecord = 5;
// The Windows attribute bit that marks a folder.
inline constexpr std::uint32_t kFileAttrDirectory = 0x10;

// What loading an MFT record came to: read and usable; read but not a usable base record (or
// no such record in the MFT); or its bytes could not be read from the device. Only the second
// says anything about the record: after the third, the record is not known.
enum class RecordLoad : std::uint8_t { kOk, kCorrupt, kDeviceError };

}  // namespace sorvani
