// Focused cases of the reader over records and volumes built in memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>

#include "disk/drive_table.h"
#include "ntfs/ntfs_attr_types.h"
#include "ntfs/ntfs_index.h"
#include "ntfs/ntfs_volume.h"
#include "tests/ntfs/ntfs_builder.h"
#include "tests/util/fault_source.h"

namespace sorvani {
namespace {

using namespace sorvani::test;

DriveSource MemorySource(std::shared_ptr<std::vector<std::uint8_t>> bytes) {
  DriveSource s;
  s.memory = std::move(bytes);
  return s;
}

// A volume of `clusters` clusters whose bytes are a position-dependent pattern.
struct MemVolume {
  MemVolume(std::uint32_t bpc, std::uint64_t clusters)
      : image(std::make_shared<std::vector<std::uint8_t>>(bpc * clusters)) {
    for (std::size_t i = 0; i < image->size(); ++i)
      (*image)[i] = static_cast<std::uint8_t>((i * 7 + i / 509) % 251);
    CDriveTable::Instance().Assign('M', MemorySource(image));
    volume.AttachGeometry('M', 512, bpc, 1024, clusters);
  }
  ~MemVolume() { CDriveTable::Instance().Remove('M'); }
  // Parses a record holding `attrs` into `file`.
  bool Load(CNtfsFile& file, const std::vector<Bytes>& attrs, std::uint16_t flags = 1) {
    Bytes r = Record(attrs, flags);
    return file.ParseRecord(&volume, r, 42, false);
  }
  Bytes Slice(std::uint64_t offset, std::size_t n) const {
    return Bytes(image->begin() + static_cast<long>(offset),
                 image->begin() + static_cast<long>(offset + n));
  }
  std::shared_ptr<std::vector<std::uint8_t>> image;
  CNtfsVolume volume;
};

Bytes ReadAll(CNtfsFileAttr& a, std::uint32_t piece) {
  Bytes out;
  EXPECT_TRUE(a.Seek(0));
  Bytes buf(piece);
  for (;;) {
    std::uint32_t got = 0;
    EXPECT_TRUE(a.Read(buf.data(), piece, got));
    if (got == 0) break;
    out.insert(out.end(), buf.begin(), buf.begin() + got);
  }
  return out;
}

TEST(NtfsRuns, DecodesLengthsDeltasAndRefusesBadHeaders) {
  std::vector<DataRun> runs;
  const std::uint64_t max = 1ull << 40;
  ASSERT_TRUE(DecodeRunList(Bytes{0x21, 0x18, 0x34, 0x56, 0x00}, max, runs));
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].length, 0x18u);
  EXPECT_EQ(runs[0].lcnDelta, 0x5634);

  ASSERT_TRUE(DecodeRunList(Bytes{0x11, 0x04, 0x40, 0x31, 0x08, 0x00, 0x00, 0xF0, 0x01, 0x10, 0x00},
                            max, runs));
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[1].length, 8u);
  EXPECT_EQ(runs[1].lcnDelta, -0x100000);
  EXPECT_EQ(runs[2].length, 16u);
  EXPECT_TRUE(runs[2].sparse);  // no offset bytes
  EXPECT_FALSE(runs[0].sparse);
  // An offset written as 0 is a run at cluster 0 (as $Boot's is), not a hole.
  ASSERT_TRUE(DecodeRunList(Bytes{0x11, 0x08, 0x00, 0x00}, max, runs));
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_FALSE(runs[0].sparse);

  EXPECT_FALSE(DecodeRunList(Bytes{0x19, 1, 2, 3, 4, 5, 6, 7, 8, 9, 1}, max, runs));
  EXPECT_FALSE(DecodeRunList(Bytes{0x91, 1, 2, 3, 4, 5, 6, 7, 8, 9, 1}, max, runs));
  // A run whose fields cross the end of the list ends it without a run.
  ASSERT_TRUE(DecodeRunList(Bytes{0x11, 0x04, 0x40, 0x33, 0x01}, max, runs));
  EXPECT_EQ(runs.size(), 1u);
  // Lengths beyond what the volume could address, and start clusters that overflow.
  EXPECT_FALSE(DecodeRunList(Bytes{0x08, 0, 0, 0, 0, 0, 0, 0, 0x10}, max, runs));
  EXPECT_FALSE(DecodeRunList(
      Bytes{0x81, 1, 0, 0, 0, 0, 0, 0, 0, 0x7F, 0x81, 1, 0, 0, 0, 0, 0, 0, 0, 0x7F}, max, runs));
}

