// The reference host's main window: its handle, icon and font, the progress
// display (IProgress) and the message pump (IMessagePump) with which plug-ins
// register message handlers.
//
// Nothing is drawn. The progress display keeps its state and asks a handler
// set by the program (a terminal progress bar, a test) whether to go on;
// without one it always goes on. Messages posted to the window are
// dispatched to the registered handlers, in registration order, whenever the
// host processes its messages: on each `Proceed` and on `process_messages`.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "TVR_TLB.h"
#include "hapi.hooks.h"
#include "host.calls.h"
#include "uInterfacedObjects.h"

// What the progress display shows when it asks whether to go on.
struct TProgressState {
  int32_t max = 0;
  int32_t position = 0;
  std::string text;
};

class CMainWindow : public TImplements<CSafeInterfacedObject, IMainWindow, IProgress, IMessagePump> {
 public:
  // Answers a `Proceed`: true to go on.
  using TProceedHandler = std::function<bool(const TProgressState&)>;

  static CMainWindow* create();

  // -- host side -----------------------------------------------------------

  // The window handle (default 0x00010010), icon handle (default 0x00020020)
  // and user-interface font name (default "Sans") the window reports.
  void set_handle(int32_t handle) { _handle = handle; }
  void set_icon(int32_t icon) { _icon = icon; }
  void set_font_name(std::string name) { _font_name = std::move(name); }

  const TProgressState& progress() const { return _progress; }
  // Every text shown, oldest first.
  const std::vector<std::string>& texts() const { return _texts; }
  void set_proceed_handler(TProceedHandler handler) { _proceed = std::move(handler); }

  // Queues a message for the handlers.
  void post_message(const TMsg& msg) { _queue.push_back(msg); }
  // Dispatches the queued messages; returns how many were dispatched.
  int process_messages();
  // Passes one message through the handlers until one sets `handled`;
  // returns `handled`. A handler that raises is skipped.
  bool dispatch_message(TMsg& msg);
  size_t handler_count() const { return _handlers.size(); }
  // Drops every registered handler (before plug-in modules unload).
  void clear_handlers() { _handlers.clear(); }
  // Drops the handlers registered after the first `count`.
  void drop_handlers_after(size_t count) {
    if (count < _handlers.size()) _handlers.resize(count);
  }

  // -- IMainWindow ---------------------------------------------------------

  HRESULT GetHandle(int32_t* handle) override;
  HRESULT GetIcon(int32_t* icon) override;
  HRESULT GetFontName(BSTR* name) override;

  // -- IProgress -----------------------------------------------------------

  int32_t GetPosition() override;
  void SetMax(int32_t value) override;
  void SetPosition(int32_t value) override;
  void SetText(BSTR text) override;
  // Processes the queued messages, then asks the proceed handler.
  bool Proceed() override;

  // -- IMessagePump --------------------------------------------------------

  void add_handler(IMessageHandler* handler) override;
  void remove_handler(IMessageHandler* handler) override;

  std::string class_name() const override { return "CMainWindow"; }

 protected:
  CMainWindow() = default;

 private:
  int32_t _handle = 0x00010010;
  int32_t _icon = 0x00020020;
  std::string _font_name = "Sans";
  TProgressState _progress;
  std::vector<std::string> _texts;
  TProceedHandler _proceed;
  std::vector<TRef<IMessageHandler>> _handlers;
  std::deque<TMsg> _queue;
};
