#include "platform.dialogs.h"

#include "platform.files.h"
#include "platform.presenters.h"
#include "test.support.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

const char* const warning_text =
    "Warning!\r\nThe imported cabinets are not intended to be resized.\r\nThis can result in incorrect reporting.";

// Puts a scripted presenter on the module's application for the test.
class dialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    script = std::make_shared<CScriptedPresenter>();
    application().set_presenter(script);
    root = temp_folder() + "platform_dialogs_" + guid_to_hex(new_guid()) + "/";
    ASSERT_TRUE(force_folders(root));
  }
  void TearDown() override {
    application().set_presenter(nullptr);
    delete_folder(root);
  }
  std::string make_file(const std::string& name) {
    write_file_bytes(root + name, "x");
    return root + name;
  }

  std::shared_ptr<CScriptedPresenter> script;
  std::string root;
};

// Builds the resize warning the way the plug-in does, shows it and reports
// the result and the box's state.
struct TWarningRun {
  TModalResult result;
  bool checked;
};
TWarningRun show_warning() {
  CMessageForm form(warning_text, mtWarning, {mbOK});
  CCheckBox* box = form.create_check_box();
  form.set_caption("Import BXF2");
  form.set_height(form.height() + box->height());
  box->set_parent(&form);
  box->set_caption("Do not show again");
  box->set_top(form.client_height() - box->height() - 8);
  box->set_width(form.width() - 16);
  box->set_left(8);
  TModalResult result = form.show_modal();
  EXPECT_EQ(form.modal_result(), result);
  return {result, box->checked()};
}

}  // namespace

