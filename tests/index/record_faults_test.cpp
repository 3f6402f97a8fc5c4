// The catalogue scan over a source that fails: a record whose bytes are not a record is
// skipped and the scan goes on; a record the device cannot give is told apart, counted and
// named, so the scan can stop and say so instead of passing a gap off as a complete catalogue.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "disk/drive_table.h"
#include "foundation/log.h"
#include "index/file_index.h"
#include "index/ntfs_record_reader.h"
#include "ntfs/ntfs_volume.h"
#include "tests/util/fault_source.h"
#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

TEST(RecordFaults, ACorruptRecordIsSkippedAndADeviceErrorIsToldApart) {
  std::string error;
  auto letters = CDriveTable::Instance().RegisterImage(test::Fixture("ntfs-4k.img"), error);
  ASSERT_EQ(letters.size(), 1u) << error;
  const char letter = letters[0];
  CNtfsVolume good;
  ASSERT_TRUE(good.Initialize(letter));

  // Deleted files with a name: none is a folder above another, so the faults below touch only
  // the walk that starts at them.
  std::vector<std::uint32_t> deleted;
  {
    CNtfsRecordReader reader(&good);
    const auto records = static_cast<std::uint32_t>(
        good.MftFile().FindAttribute(kAttrData)->RealSize() / good.MftRecordSize());
    for (std::uint32_t r = kLastSystemRecord + 1; r < records && deleted.size() < 3; ++r) {
      RecordNames names;
      if (reader.LoadNames(r, names) && !names.inUse && !names.name.empty() &&
          !(names.attributes & kFileAttrDirectory))
        deleted.push_back(r);
    }
  }
  ASSERT_EQ(deleted.size(), 3u) << "the fixture has deleted files";
  const std::uint32_t corrupt = deleted[0], unreadable = deleted[1], intact = deleted[2];

  const std::uint64_t recordSize = good.MftRecordSize();
  const std::uint64_t mft = good.MftStartCluster() * good.BytesPerCluster();
  ASSERT_EQ(good.MftFile().FindAttribute(kAttrData)->Runs().size(), 1u);
  auto source =
      std::make_unique<test::CFaultSource>(CDriveTable::Instance().Find(letter)->OpenSource());
  source->Patch(mft + corrupt * recordSize, {'B', 'A', 'A', 'D'});
  source->FailRange(mft + unreadable * recordSize + 512, 1);
  CNtfsVolume faulty;
  faulty.AttachDevice(std::move(source));
  ASSERT_TRUE(faulty.Initialize(letter));

  std::string log = test::ScratchFolder("RecordFaults") + "/log.txt";
  ASSERT_TRUE(LogFile.Open(log));
  LogFile.SetLevel(2);

  CFileIndex index;
  CNtfsRecordReader reader(&faulty);
  struct Step {
    std::uint32_t record;
    RecordLoad outcome;
    bool entered;
  };
  for (const Step& s :
       {Step{corrupt, RecordLoad::kCorrupt, false},
        Step{unreadable, RecordLoad::kDeviceError, false}, Step{intact, RecordLoad::kOk, true}}) {
    EXPECT_EQ(index.IndexUnusedRecord(reader, s.record), s.outcome) << "record " << s.record;
    EXPECT_EQ(index.FindEntry(s.record) != nullptr, s.entered) << "record " << s.record;
  }
  EXPECT_EQ(index.UnreadableRecords(), 1u);
  EXPECT_EQ(index.FirstUnreadableRecord(), unreadable);

  // The file's own load says the same in three values.
  CNtfsFile file;
  EXPECT_EQ(file.Load(&faulty, corrupt, true), RecordLoad::kCorrupt);
  EXPECT_EQ(file.Load(&faulty, unreadable, true), RecordLoad::kDeviceError);
  EXPECT_EQ(file.Load(&faulty, intact, true), RecordLoad::kOk);
  EXPECT_EQ(file.Load(&faulty, 0xFFFFFF, true), RecordLoad::kCorrupt) << "no such record";
  std::vector<std::uint8_t> buffer;
  EXPECT_EQ(faulty.ReadMftRecordResult(unreadable, buffer), RecordLoad::kDeviceError);
  EXPECT_EQ(faulty.ReadMftRecordResult(corrupt, buffer), RecordLoad::kOk) << "its bytes are read";

  index.Clear();
  EXPECT_EQ(index.UnreadableRecords(), 0u);
  LogFile.Close();

  // Every line about a failed load names its record.
  std::ifstream in(log);
  std::stringstream text;
  text << in.rdbuf();
  auto has = [&](const std::string& line) { return text.str().find(line) != std::string::npos; };
  EXPECT_TRUE(has("MFT record " + std::to_string(corrupt) + ": Signature is not FILE\n"))
      << text.str();
  EXPECT_TRUE(
      has("MFT record " + std::to_string(unreadable) + ": cannot be read from the device\n"))
      << text.str();
  EXPECT_TRUE(has("MFT record 16777215: not in the MFT\n")) << text.str();
  CDriveTable::Instance().Remove(letter);
}

}  // namespace
}  // namespace sorvani
