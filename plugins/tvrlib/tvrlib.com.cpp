#include "tvrlib.com.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include <fmt/format.h>

#include "sysutils.h"

// ---------------------------------------------------------------------------
// Strings
// ---------------------------------------------------------------------------

namespace {

// The byte length sits in the four bytes before the text.
uint32_t& byte_length(BSTR text) { return *reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(text) - 4); }

}  // namespace

BSTR SysAllocString(const char16_t* text) {
  if (!text) return nullptr;
  uint32_t length = 0;
  while (text[length]) ++length;
  return SysAllocStringLen(text, length);
}

BSTR SysAllocStringLen(const char16_t* text, uint32_t length) {
  // Room for the length, the text and its NUL; aligned for the length word.
  size_t bytes = 4 + size_t(length) * 2 + 2;
  char* block = static_cast<char*>(std::malloc(bytes));
  if (!block) throw std::bad_alloc();
  BSTR result = reinterpret_cast<BSTR>(block + 4);
  byte_length(result) = length * 2;
  if (text)
    std::memcpy(result, text, size_t(length) * 2);
  else
    std::memset(result, 0, size_t(length) * 2);
  result[length] = 0;
  return result;
}

void SysFreeString(BSTR text) {
  if (text) std::free(reinterpret_cast<char*>(text) - 4);
}

uint32_t SysStringLen(BSTR text) { return text ? byte_length(text) / 2 : 0; }

TBStr::TBStr(std::string_view text) : _text(utf8_to_bstr(text)) {}

TBStr::TBStr(std::u16string_view text) : _text(SysAllocStringLen(text.data(), uint32_t(text.size()))) {}

TBStr::TBStr(const TBStr& other) : _text(other._text ? SysAllocStringLen(other._text, other.length()) : nullptr) {}

TBStr::TBStr(TBStr&& other) noexcept : _text(std::exchange(other._text, nullptr)) {}

TBStr& TBStr::operator=(TBStr other) noexcept {
  std::swap(_text, other._text);
  return *this;
}

TBStr::~TBStr() { SysFreeString(_text); }

TBStr TBStr::adopt(BSTR text) {
  TBStr result;
  result._text = text;
  return result;
}

BSTR* TBStr::put() {
  SysFreeString(std::exchange(_text, nullptr));
  return &_text;
}

BSTR TBStr::detach() { return std::exchange(_text, nullptr); }

std::string TBStr::utf8() const { return bstr_to_utf8(_text); }

std::u16string TBStr::utf16() const { return _text ? std::u16string(_text, length()) : std::u16string(); }

std::string bstr_to_utf8(BSTR text) {
  if (!text) return {};
  return utf16_to_utf8(std::u16string_view(text, SysStringLen(text)));
}

BSTR utf8_to_bstr(std::string_view text) {
  std::u16string wide = utf8_to_utf16(text);
  return SysAllocStringLen(wide.data(), uint32_t(wide.size()));
}

// ---------------------------------------------------------------------------
// Failed calls
// ---------------------------------------------------------------------------

const char* hresult_name(HRESULT code) {
  switch (code) {
    case E_NOTIMPL: return "E_NOTIMPL";
    case E_NOINTERFACE: return "E_NOINTERFACE";
    case E_POINTER: return "E_POINTER";
    case E_ABORT: return "E_ABORT";
    case E_FAIL: return "E_FAIL";
    case E_UNEXPECTED: return "E_UNEXPECTED";
    case E_OUTOFMEMORY: return "E_OUTOFMEMORY";
    case E_INVALIDARG: return "E_INVALIDARG";
    default: return nullptr;
  }
}

std::string ole_error_message(HRESULT code) {
  const char* text = nullptr;
  switch (code) {
    case E_NOTIMPL: text = "not implemented"; break;
    case E_NOINTERFACE: text = "interface not supported"; break;
    case E_POINTER: text = "invalid pointer"; break;
    case E_ABORT: text = "operation aborted"; break;
    case E_FAIL: text = "unspecified error"; break;
    case E_UNEXPECTED: text = "catastrophic failure"; break;
    case E_OUTOFMEMORY: text = "out of memory"; break;
    case E_INVALIDARG: text = "the parameter is incorrect"; break;
    default: return fmt::format("OLE error {:08X}", uint32_t(code));
  }
  return fmt::format("{}: {}", hresult_name(code), text);
}

EOleSysError::EOleSysError(HRESULT code) : Exception(ole_error_message(code)), _error_code(code) {}

HRESULT OleCheck(HRESULT code) {
  if (failed(code)) throw EOleSysError(code);
  return code;
}
