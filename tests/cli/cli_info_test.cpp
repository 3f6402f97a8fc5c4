#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "tests/cli/cli_run.h"
#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

using nlohmann::json;
using test::JsonLines;
using test::RunSorvani;

// Compares one drive of `sorvani info --json` with what fsstat reported for it.
void ExpectSameFatGeometry(const json& drive, const json& fsstat, const std::string& what) {
  SCOPED_TRACE(what);
  EXPECT_EQ(drive["fs"], fsstat["type"]);
  EXPECT_EQ(drive["bytes_per_sector"], fsstat["sector_size"]);
  EXPECT_EQ(drive["bytes_per_cluster"], fsstat["cluster_size"]);
  EXPECT_EQ(drive["reserved_sectors"], fsstat["reserved_sectors"]);
  EXPECT_EQ(drive["fats"], fsstat["number_of_fats"]);
  EXPECT_EQ(drive["sectors_per_fat"], fsstat["sectors_per_fat"]);
  EXPECT_EQ(drive["first_data_sector"], fsstat["first_data_sector"]);
}

TEST(CliInfo, FatGeometryMatchesTheSleuthKit) {
  for (const char* name : {"fat12.img", "fat16.img", "fat32.img"}) {
    std::string image = test::Fixture(name);
    json key = json::parse(test::FixtureText(std::string(name) + ".key.json"), nullptr, false);
    ASSERT_FALSE(image.empty() || key.is_discarded()) << name;
    auto r = RunSorvani({"info", image, "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto drives = JsonLines(r.out);
    ASSERT_EQ(drives.size(), 1u);
    EXPECT_EQ(drives[0]["letter"], "C:");
    EXPECT_EQ(drives[0]["offset"], 0);
    EXPECT_EQ(drives[0]["active_fat"], 0);
    ExpectSameFatGeometry(drives[0], key["fsstat"], name);
  }
}

TEST(CliInfo, PartitionedImagesListEachPartitionAsADrive) {
  for (const char* name : {"mbr-ntfs-fat32.img", "gpt-ntfs-fat.img"}) {
    std::string image = test::Fixture(name);
    json key = json::parse(test::FixtureText(std::string(name) + ".key.json"), nullptr, false);
    ASSERT_FALSE(image.empty() || key.is_discarded()) << name;
    auto r = RunSorvani({"info", image, "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto drives = JsonLines(r.out);
    const json& parts = key["partitions"];
    ASSERT_EQ(drives.size(), parts.size()) << r.out;
    for (std::size_t i = 0; i < drives.size(); ++i) {
      const json& part = parts[i];
      EXPECT_EQ(drives[i]["letter"], std::string(1, static_cast<char>('C' + i)) + ":");
      EXPECT_EQ(drives[i]["offset"], part["start_sector"].get<std::uint64_t>() * 512);
      std::string type = part["fsstat"]["type"];
      if (type.starts_with("FAT")) {
        ExpectSameFatGeometry(drives[i], part["fsstat"],
                              std::string(name) + " partition " + std::to_string(i));
      } else {
        EXPECT_EQ(drives[i]["fs"], type);
        EXPECT_EQ(drives[i]["bytes_per_cluster"], part["fsstat"]["cluster_size"]);
      }
    }
  }
}

TEST(CliInfo, RealFatVolumesMatchTheirRecordedGeometry) {
  // fsstat's figures for these third-party images, recorded in tests/fixtures by the generator.
  json recorded = json::parse(test::FixtureText("realimages.fsstat.json"), nullptr, false);
  if (recorded.is_discarded()) GTEST_SKIP() << "no recorded geometry for third-party images";
  int checked = 0;
  for (auto& [name, entry] : recorded.items()) {
    auto image = test::RealImage(name);
    if (!image) continue;
    auto r = RunSorvani({"info", *image, "--json"});
    ASSERT_EQ(r.exitCode, 0) << name << ": " << r.err;
    auto drives = JsonLines(r.out);
    ASSERT_EQ(drives.size(), entry.size()) << name;
    for (std::size_t i = 0; i < drives.size(); ++i) {
      EXPECT_EQ(drives[i]["offset"], entry[i]["offset"]) << name;
      if (entry[i]["fsstat"]["type"].get<std::string>().starts_with("FAT"))
        ExpectSameFatGeometry(drives[i], entry[i]["fsstat"], name);
    }
    ++checked;
  }
  if (checked == 0) GTEST_SKIP() << "third-party images are absent";
}

TEST(CliInfo, BadSourcesExitWithTwoAndOneLine) {
  std::string dir = test::ScratchFolder("CliInfoBad");
  std::ofstream(dir + "/empty.img").close();
  {
    std::ofstream junk(dir + "/junk.img", std::ios::binary);
    for (int i = 0; i < 4096; ++i) junk.put(static_cast<char>(i * 31));
  }
  for (const std::string& source :
       {dir + "/missing.img", dir, dir + "/empty.img", dir + "/junk.img", std::string("Q:")}) {
    auto r = RunSorvani({"info", source});
    EXPECT_EQ(r.exitCode, 2) << source;
    EXPECT_EQ(test::Lines(r.err).size(), 1u) << r.err;
    EXPECT_NE(r.err.find(source), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
  EXPECT_EQ(RunSorvani({"info"}).exitCode, 2);
  EXPECT_EQ(RunSorvani({"info", dir + "/junk.img", "--bogus"}).exitCode, 2);
  EXPECT_EQ(RunSorvani({"frobnicate"}).exitCode, 2);
}

TEST(CliInfo, DamagedFatGeometryIsReportedNotCrashed) {
  std::string image = test::Fixture("fat16.img");
  ASSERT_FALSE(image.empty());
  std::string dir = test::ScratchFolder("CliInfoDamaged");
  auto bytes = test::ReadWholeFile(image);
  ASSERT_GE(bytes.size(), 512u);
  bytes[11] = 0;  // bytes per sector 0
  bytes[12] = 0;
  std::string damaged = dir + "/damaged.img";
  std::ofstream(damaged, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  auto r = RunSorvani({"info", damaged});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("geometry"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace sorvani
