// The single-instance lock of the desktop program and the private folder that holds it (and the
// socket a second start uses to wake the first).
#pragma once

#include <string>

namespace sorvani {

// The private folder for the lock file and the activation socket:
// $XDG_RUNTIME_DIR/SorvaniRecovery when XDG_RUNTIME_DIR is absolute, a folder of the effective
// user and not writable by group or others; otherwise the profile folder. The runtime folder is
// created with mode 0700, and one that already exists with another owner or any group/other
// access is passed over. The fallback must be owned by the effective user and not writable by
// group or others. Empty when neither qualifies. With `create` false nothing is created and
// the path that would be used is returned (a probe must leave no trace).
std::string InstanceFolder(bool create = true);

// An exclusive flock on "<folder>/instance.lock", held until Unlock or destruction. The file is
// never removed: a lock file left by a crashed process is simply locked again, and removing it
// would let two processes lock two different files of the same name.
class CInstanceLock {
 public:
  CInstanceLock() = default;
  ~CInstanceLock();
  CInstanceLock(const CInstanceLock&) = delete;
  CInstanceLock& operator=(const CInstanceLock&) = delete;

  // False when another open of the file holds the lock (or the file cannot be opened).
  bool TryLock(const std::string& folder);
  bool Locked() const { return m_fd >= 0; }
  void Unlock();

 private:
  int m_fd = -1;
};

// True when some process holds the lock in `folder`. Creates neither the folder nor the file.
bool InstanceRunning(const std::string& folder);

}  // namespace sorvani
