// A cut-off image from outside: the committed fixture truncated so that one deleted file's
// last clusters lie past the end. `recover` writes every file, reports that one as cut short
// with its unreadable range and exits 1; every other file is byte-identical. `info` says how
// much is missing; a boot sector claiming an impossible size is refused. And the summary
// after a stop never shows a count that wrapped below zero.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "cli/cmd_recover.h"
#include "disk/drive_table.h"
#include "ntfs/ntfs_volume.h"
#include "tests/cli/cli_run.h"
#include "tests/util/fixtures.h"
#include "tests/util/sha256.h"

namespace sorvani {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using test::JsonLines;
using test::RunSorvani;

struct Extent {
  std::uint64_t vcn, lcn, length;
};

// The data clusters of every non-resident attribute of a record, as extents.
std::vector<std::pair<const CNtfsFileAttr*, std::vector<Extent>>> DataExtents(
    const CNtfsFile& file) {
  std::vector<std::pair<const CNtfsFileAttr*, std::vector<Extent>>> out;
  for (std::size_t i = 0; i < file.AttributeCount(); ++i) {
    const CNtfsFileAttr* a = file.AttributeAt(i);
    if (!a || !a->IsNonResident()) continue;
    std::vector<Extent> extents;
    std::uint64_t vcn = a->StartVcn();
    std::int64_t lcn = 0;
    for (const DataRun& run : a->Runs()) {
      lcn += run.lcnDelta;
      if (!run.sparse && run.length)
        extents.push_back({vcn, static_cast<std::uint64_t>(lcn), run.length});
      vcn += run.length;
    }
    out.emplace_back(a, extents);
  }
  return out;
}

TEST(CliCutOff, RecoverReportsTheCutShortFileAndKeepsEveryOther) {
  std::string image = test::Fixture("ntfs-4k.img");
  json key = json::parse(test::FixtureText("ntfs-4k.img.key.json"), nullptr, false);
  ASSERT_FALSE(image.empty() || key.is_discarded());
  std::string error;
  auto letters = CDriveTable::Instance().RegisterImage(image, error);
  ASSERT_EQ(letters.size(), 1u) << error;
  CNtfsVolume volume;
  ASSERT_TRUE(volume.Initialize(letters[0]));
  const std::uint64_t bpc = volume.BytesPerCluster();

  // The deleted file whose data reaches furthest, and the furthest cluster anything else
  // needed (system files, every other deleted stream) reaches.
  std::set<std::uint32_t> deleted;
  for (const auto& u : key["unallocated"]) deleted.insert(u.at("record").get<std::uint32_t>());
  std::uint32_t chosen = 0;
  std::uint64_t chosenLast = 0;
  std::vector<Extent> chosenExtents;
  std::uint64_t chosenSize = 0;
  std::map<std::uint32_t, std::uint64_t> lastOf;  // record -> its furthest cluster
  for (std::uint32_t r = 0; r < 1600; ++r) {
    if (r >= 16 && !deleted.count(r)) continue;
    CNtfsFile file;
    if (!file.LoadRecord(&volume, r, false)) continue;
    for (const auto& [attr, extents] : DataExtents(file)) {
      std::uint64_t last = 0;
      for (const Extent& e : extents) last = std::max(last, e.lcn + e.length - 1);
      lastOf[r] = std::max(lastOf[r], last);
      bool candidate =
          r >= 16 && attr->Type() == kAttrData && attr->Name().empty() && !attr->IsCompressed();
      if (candidate && last > chosenLast) {
        chosen = r;
        chosenLast = last;
        chosenExtents = extents;
        chosenSize = attr->RealSize();
      }
    }
  }
  // Bitmaps, $LogFile, $MFTMirr and the like are not needed to list and recover.
  for (std::uint32_t r : {1u, 2u, 7u, 8u, 9u, 11u, 15u}) lastOf.erase(r);
  std::uint64_t others = 0;
  for (const auto& [r, last] : lastOf)
    if (r != chosen) others = std::max(others, last);
  ASSERT_NE(chosen, 0u);
  ASSERT_LT(others, chosenLast) << "no deleted file lies last in the fixture";
  const std::uint64_t cut = others + 1;  // first cluster past the end

  // The file bytes that lie past the cut.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> expected;
  for (const Extent& e : chosenExtents) {
    for (std::uint64_t c = 0; c < e.length; ++c) {
      if (e.lcn + c < cut) continue;
      std::uint64_t from = (e.vcn + c) * bpc;
      if (from >= chosenSize) continue;
      std::uint64_t length = std::min(bpc, chosenSize - from);
      if (!expected.empty() && expected.back().first + expected.back().second == from)
        expected.back().second += length;
      else
        expected.emplace_back(from, length);
    }
  }
  ASSERT_FALSE(expected.empty());
  CDriveTable::Instance().Remove(letters[0]);

  std::string work = test::ScratchFolder("cli_cutoff");
  std::string cutImage = work + "/cut.img";
  fs::copy_file(image, cutImage);
  ASSERT_EQ(::truncate(cutImage.c_str(), static_cast<off_t>(cut * bpc)), 0);

  auto info = RunSorvani({"info", cutImage, "--json"});
  ASSERT_EQ(info.exitCode, 0) << info.err;
  auto rows = JsonLines(info.out);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].at("source_bytes").get<std::uint64_t>(), cut * bpc);
  EXPECT_EQ(rows[0].at("missing_bytes").get<std::uint64_t>(),
            rows[0].at("claimed_bytes").get<std::uint64_t>() - cut * bpc);
  EXPECT_NE(info.err.find("cut off"), std::string::npos) << info.err;

  // Listing goes on and names the file whose data reaches past the end.
  auto list = RunSorvani({"list", cutImage, "--recursive", "--deleted-only"});
  EXPECT_EQ(list.exitCode, 0) << list.err;
  EXPECT_NE(list.err.find("record " + std::to_string(chosen) + ":"), std::string::npos) << list.err;
  EXPECT_NE(list.err.find("1 deleted files listed have data there"), std::string::npos) << list.err;

  std::string dest = work + "/out";
  auto r = RunSorvani({"recover", cutImage, "--to", dest, "--all-deleted", "--json", "--quiet"});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_NE(r.err.find("Cut short by the end of the source"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Partial:   1 cut short by the end of the source"), std::string::npos)
      << r.err;
  std::map<std::uint32_t, json> byRecord;
  for (const auto& row : JsonLines(r.out))
    if (!row.at("folder").get<bool>()) byRecord[row.at("record").get<std::uint32_t>()] = row;
  ASSERT_TRUE(byRecord.count(chosen));
  const json& cutRow = byRecord[chosen];
  EXPECT_EQ(cutRow.at("status"), "beyond the end of the source");
  EXPECT_EQ(cutRow.at("result").get<std::uint64_t>(), 0x80070026u);
  std::vector<std::pair<std::uint64_t, std::uint64_t>> listed;
  for (const auto& span : cutRow.at("unreadable")) listed.emplace_back(span.at(0), span.at(1));
  EXPECT_EQ(listed, expected);
  EXPECT_EQ(fs::file_size(cutRow.at("destination").get<std::string>()), chosenSize);

  int identical = 0;
  for (const auto& s : key["streams"]) {
    std::uint32_t record = s.at("record");
    if (record == chosen || !deleted.count(record) || s.value("icat_rc", 1) != 0) continue;
    auto it = byRecord.find(record);
    ASSERT_NE(it, byRecord.end()) << record;
    if (it->second.at("status") == "damaged") {
      // A record that claims more than its runs hold: the file holds exactly what they hold.
      EXPECT_LT(it->second.at("data_found").get<std::uint64_t>(),
                it->second.at("size_claimed").get<std::uint64_t>())
          << record;
    } else {
      EXPECT_EQ(it->second.at("result"), 0) << record;
    }
    std::string target = it->second.at("destination");
    if (!s["stream"].is_null()) target += ":" + s["stream"].get<std::string>();
    EXPECT_EQ(test::Sha256OfFile(target), s.at("sha256").get<std::string>()) << target;
    ++identical;
  }
  EXPECT_GT(identical, 20);
}

TEST(CliCutOff, AnImpossibleVolumeSizeIsRefused) {
  std::string image = test::Fixture("ntfs-4k.img");
  ASSERT_FALSE(image.empty());
  std::string work = test::ScratchFolder("cli_absurd");
  std::string bad = work + "/absurd.img";
  fs::copy_file(image, bad);
  ASSERT_EQ(::truncate(bad.c_str(), 32 << 20), 0);
  {
    std::fstream f(bad, std::ios::in | std::ios::out | std::ios::binary);
    std::uint64_t sectors = std::uint64_t{1} << 62;
    char le[8];
    for (int i = 0; i < 8; ++i) le[i] = static_cast<char>(sectors >> (8 * i));
    f.seekp(0x28);
    f.write(le, 8);
  }
  auto info = RunSorvani({"info", bad});
  EXPECT_EQ(info.exitCode, 2) << info.out << info.err;
  auto rec = RunSorvani({"recover", bad, "--to", work + "/out", "--all-deleted"});
  EXPECT_EQ(rec.exitCode, 2) << rec.err;
}

// Sets the real and initialized size of the unnamed non-resident $DATA of `record` in a copy
// of an image whose MFT is one run. The bytes at the end of each sector live in the update
// sequence array on disk, so they are written there.
bool SetDataSize(const std::string& image, CNtfsVolume& volume, std::uint32_t record,
                 std::uint64_t size) {
  const std::uint64_t recordSize = volume.MftRecordSize();
  const std::uint64_t at =
      volume.MftStartCluster() * volume.BytesPerCluster() + record * recordSize;
  std::fstream f(image, std::ios::in | std::ios::out | std::ios::binary);
  std::vector<std::uint8_t> r(recordSize);
  f.seekg(static_cast<std::streamoff>(at));
  f.read(reinterpret_cast<char*>(r.data()), static_cast<std::streamsize>(r.size()));
  auto le = [&](std::size_t pos, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | r[pos + i];
    return v;
  };
  if (!f || le(0x2C, 4) != record) return false;
  const std::size_t usa = le(4, 2);
  auto put = [&](std::size_t pos, std::uint64_t value) {
    for (int i = 0; i < 8; ++i, ++pos) {
      std::size_t stored = pos % 512 >= 510 ? usa + 2 + 2 * (pos / 512) + (pos % 512 - 510) : pos;
      r[stored] = static_cast<std::uint8_t>(value >> (8 * i));
    }
  };
  std::size_t offset = le(0x14, 2);
  for (;;) {
    if (offset + 0x48 >= r.size() || le(offset, 4) == 0xFFFFFFFFu) return false;
    if (le(offset, 4) == kAttrData && r[offset + 8] == 1 && r[offset + 9] == 0) break;
    std::size_t length = le(offset + 4, 4);
    if (length == 0) return false;
    offset += length;
  }
  put(offset + 48, size);
  put(offset + 56, size);
  f.seekp(static_cast<std::streamoff>(at));
  f.write(reinterpret_cast<const char*>(r.data()), static_cast<std::streamsize>(r.size()));
  return static_cast<bool>(f);
}

// One flipped bit in a size field: the file holds what its runs hold and is reported damaged;
// a size no volume of this size can hold is refused outright; neither blocks the others, nor
// the free-space check of an unattended run.
TEST(CliDamagedSize, AClaimedSizeBeyondTheRunsIsNotInvented) {
  std::string image = test::Fixture("ntfs-4k.img");
  json key = json::parse(test::FixtureText("ntfs-4k.img.key.json"), nullptr, false);
  ASSERT_FALSE(image.empty() || key.is_discarded());
  std::string work = test::ScratchFolder("cli_damaged_size");
  std::string copy = work + "/damaged.img";
  fs::copy_file(image, copy);
  constexpr std::uint32_t kHuge = 101, kLarger = 105;
  std::uint64_t runsHold = 0;
  {
    std::string error;
    auto letters = CDriveTable::Instance().RegisterImage(copy, error);
    ASSERT_EQ(letters.size(), 1u) << error;
    CNtfsVolume volume;
    ASSERT_TRUE(volume.Initialize(letters[0]));
    CNtfsFile file;
    ASSERT_TRUE(file.LoadRecord(&volume, kLarger, false));
    runsHold = file.FindAttribute(kAttrData)->RunClusters() * volume.BytesPerCluster();
    ASSERT_EQ(file.GetDataSize(), 50000u);
    ASSERT_TRUE(SetDataSize(copy, volume, kHuge, std::uint64_t{1} << 50));
    ASSERT_TRUE(SetDataSize(copy, volume, kLarger, 200000));
    CDriveTable::Instance().Remove(letters[0]);
  }
  auto r =
      RunSorvani({"recover", copy, "--to", work + "/out", "--all-deleted", "--json", "--quiet"});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  std::map<std::uint32_t, json> byRecord;
  for (const auto& row : JsonLines(r.out))
    if (!row.at("folder").get<bool>()) byRecord[row.at("record").get<std::uint32_t>()] = row;
  ASSERT_TRUE(byRecord.count(kHuge) && byRecord.count(kLarger)) << r.out;
  EXPECT_EQ(byRecord[kHuge].at("status"), "damaged");
  EXPECT_EQ(byRecord[kHuge].at("bytes"), 0);
  EXPECT_EQ(byRecord[kHuge].at("size_claimed").get<std::uint64_t>(), std::uint64_t{1} << 50);
  EXPECT_EQ(byRecord[kLarger].at("status"), "damaged");
  EXPECT_EQ(byRecord[kLarger].at("size_claimed"), 200000);
  EXPECT_EQ(byRecord[kLarger].at("data_found").get<std::uint64_t>(), runsHold);
  EXPECT_EQ(fs::file_size(byRecord[kLarger].at("destination").get<std::string>()), runsHold);
  int identical = 0;
  for (const auto& s : key["streams"]) {
    std::uint32_t record = s.at("record");
    auto it = byRecord.find(record);
    if (record == kHuge || record == kLarger || it == byRecord.end() ||
        !s.value("deleted", false) || s.value("icat_rc", 1) != 0 || !s["stream"].is_null())
      continue;
    EXPECT_EQ(test::Sha256OfFile(it->second.at("destination")), s.at("sha256").get<std::string>())
        << record;
    ++identical;
  }
  EXPECT_GT(identical, 20);
}

// A record that cannot be read is not called damaged, and one that is damaged is not called
// unreadable.
TEST(CliDumpRecord, UnreadableDamagedAndMissingRecordsAreToldApart) {
  std::string image = test::Fixture("ntfs-4k.img");
  ASSERT_FALSE(image.empty());
  std::string work = test::ScratchFolder("cli_dump_faults");
  std::string damaged = work + "/damaged.img";
  std::string cut = work + "/cut.img";
  fs::copy_file(image, damaged);
  fs::copy_file(image, cut);
  std::uint64_t recordAt = 0;
  {
    std::string error;
    auto letters = CDriveTable::Instance().RegisterImage(image, error);
    ASSERT_EQ(letters.size(), 1u) << error;
    CNtfsVolume volume;
    ASSERT_TRUE(volume.Initialize(letters[0]));
    recordAt =
        volume.MftStartCluster() * volume.BytesPerCluster() + 101ull * volume.MftRecordSize();
    CDriveTable::Instance().Remove(letters[0]);
  }
  {
    std::fstream f(damaged, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(recordAt));
    f.write("BAAD", 4);
  }
  // Cut inside record 101: the records before it read, it does not.
  ASSERT_EQ(::truncate(cut.c_str(), static_cast<off_t>(recordAt + 512)), 0);
  struct Case {
    std::string image, record, want;
  };
  for (const Case& c :
       {Case{image, "99999999", "does not exist in the MFT"}, Case{damaged, "101", "is damaged"},
        Case{cut, "101", "cannot be read from the source"}}) {
    auto r = RunSorvani({"dump-record", c.image, c.record});
    EXPECT_EQ(r.exitCode, 1) << c.image << " " << c.record;
    EXPECT_NE(r.err.find(c.want), std::string::npos) << r.err;
  }
  EXPECT_EQ(RunSorvani({"dump-record", cut, "100"}).exitCode, 0);
}

TEST(CliSummary, AStoppedRunNeverShowsAWrappedCount) {
  struct Case {
    const char* name;
    RecoveryProgress p;
    std::vector<std::string> want;
  };
  std::vector<Case> cases(3);
  cases[0].name = "stopped inside a folder";
  cases[0].p.filesTried = 3;
  cases[0].p.filesRecovered = 3;
  cases[0].p.foldersTried = 1;
  cases[0].p.bytesRecovered = 90000;
  cases[0].p.bytesProcessed = 40000;  // a folder's failure once set it back
  cases[0].p.failed = true;
  cases[0].p.stopped = true;
  cases[0].want = {"Failed:    0 files, 1 folders, 0 KB", "Tried:     3 files, 1 folders, 88 KB",
                   "Stopped:"};
  cases[1].name = "partial files";
  cases[1].p.filesTried = 2;
  cases[1].p.filesRecovered = 1;
  cases[1].p.filesReadError = 1;
  cases[1].p.bytesUnreadable = 512;
  cases[1].p.failed = true;
  cases[1].want = {"Partial:   1 with read errors", "Failed:    1 files"};
  cases[2].name = "a clean run";
  cases[2].p.filesTried = 2;
  cases[2].p.filesRecovered = 2;
  cases[2].want = {"Recovered: 2 files"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text = cli::FormatRecoverSummary(c.p);
    for (const std::string& w : c.want) EXPECT_NE(text.find(w), std::string::npos) << text;
    EXPECT_EQ(text.find("GB"), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace sorvani
