// Recovery over a source that fails: files with unreadable sectors or clusters past the end of
// a cut-off image are written (the unreadable bytes as zeros) but reported as failures of
// their own kind with the exact unreadable ranges; raw ranges cut short by the end fail as
// beyond the end; the run's totals count what was written and never run backwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "disk/drive_table.h"
#include "index/file_index.h"
#include "index/ntfs_record_reader.h"
#include "ntfs/ntfs_volume.h"
#include "recovery/recover_catalogue.h"
#include "recovery/recover_engine.h"
#include "tests/recovery/recovery_test_util.h"
#include "tests/util/fault_source.h"
#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// Deleted files of ntfs-4k.img: 30000 bytes in one run, and 50000 bytes elsewhere.
constexpr std::uint32_t kFile = 101;
constexpr std::uint32_t kOther = 105;

class RecoverReadFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string image = test::Fixture("ntfs-4k.img");
    ASSERT_FALSE(image.empty());
    m_image = test::OpenIndexedImage(image);
    ASSERT_NE(m_image.ntfs, nullptr);
    CNtfsFile file;
    ASSERT_TRUE(file.LoadRecord(m_image.ntfs, kFile, false));
    CNtfsFileAttr* data = file.FindAttribute(kAttrData);
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(data->Runs().size(), 1u);
    m_fileAt =
        static_cast<std::uint64_t>(data->Runs().front().lcnDelta) * m_image.ntfs->BytesPerCluster();
    m_truth.resize(data->RealSize());
    std::uint32_t got = 0;
    ASSERT_TRUE(data->Read(m_truth.data(), static_cast<std::uint32_t>(m_truth.size()), got));
    ASSERT_EQ(got, 30000u);
  }
  void TearDown() override { CDriveTable::Instance().Remove(m_image.letter); }

  std::unique_ptr<CNtfsVolume> Faulty(const std::function<void(test::CFaultSource&)>& arrange) {
    auto source = std::make_unique<test::CFaultSource>(
        CDriveTable::Instance().Find(m_image.letter)->OpenSource());
    arrange(*source);
    auto volume = std::make_unique<CNtfsVolume>();
    volume->AttachDevice(std::move(source));
    if (!volume->Initialize(m_image.letter)) return nullptr;
    return volume;
  }

  test::IndexedImage m_image;
  std::uint64_t m_fileAt = 0;
  Bytes m_truth;
};

TEST_F(RecoverReadFaults, FilesWithUnreadableBytesAreWrittenAndFailWithTheirRanges) {
  const std::uint64_t mftRecord =
      m_image.ntfs->MftStartCluster() * m_image.ntfs->BytesPerCluster() +
      std::uint64_t{kFile} * m_image.ntfs->MftRecordSize();
  struct Case {
    const char* name;
    std::function<void(test::CFaultSource&)> arrange;
    RecoverResult want;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> spans;  // offset, length in the file
    bool beyondEnd;
    bool written;
  };
  const Case cases[] = {
      {"a sector that always fails",
       [&](test::CFaultSource& s) { s.FailRange(m_fileAt + 12288 + 512, 512); },
       REC_E_READ_ERROR,
       {{12800, 512}},
       false,
       true},
      {"a sector that fails once",
       [&](test::CFaultSource& s) { s.FailRange(m_fileAt + 12288, 512, 1); },
       REC_S_OK,
       {},
       false,
       true},
      {"the image ends inside the file",
       [&](test::CFaultSource& s) { s.EndAt(m_fileAt + 20480); },
       REC_E_BEYOND_END,
       {{20480, 30000 - 20480}},
       true,
       true},
      {"the file's record cannot be read",
       [&](test::CFaultSource& s) { s.FailRange(mftRecord, 1); },
       REC_E_READ_ERROR,
       {},
       false,
       false},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto volume = Faulty(c.arrange);
    ASSERT_NE(volume, nullptr);
    CFileIndexCatalogue catalogue(file_index, m_image.ntfs);
    std::string dest = test::ScratchFolder("recover_read_faults_" + std::to_string(n++));
    test::CScriptedFrontEnd frontEnd(dest);
    ASSERT_EQ(test::RunRecovery(frontEnd, *volume, RF_ALL_STREAMS | RF_QUIET,
                                test::ItemsFor({kFile}), &catalogue),
              REC_S_OK);
    ASSERT_EQ(frontEnd.reports.size(), 1u);
    const RecoveredItemReport& r = frontEnd.reports[0];
    EXPECT_EQ(r.result, c.want);
    std::vector<std::pair<std::uint64_t, std::uint64_t>> spans;
    for (const UnreadableSpan& u : r.unreadable) {
      spans.emplace_back(u.offset, u.length);
      EXPECT_EQ(u.beyondEnd, c.beyondEnd);
      EXPECT_EQ(u.stream, "");
    }
    EXPECT_EQ(spans, c.spans);
    RecoveryProgress p = frontEnd.progress;
    EXPECT_EQ(p.failed, RecoverFailed(c.want));
    EXPECT_EQ(p.filesRecovered, c.want == REC_S_OK ? 1u : 0u);
    if (RecoverFailed(c.want)) {
      ASSERT_EQ(frontEnd.rows.size(), 1u);
      if (!c.spans.empty()) {
        EXPECT_NE(frontEnd.rows[0].first.find(c.beyondEnd ? "end of the source" : "Read error"),
                  std::string::npos)
            << frontEnd.rows[0].first;
      }
    }
    if (!c.written) {
      EXPECT_EQ(p.bytesWritten, 0u);
      continue;
    }
    // What could be read is the file's; what could not is zeros, never other bytes.
    Bytes written = test::ReadWholeFile(r.destination);
    ASSERT_EQ(written.size(), m_truth.size());
    Bytes expect = m_truth;
    for (const auto& [offset, length] : c.spans) std::fill_n(expect.begin() + offset, length, 0);
    EXPECT_TRUE(written == expect);
    EXPECT_EQ(p.bytesWritten, 30000u);
  }
}

