// End-to-end checks of the reader against answer keys that The Sleuth Kit made from the same
// images: stream lengths and contents, folder listings, paths and path lookups.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>

#include "disk/drive_table.h"
#include "index/ntfs_record_reader.h"
#include "ntfs/ntfs_attr_types.h"
#include "ntfs/ntfs_volume.h"
#include "tests/ntfs/ntfs_test_support.h"
#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

using test::Json;

struct StreamKey {
  std::uint32_t record = 0;
  std::string stream;  // "" = the unnamed $DATA
  std::int64_t size = -1;
  std::string sha256;
  std::string path;
};

struct EntryKey {
  std::uint32_t record = 0;
  std::string path;  // "dir/name" as fls -p prints it
  bool isDir = false;
};

struct ImageKey {
  std::vector<StreamKey> streams;
  std::vector<EntryKey> liveEntries;  // allocated names, streams and orphans left out
};

bool IsStreamPath(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return path.find(':', slash == std::string::npos ? 0 : slash) != std::string::npos;
}

// The committed fixtures' keys: "entries" and "streams" (with sha256 of every stream).
void ReadFixtureKey(const Json& fs, ImageKey& key) {
  if (const Json* streams = fs.Get("streams")) {
    for (const Json& s : streams->items) {
      StreamKey k;
      k.stream = s.Str("stream");
      k.record = static_cast<std::uint32_t>(s.Int("record"));
      if (s.Int("icat_rc", 0) != 0) continue;  // TSK could not read it either
      k.size = s.Int("icat_size");
      k.sha256 = s.Str("sha256");
      k.path = s.Str("path");
      key.streams.push_back(k);
    }
  }
  // fls can report a name found in an index block without marking it deleted although its
  // record is free; such a name is not live.
  std::set<std::int64_t> freeRecords;
  if (const Json* unallocated = fs.Get("unallocated")) {
    for (const Json& u : unallocated->items) freeRecords.insert(u.Int("record"));
  }
  if (const Json* entries = fs.Get("entries")) {
    for (const Json& e : entries->items) {
      std::string path = e.Str("path");
      if (e.Bool("deleted") || e.Bool("realloc") || IsStreamPath(path) ||
          freeRecords.count(e.Int("record")) || path.rfind("$OrphanFiles", 0) == 0) {
        continue;
      }
      key.liveEntries.push_back(
          {static_cast<std::uint32_t>(e.Int("record")), path, e.Str("meta_type") == "d"});
    }
  }
}

// The shared real images' keys: "items" with sizes, and sha256 of unallocated files.
void ReadRealImageKey(const Json& root, ImageKey& key) {
  for (const Json& item : root.Get("items")->items) {
    std::string path = item.Str("path");
    std::string type = item.Str("type");
    if (item.Int("attr_type") == 128 && type.size() == 3 && type[2] == 'r' &&
        !item.Bool("realloc")) {
      StreamKey k;
      k.record = static_cast<std::uint32_t>(item.Int("record"));
      k.path = path;
      // TSK numbers attributes of extension records its own way, so streams are matched
      // by name.
      std::size_t slash = path.rfind('/');
      std::size_t colon = path.find(':', slash == std::string::npos ? 0 : slash);
      if (colon != std::string::npos) k.stream = path.substr(colon + 1);
      if (item.Get("sha256")) {
        k.sha256 = item.Str("sha256");
        k.size = item.Int("icat_len");
      } else if (!item.Bool("name_deleted")) {
        k.size = item.Int("size");
      }
      if (k.size >= 0) key.streams.push_back(k);
    }
    if (!item.Bool("name_deleted") && item.Bool("record_allocated") && !IsStreamPath(path) &&
        path.rfind("$OrphanFiles", 0) != 0) {
      key.liveEntries.push_back({static_cast<std::uint32_t>(item.Int("record")), path,
                                 type.size() == 3 && type[2] == 'd'});
    }
  }
}