TEST(dialogs_message_form, default_and_cancel_buttons) {
  struct Case {
    std::vector<TMsgDlgBtn> buttons;
    std::optional<TMsgDlgBtn> asked_default;
    std::optional<TMsgDlgBtn> default_button;
    std::optional<TMsgDlgBtn> cancel_button;
  } cases[] = {
      {{mbOK}, {}, mbOK, mbOK},  // a lone OK is both
      {{mbCancel, mbOK}, {}, mbOK, mbCancel},
      {{mbYes, mbNo}, {}, mbYes, mbNo},
      {{mbYes, mbNo, mbCancel}, {}, mbYes, mbCancel},
      {{mbAbort, mbRetry, mbIgnore}, {}, {}, {}},
      {{mbOK, mbCancel}, mbCancel, mbCancel, mbCancel},
      {{mbOK}, mbYes, mbOK, mbOK},  // asked default not on the form
      {{}, {}, {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.buttons.size());
    CMessageForm form("text", mtInformation, c.buttons, c.asked_default);
    auto kind = [](const TFormButton* b) { return b ? std::optional(b->kind) : std::nullopt; };
    EXPECT_EQ(kind(form.default_button()), c.default_button);
    EXPECT_EQ(kind(form.cancel_button()), c.cancel_button);
  }
}

TEST(dialogs_message_form, buttons_sorted_once_with_their_results) {
  CMessageForm form("text", mtConfirmation, {mbCancel, mbYes, mbNo, mbYes});
  ASSERT_EQ(form.buttons().size(), 3u);
  EXPECT_EQ(form.buttons()[0].kind, mbYes);
  EXPECT_EQ(form.buttons()[0].caption, "&Yes");
  EXPECT_EQ(form.buttons()[0].modal_result, mrYes);
  EXPECT_EQ(form.buttons()[1].modal_result, mrNo);
  EXPECT_EQ(form.buttons()[2].modal_result, mrCancel);
  EXPECT_EQ(mrOk, 1);
  EXPECT_EQ(mrCancel, 2);
}

TEST(dialogs_message_form, caption_by_type) {
  struct Case {
    TMsgDlgType type;
    const char* caption;
  } cases[] = {{mtWarning, "Warning"},
               {mtError, "Error"},
               {mtInformation, "Information"},
               {mtConfirmation, "Confirm"},
               {mtCustom, ""}};
  for (const auto& c : cases) EXPECT_EQ(CMessageForm("x", c.type, {mbOK}).caption(), c.caption);
}

TEST(dialogs_message_form, layout_and_check_box) {
  CMessageForm form(warning_text, mtWarning, {mbOK});
  // 53 characters in the longest line, three lines, an icon and one button.
  EXPECT_EQ(form.client_width(), 16 + 48 + 53 * 7 + 16);
  EXPECT_EQ(form.client_height(), 16 + 48 + 16 + 25 + 16);
  EXPECT_EQ(form.width(), form.client_width() + 16);
  EXPECT_EQ(form.height(), form.client_height() + 39);
  form.set_height(form.height() + 17);
  EXPECT_EQ(form.client_height(), 121 + 17);
  form.set_client_width(300);
  EXPECT_EQ(form.width(), 316);

  CCheckBox* box = form.create_check_box();
  EXPECT_EQ(box->owner(), &form);
  EXPECT_EQ(box->parent(), nullptr);
  EXPECT_EQ(box->width(), 97);
  EXPECT_EQ(box->height(), 17);
  EXPECT_FALSE(box->checked());
  EXPECT_TRUE(form.check_boxes().empty());  // owned, not yet on the form
  box->set_parent(&form);
  EXPECT_EQ(form.check_boxes(), std::vector<CCheckBox*>{box});
}

TEST(dialogs_message_form, font_from_application) {
  std::string old = application().default_font_name();
  application().set_default_font_name("Host UI");
  CMessageForm form("x", mtWarning, {mbOK});
  application().set_default_font_name(old);
  EXPECT_EQ(form.font_name(), "Host UI");
}

TEST_F(dialogs, scripted_warning_answers) {
  struct Case {
    const char* name;
    TFormAnswer answer;
    TModalResult result;
    bool checked;
  } cases[] = {
      {"OK", TFormAnswer::press(mbOK), mrOk, false},
      {"OK ticked", TFormAnswer::press(mbOK, true), mrOk, true},
      {"Enter ticked", TFormAnswer::enter(true), mrOk, true},
      {"Enter", TFormAnswer::enter(false), mrOk, false},
      {"Escape ticked", TFormAnswer::escape(true), mrOk, true},  // Escape presses the lone OK
      {"close box", TFormAnswer::close_box(), mrCancel, false},
  };
  for (const auto& c : cases) script->add_form_answer(c.answer);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TWarningRun run = show_warning();
    EXPECT_EQ(run.result, c.result);
    EXPECT_EQ(run.checked, c.checked);
  }
  ASSERT_EQ(script->forms().size(), std::size(cases));
  const TShownForm& shown = script->forms().front();
  EXPECT_EQ(shown.caption, "Import BXF2");
  EXPECT_EQ(shown.text, warning_text);
  EXPECT_EQ(shown.type, mtWarning);
  EXPECT_EQ(shown.buttons, std::vector<TMsgDlgBtn>{mbOK});
  EXPECT_EQ(shown.default_button, mbOK);
  EXPECT_EQ(shown.cancel_button, mbOK);
  EXPECT_EQ(shown.width, 467);
  EXPECT_EQ(shown.height, 160 + 17);
  EXPECT_EQ(shown.client_height, 121 + 17);
  ASSERT_EQ(shown.check_boxes.size(), 1u);
  const TShownCheckBox& box = shown.check_boxes.front();
  EXPECT_EQ(box.caption, "Do not show again");
  EXPECT_FALSE(box.checked);
  EXPECT_EQ(box.left, 8);
  EXPECT_EQ(box.top, 138 - 17 - 8);
  EXPECT_EQ(box.width, 467 - 16);
  EXPECT_EQ(box.height, 17);
  EXPECT_EQ(script->forms().back().result, mrCancel);
}

