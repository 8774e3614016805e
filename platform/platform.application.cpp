#include "platform.application.h"

#include "platform.presenters.h"

CToolkitApplication::CToolkitApplication() = default;
CToolkitApplication::~CToolkitApplication() = default;

namespace {
bool ask(const TMessageCheck& check, TMsg& msg) { return check && check(msg); }
}  // namespace

void CToolkitApplication::handle_message(TMsg& msg, bool& handled) {
  if (_on_message) _on_message(msg, handled);
  bool captured = _hooks.mouse_captured && _hooks.mouse_captured();
  if ((!captured && ask(_hooks.control_message, msg)) || ask(_hooks.hint_message, msg)) {
    handled = true;
    return;
  }
  if (handled) return;
  if (ask(_hooks.mdi_message, msg) || ask(_hooks.key_message, msg) || ask(_hooks.dialog_message, msg)) {
    handled = true;
    return;
  }
  check_synchronize();
}

void CToolkitApplication::queue(std::function<void()> call) {
  std::lock_guard lock(_queue_lock);
  _queue.push_back(std::move(call));
}

bool CToolkitApplication::check_synchronize() {
  bool ran = false;
  for (;;) {
    std::function<void()> call;
    {
      std::lock_guard lock(_queue_lock);
      if (_queue.empty()) return ran;
      call = std::move(_queue.front());
      _queue.erase(_queue.begin());
    }
    ran = true;
    if (call) call();
  }
}

size_t CToolkitApplication::queued_count() const {
  std::lock_guard lock(_queue_lock);
  return _queue.size();
}

std::shared_ptr<CPresenter> CToolkitApplication::presenter() {
  if (!_presenter) _presenter = std::make_shared<CTerminalPresenter>();
  return _presenter;
}

CToolkitApplication& application() {
  static CToolkitApplication instance;
  return instance;
}
