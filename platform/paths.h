// Where the program keeps its own files: profile, log and cache folders.
#pragma once

#include <string>

namespace sorvani {

// Folder holding the running executable (no trailing slash); empty when unknown.
std::string ExecutableFolder();
// $XDG_CONFIG_HOME/SorvaniRecovery (default ~/.config/SorvaniRecovery).
std::string ProfileFolder();
// The executable's folder when writable, else $XDG_STATE_HOME/SorvaniRecovery
// (default ~/.local/state/SorvaniRecovery). Never a world-writable folder.
std::string StateFolder();
// Creates a folder and its parents (mode 0700 for new ones); true when it exists afterwards.
bool MakeFolders(const std::string& path);
// The absolute path with every link, "." and ".." resolved; empty when `path` does not exist.
std::string RealPath(const std::string& path);

}  // namespace sorvani
