// The read-ahead window of ReadMftRecord against the record-by-record read: the same bytes,
// the same failures, on real images (one with a fragmented MFT) and on records whose update
// sequence no longer matches.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "disk/drive_table.h"
#include "ntfs/ntfs_attr_types.h"
#include "ntfs/ntfs_file.h"
#include "ntfs/ntfs_volume.h"
#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

std::shared_ptr<std::vector<std::uint8_t>> LoadImage(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::make_shared<std::vector<std::uint8_t>>(std::istreambuf_iterator<char>(in),
                                                     std::istreambuf_iterator<char>());
}

bool Attach(char letter, std::shared_ptr<const std::vector<std::uint8_t>> image) {
  return CDriveTable::Instance().Assign(letter, DriveSource{.path = {},
                                                            .offset = 0,
                                                            .length = 0,
                                                            .memory = std::move(image),
                                                            .partitionScheme = {},
                                                            .partitionNumber = 0});
}

std::uint32_t MftRecords(CNtfsVolume& volume) {
  CNtfsFileAttr* data = volume.MftFile().FindAttribute(kAttrData, "");
  return data ? static_cast<std::uint32_t>(data->RealSize() / volume.MftRecordSize()) : 0;
}

// Every record (and a few past the MFT's end) read both ways, in ascending order as the
// enumeration reads them; the parsed file agrees too.
void ExpectSameRecords(char plainLetter, char aheadLetter, std::uint32_t window) {
  SCOPED_TRACE("window " + std::to_string(window));
  CNtfsVolume plain, ahead;
  ASSERT_TRUE(plain.Initialize(plainLetter));
  ASSERT_TRUE(ahead.Initialize(aheadLetter));
  ahead.SetMftReadAhead(window);
  const std::uint32_t records = MftRecords(plain);
  ASSERT_GT(records, 16u);
  std::vector<std::uint8_t> a, b;
  CNtfsFile fa, fb;
  int valid = 0;
  for (std::uint32_t r = 0; r < records + 3; ++r) {
    SCOPED_TRACE("record " + std::to_string(r));
    // As the scan does: the window follows the scan, side reads go around it.
    if (r % 5 != 4) ahead.PrefetchMftRecords(r);
    bool readPlain = plain.ReadMftRecord(r, a);
    bool readAhead = ahead.ReadMftRecord(r, b);
    ASSERT_EQ(readPlain, readAhead);
    if (readPlain) {
      ASSERT_EQ(a, b);
    }
    bool loadedPlain = fa.LoadRecord(&plain, r, false);
    bool loadedAhead = fb.LoadRecord(&ahead, r, false);
    ASSERT_EQ(loadedPlain, loadedAhead);
    if (!loadedPlain) continue;
    ++valid;
    EXPECT_EQ(fa.InUse(), fb.InUse());
    EXPECT_EQ(fa.AttributeCount(), fb.AttributeCount());
    EXPECT_EQ(fa.GetDataSize(), fb.GetDataSize());
    std::string na, nb;
    std::uint64_t sa = 0, sb = 0, ca = 0, cb = 0, ma = 0, mb = 0;
    std::uint32_t aa = 0, ab = 0, pa = 0, pb = 0;
    EXPECT_EQ(fa.GetNameInfo(na, sa, aa, pa, ca, ma), fb.GetNameInfo(nb, sb, ab, pb, cb, mb));
    EXPECT_EQ(na, nb);
    EXPECT_EQ(pa, pb);
    EXPECT_EQ(ma, mb);
  }
  EXPECT_GT(valid, 16);
  // Side reads behind and ahead of the window still give the record.
  ahead.PrefetchMftRecords(records / 2);
  for (std::uint32_t r : {5u, records / 2 - 1, records / 2, records - 1}) {
    ASSERT_TRUE(plain.ReadMftRecord(r, a));
    ASSERT_TRUE(ahead.ReadMftRecord(r, b));
    EXPECT_EQ(a, b) << r;
  }
}

TEST(MftReadAhead, SameRecordsAsSingleReads) {
  for (const char* name : {"ntfs-mftfrag.img", "ntfs-4k.img", "ntfs-512.img"}) {
    SCOPED_TRACE(name);
    std::string path = test::Fixture(name);
    ASSERT_FALSE(path.empty());
    auto image = LoadImage(path);
    ASSERT_TRUE(Attach('P', image));
    ASSERT_TRUE(Attach('Q', image));
    CNtfsVolume probe;
    ASSERT_TRUE(probe.Initialize('P'));
    const std::uint32_t recordSize = probe.MftRecordSize();
    // One record, a window that ends inside runs of a fragmented MFT, and a large one.
    for (std::uint32_t window : {recordSize, 3 * recordSize, 7 * recordSize + 100, 1u << 20})
      ExpectSameRecords('P', 'Q', window);
  }
}

TEST(MftReadAhead, RecordsWhoseFixupFailsFailBothWays) {
  std::string path = test::Fixture("ntfs-mftfrag.img");
  ASSERT_FALSE(path.empty());
  auto image = LoadImage(path);
  ASSERT_TRUE(Attach('P', image));
  CNtfsVolume probe;
  ASSERT_TRUE(probe.Initialize('P'));
  const std::uint32_t recordSize = probe.MftRecordSize();
  const std::uint32_t records = MftRecords(probe);
  ASSERT_GT(records, 40u);

  // Break the sequence number at the end of the first stride of some user records, found
  // through the MFT's runs (the MFT of this image is fragmented, so no fixed offset works).
  CNtfsFileAttr* mftData = probe.MftFile().FindAttribute(kAttrData, "");
  ASSERT_NE(mftData, nullptr);
  const std::uint64_t bpc = probe.BytesPerCluster();
  auto broken = std::make_shared<std::vector<std::uint8_t>>(*image);
  std::vector<std::uint32_t> victims;
  for (std::uint32_t r = 30; r < records && victims.size() < 6; r += 3) {
    std::uint64_t pos = static_cast<std::uint64_t>(r) * recordSize + 510;
    std::uint64_t vcn = pos / bpc, lcn = 0, at = 0;
    bool found = false;
    std::int64_t runLcn = 0;
    for (const DataRun& run : mftData->Runs()) {
      runLcn += run.lcnDelta;
      if (vcn < at + run.length && !run.sparse) {
        lcn = static_cast<std::uint64_t>(runLcn) + (vcn - at);
        found = true;
        break;
      }
      at += run.length;
    }
    ASSERT_TRUE(found);
    std::uint64_t byte = lcn * bpc + pos % bpc;
    ASSERT_LT(byte + 1, broken->size());
    (*broken)[byte] ^= 0x5A;
    victims.push_back(r);
  }
  ASSERT_TRUE(Attach('P', broken));
  ASSERT_TRUE(Attach('Q', broken));
  ExpectSameRecords('P', 'Q', 1u << 20);

  CNtfsVolume ahead;
  ASSERT_TRUE(ahead.Initialize('Q'));
  ahead.SetMftReadAhead(1u << 20);
  CNtfsFile file;
  for (std::uint32_t r : victims) {
    ahead.PrefetchMftRecords(r);
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(ahead.ReadMftRecord(r, bytes));
    if (bytes[0] == 'F') {
      EXPECT_FALSE(file.LoadRecord(&ahead, r, true)) << r;
    }
  }
}

}  // namespace
}  // namespace sorvani
