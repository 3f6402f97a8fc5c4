// The C interface of the resource library libsvres.so. Only plain C types cross it, so the
// library and the program need not share a compiler, a standard library or a toolkit.
#pragma once

namespace sorvani {

// Raised whenever a function below changes its meaning; the loader refuses any other number.
inline constexpr int kSvresAbiVersion = 1;

// Names of the exported functions.
inline constexpr char kSvresAbiSymbol[] = "svres_abi";
inline constexpr char kSvresStringSymbol[] = "svres_string";
inline constexpr char kSvresDataSymbol[] = "svres_data";

}  // namespace sorvani

extern "C" {
// The interface version (kSvresAbiVersion).
using SvresAbiFunction = int (*)(void);
// The UTF-8 text of `id`, or null when the library has none. Valid while the library is loaded.
using SvresStringFunction = const char* (*)(unsigned id);
// The bytes of resource (kind, id): 1 with `data` and `size` set, 0 when absent (both cleared).
using SvresDataFunction = int (*)(unsigned kind, unsigned id, const unsigned char** data,
                                  unsigned long* size);
}
