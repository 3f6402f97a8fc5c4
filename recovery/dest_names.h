// Names and paths at the destination: names from the source made safe to use as one path
// component, the collision name, and the check that a path stays inside the destination.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sorvani {

// One path component from a name read off the source volume. "* | / ? < > \ :" and control
// characters become "_"; a name that is empty, "." or ".." becomes "_", "_" or "__", so that
// no name written can climb out of its folder or name a stream by accident.
std::string SafeName(std::string_view name);

// `folder` + "/" + SafeName(name); `folder` may end in "/".
std::string JoinDestination(const std::string& folder, std::string_view name);

// "%s (%lu)" or "%s (%lu)%s": the record number before the extension, when the last dot
// stands more than one character after the last "/"; else after the whole path.
std::string CollisionName(const std::string& path, std::uint32_t record);

// True when `path` lies strictly below `root`: checked on the text (no "." or ".." parts) and,
// for the part of the path that exists, on the real location, so a link inside the
// destination cannot lead out of it.
bool PathLiesUnder(const std::string& root, const std::string& path);

// Joins a "/"-separated relative folder of safe components under `root` ("" gives root).
std::string JoinSubfolder(const std::string& root, std::string_view subfolder);

}  // namespace sorvani
