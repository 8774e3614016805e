// The presenter bxf2-import lends to the plug-ins: it answers their dialogs
// from the command line, or asks on the terminal.
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
//   the terminal when `interactive`; else with OK. A form answered here has
//   its text written to `err` on one line ("bxf2-import: Warning! The ..."),
//   unless `quiet`;
// - the first open-file dialog with `files` when there are any; else, and for
//   any later dialog, on the terminal when `interactive`; else it cancels.
// A dialog's report about a chosen file goes to the terminal presenter when
// that one chose, else to `err` (and the dialog is cancelled).
// Every form and dialog answered here is recorded by the inner scripted
// presenter; a form closed without OK and a cancelled dialog, wherever
// answered, are recorded as the run's cancel.
class CImportPresenter : public CPresenter {
 public:
  CImportPresenter(std::optional<TWarningAnswer> warning, std::vector<std::string> files, bool interactive, bool quiet,
                   std::ostream& err, std::shared_ptr<CPresenter> terminal = nullptr);

  TModalResult show_modal(CMessageForm& form) override;
  std::optional<std::vector<std::string>> choose_files(const COpenDialog& dialog) override;
  bool file_error(const COpenDialog& dialog, const std::string& message) override;

  // The forms and dialogs answered from the command line.
  const CScriptedPresenter& script() const { return _script; }
  // Why the user's answers end the run without an import ("the resize
  // warning was closed", "no file was chosen"), nothing while they do not.
  const std::optional<std::string>& cancel() const { return _cancel; }
  // The files chosen on the terminal, as typed.
  const std::vector<std::string>& typed_files() const { return _typed_files; }

 private:
  CPresenter& terminal();

  std::optional<TWarningAnswer> _warning;
  std::vector<std::string> _files;
  bool _files_given = false;
  bool _interactive;
  bool _quiet;
  std::ostream& _err;
  std::shared_ptr<CPresenter> _terminal;
  bool _terminal_chose = false;
  CScriptedPresenter _script;
  std::optional<std::string> _cancel;
  std::vector<std::string> _typed_files;
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
