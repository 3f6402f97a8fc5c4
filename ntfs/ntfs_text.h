// Text helpers of the NTFS reader: UTF-16LE names from the volume to UTF-8 and back, and the
// printf-style appender the diagnostic dumps are built with.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/endian.h"

namespace sorvani {

// Converts `units` UTF-16LE code units at the start of `bytes` to UTF-8. Units beyond the
// span are not read; unpaired surrogates become U+FFFD.
std::string Utf16LeToUtf8(ByteSpan bytes, std::size_t units);

// UTF-8 to UTF-16 code units; malformed sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);

void Appendf(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace sorvani