TEST(NtfsRecords, NamesSizesFlagsAndDeletedRecords) {
  MemVolume m(512, 64);
  CNtfsFile f;
  // A deleted file: DOS name first, Win32 name second, $FILE_NAME size 0 while $DATA has 5000.
  ASSERT_TRUE(m.Load(f,
                     {ResidentAttr(0x10, StandardInfoValue(0x10000020)),
                      ResidentAttr(0x30, FileNameValue(u"LONGNA~1.TXT", 77, 2)),
                      ResidentAttr(0x30, FileNameValue(u"long name.txt", 77, 1, 0x20, 0)),
                      NonResidentAttr(0x80, Bytes{0x11, 10, 5}, 5000, 5000)},
                     /*flags=*/0));
  EXPECT_TRUE(f.IsValid());
  EXPECT_FALSE(f.InUse());
  std::string name;
  std::uint64_t size = 1, created = 0, modified = 0;
  std::uint32_t attributes = 0, parent = 0;
  ASSERT_TRUE(f.GetNameInfo(name, size, attributes, parent, created, modified));
  EXPECT_EQ(name, "long name.txt");
  EXPECT_EQ(parent, 77u);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(attributes, 0x30u);  // archive + the folder bit folded into 0x10
  EXPECT_EQ(f.GetDataSize(), 5000u);

  // Only a POSIX name: that one is reported; non-ASCII names come out as UTF-8.
  ASSERT_TRUE(m.Load(f, {ResidentAttr(0x30, FileNameValue(u"\u00C4rger \u03A3", 5, 0))}));
  ASSERT_TRUE(f.GetNameInfo(name, size, attributes, parent, created, modified));
  EXPECT_EQ(name, "\xC3\x84rger \xCE\xA3");

  // namesOnly leaves data attributes unbuilt.
  Bytes r = Record({ResidentAttr(0x30, FileNameValue(u"a", 5, 1)),
                    NonResidentAttr(0x80, Bytes{0x11, 10, 5}, 5000, 5000)});
  ASSERT_TRUE(f.ParseRecord(&m.volume, r, 9, true));
  EXPECT_EQ(f.GetDataSize(), 0u);
  EXPECT_EQ(f.AttributeCount(), 1u);

  // Types without a class of their own are plain attributes, named in the dump.
  ASSERT_TRUE(m.Load(f, {ResidentAttr(0x40, Bytes(16, 1)), ResidentAttr(0x120, Bytes(4, 2))}));
  ASSERT_EQ(f.AttributeCount(), 2u);
  EXPECT_NE(f.DumpText().find("type=$OBJECT_ID"), std::string::npos);
  EXPECT_NE(f.DumpText().find("type=UNKNOWN_TYPE"), std::string::npos);
  EXPECT_EQ(f.DumpText().rfind("FILE rec#=42\nValid=1 InUse=1\n", 0), 0u);
}

TEST(NtfsRecords, DumpsShowNamesAndBytesWithoutControlCharacters) {
  // A file name and a stream name carrying terminal controls, and a hex dump of raw bytes:
  // each dump line stays one line, and only the dump's own tabs and line breaks are in it.
  MemVolume m(512, 64);
  CNtfsFile f;
  ASSERT_TRUE(m.Load(f, {ResidentAttr(0x30, FileNameValue(u"a\x1b[2J\nb", 5, 1))}));
  std::string text = f.DumpText();
  EXPECT_NE(text.find("  Name=a\\x1b[2J\\x0ab\n"), std::string::npos) << text;

  Bytes bytes;
  for (int i = 0; i < 48; ++i) bytes.push_back(static_cast<std::uint8_t>(i * 7 + 1));
  bytes[16] = 0x1b;
  bytes[17] = 'Z';
  std::string dump;
  AppendHexDump(dump, bytes);
  for (char c : dump) {
    auto u = static_cast<unsigned char>(c);
    EXPECT_TRUE((u >= 0x20 && u < 0x7F) || c == '\n' || c == '\t') << "byte " << int(u);
  }
  // The character column of the second row: printable bytes as themselves, others as '.'.
  EXPECT_NE(dump.find(".Z"), std::string::npos) << dump;
  EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), 5);
}

