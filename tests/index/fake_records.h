// A table of MFT records behind IRecordReader, for parent chains no test image holds:
// loops, reused parents, unreadable records.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "index/record_reader.h"

namespace sorvani::test {

struct FakeRecord {
  bool valid = true;
  bool inUse = false;
  std::string name;
  std::uint32_t attributes = 0;
  std::uint32_t parent = 5;
  std::uint64_t size = 0;
  std::uint64_t created = 0;
  std::uint64_t modified = 0;
  std::int32_t overwritten = 0;
  bool hasData = false;
};

class CFakeRecords : public IRecordReader {
 public:
  std::map<std::uint32_t, FakeRecord> records;
  std::map<std::uint32_t, int> loads;  // names-only loads per record
  int detailLoads = 0;
  char letter = 'D';

  FakeRecord& Folder(std::uint32_t r, std::string name, std::uint32_t parent, bool inUse) {
    return records[r] = FakeRecord{true, inUse, std::move(name), 0x10, parent};
  }
  FakeRecord& File(std::uint32_t r, std::string name, std::uint32_t parent, bool inUse,
                   std::uint64_t size = 0) {
    FakeRecord f{true, inUse, std::move(name), 0x20, parent};
    f.size = size;
    return records[r] = f;
  }

  bool LoadNames(std::uint32_t record, RecordNames& out) override {
    ++loads[record];
    out = RecordNames{};
    auto it = records.find(record);
    if (it == records.end() || !it->second.valid) return false;
    out.inUse = it->second.inUse;
    out.name = it->second.name;
    out.attributes = it->second.attributes;
    out.parent = it->second.parent;
    return true;
  }
  bool LoadDetails(std::uint32_t record, bool overwritten, RecordDetails& out) override {
    ++detailLoads;
    out = RecordDetails{};
    auto it = records.find(record);
    m_loaded = it == records.end() || !it->second.valid ? nullptr : &it->second;
    if (!m_loaded) return false;
    out.inUse = m_loaded->inUse;
    out.name = m_loaded->name;
    out.attributes = m_loaded->attributes;
    out.parent = m_loaded->parent;
    out.size = m_loaded->size;
    out.created = m_loaded->created;
    out.modified = m_loaded->modified;
    out.hasData = m_loaded->hasData;
    if (overwritten) out.overwritten = m_loaded->overwritten;
    return true;
  }
  std::int32_t LoadedOverwritten() override { return m_loaded ? m_loaded->overwritten : 0; }
  void ClearDirNames() override { m_dirs.clear(); }
  void RegisterParentFolders(std::uint32_t parent) override {
    std::set<std::uint32_t> seen;
    for (std::uint32_t current = parent; current != 5 && !m_dirs.count(current);) {
      auto it = records.find(current);
      if (!seen.insert(current).second || it == records.end() || !it->second.valid ||
          it->second.name.empty() || !(it->second.attributes & 0x10))
        break;
      m_dirs[current] = {it->second.name, it->second.parent};
      current = it->second.parent;
    }
  }
  std::string FolderPath(std::uint32_t record) override {
    std::string path;
    std::set<std::uint32_t> seen;
    for (std::uint32_t current = record; current != 5;) {
      auto it = m_dirs.find(current);
      if (!seen.insert(current).second || it == m_dirs.end()) {
        path = "_OrphanFolder_" + std::to_string(current) + "\\" + path;
        break;
      }
      path = it->second.first + "\\" + path;
      current = it->second.second;
    }
    return std::string(1, letter) + ":\\" + path;
  }

 private:
  const FakeRecord* m_loaded = nullptr;
  std::map<std::uint32_t, std::pair<std::string, std::uint32_t>> m_dirs;
};

}  // namespace sorvani::test
