// The main window's placement as the profile keeps it: the 44-byte placement record (length,
// flags, show command, minimised and maximised positions, normal rectangle; little-endian
// 32-bit fields), and the file list's column layout.
#pragma once

#include <QList>
#include <QRect>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace sorvani {
class CXMLProfile;
}

namespace sorvani::ui {

inline constexpr std::size_t kPlacementSize = 44;
inline constexpr std::uint32_t kShowNormal = 1;
inline constexpr std::uint32_t kShowMinimized = 2;
inline constexpr std::uint32_t kShowMaximized = 3;

struct WindowPlacement {
  std::uint32_t flags = 0;
  std::uint32_t showCommand = kShowNormal;
  QPoint minPosition{-1, -1};
  QPoint maxPosition{-1, -1};
  QRect normal;  // the restored (not maximised) frame rectangle
};

std::array<std::uint8_t, kPlacementSize> EncodePlacement(const WindowPlacement& placement);
// Nothing when the bytes are not a placement record this program can use: wrong length, an
// unknown show command, or a rectangle that is empty or absurdly large (a hand-edited profile).
std::optional<WindowPlacement> DecodePlacement(std::span<const std::uint8_t> bytes);
// Whether enough of `rect` lies on one of `screens` to grab and move the window (a record saved
// on a screen that is gone must not place the window out of reach).
bool PlacementOnScreen(const QRect& rect, const QList<QRect>& screens);

// The file list's columns: which of the five are shown, their display order and widths, and the
// sorting column.
inline constexpr int kColumnCount = 5;
inline constexpr int kDefaultColumnWidths[kColumnCount] = {200, 100, 150, 150, 150};

struct ColumnLayout {
  unsigned map = 0x1F;     // bit i: column i shown
  std::vector<int> order;  // visible column ids in display order
  bool orderRead = false;  // only an order read from the profile is applied
  std::array<int, kColumnCount> widths{200, 100, 150, 150, 150};
  int sortingColumn = 0;
  bool sortDescending = false;  // kept beside the column so a reversed list stays reversed

  bool Visible(int column) const { return (map >> column) & 1u; }
};

// Reads the layout from the profile's LayoutMain section; a value that does not make sense (an
// order that is not a permutation of the visible columns, a width outside 1..4096, no visible
// column) is replaced by its default. The sort direction is kept beside the column, in
// LayoutMain/SortDescending (1: descending).
ColumnLayout LoadColumnLayout(CXMLProfile& profile);
void StoreColumnLayout(CXMLProfile& profile, const ColumnLayout& layout);

// The folder pane's width for a saved splitter position in a window `windowWidth` wide: at least
// 50 pixels, and never so wide that less than 150 are left for the file list.
int FoldersPaneWidth(int saved, int windowWidth);

}  // namespace sorvani::ui