TEST(NtfsRecords, DamagedRecordsFailOrAreCut) {
  MemVolume m(512, 64);
  CNtfsFile f;
  Bytes good = Record({ResidentAttr(0x30, FileNameValue(u"x", 5, 1))});

  // Torn write: the second sector's update sequence value does not match.
  Bytes torn = good;
  torn[1022] ^= 0xFF;
  EXPECT_FALSE(f.ParseRecord(&m.volume, torn, 1, false));
  EXPECT_FALSE(f.IsValid());

  // Wrong signature, an extension record, and a record too short for its header.
  Bytes bad = good;
  bad[0] = 'B';
  EXPECT_FALSE(f.ParseRecord(&m.volume, bad, 1, false));
  Bytes extension = Record({ResidentAttr(0x30, FileNameValue(u"x", 5, 1))}, 1, 1024, 33);
  EXPECT_FALSE(f.ParseRecord(&m.volume, extension, 1, false));
  Bytes tiny(40, 0);
  EXPECT_FALSE(f.ParseRecord(&m.volume, tiny, 1, false));

  // The update sequence array itself lies outside the record.
  Bytes usaOut = good;
  Put16(usaOut, 4, 1020);
  EXPECT_FALSE(f.ParseRecord(&m.volume, usaOut, 1, false));

  // An attribute whose length runs past the record ends the walk; those before it stay.
  Bytes longAttr = ResidentAttr(0x80, Bytes(8, 0));
  Bytes cut = Record({ResidentAttr(0x30, FileNameValue(u"kept", 5, 1)), longAttr});
  std::size_t second = 56 + ResidentAttr(0x30, FileNameValue(u"kept", 5, 1)).size();
  Put32(cut, second + 4, 5000);
  ASSERT_TRUE(f.ParseRecord(&m.volume, cut, 1, false));
  EXPECT_EQ(f.AttributeCount(), 1u);

  // A $FILE_NAME claiming a 200-unit name in a short value is dropped.
  Bytes fn = FileNameValue(u"short", 5, 1);
  fn[64] = 200;
  ASSERT_TRUE(m.Load(f, {ResidentAttr(0x30, fn)}));
  EXPECT_EQ(f.AttributeCount(), 0u);

  // Name and value offsets outside the attribute, a run header 0x19: each attribute is
  // dropped, the record still loads.
  Bytes nameOut = ResidentAttr(0x80, Bytes(8, 0));
  nameOut[9] = 40;
  Bytes valueOut = ResidentAttr(0x80, Bytes(8, 0));
  Put32(valueOut, 16, 0x7FFFFFFF);
  ASSERT_TRUE(m.Load(f, {nameOut, valueOut, NonResidentAttr(0x80, Bytes{0x19, 1, 2}, 10, 10)}));
  EXPECT_EQ(f.AttributeCount(), 0u);
}

