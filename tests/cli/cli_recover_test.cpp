// `sorvani recover` end to end: one folder put back in place with --path, the per-item JSON,
// the answers the options give to collisions, the summary and the exit codes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "tests/cli/cli_run.h"
#include "tests/util/fixtures.h"
#include "tests/util/sha256.h"

namespace sorvani {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using test::JsonLines;
using test::RunSorvani;

class CliRecover : public ::testing::Test {
 protected:
  void SetUp() override {
    m_image = test::Fixture("ntfs-4k.img");
    m_key = json::parse(test::FixtureText("ntfs-4k.img.key.json"), nullptr, false);
    ASSERT_FALSE(m_image.empty() || m_key.is_discarded());
    m_before = test::Sha256OfFile(m_image);
  }
  void TearDown() override {
    EXPECT_EQ(test::Sha256OfFile(m_image), m_before) << "the source changed";
  }

  // sha256 of the unnamed stream of each deleted file under `folder` (a key path prefix).
  std::map<std::string, std::string> DeletedFilesUnder(const std::string& folder) {
    std::set<std::uint32_t> unallocated;
    for (const auto& u : m_key["unallocated"])
      unallocated.insert(u.at("record").get<std::uint32_t>());
    std::map<std::string, std::string> out;
    for (const auto& s : m_key["streams"]) {
      std::string path = s.value("path", "");
      if (path.rfind(folder, 0) != 0 || !s["stream"].is_null() || s.value("icat_rc", 1) != 0)
        continue;
      if (unallocated.count(s.at("record").get<std::uint32_t>())) out[path] = s.at("sha256");
    }
    return out;
  }

