#include "core/link/hex.h"

#include <gtest/gtest.h>

using riventar::link::HexToByte;
using riventar::link::HexToDword;
using riventar::link::HexToWord;

TEST(Hex, ByteDecodesLikeTheDevice) {
  struct Case {
    const char* text;
    unsigned expected;
  };
  // Lower case decodes as usual; upper case in the second place of a pair
  // comes out 32 lower; anything else still decodes to some byte.
  const Case cases[] = {{"00", 0},   {"09", 9},   {"0a", 10},  {"ff", 255}, {"FF", 223}, {"Fa", 250},
                        {"0A", 234}, {"1A", 250}, {"7f", 127}, {"80", 128}, {"g0", 0},   {"!!", 1}};
  for (const Case& c : cases) EXPECT_EQ(HexToByte(c.text, 0), c.expected) << c.text;
}

TEST(Hex, NonAsciiBytesWrapLikeSignedCodes) {
  // 0xc0 is -64 as a signed code: not above '9', so -64 - 48 = -112 = 144.
  const char text[] = {'\xc0', '0', 0};
  EXPECT_EQ(HexToByte(text, 0), static_cast<std::uint8_t>(144 * 16));
}

TEST(Hex, WordAndDwordAreMostSignificantFirst) {
  EXPECT_EQ(HexToWord("0385", 0), 901);
  EXPECT_EQ(HexToWord("ffff", 0), 65535);
  EXPECT_EQ(HexToDword("0001e240", 0), 123456u);
  EXPECT_EQ(HexToDword("ffffffff", 0), 0xffffffffu);
  EXPECT_EQ(HexToDword("xx12345678", 2), 0x12345678u);
}
