// What bxf2-import shows and asks on the console: the presenter that answers
// the plug-in's dialogs from the command line (or asks on the terminal), the
// progress display drawn as a bar on a terminal and as plain lines
// otherwise, and Ctrl-C turned into a request to stop.
#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bxf2-import.options.h"
#include "platform.presenters.h"

// ---------------------------------------------------------------------------
// Presenter
// ---------------------------------------------------------------------------

// Answers the plug-in's dialogs:
// - a message form (the resize warning) with `warning` when given; else on
//   the terminal when `interactive`; else with OK;
// - the first open-file dialog with `files` when there are any; else, and for
//   any later dialog, on the terminal when `interactive`; else it cancels.
// A dialog's report about a chosen file goes to the terminal presenter when
// that one chose, else to `err` (and the dialog is cancelled).
// Every form and dialog shown is recorded by the inner scripted presenter.
class CImportPresenter : public CPresenter {
 public:
  CImportPresenter(std::optional<TWarningAnswer> warning, std::vector<std::string> files, bool interactive,
                   std::ostream& err, std::shared_ptr<CPresenter> terminal = nullptr);

  TModalResult show_modal(CMessageForm& form) override;
  std::optional<std::vector<std::string>> choose_files(const COpenDialog& dialog) override;
  bool file_error(const COpenDialog& dialog, const std::string& message) override;

  // The forms and dialogs answered from the command line.
  const CScriptedPresenter& script() const { return _script; }

 private:
  CPresenter& terminal();

  std::optional<TWarningAnswer> _warning;
  std::vector<std::string> _files;
  bool _files_given = false;
  bool _interactive;
  std::ostream& _err;
  std::shared_ptr<CPresenter> _terminal;
  bool _terminal_chose = false;
  CScriptedPresenter _script;
};

// Lends `presenter` to the plug-ins: every module file has its own toolkit
// application, and a plug-in's toolkit shows its forms and dialogs through
// the presenter that the program's exported `bxf_desktop_presenter` returns
// (null: the plug-in's own terminal presenter). The executable must export
// its symbols (ENABLE_EXPORTS).
void set_desktop_presenter(std::shared_ptr<CPresenter> presenter);
extern "C" __attribute__((visibility("default"))) CPresenter* bxf_desktop_presenter();

// The scripted answer for `answer`.
TFormAnswer form_answer(TWarningAnswer answer);

// ---------------------------------------------------------------------------
// Progress display
// ---------------------------------------------------------------------------

enum class TProgressStyle {
  quiet,  // nothing is shown
  lines,  // one line per step: "[2/4] Extracting file (kitchen.zip)"
  bar,    // one line redrawn in place: "[#####.....]  2/4  Extracting file (...)"
};

// Shows the host's progress display. The position may run past the maximum
// (the import command counts meshes and archived files beyond it); the bar
// stays full then.
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

// Makes the first Ctrl-C (SIGINT) a request to stop instead of ending the
// program; a second one ends it as usual.
void install_stop_handler();
// True once a stop was requested (by Ctrl-C or `request_stop`).
bool stop_requested();
void request_stop();
// Clears the request (tests).
void reset_stop();