TEST(NtfsStreams, RunsSparseAndInitializedSize) {
  MemVolume m(512, 64);
  CNtfsFile f;
  // Clusters 10-11, a 2-cluster hole, then clusters 4-5 (delta -6).
  ASSERT_TRUE(
      m.Load(f, {NonResidentAttr(0x80, Bytes{0x11, 2, 10, 0x01, 2, 0x11, 2, 0xFA}, 3000, 3000)}));
  CNtfsFileAttr* a = f.FindAttribute(kAttrData);
  ASSERT_NE(a, nullptr);
  Bytes want = m.Slice(10 * 512, 1024);
  want.resize(2048, 0);
  Bytes tail = m.Slice(4 * 512, 952);
  want.insert(want.end(), tail.begin(), tail.end());
  EXPECT_EQ(ReadAll(*a, 3000), want);
  EXPECT_EQ(ReadAll(*a, 333), want);  // pieces join to the same bytes

  // A 2-byte read at the last byte delivers one; positions past the runs cannot be reached.
  std::uint8_t two[2];
  std::uint32_t got = 0;
  ASSERT_TRUE(a->Seek(2999));
  ASSERT_TRUE(a->Read(two, 2, got));
  EXPECT_EQ(got, 1u);
  EXPECT_EQ(two[0], want[2999]);
  EXPECT_TRUE(a->Seek(6 * 512));
  EXPECT_FALSE(a->Seek(6 * 512 + 1));

  // Beyond the initialized size the stream reads as zeros, whatever the clusters hold.
  ASSERT_TRUE(m.Load(f, {NonResidentAttr(0x80, Bytes{0x11, 10, 20}, 5000, 1000)}));
  a = f.FindAttribute(kAttrData);
  Bytes init = m.Slice(20 * 512, 1000);
  init.resize(5000, 0);
  EXPECT_EQ(ReadAll(*a, 5000), init);

  // A size the runs do not hold is not made up with zeros: no runs at all read as nothing,
  // two clusters under a size of ten (one flipped bit) read as those two clusters.
  ASSERT_TRUE(m.Load(f, {NonResidentAttr(0x80, Bytes{}, 700, 700)}));
  a = f.FindAttribute(kAttrData);
  EXPECT_EQ(ReadAll(*a, 4096), Bytes());
  EXPECT_EQ(a->DataFound(), 0u);
  ASSERT_TRUE(m.Load(f, {NonResidentAttr(0x80, Bytes{0x11, 2, 40}, 10 * 512, 10 * 512)}));
  a = f.FindAttribute(kAttrData);
  EXPECT_EQ(a->DataFound(), 1024u);
  EXPECT_EQ(ReadAll(*a, 4096), m.Slice(40 * 512, 1024));

  // Whole sectors for the encrypted-file import: 100 bytes left, 512 delivered.
  ASSERT_TRUE(m.Load(f, {NonResidentAttr(0x80, Bytes{0x11, 2, 30}, 100, 100)}));
  a = f.FindAttribute(kAttrData);
  Bytes sector(512);
  ASSERT_TRUE(a->Seek(0));
  ASSERT_TRUE(a->Read(sector.data(), 512, got, true));
  EXPECT_EQ(got, 512u);
  EXPECT_EQ(sector, m.Slice(30 * 512, 512));

  // Runs pointing outside the volume fail the read instead of reading elsewhere.
  ASSERT_TRUE(m.Load(f, {NonResidentAttr(0x80, Bytes{0x31, 2, 0, 0, 0x10}, 1024, 1024)}));
  a = f.FindAttribute(kAttrData);
  ASSERT_TRUE(a->Seek(0));
  EXPECT_FALSE(a->Read(sector.data(), 512, got));
}

