// The desktop program's resource library (libsvres.so): texts, icons, pictures, animations and
// sounds by number. The program may run as root, so a library is loaded only by absolute path and
// only when nobody but root or the running user could have changed it.
#pragma once

#include <span>
#include <string>

#include "platform/shared_library.h"
#include "svres/svres_abi.h"

namespace sorvani {

class CResourceLibrary {
 public:
  // `installsTextSource`: a successful Load makes LoadResString (and so every engine text) come
  // from this library. Only the process-wide instance does.
  explicit CResourceLibrary(bool installsTextSource = false);
  ~CResourceLibrary();
  CResourceLibrary(const CResourceLibrary&) = delete;
  CResourceLibrary& operator=(const CResourceLibrary&) = delete;

  // Loads the library at `absolutePath`. Refused, with `error` saying why, when the path is
  // relative, the file is not a regular file, is owned by neither root nor the effective user, is
  // writable by group or others, cannot be loaded, lacks a svres_ function, or speaks another
  // interface version. A refused load leaves a library loaded before in place.
  bool Load(const std::string& absolutePath, std::string& error);
  void Unload();
  bool IsLoaded() const { return m_string != nullptr; }
  const std::string& Path() const { return m_path; }

  // Text `id` cut to kMaxResStringBytes; "Resource not available!" when absent or not loaded.
  std::string String(unsigned id) const;
  // The bytes of resource (kind, id), owned by the library; empty when absent or not loaded.
  std::span<const unsigned char> Data(unsigned kind, unsigned id) const;

 private:
  bool m_installsTextSource;
  CSharedLibrary m_library;
  int m_fd = -1;  // the loaded file, open as long as it is loaded
  std::string m_path;
  SvresStringFunction m_string = nullptr;
  SvresDataFunction m_data = nullptr;
};

// The process-wide library; lives until the process ends (never unloaded under a late reader).
CResourceLibrary& ResourceLibrary();

// Where the program's library is: the first existing of <executable folder>/libsvres.so and
// <executable folder>/../lib/sorvani-recovery/libsvres.so; the first candidate when neither
// exists (so the load error names it); empty when the executable's folder is unknown.
std::string FindResourceLibrary();
std::string FindResourceLibrary(const std::string& executableFolder);

}  // namespace sorvani