bool ReadWholeStream(CNtfsFileAttr& attr, std::vector<std::uint8_t>& out) {
  out.clear();
  if (!attr.Seek(0)) return false;
  std::vector<std::uint8_t> chunk(1 << 20);
  while (out.size() < attr.RealSize()) {
    std::uint32_t got = 0;
    if (!attr.Read(chunk.data(), static_cast<std::uint32_t>(chunk.size()), got)) return false;
    if (got == 0) break;
    out.insert(out.end(), chunk.begin(), chunk.begin() + got);
  }
  return true;
}

struct Tally {
  int compared = 0;
  int identical = 0;
};
Tally& Totals() {
  static Tally t;
  return t;
}

std::string Slashes(std::string s, char from, char to) {
  std::replace(s.begin(), s.end(), from, to);
  return s;
}

void CheckVolume(const std::string& label, const std::string& path, std::uint64_t offset,
                 const ImageKey& key) {
  SCOPED_TRACE(label);
  ASSERT_TRUE(CDriveTable::Instance().Assign('N', DriveSource{.path = path,
                                                              .offset = offset,
                                                              .length = 0,
                                                              .memory = {},
                                                              .partitionScheme = {},
                                                              .partitionNumber = 0}));
  CNtfsVolume volume;
  ASSERT_TRUE(volume.Initialize('N'));

  // Streams: length and, where the key has it, content.
  int compared = 0, identical = 0, longerThanKey = 0;
  for (const StreamKey& s : key.streams) {
    SCOPED_TRACE(s.path);
    // icat delivers nothing for the all-sparse bad-cluster stream; its real size is checked.
    bool badClusters = s.path == "$BadClus:$Bad";
    CNtfsFile file;
    ASSERT_TRUE(file.LoadRecord(&volume, s.record, false)) << "record " << s.record;
    CNtfsFileAttr* attr = file.FindAttribute(kAttrData, s.stream);
    ASSERT_NE(attr, nullptr) << "record " << s.record << " stream " << s.stream;
    if (badClusters) {
      EXPECT_TRUE(attr->IsNonResident());
      continue;
    }
    if (s.sha256.empty() || attr->RealSize() > (256u << 20)) {
      EXPECT_EQ(static_cast<std::int64_t>(attr->RealSize()), s.size);
      continue;
    }
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(ReadWholeStream(*attr, bytes));
    ++compared;
    bool same =
        static_cast<std::int64_t>(bytes.size()) == s.size && test::Sha256Hex(bytes) == s.sha256;
    if (!same && s.size >= 0 && bytes.size() > static_cast<std::size_t>(s.size)) {
      // The Sleuth Kit stops where a released extension record held the rest of the run
      // list; we still read it. What it does deliver must be our stream's start.
      bool prefix = test::Sha256Hex(bytes.data(), static_cast<std::size_t>(s.size)) == s.sha256;
      EXPECT_TRUE(prefix) << "record " << s.record << " differs within the key's " << s.size
                          << " bytes";
      ++longerThanKey;
      continue;
    }
    EXPECT_TRUE(same) << "record " << s.record << " size " << bytes.size() << " want " << s.size;
    identical += same;
  }
  Totals().compared += compared;
  Totals().identical += identical;
  std::printf(
      "[ streams  ] %s: %d compared, %d identical, %d read beyond the key (running total %d/%d)\n",
      label.c_str(), compared, identical, longerThanKey, Totals().identical, Totals().compared);

  // Listing: walk the tree from the root through the directory indexes.
  std::multimap<std::uint32_t, std::string> listed;  // record -> path
  std::set<std::uint32_t> seenDirs;
  std::function<void(std::uint32_t, const std::string&, int)> walk =
      [&](std::uint32_t dir, const std::string& prefix, int depth) {
        if (depth > 64 || !seenDirs.insert(dir).second) return;
        std::vector<NtfsDirEntry> entries;
        if (!volume.ListDirectory(dir, entries)) return;
        for (const NtfsDirEntry& e : entries) {
          if (e.record == dir) continue;  // "." of the root
          listed.emplace(e.record, prefix + e.name);
          if (e.IsDirectory()) walk(e.record, prefix + e.name + "/", depth + 1);
        }
      };
  walk(kRootRecord, "", 0);
  auto listedAs = [&](std::uint32_t record, const std::string& p) {
    auto range = listed.equal_range(record);
    for (auto it = range.first; it != range.second; ++it) {
      if (it->second == p) return true;
    }
    return false;
  };

  std::map<std::uint32_t, std::set<std::string>> keyPaths;
  for (const EntryKey& e : key.liveEntries) keyPaths[e.record].insert(e.path);
  int pathsChecked = 0;
  for (const EntryKey& e : key.liveEntries) {
    SCOPED_TRACE(e.path);
    EXPECT_TRUE(listedAs(e.record, e.path)) << "not listed: record " << e.record;
    if (e.isDir) {
      EXPECT_EQ(volume.ResolvePath("N:\\" + Slashes(e.path, '/', '\\')), e.record);
    }
    // The path built upward from the file's own record names one of its key paths.
    CNtfsFile file;
    ASSERT_TRUE(file.LoadRecord(&volume, e.record, true));
    std::string name;
    std::uint64_t size = 0, created = 0, modified = 0;
    std::uint32_t attributes = 0, parent = 0;
    ASSERT_TRUE(file.GetNameInfo(name, size, attributes, parent, created, modified));
    if (e.record == kRootRecord) continue;
    CNtfsRecordReader reader(&volume);
    reader.RegisterParentFolders(parent);
    std::string built = reader.FolderPath(parent) + name;
    ASSERT_EQ(built.rfind("N:\\", 0), 0u);
    std::string asFls = Slashes(built.substr(3), '\\', '/');
    EXPECT_TRUE(keyPaths[e.record].count(asFls)) << "built " << asFls;
    ++pathsChecked;
  }
  std::printf("[ entries  ] %s: %zu live entries listed, %d paths built\n", label.c_str(),
              key.liveEntries.size(), pathsChecked);
  CDriveTable::Instance().Remove('N');
}

