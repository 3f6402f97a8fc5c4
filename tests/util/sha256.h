// SHA-256 for comparing what the program reads or writes with the answer keys' digests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sorvani::test {

class CSha256 {
 public:
  CSha256();
  void Update(const std::uint8_t* data, std::size_t size);
  std::string HexDigest();  // finishes the hash; call once

 private:
  void Block(const std::uint8_t* p);
  std::uint32_t m_h[8];
  std::uint8_t m_buffer[64];
  std::size_t m_used = 0;
  std::uint64_t m_total = 0;
};

std::string Sha256Hex(const std::uint8_t* data, std::size_t size);
inline std::string Sha256Hex(const std::vector<std::uint8_t>& data) {
  return Sha256Hex(data.data(), data.size());
}
// "" when the file cannot be read.
std::string Sha256OfFile(const std::string& path);

}  // namespace sorvani::test
