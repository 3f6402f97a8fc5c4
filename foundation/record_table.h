// A sparse array indexed by MFT record number: pages of 4,096 slots made on first write, so
// lookups cost two array reads however many records there are, and memory follows the records
// actually used. Records at or above the dense limit (numbers a volume cannot hold, as a
// damaged parent reference or cache file may name) go to a hash map instead, so scattered
// numbers cannot make a page each.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace sorvani {

template <typename T>
class RecordTable {
 public:
  // 4 Mi records: far more than a volume of a few terabytes uses; raised by the owner for
  // volumes whose MFT holds more.
  static constexpr std::uint32_t kDefaultDenseLimit = 1u << 22;

  // The slot's value, or T{} where nothing was written.
  T Get(std::uint32_t record) const {
    if (record >= m_denseLimit) {
      auto it = m_overflow.find(record);
      return it == m_overflow.end() ? T{} : it->second;
    }
    std::size_t page = record >> kPageBits;
    if (page >= m_pages.size() || !m_pages[page]) return T{};
    return (*m_pages[page])[record & kPageMask];
  }

  T& Ref(std::uint32_t record) {
    if (record >= m_denseLimit) return m_overflow[record];
    std::size_t page = record >> kPageBits;
    if (page >= m_pages.size()) m_pages.resize(page + 1);
    if (!m_pages[page]) m_pages[page] = std::make_unique<Page>();
    return (*m_pages[page])[record & kPageMask];
  }

  void Clear() {
    m_pages.clear();
    m_overflow.clear();
  }

  // Records below `limit` use pages; what is stored already is kept.
  void SetDenseLimit(std::uint32_t limit) {
    if (limit == m_denseLimit) return;
    std::vector<std::pair<std::uint32_t, T>> kept;
    ForEachSlot([&](std::uint32_t record, const T& value) {
      if (value != T{}) kept.emplace_back(record, value);
    });
    Clear();
    m_denseLimit = limit;
    for (const auto& [record, value] : kept) Ref(record) = value;
  }

  // Calls fn(record, value) for every slot of every page made and every record of the hash
  // map, in record order.
  template <typename Fn>
  void ForEachSlot(Fn&& fn) const {
    for (std::size_t page = 0; page < m_pages.size(); ++page) {
      if (!m_pages[page]) continue;
      const Page& pageSlots = *m_pages[page];
      for (std::size_t i = 0; i < pageSlots.size(); ++i)
        fn(static_cast<std::uint32_t>((page << kPageBits) | i), pageSlots[i]);
    }
    if (m_overflow.empty()) return;
    std::vector<std::uint32_t> records;
    records.reserve(m_overflow.size());
    for (const auto& slot : m_overflow) records.push_back(slot.first);
    std::sort(records.begin(), records.end());
    for (std::uint32_t record : records) fn(record, m_overflow.at(record));
  }

 private:
  static constexpr unsigned kPageBits = 12;
  static constexpr std::uint32_t kPageMask = (1u << kPageBits) - 1;
  using Page = std::array<T, std::size_t{1} << kPageBits>;  // value-initialised by make_unique
  std::vector<std::unique_ptr<Page>> m_pages;
  std::unordered_map<std::uint32_t, T> m_overflow;
  std::uint32_t m_denseLimit = kDefaultDenseLimit;
};

}  // namespace sorvani
