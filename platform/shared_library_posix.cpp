#include "platform/shared_library.h"

#include <dlfcn.h>

#include <utility>

namespace sorvani {

namespace {

std::string LastDlError() {
  const char* text = dlerror();
  return text != nullptr ? text : "unknown dynamic loader error";
}

}  // namespace

CSharedLibrary::~CSharedLibrary() { Close(); }

CSharedLibrary::CSharedLibrary(CSharedLibrary&& other) noexcept
    : m_handle(std::exchange(other.m_handle, nullptr)) {}

CSharedLibrary& CSharedLibrary::operator=(CSharedLibrary&& other) noexcept {
  if (this != &other) {
    Close();
    m_handle = std::exchange(other.m_handle, nullptr);
  }
  return *this;
}

bool CSharedLibrary::Open(const std::string& absolutePath, std::string& error) {
  Close();
  // dlopen searches the library path for a name without a slash; only a full path is taken.
  if (absolutePath.empty() || absolutePath.front() != '/') {
    error = "not an absolute path: '" + absolutePath + "'";
    return false;
  }
  dlerror();
  m_handle = dlopen(absolutePath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (m_handle == nullptr) {
    error = LastDlError();
    return false;
  }
  return true;
}

void CSharedLibrary::Close() {
  if (m_handle != nullptr) dlclose(std::exchange(m_handle, nullptr));
}

void* CSharedLibrary::Symbol(const char* name, std::string& error) const {
  if (m_handle == nullptr) {
    error = "no library loaded";
    return nullptr;
  }
  dlerror();
  void* address = dlsym(m_handle, name);
  if (address == nullptr) error = LastDlError();
  return address;
}

}  // namespace sorvani
