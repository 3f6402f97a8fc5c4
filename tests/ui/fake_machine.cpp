#include "tests/ui/fake_machine.h"

#include <filesystem>

#include "app/session.h"
#include "disk/drive_enum.h"
#include "tests/drives/fake_system.h"
#include "tests/util/fixtures.h"

namespace sorvani::test {

namespace {

std::uint64_t Sectors(const std::string& path) {
  std::error_code error;
  const std::uintmax_t bytes = std::filesystem::file_size(path, error);
  return error ? 0 : bytes / 512;
}

void ClearTables() {
  CDriveTable::Instance().Clear();
  LogicalDiskMap.clear();
  DiskList.clear();
  DriveDiskMap.clear();
}

}  // namespace

CFakeMachine::CFakeMachine(const std::string& name, bool withOpticalAndShare)
    : m_ntfs(Fixture("ntfs-4k.img")), m_fat(Fixture("fat32.img")) {
  ClearTables();
  m_fake = std::make_unique<CFakeSystem>(ScratchFolder(name));
  const std::uint64_t ntfsSectors = Sectors(m_ntfs), fatSectors = Sectors(m_fat);
  m_fake->AddDisk(MakeDisk("sda", 8, 0, 2048 + ntfsSectors + fatSectors, false, "ATA", "TestDisk"));
  m_fake->AddPartition("sda", 1, 8, 1, ntfsSectors);
  m_fake->LinkDevNode("sda1", m_ntfs);
  m_fake->AddPartition("sda", 2, 8, 2, fatSectors);
  m_fake->LinkDevNode("sda2", m_fat);
  if (withOpticalAndShare) {
    m_fake->AddDisk(MakeDisk("sr0", 11, 0, 0, true, "HL-DT-ST", "DVD-RAM GH22NS50"));
    m_fake->AddMountLine("30 1 0:50 / /mnt/share rw - nfs4 server:/export rw,vers=4.2");
  }
  const bool enumerated = RetreiveHardwareInfo(m_fake->Roots()) == 0;
  m_session = std::make_unique<CSession>(CDriveTable::Instance(),
                                         DriveTables{LogicalDiskMap, DiskList, DriveDiskMap});
  auto fsName = [](char letter) {
    auto it = LogicalDiskMap.find(letter);
    return it == LogicalDiskMap.end() ? std::string() : it->second.fsName;
  };
  m_ok = ntfsSectors != 0 && fatSectors != 0 && enumerated && fsName('C') == "NTFS" &&
         fsName('D') == "FAT32";
}

CFakeMachine::~CFakeMachine() {
  m_session.reset();
  ClearTables();
}

}  // namespace sorvani::test
