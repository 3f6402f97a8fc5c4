// The NTFS reader over a source that fails: a committed fixture read through a byte source
// that answers EIO for chosen sectors or ends early. Streams, records, index blocks and
// $Bitmap either fail or (for recovery) list exactly which bytes they could not read; a
// missing byte never passes for a zero of the file.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <memory>
#include <vector>

#include "disk/drive_table.h"
#include "ntfs/ntfs_volume.h"
#include "tests/util/fault_source.h"
#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A deleted file of ntfs-4k.img: 30000 bytes in one run of 8 clusters.
constexpr std::uint32_t kRecord = 101;

class NtfsReadFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string image = test::Fixture("ntfs-4k.img");
    ASSERT_FALSE(image.empty());
    std::string error;
    auto letters = CDriveTable::Instance().RegisterImage(image, error);
    ASSERT_EQ(letters.size(), 1u) << error;
    m_letter = letters[0];
    ASSERT_TRUE(m_good.Initialize(m_letter));
  }
  void TearDown() override { CDriveTable::Instance().Remove(m_letter); }

  // A second reader of the same image through a fault source set up by `arrange`.
  std::unique_ptr<CNtfsVolume> Faulty(const std::function<void(test::CFaultSource&)>& arrange) {
    auto source =
        std::make_unique<test::CFaultSource>(CDriveTable::Instance().Find(m_letter)->OpenSource());
    arrange(*source);
    auto volume = std::make_unique<CNtfsVolume>();
    volume->AttachDevice(std::move(source));
    if (!volume->Initialize(m_letter)) return nullptr;
    return volume;
  }

  // Byte offset on the volume of the stream's byte `pos` (one-run files only).
  std::uint64_t VolumeOffset(CNtfsFileAttr& data, std::uint64_t pos) {
    return static_cast<std::uint64_t>(data.Runs().front().lcnDelta) * m_good.BytesPerCluster() +
           pos;
  }

  Bytes ReadStream(CNtfsFileAttr& data, bool tolerant, bool& ok) {
    data.SetTolerant(tolerant);
    data.ClearFaults();
    data.Seek(0);
    Bytes out(data.RealSize() + 10);
    std::uint32_t got = 0;
    ok = data.Read(out.data(), static_cast<std::uint32_t>(out.size()), got);
    out.resize(got);
    return out;
  }

  char m_letter = 0;
  CNtfsVolume m_good;
};

