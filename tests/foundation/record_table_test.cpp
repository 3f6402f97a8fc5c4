// The record-number table: the same answers below and above its dense limit, record order in
// walks, and no page per scattered number.
#include "foundation/record_table.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace sorvani {
namespace {

TEST(RecordTable, AgreesWithAMapAcrossTheDenseLimit) {
  RecordTable<std::uint32_t> table;
  std::map<std::uint32_t, std::uint32_t> reference;
  std::mt19937 random(3);
  for (int i = 0; i < 20000; ++i) {
    // Mostly small numbers, some near the limit, some anywhere in 32 bits.
    std::uint32_t record =
        i % 3 == 0   ? random() % 5000
        : i % 3 == 1 ? RecordTable<std::uint32_t>::kDefaultDenseLimit - 2000 + random() % 4000
                     : static_cast<std::uint32_t>(random());
    std::uint32_t value = random() | 1;
    table.Ref(record) = value;
    reference[record] = value;
  }
  for (const auto& [record, value] : reference) ASSERT_EQ(table.Get(record), value) << record;
  EXPECT_EQ(table.Get(4294967295u), reference.count(4294967295u) ? reference[4294967295u] : 0u);

  // Walks give the stored values in record order, then again after the limit moves.
  auto walked = [&table] {
    std::map<std::uint32_t, std::uint32_t> seen;
    std::uint32_t last = 0;
    bool first = true, ordered = true;
    table.ForEachSlot([&](std::uint32_t record, std::uint32_t value) {
      if (!first && record <= last) ordered = false;
      first = false;
      last = record;
      if (value) seen[record] = value;
    });
    EXPECT_TRUE(ordered);
    return seen;
  };
  EXPECT_EQ(walked(), reference);
  table.SetDenseLimit(1u << 12);
  EXPECT_EQ(walked(), reference);
  table.SetDenseLimit(1u << 24);
  EXPECT_EQ(walked(), reference);
  for (const auto& [record, value] : reference) ASSERT_EQ(table.Get(record), value) << record;
  table.Clear();
  EXPECT_EQ(table.Get(reference.begin()->first), 0u);
}

}  // namespace
}  // namespace sorvani
