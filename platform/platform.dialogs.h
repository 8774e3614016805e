// The toolkit's standard message form, its check box control, the open-file
// dialog, and the presenter that shows them.
//
// A form or dialog never draws itself: `show_modal` and `execute` hand it to
// the application's presenter (platform.presenters), which asks the user on
// the terminal or answers from a script, and then read back what the user
// did (the modal result, the state of the check boxes, the chosen files).
//
//   CMessageForm form(text, mtWarning, {mbOK});
//   CCheckBox* box = form.create_check_box();
//   form.set_height(form.height() + box->height());
//   box->set_parent(&form);
//   if (form.show_modal() == mrOk && box->checked()) ...
#pragma once

#include "platform.application.h"

#include "system.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// A presenter that cannot answer (a script without the answer asked for, a
// script that does not fit the form).
BXF_DECLARE_EXCEPTION(EPresenter, Exception);

// ---------------------------------------------------------------------------
// Modal results, message types and buttons
// ---------------------------------------------------------------------------

// How a modal form was closed. The values are the desktop's dialog results.
using TModalResult = int32_t;
inline constexpr TModalResult mrNone = 0;
inline constexpr TModalResult mrOk = 1;
inline constexpr TModalResult mrCancel = 2;
inline constexpr TModalResult mrAbort = 3;
inline constexpr TModalResult mrRetry = 4;
inline constexpr TModalResult mrIgnore = 5;
inline constexpr TModalResult mrYes = 6;
inline constexpr TModalResult mrNo = 7;
inline constexpr TModalResult mrClose = 8;
inline constexpr TModalResult mrHelp = 9;
inline constexpr TModalResult mrTryAgain = 10;
inline constexpr TModalResult mrContinue = 11;
inline constexpr TModalResult mrAll = 12;
inline constexpr TModalResult mrNoToAll = 13;
inline constexpr TModalResult mrYesToAll = 14;

// The icon and default caption of a message form.
enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// The buttons a message form can carry, in the order the form lays them out.
enum TMsgDlgBtn {
  mbYes,
  mbNo,
  mbOK,
  mbCancel,
  mbAbort,
  mbRetry,
  mbIgnore,
  mbAll,
  mbNoToAll,
  mbYesToAll,
  mbHelp,
  mbClose
};

// A button of a message form.
struct TFormButton {
  TMsgDlgBtn kind;
  std::string caption;        // "&Yes": the letter after '&' is its key
  TModalResult modal_result;  // what pressing it closes the form with (mrNone for Help)
};

// ---------------------------------------------------------------------------
// Message form and check box
// ---------------------------------------------------------------------------

class CMessageForm;

// A check box on a form. Created by its owner form (which frees it), shown
// only once put on a form with `set_parent`. Default size 97 x 17 pixels at
// (0, 0), no caption, not checked.
class CCheckBox {
 public:
  CMessageForm* owner() const { return _owner; }
  // The form it lies on, or null while not put on one.
  CMessageForm* parent() const { return _parent; }
  void set_parent(CMessageForm* parent) { _parent = parent; }

  const std::string& caption() const { return _caption; }
  void set_caption(std::string caption) { _caption = std::move(caption); }
  bool checked() const { return _checked; }
  void set_checked(bool checked) { _checked = checked; }

  // Position in the parent's client area and size, in pixels.
  int left() const { return _left; }
  int top() const { return _top; }
  int width() const { return _width; }
  int height() const { return _height; }
  void set_left(int left) { _left = left; }
  void set_top(int top) { _top = top; }
  void set_width(int width) { _width = width; }
  void set_height(int height) { _height = height; }

 private:
  friend class CMessageForm;
  explicit CCheckBox(CMessageForm* owner) : _owner(owner) {}

  CMessageForm* _owner;
  CMessageForm* _parent = nullptr;
  std::string _caption;
  bool _checked = false;
  int _left = 0;
  int _top = 0;
  int _width = 97;
  int _height = 17;
};

