// Where `recover` and `carve` may write, from outside: never onto the source (also through an
// ntfs-3g mount of the image file), checked before any scan; carved files of several drives in
// a folder each, and nothing already at the destination replaced without consent.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "tests/cli/cli_run.h"
#include "tests/util/fixtures.h"
#include "tests/util/sha256.h"

namespace sorvani {
namespace {

namespace fs = std::filesystem;
using test::RunSorvani;
using test::Shell;
using test::ShellQuote;

// The files below `folder`, by path relative to it, with their sha256.
std::map<std::string, std::string> Tree(const std::string& folder) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(folder))
    if (e.is_regular_file())
      out[fs::relative(e.path(), folder).string()] = test::Sha256OfFile(e.path().string());
  return out;
}

TEST(CliDestination, AnImageMountedThroughFuseIsNeverWrittenTo) {
  if (::geteuid() != 0 || Shell("command -v ntfs-3g").empty() || !fs::exists("/dev/fuse"))
    GTEST_SKIP() << "needs root, /dev/fuse and ntfs-3g";
  std::string fixture = test::Fixture("ntfs-4k.img");
  ASSERT_FALSE(fixture.empty());
  std::string root = test::ScratchFolder("cli_fuse_source");
  std::string image = root + "/image.img";
  fs::copy_file(fixture, image, fs::copy_options::overwrite_existing);
  std::string mnt = root + "/mnt";
  fs::create_directories(mnt);
  if (Shell("ntfs-3g " + ShellQuote(image) + " " + ShellQuote(mnt) + " >/dev/null 2>&1; echo $?") !=
      "0")
    GTEST_SKIP() << "ntfs-3g could not mount here";
  struct Run {
    std::vector<std::string> args;
    bool offersOverride;
  };
  const Run runs[] = {
      {{"recover", image, "--to", mnt + "/rec", "--all-deleted"}, true},
      {{"recover", image, "--to", mnt + "/rec/../rec2", "--all-deleted", "--yes-to-all"}, true},
      {{"carve", image, "--recover-to", mnt + "/pictures"}, false},
  };
  std::vector<test::CommandResult> results;
  for (const Run& run : runs) results.push_back(RunSorvani(run.args));
  bool wrote =
      fs::exists(mnt + "/rec") || fs::exists(mnt + "/rec2") || fs::exists(mnt + "/pictures");
  Shell("umount " + ShellQuote(mnt));
  for (std::size_t i = 0; i < results.size(); ++i) {
    const auto& r = results[i];
    EXPECT_EQ(r.exitCode, 2) << runs[i].args[0] << ": " << r.err;
    EXPECT_NE(r.err.find("lies on the source"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("--allow-same-volume") != std::string::npos, runs[i].offersOverride)
        << r.err;
    EXPECT_TRUE(r.out.empty()) << "checked before the scan: " << r.out;
  }
  EXPECT_FALSE(wrote);
  EXPECT_EQ(test::Sha256OfFile(image), test::Sha256OfFile(fixture));
}

// Two FAT partitions holding the same pictures: both drives carve the same names.
std::string TwoPartitionImage(const std::string& folder) {
  std::string fat = test::Fixture("carve-fat12.img");
  if (fat.empty()) return "";
  std::ifstream in(fat, std::ios::binary);
  std::string volume((std::istreambuf_iterator<char>(in)), {});
  const std::uint32_t sectors = static_cast<std::uint32_t>(volume.size() / 512);
  std::string image(512 * 2048, '\0');
  auto entry = [&](int slot, std::uint32_t start) {
    std::size_t at = 446 + 16 * slot;
    image[at + 4] = 0x01;  // FAT12
    for (int i = 0; i < 4; ++i) {
      image[at + 8 + i] = static_cast<char>(start >> (8 * i));
      image[at + 12 + i] = static_cast<char>(sectors >> (8 * i));
    }
  };
  entry(0, 2048);
  entry(1, 2048 + sectors);
  image[510] = 0x55;
  image[511] = static_cast<char>(0xAA);
  image += volume + volume;
  std::string path = folder + "/two-drives.img";
  std::ofstream(path, std::ios::binary) << image;
  return path;
}

TEST(CliDestination, CarvedFilesOfEachDriveKeepTheirOwnFolderAndNothingIsReplaced) {
  std::string root = test::ScratchFolder("cli_carve_two");
  std::string image = TwoPartitionImage(root);
  ASSERT_FALSE(image.empty());
  std::string sha = test::Sha256OfFile(image);
  std::string dest = root + "/out";

  auto first = RunSorvani({"carve", image, "--recover-to", dest, "--json"});
  ASSERT_EQ(first.exitCode, 0) << first.err;
  std::size_t found = test::JsonLines(first.out).size();
  ASSERT_GE(found, 10u);
  auto c = Tree(dest + "/C"), d = Tree(dest + "/D");
  EXPECT_EQ(c.size() + d.size(), found);  // every picture reported is on disk
  EXPECT_EQ(c, d);                        // the same pictures, in a folder each
  EXPECT_FALSE(c.empty());

  // A file of the person's own under a carved name, and a second run into the same place.
  std::string taken = dest + "/C/" + c.begin()->first;
  std::ofstream(taken) << "keep me";
  auto again = RunSorvani({"carve", image, "--recover-to", dest});
  EXPECT_EQ(again.exitCode, 0) << again.err;
  std::ifstream kept(taken);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep me");
  // Each name is taken now: every picture goes to its numbered name, as recovered files do.
  auto after = Tree(dest + "/C");
  EXPECT_EQ(after.size(), 2 * c.size());
  // A third run finds both names taken: nothing is replaced, each picture is skipped, which
  // is no failure.
  auto third = RunSorvani({"carve", image, "--recover-to", dest});
  EXPECT_EQ(third.exitCode, 0) << third.err;
  EXPECT_NE(third.err.find("Skipped:   " + std::to_string(c.size()) + " files"), std::string::npos)
      << third.err;
  EXPECT_EQ(third.err.find("Failed:"), std::string::npos) << third.err;
  EXPECT_EQ(Tree(dest + "/C"), after);
  EXPECT_EQ(Tree(dest + "/D").size(), 2 * d.size());
  EXPECT_EQ(test::Sha256OfFile(image), sha);
}

TEST(CliDestination, BadDestinationsAreFoundBeforeTheScan) {
  std::string image = test::Fixture("carve-fat12.img");
  ASSERT_FALSE(image.empty());
  for (const std::string& bad : {std::string("relative/dir"), std::string("/tmp/a|b")}) {
    auto r = RunSorvani({"carve", image, "--recover-to", bad});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_NE(r.err.find("not a usable destination"), std::string::npos) << r.err;
  }
  // ".." is resolved up front: the items land where it leads.
  std::string ntfs = test::Fixture("ntfs-4k.img");
  std::string root = test::ScratchFolder("cli_dotdot");
  auto r = RunSorvani({"recover", ntfs, "--to", root + "/a/../b", "--path", "Docs/Reports/2023"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(fs::exists(root + "/b/Docs/Reports/2023/draft-old.txt")) << r.err;
  EXPECT_FALSE(fs::exists(root + "/a"));
}

}  // namespace
}  // namespace sorvani
