#include "recovery/dest_names.h"

#include <climits>
#include <cstdlib>
#include <memory>
#include <unordered_set>

#include "recovery/dest_files.h"

namespace sorvani {

std::string SafeName(std::string_view name) {
  if (name.empty() || name == ".") return "_";
  if (name == "..") return "__";
  std::string out(name);
  for (char& c : out) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || std::string_view("*|/?<>\\:").find(c) != std::string_view::npos) c = '_';
  }
  return out;
}

std::string JoinDestination(const std::string& folder, std::string_view name) {
  std::string out = folder;
  if (out.empty() || out.back() != '/') out += '/';
  return out + SafeName(name);
}

std::string CollisionName(const std::string& path, std::uint32_t record) {
  auto dot = path.rfind('.');
  auto slash = path.rfind('/');
  std::string number = " (" + std::to_string(static_cast<unsigned long>(record)) + ")";
  std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  if (dot == std::string::npos || dot <= nameStart) return path + number;
  return path.substr(0, dot) + number + path.substr(dot);
}

namespace {

// Removes "." parts and repeated "/"; false when a ".." part is met.
bool NormalizeText(const std::string& in, std::string& out) {
  out.clear();
  std::size_t i = 0;
  while (i < in.size()) {
    std::size_t j = in.find('/', i);
    if (j == std::string::npos) j = in.size();
    std::string_view part(in.data() + i, j - i);
    if (part == "..") return false;
    if (!part.empty() && part != ".") {
      out += '/';
      out += part;
    }
    i = j + 1;
  }
  if (out.empty()) out = "/";
  return true;
}

constexpr std::size_t kRememberedFolders = 4096;

std::string RealPath(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
  return real ? std::string(real.get()) : std::string();
}

bool TextUnder(const std::string& root, const std::string& path) {
  if (root == "/") return path.size() > 1;
  return path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
         path[root.size()] == '/';
}

}  // namespace

bool PathLiesUnder(const std::string& root, const std::string& path) {
  std::string r, p;
  if (root.empty() || root[0] != '/' || path.empty() || path[0] != '/') return false;
  if (!NormalizeText(root, r) || !NormalizeText(path, p) || !TextUnder(r, p)) return false;
  // The existing part of the path must resolve under the real root as well. A recovery asks
  // this for thousands of files in a few folders, so the folders found under the root are
  // remembered (per thread, for the root last asked about).
  struct Resolved {
    std::string root, realRoot;
    std::unordered_set<std::string> under;
  };
  thread_local Resolved known;
  if (known.root != r) {
    known.root = r;
    known.under.clear();
  }
  std::string existing = NearestExistingFolder(p.substr(0, p.rfind('/')).empty()
                                                   ? std::string("/")
                                                   : p.substr(0, p.rfind('/')));
  if (known.under.count(existing)) return true;
  // Not seen yet: the root is resolved afresh too, as it may have been replaced or removed.
  known.realRoot = RealPath(r);
  if (known.realRoot.empty()) {
    known.under.clear();
    return true;  // nothing exists yet, the text check is all there is
  }
  std::string realExisting = RealPath(existing);
  if (realExisting.empty()) return false;
  bool under = realExisting == known.realRoot || TextUnder(known.realRoot, realExisting);
  if (under) {
    if (known.under.size() >= kRememberedFolders) known.under.clear();
    known.under.insert(existing);
  }
  return under;
}

std::string JoinSubfolder(const std::string& root, std::string_view subfolder) {
  std::string out = root;
  if (out.empty() || out.back() != '/') out += '/';
  std::size_t i = 0;
  while (i < subfolder.size()) {
    std::size_t j = subfolder.find('/', i);
    if (j == std::string_view::npos) j = subfolder.size();
    if (j > i) out += SafeName(subfolder.substr(i, j - i)) + "/";
    i = j + 1;
  }
  return out;
}

}  // namespace sorvani
