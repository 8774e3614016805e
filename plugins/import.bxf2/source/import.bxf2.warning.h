// The resize warning shown before an import: imported cabinets are not meant
// to be resized. The user can turn it off with "Do not show again"; the
// choice is kept in the preference file beside the plug-in module
// (`import.bxf2.ini`, section "general", key "warning") from one loading of
// the plug-in to the next.
//
//   auto dialog = std::make_unique<CImportBxfDialog>("Import BXF2");  // reads the preference
//   if (!dialog->execute(false)) return;   // the user closed the warning
//   dialog->save();                        // writes "0" while the warning is off
//
// Saving is explicit (the plug-in's `done` saves): freeing the dialog
// writes nothing, so it never raises.
#pragma once

#include <string>

class CImportBxfDialog {
 public:
  // Keeps `caption` for the dialog's window and reads the preference.
  // Raises EFileError when the preference file exists but cannot be read.
  explicit CImportBxfDialog(std::string caption);
  CImportBxfDialog(const CImportBxfDialog&) = delete;
  CImportBxfDialog& operator=(const CImportBxfDialog&) = delete;

  // True when the import may go on: without `force` while the warning is
  // off, at once; otherwise when the user confirmed the dialog (OK, Enter or
  // Escape), which also takes the state of "Do not show again". False when
  // the user closed it another way; the preference then stays as it was.
  bool execute(bool force);

  // Writes "0" for the preference while the warning is off; leaves the file
  // as it is while it is on. Raises EFileError when the file cannot be read
  // or written.
  void save() const;

  // Whether the warning is shown by `execute(false)`.
  bool warning() const { return _warning; }
  const std::string& caption() const { return _caption; }

  // The path of the preference file: the module's path with its last
  // extension replaced by ".ini".
  static std::string settings_file();

 private:
  void load_settings();
  void save_settings() const;
  bool show_dialog();

  bool _warning = true;
  std::string _caption;
};

// The text of the warning (three lines).
extern const char* const warning_text;
// The caption of the check box that turns the warning off.
extern const char* const do_not_show_again_text;
