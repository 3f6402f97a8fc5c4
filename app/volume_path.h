// Folder paths as people type them: "X:\dir1\", "X:/dir1", "/dir1", "\dir1", "dir1/dir2",
// "X:" (the root), with or without the drive letter. Parsed once here, then resolved against
// the live tree and the catalogue of a drive, so existing and deleted folders are found alike.
#pragma once

#include <string>
#include <vector>

#include "index/folder_model.h"

namespace sorvani {

struct VolumePath {
  char letter = 0;                      // upper case; 0 when the text names none
  std::vector<std::string> components;  // below the root; empty for the root
};

// Splits `text` at '\' and '/'; a leading "X:" gives the letter. Empty components ("a//b",
// a trailing separator) are skipped; "." and ".." are refused (they name no folder here), as
// is an empty text. False with `error` set (one line) when the text is not a path.
bool ParseVolumePath(const std::string& text, VolumePath& out, std::string& error);

// Walks `path`'s components down from the root of `model`'s drive through existing, deleted
// and orphan folders ("_OrphanFolder_N"), matching names without regard to case; the first
// match of a level wins, existing folders before deleted ones. False when a component is not
// found, or when the path names another drive. Thread of the model's reader.
bool ResolveVolumePath(CFolderModel& model, const VolumePath& path, FolderNode& out);

// Both in one: "X:\a\b\" as the model knows it.
bool ResolveFolderText(CFolderModel& model, const std::string& text, FolderNode& out);

}  // namespace sorvani
