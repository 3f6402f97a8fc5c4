// The picture tests of the surface scan. Each looks at one candidate position of the volume,
// follows the format's structure far enough to find where the picture ends, and on success
// fills the carved size and the generated name.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "surfacescan/carve_reader.h"

namespace sorvani {

// Format keys, in the order the scan tries them.
enum CarveFormat : int {
  kFormatJpeg = 1,
  kFormatBmp = 2,
  kFormatPng = 3,
  kFormatGif = 4,
};
inline constexpr int kFirstFormat = kFormatJpeg;
inline constexpr int kLastFormat = kFormatGif;

// Largest positions (counted from the first byte of the start unit) the walks go to.
inline constexpr std::uint64_t kJpegEndLimit = 0xF00001;   // 15 MiB + 1
inline constexpr std::uint64_t kBmpSizeLimit = 0x3200001;  // 50 MiB + 1
inline constexpr std::uint64_t kPngWalkLimit = 26214400;   // 25 MiB
inline constexpr std::uint64_t kGifWalkLimit = 0x1400000;  // 20 MiB

// Short lower-case key ("jpeg", "bmp", "png", "gif"), nullptr for an unknown key.
const char* FormatKeyName(int format);
// The key for such a name (case-insensitive; "jpg" is taken for JPEG), 0 when unknown.
int FormatFromName(const std::string& name);

// The selected formats: a set of keys 1 to 4.
class CFormatSet {
 public:
  void Add(int format) {
    if (format >= kFirstFormat && format <= kLastFormat) m_bits |= 1u << format;
  }
  bool Contains(int format) const {
    return format >= kFirstFormat && format <= kLastFormat && (m_bits & (1u << format));
  }
  bool Empty() const { return m_bits == 0; }
  static CFormatSet All() {
    CFormatSet s;
    for (int f = kFirstFormat; f <= kLastFormat; ++f) s.Add(f);
    return s;
  }

 private:
  unsigned m_bits = 0;
};

struct CarveCandidate {
  CCarveReader* reader = nullptr;  // the open volume, read through the read-ahead
  std::uint64_t startUnit = 0;     // cluster in which the candidate begins
  std::uint32_t offset = 0;        // byte offset of the candidate inside the start unit
  std::uint32_t size = 0;          // out: byte length of the carved file
  std::string name;                // out: generated file name
  // out: the picture was cut short before its end: by the end of the source, or by bytes the
  // device could not read. `size` then covers what is there (a BMP: its declared size).
  bool incomplete = false;
  bool cutByEnd = false;  // with incomplete: the source ended, else a read error
  const std::atomic<bool>* cancel = nullptr;  // the job's cancel event; may be null

  bool Cancelled() const { return cancel && cancel->load(std::memory_order_relaxed); }
  // Reads at position q counted from the start unit's first byte.
  bool Read(std::uint64_t q, void* destination, std::uint32_t size, std::uint32_t& got) const;
  // Bytes from position q to the end of the source (counted like Read's positions).
  std::uint64_t BytesLeft(std::uint64_t q) const;
};

bool CarveJpeg(CarveCandidate& candidate);
bool CarveBmp(CarveCandidate& candidate);
bool CarvePng(CarveCandidate& candidate);
bool CarveGif(CarveCandidate& candidate);

// Tries the selected formats in key order; the first that matches wins. Returns its key, or 0.
int CarveAny(CarveCandidate& candidate, const CFormatSet& formats);

}  // namespace sorvani
