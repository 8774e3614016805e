#include "platform.dialogs.h"

#include "platform.codepage.h"
#include "platform.files.h"

#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>

// ---------------------------------------------------------------------------
// Buttons
// ---------------------------------------------------------------------------

TFormButton standard_button(TMsgDlgBtn kind) {
  switch (kind) {
    case mbYes: return {kind, "&Yes", mrYes};
    case mbNo: return {kind, "&No", mrNo};
    case mbOK: return {kind, "OK", mrOk};
    case mbCancel: return {kind, "Cancel", mrCancel};
    case mbAbort: return {kind, "&Abort", mrAbort};
    case mbRetry: return {kind, "&Retry", mrRetry};
    case mbIgnore: return {kind, "&Ignore", mrIgnore};
    case mbAll: return {kind, "&All", mrAll};
    case mbNoToAll: return {kind, "N&o to All", mrNoToAll};
    case mbYesToAll: return {kind, "Yes to &All", mrYesToAll};
    case mbHelp: return {kind, "&Help", mrNone};
    case mbClose: return {kind, "&Close", mrClose};
  }
  return {kind, "", mrNone};
}

// ---------------------------------------------------------------------------
// Message form
// ---------------------------------------------------------------------------

namespace {

// Layout of the standard message form, in pixels.
constexpr int margin = 16;     // around the content of the client area
constexpr int icon_size = 32;  // the type's icon, left of the text
constexpr int icon_gap = 16;   // between icon and text
constexpr int char_width = 7;  // average character of the default font
constexpr int line_height = 16;
constexpr int button_width = 75;
constexpr int button_height = 25;
constexpr int button_gap = 6;

const char* type_caption(TMsgDlgType type) {
  switch (type) {
    case mtWarning: return "Warning";
    case mtError: return "Error";
    case mtInformation: return "Information";
    case mtConfirmation: return "Confirm";
    case mtCustom: return "";
  }
  return "";
}

// The characters of UTF-8 text.
int char_count(std::string_view text) {
  return int(std::count_if(text.begin(), text.end(), [](char c) { return (uint8_t(c) & 0xC0) != 0x80; }));
}

}  // namespace

CMessageForm::CMessageForm(std::string text, TMsgDlgType type, std::vector<TMsgDlgBtn> buttons,
                           std::optional<TMsgDlgBtn> default_button)
    : _text(std::move(text)), _type(type), _caption(type_caption(type)), _font_name(application().default_font_name()) {
  std::sort(buttons.begin(), buttons.end());
  buttons.erase(std::unique(buttons.begin(), buttons.end()), buttons.end());
  for (TMsgDlgBtn kind : buttons) _buttons.push_back(standard_button(kind));

  auto has = [&](TMsgDlgBtn kind) { return button(kind) != nullptr; };
  if (default_button && has(*default_button))
    _default = default_button;
  else if (has(mbOK))
    _default = mbOK;
  else if (has(mbYes))
    _default = mbYes;
  for (TMsgDlgBtn kind : {mbCancel, mbNo, mbOK})
    if (has(kind)) {
      _cancel = kind;
      break;
    }

  int text_width = 0;
  std::vector<std::string> lines = text_lines(_text);
  for (std::string_view line : lines) text_width = std::max(text_width, char_count(line) * char_width);
  int text_height = int(lines.size()) * line_height;
  int icon_width = type == mtCustom ? 0 : icon_size + icon_gap;
  int buttons_width = _buttons.empty() ? 0 : int(_buttons.size()) * (button_width + button_gap) - button_gap;
  int content_height = std::max(type == mtCustom ? 0 : icon_size, text_height);
  set_client_width(std::max(icon_width + text_width, buttons_width) + 2 * margin);
  set_client_height(margin + content_height + margin + button_height + margin);
}

CMessageForm::~CMessageForm() = default;

const TFormButton* CMessageForm::button(TMsgDlgBtn kind) const {
  for (const TFormButton& b : _buttons)
    if (b.kind == kind) return &b;
  return nullptr;
}

const TFormButton* CMessageForm::default_button() const { return _default ? button(*_default) : nullptr; }
const TFormButton* CMessageForm::cancel_button() const { return _cancel ? button(*_cancel) : nullptr; }

CCheckBox* CMessageForm::create_check_box() {
  _owned.push_back(std::unique_ptr<CCheckBox>(new CCheckBox(this)));
  return _owned.back().get();
}

std::vector<CCheckBox*> CMessageForm::check_boxes() const {
  std::vector<CCheckBox*> boxes;
  for (const auto& box : _owned)
    if (box->parent() == this) boxes.push_back(box.get());
  return boxes;
}

TModalResult CMessageForm::show_modal() {
  _modal_result = mrNone;
  _modal_result = application().presenter()->show_modal(*this);
  return _modal_result;
}

// ---------------------------------------------------------------------------
// Open-file dialog
// ---------------------------------------------------------------------------

std::string file_not_found_text(std::string_view path) {
  return fmt::format("{}\nFile not found.\nCheck the file name and try again.", path);
}

std::string path_not_found_text(std::string_view path) {
  return fmt::format("{}\nPath does not exist.\nCheck the path and try again.", path);
}

std::vector<TFileFilter> COpenDialog::filters() const {
  std::vector<TFileFilter> result;
  std::string_view rest = _filter;
  while (!rest.empty()) {
    size_t bar = rest.find('|');
    TFileFilter entry{std::string(rest.substr(0, bar)), {}};
    rest = bar == std::string_view::npos ? std::string_view() : rest.substr(bar + 1);
    bar = rest.find('|');
    entry.patterns = rest.substr(0, bar);
    rest = bar == std::string_view::npos ? std::string_view() : rest.substr(bar + 1);
    result.push_back(std::move(entry));
  }
  return result;
}

std::string COpenDialog::complete_name(std::string_view name) const {
  std::string path(name);
  if (path.empty()) return path;
  if (path.front() != path_delimiter) {
    std::string base = _initial_dir;
    if (base.empty()) {
      char buffer[4096];
      if (::getcwd(buffer, sizeof buffer)) base = buffer;
    }
    if (!base.empty()) path = include_trailing_delimiter(base) + path;
  }
  if (!_default_ext.empty() && path.back() != path_delimiter && extract_file_ext(path).empty())
    path += "." + _default_ext;
  return path;
}

bool COpenDialog::execute() {
  std::shared_ptr<CPresenter> presenter = application().presenter();
  for (;;) {
    auto answer = presenter->choose_files(*this);
    if (!answer) return false;
    std::vector<std::string> chosen;
    for (const std::string& name : *answer)
      if (!name.empty()) chosen.push_back(complete_name(name));
    if (chosen.empty()) return false;
    if (!has_option(ofAllowMultiSelect)) chosen.resize(1);

    std::string problem;
    for (const std::string& path : chosen) {
      if (has_option(ofFileMustExist | ofPathMustExist) && !folder_exists(extract_file_dir(path)))
        problem = path_not_found_text(path);
      else if (has_option(ofFileMustExist) && !file_exists(path))
        problem = file_not_found_text(path);
      if (!problem.empty()) break;
    }
    if (!problem.empty()) {
      if (!presenter->file_error(*this, problem)) return false;
      continue;
    }
    _files = std::move(chosen);
    _file_name = _files.front();
    return true;
  }
}
