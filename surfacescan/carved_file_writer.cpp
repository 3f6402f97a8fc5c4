#include "surfacescan/carved_file_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "foundation/log.h"

namespace sorvani {
namespace {

constexpr std::uint32_t kPiece = 65536;
constexpr unsigned long kMaxCollisionNumber = 100000;

// "%s (%lu)" before the extension's dot, or after the whole name when it has none (or only a
// leading dot).
std::string CollisionName(const std::string& name, unsigned long number) {
  std::size_t dot = name.rfind('.');
  char tag[32];
  std::snprintf(tag, sizeof tag, " (%lu)", number);
  if (dot == std::string::npos || dot == 0) return name + tag;
  return name.substr(0, dot) + tag + name.substr(dot);
}

int CreateNew(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::string SafeCarvedName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return "_";
  std::string out = name;
  for (char& ch : out) {
    unsigned char u = static_cast<unsigned char>(ch);
    if (u < 0x20 || u == 0x7F || std::strchr("/\\*|?<>", ch)) ch = '_';
  }
  return out;
}

std::size_t WriteCarvedFiles(CVolume& volume, const std::vector<CarvedFile>& files,
                             const std::string& destinationFolder, const std::atomic<bool>* cancel,
                             std::vector<CarvedWriteResult>& results) {
  std::error_code ec;
  std::filesystem::create_directories(destinationFolder, ec);
  const std::uint32_t unit = volume.BytesPerCluster();
  std::vector<std::uint8_t> buffer(kPiece);
  std::size_t complete = 0;
  for (const CarvedFile& file : files) {
    if (cancel && cancel->load()) break;
    CarvedWriteResult& result = results.emplace_back();
    std::string name = SafeCarvedName(file.name);
    std::string path = destinationFolder + "/" + name;
    int fd = CreateNew(path);
    for (unsigned long k = 1; fd < 0 && errno == EEXIST && k <= kMaxCollisionNumber; ++k) {
      path = destinationFolder + "/" + CollisionName(name, k);
      fd = CreateNew(path);
    }
    if (fd < 0) {
      result.error = "cannot create " + path + ": " + std::strerror(errno);
      LogFile.Write(1, "Couldn't create new file (%s)\n", path.c_str());
      LogFile.WriteLastError(1);
      continue;
    }
    result.path = path;
    std::uint64_t start = 0;
    bool ok = unit != 0 && !__builtin_mul_overflow(file.startUnit, std::uint64_t{unit}, &start) &&
              !__builtin_add_overflow(start, std::uint64_t{file.offset}, &start);
    while (ok && result.written < file.size) {
      std::uint64_t at = start + result.written;
      std::uint32_t want =
          static_cast<std::uint32_t>(std::min<std::uint64_t>(kPiece, file.size - result.written));
      std::uint32_t got = want;
      if (!volume.ReadRaw(at / unit, static_cast<std::uint32_t>(at % unit), buffer.data(), got)) {
        result.error = "read error at byte " + std::to_string(at) + " of the volume";
        ok = false;
        break;
      }
      if (got == 0) break;  // the device ends inside the range
      if (!WriteAll(fd, buffer.data(), got)) {
        result.error = "write error on " + path + ": " + std::strerror(errno);
        ok = false;
        break;
      }
      result.written += got;
    }
    if (::close(fd) != 0 && ok) {
      result.error = "write error on " + path + ": " + std::strerror(errno);
      ok = false;
    }
    if (ok && result.written < file.size)
      result.error = "the volume ends after " + std::to_string(result.written) + " of " +
                     std::to_string(file.size) + " bytes";
    result.complete = ok && result.written == file.size;
    if (result.complete) ++complete;
  }
  return complete;
}

}  // namespace sorvani
