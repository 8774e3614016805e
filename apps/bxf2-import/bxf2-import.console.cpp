#include "bxf2-import.console.h"

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

TFormAnswer form_answer(TWarningAnswer answer) {
  switch (answer) {
    case TWarningAnswer::tick: return TFormAnswer::enter(true);
    case TWarningAnswer::close: return TFormAnswer::close_box();
    case TWarningAnswer::ok: break;
  }
  return TFormAnswer::enter(false);
}

namespace {
std::shared_ptr<CPresenter> desktop_presenter;
}  // namespace

CPresenter* bxf_desktop_presenter() { return desktop_presenter.get(); }

void set_desktop_presenter(std::shared_ptr<CPresenter> presenter) { desktop_presenter = std::move(presenter); }

CImportPresenter::CImportPresenter(std::optional<TWarningAnswer> warning, std::vector<std::string> files,
                                   bool interactive, std::ostream& err, std::shared_ptr<CPresenter> terminal)
    : _warning(warning),
      _files(std::move(files)),
      _interactive(interactive),
      _err(err),
      _terminal(std::move(terminal)) {}

CPresenter& CImportPresenter::terminal() {
  if (!_terminal) _terminal = std::make_shared<CTerminalPresenter>();
  return *_terminal;
}

TModalResult CImportPresenter::show_modal(CMessageForm& form) {
  if (!_warning && _interactive) return terminal().show_modal(form);
  _script.add_form_answer(form_answer(_warning.value_or(TWarningAnswer::ok)));
  return _script.show_modal(form);
}

std::optional<std::vector<std::string>> CImportPresenter::choose_files(const COpenDialog& dialog) {
  _terminal_chose = false;
  if (!_files.empty() && !_files_given) {
    _files_given = true;
    _script.add_files(_files);
    return _script.choose_files(dialog);
  }
  if (_interactive) {
    _terminal_chose = true;
    return terminal().choose_files(dialog);
  }
  _script.add_cancel();
  return _script.choose_files(dialog);
}

bool CImportPresenter::file_error(const COpenDialog& dialog, const std::string& message) {
  if (_terminal_chose) return terminal().file_error(dialog, message);
  _err << message << '\n';
  return false;
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
