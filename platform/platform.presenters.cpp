#include "platform.presenters.h"

#include "platform.codepage.h"
#include "platform.files.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <istream>
#include <ostream>

namespace {

std::string plain_caption(std::string caption) {
  caption.erase(std::remove(caption.begin(), caption.end(), '&'), caption.end());
  return caption;
}

// The modal result of `action` on `form`; raises EPresenter when the form
// cannot be closed that way.
TModalResult result_of(const CMessageForm& form, TFormAction action, TMsgDlgBtn button) {
  switch (action) {
    case TFormAction::press:
      if (const TFormButton* b = form.button(button)) return b->modal_result;
      throw EPresenter(fmt::format("The message form \"{}\" has no button \"{}\"", form.caption(),
                                   plain_caption(standard_button(button).caption)));
    case TFormAction::enter:
      if (const TFormButton* b = form.default_button()) return b->modal_result;
      throw EPresenter(fmt::format("The message form \"{}\" has no default button", form.caption()));
    case TFormAction::escape:
      if (const TFormButton* b = form.cancel_button()) return b->modal_result;
      return mrCancel;
    case TFormAction::close_box: return mrCancel;
  }
  return mrCancel;
}

}  // namespace

// ---------------------------------------------------------------------------
// Scripted presenter
// ---------------------------------------------------------------------------

TModalResult CScriptedPresenter::show_modal(CMessageForm& form) {
  TShownForm shown;
  shown.caption = form.caption();
  shown.text = form.text();
  shown.type = form.type();
  for (const TFormButton& b : form.buttons()) shown.buttons.push_back(b.kind);
  if (const TFormButton* b = form.default_button()) shown.default_button = b->kind;
  if (const TFormButton* b = form.cancel_button()) shown.cancel_button = b->kind;
  shown.font_name = form.font_name();
  shown.width = form.width();
  shown.height = form.height();
  shown.client_width = form.client_width();
  shown.client_height = form.client_height();
  std::vector<CCheckBox*> boxes = form.check_boxes();
  for (const CCheckBox* box : boxes)
    shown.check_boxes.push_back({box->caption(), box->checked(), box->left(), box->top(), box->width(), box->height()});
  _forms.push_back(shown);

  if (_form_answers.empty())
    throw EPresenter(fmt::format("No answer left for the message form \"{}\"", form.caption()));
  TFormAnswer answer = _form_answers.front();
  _form_answers.pop_front();
  TModalResult result = result_of(form, answer.action, answer.button);
  if (answer.checked) {
    if (boxes.empty()) throw EPresenter(fmt::format("The message form \"{}\" has no check box", form.caption()));
    for (CCheckBox* box : boxes) box->set_checked(*answer.checked);
  }
  _forms.back().result = result;
  return result;
}

std::optional<std::vector<std::string>> CScriptedPresenter::choose_files(const COpenDialog& dialog) {
  if (!_retry || _dialogs.empty()) {
    TShownDialog shown;
    shown.title = dialog.title();
    shown.filter = dialog.filter();
    shown.filter_index = dialog.filter_index();
    shown.default_ext = dialog.default_ext();
    shown.options = dialog.options();
    shown.file_name = dialog.file_name();
    _dialogs.push_back(std::move(shown));
  }
  _retry = false;
  if (_file_answers.empty())
    throw EPresenter(fmt::format("No answer left for the open-file dialog \"{}\"", dialog.title()));
  auto answer = std::move(_file_answers.front());
  _file_answers.pop_front();
  if (answer)
    _dialogs.back().answers.push_back(*answer);
  else
    _dialogs.back().cancelled = true;
  return answer;
}

bool CScriptedPresenter::file_error(const COpenDialog&, const std::string& message) {
  if (!_dialogs.empty()) _dialogs.back().errors.push_back(message);
  if (_file_answers.empty()) {
    // "<path>\nFile not found.\n..." becomes "File not found: <path>".
    std::vector<std::string> lines = text_lines(message);
    if (lines.size() < 2) throw EPresenter(message);
    std::string reason = lines[1];
    if (!reason.empty() && reason.back() == '.') reason.pop_back();
    throw EPresenter(fmt::format("{}: {}", reason, lines[0]));
  }
  _retry = true;
  return true;
}

// ---------------------------------------------------------------------------
// Terminal presenter
// ---------------------------------------------------------------------------

CTerminalPresenter::CTerminalPresenter() = default;
CTerminalPresenter::CTerminalPresenter(std::istream& in, std::ostream& out) : _in(&in), _out(&out) {}
CTerminalPresenter::~CTerminalPresenter() = default;

bool CTerminalPresenter::open_terminal() {
  if (_in && _out) return true;
  if (_tty_in) return false;  // tried before
  _tty_in = std::make_unique<std::ifstream>("/dev/tty");
  _tty_out = std::make_unique<std::ofstream>("/dev/tty");
  if (!_tty_in->is_open() || !_tty_out->is_open()) return false;
  _in = _tty_in.get();
  _out = _tty_out.get();
  return true;
}

namespace {

// The key of a button: the letter after '&', else the first letter, in lower case.
char button_key(const TFormButton& button) {
  const std::string& caption = button.caption;
  size_t amp = caption.find('&');
  char key = amp != std::string::npos && amp + 1 < caption.size() ? caption[amp + 1] : caption.empty() ? 0 : caption[0];
  return key >= 'A' && key <= 'Z' ? char(key - 'A' + 'a') : key;
}

std::string trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return std::string(s);
}

}  // namespace

