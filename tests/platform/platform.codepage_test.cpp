#include "platform.codepage.h"

#include <gtest/gtest.h>

TEST(codepage, ansi_to_utf8_cases) {
  struct Case {
    const char* ansi;
    const char* utf8;
  } cases[] = {
      {"plain ASCII", "plain ASCII"},
      {"M\xFCller", "M\xC3\xBCller"},  // ü
      {"\x80 5", "\xE2\x82\xAC 5"},    // euro sign
      {"\x93quoted\x94", "\xE2\x80\x9Cquoted\xE2\x80\x9D"},
      {"\x8A\x9F", "\xC5\xA0\xC5\xB8"},                                      // Š Ÿ
      {"\xA0\xFF", "\xC2\xA0\xC3\xBF"},                                      // no-break space, ÿ
      {"\x81\x8D\x8F\x90\x9D", "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"},  // unassigned bytes
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(ansi_to_utf8(c.ansi), c.utf8);
    EXPECT_EQ(utf8_to_ansi(c.utf8), c.ansi);
  }
}

TEST(codepage, every_byte_survives_a_round_trip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += char(b);
  EXPECT_EQ(utf8_to_ansi(ansi_to_utf8(all)), all);
}

TEST(codepage, characters_outside_the_code_page_become_question_marks) {
  struct Case {
    const char* utf8;
    const char* ansi;
  } cases[] = {
      {"\xE2\x82\xAC\xE2\x84\xA2", "\x80\x99"},  // € ™ are there
      {"\xCE\xA9", "?"},                         // Greek Omega
      {"a\xF0\x9F\x98\x80z", "a?z"},             // outside the BMP: one character, one '?'
      {"\xE6\x97\xA5\xE6\x9C\xAC", "??"},
      {"bad\xC3", "bad?"},      // cut sequence
      {"\xC0\xAF", "??"},       // overlong form
      {"\xED\xA0\x80", "???"},  // encoded surrogate
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(utf8_to_ansi(c.utf8), c.ansi);
  }
}

TEST(codepage, text_files_by_byte_order_mark) {
  using namespace std::string_literals;
  struct Case {
    std::string bytes;
    TTextEncoding encoding;
    size_t bom;
    std::string text;
  } cases[] = {
      {"KOB\tOAK", TTextEncoding::ansi, 0, "KOB\tOAK"},
      {"T\xFCr", TTextEncoding::ansi, 0, "T\xC3\xBCr"},
      {"T\xC3\xBCr", TTextEncoding::ansi, 0, "T\xC3\x83\xC2\xBCr"},  // UTF-8 without a mark is read as ANSI
      {"\xEF\xBB\xBFT\xC3\xBCr", TTextEncoding::utf8, 3, "T\xC3\xBCr"},
      {"\xFF\xFET\0\xFC\0r\0"s, TTextEncoding::utf16le, 2, "T\xC3\xBCr"},
      {"\xFE\xFF\0T\0\xFC\0r"s, TTextEncoding::utf16be, 2, "T\xC3\xBCr"},
      {"\xFF\xFE\x3D\xD8\x00\xDE"s, TTextEncoding::utf16le, 2, "\xF0\x9F\x98\x80"},  // surrogate pair
      {"\xFF\xFEx\0y"s, TTextEncoding::utf16le, 2, "x"},                             // odd last byte dropped
      {"", TTextEncoding::ansi, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    size_t bom = 99;
    EXPECT_EQ(detect_text_encoding(c.bytes, &bom), c.encoding);
    EXPECT_EQ(bom, c.bom);
    EXPECT_EQ(decode_text_file(c.bytes), c.text);
  }
}

TEST(codepage, encode_text_file_round_trips) {
  std::string text = "[general]\r\nname=T\xC3\xBCr \xE2\x82\xAC\r\n";
  for (TTextEncoding encoding :
       {TTextEncoding::ansi, TTextEncoding::utf8, TTextEncoding::utf16le, TTextEncoding::utf16be}) {
    SCOPED_TRACE(int(encoding));
    std::string bytes = encode_text_file(text, encoding);
    EXPECT_EQ(detect_text_encoding(bytes), encoding);
    EXPECT_EQ(decode_text_file(bytes), text);
  }
  EXPECT_EQ(encode_text_file("\xCE\xA9", TTextEncoding::ansi), "?");
}

TEST(codepage, text_lines_cases) {
  struct Case {
    const char* text;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\n", {"a"}},
      {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
      {"a\n\nb\n", {"a", "", "b"}},
      {"\n", {""}},
      {"a\n\r\nb", {"a", "", "b"}},
      {"a\r\rb", {"a", "", "b"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(text_lines(c.text), c.lines);
  }
}
