// Base64 text of the profile's binary values: the RFC 2045 alphabet with "=" padding, broken into
// lines of at most 76 characters separated by CR LF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sorvani {

inline constexpr std::size_t kBase64LineLength = 76;

// Characters Base64Encode produces for `bytes` input bytes, line breaks included.
std::size_t Base64EncodedLength(std::size_t bytes);

// Encodes with padding; lines are separated (not terminated) by CR LF.
std::string Base64Encode(std::span<const std::uint8_t> data);

// Decodes `text`, skipping every character outside the alphabet; the first "=" ends the data.
// Returns false (out holds what was decoded so far) when more than `maxBytes` bytes would result.
bool Base64Decode(std::string_view text, std::vector<std::uint8_t>& out, std::size_t maxBytes);

}  // namespace sorvani
