#include "bxf2-import.console.h"

#include "bxf2-import.presenter.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <ostream>

#include <fmt/format.h>

#include "sysutils.h"

// ---------------------------------------------------------------------------
// Presenter
// ---------------------------------------------------------------------------

namespace {
std::shared_ptr<CImportPresenter> lent_presenter;
}  // namespace

void lend_presenter(std::optional<TWarningAnswer> warning, std::vector<std::string> files, bool interactive, bool quiet,
                    std::ostream& err) {
  lent_presenter = std::make_shared<CImportPresenter>(warning, std::move(files), interactive, quiet, err);
  set_desktop_presenter(lent_presenter);
}

void withdraw_presenter() {
  set_desktop_presenter(nullptr);
  lent_presenter.reset();
}

std::optional<std::string> presenter_cancel() { return lent_presenter ? lent_presenter->cancel() : std::nullopt; }

std::vector<std::string> presenter_typed_files() {
  return lent_presenter ? lent_presenter->typed_files() : std::vector<std::string>();
}

// ---------------------------------------------------------------------------
// Progress display
// ---------------------------------------------------------------------------

TProgressStyle progress_style(bool quiet, bool terminal) {
  if (quiet) return TProgressStyle::quiet;
  return terminal ? TProgressStyle::bar : TProgressStyle::lines;
}

int terminal_width(int fd) {
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

CProgressView::CProgressView(std::ostream& out, TProgressStyle style, int width)
    : _out(out), _style(style), _width(std::max(width, 20)) {}

CProgressView::~CProgressView() { finish(); }

void CProgressView::set_max(int value) {
  _max = value;
  if (_drawn) draw();
}

void CProgressView::set_position(int value) {
  _position = value;
  if (_drawn) draw();
}

void CProgressView::set_text(const std::string& text) {
  _text = text;
  _texts.push_back(text);
  if (_style == TProgressStyle::lines) {
    const std::string step = within_max() ? fmt::format("{}/{}", _position, _max) : fmt::format("{}", _position);
    _out << fmt::format("[{}] {}\n", step, printable_text(text)) << std::flush;
  } else if (_style == TProgressStyle::bar) {
    draw();
  }
}

bool CProgressView::within_max() const { return _position >= 0 && _position <= _max; }

void CProgressView::draw() {
  if (_style != TProgressStyle::bar) return;
  constexpr int bar_width = 20;
  const int filled = _max > 0 ? bar_width * std::clamp(_position, 0, _max) / _max : _position > 0 ? bar_width : 0;
  const std::string step =
      within_max() ? fmt::format("{:>3}/{:<3}", _position, _max) : fmt::format("{:>3}    ", _position);
  std::string line = fmt::format("[{}{}] {} {}", std::string(filled, '#'), std::string(bar_width - filled, '.'), step,
                                 printable_text(_text));
  // One line, cut to the terminal's width so that it redraws in place.
  if (static_cast<int>(line.size()) > _width - 1) line = line.substr(0, _width - 4) + "...";
  _out << '\r' << line << "\x1b[K" << std::flush;
  _drawn = true;
}

void CProgressView::finish() {
  if (_drawn) _out << '\n' << std::flush;
  _drawn = false;
}

// ---------------------------------------------------------------------------
// Stopping
// ---------------------------------------------------------------------------

namespace {

std::atomic<int> first_signal{0};
std::atomic<int> signals{0};
std::atomic<TStopAction> stop_action{nullptr};
std::atomic<TStopAction> repeat_action{nullptr};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<TStopAction>::is_always_lock_free,
              "used in a signal handler");

void on_stop_signal(int sig) {
  int none = 0;
  first_signal.compare_exchange_strong(none, sig);
  const int count = ++signals;
  if (const TStopAction action = stop_action.load()) action();
  if (count > 1)
    if (const TStopAction action = repeat_action.load()) action();
}

void set_handler(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  for (int sig : {SIGINT, SIGTERM}) ::sigaction(sig, &action, nullptr);
}

}  // namespace

void install_stop_handler() { set_handler(on_stop_signal); }
void remove_stop_handler() { set_handler(SIG_DFL); }

void set_stop_actions(TStopAction on_stop, TStopAction on_repeat) {
  stop_action = on_stop;
  repeat_action = on_repeat;
}

bool stop_requested() { return first_signal.load() != 0; }
int stop_signal() { return first_signal.load(); }
int interrupted_status() { return 128 + (stop_signal() != 0 ? stop_signal() : SIGINT); }

void request_stop() {
  int none = 0;
  first_signal.compare_exchange_strong(none, SIGINT);
}

void reset_stop() {
  first_signal = 0;
  signals = 0;
}