TEST(NtfsStreams, CompressedUnits) {
  MemVolume m(512, 128);
  auto& img = *m.image;
  // Unit 0 (VCN 0-15): clusters 40-48 hold a compressed chunk of 4096 'A's, a stored chunk
  // and the end header; 7 sparse clusters close the unit.
  Bytes unit0 = {0x03, 0xB0, 0x02, 'A', 0xFC, 0x0F, 0xFF, 0x3F};
  Bytes stored = m.Slice(90 * 512, 4096);
  unit0.insert(unit0.end(), stored.begin(), stored.end());
  unit0.push_back(0);
  unit0.push_back(0);
  std::copy(unit0.begin(), unit0.end(), img.begin() + 40 * 512);
  // Unit 2 (VCN 32-47): a first chunk header of 0 ends the unit's data.
  img[70 * 512] = 0;
  img[70 * 512 + 1] = 0;
  // Runs: 9 @40, 7 sparse | 16 @50 (a full unit: plain) | 1 @70, 15 sparse |
  //       4 @80, 2 sparse, 10 @84 (data after a hole: plain).
  Bytes runs = {0x11, 9,  40,   0x01, 7,  0x11, 16, 10,   0x11, 1, 20,
                0x01, 15, 0x11, 4,    10, 0x01, 2,  0x11, 10,   4};
  CNtfsFile f;
  ASSERT_TRUE(m.Load(f, {NonResidentAttr(0x80, runs, 64 * 512, 64 * 512, 4)}));
  CNtfsFileAttr* a = f.FindAttribute(kAttrData);
  ASSERT_NE(a, nullptr);
  ASSERT_TRUE(a->IsCompressed());
  Bytes want(4096, 'A');
  want.insert(want.end(), stored.begin(), stored.end());
  Bytes plain = m.Slice(50 * 512, 8192);
  want.insert(want.end(), plain.begin(), plain.end());
  want.resize(want.size() + 8192, 0);
  Bytes u3 = m.Slice(80 * 512, 2048);
  want.insert(want.end(), u3.begin(), u3.end());
  want.resize(want.size() + 1024, 0);
  Bytes u3b = m.Slice(84 * 512, 5120);
  want.insert(want.end(), u3b.begin(), u3b.end());
  ASSERT_EQ(want.size(), 64u * 512);
  EXPECT_EQ(ReadAll(*a, 64 * 512), want);
  EXPECT_EQ(ReadAll(*a, 1000), want);
  // The same runs without the compressed flag (a sparse file, which also carries a
  // compression unit) read as plain clusters and holes.
  Bytes sparse = NonResidentAttr(0x80, runs, 64 * 512, 64 * 512, 4);
  Put16(sparse, 12, 0x8000);
  CNtfsFile g;
  ASSERT_TRUE(m.Load(g, {sparse}));
  CNtfsFileAttr* s = g.FindAttribute(kAttrData);
  ASSERT_FALSE(s->IsCompressed());
  Bytes plainWant = m.Slice(40 * 512, 9 * 512);
  plainWant.resize(16 * 512, 0);
  Bytes plainGot = ReadAll(*s, 8192);
  plainGot.resize(16 * 512);
  EXPECT_EQ(plainGot, plainWant);
  // Reading from the middle of a compressed unit after a Seek.
  Bytes mid(100);
  std::uint32_t got = 0;
  ASSERT_TRUE(a->Seek(4090));
  ASSERT_TRUE(a->Read(mid.data(), 100, got));
  EXPECT_EQ(mid, Bytes(want.begin() + 4090, want.begin() + 4190));

  // A bad sector in a compressed unit's packed data: its decoded bytes cannot be told apart,
  // so the whole unit is listed as unreadable (strict reads fail); the next units read whole.
  CNtfsVolume faulty;
  auto source = std::make_unique<test::CFaultSource>(std::make_unique<CMemorySource>(m.image));
  source->FailRange(42 * 512, 512);
  faulty.AttachDevice(std::move(source));
  ASSERT_TRUE(faulty.AttachGeometry('M', 512, 512, 1024, 128));
  CNtfsFile h;
  Bytes record = Record({NonResidentAttr(0x80, runs, 64 * 512, 64 * 512, 4)});
  ASSERT_TRUE(h.ParseRecord(&faulty, record, 42, false));
  CNtfsFileAttr* c = h.FindAttribute(kAttrData);
  ASSERT_TRUE(c->Seek(0));
  Bytes all(64 * 512);
  EXPECT_FALSE(c->Read(all.data(), 64 * 512, got));
  c->SetTolerant(true);
  ASSERT_TRUE(c->Seek(0));
  ASSERT_TRUE(c->Read(all.data(), 64 * 512, got));
  EXPECT_EQ(got, 64u * 512);
  ASSERT_EQ(c->Faults().Ranges().size(), 1u);
  EXPECT_EQ(c->Faults().Ranges()[0].offset, 0u);
  EXPECT_EQ(c->Faults().Ranges()[0].length, 8192u);
  EXPECT_EQ(c->Faults().Ranges()[0].kind, ReadFault::kDeviceError);
  EXPECT_TRUE(std::equal(all.begin() + 8192, all.end(), want.begin() + 8192));
}

