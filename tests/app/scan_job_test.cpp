// The surface scan as a job: the scan runs on the job's thread, its stage comes as a code with
// the drive letter, cancel ends it, and a drive that cannot be opened says so.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "app/scan_job.h"
#include "disk/drive_table.h"
#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

class CRows final : public ICarvedFileSink {
 public:
  void Append(const CarvedFile& file) override {
    std::lock_guard<std::mutex> hold(m_lock);
    files.push_back(file);
    threads.push_back(std::this_thread::get_id());
  }
  void ShowError(const std::string& text, const std::string&) override { errors.push_back(text); }
  std::mutex m_lock;
  std::vector<CarvedFile> files;
  std::vector<std::thread::id> threads;
  std::vector<std::string> errors;
};

TEST(ScanJob, FindsWhatTheScanFindsOnItsOwnThread) {
  std::string image = test::Fixture("carve-fat16.img");
  if (image.empty()) GTEST_SKIP();
  std::string error;
  auto letters = CDriveTable::Instance().RegisterImage(image, error);
  ASSERT_FALSE(letters.empty()) << error;
  const char letter = letters[0];

  // The same scan called directly, as the reference.
  CRows direct;
  std::atomic<bool> never{false};
  SurfaceScanJob reference;
  reference.driveLetter = letter;
  reference.cancel = &never;
  reference.formats = CFormatSet::All();
  reference.sink = &direct;
  SurfaceScanThread(reference);
  ASSERT_GT(direct.files.size(), 3u);

  CRows rows;
  CScanJob job(letter, CFormatSet::All(), rows);
  EXPECT_EQ(job.Snapshot().stage, ScanStage::kIdle);
  ASSERT_TRUE(job.Start());
  job.Wait();
  EXPECT_TRUE(job.Finished());
  EXPECT_EQ(job.Result(), kScanResultOk);
  EXPECT_FALSE(job.MapIncomplete());
  ASSERT_EQ(rows.files.size(), direct.files.size());
  for (std::size_t i = 0; i < rows.files.size(); ++i) {
    EXPECT_EQ(rows.files[i].startUnit, direct.files[i].startUnit);
    EXPECT_EQ(rows.files[i].size, direct.files[i].size);
    EXPECT_NE(rows.threads[i], std::this_thread::get_id());
  }
  SurfaceScanStatus end = job.Snapshot();
  EXPECT_EQ(end.stage, ScanStage::kSearching);
  EXPECT_EQ(end.driveLetter, letter);
  EXPECT_EQ(end.found, static_cast<std::int32_t>(rows.files.size()));

  // Stopped before it began: it ends at once and finds nothing.
  CRows none;
  CScanJob stopped(letter, CFormatSet::All(), none);
  stopped.Cancel();
  ASSERT_TRUE(stopped.Start());
  stopped.Wait();
  EXPECT_TRUE(none.files.empty());
  CDriveTable::Instance().Remove(letter);
}

TEST(ScanJob, ADriveThatCannotBeOpenedIsReported) {
  CRows rows;
  CScanJob job('9', CFormatSet::All(), rows);
  ASSERT_TRUE(job.Start());
  job.Wait();
  EXPECT_EQ(job.Result(), kScanNotImpl);
  ASSERT_EQ(rows.errors.size(), 1u);
  EXPECT_NE(rows.errors[0].find("Failed to open"), std::string::npos);
}

}  // namespace
}  // namespace sorvani
