// The raw stream of an encrypted file, built from a synthetic FILE record on a memory volume:
// header bytes, the $EFS copy, the data header, block sizes at the 64 KiB boundary, and the
// same bytes whatever buffer size the importer pulls with.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "disk/drive_table.h"
#include "foundation/endian.h"
#include "ntfs/ntfs_file.h"
#include "ntfs/ntfs_volume.h"
#include "recovery/efs_import.h"
#include "tests/util/fault_source.h"

namespace sorvani {
namespace {

constexpr std::uint32_t kCluster = 4096;
constexpr std::uint32_t kRecordSize = 1024;
constexpr std::uint64_t kDataCluster = 10;

std::vector<std::uint8_t> EfsMetadata() {
  std::vector<std::uint8_t> efs(300);
  for (std::size_t i = 0; i < efs.size(); ++i) efs[i] = static_cast<std::uint8_t>(i * 7 + 3);
  WriteLe32(efs.data(), static_cast<std::uint32_t>(efs.size()));  // the size it claims
  return efs;
}

std::uint8_t DataByte(std::uint64_t i) { return static_cast<std::uint8_t>((i * 131) ^ (i >> 9)); }

// A FILE record with a $DATA of `dataSize` bytes (non-resident at cluster 10, or resident
// when empty) and a resident $EFS.
std::vector<std::uint8_t> BuildRecord(std::uint64_t dataSize,
                                      const std::vector<std::uint8_t>& efs) {
  std::vector<std::uint8_t> r(kRecordSize, 0);
  std::memcpy(r.data(), "FILE", 4);
  WriteLe16(&r[4], 48);  // update sequence array
  WriteLe16(&r[6], 3);
  WriteLe16(&r[20], 56);  // first attribute
  WriteLe16(&r[22], 0);   // not in use: deleted
  WriteLe16(&r[48], 1);   // sequence number; saved words stay 0
  WriteLe16(&r[510], 1);
  WriteLe16(&r[1022], 1);
  std::size_t at = 56;
  if (dataSize == 0) {
    std::uint8_t* a = &r[at];
    WriteLe32(a, kAttrData);
    WriteLe32(a + 4, 24);
    WriteLe32(a + 16, 0);
    WriteLe16(a + 20, 24);
    at += 24;
  } else {
    std::uint64_t clusters = (dataSize + kCluster - 1) / kCluster;
    std::uint8_t* a = &r[at];
    WriteLe32(a, kAttrData);
    WriteLe32(a + 4, 80);
    a[8] = 1;
    WriteLe64(a + 16, 0);
    WriteLe64(a + 24, clusters - 1);
    WriteLe16(a + 32, 64);
    WriteLe64(a + 40, clusters * kCluster);
    WriteLe64(a + 48, dataSize);
    WriteLe64(a + 56, dataSize);
    a[64] = 0x11;  // one byte of length, one of offset
    a[65] = static_cast<std::uint8_t>(clusters);
    a[66] = static_cast<std::uint8_t>(kDataCluster);
    at += 80;
  }
  std::uint8_t* e = &r[at];
  std::uint32_t length = static_cast<std::uint32_t>((24 + 8 + efs.size() + 7) / 8 * 8);
  WriteLe32(e, kAttrEfs);
  WriteLe32(e + 4, length);
  e[9] = 4;  // name "$EFS"
  WriteLe16(e + 10, 24);
  WriteLe32(e + 16, static_cast<std::uint32_t>(efs.size()));
  WriteLe16(e + 20, 32);
  const char* name = "$EFS";
  for (int i = 0; i < 4; ++i) WriteLe16(e + 24 + 2 * i, static_cast<std::uint8_t>(name[i]));
  std::memcpy(e + 32, efs.data(), efs.size());
  at += length;
  WriteLe32(&r[at], kAttrEnd);
  return r;
}

class EfsImport : public ::testing::Test {
 protected:
  void SetUp() override {
    auto memory = std::make_shared<std::vector<std::uint8_t>>(64 * kCluster, 0);
    for (std::uint64_t i = 0; i < 20 * kCluster; ++i)
      (*memory)[kDataCluster * kCluster + i] = DataByte(i);
    DriveSource source;
    source.memory = memory;
    ASSERT_TRUE(CDriveTable::Instance().Assign('Y', source));
    ASSERT_TRUE(m_volume.AttachGeometry('Y', 512, kCluster, kRecordSize, 64));
  }

