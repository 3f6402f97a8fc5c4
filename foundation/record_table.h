// A sparse array indexed by MFT record number: pages of 4,096 slots made on first write, so
// lookups cost two array reads however many records there are, and memory follows the records
// actually used (a hostile record number far out costs one page and a longer page table).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace sorvani {

template <typename T>
class RecordTable {
 public:
  // The slot's value, or T{} where nothing was written.
  T Get(std::uint32_t record) const {
    std::size_t page = record >> kPageBits;
    if (page >= m_pages.size() || !m_pages[page]) return T{};
    return (*m_pages[page])[record & kPageMask];
  }

  T& Ref(std::uint32_t record) {
    std::size_t page = record >> kPageBits;
    if (page >= m_pages.size()) m_pages.resize(page + 1);
    if (!m_pages[page]) m_pages[page] = std::make_unique<Page>();
    return (*m_pages[page])[record & kPageMask];
  }

  void Clear() { m_pages.clear(); }

  // Calls fn(record, value) for every slot of every page made, in record order.
  template <typename Fn>
  void ForEachSlot(Fn&& fn) const {
    for (std::size_t page = 0; page < m_pages.size(); ++page) {
      if (!m_pages[page]) continue;
      const Page& slots = *m_pages[page];
      for (std::size_t i = 0; i < slots.size(); ++i)
        fn(static_cast<std::uint32_t>((page << kPageBits) | i), slots[i]);
    }
  }

 private:
  static constexpr unsigned kPageBits = 12;
  static constexpr std::uint32_t kPageMask = (1u << kPageBits) - 1;
  using Page = std::array<T, std::size_t{1} << kPageBits>;  // value-initialised by make_unique
  std::vector<std::unique_ptr<Page>> m_pages;
};

}  // namespace sorvani
