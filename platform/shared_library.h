// A shared library loaded at run time by absolute path.
#pragma once

#include <string>

namespace sorvani {

class CSharedLibrary {
 public:
  CSharedLibrary() = default;
  ~CSharedLibrary();
  CSharedLibrary(const CSharedLibrary&) = delete;
  CSharedLibrary& operator=(const CSharedLibrary&) = delete;
  CSharedLibrary(CSharedLibrary&& other) noexcept;
  CSharedLibrary& operator=(CSharedLibrary&& other) noexcept;

  // Loads `absolutePath` with every symbol bound now and none offered to later loads. A relative
  // path is refused without searching anywhere. False with `error` set on failure.
  bool Open(const std::string& absolutePath, std::string& error);
  void Close();
  bool IsOpen() const { return m_handle != nullptr; }

  // The address of `name`, or null with `error` set.
  void* Symbol(const char* name, std::string& error) const;

 private:
  void* m_handle = nullptr;
};

}  // namespace sorvani
