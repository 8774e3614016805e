// The user-interface toolkit's application object: the window that owns the
// toolkit's dialogs, its icon, the default font name of new forms, the
// application-wide message event, the toolkit's message pre-processing and
// the queue of calls that other threads post for the main thread.
//
// There is one application object per module file (`application()`): a
// plug-in links its own copy of this library and so has its own toolkit
// application beside the host's, as it would on the desktop.
//
// The stand-in has no windows of its own: forms and dialogs are shown by a
// presenter (platform.presenters), and the checks of the pre-processing that
// would ask real windows (mouse capture, controls that claim a message, hints,
// MDI accelerators, shortcuts, dialog navigation) are hooks that answer "no"
// until a test or a host replaces them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "uWindowMessages.h"

class CPresenter;

// Window, icon and other handles: pointer-sized, 0 for none.
using THandle = intptr_t;

// The message record `TMsg` and the message numbers: uWindowMessages.

// The application-wide message event: sees every message first and may set
// `handled`.
using TMessageEvent = std::function<void(TMsg& msg, bool& handled)>;
// A check of the pre-processing: true when it takes the message.
using TMessageCheck = std::function<bool(TMsg& msg)>;

// The replaceable checks of `handle_message`; an empty one answers false.
struct TPreprocessHooks {
  std::function<bool()> mouse_captured;  // a window has captured the mouse
  TMessageCheck control_message;         // the control owning msg.hwnd (or a parent) claims it
  TMessageCheck hint_message;            // taken as a hint (tooltip) message
  TMessageCheck mdi_message;             // an MDI accelerator
  TMessageCheck key_message;             // a shortcut or key taken by a control or menu
  TMessageCheck dialog_message;          // dialog navigation (Tab, arrows, Enter, Escape)
};

// The toolkit application object (named apart from a host's own application
// object, which a program may link beside it).
class CToolkitApplication {
 public:
  CToolkitApplication();
  ~CToolkitApplication();
  CToolkitApplication(const CToolkitApplication&) = delete;
  CToolkitApplication& operator=(const CToolkitApplication&) = delete;

  // The window that owns the toolkit's dialogs; 0 (none) at start.
  THandle handle() const { return _handle; }
  void set_handle(THandle handle) { _handle = handle; }
  // The application's icon; 0 at start.
  THandle icon() const { return _icon; }
  void set_icon(THandle icon) { _icon = icon; }
  // The face name new fonts start with, and so the font of forms created
  // afterwards; "Sans" at start.
  const std::string& default_font_name() const { return _default_font_name; }
  void set_default_font_name(std::string name) { _default_font_name = std::move(name); }

  // The application-wide message event; empty at start.
  const TMessageEvent& on_message() const { return _on_message; }
  void set_on_message(TMessageEvent handler) { _on_message = std::move(handler); }

  TPreprocessHooks& hooks() { return _hooks; }

  // The toolkit's pre-processing of a message the host's loop retrieved, in
  // this order:
  // 1. the application-wide message event, when set, with `msg` and `handled`;
  // 2. when no window has captured the mouse and a control claims the message,
  //    or it is a hint message: `handled` becomes true, return;
  // 3. when `handled` is already true: return;
  // 4. an MDI accelerator, key message or dialog message: `handled` becomes
  //    true, return;
  // 5. otherwise the queued main-thread calls run and `handled` stays false.
  // An exception of the event, a check or a queued call leaves through here.
  void handle_message(TMsg& msg, bool& handled);

  // Adds a call for the main thread; any thread may call it. The call runs
  // the next time the main thread runs the queue (`check_synchronize`, or
  // step 5 of `handle_message`), after the calls queued before it.
  void queue(std::function<void()> call);
  // Runs the queued calls in order, also those queued while it runs; returns
  // true when at least one ran. A call that raises ends the run: the
  // exception leaves through here and the calls after it stay queued.
  // Main thread only.
  bool check_synchronize();
  // The number of calls waiting.
  size_t queued_count() const;

  // The presenter that shows forms and dialogs: the one set, else a terminal
  // presenter made on first use.
  std::shared_ptr<CPresenter> presenter();
  // Sets the presenter; null returns to the terminal presenter.
  void set_presenter(std::shared_ptr<CPresenter> presenter) { _presenter = std::move(presenter); }

 private:
  THandle _handle = 0;
  THandle _icon = 0;
  std::string _default_font_name = "Sans";
  TMessageEvent _on_message;
  TPreprocessHooks _hooks;
  mutable std::mutex _queue_lock;
  std::vector<std::function<void()>> _queue;
  std::shared_ptr<CPresenter> _presenter;
};

// The toolkit application of this module file.
CToolkitApplication& application();
