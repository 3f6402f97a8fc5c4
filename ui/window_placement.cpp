#include "ui/window_placement.h"

#include <algorithm>
#include <set>

#include "foundation/endian.h"
#include "foundation/profile.h"

namespace sorvani::ui {

namespace {

constexpr int kMaxExtent = 32767;
constexpr int kMinVisible = 48;  // pixels of the title area that must stay on a screen

void PutLe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::int32_t GetSigned(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::int32_t>(ReadLe32(bytes, offset));
}

}  // namespace

std::array<std::uint8_t, kPlacementSize> EncodePlacement(const WindowPlacement& placement) {
  std::array<std::uint8_t, kPlacementSize> out{};
  const std::uint32_t fields[] = {
      static_cast<std::uint32_t>(kPlacementSize),
      placement.flags,
      placement.showCommand,
      static_cast<std::uint32_t>(placement.minPosition.x()),
      static_cast<std::uint32_t>(placement.minPosition.y()),
      static_cast<std::uint32_t>(placement.maxPosition.x()),
      static_cast<std::uint32_t>(placement.maxPosition.y()),
      static_cast<std::uint32_t>(placement.normal.left()),
      static_cast<std::uint32_t>(placement.normal.top()),
      // The record keeps right and bottom as exclusive edges.
      static_cast<std::uint32_t>(placement.normal.left() + placement.normal.width()),
      static_cast<std::uint32_t>(placement.normal.top() + placement.normal.height()),
  };
  for (std::size_t i = 0; i < std::size(fields); ++i) PutLe32(out.data() + 4 * i, fields[i]);
  return out;
}

std::optional<WindowPlacement> DecodePlacement(std::span<const std::uint8_t> bytes) {
  if (bytes.size() != kPlacementSize || ReadLe32(bytes, 0) != kPlacementSize) return {};
  WindowPlacement p;
  p.flags = ReadLe32(bytes, 4);
  p.showCommand = ReadLe32(bytes, 8);
  if (p.showCommand < kShowNormal || p.showCommand > kShowMaximized) return {};
  p.minPosition = QPoint(GetSigned(bytes, 12), GetSigned(bytes, 16));
  p.maxPosition = QPoint(GetSigned(bytes, 20), GetSigned(bytes, 24));
  const std::int64_t left = GetSigned(bytes, 28), top = GetSigned(bytes, 32);
  const std::int64_t right = GetSigned(bytes, 36), bottom = GetSigned(bytes, 40);
  const std::int64_t width = right - left, height = bottom - top;
  if (width <= 0 || height <= 0 || width > kMaxExtent || height > kMaxExtent) return {};
  if (left < -kMaxExtent || left > kMaxExtent || top < -kMaxExtent || top > kMaxExtent) return {};
  p.normal = QRect(static_cast<int>(left), static_cast<int>(top), static_cast<int>(width),
                   static_cast<int>(height));
  return p;
}

bool PlacementOnScreen(const QRect& rect, const QList<QRect>& screens) {
  // The top strip is what a person drags the window by.
  const QRect grip(rect.left(), rect.top(), rect.width(), std::min(rect.height(), kMinVisible));
  return std::any_of(screens.begin(), screens.end(), [&](const QRect& screen) {
    const QRect shared = screen.intersected(grip);
    return shared.width() >= std::min(kMinVisible, grip.width()) && shared.height() > 0;
  });
}

ColumnLayout LoadColumnLayout(CXMLProfile& profile) {
  ColumnLayout layout;
  const int map = profile.GetInt("LayoutMain", "ColumnMap", 0x1F);
  if (map > 0 && map <= 0x1F) layout.map = static_cast<unsigned>(map);

  std::vector<int> visible;
  for (int c = 0; c < kColumnCount; ++c)
    if (layout.Visible(c)) visible.push_back(c);
  layout.order = visible;

  std::vector<std::uint8_t> raw;
  if (profile.GetBinary("LayoutMain", "ColumnOrder", raw) && raw.size() % 4 == 0) {
    std::vector<int> order;
    for (std::size_t i = 0; i + 4 <= raw.size(); i += 4)
      order.push_back(static_cast<std::int32_t>(ReadLe32(raw, i)));
    // Entries past the visible count are padding of the fixed five-entry record.
    if (order.size() >= visible.size()) order.resize(visible.size());
    std::vector<int> sorted = order;
    std::sort(sorted.begin(), sorted.end());
    if (sorted == visible) {
      layout.order = order;
      layout.orderRead = true;
    }
  }

  raw.clear();
  if (profile.GetBinary("LayoutMain", "ColumnWidths", raw) && raw.size() == 4 * kColumnCount) {
    for (int c = 0; c < kColumnCount; ++c) {
      const std::int32_t w = static_cast<std::int32_t>(ReadLe32(raw, 4 * c));
      if (w >= 1 && w <= 4096) layout.widths[c] = w;
    }
  }

  const int sorting = profile.GetInt("LayoutMain", "SortingColumn", 0);
  layout.sortingColumn = sorting >= 0 && sorting < kColumnCount ? sorting : 0;
  layout.sortDescending = profile.GetInt("LayoutMain", "SortDescending", 0) == 1;
  return layout;
}

void StoreColumnLayout(CXMLProfile& profile, const ColumnLayout& layout) {
  profile.SetInt("LayoutMain", "ColumnMap", static_cast<int>(layout.map));
  std::uint8_t order[4 * kColumnCount] = {};
  for (std::size_t i = 0; i < layout.order.size() && i < kColumnCount; ++i)
    PutLe32(order + 4 * i, static_cast<std::uint32_t>(layout.order[i]));
  profile.SetBinary("LayoutMain", "ColumnOrder", order, sizeof order);
  std::uint8_t widths[4 * kColumnCount];
  for (int c = 0; c < kColumnCount; ++c)
    PutLe32(widths + 4 * c, static_cast<std::uint32_t>(layout.widths[c]));
  profile.SetBinary("LayoutMain", "ColumnWidths", widths, sizeof widths);
  profile.SetInt("LayoutMain", "SortingColumn", layout.sortingColumn);
  profile.SetInt("LayoutMain", "SortDescending", layout.sortDescending ? 1 : 0);
}

int FoldersPaneWidth(int saved, int windowWidth) {
  constexpr int kMinPane = 50, kMinList = 150;
  return std::clamp(saved, kMinPane, std::max(kMinPane, windowWidth - kMinList));
}

}  // namespace sorvani::ui
