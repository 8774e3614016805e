// The host's message pump and the handlers plug-ins register with it, so
// that every message the host retrieves also passes through a plug-in's own
// user-interface toolkit. Plain calls.
//
// The pump is reached by querying the main window object for IMessagePump.
#pragma once

#include <cstdint>

#include "TVR_TLB.h"

// A window message record, laid out like the platform's.
struct TMsg {
  intptr_t hwnd = 0;      // the window the message is for
  uint32_t message = 0;   // the message number
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
  uint32_t time = 0;      // when it was posted
  int32_t pt_x = 0;       // the cursor position when it was posted
  int32_t pt_y = 0;
};

// Message numbers the reference host dispatches.
inline constexpr uint32_t WM_NULL = 0x0000;
inline constexpr uint32_t WM_KEYDOWN = 0x0100;
inline constexpr uint32_t WM_CHAR = 0x0102;

struct IMessageHandler : IUnknown {
  static constexpr TGUID IID = TGUID::parse("{9AF8699B-B6AA-440A-AA99-472F06727A1D}");
  using Parent = IUnknown;
  // Called for each message the host dispatches. `msg` may be changed;
  // `handled` comes in as the host has it and goes out true when the
  // handler took the message.
  virtual void handle_message(TMsg& msg, bool& handled) = 0;  // 3

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
