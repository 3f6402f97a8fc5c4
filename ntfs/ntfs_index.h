// Index entries of a directory's B-tree nodes, for the lookups, listings and fuzzers.
#pragma once

#include <cstdint>
#include <functional>

#include "foundation/endian.h"
#include "ntfs/ntfs_volume.h"

namespace sorvani {

struct IndexEntryView {
  std::uint64_t reference = 0;  // file reference: record in the low 48 bits
  std::uint8_t flags = 0;
  ByteSpan key;  // the $FILE_NAME value; empty for the node's closing entry
  bool hasChild = false;
  std::uint64_t childVcn = 0;
};

// Walks the entries of one node whose index header starts at `headerOffset` of `node`
// (16 in an $INDEX_ROOT value, 24 in an INDX block). `visit` returns false to stop.
// Returns true when the walk reached the node's last entry or was stopped, false when an
// entry ran outside the node.
bool WalkIndexEntries(ByteSpan node, std::size_t headerOffset,
                      const std::function<bool(const IndexEntryView&)>& visit);

// The UTF-16 name inside a $FILE_NAME key; empty when it does not fit.
ByteSpan IndexKeyName(ByteSpan key, std::size_t& units);

// Fills `entry` from an index key; false when the key is too short for its name.
bool DecodeIndexKey(std::uint64_t reference, ByteSpan key, NtfsDirEntry& entry);

}  // namespace sorvani