// The catalogue reads through the same reader: a record that cannot be read is not listed
// with made-up facts, and an overwritten share that cannot be read is unknown, not 0.
TEST_F(RecoverReadFaults, CatalogueRecordsAndSharesThatCannotBeRead) {
  const std::uint64_t mftRecord =
      m_image.ntfs->MftStartCluster() * m_image.ntfs->BytesPerCluster() +
      std::uint64_t{kFile} * m_image.ntfs->MftRecordSize();
  CNtfsFileAttr* bitmap = m_image.ntfs->BitmapFile().FindAttribute(kAttrData, "");
  ASSERT_NE(bitmap, nullptr);
  const std::uint64_t bitmapAt =
      static_cast<std::uint64_t>(bitmap->Runs().front().lcnDelta) * m_image.ntfs->BytesPerCluster();

  CNtfsRecordReader good(m_image.ntfs);
  RecordDetails details;
  ASSERT_TRUE(good.LoadDetails(kFile, true, details));
  EXPECT_GE(details.overwritten, 0);

  auto noBitmap = Faulty([&](test::CFaultSource& s) { s.FailRange(bitmapAt, 512); });
  ASSERT_NE(noBitmap, nullptr);
  CNtfsRecordReader withoutBitmap(noBitmap.get());
  ASSERT_TRUE(withoutBitmap.LoadDetails(kFile, true, details));
  EXPECT_EQ(details.overwritten, -1);
  EXPECT_EQ(details.size, 30000u);

  auto noRecord = Faulty([&](test::CFaultSource& s) { s.FailRange(mftRecord, 1); });
  ASSERT_NE(noRecord, nullptr);
  CNtfsRecordReader withoutRecord(noRecord.get());
  RecordNames names;
  EXPECT_FALSE(withoutRecord.LoadNames(kFile, names));
  EXPECT_FALSE(withoutRecord.LoadDetails(kFile, false, details));
  CFileIndex index;
  index.IndexUnusedRecord(withoutRecord, kFile);
  EXPECT_EQ(index.FindEntry(kFile), nullptr);
  index.IndexUnusedRecord(good, kFile);
  EXPECT_NE(index.FindEntry(kFile), nullptr);
}

TEST_F(RecoverReadFaults, RawRangesCutShortByTheEndFail) {
  const std::uint32_t unit = m_image.ntfs->BytesPerCluster();
  auto volume = Faulty([&](test::CFaultSource& s) { s.EndAt(m_fileAt + 10000); });
  ASSERT_NE(volume, nullptr);
  std::vector<RecoverItem> items(3);
  items[0].name = "cut.bin";  // runs past the end
  items[0].id = m_fileAt / unit;
  items[0].size = 30000;
  items[1].name = "whole.bin";  // inside the source
  items[1].id = m_fileAt / unit;
  items[1].size = 5000;
  items[2].name = "known-cut.jpg";  // whole range, but the picture it holds goes on
  items[2].id = m_fileAt / unit;
  items[2].size = 5000;
  items[2].cutShort = static_cast<int>(ReadFault::kBeyondEnd);
  std::string dest = test::ScratchFolder("recover_raw_cut");
  test::CScriptedFrontEnd frontEnd(dest);
  ASSERT_EQ(
      test::RunRecovery(frontEnd, *volume, RF_RAW_RANGES | RF_QUIET, MakeItemList(items), nullptr),
      REC_S_OK);
  ASSERT_EQ(frontEnd.reports.size(), 3u);
  const RecoveredItemReport& cut = frontEnd.reports[0];
  EXPECT_EQ(cut.result, REC_E_BEYOND_END);
  ASSERT_EQ(cut.unreadable.size(), 1u);
  EXPECT_EQ(cut.unreadable[0].offset, 10000u);
  EXPECT_EQ(cut.unreadable[0].length, 20000u);
  EXPECT_TRUE(cut.unreadable[0].beyondEnd);
  EXPECT_EQ(cut.bytes, 10000u);
  EXPECT_EQ(fs::file_size(cut.destination), 10000u);
  EXPECT_EQ(frontEnd.reports[1].result, REC_S_OK);
  EXPECT_EQ(frontEnd.reports[2].result, REC_E_BEYOND_END);
  RecoveryProgress p = frontEnd.progress;
  EXPECT_EQ(p.filesRecovered, 1u);
  EXPECT_EQ(p.filesBeyondEnd, 2u);
  EXPECT_EQ(p.bytesRecovered, 5000u);
  EXPECT_EQ(p.bytesWritten, 20000u);
}

