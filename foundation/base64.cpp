#include "foundation/base64.h"

#include <array>

namespace sorvani {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// -1 for characters outside the alphabet.
constexpr std::array<std::int8_t, 256> MakeDecodeTable() {
  std::array<std::int8_t, 256> table{};
  for (auto& v : table) v = -1;
  for (int i = 0; i < 64; ++i)
    table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
  return table;
}

constexpr std::array<std::int8_t, 256> kDecodeTable = MakeDecodeTable();

}  // namespace

std::size_t Base64EncodedLength(std::size_t bytes) {
  std::size_t chars = (bytes + 2) / 3 * 4;
  std::size_t breaks = chars == 0 ? 0 : (chars - 1) / kBase64LineLength;
  return chars + 2 * breaks;
}

std::string Base64Encode(std::span<const std::uint8_t> data) {
  std::string text;
  text.reserve(Base64EncodedLength(data.size()));
  std::size_t lineChars = 0;
  auto put = [&](char c) {
    if (lineChars == kBase64LineLength) {
      text += "\r\n";
      lineChars = 0;
    }
    text += c;
    ++lineChars;
  };
  std::size_t i = 0;
  for (; i + 3 <= data.size(); i += 3) {
    std::uint32_t group =
        (std::uint32_t{data[i]} << 16) | (std::uint32_t{data[i + 1]} << 8) | data[i + 2];
    put(kAlphabet[(group >> 18) & 63]);
    put(kAlphabet[(group >> 12) & 63]);
    put(kAlphabet[(group >> 6) & 63]);
    put(kAlphabet[group & 63]);
  }
  std::size_t rest = data.size() - i;
  if (rest > 0) {
    std::uint32_t group = std::uint32_t{data[i]} << 16;
    if (rest == 2) group |= std::uint32_t{data[i + 1]} << 8;
    put(kAlphabet[(group >> 18) & 63]);
    put(kAlphabet[(group >> 12) & 63]);
    put(rest == 2 ? kAlphabet[(group >> 6) & 63] : '=');
    put('=');
  }
  return text;
}

bool Base64Decode(std::string_view text, std::vector<std::uint8_t>& out, std::size_t maxBytes) {
  out.clear();
  std::uint32_t bits = 0;
  int bitCount = 0;
  for (char c : text) {
    if (c == '=') break;
    std::int8_t v = kDecodeTable[static_cast<unsigned char>(c)];
    if (v < 0) continue;
    bits = ((bits << 6) | static_cast<std::uint32_t>(v)) & 0xFFFFFF;
    bitCount += 6;
    if (bitCount >= 8) {
      bitCount -= 8;
      if (out.size() >= maxBytes) return false;
      out.push_back(static_cast<std::uint8_t>(bits >> bitCount));
    }
  }
  // Leftover bits (fewer than 8) are the zero fill of the last group.
  return true;
}

}  // namespace sorvani
