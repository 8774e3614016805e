// The host's message pump and the handlers plug-ins register with it, so
// that every message the host retrieves also passes through a plug-in's own
// user-interface toolkit. Plain calls.
//
// The pump is reached by querying the main window object for IMessagePump.
#pragma once

#include <cstddef>
#include <cstdint>

#include "TVR_TLB.h"

// The host's window message record. Its layout is the desktop's message
// record (window handle, message number, two pointer-sized parameters, time
// stamp, cursor position), the same as the toolkit's `TMsg`, so a handler can
// hand the record to its toolkit by address.
struct THostMsg {
  intptr_t hwnd = 0;      // the window the message is for
  uint32_t message = 0;   // the message number
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
  uint32_t time = 0;      // when it was posted
  int32_t pt_x = 0;       // the cursor position when it was posted
  int32_t pt_y = 0;
};
static_assert(offsetof(THostMsg, message) == sizeof(void*));
static_assert(offsetof(THostMsg, wParam) == 2 * sizeof(void*));
static_assert(offsetof(THostMsg, lParam) == 3 * sizeof(void*));
static_assert(offsetof(THostMsg, time) == 4 * sizeof(void*));
static_assert(offsetof(THostMsg, pt_x) == 4 * sizeof(void*) + 4);
static_assert(sizeof(THostMsg) == (sizeof(void*) == 8 ? 48 : 28));

struct IMessageHandler : IUnknown {
  static constexpr TGUID IID = TGUID::parse("{9AF8699B-B6AA-440A-AA99-472F06727A1D}");
  using Parent = IUnknown;
  // Called for each message the host dispatches. `msg` may be changed;
  // `handled` comes in as the host has it and goes out true when the
  // handler took the message.
  virtual void handle_message(THostMsg& msg, bool& handled) = 0;  // 3

 protected:
  ~IMessageHandler() = default;
};

struct IMessagePump : IUnknown {
  static constexpr TGUID IID = TGUID::parse("{EABBBB5A-DCB5-4AD8-901D-01DD83733E9E}");
  using Parent = IUnknown;
  // Registers `handler` (the pump takes a reference); a handler already
  // registered is not added twice.
  virtual void add_handler(IMessageHandler* handler) = 0;  // 3
  // Unregisters `handler` and drops the pump's reference; an unknown handler is ignored.
  virtual void remove_handler(IMessageHandler* handler) = 0;  // 4

 protected:
  ~IMessagePump() = default;
};