TEST_F(dialogs, scripted_form_errors) {
  struct Case {
    std::optional<TFormAnswer> answer;
    std::vector<TMsgDlgBtn> buttons;
    const char* message;
  } cases[] = {
      {{}, {mbOK}, "No answer left for the message form \"Question\""},
      {TFormAnswer::press(mbYes), {mbOK}, "The message form \"Question\" has no button \"Yes\""},
      {TFormAnswer::enter(), {mbAbort, mbIgnore}, "The message form \"Question\" has no default button"},
      {TFormAnswer::enter(true), {mbOK}, "The message form \"Question\" has no check box"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    if (c.answer) script->add_form_answer(*c.answer);
    CMessageForm form("Go on?", mtConfirmation, c.buttons);
    form.set_caption("Question");
    EXPECT_THROW_MSG(form.show_modal(), EPresenter, c.message);
  }
  // Escape without a cancel button closes with mrCancel.
  script->add_form_answer(TFormAnswer::escape());
  EXPECT_EQ(CMessageForm("x", mtCustom, {mbAbort, mbRetry}).show_modal(), mrCancel);
}

TEST(dialogs_open_dialog, filters) {
  COpenDialog dialog;
  dialog.set_filter("BXF2 files|*.bxf2;*.zip|Any file|*.*");
  auto filters = dialog.filters();
  ASSERT_EQ(filters.size(), 2u);
  EXPECT_EQ(filters[0].description, "BXF2 files");
  EXPECT_EQ(filters[0].patterns, "*.bxf2;*.zip");
  EXPECT_EQ(filters[1].description, "Any file");
  EXPECT_EQ(filters[1].patterns, "*.*");
  dialog.set_filter("Only description");
  ASSERT_EQ(dialog.filters().size(), 1u);
  EXPECT_EQ(dialog.filters()[0].patterns, "");
  dialog.set_filter("");
  EXPECT_TRUE(dialog.filters().empty());
}

TEST_F(dialogs, open_dialog_must_exist_and_kept_choice) {
  std::string a = make_file("a.bxf2");
  std::string b = make_file("b.zip");
  COpenDialog dialog;
  dialog.set_title("Import BXF2");
  dialog.set_default_ext("zip");
  dialog.set_options(ofHideReadOnly | ofAllowMultiSelect | ofFileMustExist | ofEnableSizing);

  script->add_files({a, root + "missing.bxf2"});  // rejected: one file is missing
  script->add_files({a, root + "b"});             // "b" gets the default extension
  ASSERT_TRUE(dialog.execute());
  EXPECT_EQ(dialog.files(), (std::vector<std::string>{a, b}));
  EXPECT_EQ(dialog.file_name(), a);
  ASSERT_EQ(script->dialogs().size(), 1u);
  const TShownDialog& shown = script->dialogs()[0];
  EXPECT_EQ(shown.title, "Import BXF2");
  EXPECT_EQ(shown.answers.size(), 2u);
  EXPECT_EQ(shown.errors,
            std::vector<std::string>{root + "missing.bxf2\nFile not found.\nCheck the file name and try again."});

  // A cancelled run keeps the earlier choice, and the next run offers it.
  script->add_cancel();
  EXPECT_FALSE(dialog.execute());
  EXPECT_EQ(dialog.files(), (std::vector<std::string>{a, b}));
  EXPECT_EQ(script->dialogs()[1].file_name, a);
  EXPECT_TRUE(script->dialogs()[1].cancelled);

  // A missing file with no further answer ends the script with a clear error.
  script->add_files({root + "gone.zip"});
  EXPECT_THROW_MSG(dialog.execute(), EPresenter, "File not found: " + root + "gone.zip");
  script->add_files({root + "nowhere/x.zip"});
  EXPECT_THROW(dialog.execute(), EPresenter);
  EXPECT_EQ(script->dialogs().back().errors.back(),
            root + "nowhere/x.zip\nPath does not exist.\nCheck the path and try again.");
  EXPECT_EQ(dialog.files(), (std::vector<std::string>{a, b}));

  script->add_files({});  // an empty choice counts as cancelled
  EXPECT_FALSE(dialog.execute());
  EXPECT_THROW(dialog.execute(), EPresenter);  // no answer left
}

TEST_F(dialogs, open_dialog_names_become_full_paths) {
  std::string a = make_file("a.bxf2");
  make_file("b.bxf2");
  COpenDialog dialog;
  dialog.set_initial_dir(root);
  dialog.set_options(ofFileMustExist);  // one file only
  script->add_files({"a.bxf2", "b.bxf2"});
  ASSERT_TRUE(dialog.execute());
  EXPECT_EQ(dialog.files(), std::vector<std::string>{a});

  struct Case {
    const char* initial_dir;
    const char* default_ext;
    const char* name;
    std::string path;
  } cases[] = {
      {"/data", "zip", "kitchen", "/data/kitchen.zip"}, {"/data/", "zip", "kitchen.bxf2", "/data/kitchen.bxf2"},
      {"/data", "", "kitchen", "/data/kitchen"},        {"/data", "zip", "/abs/k", "/abs/k.zip"},
      {"/data", "zip", "sub.d/k", "/data/sub.d/k.zip"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    dialog.set_initial_dir(c.initial_dir);
    dialog.set_default_ext(c.default_ext);
    EXPECT_EQ(dialog.complete_name(c.name), c.path);
  }
  dialog.set_initial_dir("");
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(dialog.complete_name("x.zip"), std::string(cwd) + "/x.zip");
}