// The toolkit's standard message form: a text, the icon of its type and a row
// of buttons, laid out at creation. The frame around the client area is
// `frame_width` pixels wider and `frame_height` pixels higher than the client
// area (borders and caption bar).
class CMessageForm {
 public:
  static constexpr int frame_width = 16;
  static constexpr int frame_height = 39;

  // The form for `text` (lines separated by CR LF, LF or CR) with the icon and
  // caption of `type` ("Warning", "Error", "Information", "Confirm"; none for
  // mtCustom) and `buttons` (each once, in the order of TMsgDlgBtn). The
  // default button (Enter) is `default_button` when it is among the buttons,
  // else OK, else Yes, else none. The cancel button (Escape) is Cancel, else
  // No, else OK, else none; so a lone OK button is both. The font is the
  // application's default font.
  CMessageForm(std::string text, TMsgDlgType type, std::vector<TMsgDlgBtn> buttons,
               std::optional<TMsgDlgBtn> default_button = std::nullopt);
  ~CMessageForm();
  CMessageForm(const CMessageForm&) = delete;
  CMessageForm& operator=(const CMessageForm&) = delete;

  const std::string& text() const { return _text; }
  TMsgDlgType type() const { return _type; }
  const std::vector<TFormButton>& buttons() const { return _buttons; }
  // The button Enter presses, or null.
  const TFormButton* default_button() const;
  // The button Escape presses, or null.
  const TFormButton* cancel_button() const;
  // The button of that kind, or null.
  const TFormButton* button(TMsgDlgBtn kind) const;

  const std::string& caption() const { return _caption; }
  void set_caption(std::string caption) { _caption = std::move(caption); }
  const std::string& font_name() const { return _font_name; }

  // Outer size in pixels; the client area changes with it.
  int width() const { return _width; }
  int height() const { return _height; }
  void set_width(int width) { _width = width; }
  void set_height(int height) { _height = height; }
  int client_width() const { return _width - frame_width; }
  int client_height() const { return _height - frame_height; }
  void set_client_width(int width) { _width = width + frame_width; }
  void set_client_height(int height) { _height = height + frame_height; }

  // A new check box owned by this form (freed with it), not yet on it.
  CCheckBox* create_check_box();
  // The check boxes put on this form, in the order they were created.
  std::vector<CCheckBox*> check_boxes() const;

  // Shows the form through the application's presenter and waits until it is
  // closed; returns the modal result, also kept in `modal_result`. Raises what
  // the presenter raises.
  TModalResult show_modal();
  TModalResult modal_result() const { return _modal_result; }
  void set_modal_result(TModalResult result) { _modal_result = result; }

 private:
  std::string _text;
  TMsgDlgType _type;
  std::vector<TFormButton> _buttons;
  std::optional<TMsgDlgBtn> _default;
  std::optional<TMsgDlgBtn> _cancel;
  std::string _caption;
  std::string _font_name;
  int _width = 0;
  int _height = 0;
  std::vector<std::unique_ptr<CCheckBox>> _owned;
  TModalResult _modal_result = mrNone;
};

// The caption and modal result of a standard button.
TFormButton standard_button(TMsgDlgBtn kind);

// ---------------------------------------------------------------------------
// Open-file dialog
// ---------------------------------------------------------------------------

// Options of the open-file dialog (a set of flags).
using TOpenOptions = uint32_t;
inline constexpr TOpenOptions ofHideReadOnly = 1u << 0;      // no "open read-only" check box
inline constexpr TOpenOptions ofAllowMultiSelect = 1u << 1;  // more than one file may be chosen
inline constexpr TOpenOptions ofPathMustExist = 1u << 2;     // the folders of the chosen files must exist
inline constexpr TOpenOptions ofFileMustExist = 1u << 3;     // the chosen files must exist
inline constexpr TOpenOptions ofEnableSizing = 1u << 4;      // the dialog can be resized

