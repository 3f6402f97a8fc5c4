#include "foundation/base64.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sorvani {
namespace {

std::vector<std::uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

TEST(Base64Test, EncodesRfcVectorsWithPadding) {
  // RFC 4648 section 10 test vectors.
  EXPECT_EQ(Base64Encode(Bytes("")), "");
  EXPECT_EQ(Base64Encode(Bytes("f")), "Zg==");
  EXPECT_EQ(Base64Encode(Bytes("fo")), "Zm8=");
  EXPECT_EQ(Base64Encode(Bytes("foo")), "Zm9v");
  EXPECT_EQ(Base64Encode(Bytes("foob")), "Zm9vYg==");
  EXPECT_EQ(Base64Encode(Bytes("fooba")), "Zm9vYmE=");
  EXPECT_EQ(Base64Encode(Bytes("foobar")), "Zm9vYmFy");
  std::vector<std::uint8_t> high = {0xFB, 0xFF, 0xBF};
  EXPECT_EQ(Base64Encode(high), "+/+/");
}

TEST(Base64Test, BreaksLinesAfter76CharactersWithCrLf) {
  std::vector<std::uint8_t> data(57, 0);  // exactly one full line
  std::string one = Base64Encode(data);
  EXPECT_EQ(one.size(), 76u);
  EXPECT_EQ(one.find('\r'), std::string::npos);

  data.resize(58);
  std::string two = Base64Encode(data);
  ASSERT_EQ(two.size(), 76u + 2 + 4);
  EXPECT_EQ(two.substr(76, 2), "\r\n");
  EXPECT_EQ(two.substr(78), "AA==");

  for (std::size_t n : {0u, 1u, 44u, 56u, 57u, 58u, 114u, 375u, 376u}) {
    EXPECT_EQ(Base64EncodedLength(n), Base64Encode(std::vector<std::uint8_t>(n, 0x5A)).size()) << n;
  }
}

TEST(Base64Test, DecodeSkipsForeignCharactersAndStopsAtPadding) {
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(Base64Decode("Zm9v\r\nYmFy", out, 100));
  EXPECT_EQ(out, Bytes("foobar"));

  ASSERT_TRUE(Base64Decode("  Z m9\tv!!Y*g==", out, 100));  // hand-edited junk between letters
  EXPECT_EQ(out, Bytes("foob"));

  ASSERT_TRUE(Base64Decode("Zg==Zm9v", out, 100));  // nothing after padding belongs to the value
  EXPECT_EQ(out, Bytes("f"));

  ASSERT_TRUE(Base64Decode("Zm9", out, 100));  // missing padding: the whole bytes it holds
  EXPECT_EQ(out, Bytes("fo"));

  ASSERT_TRUE(Base64Decode("\xff\x80???", out, 100));
  EXPECT_TRUE(out.empty());

  std::vector<std::uint8_t> data(300);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
  ASSERT_TRUE(Base64Decode(Base64Encode(data), out, data.size()));
  EXPECT_EQ(out, data);
}

TEST(Base64Test, DecodeFailsWhenTheResultDoesNotFit) {
  std::vector<std::uint8_t> out;
  EXPECT_TRUE(Base64Decode("Zm9vYmFy", out, 6));
  EXPECT_FALSE(Base64Decode("Zm9vYmFy", out, 5));
  EXPECT_FALSE(Base64Decode("Zg==", out, 0));
  EXPECT_TRUE(Base64Decode("", out, 0));
}

}  // namespace
}  // namespace sorvani
