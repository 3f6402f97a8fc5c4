#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>

#include "disk/drive_table.h"
#include "fat/fat_volume.h"
#include "foundation/endian.h"
#include "surfacescan/surface_scan.h"
#include "tests/surfacescan/carve_test_support.h"
#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

using test::Bytes;
using test::CCollectingSink;
using test::CMemoryVolume;
using test::Filler;

// A bitmap held in memory that can watch each read.
class CMemoryBitmap : public IClusterBitmap {
 public:
  explicit CMemoryBitmap(Bytes bits) : m_bits(std::move(bits)) {}
  std::uint64_t Size() const override { return m_bits.size(); }
  bool Seek(std::uint64_t position) override {
    m_pos = position;
    ++seeks;
    return position <= m_bits.size();
  }
  bool Read(void* destination, std::uint32_t size, std::uint32_t& got) override {
    if (onRead) onRead();
    got = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, m_bits.size() - m_pos));
    std::memcpy(destination, m_bits.data() + m_pos, got);
    m_pos += got;
    return true;
  }
  int seeks = 0;
  std::function<void()> onRead;

 private:
  Bytes m_bits;
  std::uint64_t m_pos = 0;
};

void SetUsed(Bytes& bitmap, std::uint64_t cluster) {
  bitmap[cluster / 8] |= std::uint8_t(1u << (cluster % 8));
}

Bytes Bmp(std::uint32_t size) {
  Bytes b = {'B', 'M'};
  b.resize(size, 0x20);
  WriteLe32(&b[2], size);
  WriteLe32(&b[14], 12);  // a core info header after the file header
  return b;
}

TEST(NtfsScan, SkipsTheClustersOfACarvedFileAndTestsOnlyFreeOnes) {
  const std::uint32_t unit = 512;
  Bytes vol = Filler(64 * unit);
  auto place = [&](std::uint64_t cluster, const Bytes& b) {
    std::memcpy(vol.data() + cluster * unit, b.data(), b.size());
  };
  place(3, Bmp(1024));  // covers 3 and 4; testing resumes at 3 + 1024 / 512 + 1 = 6
  place(5, Bmp(100));   // so this one, right behind it, is never tested
  place(6, Bmp(100));   // found; resumes at 6 + 100 / 512 + 1 = 7
  place(7, Bmp(50));    // found
  place(9, Bmp(60));    // in a used cluster: never tested
  place(20, Bmp(70));   // beyond the bitmap's end (the stream covers 16 clusters)
  Bytes bitmap(2, 0);
  SetUsed(bitmap, 9);
  CMemoryVolume volume(vol, unit);
  CMemoryBitmap stream(bitmap);
  CCollectingSink sink;
  std::atomic<bool> cancel{false};
  SurfaceScanJob job;
  job.driveLetter = 'Q';
  job.cancel = &cancel;
  job.formats = CFormatSet::All();
  job.sink = &sink;
  ScanNtfsBitmap(job, volume, stream, 64);

  std::vector<std::uint64_t> units;
  for (const auto& f : sink.files) units.push_back(f.startUnit);
  EXPECT_EQ(units, (std::vector<std::uint64_t>{3, 6, 7}));
  ASSERT_EQ(sink.files.size(), 3u);
  EXPECT_EQ(sink.files[0].name, "BMP3.bmp");
  EXPECT_EQ(sink.files[0].size, 1024u);
  EXPECT_EQ(stream.seeks, 2) << "each pass seeks the stream to 0";
  SurfaceScanStatus s = job.Snapshot();
  EXPECT_EQ(s.found, 3);
  EXPECT_EQ(s.stage, ScanStage::kSearching);
  EXPECT_EQ(s.driveLetter, 'Q');
}

