// The runtime every module builds on: interface identifiers and result codes,
// the basic reference-counted interface `IInterface` with its smart pointer
// `TRef`, the exception classes, and the assertion macros.
//
// Interfaces are abstract classes without data and without a virtual
// destructor, so a method's vtable slot is its position in the declaration:
// the three `IInterface` methods take slots 0 to 2.
//
//   TRef<IList<int>> list = CList<int>::create();  // takes the first reference
//   list->add(1);                                   // released with `list`
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

// ---------------------------------------------------------------------------
// Identifiers and result codes
// ---------------------------------------------------------------------------

struct TGUID {
  uint32_t D1 = 0;
  uint16_t D2 = 0;
  uint16_t D3 = 0;
  uint8_t D4[8] = {};

  friend constexpr bool operator==(const TGUID& a, const TGUID& b) {
    if (a.D1 != b.D1 || a.D2 != b.D2 || a.D3 != b.D3) return false;
    for (int i = 0; i < 8; ++i)
      if (a.D4[i] != b.D4[i]) return false;
    return true;
  }

  // Reads "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" at compile time.
  static consteval TGUID parse(const char (&s)[39]) {
    TGUID g;
    int pos = 1;
    auto hex = [&](int digits) {
      uint64_t v = 0;
      for (int i = 0; i < digits; ++i, ++pos) {
        char c = s[pos];
        if (c == '-') c = s[++pos];
        v = v * 16 + (c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c - 'A' + 10);
      }
      return v;
    };
    g.D1 = uint32_t(hex(8));
    g.D2 = uint16_t(hex(4));
    g.D3 = uint16_t(hex(4));
    for (auto& b : g.D4) b = uint8_t(hex(2));
    return g;
  }

  // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case.
  std::string to_string() const;
};

using HRESULT = int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = HRESULT(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = HRESULT(0x80004002u);
inline constexpr HRESULT E_POINTER = HRESULT(0x80004003u);
inline constexpr HRESULT E_ABORT = HRESULT(0x80004004u);
inline constexpr HRESULT E_FAIL = HRESULT(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = HRESULT(0x8000FFFFu);
inline constexpr HRESULT E_OUTOFMEMORY = HRESULT(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = HRESULT(0x80070057u);

inline constexpr bool succeeded(HRESULT hr) { return hr >= 0; }
inline constexpr bool failed(HRESULT hr) { return hr < 0; }

// ---------------------------------------------------------------------------
// IInterface
// ---------------------------------------------------------------------------

// The basic reference-counted interface (the COM `IUnknown`).
struct IInterface {
  static constexpr TGUID IID = TGUID::parse("{00000000-0000-0000-C000-000000000046}");
  // Stores a counted reference to the interface `iid` in `*obj`, or null and
  // E_NOINTERFACE when the object does not implement it.
  virtual HRESULT QueryInterface(const TGUID& iid, void** obj) = 0;
  // Both return the count after the change; 0 from Release means destroyed.
  virtual int32_t AddRef() = 0;
  virtual int32_t Release() = 0;

 protected:
  ~IInterface() = default;
};
using IUnknown = IInterface;

// A counted reference to an interface. Copying takes a reference, destruction
// drops it. `TRef<I>::adopt` takes over a reference that is already counted
// (an out parameter filled by a COM call).
template <class I>
class TRef {
 public:
  TRef() = default;
  TRef(std::nullptr_t) {}
  TRef(I* p) : _p(p) {
    if (_p) _p->AddRef();
  }
  TRef(const TRef& o) : TRef(o._p) {}
  TRef(TRef&& o) noexcept : _p(std::exchange(o._p, nullptr)) {}
  template <class J>
  requires std::is_convertible_v<J*, I*> TRef(const TRef<J>& o) : TRef(static_cast<I*>(o.get())) {}
  ~TRef() { reset(); }

  TRef& operator=(const TRef& o) {
    TRef(o).swap(*this);
    return *this;
  }
  TRef& operator=(TRef&& o) noexcept {
    TRef(std::move(o)).swap(*this);
    return *this;
  }

  static TRef adopt(I* p) {
    TRef r;
    r._p = p;
    return r;
  }

  I* get() const { return _p; }
  I* operator->() const { return _p; }
  I& operator*() const { return *_p; }
  explicit operator bool() const { return _p != nullptr; }

  // Drops the reference held.
  void reset() {
    if (I* p = std::exchange(_p, nullptr)) p->Release();
  }
  // Drops the reference held and returns the slot for an out parameter.
  I** put() {
    reset();
    return &_p;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  // Gives up the reference without releasing it.
  I* detach() { return std::exchange(_p, nullptr); }
  void swap(TRef& o) noexcept { std::swap(_p, o._p); }

  // The interface J of the same object, or null when it is not supported.
  template <class J>
  TRef<J> query() const {
    TRef<J> r;
    if (_p) _p->QueryInterface(J::IID, r.put_void());
    return r;
  }

  friend bool operator==(const TRef& a, const TRef& b) { return a._p == b._p; }
  friend bool operator==(const TRef& a, std::nullptr_t) { return a._p == nullptr; }

 private:
  I* _p = nullptr;
};

// The interface J of an object, or null when it does not answer it.
template <class J, class I>
TRef<J> query_interface(I* p) {
  TRef<J> r;
  if (p) p->QueryInterface(J::IID, r.put_void());
  return r;
}

// ---------------------------------------------------------------------------
// Exceptions
// ---------------------------------------------------------------------------

// Base of every exception the system raises: carries only its message.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message = {}) : _message(std::move(message)) {}
  const std::string& message() const { return _message; }
  const char* what() const noexcept override { return _message.c_str(); }
  // The class name, for diagnostics ("EParse").
  virtual const char* class_name() const { return "Exception"; }

 private:
  std::string _message;
};

#define BXF_DECLARE_EXCEPTION(Name, Base)                     \
  class Name : public Base {                                  \
   public:                                                    \
    using Base::Base;                                         \
    const char* class_name() const override { return #Name; } \
  }

BXF_DECLARE_EXCEPTION(EAssertionFailed, Exception);  // a failed internal check
BXF_DECLARE_EXCEPTION(EConvertError, Exception);     // text that does not convert
BXF_DECLARE_EXCEPTION(EZeroDivide, Exception);       // division by zero (empty message)
BXF_DECLARE_EXCEPTION(EInvalidPointer, Exception);   // freeing a referenced object

// Raises EAssertionFailed with "<message> (<module>, line <line>)", the
// module being the file name of `file` without folder and last extension.
[[noreturn]] void assertion_failed(std::string_view message, const char* file, int line);

// "import.bxf2.parser" for ".../import.bxf2.parser.cpp".
std::string module_name_of(std::string_view file);

// ASSERT(cond) and ASSERT_MSG(cond, message): a broken precondition raises
// EAssertionFailed naming this source module and line; the message defaults
// to "Assertion failure".
#define ASSERT(cond) ((cond) ? void(0) : ::assertion_failed("Assertion failure", __FILE__, __LINE__))
#define ASSERT_MSG(cond, message) ((cond) ? void(0) : ::assertion_failed((message), __FILE__, __LINE__))
