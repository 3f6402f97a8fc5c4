// Shared pieces of the surface-scan tests: a volume over memory, a collecting sink, the
// picture manifests of the carving fixtures and SHA-256 to compare against them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "disk/volume.h"
#include "surfacescan/surface_scan.h"
#include "tests/util/sha256.h"

namespace sorvani::test {

using Bytes = std::vector<std::uint8_t>;

// A raw volume over `bytes` with the given unit size, mapped to `letter` in the drive table
// for as long as it lives.
class CMemoryVolume : public CVolume {
 public:
  CMemoryVolume(Bytes bytes, std::uint32_t unitSize, char letter = 'Q');
  ~CMemoryVolume() override;
};

class CCollectingSink : public ICarvedFileSink {
 public:
  void Append(const CarvedFile& file) override { files.push_back(file); }
  void ShowError(const std::string& text, const std::string& caption) override {
    errors.push_back(caption + ": " + text);
  }
  std::vector<CarvedFile> files;
  std::vector<std::string> errors;
};

struct PictureRow {
  std::string name;
  bool deleted = false;
  std::string sha256;
  std::uint64_t size = 0;
  std::string type;
  std::string layout;  // contiguous, fragmented, overwritten, resident, live; "" when unknown
};
// Rows of a committed "IMAGE.pictures.tsv" answer key; empty when it is missing.
std::vector<PictureRow> LoadPictures(const std::string& manifestName);

// The bytes of a carved file, read back through ReadRaw.
Bytes ReadCarved(CVolume& volume, const CarvedFile& file);

// Builds `total` bytes of filler that holds no picture signature and no FF byte.
Bytes Filler(std::size_t total, std::uint32_t seed = 1);

}  // namespace sorvani::test
