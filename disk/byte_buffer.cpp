#include "disk/byte_buffer.h"

#include <new>

#include "foundation/log.h"

namespace sorvani {

bool ByteBuffer::Allocate(std::size_t size) {
  Free();
  if (size == 0) return true;
  m_data.reset(new (std::nothrow) std::uint8_t[size]);
  if (!m_data) {
    LogFile.WriteAlways("Buffer allocation error: Out of memory!\n");
    return false;
  }
  m_size = size;
  return true;
}

}  // namespace sorvani
