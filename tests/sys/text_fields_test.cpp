// Name folding and fixed-width decimal fields.
#include "sys/text_fields.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string unsigned_field(std::int32_t value, int width) {
  std::string out(static_cast<std::size_t>(width > 0 ? width : 0) + 2, '#');
  EXPECT_EQ(sys::format_unsigned_field(value, width, out.data()), 0);
  return out;
}

std::string signed_field(std::int32_t value, int width) {
  std::string out(static_cast<std::size_t>(width > 0 ? width : 0) + 2, '#');
  EXPECT_EQ(sys::format_signed_field(value, width, out.data()), 0);
  return out;
}

std::string folded(const std::string& source, unsigned char terminator, int max) {
  std::string dest(static_cast<std::size_t>(max) + 2, '#');
  sys::fold_name_copy(dest.data(), source.c_str(), terminator, max);
  return dest;
}

TEST(FormatUnsignedField, WritesExactlyWidthCharactersWithBlankLeadingZeros) {
  // The two '#' behind each field show that nothing, no terminator either,
  // is written past the width.
  EXPECT_EQ(unsigned_field(0, 5), "    0##");
  EXPECT_EQ(unsigned_field(123, 5), "  123##");
  EXPECT_EQ(unsigned_field(65535, 5), "65535##");
  EXPECT_EQ(unsigned_field(100, 5), "  100##");
  EXPECT_EQ(unsigned_field(7, 1), "7##");
}

TEST(FormatUnsignedField, TakesTheLow16BitsAndTheLastDigits) {
  EXPECT_EQ(unsigned_field(-3, 5), "65533##");
  EXPECT_EQ(unsigned_field(70000, 5), " 4464##");
  EXPECT_EQ(unsigned_field(65536, 5), "    0##");
  EXPECT_EQ(unsigned_field(12345, 3), "345##");
  EXPECT_EQ(unsigned_field(12005, 3), "  5##"); // the kept digits "005"
}

TEST(FormatUnsignedField, WidthZeroOrNegativeWritesNothing) {
  EXPECT_EQ(unsigned_field(5, 0), "##");
  std::string out = "##";
  sys::format_unsigned_field(5, -4, out.data());
  EXPECT_EQ(out, "##");
}

TEST(FormatSignedField, PutsTheSignInFrontOfTheFirstDigitWhenThereIsRoom) {
  EXPECT_EQ(signed_field(-5, 4), "  -5##");
  EXPECT_EQ(signed_field(-123, 4), "-123##");
  EXPECT_EQ(signed_field(-1234, 4), "1234##"); // no room: no sign
  EXPECT_EQ(signed_field(12345, 4), "2345##");
  EXPECT_EQ(signed_field(0, 4), "   0##");
  EXPECT_EQ(signed_field(-10, 5), "  -10##");
}

TEST(FormatSignedField, MostNegativeValueWritesItsMagnitude) {
  EXPECT_EQ(signed_field(INT32_MIN, 11), "-2147483648##");
  EXPECT_EQ(signed_field(INT32_MIN, 10), "2147483648##");
  EXPECT_EQ(signed_field(INT32_MAX, 10), "2147483647##");
}

TEST(FoldNameCopy, StopsAtMaxOrTerminatorAndEndsWithNul) {
  EXPECT_EQ(folded("ABCDEF", 0, 3), std::string("ABC\0#", 5));
  EXPECT_EQ(folded("A;B", ';', 5), std::string("A\0######", 7));
  EXPECT_EQ(folded("", 0, 5), std::string("\0######", 7));
}

TEST(FoldNameCopy, NeverReadsPastTheSourceText) {
  // With another terminator than NUL the copy still ends at the source's NUL.
  const char source[] = {'A', 'B', '\0', 'X', 'Y', ';'};
  char dest[8];
  std::fill(std::begin(dest), std::end(dest), '#');
  sys::fold_name_copy(dest, source, ';', 6);
  EXPECT_EQ(std::string(dest, 4), std::string("AB\0#", 4));
}

TEST(FoldNameCopy, FoldsCodePage850LettersToWindows1252Capitals) {
  const std::string cp850 = "\x8E\x8F\x99\x90\x92\x9A\x9D\xD4\xB5\xB7"
                            "\x84\x86\x94\x82\x91\x81\x9B\x8A\xA0\x85";
  const std::string cp1252 = "\xC4\xC5\xD6\xC9\xC6\xDC\xD8\xC8\xC1\xC0"
                             "\xC4\xC5\xD6\xC9\xC6\xDC\xD8\xC8\xC1\xC0";
  EXPECT_EQ(folded(cp850, 0, 20).substr(0, 20), cp1252);
  // Windows-1252 letters, and every byte outside the table, stay.
  EXPECT_EQ(folded("C:\\K\xE4R\xC4.TXT", 0, 40).substr(0, 11), "C:\\K\xE4R\xC4.TXT");
  EXPECT_EQ(folded("x\x84\x94\x86y", 0, 10).substr(0, 5), "x\xC4\xD6\xC5y");
}

TEST(FoldNameCopy, Cuts257CharacterPathsTo256) {
  const std::string path(300, 'a');
  std::string dest(sys::max_path_chars + 1 + 8, '#');
  sys::fold_name_copy(dest.data(), path.c_str(), 0, sys::max_path_chars);
  EXPECT_EQ(dest.substr(0, 256), std::string(256, 'a'));
  EXPECT_EQ(dest[256], '\0');
  EXPECT_EQ(dest[257], '#');
}

TEST(FoldTables, UnfoldingReturnsTheTenCapitalsOnly) {
  EXPECT_EQ(sys::unfold_cp1252_capital(0xC4), 0x8E);
  EXPECT_EQ(sys::unfold_cp1252_capital(0xC0), 0xB7);
  EXPECT_EQ(sys::unfold_cp1252_capital(0xE4), 0xE4); // small ä has no way back
  EXPECT_EQ(sys::unfold_cp1252_capital('A'), 'A');
  for (int c = 0; c < 256; ++c) {
    const auto folded_byte = sys::fold_cp850_letter(static_cast<unsigned char>(c));
    if (folded_byte != c) { // every fold lands on a capital that unfolds again
      EXPECT_NE(sys::unfold_cp1252_capital(folded_byte), folded_byte) << c;
    }
  }
}

} // namespace
