// An owned scratch block: bounce buffers, record buffers, index blocks, page caches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace sorvani {

class ByteBuffer {
 public:
  // Frees the old block; size 0 leaves the buffer empty. On allocation failure logs
  // "Buffer allocation error: Out of memory!" and returns false with the buffer empty.
  bool Allocate(std::size_t size);
  void Free() {
    m_data.reset();
    m_size = 0;
  }

  std::uint8_t* Data() { return m_data.get(); }
  const std::uint8_t* Data() const { return m_data.get(); }
  std::size_t Size() const { return m_size; }
  bool Empty() const { return m_size == 0; }

 private:
  std::unique_ptr<std::uint8_t[]> m_data;
  std::size_t m_size = 0;
};

}  // namespace sorvani
