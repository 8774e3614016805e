// The two presenters of the toolkit: a scripted one that answers from a queue
// prepared in advance and records what it was shown (automation and tests),
// and an interactive one that asks on the controlling terminal.
//
//   auto script = std::make_shared<CScriptedPresenter>();
//   script->add_form_answer(TFormAnswer::enter(true));   // Enter, box ticked
//   script->add_files({"/data/kitchen.zip"});
//   application().set_presenter(script);
#pragma once

#include "platform.dialogs.h"

#include <deque>
#include <fstream>
#include <iosfwd>
#include <memory>

// ---------------------------------------------------------------------------
// Scripted presenter
// ---------------------------------------------------------------------------

// How the script closes a message form.
enum class TFormAction {
  press,      // presses `button`
  enter,      // the default button
  escape,     // the cancel button (mrCancel without one)
  close_box,  // the window's close box: mrCancel
};

// One scripted answer to a message form: the state the check box is left in
// (every check box on the form), then the way the form is closed.
struct TFormAnswer {
  TFormAction action = TFormAction::enter;
  TMsgDlgBtn button = mbOK;     // for TFormAction::press
  std::optional<bool> checked;  // nothing: the check boxes stay as they are

  static TFormAnswer press(TMsgDlgBtn button, std::optional<bool> checked = {}) {
    return {TFormAction::press, button, checked};
  }
  static TFormAnswer enter(std::optional<bool> checked = {}) { return {TFormAction::enter, mbOK, checked}; }
  static TFormAnswer escape(std::optional<bool> checked = {}) { return {TFormAction::escape, mbOK, checked}; }
  static TFormAnswer close_box() { return {TFormAction::close_box, mbOK, {}}; }
};

// A check box as a form showed it.
struct TShownCheckBox {
  std::string caption;
  bool checked = false;  // when the form was shown
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

// A message form as the presenter was given it, and how it was closed.
struct TShownForm {
  std::string caption;
  std::string text;
  TMsgDlgType type = mtCustom;
  std::vector<TMsgDlgBtn> buttons;
  std::optional<TMsgDlgBtn> default_button;
  std::optional<TMsgDlgBtn> cancel_button;
  std::string font_name;
  int width = 0;
  int height = 0;
  int client_width = 0;
  int client_height = 0;
  std::vector<TShownCheckBox> check_boxes;
  TModalResult result = mrNone;
};

// An open-file dialog as the presenter was given it, and the answers.
struct TShownDialog {
  std::string title;
  std::string filter;
  int filter_index = 0;
  std::string default_ext;
  TOpenOptions options = 0;
  std::string file_name;                          // offered when shown
  std::vector<std::vector<std::string>> answers;  // each choice, as given
  std::vector<std::string> errors;                // the dialog's reports between choices
  bool cancelled = false;
};

class CScriptedPresenter : public CPresenter {
 public:
  // Queues the answer to the next message form.
  void add_form_answer(TFormAnswer answer) { _form_answers.push_back(answer); }
  // Queues a choice of files for the next open-file dialog (or the next
  // attempt, when the dialog rejected the previous choice).
  void add_files(std::vector<std::string> names) { _file_answers.emplace_back(std::move(names)); }
  // Queues a cancel of the next open-file dialog.
  void add_cancel() { _file_answers.emplace_back(std::nullopt); }

  size_t pending_form_answers() const { return _form_answers.size(); }
  size_t pending_file_answers() const { return _file_answers.size(); }

  // What was shown, in order.
  const std::vector<TShownForm>& forms() const { return _forms; }
  const std::vector<TShownDialog>& dialogs() const { return _dialogs; }

  // Takes the next form answer. Raises EPresenter when none is queued
  // ("No answer left for the message form \"<caption>\""), when it presses a
  // button the form does not have ("The message form \"<caption>\" has no
  // button \"Yes\""), when Enter meets a form without default button ("The
  // message form \"<caption>\" has no default button"), or when it sets the
  // check box of a form without one ("The message form \"<caption>\" has no
  // check box").
  TModalResult show_modal(CMessageForm& form) override;
  // Takes the next file answer. Raises EPresenter when none is queued: "No
  // answer left for the open-file dialog \"<title>\"".
  std::optional<std::vector<std::string>> choose_files(const COpenDialog& dialog) override;
  // Records the report; true (choose again) when another file answer is
  // queued. Raises EPresenter with the report's first line and its reason
  // ("File not found: <path>") when none is.
  bool file_error(const COpenDialog& dialog, const std::string& message) override;

 private:
  std::deque<TFormAnswer> _form_answers;
  std::deque<std::optional<std::vector<std::string>>> _file_answers;
  std::vector<TShownForm> _forms;
  std::vector<TShownDialog> _dialogs;
  bool _retry = false;  // the next choice belongs to the dialog shown last
};

// ---------------------------------------------------------------------------
// Terminal presenter
// ---------------------------------------------------------------------------

// Asks the user on a terminal, one line at a time.
//
// A message form prints its caption, text, check boxes and a line of keys,
// for a warning with a check box:
//   [Enter] OK, [t] tick 'Do not show again' and OK, [c] close
// Each button answers to the letter after the '&' of its caption (else its
// first letter), Enter to the default button, "esc" (or the Escape character)
// to the cancel button, 't' ticks or clears the first check box and presses
// the default button, and 'c' (or 'x' when a button already takes 'c') is the
// close box. Letter case and blanks around the answer do not count; an
// unknown answer is asked again. The end of the input closes the form
// (mrCancel).
//
// An open-file dialog asks for paths: blanks separate them, quotes ('...' or
// "...") or a backslash keep blanks inside one, and further lines add more
// until an empty line; an empty first line or the end of the input cancels.
// A leading "~/" stands for $HOME, and a name with '*' or '?' stands for the
// existing files it matches in its folder. A report of the dialog (a missing
// file) is printed and the paths are asked again.
class CTerminalPresenter : public CPresenter {
 public:
  // Uses the controlling terminal (/dev/tty), opened when first needed. With
  // no terminal, forms count as closed and dialogs as cancelled, and a note
  // goes to standard error.
  CTerminalPresenter();
  // Uses `in` and `out` (tests).
  CTerminalPresenter(std::istream& in, std::ostream& out);
  ~CTerminalPresenter() override;

  TModalResult show_modal(CMessageForm& form) override;
  std::optional<std::vector<std::string>> choose_files(const COpenDialog& dialog) override;
  bool file_error(const COpenDialog& dialog, const std::string& message) override;

 private:
  bool open_terminal();

  std::istream* _in = nullptr;
  std::ostream* _out = nullptr;
  // The terminal, once for reading and once for writing: one stream that
  // did both would have to seek between them, which a terminal cannot, and
  // would fail at the first prompt after an answer.
  std::unique_ptr<std::ifstream> _tty_in;
  std::unique_ptr<std::ofstream> _tty_out;
};

// The paths of a line typed into the file prompt, after quotes and escapes
// ("a 'b c' d\ e" gives a, "b c", "d e"); wildcards and "~/" stay as typed.
std::vector<std::string> split_path_line(std::string_view line);
// The paths `name` stands for: "~/" replaced by $HOME, and a name whose file
// part holds '*' or '?' replaced by the existing files it matches (sorted),
// or kept as it is when none match.
std::vector<std::string> expand_path(std::string_view name);
