#include "system.h"

#include <gtest/gtest.h>

TEST(system, guid_parse_and_print) {
  constexpr TGUID g = TGUID::parse("{54FBC625-5EA8-4F88-8D88-69F4E62867eb}");
  static_assert(g.D1 == 0x54FBC625 && g.D2 == 0x5EA8 && g.D3 == 0x4F88 && g.D4[0] == 0x8D && g.D4[7] == 0xEB);
  EXPECT_EQ(g.to_string(), "{54FBC625-5EA8-4F88-8D88-69F4E62867EB}");
  EXPECT_FALSE(g == IInterface::IID);
}

TEST(system, module_name_keeps_dotted_names) {
  EXPECT_EQ(module_name_of("/src/plugins/import.bxf2/source/import.bxf2.parser.cpp"), "import.bxf2.parser");
  EXPECT_EQ(module_name_of("libext/uList.h"), "uList");
  EXPECT_EQ(module_name_of("C:\\src\\uLexYacc.cpp"), "uLexYacc");
}

TEST(system, assertion_text_names_message_module_and_line) {
  try {
    ASSERT(1 + 1 == 3);
    FAIL();
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.message(), "Assertion failure (system_test, line " + std::to_string(__LINE__ - 3) + ")");
    EXPECT_STREQ(e.class_name(), "EAssertionFailed");
  }
  try {
    ASSERT_MSG(false, "cabinetLinks");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.message(), "cabinetLinks (system_test, line " + std::to_string(__LINE__ - 3) + ")");
  }
}

TEST(system, exceptions_are_std_exceptions_with_their_class_names) {
  const std::exception& e = EZeroDivide();
  EXPECT_STREQ(e.what(), "");
  EXPECT_STREQ(EInvalidPointer("x").class_name(), "EInvalidPointer");
  EXPECT_STREQ(EConvertError("x").class_name(), "EConvertError");
}
