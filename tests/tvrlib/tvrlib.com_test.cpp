// COM strings, COM Booleans and the raising of failed result codes.
#include "tvrlib.com.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(com_bstr, allocation_keeps_length_prefix_and_terminator) {
  BSTR s = SysAllocString(u"K\u00FCche");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 5u);
  uint32_t bytes;
  std::memcpy(&bytes, reinterpret_cast<char*>(s) - 4, 4);
  EXPECT_EQ(bytes, 10u);
  EXPECT_EQ(s[5], u'\0');
  EXPECT_EQ(std::u16string(s), u"K\u00FCche");
  SysFreeString(s);
}

TEST(com_bstr, embedded_nul_and_null_strings) {
  BSTR s = SysAllocStringLen(u"a\0b", 3);
  EXPECT_EQ(SysStringLen(s), 3u);
  EXPECT_EQ(bstr_to_utf8(s), std::string("a\0b", 3));
  SysFreeString(s);

  BSTR zeros = SysAllocStringLen(nullptr, 2);
  EXPECT_EQ(SysStringLen(zeros), 2u);
  EXPECT_EQ(zeros[0], 0);
  EXPECT_EQ(zeros[1], 0);
  SysFreeString(zeros);

  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(bstr_to_utf8(nullptr), "");
  SysFreeString(nullptr);
}

TEST(com_bstr, wrapper_converts_utf8_and_passes_ownership) {
  struct TCase {
    const char* utf8;
    std::u16string utf16;
  };
  const TCase cases[] = {
      {"", u""},
      {"import.bxf2", u"import.bxf2"},
      {"K\xC3\xBC"
       "che \xE2\x82\xAC",
       u"K\u00FCche \u20AC"},
      {"\xF0\x9F\x8D\xB4", u"\U0001F374"},  // outside the basic plane: a surrogate pair
  };
  for (const auto& c : cases) {
    TBStr s(c.utf8);
    EXPECT_EQ(s.utf16(), c.utf16) << c.utf8;
    EXPECT_EQ(s.utf8(), c.utf8);
    EXPECT_EQ(s.length(), c.utf16.size());
    TBStr copy = s;
    EXPECT_EQ(copy.utf8(), c.utf8);
    EXPECT_NE(copy.get(), s.get());
  }

  TBStr out;
  *out.put() = SysAllocString(u"abc");
  EXPECT_EQ(out.utf8(), "abc");
  BSTR raw = out.detach();
  EXPECT_EQ(out.get(), nullptr);
  TBStr back = TBStr::adopt(raw);
  EXPECT_EQ(back.utf8(), "abc");
  TBStr moved = std::move(back);
  EXPECT_EQ(back.get(), nullptr);
  EXPECT_EQ(moved.utf8(), "abc");
}

TEST(com_variant_bool, true_is_minus_one) {
  EXPECT_EQ(to_variant_bool(true), -1);
  EXPECT_EQ(to_variant_bool(false), 0);
  EXPECT_TRUE(from_variant_bool(1));
  EXPECT_TRUE(from_variant_bool(-1));
  EXPECT_FALSE(from_variant_bool(0));
  EXPECT_EQ(sizeof(VARIANT_BOOL), 2u);
}

TEST(com_ole_check, raises_failure_codes_with_their_text) {
  struct TCase {
    HRESULT code;
    const char* message;
  };
  const TCase cases[] = {
      {E_FAIL, "E_FAIL: unspecified error"},
      {E_UNEXPECTED, "E_UNEXPECTED: catastrophic failure"},
      {E_NOINTERFACE, "E_NOINTERFACE: interface not supported"},
      {E_POINTER, "E_POINTER: invalid pointer"},
      {E_INVALIDARG, "E_INVALIDARG: the parameter is incorrect"},
      {E_NOTIMPL, "E_NOTIMPL: not implemented"},
      {E_ABORT, "E_ABORT: operation aborted"},
      {E_OUTOFMEMORY, "E_OUTOFMEMORY: out of memory"},
      {HRESULT(0x80040200u), "OLE error 80040200"},
  };
  for (const auto& c : cases) {
    try {
      OleCheck(c.code);
      ADD_FAILURE() << c.message;
    } catch (const EOleSysError& e) {
      EXPECT_EQ(e.error_code(), c.code);
      EXPECT_EQ(e.message(), c.message);
      EXPECT_STREQ(e.class_name(), "EOleSysError");
    }
  }
  EXPECT_EQ(OleCheck(S_OK), S_OK);
  EXPECT_EQ(OleCheck(S_FALSE), S_FALSE);
}

}  // namespace