TEST(NtfsScan, StatusOfEachPass) {
  Bytes vol = Filler(32 * 512);
  std::memcpy(vol.data() + 20 * 512, Bmp(64).data(), 64);
  Bytes bitmap(4, 0xFF);
  bitmap[2] = 0xEF;  // only cluster 20 is free
  CMemoryVolume volume(vol, 512);
  CMemoryBitmap stream(bitmap);
  CCollectingSink sink;
  std::atomic<bool> cancel{false};
  SurfaceScanJob job;
  job.driveLetter = 'Q';
  job.cancel = &cancel;
  job.formats = CFormatSet::All();
  job.sink = &sink;
  std::vector<SurfaceScanStatus> atRead;
  stream.onRead = [&] { atRead.push_back(job.Snapshot()); };
  ScanNtfsBitmap(job, volume, stream, 32);

  ASSERT_EQ(atRead.size(), 2u);  // one 1,024-byte piece per pass
  EXPECT_EQ(atRead.front().stage, ScanStage::kCounting);
  EXPECT_EQ(atRead.front().remainingSeconds, 0.0);
  const SurfaceScanStatus* firstSearch = nullptr;
  for (const auto& s : atRead)
    if (s.stage == ScanStage::kSearching && !firstSearch) firstSearch = &s;
  ASSERT_NE(firstSearch, nullptr);
  EXPECT_EQ(firstSearch->percent, 0);
  // No free cluster seen yet: the estimate has nothing to divide by and says so.
  EXPECT_LT(firstSearch->remainingSeconds, 0.0);
  SurfaceScanStatus end = job.Snapshot();
  EXPECT_EQ(end.percent, 100);
  EXPECT_EQ(end.found, 1);
  EXPECT_GE(end.remainingSeconds, 0.0);
}

TEST(NtfsScan, AVolumeWithoutFreeClustersNeverDividesByZero) {
  Bytes vol = Filler(16 * 512);
  CMemoryVolume volume(vol, 512);
  CMemoryBitmap stream(Bytes(2, 0xFF));
  SurfaceScanJob job;
  job.driveLetter = 'Q';
  job.formats = CFormatSet::All();
  ScanNtfsBitmap(job, volume, stream, 16);
  SurfaceScanStatus s = job.Snapshot();
  EXPECT_EQ(s.percent, 0);
  EXPECT_LT(s.remainingSeconds, 0.0);
  EXPECT_EQ(s.found, 0);
}

TEST(NtfsScan, CancelKeepsTheRowsFound) {
  Bytes vol = Filler(64 * 512);
  for (std::uint64_t c : {2, 10, 30, 50}) std::memcpy(vol.data() + c * 512, Bmp(64).data(), 64);
  CMemoryVolume volume(vol, 512);
  CMemoryBitmap stream(Bytes(8, 0));
  std::atomic<bool> cancel{false};
  struct CancellingSink : CCollectingSink {
    std::atomic<bool>* cancel = nullptr;
    void Append(const CarvedFile& f) override {
      CCollectingSink::Append(f);
      if (files.size() == 2) cancel->store(true);
    }
  } sink;
  sink.cancel = &cancel;
  SurfaceScanJob job;
  job.driveLetter = 'Q';
  job.cancel = &cancel;
  job.formats = CFormatSet::All();
  job.sink = &sink;
  ScanNtfsBitmap(job, volume, stream, 64);
  ASSERT_EQ(sink.files.size(), 2u);
  EXPECT_EQ(sink.files[1].startUnit, 10u);
  EXPECT_EQ(job.Snapshot().found, 2);
}

// A carving fixture opened through the drive table, as the scan thread opens it.
class CFixtureDrive {
 public:
  explicit CFixtureDrive(const std::string& path) {
    std::string error;
    auto letters = CDriveTable::Instance().RegisterImage(path, error);
    if (!letters.empty()) m_letter = letters.front();
  }
  ~CFixtureDrive() {
    if (m_letter) CDriveTable::Instance().Remove(m_letter);
  }
  char Letter() const { return m_letter; }

 private:
  char m_letter = 0;
};

