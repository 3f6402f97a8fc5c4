// The read path under faults: a read the device refuses is retried once, then read sector by
// sector so only the bad sectors are lost, and what is lost is listed as a device error or
// as lying past the end of the source, never delivered as data.
#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <vector>

#include "disk/byte_source.h"
#include "disk/volume.h"
#include "tests/util/fault_source.h"

namespace sorvani {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::shared_ptr<const std::vector<std::uint8_t>> Pattern(std::size_t size) {
  auto bytes = std::make_shared<std::vector<std::uint8_t>>(size);
  for (std::size_t i = 0; i < size; ++i)
    (*bytes)[i] = static_cast<std::uint8_t>(i * 7 + i / 251 + 1);
  return bytes;
}

struct BadRange {
  std::uint64_t offset, length;
  int failures;
};

struct Case {
  const char* name;
  std::vector<BadRange> bad;
  std::uint64_t endAt;  // 0: the whole source
  std::uint64_t offset;
  std::uint32_t size;
  std::vector<UnreadableRange> want;  // relative to `offset`
  std::uint64_t maxReads;             // device reads the call may make
};

TEST(ReadChecked, TellsDeviceErrorsFromTheEndAndLosesOnlyBadSectors) {
  constexpr std::size_t kSource = 64 * 1024;
  const Case cases[] = {
      {"clean read is one device read", {}, 0, 4096, 16384, {}, 1},
      {"a transient error is retried once", {{8192, 512, 1}}, 0, 4096, 16384, {}, 2},
      {"one bad sector costs 512 bytes",
       {{8192 + 512, 512, -1}},
       0,
       4096,
       16384,
       {{4608, 512, ReadFault::kDeviceError, EIO}},
       2 + 32},
      {"two bad stretches stay apart",
       {{4096, 1024, -1}, {12288, 512, -1}},
       0,
       4096,
       16384,
       {{0, 1024, ReadFault::kDeviceError, EIO}, {8192, 512, ReadFault::kDeviceError, EIO}},
       2 + 32},
      {"unaligned read keeps the sector grid",
       {{1024, 512, -1}},
       0,
       700,
       2000,
       {{324, 512, ReadFault::kDeviceError, EIO}},
       2 + 5},
      {"the source ends inside the read",
       {},
       10000,
       4096,
       16384,
       {{5904, 16384 - 5904, ReadFault::kBeyondEnd, 0}},
       1},
      {"a read wholly past the end",
       {},
       10000,
       20000,
       4096,
       {{0, 4096, ReadFault::kBeyondEnd, 0}},
       1},
      {"a bad sector, then the end",
       {{8192, 512, -1}},
       9216,
       8192,
       4096,
       {{0, 512, ReadFault::kDeviceError, EIO}, {1024, 3072, ReadFault::kBeyondEnd, 0}},
       2 + 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto bytes = Pattern(kSource);
    auto fault = std::make_unique<test::CFaultSource>(std::make_unique<CMemorySource>(bytes));
    for (const BadRange& b : c.bad) fault->FailRange(b.offset, b.length, b.failures);
    if (c.endAt) fault->EndAt(c.endAt);
    test::CFaultSource* source = fault.get();
    CVolume volume;
    volume.AttachDevice(std::move(fault));
    Bytes out(c.size, 0xEE);
    CReadFaults faults;
    ASSERT_TRUE(volume.ReadChecked(c.offset, out.data(), c.size, faults));
    EXPECT_EQ(faults.Ranges(), c.want);
    EXPECT_LE(source->Reads(), c.maxReads);
    // Every byte is either the source's own or a zero inside a listed range.
    for (std::uint32_t i = 0; i < c.size; ++i) {
      bool listed = false;
      for (const UnreadableRange& r : c.want) listed |= i >= r.offset && i < r.offset + r.length;
      std::uint8_t expect = listed ? 0 : (*bytes)[c.offset + i];
      if (out[i] != expect) {
        ADD_FAILURE() << "byte " << i << " is " << int(out[i]) << ", want " << int(expect);
        break;
      }
    }
  }
}

TEST(ReadChecked, ATransientErrorIsRetriedAPersistentOneIsListed) {
  auto bytes = Pattern(16384);
  for (int failures : {1, -1}) {
    auto fault = std::make_unique<test::CFaultSource>(std::make_unique<CMemorySource>(bytes));
    fault->FailRange(4096, 512, failures);
    CVolume volume;
    volume.AttachDevice(std::move(fault));
    Bytes out(8192);
    CReadFaults faults;
    ASSERT_TRUE(volume.ReadChecked(0, out.data(), 8192, faults));
    EXPECT_EQ(faults.Empty(), failures == 1) << failures;
    // The plain read by offset gets past a transient error too, and fails on a lasting one.
    auto again = std::make_unique<test::CFaultSource>(std::make_unique<CMemorySource>(bytes));
    again->FailRange(4096, 512, failures);
    CVolume plain;
    plain.AttachDevice(std::move(again));
    std::uint32_t got = 0;
    EXPECT_EQ(plain.ReadDirect(0, out.data(), 8192, got), failures == 1) << failures;
  }
}

TEST(ReadFaultList, JoinsNeighboursAndCapsItsLength) {
  CReadFaults f;
  f.Add(0, 512, ReadFault::kDeviceError, EIO);
  f.Add(512, 512, ReadFault::kDeviceError, EIO);
  f.Add(1024, 512, ReadFault::kBeyondEnd);
  f.Add(4096, 512, ReadFault::kDeviceError, EIO);
  ASSERT_EQ(f.Ranges().size(), 3u);
  EXPECT_EQ(f.Ranges()[0].length, 1024u);
  EXPECT_EQ(f.Bytes(), 2048u);
  EXPECT_TRUE(f.Has(ReadFault::kBeyondEnd));
  CReadFaults many;
  for (std::uint64_t i = 0; i < 3 * CReadFaults::kMaxEntries; ++i)
    many.Add(i * 1024, 512, ReadFault::kDeviceError, EIO);
  EXPECT_EQ(many.Ranges().size(), CReadFaults::kMaxEntries);
  const UnreadableRange& last = many.Ranges().back();
  EXPECT_EQ(last.offset + last.length, (3 * CReadFaults::kMaxEntries - 1) * 1024 + 512);
}

}  // namespace
}  // namespace sorvani
