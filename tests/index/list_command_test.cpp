// `sorvani list --recursive --deleted-only --json` and `sorvani search` against the answer keys.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "app/session.h"
#include "cli/cmd_catalogue.h"
#include "disk/drive_table.h"
#include "index/file_index.h"
#include "index/index_cache.h"
#include "tests/index/catalogue_key.h"

namespace sorvani {
namespace {

std::vector<nlohmann::json> RunJson(int (*command)(cli::Args&), std::vector<std::string> words,
                                    int& exitCode) {
  cli::Args args(std::move(words));
  ::testing::internal::CaptureStdout();
  exitCode = command(args);
  std::string out = ::testing::internal::GetCapturedStdout();
  std::vector<nlohmann::json> rows;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);)
    if (!line.empty()) rows.push_back(nlohmann::json::parse(line));
  return rows;
}

TEST(ListCommand, RecursiveDeletedOnlyJsonMatchesTheKeys) {
  int images = 0;
  for (const test::KeyImage& k : test::kKeyImages) {
    auto loaded = test::LoadKeyImage(k);
    if (!loaded) continue;
    SCOPED_TRACE(k.image);
    auto expected = test::DeletedEntries(loaded->second);
    int exitCode = -1;
    auto rows =
        RunJson(cli::RunList, {loaded->first, "--recursive", "--deleted-only", "--json"}, exitCode);
    EXPECT_EQ(exitCode, 0);
    std::map<std::uint32_t, int> seen;
    std::size_t pathsAgree = 0, sizesAgree = 0, sizesCompared = 0, nameless = 0;
    for (const auto& row : rows) {
      ASSERT_TRUE(row["deleted"].get<bool>()) << row.dump();
      for (const char* field : {"record", "deleted", "folder", "name", "path", "size",
                                "overwritten", "attributes", "created", "modified"})
        ASSERT_TRUE(row.contains(field)) << field;
      if (row["orphan"].get<bool>()) {
        EXPECT_TRUE(row["folder"].get<bool>());
        EXPECT_EQ(row["name"].get<std::string>(),
                  "_OrphanFolder_" + std::to_string(row["record"].get<std::uint32_t>()));
        continue;
      }
      auto record = row["record"].get<std::uint32_t>();
      ++seen[record];
      auto it = expected.find(record);
      ASSERT_NE(it, expected.end()) << row.dump();
      EXPECT_EQ(row["name"].get<std::string>(), it->second.name);
      std::string path = row["path"].get<std::string>();
      std::string root = path.substr(0, 3);
      if (it->second.nameless) {
        // A record without a name: in the nameless orphan folder, with the times of its
        // $STANDARD_INFORMATION (the ones TSK gives too).
        ++nameless;
        EXPECT_EQ(path, root + "_OrphanFolder_4294967295\\") << row.dump();
        ASSERT_EQ(it->second.times.size(), 4u);
        auto iso = [](std::string t) {  // "2021-06-15 12:00:00 (UTC)" -> "2021-06-15T12:00:00Z"
          return t.substr(0, 10) + "T" + t.substr(11, 8) + "Z";
        };
        EXPECT_EQ(row["modified"], iso(it->second.times[0])) << row.dump();
        EXPECT_EQ(row["created"], iso(it->second.times[3])) << row.dump();
      } else if (it->second.tskOrphan) {
        EXPECT_TRUE(path.starts_with(root + "_OrphanFolder_")) << path;
      } else {
        EXPECT_EQ(path, root + it->second.folder) << row.dump();
        pathsAgree += path == root + it->second.folder;
      }
      if (it->second.size && !row["folder"].get<bool>()) {
        ++sizesCompared;
        EXPECT_EQ(row["size"].get<std::uint64_t>(), *it->second.size) << row.dump();
        sizesAgree += row["size"].get<std::uint64_t>() == *it->second.size;
      }
      int overwritten = row["overwritten"].get<int>();
      EXPECT_TRUE(overwritten >= 0 && overwritten <= 100);
    }
    for (const auto& [record, e] : expected) EXPECT_EQ(seen[record], 1) << record << " " << e.name;
    std::printf(
        "[ %-36s ] list: %zu rows for %zu deleted records; paths agree %zu; sizes agree "
        "%zu/%zu; without a name %zu\n",
        k.image.c_str(), rows.size(), expected.size(), pathsAgree, sizesAgree, sizesCompared,
        nameless);
    ++images;
  }
  if (images == 0) GTEST_SKIP() << "no NTFS image with an answer key is present";
}

