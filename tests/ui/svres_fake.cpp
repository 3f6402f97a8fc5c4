// Stand-ins for libsvres.so with the same interface: one with texts longer than the program's
// buffer, one without svres_abi, one answering another interface version.
#define FAKE_EXPORT __attribute__((visibility("default")))

#include <string>

namespace {

std::string Repeat(const std::string& piece, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += piece;
  return out;
}

}  // namespace

extern "C" {

#ifndef SVRES_FAKE_NO_ABI
FAKE_EXPORT int svres_abi(void) { return SVRES_FAKE_ABI; }
#endif

// 1: 600 bytes where a two-byte é ends at byte 511 and a three-byte € starts there.
// 2: 600 bytes where a € covers bytes 511 to 513, so the text has to stop at 510.
FAKE_EXPORT const char* svres_string(unsigned id) {
  static const std::string kEndsOnBoundary =
      std::string(509, 'a') + "\xC3\xA9" + Repeat("\xE2\x82\xAC", 29) + "zz";
  static const std::string kStraddles = std::string(510, 'b') + Repeat("\xE2\x82\xAC", 30);
  if (id == 1) return kEndsOnBoundary.c_str();
  if (id == 2) return kStraddles.c_str();
  return nullptr;
}

FAKE_EXPORT int svres_data(unsigned, unsigned, const unsigned char** data, unsigned long* size) {
  *data = nullptr;
  *size = 0;
  return 0;
}

}  // extern "C"