TEST(FatScan, ThreadRunsBothPassesOnARealVolume) {
  std::string path = test::Fixture("carve-fat12.img");
  ASSERT_FALSE(path.empty());
  CFixtureDrive drive(path);
  ASSERT_NE(drive.Letter(), 0);
  CCollectingSink sink;
  std::atomic<bool> cancel{false};
  SurfaceScanJob job;
  job.driveLetter = drive.Letter();
  job.cancel = &cancel;
  job.formats.Add(kFormatGif);
  job.sink = &sink;
  SurfaceScanThread(job);
  EXPECT_EQ(job.result, kScanResultOk);
  ASSERT_FALSE(sink.files.empty());
  for (const auto& f : sink.files) EXPECT_EQ(f.format, kFormatGif) << f.name;
  EXPECT_EQ(job.Snapshot().percent, 100);

  // No cancel event: the scan still runs, and the result says it had none.
  SurfaceScanJob bare;
  bare.driveLetter = drive.Letter();
  bare.formats.Add(kFormatGif);
  CCollectingSink bareSink;
  bare.sink = &bareSink;
  SurfaceScanThread(bare);
  EXPECT_EQ(bare.result, kScanInvalidArg);
  EXPECT_EQ(bareSink.files.size(), sink.files.size());

  // A letter that maps to nothing: the error goes to the sink, no row is added.
  SurfaceScanJob none;
  none.driveLetter = 'Y';
  none.cancel = &cancel;
  none.formats = CFormatSet::All();
  CCollectingSink noneSink;
  none.sink = &noneSink;
  CDriveTable::Instance().Remove('Y');
  SurfaceScanThread(none);
  EXPECT_EQ(none.result, kScanNotImpl);
  EXPECT_EQ(noneSink.errors,
            (std::vector<std::string>{
                "Error: Failed to open the selected disk drive. Drive Y: names no source."}));
  EXPECT_TRUE(noneSink.files.empty());

  // A letter whose source is gone, or holds no volume: the message names it and says why.
  std::string blank = test::ScratchFolder("SurfaceScanOpenFailure") + "/blank.img";
  {
    std::FILE* f = std::fopen(blank.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::vector<char> zeros(64 * 1024, 0);
    std::fwrite(zeros.data(), 1, zeros.size(), f);
    std::fclose(f);
  }
  const struct {
    std::string path;
    std::string expected;
  } kCases[] = {
      {"/nonexistent/gone.img",
       "Error: Failed to open the selected disk drive. /nonexistent/gone.img "
       "(drive Y:): No such file or directory"},
      {blank, "Error: Failed to open the selected disk drive. " + blank +
                  " (drive Y:): no NTFS or FAT volume could be read from it"},
  };
  for (const auto& c : kCases) {
    DriveSource source;
    source.path = c.path;
    ASSERT_TRUE(CDriveTable::Instance().Assign('Y', source));
    SurfaceScanJob failing;
    failing.driveLetter = 'Y';
    failing.cancel = &cancel;
    failing.formats = CFormatSet::All();
    CCollectingSink failSink;
    failing.sink = &failSink;
    SurfaceScanThread(failing);
    CDriveTable::Instance().Remove('Y');
    EXPECT_EQ(failing.result, kScanNotImpl);
    EXPECT_EQ(failSink.errors, (std::vector<std::string>{c.expected}));
  }
}

TEST(FatScan, OversizedAllocationTableEndsThePass) {
  // Sectors per FAT claiming far more than the volume: the FAT read comes up short at the end
  // of the device and the pass ends there; no cluster number past the volume is tested.
  std::string path = test::Fixture("carve-fat16.img");
  ASSERT_FALSE(path.empty());
  Bytes image = test::ReadWholeFile(path);
  ASSERT_GT(image.size(), 512u);
  CMemoryVolume probe(image, 512, 'P');
  CFatVolume good;
  ASSERT_TRUE(good.Initialize('P'));
  WriteLe16(&image[22], 0xFFFF);
  DriveSource src;
  src.memory = std::make_shared<const Bytes>(image);
  CDriveTable::Instance().Assign('R', src);
  CFatVolume fat;
  ASSERT_TRUE(fat.Initialize('R'));
  SurfaceScanJob job;
  job.driveLetter = 'R';
  job.formats = CFormatSet::All();
  CCollectingSink sink;
  job.sink = &sink;
  SurfaceScanVolume(job, fat);
  CDriveTable::Instance().Remove('R');
  // The claimed data area lies beyond the device: nothing there can be carved.
  EXPECT_TRUE(sink.files.empty());
  EXPECT_LE(job.Snapshot().percent, 100);
}

}  // namespace
}  // namespace sorvani
