#include "host.window.h"

#include <algorithm>

CMainWindow* CMainWindow::create() { return construct(new CMainWindow()); }

int CMainWindow::process_messages() {
  int count = 0;
  while (!_queue.empty()) {
    TMsg msg = _queue.front();
    _queue.pop_front();
    dispatch_message(msg);
    ++count;
  }
  return count;
}

bool CMainWindow::dispatch_message(TMsg& msg) {
  bool handled = false;
  // A handler may unregister itself (or another) while it runs.
  std::vector<TRef<IMessageHandler>> handlers = _handlers;
  for (const auto& h : handlers) {
    try {
      h->handle_message(msg, handled);
    } catch (...) {
      continue;
    }
    if (handled) break;
  }
  return handled;
}

HRESULT CMainWindow::GetHandle(int32_t* handle) {
  return host_call("IMainWindow.GetHandle", [&] {
    if (!handle) return E_POINTER;
    *handle = _handle;
    return S_OK;
  });
}

HRESULT CMainWindow::GetIcon(int32_t* icon) {
  return host_call("IMainWindow.GetIcon", [&] {
    if (!icon) return E_POINTER;
    *icon = _icon;
    return S_OK;
  });
}

HRESULT CMainWindow::GetFontName(BSTR* name) {
  return host_call("IMainWindow.GetFontName", [&] {
    if (!name) return E_POINTER;
    *name = utf8_to_bstr(_font_name);
    return S_OK;
  });
}

int32_t CMainWindow::GetPosition() {
  host_plain_call("IProgress.GetPosition");
  return _progress.position;
}

void CMainWindow::SetMax(int32_t value) {
  host_plain_call("IProgress.SetMax");
  _progress.max = value;
}

void CMainWindow::SetPosition(int32_t value) {
  host_plain_call("IProgress.SetPosition");
  _progress.position = value;
}

void CMainWindow::SetText(BSTR text) {
  host_plain_call("IProgress.SetText");
  _progress.text = bstr_to_utf8(text);
  _texts.push_back(_progress.text);
}

bool CMainWindow::Proceed() {
  if (THostStop::requested()) return false;
  host_plain_call("IProgress.Proceed");
  process_messages();
  return _proceed ? _proceed(_progress) : true;
}

void CMainWindow::add_handler(IMessageHandler* handler) {
  host_plain_call("IMessagePump.add_handler");
  if (!handler) return;
  for (const auto& h : _handlers)
    if (h.get() == handler) return;
  _handlers.emplace_back(handler);
}

void CMainWindow::remove_handler(IMessageHandler* handler) {
  host_plain_call("IMessagePump.remove_handler");
  auto it = std::find_if(_handlers.begin(), _handlers.end(), [&](const auto& h) { return h.get() == handler; });
  if (it != _handlers.end()) _handlers.erase(it);
}
