#include "app/resource_library.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

#include "foundation/res_strings.h"
#include "platform/paths.h"

namespace sorvani {

namespace {

// Closes a descriptor on every way out unless released.
struct CFd {
  int fd;
  ~CFd() {
    if (fd >= 0) ::close(fd);
  }
  int Release() { return std::exchange(fd, -1); }
};

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

CResourceLibrary::CResourceLibrary(bool installsTextSource)
    : m_installsTextSource(installsTextSource) {}

CResourceLibrary::~CResourceLibrary() { Unload(); }

bool CResourceLibrary::Load(const std::string& absolutePath, std::string& error) {
  if (absolutePath.empty() || absolutePath.front() != '/') {
    error = "the resource library path is not absolute: '" + absolutePath + "'";
    return false;
  }
  // The checks look at the file that was opened, and the loader is handed that same open file
  // (/proc/self/fd/N), so swapping the file between the check and the load changes nothing. The
  // descriptor stays open while the library is loaded: the loader knows the library by that
  // name, and a reused number would make it hand back the old library for a new one.
  CFd file{::open(absolutePath.c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.fd < 0) {
    error = "cannot open '" + absolutePath + "'";
    return false;
  }
  struct stat st {};
  if (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    error = "'" + absolutePath + "' is not a regular file";
    return false;
  }
  if (st.st_uid != 0 && st.st_uid != ::geteuid()) {
    error = "'" + absolutePath + "' is owned by user " + std::to_string(st.st_uid) +
            ", neither root nor the user running the program";
    return false;
  }
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    error = "'" + absolutePath + "' is writable by group or others";
    return false;
  }

  CSharedLibrary library;
  std::string loadError;
  std::string viaDescriptor = "/proc/self/fd/" + std::to_string(file.fd);
  if (!library.Open(viaDescriptor, loadError)) {
    error = "cannot load '" + absolutePath + "': " + loadError;
    return false;
  }
  auto symbol = [&](const char* name) { return library.Symbol(name, loadError); };
  auto abi = reinterpret_cast<SvresAbiFunction>(symbol(kSvresAbiSymbol));
  auto text = reinterpret_cast<SvresStringFunction>(symbol(kSvresStringSymbol));
  auto data = reinterpret_cast<SvresDataFunction>(symbol(kSvresDataSymbol));
  if (abi == nullptr || text == nullptr || data == nullptr) {
    error = "'" + absolutePath + "' is not a resource library: " + loadError;
    return false;
  }
  if (int version = abi(); version != kSvresAbiVersion) {
    error = "'" + absolutePath + "' has interface version " + std::to_string(version) +
            ", the program needs " + std::to_string(kSvresAbiVersion);
    return false;
  }

  // The new texts are in place before the old library goes.
  if (m_installsTextSource) SetResourceStringSource(text);
  m_library = std::move(library);
  if (m_fd >= 0) ::close(m_fd);
  m_fd = file.Release();
  m_path = absolutePath;
  m_string = text;
  m_data = data;
  return true;
}

void CResourceLibrary::Unload() {
  if (m_installsTextSource && m_string != nullptr) SetResourceStringSource(nullptr);
  m_string = nullptr;
  m_data = nullptr;
  m_path.clear();
  m_library.Close();
  if (m_fd >= 0) ::close(std::exchange(m_fd, -1));
}

std::string CResourceLibrary::String(unsigned id) const {
  return LibraryResText(m_string != nullptr ? m_string(id) : nullptr);
}

std::span<const unsigned char> CResourceLibrary::Data(unsigned kind, unsigned id) const {
  const unsigned char* bytes = nullptr;
  unsigned long size = 0;
  if (m_data == nullptr || m_data(kind, id, &bytes, &size) == 0 || bytes == nullptr) return {};
  return {bytes, static_cast<std::size_t>(size)};
}

CResourceLibrary& ResourceLibrary() {
  static CResourceLibrary* library = new CResourceLibrary(true);
  return *library;
}

std::string FindResourceLibrary(const std::string& executableFolder) {
  if (executableFolder.empty()) return {};
  const std::string candidates[] = {
      executableFolder + "/libsvres.so",
      executableFolder + "/../lib/sorvani-recovery/libsvres.so",
  };
  for (const std::string& candidate : candidates)
    if (FileExists(candidate)) return candidate;
  return candidates[0];
}

std::string FindResourceLibrary() { return FindResourceLibrary(ExecutableFolder()); }

}  // namespace sorvani