TEST(ListCommand, SearchByPatternExactNameSizeAndDate) {
  auto image = test::RealImage("dftt-7-undel-ntfs.dd");
  if (!image) GTEST_SKIP() << "third-party images absent";
  int exitCode = -1;
  auto names = [](const std::vector<nlohmann::json>& rows) {
    std::set<std::string> out;
    for (const auto& r : rows) out.insert(r["name"].get<std::string>());
    return out;
  };
  auto rows = RunJson(cli::RunSearch, {*image, "--name", "FRAG", "--json"}, exitCode);
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(names(rows), (std::set<std::string>{"frag1.dat", "frag2.dat", "frag3.dat"}));
  for (const auto& r : rows) EXPECT_TRUE(r["deleted"].get<bool>());
  rows = RunJson(cli::RunSearch, {*image, "--name", "DIR2", "--exact", "--json"}, exitCode);
  ASSERT_EQ(names(rows), std::set<std::string>{"dir2"});
  EXPECT_EQ(rows[0]["path"].get<std::string>().substr(3), "dir1\\");
  rows = RunJson(cli::RunSearch, {*image, "--name", "dir", "--exact", "--json"}, exitCode);
  EXPECT_TRUE(rows.empty());
  // 1584 and 1715 bytes lie in 1..2 KB; 101 bytes does not.
  rows = RunJson(cli::RunSearch, {*image, "--min-kb", "1", "--max-kb", "1", "--json"}, exitCode);
  EXPECT_TRUE(rows.empty());
  rows = RunJson(cli::RunSearch, {*image, "--min-kb", "1", "--max-kb", "2", "--json"}, exitCode);
  for (const auto& r : rows) {
    EXPECT_GE(r["size"].get<std::uint64_t>(), 1024u);
    EXPECT_LE(r["size"].get<std::uint64_t>(), 2048u);
  }
  EXPECT_TRUE(names(rows).count("frag1.dat"));
  EXPECT_FALSE(names(rows).count("res1.dat"));
  // The image was made in 2003/2004: a range around it finds everything, one after it nothing.
  auto all = RunJson(cli::RunSearch, {*image, "--json"}, exitCode);
  rows = RunJson(cli::RunSearch, {*image, "--modified", "1990-01-01", "2020-01-01", "--json"},
                 exitCode);
  EXPECT_EQ(rows.size(), all.size());
  rows = RunJson(cli::RunSearch, {*image, "--created", "2020-01-01", "2030-01-01T00:00", "--json"},
                 exitCode);
  EXPECT_TRUE(rows.empty());
}

// A record that lost its name is found by its made-up name, with its facts, whether the
// catalogue was scanned or loaded from the cache file (which keeps no facts).
TEST(ListCommand, ARecordWithoutANameIsSearchedFromScanAndFromCache) {
  std::string image = test::Fixture("ntfs-4k.img");
  if (image.empty()) return;
  SetCacheFolder(test::ScratchFolder("ListCommandNameless"));
  for (const char* how : {"scanned", "saved", "from cache"}) {
    SCOPED_TRACE(how);
    CDriveTable::Instance().Clear();  // the image is drive C: each time, so the cache applies
    std::vector<std::string> words = {image, "--name", "Record 1571", "--exact", "--json"};
    if (std::string(how) != "scanned") words.push_back("--cache");
    int exitCode = -1;
    auto rows = RunJson(cli::RunSearch, words, exitCode);
    EXPECT_EQ(exitCode, 0);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["record"], 1571);
    EXPECT_EQ(rows[0]["path"], "C:\\_OrphanFolder_4294967295\\");
    EXPECT_EQ(rows[0]["folder"], false);
    EXPECT_EQ(rows[0]["size"], 1228800);
    EXPECT_EQ(rows[0]["modified"], "2021-06-15T12:00:00Z");
    EXPECT_EQ(rows[0]["created"], "2026-12-06T11:15:57Z");
    EXPECT_EQ(std::filesystem::exists(CacheFilePath('C')), std::string(how) != "scanned");
    EXPECT_EQ(cli::Session().Catalogue().outcome,
              std::string(how) == "from cache" ? kEnumFromCache : kEnumScanned);
    EXPECT_EQ(cli::Session().Catalogue().drive, 'C');
  }
  SetCacheSavingAllowed(false);
  SetCacheFolder("");
}

TEST(ListCommand, BadSources) {
  std::string fat = test::Fixture("fat16.img");
  if (fat.empty()) return;
  cli::Args args({fat, "--json"});
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(cli::RunList(args), 2);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("not an NTFS volume"), std::string::npos) << err;
  EXPECT_NE(err.find("FAT16"), std::string::npos) << err;
  cli::Args missing({"/nonexistent/image.img"});
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(cli::RunSearch(missing), 2);
  ::testing::internal::GetCapturedStderr();
}

// --path in the forms a person types, for existing and deleted folders, in list and search.
TEST(ListCommand, PathFormsReachExistingAndDeletedFolders) {
  std::string image = test::Fixture("ntfs-4k.img");
  if (image.empty()) return;
  SetCacheSavingAllowed(false);
  const struct {
    int (*command)(cli::Args&);
    const char* path;
    int exitCode;
    std::uint32_t wanted;  // a record among the rows; 0 for none expected
    std::size_t rows;      // exact row count; 0 to skip
  } cases[] = {
      // OldProject is deleted: it holds README.txt (99) and src (93).
      {cli::RunList, "/OldProject", 0, 99, 2},
      {cli::RunList, "OldProject", 0, 99, 2},
      {cli::RunList, "C:/OldProject/", 0, 99, 2},
      {cli::RunList, "C:\\OldProject\\", 0, 99, 2},
      {cli::RunList, "/oldproject/src/lib", 0, 103, 0},
      {cli::RunList, "/Docs/Reports", 0, 1579, 0},
      {cli::RunList, "/NoSuchFolder", 2, 0, 0},
      {cli::RunList, "D:/OldProject", 2, 0, 0},
      // Search below a folder: deleted items there and below it, nothing elsewhere.
      {cli::RunSearch, "/OldProject/src", 0, 103, 6},
      {cli::RunSearch, "C:\\OldProject\\src\\lib\\deep", 0, 105, 2},
      {cli::RunSearch, "/Big", 0, 139, 1},
      {cli::RunSearch, "/NoSuchFolder", 2, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    CDriveTable::Instance().Clear();
    int exitCode = -1;
    ::testing::internal::CaptureStderr();
    auto rows = RunJson(c.command, {image, "--path", c.path, "--json"}, exitCode);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(exitCode, c.exitCode) << err;
    if (c.exitCode != 0) {
      EXPECT_TRUE(rows.empty());
      continue;
    }
    if (c.rows) {
      EXPECT_EQ(rows.size(), c.rows);
    }
    bool found = false;
    for (const auto& row : rows) found |= row["record"] == c.wanted;
    EXPECT_TRUE(found) << c.wanted;
  }
}

}  // namespace
}  // namespace sorvani