TModalResult CTerminalPresenter::show_modal(CMessageForm& form) {
  if (!open_terminal()) {
    std::cerr << fmt::format("No terminal to show the message \"{}\" on; it counts as closed.\n", form.caption());
    return mrCancel;
  }
  std::ostream& out = *_out;
  std::vector<CCheckBox*> boxes = form.check_boxes();
  const TFormButton* def = form.default_button();

  bool c_taken = false;
  for (const TFormButton& b : form.buttons()) c_taken = c_taken || button_key(b) == 'c';
  char close_key = c_taken ? 'x' : 'c';

  out << "\n== " << form.caption() << " ==\n";
  for (const std::string& line : text_lines(form.text())) out << line << '\n';
  for (;;) {
    for (const CCheckBox* box : boxes) out << (box->checked() ? "[x] " : "[ ] ") << box->caption() << '\n';
    std::vector<std::string> keys;
    if (def) keys.push_back("[Enter] " + plain_caption(def->caption));
    if (!boxes.empty() && def)
      keys.push_back(fmt::format("[t] {} '{}' and {}", boxes.front()->checked() ? "clear" : "tick",
                                 boxes.front()->caption(), plain_caption(def->caption)));
    for (const TFormButton& b : form.buttons())
      if (&b != def) keys.push_back(fmt::format("[{}] {}", button_key(b), plain_caption(b.caption)));
    keys.push_back(fmt::format("[{}] close", close_key));
    std::string joined;
    for (const std::string& k : keys) joined += (joined.empty() ? "" : ", ") + k;
    out << joined << "\n> " << std::flush;

    std::string line;
    if (!std::getline(*_in, line)) {
      out << '\n';
      return mrCancel;
    }
    std::string answer = trimmed(line);
    for (char& ch : answer)
      if (ch >= 'A' && ch <= 'Z') ch = char(ch - 'A' + 'a');
    if (answer.empty() && def) return def->modal_result;
    if (answer == "t" && !boxes.empty() && def) {
      boxes.front()->set_checked(!boxes.front()->checked());
      return def->modal_result;
    }
    if (answer == "esc" || answer == "\x1b") {
      const TFormButton* cancel = form.cancel_button();
      return cancel ? cancel->modal_result : mrCancel;
    }
    if (answer.size() == 1) {
      char key = answer[0];
      for (const TFormButton& b : form.buttons())
        if (button_key(b) == key) return b.modal_result;
      if (key == close_key) return mrCancel;
    }
    out << "Please answer with one of the keys below.\n";
  }
}

std::optional<std::vector<std::string>> CTerminalPresenter::choose_files(const COpenDialog& dialog) {
  if (!open_terminal()) {
    std::cerr << fmt::format("No terminal to show the dialog \"{}\" on; it counts as cancelled.\n", dialog.title());
    return std::nullopt;
  }
  std::ostream& out = *_out;
  bool multi = dialog.has_option(ofAllowMultiSelect);
  out << "\n== " << dialog.title() << " ==\n";
  std::vector<TFileFilter> filters = dialog.filters();
  if (!filters.empty()) {
    out << "Files:";
    for (size_t i = 0; i < filters.size(); ++i)
      out << (i ? ", " : " ") << filters[i].description << " (" << filters[i].patterns << ")";
    out << '\n';
  }
  if (!dialog.file_name().empty()) out << "Last chosen: " << dialog.file_name() << '\n';
  out << (multi ? "Enter the paths, separated by blanks or one per line; quote a path with blanks in it.\n"
                  "An empty line ends the list; an empty first line cancels.\n"
                : "Enter the path; quote it when it has blanks in it. An empty line cancels.\n");

  std::vector<std::string> names;
  for (;;) {
    out << (names.empty() ? "file> " : "more> ") << std::flush;
    std::string line;
    if (!std::getline(*_in, line)) {
      out << '\n';
      break;
    }
    if (trimmed(line).empty()) break;
    for (const std::string& token : split_path_line(line))
      for (std::string& path : expand_path(token)) names.push_back(std::move(path));
    if (!multi && !names.empty()) break;
  }
  if (names.empty()) return std::nullopt;
  return names;
}

bool CTerminalPresenter::file_error(const COpenDialog&, const std::string& message) {
  if (!open_terminal()) return false;
  *_out << message << '\n';
  return true;
}

// ---------------------------------------------------------------------------
// Path prompt helpers
// ---------------------------------------------------------------------------

std::vector<std::string> split_path_line(std::string_view line) {
  std::vector<std::string> paths;
  std::string current;
  bool in_token = false;
  char quote = 0;
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (quote) {
      if (c == quote)
        quote = 0;
      else if (c == '\\' && quote == '"' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\'))
        current += line[++i];
      else
        current += c;
    } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (in_token) paths.push_back(std::move(current));
      current.clear();
      in_token = false;
    } else {
      in_token = true;
      if (c == '"' || c == '\'')
        quote = c;
      else if (c == '\\' && i + 1 < line.size())
        current += line[++i];
      else
        current += c;
    }
  }
  if (in_token) paths.push_back(std::move(current));
  return paths;
}

std::vector<std::string> expand_path(std::string_view name) {
  std::string path(name);
  if (path.starts_with("~/"))
    if (const char* home = std::getenv("HOME"); home && *home) path = include_trailing_delimiter(home) + path.substr(2);
  std::string file = extract_file_name(path);
  if (file.find_first_of("*?") == std::string::npos) return {path};
  std::string folder = extract_file_path(path);
  std::vector<std::string> found = list_files(folder.empty() ? "." : folder, file);
  if (found.empty()) return {path};
  if (folder.empty())
    for (std::string& f : found) f = extract_file_name(f);
  std::sort(found.begin(), found.end());
  return found;
}
