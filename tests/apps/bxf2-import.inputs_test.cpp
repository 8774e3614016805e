#include "bxf2-import.inputs.h"

#include <gtest/gtest.h>

// A head declares millimetres by a "meter" of 0.001 (either decimal
// separator), or by the text "mm" (or none) without that attribute.
TEST(inputs, units_other_than_millimetres_are_warned_of) {
  using TAttributes = std::vector<std::pair<std::string, std::string>>;
  struct TCase {
    TAttributes attributes;
    std::string text;
    std::optional<std::string> warning;
  };
  const TCase cases[] = {
      {{{"meter", "0.001"}}, "mm", std::nullopt},
      {{{"METER", "0,001"}}, "millimetre", std::nullopt},
      {{}, " mm ", std::nullopt},
      {{}, "", std::nullopt},
      {{{"meter", "0.01"}},
       "cm",
       "the head declares the unit \"cm\" (meter=\"0.01\"); lengths are read as millimetres"},
      {{{"meter", "0.001"}, {"x", "1"}}, "inch", std::nullopt},  // the factor is what the file means
      {{{"meter", "one"}}, "mm", "the head declares the unit \"mm\" (meter=\"one\"); lengths are read as millimetres"},
      {{}, "inch", "the head declares the unit \"inch\"; lengths are read as millimetres"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(unit_warning(c.attributes, c.text), c.warning);
  }
}

TEST(inputs, paths_are_quoted_for_the_shell_when_they_need_it) {
  EXPECT_EQ(shell_quoted("/data/kitchen.zip"), "/data/kitchen.zip");
  EXPECT_EQ(shell_quoted("/data/my kitchen.zip"), "'/data/my kitchen.zip'");
  EXPECT_EQ(shell_quoted("it's.zip"), "'it'\\''s.zip'");
}
