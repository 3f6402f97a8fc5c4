// The machine the desktop suites browse: one disk "ATA TestDisk" whose two partitions are the
// NTFS and FAT32 fixtures (C: and D:), and on request an empty optical drive (E:) and an NFS
// share (Z:), read through the program's own enumeration into the process-wide drive tables,
// which the volume facts read as they do in the program.
#pragma once

#include <memory>
#include <string>

namespace sorvani {
class CSession;
}

namespace sorvani::test {

class CFakeSystem;

class CFakeMachine {
 public:
  // Built in the scratch folder `name`; the drive table and tables are emptied first.
  explicit CFakeMachine(const std::string& name, bool withOpticalAndShare = false);
  // Empties the process-wide tables again.
  ~CFakeMachine();

  // False when a fixture is absent or the enumeration failed.
  bool Ok() const { return m_ok; }
  CSession& Session() { return *m_session; }
  const std::string& NtfsImage() const { return m_ntfs; }
  const std::string& FatImage() const { return m_fat; }

 private:
  std::unique_ptr<CFakeSystem> m_fake;
  std::unique_ptr<CSession> m_session;
  std::string m_ntfs, m_fat;
  bool m_ok = false;
};

}  // namespace sorvani::test
