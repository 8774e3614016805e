#include "bxf2-import.presenter.h"

#include <ostream>

#include "sysutils.h"

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
                                   bool interactive, bool quiet, std::ostream& err,
                                   std::shared_ptr<CPresenter> terminal)
    : _warning(warning),
      _files(std::move(files)),
      _interactive(interactive),
      _quiet(quiet),
      _err(err),
      _terminal(std::move(terminal)) {}

CPresenter& CImportPresenter::terminal() {
  if (!_terminal) _terminal = std::make_shared<CTerminalPresenter>();
  return *_terminal;
}

namespace {

// The lines of `text` (CR LF, LF or CR between them) joined by blanks.
std::string one_line(const std::string& text) {
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      if (!line.empty() && line.back() != ' ') line += ' ';
    } else {
      line += c;
    }
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

}  // namespace

TModalResult CImportPresenter::show_modal(CMessageForm& form) {
  TModalResult result;
  if (!_warning && _interactive) {
    result = terminal().show_modal(form);
  } else {
    if (!_quiet) _err << "bxf2-import: " << printable_text(one_line(form.text())) << '\n';
    _script.add_form_answer(form_answer(_warning.value_or(TWarningAnswer::ok)));
    result = _script.show_modal(form);
  }
  if (result != mrOk && !_cancel)
    _cancel = _warning ? "the resize warning was closed (--warning close)" : "the resize warning was closed";
  return result;
}

std::optional<std::vector<std::string>> CImportPresenter::choose_files(const COpenDialog& dialog) {
  _terminal_chose = false;
  std::optional<std::vector<std::string>> chosen;
  if (!_files.empty() && !_files_given) {
    _files_given = true;
    _script.add_files(_files);
    chosen = _script.choose_files(dialog);
  } else if (_interactive) {
    _terminal_chose = true;
    chosen = terminal().choose_files(dialog);
    if (chosen) _typed_files = *chosen;
  } else {
    _script.add_cancel();
    chosen = _script.choose_files(dialog);
  }
  bool any = false;
  if (chosen)
    for (const std::string& name : *chosen) any = any || !name.empty();
  if (!any && !_cancel) _cancel = "no file was chosen";
  return chosen;
}

bool CImportPresenter::file_error(const COpenDialog& dialog, const std::string& message) {
  if (_terminal_chose) return terminal().file_error(dialog, message);
  _err << "bxf2-import: " << printable_text(one_line(message)) << '\n';
  if (!_cancel) _cancel = "a chosen file was not there any more";
  return false;
}