// One entry of a dialog filter: "BXF2 files" with the patterns "*.bxf2;*.zip".
struct TFileFilter {
  std::string description;
  std::string patterns;
};

// The open-file dialog. It keeps the chosen files between runs; the first of
// them is offered again by the next run.
class COpenDialog {
 public:
  const std::string& title() const { return _title; }
  void set_title(std::string title) { _title = std::move(title); }
  // "description|patterns|description|patterns...", patterns separated by ';'.
  const std::string& filter() const { return _filter; }
  void set_filter(std::string filter) { _filter = std::move(filter); }
  // The entries of `filter`; a description without patterns gets "".
  std::vector<TFileFilter> filters() const;
  // 1-based index of the filter in use; 1 at start.
  int filter_index() const { return _filter_index; }
  void set_filter_index(int index) { _filter_index = index; }
  // Appended, after a '.', to a chosen name that has no extension; "" at start.
  const std::string& default_ext() const { return _default_ext; }
  void set_default_ext(std::string extension) { _default_ext = std::move(extension); }
  // The folder relative names are taken from; "" for the current folder.
  const std::string& initial_dir() const { return _initial_dir; }
  void set_initial_dir(std::string folder) { _initial_dir = std::move(folder); }
  TOpenOptions options() const { return _options; }
  void set_options(TOpenOptions options) { _options = options; }
  bool has_option(TOpenOptions option) const { return (_options & option) != 0; }
  // The window that owns the dialog; 0 for none.
  THandle owner() const { return _owner; }
  void set_owner(THandle owner) { _owner = owner; }

  // The first chosen file (the one offered next time); "" before any choice.
  const std::string& file_name() const { return _file_name; }
  void set_file_name(std::string name) { _file_name = std::move(name); }
  // The full paths of the chosen files, in the order the user gave them.
  const std::vector<std::string>& files() const { return _files; }

  // Lets the user choose through the application's presenter. The names the
  // user gives become full paths (relative ones taken from `initial_dir`, else
  // the current folder), a name without extension gets `default_ext`, and
  // without ofAllowMultiSelect only the first name counts. With
  // ofFileMustExist (or ofPathMustExist, for the folders) a missing file is
  // reported to the presenter, which lets the user choose again or gives up.
  // Returns true and keeps the files when the user confirmed a choice; false,
  // leaving `files` and `file_name` as they were, when the user cancelled.
  // Raises what the presenter raises.
  bool execute();

  // The full path the dialog makes of a name the user gave (see `execute`).
  std::string complete_name(std::string_view name) const;

 private:
  std::string _title;
  std::string _filter;
  int _filter_index = 1;
  std::string _default_ext;
  std::string _initial_dir;
  TOpenOptions _options = ofHideReadOnly | ofEnableSizing;
  THandle _owner = 0;
  std::string _file_name;
  std::vector<std::string> _files;
};

// The dialog's report of a chosen file that does not exist.
std::string file_not_found_text(std::string_view path);
// The dialog's report of a chosen file whose folder does not exist.
std::string path_not_found_text(std::string_view path);

// ---------------------------------------------------------------------------
// Presenter
// ---------------------------------------------------------------------------

// Shows forms and dialogs to the user, or answers for the user.
class CPresenter {
 public:
  virtual ~CPresenter() = default;

  // Shows `form` until the user closes it: a button gives its modal result,
  // Enter the default button's, Escape the cancel button's (mrCancel without
  // one), the close box mrCancel. Leaves the check boxes as the user set them.
  virtual TModalResult show_modal(CMessageForm& form) = 0;
  // The names the user chose in `dialog` (as given, not yet completed), or
  // nothing when the user cancelled.
  virtual std::optional<std::vector<std::string>> choose_files(const COpenDialog& dialog) = 0;
  // Tells the user the dialog's `message` about a chosen file (it does not
  // exist); true to let the user choose again, false to cancel the dialog.
  virtual bool file_error(const COpenDialog& dialog, const std::string& message) = 0;
};
