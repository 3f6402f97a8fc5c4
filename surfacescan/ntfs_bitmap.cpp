// The NTFS volume's $Bitmap stream as the scan reads it.
#include "ntfs/ntfs_volume.h"
#include "surfacescan/surface_scan.h"

namespace sorvani {
namespace {

class CNtfsBitmapStream final : public IClusterBitmap {
 public:
  explicit CNtfsBitmapStream(CNtfsFileAttr& data) : m_data(data) {}
  std::uint64_t Size() const override { return m_data.RealSize(); }
  bool Seek(std::uint64_t position) override { return m_data.Seek(position); }
  bool Read(void* destination, std::uint32_t size, std::uint32_t& got) override {
    return m_data.Read(destination, size, got, false);
  }

 private:
  CNtfsFileAttr& m_data;
};

}  // namespace

std::unique_ptr<IClusterBitmap> OpenNtfsBitmap(CVolume& volume) {
  auto* ntfs = dynamic_cast<CNtfsVolume*>(&volume);
  if (!ntfs) return nullptr;
  CNtfsFileAttr* data = ntfs->BitmapFile().FindAttribute(kAttrData, "");
  if (!data) return nullptr;
  return std::make_unique<CNtfsBitmapStream>(*data);
}

}  // namespace sorvani