// Checks every NTFS file system a fixture-format key describes (a bare one or partitions).
int CheckFixtureKey(const std::string& label, const std::string& image, const Json& key) {
  int ran = 0;
  auto one = [&](const Json& fs, std::uint64_t startSector, const std::string& name) {
    const Json* fsstat = fs.Get("fsstat");
    if (!fsstat || fsstat->Str("type") != "NTFS") return;
    ImageKey k;
    ReadFixtureKey(fs, k);
    CheckVolume(name, image, startSector * 512, k);
    ++ran;
  };
  if (const Json* parts = key.Get("partitions")) {
    for (const Json& p : parts->items) {
      one(p, static_cast<std::uint64_t>(p.Int("start_sector", 0)),
          label + "@" + std::to_string(p.Int("start_sector", 0)));
    }
  } else {
    one(key, 0, label);
  }
  return ran;
}

TEST(NtfsImages, FixturesMatchTheirKeys) {
  const char* fixtures[] = {"ntfs-4k.img", "ntfs-512.img", "ntfs-64k.img", "ntfs-mftfrag.img",
                            "mbr-ntfs-fat32.img"};
  int ran = 0;
  for (const char* name : fixtures) {
    std::string text = test::FixtureText(std::string(name) + ".key.json");
    if (text.empty()) continue;
    auto json = test::ParseJson(text);
    ASSERT_TRUE(json.has_value()) << name;
    std::string image = test::Fixture(name);
    ASSERT_FALSE(image.empty());
    ran += CheckFixtureKey(name, image, *json);
  }
  if (ran == 0) GTEST_SKIP() << "no NTFS fixtures committed yet";
}

// Keys in the fixture format made for the third-party images by hand (tools/fixtures/
// tsk_key.py IMAGE), in the folder SORVANI_NTFS_FULL_KEYS names: every stream compared.
TEST(NtfsImages, RealImagesMatchFullKeys) {
  const char* dir = std::getenv("SORVANI_NTFS_FULL_KEYS");
  if (!dir) GTEST_SKIP() << "SORVANI_NTFS_FULL_KEYS not set";
  const char* images[] = {"dftt-7-undel-ntfs.dd",
                          "dftt-8-jpeg-search.dd",
                          "charlie-attrlist-ads.dd",
                          "dissect-ntfs.bin",
                          "mkntfs-testfs1-reserved-records.img",
                          "suhanov-ntfs-compressed.raw",
                          "suhanov-ntfs-si-vs-fn.raw"};
  int ran = 0;
  for (const char* name : images) {
    auto image = test::RealImage(name);
    std::vector<std::uint8_t> raw =
        test::ReadWholeFile(std::string(dir) + "/" + name + ".key.json");
    if (!image || raw.empty()) continue;
    auto json = test::ParseJson(std::string(raw.begin(), raw.end()));
    ASSERT_TRUE(json.has_value()) << name;
    ran += CheckFixtureKey(std::string(name) + " (full key)", *image, *json);
  }
  if (ran == 0) GTEST_SKIP() << "no full keys";
}

