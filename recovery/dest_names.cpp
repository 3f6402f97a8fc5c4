#include "recovery/dest_names.h"

#include <climits>
#include <cstdlib>
#include <memory>
#include <unordered_set>
#include "platform/dest_files.h"

namespace sorvani {

namespace {

// Longest extension kept whole when a name is shortened; a longer "extension" is just text.
constexpr std::size_t kKeptExtension = 32;

// The first `limit` bytes of `text`, without splitting a UTF-8 sequence.
std::string_view CutUtf8(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

}  // namespace

std::string ShortenName(std::string_view name, std::size_t limit) {
  if (name.size() <= limit) return std::string(name);
  std::size_t dot = name.rfind('.');
  std::string_view ext;
  if (dot != std::string_view::npos && dot > 0 && name.size() - dot <= kKeptExtension &&
      name.size() - dot < limit)
    ext = name.substr(dot);
  std::string out(CutUtf8(name.substr(0, name.size() - ext.size()), limit - ext.size()));
  if (out.empty()) out = "_";
  return out + std::string(ext);
}

std::string SafeName(std::string_view name) {
  if (name.empty() || name == ".") return "_";
  if (name == "..") return "__";
  std::string out(name);
  for (char& c : out) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || std::string_view("*|/?<>\\:").find(c) != std::string_view::npos)
      c = '_';
  }
  if (out.size() > kMaxNameBytes) out = ShortenName(out, kMaxNameBytes);
  return out;
}

std::string JoinDestination(const std::string& folder, std::string_view name) {
  std::string out = folder;
  if (out.empty() || out.back() != '/') out += '/';
  return out + SafeName(name);
}

std::string CollisionName(const std::string& path, std::uint64_t record) {
  auto dot = path.rfind('.');
  auto slash = path.rfind('/');
  std::string number = " (" + std::to_string(static_cast<unsigned long long>(record)) + ")";
  std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  if (dot == std::string::npos || dot <= nameStart) dot = path.size();
  std::string_view stem = std::string_view(path).substr(nameStart, dot - nameStart);
  std::string_view ext = std::string_view(path).substr(dot);
  std::string name;
  if (stem.size() + number.size() + ext.size() > kMaxNameBytes && number.size() < kMaxNameBytes) {
    std::size_t room = kMaxNameBytes - number.size();
    if (ext.size() >= room) ext = CutUtf8(ext, room / 2);
    name = std::string(CutUtf8(stem, room - ext.size())) + number + std::string(ext);
  } else {
    name = std::string(stem) + number + std::string(ext);
  }
  return path.substr(0, nameStart) + name;
}

std::string AppendToName(const std::string& path, std::string_view suffix) {
  auto slash = path.rfind('/');
  std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  std::string_view name = std::string_view(path).substr(nameStart);
  if (name.size() + suffix.size() <= kMaxNameBytes || suffix.size() >= kMaxNameBytes)
    return path + std::string(suffix);
  return path.substr(0, nameStart) + ShortenName(name, kMaxNameBytes - suffix.size()) +
         std::string(suffix);
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
  std::string existing = NearestExistingFolder(
      p.substr(0, p.rfind('/')).empty() ? std::string("/") : p.substr(0, p.rfind('/')));
  if (known.under.count(existing)) return true;
  // A real folder (not a link) inside a folder known to be under the root is under it too.
  // This spares resolving every part of a deep path again for each new folder of a chain,
  // which costs the square of the depth in lookups.
  if (auto slash = existing.rfind('/'); slash != std::string::npos && slash > 0 &&
                                        known.under.count(existing.substr(0, slash)) &&
                                        IsFolder(existing)) {
    if (known.under.size() >= kRememberedFolders) known.under.clear();
    known.under.insert(existing);
    return true;
  }
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