  std::string m_image, m_before;
  json m_key;
};

// --path takes the forms list and search take, for a deleted folder too; a letter the source
// does not have is refused before anything is written.
TEST_F(CliRecover, PathTakesEveryFormForADeletedFolder) {
  auto expected = DeletedFilesUnder("OldProject/");
  ASSERT_GE(expected.size(), 3u);
  const struct {
    const char* path;
    int exitCode;
    const char* error;  // part of stderr for a refusal
  } cases[] = {
      {"/OldProject", 0, ""},
      {"oldproject/", 0, ""},
      {"C:/OldProject", 0, ""},
      {"C:\\OldProject\\", 0, ""},
      {"N:\\OldProject\\", 2, "is not a drive of"},
      {"/OldProject/nothing", 2, "no folder"},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    std::string dest = test::ScratchFolder("cli_recover_forms") + "/" + std::to_string(n++);
    auto r = RunSorvani({"recover", m_image, "--to", dest, "--path", c.path, "--json"});
    ASSERT_EQ(r.exitCode, c.exitCode) << r.err;
    if (c.exitCode != 0) {
      EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
      EXPECT_FALSE(fs::exists(dest + "/OldProject"));
      continue;
    }
    for (const auto& [path, sha] : expected)
      EXPECT_EQ(test::Sha256OfFile(dest + "/" + path), sha) << path;
  }
}

TEST_F(CliRecover, PathPutsOneFolderBackInPlaceAndListsEveryItem) {
  // A destination whose folders do not exist yet is made whole before anything is written.
  std::string dest = test::ScratchFolder("cli_recover_path") + "/new/deeper";
  auto r = RunSorvani({"recover", m_image, "--to", dest, "--path", "C:\\Docs\\", "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  auto items = JsonLines(r.out);
  ASSERT_FALSE(items.empty());
  std::set<std::string> listed;
  for (const auto& item : items) {
    std::string written = item.at("destination");
    EXPECT_EQ(written.rfind(dest + "/Docs/", 0), 0u) << written;
    EXPECT_EQ(item.at("result"), 0);
    if (!item.at("folder").get<bool>()) {
      EXPECT_EQ(fs::file_size(written), item.at("bytes").get<std::uint64_t>()) << written;
    }
    listed.insert(written);
  }
  auto expected = DeletedFilesUnder("Docs/");
  ASSERT_GE(expected.size(), 3u);
  for (const auto& [path, sha] : expected) {
    EXPECT_TRUE(listed.count(dest + "/" + path)) << path << " is not in the JSON";
    EXPECT_EQ(test::Sha256OfFile(dest + "/" + path), sha) << path;
  }
  // Nothing outside the chosen folder was written.
  for (const auto& e : fs::recursive_directory_iterator(dest))
    EXPECT_EQ(e.path().string().rfind(dest + "/Docs", 0), 0u) << e.path();
  EXPECT_NE(r.err.find("Recovered: "), std::string::npos);
}

TEST_F(CliRecover, CollisionAnswersSummaryAndExitCodes) {
  std::string dest = test::ScratchFolder("cli_recover_answers");
  std::string record;
  std::string sha;
  for (const auto& e : m_key["entries"])
    if (e.value("deleted", false) && e.value("path", "") == "Docs/Reports/2023/draft-old.txt")
      record = std::to_string(e.at("record").get<std::uint32_t>());
  ASSERT_FALSE(record.empty());
  sha = DeletedFilesUnder("Docs/Reports/2023/draft-old.txt").begin()->second;
  std::string plain = dest + "/draft-old.txt", numbered = dest + "/draft-old (" + record + ").txt";

  auto first = RunSorvani({"recover", m_image, "--to", dest, "--record", record});
  ASSERT_EQ(first.exitCode, 0) << first.err;
  EXPECT_EQ(test::Sha256OfFile(plain), sha);
  auto second = RunSorvani({"recover", m_image, "--to", dest, "--record", record, "--json"});
  ASSERT_EQ(second.exitCode, 0) << second.err;
  EXPECT_EQ(JsonLines(second.out).at(0).at("destination"), numbered);

  // Both names taken: --no-to-all, like an unattended run, keeps what is there; the item is
  // skipped, which is no failure.
  std::ofstream(numbered) << "keep me";
  for (std::vector<std::string> args : {std::vector<std::string>{"recover", m_image, "--to", dest,
                                                                 "--record", record, "--no-to-all"},
                                        {"recover", m_image, "--to", dest, "--record", record}}) {
    auto no = RunSorvani(args);
    EXPECT_EQ(no.exitCode, 0) << no.err;
    EXPECT_NE(no.err.find("Skipped:   1 files"), std::string::npos) << no.err;
    EXPECT_EQ(no.err.find("Failed:"), std::string::npos) << no.err;
  }
  std::ifstream kept(numbered);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep me");
  auto yes = RunSorvani({"recover", m_image, "--to", dest, "--record", record, "--yes-to-all"});
  EXPECT_EQ(yes.exitCode, 0) << yes.err;
  EXPECT_EQ(test::Sha256OfFile(numbered), sha);

  // A record that is not a catalogued deleted item ($Volume) fails, is counted, and writes nothing.
  auto unknown = RunSorvani({"recover", m_image, "--to", dest, "--record", "3", "--json"});
  EXPECT_EQ(unknown.exitCode, 1);
  EXPECT_NE(unknown.err.find("Failed:    1 files"), std::string::npos) << unknown.err;
  ASSERT_EQ(JsonLines(unknown.out).size(), 1u);
  EXPECT_NE(JsonLines(unknown.out)[0].at("result"), 0);
  EXPECT_FALSE(fs::exists(dest + "/3"));

  for (std::vector<std::string> bad :
       {std::vector<std::string>{"recover", m_image, "--all-deleted"},
        {"recover", m_image, "--to", dest, "--record", "x1"},
        {"recover", m_image, "--to", dest, "--all-deleted", "--record", "5"},
        {"recover", m_image, "--to", dest, "--all-deleted", "--yes-to-all", "--no-to-all"},
        {"recover", m_image, "--to", "relative/dir", "--all-deleted"}}) {
    auto r = RunSorvani(bad);
    EXPECT_EQ(r.exitCode, 2) << bad.back() << ": " << r.err;
    EXPECT_FALSE(r.err.empty());
  }
}

}  // namespace
}  // namespace sorvani
