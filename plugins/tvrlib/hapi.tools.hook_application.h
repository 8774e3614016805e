// The application hook: ties the plug-in's own user-interface toolkit to the
// host's main window and message loop, and hands host services to the
// plug-in's shared libraries.
//
// `hook_application` (from the plug-in's initialisation) makes the toolkit
// application adopt the host main window's handle, icon and font, registers
// a message handler with the host's message pump (so every message the host
// retrieves also passes through the toolkit's pre-processing) and hands over
// the host's format settings; `unhook_application` (from the plug-in's
// shutdown) undoes the registration and the hand-over. Nothing happens when
// the toolkit already uses the host's main window, that is when the plug-in
// shares the host's toolkit application.
//
// The host's event dispatcher and window-activation service
// (IPluginServices) are not taken: this build links no library that would
// use them.
//
//   hook_application(application);     // initialize
//   ...
//   unhook_application(application);   // done
#pragma once

#include <cstdint>

#include "TVR_TLB.h"
#include "hapi.hooks.h"
#include "uInterfacedObjects.h"

// The longest default font name the toolkit takes, in 8-bit characters.
inline constexpr size_t MAX_FONT_NAME_LENGTH = 124;

// Installs the hook; a second call while hooked does nothing. A failed host
// call raises EOleSysError and leaves the rest undone (the module counts as
// hooked from the start of the call).
void hook_application(IApplication* application);
// Removes the hook; does nothing while not hooked. A failed host call
// raises EOleSysError and leaves the rest undone (the module counts as
// unhooked from the start of the call).
void unhook_application(IApplication* application);

// Whether hook_application has completed and unhook_application not yet run.
bool application_hooked();

// The handler registered with the host's message pump: it passes every
// message through the toolkit's pre-processing. One handler serves the
// module; `start` and `stop` count its registrations.
class CMessageHandler : public TImplements<CSafeInterfacedObject, IMessageHandler> {
 public:
  // Registers the module's handler with `pump` on the first call (after
  // which each call only counts). Raises EAssertionFailed when no start is
  // outstanding but a handler is still held.
  static void start(IMessagePump* pump);
  // Unregisters the handler from `pump` and drops it on the call that
  // balances the first `start`; the other calls only count. Raises
  // EAssertionFailed when the count reaches 0 without a handler.
  static void stop(IMessagePump* pump);

  // The number of `start` calls not yet balanced by `stop`.
  static int32_t start_count();
  // The module's handler, or null.
  static IMessageHandler* handler();

  // The toolkit's pre-processing of `msg` (see CApplication::handle_message);
  // `handled` goes out true when the toolkit took the message. Queued
  // main-thread calls run for a message nothing took.
  void handle_message(TMsg& msg, bool& handled) override;

  std::string class_name() const override { return "CMessageHandler"; }

 protected:
  static CMessageHandler* create() { return construct(new CMessageHandler()); }
  CMessageHandler() = default;
};
