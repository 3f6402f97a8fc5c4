// The one case-insensitive comparison of names and texts outside a volume's own $UpCase table:
// ASCII letters fold, every other byte compares as it is, whatever the process locale.
#pragma once

#include <cstddef>
#include <string_view>

namespace sorvani {

constexpr char FoldAsciiCase(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool SameTextNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (FoldAsciiCase(a[i]) != FoldAsciiCase(b[i])) return false;
  return true;
}

}  // namespace sorvani