// A stop while carved pictures are written: the pictures after it are not started (no empty
// files), and the run says it was stopped.
TEST_F(RecoverReadFaults, AStopDuringRawRangesStartsNoFurtherPicture) {
  const std::uint32_t unit = m_image.ntfs->BytesPerCluster();
  std::vector<RecoverItem> items(4);
  for (std::size_t i = 0; i < items.size(); ++i) {
    items[i].name = "picture" + std::to_string(i) + ".jpg";
    items[i].id = m_fileAt / unit;
    items[i].size = 4096;
  }
  std::string dest = test::ScratchFolder("recover_raw_stop");
  test::CScriptedFrontEnd frontEnd(dest);
  frontEnd.onItem = [](RecoverJob& job, const RecoveredItemReport&) { job.cancel.Set(); };
  ASSERT_EQ(test::RunRecovery(frontEnd, *m_image.volume, RF_RAW_RANGES | RF_QUIET,
                              MakeItemList(items), nullptr),
            REC_S_OK);
  EXPECT_EQ(frontEnd.reports.size(), 1u);
  EXPECT_TRUE(fs::exists(dest + "/picture0.jpg"));
  EXPECT_FALSE(fs::exists(dest + "/picture1.jpg"));
  RecoveryProgress p = frontEnd.progress;
  EXPECT_TRUE(p.stopped);
  EXPECT_EQ(p.filesTried, 1u);
}

TEST_F(RecoverReadFaults, TotalsCountWhatWasWrittenAndNeverRunBackwards) {
  CFileIndexCatalogue catalogue(file_index, m_image.ntfs);
  CNtfsFile other;
  ASSERT_TRUE(other.LoadRecord(m_image.ntfs, kOther, false));
  const std::uint64_t otherSize = other.GetDataSize();
  ASSERT_GT(otherSize, 0u);
  // The other file's record fails: it is tried and failed, and its size is not an amount
  // recovered.
  const std::uint64_t otherRecord =
      m_image.ntfs->MftStartCluster() * m_image.ntfs->BytesPerCluster() +
      std::uint64_t{kOther} * m_image.ntfs->MftRecordSize();
  auto volume = Faulty([&](test::CFaultSource& s) { s.FailRange(otherRecord, 1); });
  ASSERT_NE(volume, nullptr);
  test::CScriptedFrontEnd frontEnd(test::ScratchFolder("recover_totals"));
  ASSERT_EQ(
      test::RunRecovery(frontEnd, *volume, RF_QUIET, test::ItemsFor({kFile, kOther}), &catalogue),
      REC_S_OK);
  // The numbers the usage totals are made of.
  EXPECT_EQ(frontEnd.progress.filesRecovered, 1u);
  EXPECT_EQ(frontEnd.progress.bytesWritten, 30000u);

  // A stop inside a folder: the children written before it stay counted, so the processed
  // bytes never fall below the recovered ones and the tried never below the recovered.
  std::uint32_t folder = 0;
  std::vector<CatalogueEntry> children;
  std::vector<CatalogueEntry> all;
  catalogue.AllEntries(all);
  for (const CatalogueEntry& e : all) {
    if (!(e.attributes & kFileAttrDirectory)) continue;
    children.clear();
    catalogue.Children(e.record, children);
    int files = 0;
    for (const CatalogueEntry& c : children) files += !(c.attributes & kFileAttrDirectory);
    if (files >= 2) {
      folder = e.record;
      break;
    }
  }
  ASSERT_NE(folder, 0u) << "no deleted folder with two files in the fixture";
  test::CScriptedFrontEnd stopping(test::ScratchFolder("recover_stop_in_folder"));
  int seen = 0;
  stopping.onItem = [&](RecoverJob& job, const RecoveredItemReport& r) {
    if (!r.folder && ++seen == 1) job.cancel.Set();
  };
  ASSERT_EQ(test::RunRecovery(stopping, *m_image.volume, RF_QUIET,
                              test::ItemsFor({folder}, kFileAttrDirectory), &catalogue),
            REC_S_OK);
  RecoveryProgress p = stopping.progress;
  EXPECT_TRUE(p.stopped);
  EXPECT_GE(p.filesRecovered, 1u);
  EXPECT_GE(p.bytesProcessed, p.bytesRecovered);
  EXPECT_GE(p.filesTried, p.filesRecovered);
}

}  // namespace
}  // namespace sorvani
