#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "foundation/endian.h"
#include "surfacescan/carvers.h"
#include "tests/surfacescan/carve_test_support.h"

namespace sorvani {
namespace {

using test::Bytes;
using test::CMemoryVolume;
using test::Filler;

void Put(Bytes& b, std::size_t at, std::initializer_list<std::uint8_t> bytes) {
  if (b.size() < at + bytes.size()) b.resize(at + bytes.size());
  std::memcpy(b.data() + at, bytes.begin(), bytes.size());
}

void PutBytes(Bytes& b, std::size_t at, const Bytes& bytes) {
  if (b.size() < at + bytes.size()) b.resize(at + bytes.size());
  std::memcpy(b.data() + at, bytes.data(), bytes.size());
}

void PutBe32(Bytes& b, std::size_t at, std::uint32_t v) {
  Put(b, at, {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)});
}

// A JPEG header: SOI, an APP1 segment holding `app1` and an SOS segment. Returns the bytes;
// `scanStart` gets the index right after the SOS segment, where the marker search begins.
Bytes JpegHeader(const Bytes& app1, std::size_t& scanStart) {
  Bytes b = {0xFF, 0xD8};
  std::size_t len = app1.size() + 2;
  b.insert(b.end(), {0xFF, 0xE1, std::uint8_t(len >> 8), std::uint8_t(len)});
  b.insert(b.end(), app1.begin(), app1.end());
  b.insert(b.end(), {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00});
  scanStart = b.size();
  return b;
}

struct Carved {
  bool match;
  std::uint32_t size;
  std::string name;
  bool incomplete;
  bool cutByEnd;
};

// Runs one format test on a memory volume at (unit, offset).
Carved Try(bool (*carver)(CarveCandidate&), Bytes volumeBytes, std::uint32_t unitSize,
           std::uint64_t unit, std::uint32_t offset, const std::atomic<bool>* cancel = nullptr) {
  CMemoryVolume volume(std::move(volumeBytes), unitSize);
  CCarveReader reader(volume);
  CarveCandidate c;
  c.reader = &reader;
  c.startUnit = unit;
  c.offset = offset;
  c.cancel = cancel;
  bool match = carver(c);
  return {match, c.size, c.name, c.incomplete, c.cutByEnd};
}

TEST(CarveJpeg, CutsAtTheMainEndMarker) {
  // End marker FF D9 split over two 1,024-byte reads: FF is the last byte of the first read.
  {
    std::size_t scan = 0;
    Bytes pic = JpegHeader(Filler(30), scan);
    Bytes body = Filler(1023, 2);
    body[1022] = 0xFF;
    body.push_back(0xD9);
    PutBytes(pic, scan, body);
    Bytes vol = Filler(1536);
    PutBytes(vol, 1536 + 100, pic);
    vol.resize(vol.size() + 4096, 0x11);
    Carved r = Try(CarveJpeg, vol, 512, 3, 100);
    ASSERT_TRUE(r.match);
    EXPECT_EQ(r.size, pic.size());
    EXPECT_EQ(r.name, "JPEG3.jpg");
  }
  // An EXIF thumbnail in APP1 carries its own FF D8 ... FF D9; the segment walk jumps it.
  {
    Bytes thumb = {0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02, 0x10, 0x20, 0xFF, 0xD9};
    Bytes app1 = {'E', 'x', 'i', 'f', 0, 0};
    app1.insert(app1.end(), thumb.begin(), thumb.end());
    std::size_t scan = 0;
    Bytes pic = JpegHeader(app1, scan);
    Bytes body = Filler(5000, 3);
    body.insert(body.end(), {0xFF, 0x00, 0xFF, 0xD9});
    PutBytes(pic, scan, body);
    Bytes vol = pic;
    vol.resize(vol.size() + 2048, 0);
    Carved r = Try(CarveJpeg, vol, 4096, 0, 0);
    ASSERT_TRUE(r.match);
    EXPECT_EQ(r.size, pic.size());
  }
  // A segment without the FF lead byte, or a picture cut by the end of the device.
  {
    Bytes vol = {0xFF, 0xD8, 0x00, 0xE0, 0x00, 0x10};
    vol.resize(4096, 0x22);
    EXPECT_FALSE(Try(CarveJpeg, vol, 512, 0, 0).match);
    // Cut by the end of the device after its start of scan: listed, but as incomplete, with
    // the bytes that are there.
    std::size_t scan = 0;
    Bytes cut = JpegHeader(Filler(10), scan);
    PutBytes(cut, scan, Filler(3000, 4));
    Carved r = Try(CarveJpeg, cut, 512, 0, 0);
    EXPECT_TRUE(r.match);
    EXPECT_TRUE(r.incomplete);
    EXPECT_TRUE(r.cutByEnd);
    EXPECT_EQ(r.size, cut.size());
  }
}

TEST(CarveJpeg, EndMarkerSearchStopsAtItsLimit) {
  // The search reads 1,024-byte pieces from the end of the SOS segment while the piece starts
  // below 0xF00001; the last byte it sees is the end of the last such piece.
  std::size_t scan = 0;
  Bytes head = JpegHeader(Filler(20), scan);
  std::uint64_t lastPiece = scan + (kJpegEndLimit - 1 - scan) / 1024 * 1024;
  std::uint64_t lastSeen = lastPiece + 1023;
  for (std::uint64_t d9 : {lastSeen, lastSeen + 1}) {
    Bytes vol = Filler(static_cast<std::size_t>(lastSeen + 4096), 5);
    PutBytes(vol, 0, head);
    vol[d9 - 1] = 0xFF;
    vol[d9] = 0xD9;
    Carved r = Try(CarveJpeg, std::move(vol), 4096, 0, 0);
    if (d9 == lastSeen) {
      ASSERT_TRUE(r.match);
      EXPECT_EQ(r.size, d9 + 1);
    } else {
      EXPECT_FALSE(r.match) << "a marker no read reaches must not end the picture";
    }
  }
}

TEST(CarveJpeg, HeaderWalkOfLengthBytesEnds) {
  // FF FF FF FF ...: every "segment" is 65,537 bytes long and never a start of scan. The walk
  // must give up at the limit, not run to the end of the device.
  Bytes vol(40u << 20, 0xFF);
  vol[1] = 0xD8;
  EXPECT_FALSE(Try(CarveJpeg, std::move(vol), 4096, 0, 0).match);
}

TEST(CarveBmp, DeclaredSizeBound) {
  // "BM", the declared file size, and the size of the info header that follows the 14-byte
  // file header.
  auto bmp = [](std::uint32_t size, std::uint32_t infoHeader = 40) {
    Bytes b = {'B', 'M'};
    b.resize(64, 0);
    WriteLe32(&b[2], size);
    WriteLe32(&b[14], infoHeader);
    return b;
  };
  const struct {
    std::uint32_t size;
    std::uint32_t infoHeader;
    bool match;
  } kCases[] = {
      {0x3200000, 40, true},                     // the largest size accepted
      {0x3200001, 40, false},                    // one more is not
      {0xFFFFFFFF, 40, false}, {0, 40, false},   // a declared size of nothing
      {1, 40, false},          {53, 40, false},  // one byte short of the two headers
      {54, 40, true},                            // headers alone
      {26, 12, true},                            // the smallest (core) info header
      {26, 11, false},                           // no info header is that small
      {1000, 0, false},        {1000, 0xFFFFFFFF, false},
      {1000, 987, false},  // an info header that leaves no room for the file header
      {1000, 986, true},
  };
  for (const auto& c : kCases) {
    Carved r = Try(CarveBmp, bmp(c.size, c.infoHeader), 512, 0, 0);
    EXPECT_EQ(r.match, c.match) << "size " << c.size << ", info header " << c.infoHeader;
    if (c.match) {
      EXPECT_EQ(r.size, c.size);
      EXPECT_EQ(r.name, "BMP0.bmp");
    }
  }
  // Seventeen bytes before the device ends are not a BMP header.
  Bytes shortTail = Filler(1024);
  Put(shortTail, 1007, {'B', 'M', 0x10, 0, 0, 0});
  shortTail.resize(1024);
  EXPECT_FALSE(Try(CarveBmp, shortTail, 512, 1, 495).match);
}

Bytes PngChunk(const char* type, std::uint32_t length, std::size_t dataBytes) {
  Bytes b;
  PutBe32(b, 0, length);
  Put(b, 4,
      {std::uint8_t(type[0]), std::uint8_t(type[1]), std::uint8_t(type[2]), std::uint8_t(type[3])});
  Bytes data = Filler(dataBytes + 4, 9);
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

Bytes PngSignature() { return {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A}; }

TEST(CarvePng, WalksChunksToIend) {
  Bytes pic = PngSignature();
  for (auto chunk : {PngChunk("IHDR", 13, 13), PngChunk("IDAT", 700, 700),
                     PngChunk("IDAT", 1500, 1500), PngChunk("IDAT", 3, 3), PngChunk("IEND", 0, 0)})
    pic.insert(pic.end(), chunk.begin(), chunk.end());
  Bytes vol = Filler(2048 + 7);
  PutBytes(vol, 2048 + 7, pic);
  vol.resize(vol.size() + 600, 0x33);
  Carved r = Try(CarvePng, vol, 2048, 1, 7);
  ASSERT_TRUE(r.match);
  EXPECT_EQ(r.size, pic.size());
  EXPECT_EQ(r.name, "PNG1.png");

  // Without IEND the walk runs off the data (a chunk longer than the limit) or the device.
  Bytes noEnd = PngSignature();
  for (auto chunk : {PngChunk("IHDR", 13, 13), PngChunk("IDAT", 30u << 20, 100)})
    noEnd.insert(noEnd.end(), chunk.begin(), chunk.end());
  EXPECT_FALSE(Try(CarvePng, noEnd, 512, 0, 0).match);
  // Cut by the end of the device before IEND: incomplete, never a whole picture.
  Bytes truncated(pic.begin(), pic.end() - 12);
  Carved cut = Try(CarvePng, truncated, 512, 0, 0);
  EXPECT_TRUE(cut.match);
  EXPECT_TRUE(cut.incomplete && cut.cutByEnd);
  EXPECT_EQ(cut.size, truncated.size());
}

TEST(CarvePng, LengthsNearTwoToTheThirtyTwoDoNotWrap) {
  // 8 + 0xFFFFFFF4 + 12 is 2^32 + 8: in 32 bits the walk would come back to the same chunk
  // forever. It must jump past the limit and give up.
  Bytes pic = PngSignature();
  Bytes wrap = PngChunk("IDAT", 0xFFFFFFF4u, 16);
  pic.insert(pic.end(), wrap.begin(), wrap.end());
  pic.resize(8192, 0);
  EXPECT_FALSE(Try(CarvePng, pic, 512, 0, 0).match);

  // An IEND that claims a body reaching gigabytes away would make a file past any limit.
  Bytes fatEnd = PngSignature();
  Bytes end = PngChunk("IEND", 0xFFFFFF00u, 0);
  fatEnd.insert(fatEnd.end(), end.begin(), end.end());
  fatEnd.resize(4096, 0);
  EXPECT_FALSE(Try(CarvePng, fatEnd, 512, 0, 0).match);
}

// A GIF89a animation: global colour table, NETSCAPE loop extension, and a graphic control
// extension before each of `frames` frames, one with a local colour table.
Bytes AnimatedGif(int frames) {
  Bytes b = {'G', 'I', 'F', '8', '9', 'a', 16, 0, 16, 0, 0x81, 0, 0};
  b.resize(b.size() + 12, 0x44);  // 4 colours
  b.insert(b.end(), {0x21, 0xFF, 0x0B});
  for (char ch : std::string("NETSCAPE2.0")) b.push_back(std::uint8_t(ch));
  b.insert(b.end(), {0x03, 0x01, 0x00, 0x00, 0x00});
  b.insert(b.end(), {0x21, 0xFE, 0x03, 'h', 'i', '!', 0x00});  // comment
  for (int f = 0; f < frames; ++f) {
    b.insert(b.end(), {0x21, 0xF9, 0x04, 0x04, 0x0A, 0x00, 0x00, 0x00});
    std::uint8_t packed = f == 1 ? 0x80 : 0x00;  // 2 local colours on the second frame
    b.insert(b.end(), {0x2C, 0, 0, 0, 0, 16, 0, 16, 0, packed});
    if (packed) b.insert(b.end(), {1, 2, 3, 4, 5, 6});
    b.push_back(0x02);
    b.insert(b.end(), {0x05, 0x8C, 0x2D, 0x99, 0x87, 0x2A, 0x02, 0x1C, 0x0A, 0x00});
  }
  b.push_back(0x3B);
  return b;
}

TEST(CarveGif, WalksAnAnimationToItsTrailer) {
  Bytes pic = AnimatedGif(3);
  Bytes vol = Filler(4096);
  PutBytes(vol, 4096, pic);
  vol.resize(vol.size() + 4096, 0);
  Carved r = Try(CarveGif, vol, 4096, 1, 0);
  ASSERT_TRUE(r.match);
  EXPECT_EQ(r.size, pic.size());
  EXPECT_EQ(r.name, "GIF1.gif");

  // GIF87a without a global table reaches the same trailer logic.
  Bytes old = {'G', 'I', 'F', '8', '7', 'a', 1, 0,    1,    0,    0x00, 0,    0,    0x2C, 0,
               0,   0,   0,   1,   0,   1,   0, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3B};
  std::size_t oldSize = old.size();
  old.resize(2048, 0);
  r = Try(CarveGif, old, 512, 0, 0);
  ASSERT_TRUE(r.match);
  EXPECT_EQ(r.size, oldSize);
}

TEST(CarveGif, GarbageEndsWithoutAMatch) {
  // An unknown extension label, an unknown block, and a sub-block chain that never ends.
  Bytes header = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x00, 0, 0};
  Bytes badLabel = header;
  badLabel.insert(badLabel.end(), {0x21, 0x77, 0x01, 0x00, 0x3B});
  badLabel.resize(2048, 0);
  EXPECT_FALSE(Try(CarveGif, badLabel, 512, 0, 0).match);

  Bytes badBlock = header;
  badBlock.push_back(0x99);
  badBlock.resize(2048, 0);
  EXPECT_FALSE(Try(CarveGif, badBlock, 512, 0, 0).match);

  // Filler holds no 0 byte, so the image data's sub-blocks run on to the walk limit.
  Bytes endless = header;
  endless.insert(endless.end(), {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0x00, 0x02});
  Bytes tail = Filler(kGifWalkLimit + 8192, 11);
  endless.insert(endless.end(), tail.begin(), tail.end());
  EXPECT_FALSE(Try(CarveGif, std::move(endless), 4096, 0, 0).match);

  // A trailer within the last 512 bytes of the device: the block read comes up short, but
  // the picture is whole and found so; one byte less and it is incomplete.
  Bytes atEnd = AnimatedGif(1);
  Carved whole = Try(CarveGif, atEnd, 512, 0, 0);
  EXPECT_TRUE(whole.match);
  EXPECT_FALSE(whole.incomplete);
  EXPECT_EQ(whole.size, atEnd.size());
  Bytes short1(atEnd.begin(), atEnd.end() - 1);
  Carved cut = Try(CarveGif, short1, 512, 0, 0);
  EXPECT_TRUE(cut.match);
  EXPECT_TRUE(cut.incomplete && cut.cutByEnd);
  EXPECT_EQ(cut.size, short1.size());
}

TEST(CarveAny, TriesFormatsInKeyOrderAndHonoursCancel) {
  Bytes gif = AnimatedGif(1);
  gif.resize(4096, 0);
  CFormatSet onlyJpeg;
  onlyJpeg.Add(kFormatJpeg);
  CMemoryVolume volume(gif, 512);
  CCarveReader reader(volume);
  CarveCandidate c;
  c.reader = &reader;
  EXPECT_EQ(CarveAny(c, onlyJpeg), 0);
  EXPECT_EQ(CarveAny(c, CFormatSet::All()), kFormatGif);

  std::atomic<bool> cancel{true};
  c.cancel = &cancel;
  EXPECT_EQ(CarveAny(c, CFormatSet::All()), 0) << "a set cancel event ends the walk";
}

TEST(CarveReader, AnswersLikeReadRaw) {
  // Random reads, some across window edges and past the end of the device, must give the
  // same bytes and the same counts as ReadRaw itself.
  const std::size_t size = 5 * (1u << 20) + 777;
  Bytes bytes(size);
  std::mt19937 rng(42);
  for (auto& v : bytes) v = static_cast<std::uint8_t>(rng());
  CMemoryVolume volume(bytes, 4096);
  CCarveReader reader(volume);
  std::uniform_int_distribution<std::uint64_t> pos(0, size + 3000);
  std::uniform_int_distribution<std::uint32_t> len(1, 3000);
  Bytes a, b;
  for (int i = 0; i < 3000; ++i) {
    if (i % 97 == 0) reader.Prefetch(pos(rng), len(rng) * 1000);
    std::uint64_t p = pos(rng);
    std::uint32_t n = i % 500 == 0 ? (2u << 20) : len(rng);
    a.assign(n, 0);
    b.assign(n, 0);
    std::uint32_t gotA = 0;
    std::uint32_t gotB = n;
    ASSERT_TRUE(reader.ReadAt(p, a.data(), n, gotA));
    ASSERT_TRUE(volume.ReadRaw(p / 4096, p % 4096, b.data(), gotB));
    ASSERT_EQ(gotA, gotB) << "at " << p << " for " << n;
    ASSERT_EQ(0, std::memcmp(a.data(), b.data(), gotA)) << "at " << p;
  }

  // A walk through a picture in 1,024-byte pieces costs one device read per megabyte.
  CCarveReader walker(volume);
  for (std::uint64_t p = 0; p < (3u << 20); p += 1024) {
    std::uint32_t got = 0;
    ASSERT_TRUE(walker.ReadAt(p, a.data(), 1024, got));
  }
  EXPECT_EQ(walker.DeviceReads(), 3u);
}

}  // namespace
}  // namespace sorvani
