// COM basics at the boundary between the host and its plug-ins: the COM
// string `BSTR` with its allocation functions, the owning wrapper `TBStr`
// that converts to and from the system's UTF-8 text, COM Booleans, and
// `EOleSysError`, the exception a failed COM call turns into.
//
// A BSTR points at UTF-16 code units followed by a NUL; the 32-bit byte
// length sits in the four bytes before the pointer, so a BSTR may hold NULs.
// A null BSTR is the empty text. Whoever allocates a BSTR hands it on or
// frees it with `SysFreeString`; an out parameter passes ownership to the
// caller.
//
//   TBStr name;
//   OleCheck(entity->GetName(name.put()));   // raises EOleSysError on failure
//   std::string text = name.utf8();
//
// `IUnknown`, `TGUID`, `HRESULT` and the smart pointer `TRef` come from the
// runtime (system.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "system.h"

// ---------------------------------------------------------------------------
// Strings
// ---------------------------------------------------------------------------

using BSTR = char16_t*;

// A new BSTR holding `text` up to its NUL; null for a null `text`. The caller frees it.
BSTR SysAllocString(const char16_t* text);
// A new BSTR of `length` code units copied from `text` (all NULs when `text`
// is null). The caller frees it.
BSTR SysAllocStringLen(const char16_t* text, uint32_t length);
// Frees a BSTR made by the functions above; null is allowed.
void SysFreeString(BSTR text);
// The number of code units (0 for null).
uint32_t SysStringLen(BSTR text);

// An owned BSTR. Moves hand the string on; destruction frees it.
class TBStr {
 public:
  TBStr() = default;
  // A copy of `text` converted to UTF-16.
  explicit TBStr(std::string_view text);
  explicit TBStr(std::u16string_view text);
  TBStr(const TBStr& other);
  TBStr(TBStr&& other) noexcept;
  TBStr& operator=(TBStr other) noexcept;
  ~TBStr();

  // Takes over a BSTR the caller owned.
  static TBStr adopt(BSTR text);

  BSTR get() const { return _text; }
  // Frees the string held and returns the slot for an out parameter.
  BSTR* put();
  // Hands the string to the caller, who frees it.
  BSTR detach();

  uint32_t length() const { return SysStringLen(_text); }
  bool empty() const { return length() == 0; }
  std::string utf8() const;
  std::u16string utf16() const;

 private:
  BSTR _text = nullptr;
};

// A copy of `text` as UTF-8 (empty for null).
std::string bstr_to_utf8(BSTR text);
// A new BSTR holding `text`; the caller frees it.
BSTR utf8_to_bstr(std::string_view text);

// ---------------------------------------------------------------------------
// Booleans
// ---------------------------------------------------------------------------

// The COM Boolean of COM calls: true is -1, false is 0; any non-zero value reads as true.
using VARIANT_BOOL = int16_t;
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

inline constexpr VARIANT_BOOL to_variant_bool(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }
inline constexpr bool from_variant_bool(VARIANT_BOOL value) { return value != 0; }

// ---------------------------------------------------------------------------
// Failed calls
// ---------------------------------------------------------------------------

// A COM call that answered a failure code.
class EOleSysError : public Exception {
 public:
  // The message is the code's text (`ole_error_message`).
  explicit EOleSysError(HRESULT code);
  EOleSysError(std::string message, HRESULT code) : Exception(std::move(message)), _error_code(code) {}
  HRESULT error_code() const { return _error_code; }
  const char* class_name() const override { return "EOleSysError"; }

 private:
  HRESULT _error_code;
};

// The text for a result code: its name and meaning ("E_FAIL: unspecified
// error", "E_OUTOFMEMORY: out of memory"), or "OLE error 80040200" for a code
// without a name.
std::string ole_error_message(HRESULT code);
// The name of a result code ("E_OUTOFMEMORY"), or null for one without a name.
const char* hresult_name(HRESULT code);

// Returns `code` when it reports success; raises EOleSysError with it otherwise.
HRESULT OleCheck(HRESULT code);
