#include "import.bxf2.warning.h"

#include "platform.dialogs.h"
#include "platform.files.h"
#include "platform.ini.h"

// User-visible texts.
const char* const warning_text =
    "Warning!\r\nThe imported cabinets are not intended to be resized.\r\nThis can result in incorrect reporting.";
const char* const do_not_show_again_text = "Do not show again";

namespace {

constexpr const char* settings_section = "general";
constexpr const char* settings_key = "warning";

// The check box's distance from the left and lower edges of the client area.
constexpr int check_box_margin = 8;

}  // namespace

CImportBxfDialog::CImportBxfDialog(std::string caption) : _caption(std::move(caption)) { load_settings(); }

void CImportBxfDialog::save() const {
  if (!_warning) save_settings();
}

std::string CImportBxfDialog::settings_file() { return change_file_ext(module_path(), ".ini"); }

bool CImportBxfDialog::execute(bool force) {
  if (force || _warning) return show_dialog();
  return true;
}

void CImportBxfDialog::load_settings() {
  CIniFile ini(settings_file());
  _warning = ini.read_integer(settings_section, settings_key, 1) != 0;
}

void CImportBxfDialog::save_settings() const {
  CIniFile ini(settings_file());
  ini.write_integer(settings_section, settings_key, _warning ? 1 : 0);
  ini.update_file();
}

bool CImportBxfDialog::show_dialog() {
  // A lone OK button is both the default (Enter) and the cancel (Escape)
  // button; only the close box gives another result.
  CMessageForm form(warning_text, mtWarning, {mbOK});  // frees the check box with it
  CCheckBox* box = form.create_check_box();
  form.set_caption(_caption);
  form.set_height(form.height() + box->height());
  box->set_parent(&form);
  box->set_caption(do_not_show_again_text);
  box->set_checked(false);
  box->set_top(form.client_height() - box->height() - check_box_margin);
  box->set_width(form.width() - 2 * check_box_margin);
  box->set_left(check_box_margin);
  if (form.show_modal() != mrOk) return false;
  _warning = !box->checked();
  return true;
}
