// Windows-1252 upper-casing and the conversions to and from UTF-8.
#include "sys/cp1252.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using sys::cp1252_to_utf8;
using sys::cp1252_upper;
using sys::utf8_to_cp1252;

TEST(Cp1252Upper, CapitalisesLettersOnly) {
  EXPECT_EQ(cp1252_upper('a'), 'A');
  EXPECT_EQ(cp1252_upper('z'), 'Z');
  EXPECT_EQ(cp1252_upper('{'), '{');
  EXPECT_EQ(cp1252_upper('`'), '`');
  EXPECT_EQ(cp1252_upper(0xE0), 0xC0); // à
  EXPECT_EQ(cp1252_upper(0xE4), 0xC4); // ä
  EXPECT_EQ(cp1252_upper(0xFE), 0xDE); // þ
  EXPECT_EQ(cp1252_upper(0xF7), 0xF7); // ÷ is no letter
  EXPECT_EQ(cp1252_upper(0xDF), 0xDF); // ß has no one-byte capital
  EXPECT_EQ(cp1252_upper(0xB5), 0xB5); // µ
  EXPECT_EQ(cp1252_upper(0xFF), 0x9F); // ÿ to Ÿ
  EXPECT_EQ(cp1252_upper(0x9A), 0x8A); // š to Š
  EXPECT_EQ(cp1252_upper(0x9C), 0x8C); // œ to Œ
  EXPECT_EQ(cp1252_upper(0x9E), 0x8E); // ž to Ž
}

TEST(Cp1252Utf8, EveryByteSurvivesTheRoundTrip) {
  std::string all;
  for (int c = 0; c < 256; ++c)
    all += static_cast<char>(c);
  bool lossless = false;
  EXPECT_EQ(utf8_to_cp1252(cp1252_to_utf8(all), &lossless), all);
  EXPECT_TRUE(lossless);
}

TEST(Cp1252Utf8, EncodesThe80To9FRangeAndLatin1) {
  EXPECT_EQ(cp1252_to_utf8("\x80"), "\xE2\x82\xAC"); // €
  EXPECT_EQ(cp1252_to_utf8("\x9F"), "\xC5\xB8");     // Ÿ
  EXPECT_EQ(cp1252_to_utf8("\x81"), "\xC2\x81");     // undefined: the C1 control
  EXPECT_EQ(cp1252_to_utf8("K\xC4RT"), "K\xC3\x84RT");
  EXPECT_EQ(cp1252_to_utf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Cp1252Utf8, UnrepresentableCharactersBecomeQuestionMarks) {
  bool lossless = true;
  EXPECT_EQ(utf8_to_cp1252("\xE6\x97\xA5\xE6\x9C\xAC ok", &lossless), "?? ok"); // 日本 ok
  EXPECT_FALSE(lossless);
  EXPECT_EQ(utf8_to_cp1252("\xC2\x80"), "?");             // a C1 control Windows-1252 uses
  EXPECT_EQ(utf8_to_cp1252("\xF0\x9F\x98\x80"), "?");     // outside the BMP
  EXPECT_EQ(utf8_to_cp1252("\xE2\x82\xAC"), "\x80");      // €
  EXPECT_EQ(utf8_to_cp1252("what?", &lossless), "what?"); // a real '?' is no loss
  EXPECT_TRUE(lossless);
}

TEST(Cp1252Utf8, MalformedBytesBecomeOneQuestionMarkEach) {
  bool lossless = true;
  EXPECT_EQ(utf8_to_cp1252("\xC3", &lossless), "?"); // cut short at the end
  EXPECT_FALSE(lossless);
  EXPECT_EQ(utf8_to_cp1252("A\xE2\x82"
                           "B"),
            "A??B");                                     // cut short before a letter
  EXPECT_EQ(utf8_to_cp1252("\x80x"), "?x");              // stray continuation
  EXPECT_EQ(utf8_to_cp1252("\xC0\x80"), "??");           // overlong NUL
  EXPECT_EQ(utf8_to_cp1252("\xE0\x80\x80"), "???");      // overlong
  EXPECT_EQ(utf8_to_cp1252("\xED\xA0\x80"), "???");      // surrogate
  EXPECT_EQ(utf8_to_cp1252("\xF4\x90\x80\x80"), "????"); // past U+10FFFF
  EXPECT_EQ(utf8_to_cp1252("\xFF\xC3\xA4"), "?\xE4");    // recovers at ä
}

} // namespace
