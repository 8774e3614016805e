#include "bxf2-import.presenter.h"

#include <ostream>

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
