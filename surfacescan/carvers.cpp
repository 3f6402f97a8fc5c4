#include "surfacescan/carvers.h"

#include <strings.h>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "foundation/endian.h"

namespace sorvani {
namespace {

constexpr std::uint8_t kPngSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::uint32_t kJpegPiece = 1024;
constexpr std::uint32_t kGifBlockRead = 512;
constexpr std::uint32_t kBmpFileHeader = 14;
constexpr std::uint32_t kBmpMinInfoHeader = 12;  // BITMAPCOREHEADER, the smallest there is
// An IEND chunk is empty: its end lies 12 bytes after its start, which the walk only reaches
// below the limit. A larger declared length would stretch the file past the walk's limit
// (or past 4 GiB), so it is not taken as the end.
constexpr std::uint64_t kPngEndLimit = kPngWalkLimit + 12;

std::uint32_t ReadBe16(const std::uint8_t* b) {
  return static_cast<std::uint32_t>(b[0]) << 8 | b[1];
}

std::uint32_t ReadBe32(const std::uint8_t* b) {
  return static_cast<std::uint32_t>(b[0]) << 24 | static_cast<std::uint32_t>(b[1]) << 16 |
         static_cast<std::uint32_t>(b[2]) << 8 | b[3];
}

// A read that must deliver all `size` bytes.
bool ReadFull(const CarveCandidate& c, std::uint64_t q, void* destination, std::uint32_t size) {
  std::uint32_t got = 0;
  return c.Read(q, destination, size, got) && got == size;
}

void Name(CarveCandidate& c, const char* prefix, const char* extension) {
  char text[64];
  std::snprintf(text, sizeof text, "%s%" PRIu64 ".%s", prefix, c.startUnit, extension);
  c.name = text;
}

// Ends a walk that could not reach the picture's end because `needed` bytes at `q` could not
// be read: the source ends before them, or the device failed to read them. The picture is
// reported, but as incomplete, with the bytes from its start up to that point.
bool CutShort(CarveCandidate& c, std::uint64_t q, std::uint32_t needed, const char* prefix,
              const char* extension) {
  const std::uint64_t end = std::uint64_t{c.offset} + c.BytesLeft(c.offset);
  c.cutByEnd = c.BytesLeft(q) < needed;
  const std::uint64_t stop = c.cutByEnd ? std::min(q, end) : q;
  if (stop <= c.offset) return false;
  c.incomplete = true;
  c.size = static_cast<std::uint32_t>(std::min<std::uint64_t>(stop - c.offset, 0xFFFFFFFFu));
  Name(c, prefix, extension);
  return true;
}

// Walks GIF data sub-blocks from p: each starts with its length byte, a length of 0 ends the
// chain. Stops early at the walk limit (the caller's loop then ends without a match).
bool SkipSubBlocks(const CarveCandidate& c, std::uint64_t& p, bool& cut) {
  while (p < kGifWalkLimit) {
    if (c.Cancelled()) return false;
    std::uint8_t length = 0;
    if (!ReadFull(c, p, &length, 1)) {
      cut = true;
      return false;
    }
    p += std::uint64_t{length} + 1;
    if (length == 0) return true;
  }
  return true;
}

// Bytes of a GIF colour table whose packed field is `packed` (bit 7 says it is present).
std::uint64_t ColourTableBytes(std::uint8_t packed) {
  return (packed & 0x80) ? 3ull << ((packed & 7) + 1) : 0;
}

}  // namespace

const char* FormatKeyName(int format) {
  switch (format) {
    case kFormatJpeg:
      return "jpeg";
    case kFormatBmp:
      return "bmp";
    case kFormatPng:
      return "png";
    case kFormatGif:
      return "gif";
    default:
      return nullptr;
  }
}

int FormatFromName(const std::string& name) {
  if (!strcasecmp(name.c_str(), "jpg")) return kFormatJpeg;
  for (int f = kFirstFormat; f <= kLastFormat; ++f)
    if (!strcasecmp(name.c_str(), FormatKeyName(f))) return f;
  return 0;
}

bool CarveCandidate::Read(std::uint64_t q, void* destination, std::uint32_t length,
                          std::uint32_t& got) const {
  got = 0;
  if (!reader) return false;
  std::uint64_t base = 0;
  std::uint64_t position = 0;
  if (__builtin_mul_overflow(startUnit, std::uint64_t{reader->UnitSize()}, &base) ||
      __builtin_add_overflow(base, q, &position))
    return false;
  return reader->ReadAt(position, destination, length, got);
}

std::uint64_t CarveCandidate::BytesLeft(std::uint64_t q) const {
  if (!reader) return 0;
  std::uint64_t base = 0;
  std::uint64_t position = 0;
  if (__builtin_mul_overflow(startUnit, std::uint64_t{reader->UnitSize()}, &base) ||
      __builtin_add_overflow(base, q, &position))
    return 0;
  std::uint64_t size = reader->Volume().DeviceSize();
  return position < size ? size - position : 0;
}

bool CarveJpeg(CarveCandidate& c) {
  std::uint8_t head[4];
  if (!ReadFull(c, c.offset, head, 2) || head[0] != 0xFF || head[1] != 0xD8) return false;

  // The segment walk jumps over every header segment (an EXIF thumbnail inside APP1 with its
  // own end marker included) up to the start of scan. It is held to the same limit as the
  // marker search, so a run of length-like bytes cannot walk the whole device.
  std::uint64_t p = std::uint64_t{c.offset} + 2;
  for (;;) {
    if (c.Cancelled() || p >= kJpegEndLimit) return false;
    if (!ReadFull(c, p, head, 4) || head[0] != 0xFF) return false;
    p += 2 + ReadBe16(head + 2);
    if (head[1] == 0xDA) break;
  }

  std::uint8_t piece[kJpegPiece];
  bool previousEndsInFF = false;
  while (p < kJpegEndLimit && !c.Cancelled()) {
    std::uint32_t got = 0;
    // Past the start of scan the picture is known; bytes that stop before its end marker
    // make it an incomplete picture, not a missing one.
    if (!c.Read(p, piece, kJpegPiece, got)) return CutShort(c, p, kJpegPiece, "JPEG", "jpg");
    if (got < 2) return CutShort(c, p + got, kJpegPiece, "JPEG", "jpg");
    std::uint64_t marker = 0;  // position of the D9 byte
    bool found = false;
    if (previousEndsInFF && piece[0] == 0xD9) {
      marker = p;
      found = true;
    } else {
      const std::uint8_t* from = piece;
      const std::uint8_t* last = piece + got - 1;  // a pair needs the byte after the FF
      while (from < last) {
        auto* ff = static_cast<const std::uint8_t*>(std::memchr(from, 0xFF, last - from));
        if (!ff) break;
        if (ff[1] == 0xD9) {
          marker = p + static_cast<std::uint64_t>(ff - piece) + 1;
          found = true;
          break;
        }
        from = ff + 1;
      }
    }
    if (found) {
      c.size = static_cast<std::uint32_t>(marker + 1 - c.offset);
      Name(c, "JPEG", "jpg");
      return true;
    }
    previousEndsInFF = piece[got - 1] == 0xFF;
    p += got;
  }
  return false;
}

bool CarveBmp(CarveCandidate& c) {
  // The 14-byte file header and the first field of the info header after it: its own size.
  std::uint8_t header[kBmpFileHeader + 4];
  if (!ReadFull(c, c.offset, header, sizeof header) || header[0] != 'B' || header[1] != 'M')
    return false;
  std::uint32_t declared = ReadLe32(ByteSpan(header), 2);
  if (declared >= kBmpSizeLimit) return false;
  // A file cannot be smaller than its own headers (the smallest info header has 12 bytes): a
  // size of 0 or a few bytes is "BM" in other data, not a picture.
  std::uint32_t infoHeader = ReadLe32(ByteSpan(header), kBmpFileHeader);
  if (infoHeader < kBmpMinInfoHeader || infoHeader > declared ||
      declared - infoHeader < kBmpFileHeader)
    return false;
  c.size = declared;
  Name(c, "BMP", "bmp");
  // A declared size reaching past the source: listed with its size, as incomplete.
  if (c.BytesLeft(c.offset) < declared) {
    c.incomplete = true;
    c.cutByEnd = true;
  }
  return true;
}

bool CarvePng(CarveCandidate& c) {
  std::uint8_t chunk[8];
  if (!ReadFull(c, c.offset, chunk, 8) || std::memcmp(chunk, kPngSignature, 8) != 0) return false;
  // 64-bit positions: a length near 2^32 jumps past the limit instead of wrapping back.
  std::uint64_t p = std::uint64_t{c.offset} + 8;
  while (p < kPngWalkLimit && !c.Cancelled()) {
    if (!ReadFull(c, p, chunk, 8)) return CutShort(c, p, 8, "PNG", "png");
    p += std::uint64_t{ReadBe32(chunk)} + 12;
    if (std::memcmp(chunk + 4, "IEND", 4) == 0) {
      if (p > kPngEndLimit) return false;
      c.size = static_cast<std::uint32_t>(p - c.offset);
      Name(c, "PNG", "png");
      return true;
    }
  }
  return false;
}

bool CarveGif(CarveCandidate& c) {
  std::uint8_t block[kGifBlockRead];
  if (!ReadFull(c, c.offset, block, 6) ||
      (std::memcmp(block, "GIF87a", 6) != 0 && std::memcmp(block, "GIF89a", 6) != 0))
    return false;
  if (!ReadFull(c, std::uint64_t{c.offset} + 6, block, 7)) return false;
  std::uint64_t p = std::uint64_t{c.offset} + 13 + ColourTableBytes(block[4]);

  bool cut = false;
  while (p < kGifWalkLimit && !c.Cancelled()) {
    std::uint32_t got = 0;
    if (!c.Read(p, block, kGifBlockRead, got)) return CutShort(c, p, 1, "GIF", "gif");
    // The block read looks ahead; near the end of the source fewer bytes are fine as long
    // as the block at hand is there.
    if (got == 0) return CutShort(c, p, 1, "GIF", "gif");
    if (got < kGifBlockRead) std::memset(block + got, 0, kGifBlockRead - got);
    switch (block[0]) {
      case 0x21:  // extension
        switch (block[1]) {
          case 0xF9:  // graphic control: fixed 8 bytes with its terminator
            p += 8;
            break;
          case 0xFE:  // comment
          case 0x01:  // plain text
            p += 2;
            if (!SkipSubBlocks(c, p, cut)) return cut && CutShort(c, p, 1, "GIF", "gif");
            break;
          case 0xFF:  // application
            p += 3 + std::uint64_t{block[2]};
            if (!SkipSubBlocks(c, p, cut)) return cut && CutShort(c, p, 1, "GIF", "gif");
            break;
          default:
            return false;
        }
        break;
      case 0x2C:  // image descriptor, then the LZW minimum code size and the image data
        p += 10 + ColourTableBytes(block[9]) + 1;
        if (!SkipSubBlocks(c, p, cut)) return cut && CutShort(c, p, 1, "GIF", "gif");
        break;
      case 0x3B:  // trailer
        c.size = static_cast<std::uint32_t>(p + 1 - c.offset);
        Name(c, "GIF", "gif");
        return true;
      default:
        return false;
    }
  }
  return false;
}

int CarveAny(CarveCandidate& c, const CFormatSet& formats) {
  using Test = bool (*)(CarveCandidate&);
  static constexpr Test kTests[] = {nullptr, CarveJpeg, CarveBmp, CarvePng, CarveGif};
  for (int f = kFirstFormat; f <= kLastFormat; ++f)
    if (formats.Contains(f) && kTests[f](c)) return f;
  return 0;
}

}  // namespace sorvani
