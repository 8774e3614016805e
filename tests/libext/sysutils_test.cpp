#include "sysutils.h"

#include <gtest/gtest.h>

namespace {

int sign(int v) { return (v > 0) - (v < 0); }

struct OrderCase {
  const char* a;
  const char* b;
  int case_sensitive;    // sign of compare_str(a, b)
  int case_insensitive;  // sign of compare_text(a, b)
};

const OrderCase kOrderCases[] = {
    {"", "", 0, 0},
    {"", "a", -1, -1},
    {"abc", "abc", 0, 0},
    {"abc", "ABC", 1, 0},
    {"PARTLINKS", "partLinks", -1, 0},
    {"a_b", "A_B", 1, 0},  // only letters fold
    {"a[", "A{", 1, -1},   // '[' and '{' are no case pair
    {"B", "a", -1, 1},
    {"Za", "_a", -1, -1},                          // '_' sorts after every letter when case is ignored
    {"_a", "a", -1, 1},                            // ... but before the lower-case letters when it counts
    {"ab", "abc", -1, -1},                         // a prefix comes first
    {"z", "\xC3\xA9", -1, -1},                     // 'z' < U+00E9
    {"\xC3\xA9", "\xC3\x89", 1, 1},                // no folding beyond ASCII
    {"\xF0\x9F\x98\x80", "\xEF\xBC\xA1", -1, -1},  // U+1F600 (surrogates) < U+FF21
    {"\xED\x9F\xBF", "\xF0\x90\x80\x80", -1, -1},  // U+D7FF < U+10000
    {"a\xF0\x9F\x98\x80", "A\xEE\x80\x80", 1, -1},
};

}  // namespace

TEST(sysutils, text_orders) {
  for (const auto& c : kOrderCases) {
    SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
    EXPECT_EQ(sign(compare_str(c.a, c.b)), c.case_sensitive);
    EXPECT_EQ(sign(compare_str(c.b, c.a)), -c.case_sensitive);
    EXPECT_EQ(sign(compare_text(c.a, c.b)), c.case_insensitive);
    EXPECT_EQ(same_text(c.a, c.b), c.case_insensitive == 0);
  }
}

TEST(sysutils, utf16_round_trip) {
  const std::string text =
      "K\xC3\xBC"
      "che \xE2\x82\xAC \xF0\x9F\x98\x80";
  std::u16string wide = utf8_to_utf16(text);
  EXPECT_EQ(wide, u"K\u00FCche \u20AC \U0001F600");
  EXPECT_EQ(utf16_to_utf8(wide), text);
  EXPECT_EQ(utf16_to_utf8(u"\xD800x"), "\xEF\xBF\xBDx");      // unpaired surrogate
  EXPECT_EQ(utf16_to_utf8(u"abc\xDC00"), "abc\xEF\xBF\xBD");  // after an ASCII start
  // ASCII only, empty, and other letters at the start, in the middle, at the end.
  const struct {
    std::string utf8;
    std::u16string utf16;
  } texts[] = {{".material.default.id", u".material.default.id"},
               {"", u""},
               {"\xC3\xBC"
                "ber",
                u"\u00FCber"},
               {"Ma\xC3\x9F"
                "e 600",
                u"Ma\u00DFe 600"},
               {"600 \xE2\x82\xAC", u"600 \u20AC"}};
  for (const auto& t : texts) {
    EXPECT_EQ(utf8_to_utf16(t.utf8), t.utf16) << t.utf8;
    EXPECT_EQ(utf16_to_utf8(t.utf16), t.utf8) << t.utf8;
  }
  EXPECT_EQ(upper_case("bxf2 \xC3\xA9"), "BXF2 \xC3\xA9");
}

TEST(sysutils, valid_utf8_takes_only_well_formed_text) {
  const struct {
    const char* what;
    std::string text;
    bool valid;
  } cases[] = {
      {"empty", "", true},
      {"ASCII", "Side left (KSL)", true},
      {"two, three and four bytes",
       "K\xC3\xBC"
       "che 5\xE2\x82\xAC \xF0\x9F\x98\x80",
       true},
      {"U+FFFD written out", "\xEF\xBF\xBD", true},
      {"Latin-1 byte",
       "K\xFC"
       "che",
       false},
      {"lone continuation byte", "\x80", false},
      {"cut short", "\xE2\x82", false},
      {"overlong", "\xC0\x80", false},
      {"surrogate", "\xED\xA0\x80", false},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", false},
  };
  for (const auto& c : cases) EXPECT_EQ(valid_utf8(c.text), c.valid) << c.what;
}

TEST(sysutils, printable_text_escapes_control_characters_and_broken_bytes) {
  const struct {
    std::string text, printed;
  } cases[] = {
      {"Base cabinet 600 (US60)", "Base cabinet 600 (US60)"},
      {"cab\x1b[2J-600", "cab\\x1b[2J-600"},              // ESC: clears a terminal
      {std::string("a\0b", 3), "a\\x00b"},                // NUL
      {"tab\tline\nreturn\r", "tab\\tline\\nreturn\\r"},  // the usual ones by name
      {"del\x7f", "del\\x7f"},                            // DEL
      {"csi\xC2\x9B"
       "2J",
       "csi\\u009b2J"},  // C1 CSI, as UTF-8
      {"raw\x9B"
       "2J",
       "raw\\x9b2J"},  // C1 CSI as a bare byte
      {"K\xC3\xBC"
       "che \xE2\x82\xAC \xEF\xBF\xBD",
       "K\xC3\xBC"
       "che \xE2\x82\xAC \xEF\xBF\xBD"},       // text stays
      {"C:\\escaped.txt", "C:\\escaped.txt"},  // backslashes stay
      {"cut\xE2\x82", "cut\\xe2\\x82"},        // a truncated sequence
  };
  for (const auto& c : cases) EXPECT_EQ(printable_text(c.text), c.printed) << c.printed;
}
