// Names and paths at the destination: names from the source made safe to use as one path
// component, the collision name, and the check that a path stays inside the destination.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sorvani {

// Longest name, in bytes, that Linux file systems accept for one path component. NTFS allows
// 255 UTF-16 units, which can take up to 765 bytes in UTF-8.
inline constexpr std::size_t kMaxNameBytes = 255;

// One path component from a name read off the source volume. "* | / ? < > \ :" and control
// characters become "_"; a name that is empty, "." or ".." becomes "_", "_" or "__", so that
// no name written can climb out of its folder or name a stream by accident. A name longer
// than kMaxNameBytes is shortened (see ShortenName).
std::string SafeName(std::string_view name);

// `name` cut to at most `limit` bytes at a character boundary, keeping its extension (the
// part from the last dot, when it is short); unchanged when it fits.
std::string ShortenName(std::string_view name, std::size_t limit);

// `folder` + "/" + SafeName(name); `folder` may end in "/".
std::string JoinDestination(const std::string& folder, std::string_view name);

// "%s (%lu)" or "%s (%lu)%s": the record number before the extension, when the last dot
// stands more than one character after the last "/"; else after the whole path. The name
// part is shortened first where the result would pass kMaxNameBytes.
std::string CollisionName(const std::string& path, std::uint64_t record);

// `path` with `suffix` appended to its last component, which is shortened (keeping its
// extension) so the whole stays within kMaxNameBytes.
std::string AppendToName(const std::string& path, std::string_view suffix);

// True when `path` lies strictly below `root`: checked on the text (no "." or ".." parts) and,
// for the part of the path that exists, on the real location, so a link inside the
// destination cannot lead out of it.
bool PathLiesUnder(const std::string& root, const std::string& path);

// Joins a "/"-separated relative folder of safe components under `root` ("" gives root).
std::string JoinSubfolder(const std::string& root, std::string_view subfolder);

}  // namespace sorvani
