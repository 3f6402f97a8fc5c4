// Carving over a source that fails: a picture whose body cannot be read, or that the end of
// a cut-off image cuts short, is listed as incomplete (with what is there), never as a full
// picture; the scan itself goes on past the bad spot.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>

#include "disk/drive_table.h"
#include "fat/fat_volume.h"
#include "surfacescan/surface_scan.h"
#include "tests/surfacescan/carve_test_support.h"
#include "tests/util/fault_source.h"
#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

std::vector<CarvedFile> Scan(CVolume& volume, char letter, bool* mapIncomplete = nullptr) {
  test::CCollectingSink sink;
  std::atomic<bool> cancel{false};
  SurfaceScanJob job;
  job.driveLetter = letter;
  job.cancel = &cancel;
  job.formats = CFormatSet::All();
  job.sink = &sink;
  SurfaceScanVolume(job, volume);
  if (mapIncomplete) *mapIncomplete = job.mapIncomplete;
  return sink.files;
}

TEST(CarveReadFaults, PicturesCutShortAreIncompleteNeverWhole) {
  std::string image = test::Fixture("carve-fat16.img");
  ASSERT_FALSE(image.empty());
  std::string error;
  auto letters = CDriveTable::Instance().RegisterImage(image, error);
  ASSERT_EQ(letters.size(), 1u) << error;
  const char letter = letters[0];
  CFatVolume good;
  ASSERT_TRUE(good.Initialize(letter));
  const std::vector<CarvedFile> whole = Scan(good, letter);
  ASSERT_FALSE(whole.empty());
  for (const CarvedFile& f : whole) EXPECT_FALSE(f.incomplete) << f.name;
  const std::uint64_t unit = good.BytesPerCluster();
  auto startOf = [&](const CarvedFile& f) { return f.startUnit * unit + f.offset; };

  // A JPEG with a body long enough to hold a bad sector well past its headers, and the
  // picture (of any type but BMP, whose body the test does not read) that starts last.
  const CarvedFile* jpeg = nullptr;
  const CarvedFile* last = nullptr;
  for (const CarvedFile& f : whole) {
    if (f.format == kFormatJpeg && f.size > 16384 && !jpeg) jpeg = &f;
    if (f.format != kFormatBmp && (!last || f.startUnit > last->startUnit)) last = &f;
  }
  ASSERT_NE(jpeg, nullptr);
  ASSERT_NE(last, nullptr);

  struct Case {
    const char* name;
    const CarvedFile* picture;
    std::function<void(test::CFaultSource&)> arrange;
    bool cutByEnd;
    std::uint64_t faultAt;  // volume offset of the first byte that cannot be read
  };
  const std::uint64_t badAt = (startOf(*jpeg) + jpeg->size / 2) / 512 * 512;
  const std::uint64_t endAt = (startOf(*last) + last->size / 2) / 512 * 512;
  const Case cases[] = {
      {"a bad sector inside a JPEG", jpeg, [&](test::CFaultSource& s) { s.FailRange(badAt, 512); },
       false, badAt},
      {"the image ends inside the last picture", last,
       [&](test::CFaultSource& s) { s.EndAt(endAt); }, true, endAt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto source =
        std::make_unique<test::CFaultSource>(CDriveTable::Instance().Find(letter)->OpenSource());
    c.arrange(*source);
    CFatVolume faulty;
    faulty.AttachDevice(std::move(source));
    ASSERT_TRUE(faulty.Initialize(letter));
    std::vector<CarvedFile> found = Scan(faulty, letter);
    const CarvedFile* hit = nullptr;
    for (const CarvedFile& f : found)
      if (f.startUnit == c.picture->startUnit && f.offset == c.picture->offset) hit = &f;
    ASSERT_NE(hit, nullptr) << c.picture->name << " is no longer listed at all";
    EXPECT_TRUE(hit->incomplete);
    EXPECT_EQ(hit->cutByEnd, c.cutByEnd);
    EXPECT_GT(hit->size, 0u);
    EXPECT_LE(hit->size, c.faultAt - startOf(*c.picture));
    // Every other picture before the fault is still found whole.
    for (const CarvedFile& f : whole) {
      if (&f == c.picture || startOf(f) + f.size > c.faultAt) continue;
      bool same = false;
      for (const CarvedFile& g : found)
        same |= g.startUnit == f.startUnit && g.size == f.size && !g.incomplete;
      EXPECT_TRUE(same) << f.name;
    }
  }
  // A FAT sector that cannot be read: the scan stops there and says the map was incomplete.
  bool incomplete = true;
  Scan(good, letter, &incomplete);
  EXPECT_FALSE(incomplete);
  auto source =
      std::make_unique<test::CFaultSource>(CDriveTable::Instance().Find(letter)->OpenSource());
  source->FailRange(good.ActiveFatOffset() + good.BytesPerSector(), 1);
  CFatVolume badFat;
  badFat.AttachDevice(std::move(source));
  ASSERT_TRUE(badFat.Initialize(letter));
  Scan(badFat, letter, &incomplete);
  EXPECT_TRUE(incomplete);
  CDriveTable::Instance().Remove(letter);
}

}  // namespace
}  // namespace sorvani
