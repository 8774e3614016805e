#include "platform.presenters.h"

#include "platform.files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace {

const char* const warning_text =
    "Warning!\r\nThe imported cabinets are not intended to be resized.\r\nThis can result in incorrect reporting.";

// The warning form with its check box on it.
struct TWarningForm {
  CMessageForm form{warning_text, mtWarning, {mbOK}};
  CCheckBox* box = form.create_check_box();
  TWarningForm() {
    form.set_caption("Import BXF2");
    box->set_parent(&form);
    box->set_caption("Do not show again");
  }
};

}  // namespace

TEST(presenters_terminal, warning_form_keys) {
  struct Case {
    const char* input;
    TModalResult result;
    bool checked;
  } cases[] = {
      {"\n", mrOk, false},                              // Enter: OK
      {"t\n", mrOk, true},                              // tick and OK
      {"  T \n", mrOk, true},                           // letter case and blanks do not count
      {"c\n", mrCancel, false},                         // close box
      {"esc\n", mrOk, false},                           // Escape presses the lone OK
      {"\x1b\n", mrOk, false},   {"o\n", mrOk, false},  // the OK button's own key
      {"what\nt\n", mrOk, true},                        // asked again after an unknown answer
      {"", mrCancel, false},                            // end of input: closed
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    std::istringstream in(c.input);
    std::ostringstream out;
    CTerminalPresenter presenter(in, out);
    TWarningForm warning;
    EXPECT_EQ(presenter.show_modal(warning.form), c.result);
    EXPECT_EQ(warning.box->checked(), c.checked);
    std::string shown = out.str();
    EXPECT_NE(shown.find("== Import BXF2 ==\nWarning!\nThe imported cabinets are not intended to be resized.\n"
                         "This can result in incorrect reporting.\n[ ] Do not show again\n"
                         "[Enter] OK, [t] tick 'Do not show again' and OK, [c] close\n> "),
              std::string::npos)
        << shown;
  }
}

TEST(presenters_terminal, button_keys_and_close_key) {
  struct Case {
    const char* input;
    TModalResult result;
  } cases[] = {
      {"\n", mrYes}, {"y\n", mrYes}, {"n\n", mrNo}, {"c\n", mrCancel}, {"x\n", mrCancel}, {"esc\n", mrCancel},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    std::istringstream in(c.input);
    std::ostringstream out;
    CTerminalPresenter presenter(in, out);
    CMessageForm form("Save?", mtConfirmation, {mbYes, mbNo, mbCancel});
    EXPECT_EQ(presenter.show_modal(form), c.result);
    EXPECT_NE(out.str().find("[Enter] Yes, [n] No, [c] Cancel, [x] close\n"), std::string::npos) << out.str();
  }
}

TEST(presenters_terminal, split_path_line_cases) {
  struct Case {
    const char* line;
    std::vector<std::string> paths;
  } cases[] = {
      {"a b", {"a", "b"}},
      {"  a\t b  ", {"a", "b"}},
      {"'/my files/k.zip' b", {"/my files/k.zip", "b"}},
      {"\"/my files/k.zip\"", {"/my files/k.zip"}},
      {"/my\\ files/k.zip", {"/my files/k.zip"}},
      {"\"say \\\"hi\\\"\"", {"say \"hi\""}},
      {"'it''s'", {"its"}},
      {"''", {""}},
      {"'open quote", {"open quote"}},
      {"", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(split_path_line(c.line), c.paths);
  }
}

TEST(presenters_terminal, expand_path_wildcards_and_home) {
  std::string root = temp_folder() + "platform_presenters_" + guid_to_hex(new_guid()) + "/";
  ASSERT_TRUE(force_folders(root));
  for (const char* name : {"b.zip", "a.zip", "c.bxf2"}) write_file_bytes(root + name, "x");
  EXPECT_EQ(expand_path(root + "*.zip"), (std::vector<std::string>{root + "a.zip", root + "b.zip"}));
  EXPECT_EQ(expand_path(root + "?.bxf2"), std::vector<std::string>{root + "c.bxf2"});
  EXPECT_EQ(expand_path(root + "*.none"), std::vector<std::string>{root + "*.none"});
  EXPECT_EQ(expand_path(root + "plain"), std::vector<std::string>{root + "plain"});
  const char* home = std::getenv("HOME");
  std::string old_home = home ? home : "";
  ::setenv("HOME", root.c_str(), 1);
  EXPECT_EQ(expand_path("~/a.zip"), std::vector<std::string>{root + "a.zip"});
  EXPECT_EQ(expand_path("~/*.bxf2"), std::vector<std::string>{root + "c.bxf2"});
  if (home)
    ::setenv("HOME", old_home.c_str(), 1);
  else
    ::unsetenv("HOME");
  delete_folder(root);
}

TEST(presenters_terminal, file_prompt_through_the_dialog) {
  std::string root = temp_folder() + "platform_presenters_" + guid_to_hex(new_guid()) + "/";
  ASSERT_TRUE(force_folders(root));
  write_file_bytes(root + "one.bxf2", "x");
  write_file_bytes(root + "two words.zip", "x");

  struct Case {
    std::string input;
    TOpenOptions options;
    bool ok;
    std::vector<std::string> files;
  } cases[] = {
      {root + "one.bxf2 '" + root + "two words.zip'\n\n",
       ofAllowMultiSelect | ofFileMustExist,
       true,
       {root + "one.bxf2", root + "two words.zip"}},
      {root + "one.bxf2\n\"" + root + "two words\"\n\n",
       ofAllowMultiSelect | ofFileMustExist,
       true,
       {root + "one.bxf2", root + "two words.zip"}},                      // one per line; default extension
      {root + "one.bxf2\n", ofFileMustExist, true, {root + "one.bxf2"}},  // single choice: one line
      {"\n", ofAllowMultiSelect, false, {}},                              // empty first line cancels
      {"", ofAllowMultiSelect, false, {}},                                // end of input cancels
      {root + "missing.bxf2\n\n" + root + "one.bxf2\n\n",
       ofAllowMultiSelect | ofFileMustExist,
       true,
       {root + "one.bxf2"}},  // asked again after the report
      {root + "missing.bxf2\n\n", ofAllowMultiSelect | ofFileMustExist, false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    std::istringstream in(c.input);
    std::ostringstream out;
    application().set_presenter(std::make_shared<CTerminalPresenter>(in, out));
    COpenDialog dialog;
    dialog.set_title("Import BXF2");
    dialog.set_filter("BXF2 files|*.bxf2;*.zip|Any file|*.*");
    dialog.set_default_ext("zip");
    dialog.set_options(c.options);
    EXPECT_EQ(dialog.execute(), c.ok);
    EXPECT_EQ(dialog.files(), c.files);
    EXPECT_NE(out.str().find("== Import BXF2 ==\nFiles: BXF2 files (*.bxf2;*.zip), Any file (*.*)\n"),
              std::string::npos)
        << out.str();
    if (c.input.find("missing") != std::string::npos) {
      EXPECT_NE(out.str().find(root + "missing.bxf2\nFile not found.\nCheck the file name and try again.\n"),
                std::string::npos);
    }
  }
  application().set_presenter(nullptr);
  delete_folder(root);
}
