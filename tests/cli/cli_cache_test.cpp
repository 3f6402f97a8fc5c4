// The cache file from outside: `--cache` runs on two images in turn each show their own
// deleted items, `recover` keeps no cache, and no run leaves a stale cache file behind.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "tests/cli/cli_run.h"
#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

namespace fs = std::filesystem;

class CliCache : public ::testing::Test {
 protected:
  void SetUp() override {
    m_a = test::Fixture("ntfs-4k.img");
    m_b = test::Fixture("ntfs-512.img");
    ASSERT_FALSE(m_a.empty() || m_b.empty());
    // The cache files lie beside the executable: run a link to it from a folder of our own.
    m_folder = test::ScratchFolder("cli_cache");
    m_binary = m_folder + "/sorvani";
    std::error_code ec;
    fs::create_hard_link(SORVANI_BIN, m_binary, ec);
    if (ec) fs::copy_file(SORVANI_BIN, m_binary, fs::copy_options::overwrite_existing, ec);
    ASSERT_FALSE(ec) << ec.message();
  }

  test::CommandResult Run(std::vector<std::string> args) {
    return test::RunSorvaniAt(m_binary, args);
  }

  // record -> name of every deleted row.
  std::set<std::pair<std::uint32_t, std::string>> Rows(const test::CommandResult& r) {
    std::set<std::pair<std::uint32_t, std::string>> out;
    for (const auto& row : test::JsonLines(r.out))
      if (row.value("deleted", false))
        out.insert({row.at("record").get<std::uint32_t>(), row.at("name")});
    return out;
  }

  std::set<std::string> CacheFiles() {
    std::set<std::string> out;
    for (const auto& e : fs::directory_iterator(m_folder)) {
      std::string name = e.path().filename().string();
      if (name.starts_with("~index_dump_")) out.insert(name);
    }
    return out;
  }

  std::string m_a, m_b, m_folder, m_binary;
};

TEST_F(CliCache, TwoImagesInTurnEachShowTheirOwnEntries) {
  const std::vector<std::string> list = {"list", "", "--recursive", "--deleted-only", "--json"};
  auto listOf = [&](const std::string& image, bool cache) {
    auto words = list;
    words[1] = image;
    if (cache) words.push_back("--cache");
    auto r = Run(words);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return Rows(r);
  };
  const auto a = listOf(m_a, false);
  const auto b = listOf(m_b, false);
  ASSERT_FALSE(a.empty());
  ASSERT_FALSE(b.empty());
  ASSERT_NE(a, b);
  EXPECT_TRUE(CacheFiles().empty()) << "no cache without --cache";

  // Both images become drive C: in turn; the cache must tell them apart.
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    EXPECT_EQ(listOf(m_a, true), a);
    EXPECT_EQ(CacheFiles(), std::set<std::string>{"~index_dump_C.tmp"});
    EXPECT_EQ(listOf(m_b, true), b);
    auto search = Run({"search", m_b, "--json", "--cache"});
    EXPECT_EQ(search.exitCode, 0) << search.err;
    EXPECT_EQ(Rows(search), b);
  }
  // The same image again is served from its file, and still its own.
  EXPECT_EQ(listOf(m_b, true), b);
}

TEST_F(CliCache, RecoverKeepsNoCacheAndRunsLeaveNoStaleFile) {
  std::string dest = test::ScratchFolder("cli_cache_recover");
  auto r = Run({"recover", m_b, "--to", dest, "--all-deleted", "--quiet", "--json"});
  EXPECT_LE(r.exitCode, 1) << r.err;
  EXPECT_FALSE(test::JsonLines(r.out).empty());
  EXPECT_TRUE(CacheFiles().empty()) << "recover wrote a cache file";

  // A cache file from six hours ago goes at the end of any run; one from now stays.
  auto header = [](std::int64_t created, char letter) {
    std::string h(24, '\0');
    std::uint32_t format = 100001;
    for (int i = 0; i < 4; ++i)
      h[static_cast<std::size_t>(i)] = static_cast<char>(format >> (8 * i));
    h[5] = letter;
    for (int i = 0; i < 8; ++i)
      h[static_cast<std::size_t>(8 + i)] =
          static_cast<char>(static_cast<std::uint64_t>(created) >> (8 * i));
    return h;
  };
  std::int64_t now = std::time(nullptr);
  std::ofstream(m_folder + "/~index_dump_Q.tmp", std::ios::binary) << header(now - 6 * 3600, 'Q');
  std::ofstream(m_folder + "/~index_dump_R.tmp", std::ios::binary) << header(now - 60, 'R');
  auto info = Run({"info", m_b});
  EXPECT_EQ(info.exitCode, 0) << info.err;
  EXPECT_EQ(CacheFiles(), std::set<std::string>{"~index_dump_R.tmp"});
}

}  // namespace
}  // namespace sorvani
