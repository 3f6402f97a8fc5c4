// End-to-end: the carving fixtures made by mkfs.fat/mtools and mkntfs/ntfs-3g, scanned whole
// and compared with their answer keys by SHA-256.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "cli/cmd_carve.h"
#include "disk/drive_table.h"
#include "surfacescan/surface_scan.h"
#include "tests/surfacescan/carve_test_support.h"
#include "tests/util/fixtures.h"
#include "volumes/open_volume.h"

namespace sorvani {
namespace {

namespace fs = std::filesystem;
using test::CCollectingSink;
using test::PictureRow;

struct ScanOutcome {
  std::vector<CarvedFile> files;
  std::map<std::string, std::string> shaToName;  // carved sha256 -> carved name
};

ScanOutcome ScanImage(const std::string& path) {
  ScanOutcome out;
  std::string error;
  auto letters = CDriveTable::Instance().RegisterImage(path, error);
  EXPECT_EQ(letters.size(), 1u) << error;
  if (letters.empty()) return out;
  std::unique_ptr<CVolume> volume;
  EXPECT_TRUE(OpenVolume(letters[0], volume));
  if (volume) {
    CCollectingSink sink;
    std::atomic<bool> cancel{false};
    SurfaceScanJob job;
    job.driveLetter = letters[0];
    job.cancel = &cancel;
    job.formats = CFormatSet::All();
    job.sink = &sink;
    SurfaceScanVolume(job, *volume);
    out.files = sink.files;
    for (const auto& f : out.files)
      out.shaToName[test::Sha256Hex(test::ReadCarved(*volume, f))] = f.name;
  }
  CDriveTable::Instance().Remove(letters[0]);
  return out;
}

class CarveFixture : public testing::TestWithParam<const char*> {};

// Every deleted picture whose bytes still lie whole and in order in free clusters is found
// and cut byte-identical; a picture still in use is never reported.
TEST_P(CarveFixture, FindsEveryIntactDeletedPicture) {
  std::string image = GetParam();
  auto rows = test::LoadPictures(image + ".pictures.tsv");
  // The general fixtures carry a picture key only once their generator writes one.
  if (rows.empty()) GTEST_SKIP() << "no picture answer key for " << image;
  std::string path = test::Fixture(image);
  ASSERT_FALSE(path.empty());
  ScanOutcome scan = ScanImage(path);

  int expected = 0, found = 0;
  std::ostringstream note;
  for (const PictureRow& row : rows) {
    bool hit = scan.shaToName.count(row.sha256) != 0;
    if (!row.deleted) {
      EXPECT_FALSE(hit) << row.name << " is in use and must not be carved";
      continue;
    }
    if (row.layout == "contiguous" || row.layout.empty()) {
      ++expected;
      found += hit;
      // A key without layouts cannot say which pictures are intact: those misses are listed.
      if (!row.layout.empty())
        EXPECT_TRUE(hit) << image << ": deleted contiguous " << row.name << " (" << row.size
                         << " bytes) not carved";
      else if (!hit)
        note << " " << row.name << "(layout unknown)";
    } else if (!hit) {
      note << " " << row.name << "(" << row.layout << ")";
    }
  }
  std::printf(
      "[ carve    ] %s: %d/%d intact deleted pictures found; %zu files carved; not found:%s\n",
      image.c_str(), found, expected, scan.files.size(), note.str().c_str());

  // Rows come in scan order, named after their start unit.
  for (std::size_t i = 1; i < scan.files.size(); ++i)
    EXPECT_LT(scan.files[i - 1].startUnit, scan.files[i].startUnit);
  for (const auto& f : scan.files) {
    const char* ext = FormatKeyName(f.format);
    std::string prefix = f.format == kFormatJpeg  ? "JPEG"
                         : f.format == kFormatBmp ? "BMP"
                         : f.format == kFormatPng ? "PNG"
                                                  : "GIF";
    std::string suffix = f.format == kFormatJpeg ? ".jpg" : std::string(".") + ext;
    EXPECT_EQ(f.name, prefix + std::to_string(f.startUnit) + suffix);
  }
}

INSTANTIATE_TEST_SUITE_P(Images, CarveFixture,
                         testing::Values("carve-fat12.img", "carve-fat16.img", "carve-fat32.img",
                                         "carve-ntfs.img", "fat12.img", "fat16.img", "fat32.img",
                                         "ntfs-4k.img"),
                         [](const testing::TestParamInfo<const char*>& p) {
                           std::string n = p.param;
                           n = n.substr(0, n.size() - 4);
                           for (char& ch : n)
                             if (ch == '-') ch = '_';
                           return n;
                         });

// Runs `sorvani carve` in-process with stdout going to a file; returns the exit code.
int RunCarveCommand(std::vector<std::string> words, std::string& out) {
  std::string capture = test::ScratchFolder("carve-cli") + "/stdout.txt";
  std::fflush(stdout);
  int saved = ::dup(1);
  FILE* f = std::fopen(capture.c_str(), "w");
  ::dup2(::fileno(f), 1);
  cli::Args args(std::move(words));
  int rc = cli::RunCarve(args);
  std::fflush(stdout);
  ::dup2(saved, 1);
  ::close(saved);
  std::fclose(f);
  auto bytes = test::ReadWholeFile(capture);
  out.assign(bytes.begin(), bytes.end());
  return rc;
}

TEST(CarveCommand, JsonRowsAndRecoveredFilesMatchTheAnswerKey) {
  std::string path = test::Fixture("carve-ntfs.img");
  ASSERT_FALSE(path.empty());
  std::map<std::string, PictureRow> wanted;
  for (const auto& row : test::LoadPictures("carve-ntfs.img.pictures.tsv"))
    if (row.deleted && row.layout == "contiguous") wanted[row.sha256] = row;

  std::string dest = test::ScratchFolder("carve-cli-out");
  std::string out;
  ASSERT_EQ(RunCarveCommand({path, "--json", "--recover-to", dest}, out), cli::kExitOk);
  std::istringstream lines(out);
  std::string line;
  std::set<std::string> written;
  int rows = 0;
  while (std::getline(lines, line)) {
    auto obj = nlohmann::json::parse(line);
    ++rows;
    for (const char* key : {"name", "start_unit", "offset", "size", "type"})
      EXPECT_TRUE(obj.contains(key)) << key << " missing in " << line;
    auto bytes = test::ReadWholeFile(dest + "/" + obj["name"].get<std::string>());
    EXPECT_EQ(bytes.size(), obj["size"].get<std::uint64_t>());
    std::string sha = test::Sha256Hex(bytes);
    if (auto it = wanted.find(sha); it != wanted.end()) {
      EXPECT_EQ(obj["type"], it->second.type);
      written.insert(sha);
    }
  }
  EXPECT_EQ(written.size(), wanted.size());
  EXPECT_EQ(static_cast<std::size_t>(rows), std::distance(fs::directory_iterator(dest), {}));

  // Only the chosen types are tried.
  ASSERT_EQ(RunCarveCommand({path, "--json", "--types", "gif"}, out), cli::kExitOk);
  std::istringstream gifs(out);
  while (std::getline(gifs, line)) EXPECT_EQ(nlohmann::json::parse(line)["type"], "gif");
}

TEST(CarveCommand, RefusesBadUsage) {
  std::string out;
  std::string path = test::Fixture("carve-fat12.img");
  EXPECT_EQ(RunCarveCommand({path, "--types", ""}, out), cli::kExitBadUsage)
      << "no format selected";
  EXPECT_EQ(RunCarveCommand({path, "--types", ",,"}, out), cli::kExitBadUsage);
  EXPECT_EQ(RunCarveCommand({path, "--types", "jpeg,tiff"}, out), cli::kExitBadUsage);
  EXPECT_EQ(RunCarveCommand({path, "--recover-to"}, out), cli::kExitBadUsage);
  EXPECT_EQ(RunCarveCommand({}, out), cli::kExitBadUsage);
  EXPECT_EQ(RunCarveCommand({"/nonexistent/image.img"}, out), cli::kExitBadUsage);
  EXPECT_TRUE(out.empty() || out.find("NAME") == 0);
}

}  // namespace
}  // namespace sorvani
