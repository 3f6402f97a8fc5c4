#include "tests/surfacescan/carve_test_support.h"

#include <cstring>
#include <sstream>

#include "disk/drive_table.h"
#include "tests/util/fixtures.h"

namespace sorvani::test {

CMemoryVolume::CMemoryVolume(Bytes bytes, std::uint32_t unitSize, char letter) {
  DriveSource source;
  source.memory = std::make_shared<const Bytes>(std::move(bytes));
  CDriveTable::Instance().Assign(letter, source);
  m_driveLetter = letter;
  m_bytesPerSector = 512;
  m_bytesPerCluster = unitSize;
  Open();
}

CMemoryVolume::~CMemoryVolume() { CDriveTable::Instance().Remove(m_driveLetter); }

std::vector<PictureRow> LoadPictures(const std::string& manifestName) {
  std::vector<PictureRow> rows;
  std::istringstream in(FixtureText(manifestName));
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f;
    std::stringstream ls(line);
    std::string cell;
    while (std::getline(ls, cell, '\t')) f.push_back(cell);
    // A header row may lack the leading '#'.
    if (f.size() < 5 || f[3].empty() || f[3].find_first_not_of("0123456789") != std::string::npos)
      continue;
    PictureRow row;
    row.name = f[0];
    row.deleted = f[1] == "1" || f[1] == "yes" || f[1] == "true";
    row.sha256 = f[2];
    row.size = std::stoull(f[3]);
    row.type = f[4];
    if (f.size() > 5) row.layout = f[5];
    rows.push_back(row);
  }
  return rows;
}

Bytes ReadCarved(CVolume& volume, const CarvedFile& file) {
  Bytes out(file.size);
  std::uint32_t got = file.size;
  if (!volume.ReadRaw(file.startUnit, file.offset, out.data(), got)) got = 0;
  out.resize(got);
  return out;
}

Bytes Filler(std::size_t total, std::uint32_t seed) {
  Bytes b(total);
  std::uint32_t x = seed * 2654435761u + 1;
  for (auto& v : b) {
    x = x * 1103515245u + 12345u;
    v = static_cast<std::uint8_t>((x >> 16) % 0xF0) + 1;  // 1 .. 0xF0: no FF, no 0
  }
  return b;
}

}  // namespace sorvani::test
