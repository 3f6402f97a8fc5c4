// The English texts of the resource numbers, in one table that both the command line (through
// foundation's built-in fallback) and the desktop program's resource library are built from, so
// both front ends say the same. Data only: no dependencies beyond the numbers.
#pragma once

#include <cstddef>

namespace sorvani {

struct SvresText {
  unsigned id;
  const char* text;  // UTF-8
};

// The text of `id`, or null when the table has none.
const char* SvresTableString(unsigned id);

// The whole table, sorted by number (for tests and tools).
const SvresText* SvresTableBegin();
std::size_t SvresTableSize();

}  // namespace sorvani
