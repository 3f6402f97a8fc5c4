// The deleted entries of a The Sleuth Kit answer key, in the two shapes the keys come in
// (committed fixtures: "entries"; third-party images: "items").
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/util/fixtures.h"

namespace sorvani::test {

struct KeyEntry {
  std::string name;
  std::string folder;      // "Docs\Reports\" below the root, "" for the root
  bool tskOrphan = false;  // TSK could not place it (its $OrphanFiles)
  bool folderEntry = false;
  bool nameless = false;              // TSK's "OrphanFile-N": the record has no name left
  std::vector<std::string> times;     // as TSK gives them: modified, accessed, changed, created
  std::optional<std::uint64_t> size;  // of the unnamed $DATA
};

struct KeyImage {
  std::string image;  // fixture name or third-party image name
  bool thirdParty = false;
  std::string key;  // key file name
};

inline const KeyImage kKeyImages[] = {
    {"ntfs-4k.img", false, "ntfs-4k.img.key.json"},
    {"ntfs-512.img", false, "ntfs-512.img.key.json"},
    {"ntfs-64k.img", false, "ntfs-64k.img.key.json"},
    {"ntfs-mftfrag.img", false, "ntfs-mftfrag.img.key.json"},
    {"dftt-7-undel-ntfs.dd", true, "keys/7-ntfs-undel.dd.key.json"},
    {"dftt-8-jpeg-search.dd", true, "keys/8-jpeg-search.dd.key.json"},
    {"dissect-ntfs.bin", true, "keys/ntfs.bin.key.json"},
    {"mkntfs-testfs1-reserved-records.img", true, "keys/testfs1.key.json"},
    {"charlie-attrlist-ads.dd", true, "keys/charlie.dd.key.json"},
    {"suhanov-ntfs-compressed.raw", true, "keys/ntfs-ramslack.raw.key.json"},
    {"suhanov-ntfs-si-vs-fn.raw", true, "keys/ntfs-si-vs-fn.raw.key.json"},
};

// Record -> entry for every entry of the key whose MFT record is unallocated (the name may
// still stand in a folder's index). A record TSK lists under the name it makes up for records
// without one ("OrphanFile-N") is expected as "Record N" in the nameless orphan folder
// (records 0 to 24 excepted: system records, never deleted files). A
// deleted name wins over one still listed.
inline std::map<std::uint32_t, KeyEntry> DeletedEntries(const nlohmann::json& key) {
  std::set<std::uint32_t> unallocated;
  bool hasUnallocatedList = false;
  for (const char* field : {"unallocated_records", "unallocated"}) {
    if (key.contains(field) && key[field].is_array()) {
      hasUnallocatedList = true;
      for (const auto& r : key[field]) {
        if (r.is_number())
          unallocated.insert(r.get<std::uint32_t>());
        else if (r.is_object() && r.contains("record"))
          unallocated.insert(r["record"].get<std::uint32_t>());
      }
    }
  }
  const auto& list = key.contains("entries") ? key["entries"] : key["items"];
  std::map<std::uint32_t, KeyEntry> out;
  for (const auto& item : list) {
    bool deleted = item.value("deleted", false) || item.value("name_deleted", false);
    if (item.value("realloc", false)) continue;
    auto record = item["record"].get<std::uint32_t>();
    bool allocated = item.contains("record_allocated") ? item["record_allocated"].get<bool>()
                     : hasUnallocatedList              ? unallocated.count(record) == 0
                                                       : false;
    if (allocated) continue;
    std::string path = item["path"].get<std::string>();
    std::string streamless = path;
    std::size_t slash = path.rfind('/');
    std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    std::size_t colon = leaf.find(':');
    bool isStream = colon != std::string::npos;
    if (isStream) leaf = leaf.substr(0, colon);
    std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    bool nameless = folder == "$OrphanFiles/" && leaf == "OrphanFile-" + std::to_string(record);
    // The reserved records TSK lists this way are system records, never deleted files.
    if (nameless && record <= 24) continue;
    bool seen = out.count(record) != 0;
    KeyEntry& e = out[record];
    if (seen && !deleted) continue;
    e.name = nameless ? "Record " + std::to_string(record) : leaf;
    e.nameless = nameless;
    e.tskOrphan = folder.starts_with("$OrphanFiles/");
    for (char& c : folder)
      if (c == '/') c = '\\';
    e.folder = folder;
    std::string type = item.contains("type") ? item["type"].get<std::string>()
                                             : item.value("meta_type", std::string());
    if (type.ends_with("d")) e.folderEntry = true;
    if (item.contains("times") && item["times"].is_array())
      e.times = item["times"].get<std::vector<std::string>>();
    int attrType = item.contains("attr_type") && item["attr_type"].is_number()
                       ? item["attr_type"].get<int>()
                       : 0;
    if (attrType == 128 && !isStream && !e.size) e.size = item["size"].get<std::uint64_t>();
  }
  return out;
}

// The image's path and its key; nullopt when either is absent (the caller skips).
inline std::optional<std::pair<std::string, nlohmann::json>> LoadKeyImage(const KeyImage& k) {
  std::string text;
  std::string path;
  if (k.thirdParty) {
    auto t = RealImageText(k.key);
    auto p = RealImage(k.image);
    if (!t || !p) return std::nullopt;
    text = *t;
    path = *p;
  } else {
    text = FixtureText(k.key);
    if (text.empty()) return std::nullopt;
    path = Fixture(k.image);
    if (path.empty()) return std::nullopt;
  }
  return std::make_pair(path, nlohmann::json::parse(text));
}

}  // namespace sorvani::test