TEST_F(NtfsReadFaults, StreamsListUnreadableBytesOrFail) {
  CNtfsFile goodFile;
  ASSERT_TRUE(goodFile.LoadRecord(&m_good, kRecord, false));
  CNtfsFileAttr* goodData = goodFile.FindAttribute(kAttrData);
  ASSERT_NE(goodData, nullptr);
  ASSERT_EQ(goodData->RealSize(), 30000u);
  ASSERT_EQ(goodData->Runs().size(), 1u);
  bool ok = false;
  const Bytes truth = ReadStream(*goodData, false, ok);
  ASSERT_TRUE(ok);
  ASSERT_EQ(truth.size(), 30000u);
  const std::uint64_t at = VolumeOffset(*goodData, 0);

  struct Case {
    const char* name;
    std::uint64_t badFrom, badLength;  // stream offsets failing with EIO (length 0: none)
    std::int64_t endAtStream;          // the source ends at this stream offset (-1: it does not)
    std::vector<UnreadableRange> want;
  };
  const Case cases[] = {
      {"one bad sector", 4096 + 1024, 512, -1, {{5120, 512, ReadFault::kDeviceError, EIO}}},
      {"bad sectors across a cluster edge",
       8192 - 512,
       1024,
       -1,
       {{7680, 1024, ReadFault::kDeviceError, EIO}}},
      {"cut off inside the last cluster",
       0,
       0,
       28672 + 512,
       {{29184, 30000 - 29184, ReadFault::kBeyondEnd, 0}}},
      {"cut off before the file", 0, 0, 0, {{0, 30000, ReadFault::kBeyondEnd, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto volume = Faulty([&](test::CFaultSource& s) {
      if (c.badLength) s.FailRange(at + c.badFrom, c.badLength);
      if (c.endAtStream >= 0) s.EndAt(at + static_cast<std::uint64_t>(c.endAtStream));
    });
    ASSERT_NE(volume, nullptr);
    CNtfsFile file;
    ASSERT_TRUE(file.LoadRecord(volume.get(), kRecord, false));
    CNtfsFileAttr* data = file.FindAttribute(kAttrData);
    ASSERT_NE(data, nullptr);
    // Strict: the read fails; the missing bytes are never handed out as zeros of the file.
    ReadStream(*data, false, ok);
    EXPECT_FALSE(ok);
    // Tolerant: every byte is delivered, the unreadable ones as zeros and listed.
    Bytes got = ReadStream(*data, true, ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(got.size(), truth.size());
    EXPECT_EQ(data->Faults().Ranges(), c.want);
    for (std::size_t i = 0; i < got.size(); ++i) {
      bool listed = false;
      for (const UnreadableRange& r : c.want) listed |= i >= r.offset && i < r.offset + r.length;
      if (got[i] != (listed ? 0 : truth[i])) {
        ADD_FAILURE() << "byte " << i;
        break;
      }
    }
  }
}

TEST_F(NtfsReadFaults, RecordsIndexBlocksAndBitmapFailAsUnreadable) {
  const std::uint64_t recordSize = m_good.MftRecordSize();
  const std::uint64_t mft = m_good.MftStartCluster() * m_good.BytesPerCluster();
  // The fixture's MFT is one run, so record n lies at mft + n * recordSize.
  ASSERT_EQ(m_good.MftFile().FindAttribute(kAttrData)->Runs().size(), 1u);

  // A record whose sector fails is unreadable; one whose bytes are read but are not a record
  // is damaged.
  auto volume =
      Faulty([&](test::CFaultSource& s) { s.FailRange(mft + kRecord * recordSize + 512, 1); });
  ASSERT_NE(volume, nullptr);
  CNtfsFile file;
  EXPECT_FALSE(file.LoadRecord(volume.get(), kRecord, false));
  EXPECT_EQ(file.LoadFault(), RecordFault::kUnreadable);
  EXPECT_TRUE(file.LoadRecord(volume.get(), kRecord + 2, false));
  EXPECT_EQ(file.LoadFault(), RecordFault::kNone);
  EXPECT_FALSE(file.LoadRecord(volume.get(), 0xFFFFFF, false));
  EXPECT_EQ(file.LoadFault(), RecordFault::kMissing);
  volume = Faulty([&](test::CFaultSource& s) {
    s.Patch(mft + kRecord * recordSize, {'B', 'A', 'A', 'D'});
  });
  ASSERT_NE(volume, nullptr);
  EXPECT_FALSE(file.LoadRecord(volume.get(), kRecord, false));
  EXPECT_EQ(file.LoadFault(), RecordFault::kDamaged);

  // An index block of the root folder that cannot be read fails the listing.
  CNtfsFileAttr* allocation = m_good.RootFile().FindAttribute(kAttrIndexAllocation);
  ASSERT_NE(allocation, nullptr);
  std::vector<NtfsDirEntry> entries;
  ASSERT_TRUE(m_good.ListDirectory(kRootRecord, entries));
  std::uint64_t block =
      static_cast<std::uint64_t>(allocation->Runs().front().lcnDelta) * m_good.BytesPerCluster();
  volume = Faulty([&](test::CFaultSource& s) { s.FailRange(block + 1024, 512); });
  ASSERT_NE(volume, nullptr);
  entries.clear();
  EXPECT_FALSE(volume->ListDirectory(kRootRecord, entries));

  // $Bitmap that cannot be read: no free-cluster count, and no overwritten share that claims
  // "nothing overwritten".
  CNtfsFileAttr* bitmap = m_good.BitmapFile().FindAttribute(kAttrData, "");
  ASSERT_NE(bitmap, nullptr);
  std::uint64_t bitmapAt =
      static_cast<std::uint64_t>(bitmap->Runs().front().lcnDelta) * m_good.BytesPerCluster();
  volume = Faulty([&](test::CFaultSource& s) { s.FailRange(bitmapAt, 512); });
  ASSERT_NE(volume, nullptr);
  NtfsVolumeInfo info;
  EXPECT_TRUE(m_good.GetVolumeInfo(info));
  EXPECT_FALSE(volume->GetVolumeInfo(info));
  ASSERT_TRUE(file.LoadRecord(volume.get(), kRecord, false));
  std::uint32_t percent = 77;
  EXPECT_FALSE(file.FindAttribute(kAttrData)->OverwrittenPercent(percent));
  ASSERT_TRUE(file.LoadRecord(&m_good, kRecord, false));
  EXPECT_TRUE(file.FindAttribute(kAttrData)->OverwrittenPercent(percent));
}

TEST_F(NtfsReadFaults, ACutOffVolumeSaysHowMuchIsMissing) {
  EXPECT_EQ(m_good.MissingBytes(), 0u);
  EXPECT_EQ(m_good.ClaimedSize(), m_good.DeviceSize() - 512);  // the backup boot sector follows
  auto volume = Faulty([&](test::CFaultSource& s) { s.EndAt(40u << 20); });
  ASSERT_NE(volume, nullptr);
  EXPECT_EQ(volume->DeviceSize(), 40u << 20);
  EXPECT_EQ(volume->MissingBytes(), m_good.ClaimedSize() - (40u << 20));
}

}  // namespace
}  // namespace sorvani
