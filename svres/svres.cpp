// libsvres.so: the desktop program's texts and drawings behind a C interface. Everything is built
// with hidden visibility; only these three functions are exported (see svres.map).
#include "svres/art_table.h"
#include "svres/string_table.h"
#include "svres/svres_abi.h"

#define SVRES_EXPORT __attribute__((visibility("default")))

extern "C" {

SVRES_EXPORT int svres_abi(void) { return sorvani::kSvresAbiVersion; }

SVRES_EXPORT const char* svres_string(unsigned id) { return sorvani::SvresTableString(id); }

SVRES_EXPORT int svres_data(unsigned kind, unsigned id, const unsigned char** data,
                            unsigned long* size) {
  if (data != nullptr) *data = nullptr;
  if (size != nullptr) *size = 0;
  if (data == nullptr || size == nullptr) return 0;
  for (std::size_t i = 0; i < sorvani::kSvresBlobCount; ++i) {
    const sorvani::SvresBlob& blob = sorvani::kSvresBlobs[i];
    if (blob.kind == kind && blob.id == id) {
      *data = blob.data;
      *size = blob.size;
      return 1;
    }
  }
  return 0;
}

}  // extern "C"