  // The whole stream for a file of `dataSize` bytes, pulled `pull` bytes at a time.
  std::vector<std::uint8_t> Stream(std::uint64_t dataSize, std::uint32_t pull) {
    auto buffer = BuildRecord(dataSize, EfsMetadata());
    CNtfsFile file;
    EXPECT_TRUE(file.ParseRecord(&m_volume, buffer, 40, false));
    EfsImportContext context;
    context.record = &file;
    std::vector<std::uint8_t> out, piece(pull);
    for (int calls = 0; calls < 10000000; ++calls) {
      std::uint32_t length = pull;
      EXPECT_EQ(EfsImportCallback(piece.data(), context, length), 0u);
      if (length == 0) break;
      out.insert(out.end(), piece.begin(), piece.begin() + length);
    }
    return out;
  }

  CNtfsVolume m_volume;
};

std::string Wide(const std::vector<std::uint8_t>& s, std::size_t at, std::size_t chars) {
  std::string out;
  for (std::size_t i = 0; i < chars; ++i)
    out += static_cast<char>(ReadLe16(ByteSpan(s), at + 2 * i));
  return out;
}

TEST_F(EfsImport, StreamLayoutAndBlockSizes) {
  const auto efs = EfsMetadata();
  const std::size_t dataHeaderAt = 66 + efs.size();
  const std::size_t firstBlockAt = dataHeaderAt + 42;

  auto empty = Stream(0, 4096);
  ASSERT_EQ(empty.size(), firstBlockAt);  // no data block
  ByteSpan s(empty);
  EXPECT_EQ(ReadLe32(s, 0), 256u);
  EXPECT_EQ(Wide(empty, 4, 5), std::string("ROBS\0", 5));
  EXPECT_EQ(ReadLe32(s, 20), 30u);
  EXPECT_EQ(Wide(empty, 24, 5), std::string("NTFS\0", 5));
  EXPECT_EQ(ReadLe32(s, 44), 2u);
  EXPECT_EQ(ReadLe32(s, 48), 0x03901910u);
  EXPECT_EQ(Wide(empty, 54, 5), std::string("GURE\0", 5));
  EXPECT_EQ(ReadLe16(s, 64), 0u);
  EXPECT_TRUE(std::equal(efs.begin(), efs.end(), empty.begin() + 66));
  EXPECT_EQ(ReadLe32(s, dataHeaderAt), 42u);
  EXPECT_EQ(Wide(empty, dataHeaderAt + 4, 5), std::string("NTFS\0", 5));
  EXPECT_EQ(ReadLe32(s, dataHeaderAt + 24), 14u);
  EXPECT_EQ(Wide(empty, dataHeaderAt + 28, 7), "::$DATA");

  auto full = Stream(65536, 4096);
  ASSERT_EQ(full.size(), firstBlockAt + 512 + 65536);
  ByteSpan f(full);
  EXPECT_EQ(ReadLe32(f, firstBlockAt), 65536u + 512);
  EXPECT_EQ(Wide(full, firstBlockAt + 4, 5), std::string("GURE\0", 5));
  EXPECT_EQ(ReadLe32(f, firstBlockAt + 18), 0u);
  EXPECT_EQ(ReadLe32(f, firstBlockAt + 22), 0x01F00000u);
  EXPECT_EQ(ReadLe32(f, firstBlockAt + 28), 65536u);
  EXPECT_EQ(ReadLe32(f, firstBlockAt + 32), 65536u);
  EXPECT_EQ(ReadLe32(f, firstBlockAt + 36), 0x0D0D0000u);
  EXPECT_EQ(ReadLe32(f, firstBlockAt + 40), 0x0001010Cu);
  EXPECT_EQ(ReadLe32(f, firstBlockAt + 44), 65536u);
  for (std::uint64_t i = 0; i < 65536; i += 4099)
    EXPECT_EQ(full[firstBlockAt + 512 + i], DataByte(i));

  auto over = Stream(65537, 4096);
  const std::size_t second = firstBlockAt + 512 + 65536;
  ASSERT_EQ(over.size(), second + 512 + 512);  // the last piece comes as a whole sector
  ByteSpan o(over);
  EXPECT_EQ(ReadLe32(o, second), 512u + 512);
  EXPECT_EQ(ReadLe32(o, second + 18), 1u);
  EXPECT_EQ(ReadLe32(o, second + 28), 1u);
  EXPECT_EQ(ReadLe32(o, second + 44), 512u);
  EXPECT_EQ(over[second + 512], DataByte(65536));
}

TEST_F(EfsImport, SameBytesWhateverTheBufferSize) {
  auto reference = Stream(65537, 1 << 20);
  for (std::uint32_t pull : {1u, 7u, 65u, 511u, 512u, 4096u, 70000u}) {
    EXPECT_EQ(Stream(65537, pull), reference) << "pulling " << pull << " bytes at a time";
  }
}

// Ciphertext that cannot be read: the stream is built whole (zeros in its place, so the rest
// of the file can still be decrypted block by block) and the bytes are listed for the report.
TEST_F(EfsImport, UnreadableCiphertextIsZerosAndListed) {
  auto memory = CDriveTable::Instance().Find('Y')->memory;
  auto source = std::make_unique<test::CFaultSource>(std::make_unique<CMemorySource>(memory));
  source->FailRange(kDataCluster * kCluster + 1024, 512);
  CNtfsVolume faulty;
  faulty.AttachDevice(std::move(source));
  ASSERT_TRUE(faulty.AttachGeometry('Y', 512, kCluster, kRecordSize, 64));
  auto buffer = BuildRecord(8192, EfsMetadata());
  CNtfsFile file;
  ASSERT_TRUE(file.ParseRecord(&faulty, buffer, 43, false));
  EfsImportContext context;
  context.record = &file;
  std::vector<std::uint8_t> out, piece(4096);
  for (int calls = 0; calls < 100; ++calls) {
    std::uint32_t length = 4096;
    ASSERT_EQ(EfsImportCallback(piece.data(), context, length), 0u);
    if (length == 0) break;
    out.insert(out.end(), piece.begin(), piece.begin() + length);
  }
  const std::size_t dataAt = 66 + EfsMetadata().size() + 42 + 512;
  ASSERT_EQ(out.size(), dataAt + 8192);
  ASSERT_NE(context.data, nullptr);
  ASSERT_EQ(context.data->Faults().Ranges().size(), 1u);
  EXPECT_EQ(context.data->Faults().Ranges()[0].offset, 1024u);
  EXPECT_EQ(context.data->Faults().Ranges()[0].length, 512u);
  for (std::size_t i = 0; i < 8192; ++i) {
    std::uint8_t expect = i >= 1024 && i < 1536 ? 0 : DataByte(i);
    if (out[dataAt + i] != expect) {
      ADD_FAILURE() << "byte " << i;
      break;
    }
  }
}

// A stop in the middle of the ciphertext ends the import as a failure: the truncated stream
// left behind is never taken for a complete one.
TEST_F(EfsImport, AStopMidStreamIsAFailureNotAnEnd) {
  auto buffer = BuildRecord(65537, EfsMetadata());
  CNtfsFile file;
  ASSERT_TRUE(file.ParseRecord(&m_volume, buffer, 42, false));
  ManualResetEvent cancel;
  EfsImportContext context;
  context.record = &file;
  context.cancel = &cancel;
  std::vector<std::uint8_t> piece(4096);
  std::uint32_t rc = 0;
  std::uint64_t delivered = 0;
  for (int calls = 0; calls < 1000; ++calls) {
    std::uint32_t length = 4096;
    rc = EfsImportCallback(piece.data(), context, length);
    if (rc != 0 || length == 0) break;
    delivered += length;
    if (delivered > 8192) cancel.Set();
  }
  EXPECT_EQ(rc, kEfsErrorCancelled);
  EXPECT_LT(context.fileBytes, 65537u);
}

TEST_F(EfsImport, MissingAttributesEndTheImport) {
  auto buffer = BuildRecord(100, EfsMetadata());
  // Turn $EFS into an unnamed type-0x100 attribute ($TXF_DATA-like): not key data.
  std::size_t efsAt = 56 + 80;
  buffer[efsAt + 9] = 0;
  CNtfsFile file;
  ASSERT_TRUE(file.ParseRecord(&m_volume, buffer, 41, false));
  EXPECT_EQ(FindEfsAttribute(file), nullptr);
  EfsImportContext context;
  context.record = &file;
  std::vector<std::uint8_t> piece(512);
  std::uint32_t length = 512;
  EXPECT_EQ(EfsImportCallback(piece.data(), context, length), kEfsErrorInvalidData);
}

}  // namespace
}  // namespace sorvani
