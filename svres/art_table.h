// The drawn resources embedded into libsvres.so; the table is generated at build time from the
// files of svres/art/.
#pragma once

#include <cstddef>

namespace sorvani {

struct SvresBlob {
  unsigned kind;
  unsigned id;
  const unsigned char* data;
  unsigned long size;
};

extern const SvresBlob kSvresBlobs[];
extern const std::size_t kSvresBlobCount;

}  // namespace sorvani