// 2 MiB clusters: a geometry The Sleuth Kit 4.11 cannot read, so there is no key. Every
// folder lists, every listed name resolves, and every file reads to its full length.
TEST(NtfsImages, TwoMegabyteClustersReadWhole) {
  auto image = test::RealImage("suhanov-ntfs-2m-clusters.raw");
  if (!image) GTEST_SKIP() << "no third-party images";
  DriveSource source;
  source.path = *image;
  source.offset = 128 * 512;
  ASSERT_TRUE(CDriveTable::Instance().Assign('N', source));
  CNtfsVolume volume;
  ASSERT_TRUE(volume.Initialize('N'));
  EXPECT_EQ(volume.BytesPerCluster(), 2u << 20);
  std::vector<std::uint32_t> folders = {kRootRecord};
  std::set<std::uint32_t> seen;
  int files = 0;
  for (std::size_t i = 0; i < folders.size(); ++i) {
    if (!seen.insert(folders[i]).second) continue;
    std::vector<NtfsDirEntry> entries;
    ASSERT_TRUE(volume.ListDirectory(folders[i], entries));
    for (const NtfsDirEntry& e : entries) {
      if (e.record == folders[i]) continue;
      EXPECT_EQ(volume.FindInDirectory(e.name, folders[i]), e.record) << e.name;
      if (e.IsDirectory()) {
        folders.push_back(e.record);
        continue;
      }
      CNtfsFile file;
      ASSERT_TRUE(file.LoadRecord(&volume, e.record, false)) << e.name;
      CNtfsFileAttr* data = file.FindAttribute(kAttrData, "");
      if (!data || data->RealSize() > (64u << 20)) continue;
      std::vector<std::uint8_t> bytes;
      EXPECT_TRUE(ReadWholeStream(*data, bytes)) << e.name;
      EXPECT_EQ(bytes.size(), data->RealSize()) << e.name;
      ++files;
    }
  }
  EXPECT_GT(files, 5);
  CDriveTable::Instance().Remove('N');
}

struct RealCase {
  const char* image;
  const char* key;
  std::uint64_t offsetSectors;
};

TEST(NtfsImages, RealImagesMatchTheirKeys) {
  const RealCase cases[] = {
      {"dftt-7-undel-ntfs.dd", "keys/7-ntfs-undel.dd.key.json", 0},
      {"dftt-8-jpeg-search.dd", "keys/8-jpeg-search.dd.key.json", 0},
      {"charlie-attrlist-ads.dd", "keys/charlie.dd.key.json", 0},
      {"dissect-ntfs.bin", "keys/ntfs.bin.key.json", 0},
      {"mkntfs-testfs1-reserved-records.img", "keys/testfs1.key.json", 0},
      {"suhanov-ntfs-compressed.raw", "keys/ntfs-ramslack.raw.key.json", 128},
      {"suhanov-ntfs-si-vs-fn.raw", "keys/ntfs-si-vs-fn.raw.key.json", 128},
  };
  int ran = 0;
  for (const RealCase& c : cases) {
    auto image = test::RealImage(c.image);
    auto text = test::RealImageText(c.key);
    if (!image || !text) continue;
    auto json = test::ParseJson(*text);
    ASSERT_TRUE(json.has_value()) << c.key;
    ImageKey key;
    ReadRealImageKey(*json, key);
    CheckVolume(c.image, *image, c.offsetSectors * 512, key);
    ++ran;
  }
  if (ran == 0) GTEST_SKIP() << "no third-party images";
}

}  // namespace
}  // namespace sorvani
