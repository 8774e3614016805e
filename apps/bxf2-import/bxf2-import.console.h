// What bxf2-import shows and asks on the console: the presenter lent to the
// plug-ins, the progress display drawn as a bar on a terminal and as plain
// lines otherwise, and Ctrl-C turned into a request to stop.
//
// This header stays free of the toolkit's headers: the program's host side
// includes it, and the host's window messages share names with the
// toolkit's.
#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bxf2-import.options.h"

// ---------------------------------------------------------------------------
// Presenter
// ---------------------------------------------------------------------------

// Lends the plug-ins a CImportPresenter (bxf2-import.presenter) made of these
// arguments, until `withdraw_presenter`.
void lend_presenter(std::optional<TWarningAnswer> warning, std::vector<std::string> files, bool interactive, bool quiet,
                    std::ostream& err);
void withdraw_presenter();
// The lent presenter's `cancel`: why the user's answers end the run without
// an import, nothing while they do not.
std::optional<std::string> presenter_cancel();
// The files the user chose on the terminal, as typed.
std::vector<std::string> presenter_typed_files();

// ---------------------------------------------------------------------------
// Progress display
// ---------------------------------------------------------------------------

enum class TProgressStyle {
  quiet,  // nothing is shown
  lines,  // one line per step: "[2/4] Extracting file (kitchen.zip)"
  bar,    // one line redrawn in place: "[#####.....]  2/4  Extracting file (...)"
};

// Shows the host's progress display. The maximum counts the chosen files
// while the position goes on with each mesh and archived file, so it may run
// past the maximum: the bar then stays full and the counter gives the step
// alone ("[5] ...", not "[5/1] ..."). Texts are printed with control
// characters escaped: file names come from archives.
class CProgressView {
 public:
  // `width`: the terminal's width in characters, for the bar.
  CProgressView(std::ostream& out, TProgressStyle style, int width = 80);
  ~CProgressView();
  CProgressView(const CProgressView&) = delete;
  CProgressView& operator=(const CProgressView&) = delete;

  void set_max(int value);
  void set_position(int value);
  void set_text(const std::string& text);
  // Ends the bar's line (when one is drawn) so that other output follows on
  // a fresh line.
  void finish();

  int max() const { return _max; }
  int position() const { return _position; }
  // The texts shown, in order.
  const std::vector<std::string>& texts() const { return _texts; }

 private:
  void draw();
  // True while the position has not passed the maximum.
  bool within_max() const;

  std::ostream& _out;
  TProgressStyle _style;
  int _width;
  int _max = 0;
  int _position = 0;
  std::string _text;
  std::vector<std::string> _texts;
  bool _drawn = false;
};

// The style for a stream: `quiet` wins, a terminal gets the bar.
TProgressStyle progress_style(bool quiet, bool terminal);
// The width of the terminal on `fd`, 80 when it does not say.
int terminal_width(int fd);

// ---------------------------------------------------------------------------
// Stopping
// ---------------------------------------------------------------------------

// Makes Ctrl-C (SIGINT) and SIGTERM requests to stop instead of ending the
// program at once. Each such signal also runs the stop action, and every one
// after the first the repeat action, when set: both run inside the signal
// handler, so they may do only what is safe there.
void install_stop_handler();
// Gives SIGINT and SIGTERM their default handling back.
void remove_stop_handler();
using TStopAction = void (*)() noexcept;
void set_stop_actions(TStopAction on_stop, TStopAction on_repeat);
// True once a stop was requested (by a signal or `request_stop`).
bool stop_requested();
// The signal that first asked to stop: SIGINT or SIGTERM (SIGINT for
// `request_stop`), 0 while none did.
int stop_signal();
// The exit status of a run that was stopped: 128 and the first signal's
// number, 130 for Ctrl-C and 143 for SIGTERM.
int interrupted_status();
void request_stop();
// Clears the request (tests).
void reset_stop();
