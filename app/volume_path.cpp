#include "app/volume_path.h"

#include <cctype>

namespace sorvani {

bool ParseVolumePath(const std::string& text, VolumePath& out, std::string& error) {
  out = VolumePath{};
  error.clear();
  if (text.empty()) {
    error = "an empty path";
    return false;
  }
  std::size_t pos = 0;
  if (text.size() >= 2 && text[1] == ':') {
    if (!std::isalpha(static_cast<unsigned char>(text[0]))) {
      error = "'" + text + "' does not start with a drive letter";
      return false;
    }
    out.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    pos = 2;
  }
  while (pos <= text.size()) {
    std::size_t next = text.find_first_of("\\/", pos);
    if (next == std::string::npos) next = text.size();
    if (next > pos) {
      std::string part = text.substr(pos, next - pos);
      if (part == "." || part == "..") {
        error = "'" + text + "': '" + part + "' names no folder of a volume";
        return false;
      }
      out.components.push_back(std::move(part));
    }
    pos = next + 1;
  }
  return true;
}

namespace {

// Depth first: a level may hold an existing and a deleted folder of the same name (or
// several deleted ones); the path goes on through whichever of them holds the rest of it.
bool Descend(CFolderModel& model, const FolderNode& node, const std::vector<std::string>& parts,
             std::size_t level, FolderNode& out) {
  if (level == parts.size()) {
    out = node;
    return true;
  }
  std::vector<FolderItem> items;
  model.ListSubfolders(node, items);
  for (const FolderItem& item : items) {
    if (!model.SameName(item.row.name, parts[level])) continue;
    FolderNode below = model.Enter(node, item);
    if (Descend(model, below, parts, level + 1, out)) return true;
  }
  return false;
}

}  // namespace

bool ResolveVolumePath(CFolderModel& model, const VolumePath& path, FolderNode& out) {
  FolderNode root = model.Root();
  out = root;
  if (path.letter != 0 && path.letter != std::toupper(static_cast<unsigned char>(root.path[0])))
    return false;
  // Every folder is a candidate while resolving, whatever the view shows.
  const bool deletedOnly = model.DeletedOnly();
  model.SetDeletedOnly(false);
  const bool found = Descend(model, root, path.components, 0, out);
  model.SetDeletedOnly(deletedOnly);
  if (!found) out = root;
  return found;
}

bool ResolveFolderText(CFolderModel& model, const std::string& text, FolderNode& out) {
  VolumePath path;
  std::string error;
  return ParseVolumePath(text, path, error) && ResolveVolumePath(model, path, out);
}

}  // namespace sorvani
