// The host's message pump and the handlers plug-ins register with it, so
// that every message the host retrieves also passes through a plug-in's own
// user-interface toolkit. Plain calls.
//
// The pump is reached by querying the main window object for IMessagePump.
#pragma once

#include <cstdint>

#include "TVR_TLB.h"
#include "uWindowMessages.h"

// The message record `TMsg` and the message numbers: uWindowMessages.

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