TEST(NtfsStreams, OverwrittenPercentFromBitmap) {
  MemVolume m(512, 64);
  // $Bitmap: clusters 10 and 13 in use, 20 in use; everything else free.
  Bytes bits(8, 0);
  bits[1] = (1 << 2) | (1 << 5);
  bits[2] = 1 << 4;
  Bytes bitmapRecord = Record({ResidentAttr(0x80, bits)});
  ASSERT_TRUE(m.volume.BitmapFile().ParseRecord(&m.volume, bitmapRecord, 6, false));

  CNtfsFile f;
  ASSERT_TRUE(m.Load(f, {NonResidentAttr(0x80, Bytes{0x11, 8, 8}, 4096, 4096)}));  // 8..15
  EXPECT_EQ(f.FindAttribute(kAttrData)->GetOverwrittenPercent(), 25u);
  ASSERT_TRUE(m.Load(f, {NonResidentAttr(0x80, Bytes{0x11, 3, 20}, 1536, 1536)}));  // 20..22
  EXPECT_EQ(f.FindAttribute(kAttrData)->GetOverwrittenPercent(), 33u);
  // Sparse runs hold no clusters and do not dilute the share.
  ASSERT_TRUE(m.Load(f, {NonResidentAttr(0x80, Bytes{0x11, 3, 20, 0x01, 30}, 20000, 20000)}));
  EXPECT_EQ(f.FindAttribute(kAttrData)->GetOverwrittenPercent(), 33u);
  // A run claiming 2^40 clusters is cut at the volume's end at once.
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(m.Load(f, {NonResidentAttr(0x80, Bytes{0x16, 0, 0, 0, 0, 0, 1, 8}, 1, 1)}));
  EXPECT_EQ(f.FindAttribute(kAttrData)->GetOverwrittenPercent(), 5u);  // 3 of clusters 8..63
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(NtfsIndex, BlockFixupAndEntryWalkStayInside) {
  MemVolume m(512, 16);
  Bytes block(1024, 0);
  std::copy_n("INDX", 4, block.begin());
  Put16(block, 4, 40);
  Put16(block, 6, 3);
  Put16(block, 40, 7);
  Put16(block, 510, 7);
  Put16(block, 1022, 7);
  Bytes copy = block;
  EXPECT_TRUE(m.volume.ApplyIndexFixup(copy, 1024));
  copy = block;
  Put16(copy, 1022, 8);
  EXPECT_FALSE(m.volume.ApplyIndexFixup(copy, 1024));
  copy = block;
  copy[0] = 'X';
  EXPECT_FALSE(m.volume.ApplyIndexFixup(copy, 1024));

  // An entry whose length runs past the node's bytes in use ends the walk before it.
  Bytes node(200, 0);
  Put32(node, 0, 16);   // first entry at 16
  Put32(node, 4, 120);  // bytes in use
  Put16(node, 16 + 8, 90);
  Put16(node, 16 + 10, 60);
  Put16(node, 106 + 8, 500);
  int seen = 0;
  EXPECT_FALSE(WalkIndexEntries(node, 0, [&](const IndexEntryView& e) {
    ++seen;
    EXPECT_EQ(e.key.size(), 60u);
    return true;
  }));
  EXPECT_EQ(seen, 1);
}

TEST(NtfsVolumeBoot, RejectsAbsurdGeometry) {
  auto boot = [](std::uint16_t bps, std::uint8_t spc, std::uint64_t mft, std::uint8_t perRecord) {
    auto img = std::make_shared<std::vector<std::uint8_t>>(64 * 1024, 0);
    Bytes& b = *img;
    std::copy_n("NTFS    ", 8, b.begin() + 3);
    Put16(b, 11, bps);
    b[13] = spc;
    Put64(b, 40, 127);
    Put64(b, 48, mft);
    b[64] = perRecord;
    Put16(b, 510, 0xAA55);
    return img;
  };
  struct Case {
    std::uint16_t bps;
    std::uint8_t spc;
    std::uint64_t mft;
    std::uint8_t perRecord;
  } bad[] = {{0, 8, 4, 0xF6},          {512, 3, 4, 0xF6}, {512, 0, 4, 0xF6}, {768, 1, 4, 0xF6},
             {512, 1, 1u << 30, 0xF6}, {512, 1, 4, 0x7F}, {512, 1, 4, 0xE0}};
  for (const Case& c : bad) {
    CDriveTable::Instance().Assign('M', MemorySource(boot(c.bps, c.spc, c.mft, c.perRecord)));
    CNtfsVolume v;
    EXPECT_FALSE(v.Initialize('M')) << c.bps << " " << int(c.spc) << " " << c.mft;
  }
  // Record size from the signed clusters-per-record byte (the volume still fails later:
  // it holds no records).
  struct Size {
    std::uint16_t bps;
    std::uint8_t spc;
    std::uint8_t perRecord;
    std::uint32_t want;
  } sizes[] = {{512, 8, 0xF6, 1024}, {512, 8, 0x02, 8192}, {512, 1, 0x01, 512}};
  for (const Size& s : sizes) {
    CDriveTable::Instance().Assign('M', MemorySource(boot(s.bps, s.spc, 1, s.perRecord)));
    CNtfsVolume v;
    EXPECT_FALSE(v.Initialize('M'));
    EXPECT_EQ(v.MftRecordSize(), s.want);
  }
  // A FAT boot sector is not NTFS.
  auto fat = boot(512, 8, 4, 0xF6);
  std::copy_n("MSDOS5.0", 8, fat->begin() + 3);
  CDriveTable::Instance().Assign('M', MemorySource(fat));
  CNtfsVolume v;
  EXPECT_FALSE(v.Initialize('M'));
  CDriveTable::Instance().Remove('M');
}

}  // namespace
}  // namespace sorvani
