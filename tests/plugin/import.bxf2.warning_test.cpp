// The resize warning: its preference file beside the module, the dialog's
// texts and check box, and how each way of closing it counts.
#include "import.bxf2.warning.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "platform.files.h"
#include "platform.presenters.h"

namespace {

namespace fs = std::filesystem;

class warning : public ::testing::Test {
 protected:
  void SetUp() override {
    ini = CImportBxfDialog::settings_file();
    fs::remove(ini);
    script = std::make_shared<CScriptedPresenter>();
    application().set_presenter(script);
  }
  void TearDown() override {
    application().set_presenter(nullptr);
    fs::remove(ini);
  }

  void write_ini(const std::string& text) { std::ofstream(ini, std::ios::binary) << text; }
  std::string read_ini() {
    std::ifstream in(ini, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::string ini;
  std::shared_ptr<CScriptedPresenter> script;
};

TEST_F(warning, preference_file_is_beside_the_module) {
  EXPECT_EQ(fs::path(ini).parent_path(), fs::path(module_path()).parent_path());
  EXPECT_EQ(fs::path(ini).extension(), ".ini");
}

TEST_F(warning, first_run_shows_the_warning_and_writes_nothing) {
  auto dialog = std::make_unique<CImportBxfDialog>("Import BXF2");
  EXPECT_TRUE(dialog->warning());
  script->add_form_answer(TFormAnswer::press(mbOK, false));
  EXPECT_TRUE(dialog->execute(false));
  EXPECT_TRUE(dialog->warning());

  ASSERT_EQ(script->forms().size(), 1u);
  const TShownForm& form = script->forms()[0];
  EXPECT_EQ(form.caption, "Import BXF2");
  EXPECT_EQ(
      form.text,
      "Warning!\r\nThe imported cabinets are not intended to be resized.\r\nThis can result in incorrect reporting.");
  EXPECT_EQ(form.type, mtWarning);
  EXPECT_EQ(form.buttons, std::vector<TMsgDlgBtn>{mbOK});
  EXPECT_EQ(form.default_button, mbOK);
  EXPECT_EQ(form.cancel_button, mbOK);

  // The check box lies in a strip added at the bottom, 8 pixels in.
  CMessageForm plain(warning_text, mtWarning, {mbOK});
  EXPECT_EQ(form.height, plain.height() + 17);
  ASSERT_EQ(form.check_boxes.size(), 1u);
  const TShownCheckBox& box = form.check_boxes[0];
  EXPECT_EQ(box.caption, "Do not show again");
  EXPECT_FALSE(box.checked);
  EXPECT_EQ(box.height, 17);
  EXPECT_EQ(box.left, 8);
  EXPECT_EQ(box.top, form.client_height - 17 - 8);
  EXPECT_EQ(box.width, form.width - 16);

  dialog->save();
  EXPECT_FALSE(fs::exists(ini));
}

TEST_F(warning, ticked_box_turns_the_warning_off_for_this_and_later_loads) {
  auto dialog = std::make_unique<CImportBxfDialog>("Import BXF2");
  script->add_form_answer(TFormAnswer::enter(true));
  EXPECT_TRUE(dialog->execute(false));
  EXPECT_FALSE(dialog->warning());
  EXPECT_TRUE(dialog->execute(false));  // skipped
  EXPECT_EQ(script->forms().size(), 1u);

  dialog.reset();  // freeing alone writes nothing
  EXPECT_FALSE(fs::exists(ini));
  dialog = std::make_unique<CImportBxfDialog>("Import BXF2");
  script->add_form_answer(TFormAnswer::enter(true));
  EXPECT_TRUE(dialog->execute(false));
  dialog->save();
  EXPECT_EQ(read_ini(), "[general]\nwarning=0\n");

  dialog = std::make_unique<CImportBxfDialog>("Import BXF2");
  EXPECT_FALSE(dialog->warning());
  EXPECT_TRUE(dialog->execute(false));
  EXPECT_EQ(script->forms().size(), 2u);
  dialog->save();
  EXPECT_EQ(read_ini(), "[general]\nwarning=0\n");
}

TEST_F(warning, failed_save_raises_and_freeing_afterwards_does_not) {
  auto dialog = std::make_unique<CImportBxfDialog>("Import BXF2");
  script->add_form_answer(TFormAnswer::enter(true));
  EXPECT_TRUE(dialog->execute(false));
  fs::create_directory(ini);  // the preference file cannot be written
  EXPECT_THROW(dialog->save(), EFileError);
  dialog.reset();
  EXPECT_TRUE(fs::is_directory(ini));
  fs::remove(ini);
}

TEST_F(warning, stored_value_decides_whether_the_warning_shows) {
  struct TCase {
    const char* file;
    bool warning;
  };
  const TCase cases[] = {
      {"[general]\nwarning=1\n", true},
      {"[general]\nwarning=7\n", true},
      {"[general]\nwarning=never\n", true},  // not a number: the default
      {"[general]\nwarning=\n", true},
      {"[general]\nwarning=0x0\n", false},  // hexadecimal zero
      {"[general]\nwarning=0\n", false},
      {"[GENERAL]\nWarning = 0\n", false},  // names ignore letter case
      {"[other]\nwarning=0\n", true},       // another section
      {"", true},
  };
  for (const TCase& c : cases) {
    write_ini(c.file);
    CImportBxfDialog dialog("Import BXF2");
    EXPECT_EQ(dialog.warning(), c.warning) << c.file;
  }
}

TEST_F(warning, saving_keeps_the_other_sections_and_keys) {
  write_ini("; settings\n[view]\nzoom=2\n[general]\nlast=a.zip\nwarning=1\n");
  auto dialog = std::make_unique<CImportBxfDialog>("Import BXF2");
  script->add_form_answer(TFormAnswer::enter(true));
  EXPECT_TRUE(dialog->execute(false));
  dialog->save();
  EXPECT_EQ(read_ini(), "; settings\n[view]\nzoom=2\n[general]\nlast=a.zip\nwarning=0\n");
}

TEST_F(warning, escape_confirms_and_reads_the_box) {
  CImportBxfDialog dialog("Import BXF2");
  script->add_form_answer(TFormAnswer::escape(true));
  EXPECT_TRUE(dialog.execute(false));
  EXPECT_FALSE(dialog.warning());
  EXPECT_EQ(script->forms()[0].result, mrOk);
}

TEST_F(warning, close_box_cancels_and_keeps_the_preference) {
  auto dialog = std::make_unique<CImportBxfDialog>("Import BXF2");
  script->add_form_answer(TFormAnswer::close_box());
  EXPECT_FALSE(dialog->execute(false));
  EXPECT_TRUE(dialog->warning());
  dialog->save();
  EXPECT_FALSE(fs::exists(ini));
}

TEST_F(warning, forced_dialog_can_turn_the_warning_back_on_without_storing_it) {
  write_ini("[general]\nwarning=0\n");
  auto dialog = std::make_unique<CImportBxfDialog>("Import BXF2");
  script->add_form_answer(TFormAnswer::enter(false));
  EXPECT_TRUE(dialog->execute(true));
  EXPECT_TRUE(dialog->warning());
  dialog->save();
  EXPECT_EQ(read_ini(), "[general]\nwarning=0\n");  // only the off state is written
}

}  // namespace
