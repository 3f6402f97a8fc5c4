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

bool ResolveVolumePath(CFolderModel& model, const VolumePath& path, FolderNode& out) {
  out = model.Root();
  if (path.letter != 0 &&
      path.letter != std::toupper(static_cast<unsigned char>(out.path.empty() ? 0 : out.path[0])))
    return false;
  // Rebuilt as the model spells it, "X:\a\b\", which its own resolver walks.
  std::string text = out.path;
  for (const std::string& part : path.components) text += part + "\\";
  return model.Resolve(text, out);
}

bool ResolveFolderText(CFolderModel& model, const std::string& text, FolderNode& out) {
  VolumePath path;
  std::string error;
  return ParseVolumePath(text, path, error) && ResolveVolumePath(model, path, out);
}

}  // namespace sorvani
