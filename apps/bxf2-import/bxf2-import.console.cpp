#include "bxf2-import.console.h"

#include "bxf2-import.presenter.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <ostream>

#include <fmt/format.h>

// ---------------------------------------------------------------------------
// Presenter
// ---------------------------------------------------------------------------

void lend_presenter(std::optional<TWarningAnswer> warning, std::vector<std::string> files, bool interactive,
                    std::ostream& err) {
  set_desktop_presenter(std::make_shared<CImportPresenter>(warning, std::move(files), interactive, err));
}

void withdraw_presenter() { set_desktop_presenter(nullptr); }

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
  if (_style == TProgressStyle::lines)
    _out << fmt::format("[{}/{}] {}\n", _position, _max, text) << std::flush;
  else if (_style == TProgressStyle::bar)
    draw();
}

void CProgressView::draw() {
  if (_style != TProgressStyle::bar) return;
  constexpr int bar_width = 20;
  const int filled = _max > 0 ? bar_width * std::clamp(_position, 0, _max) / _max : 0;
  std::string line = fmt::format("[{}{}] {:>3}/{:<3} {}", std::string(filled, '#'),
                                 std::string(bar_width - filled, '.'), _position, _max, _text);
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

volatile std::sig_atomic_t stop_flag = 0;

void on_interrupt(int) { stop_flag = 1; }

}  // namespace

void install_stop_handler() {
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;  // a second Ctrl-C ends the program
  ::sigaction(SIGINT, &action, nullptr);
}

bool stop_requested() { return stop_flag != 0; }
void request_stop() { stop_flag = 1; }
void reset_stop() { stop_flag = 0; }
