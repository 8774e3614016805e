#include "bxf2-import.console.h"
#include "bxf2-import.presenter.h"

#include <gtest/gtest.h>

#include <sstream>

#include <dlfcn.h>

namespace {

// A presenter standing in for the terminal: records what it was asked.
class CFakeTerminal : public CPresenter {
 public:
  TModalResult show_modal(CMessageForm&) override {
    ++forms;
    return mrCancel;
  }
  std::optional<std::vector<std::string>> choose_files(const COpenDialog&) override {
    ++dialogs;
    return std::vector<std::string>{"/typed.zip"};
  }
  bool file_error(const COpenDialog&, const std::string&) override {
    ++errors;
    return false;
  }
  int forms = 0, dialogs = 0, errors = 0;
};

// The resize warning as the plug-in shows it.
struct TWarningForm {
  TWarningForm() : form("Warning!\r\nNot for resizing.", mtWarning, {mbOK}) {
    box = form.create_check_box();
    box->set_parent(&form);
    box->set_caption("Do not show again");
  }
  CMessageForm form;
  CCheckBox* box;
};

}  // namespace

TEST(console_presenter, the_warning_is_answered_from_the_option_or_the_terminal) {
  struct Case {
    std::optional<TWarningAnswer> warning;
    bool interactive;
    TModalResult result;
    bool ticked;
    int asked;  // forms shown on the terminal
  };
  const Case cases[] = {
      {TWarningAnswer::ok, false, mrOk, false, 0},
      {TWarningAnswer::tick, false, mrOk, true, 0},
      {TWarningAnswer::close, false, mrCancel, false, 0},
      {TWarningAnswer::close, true, mrCancel, false, 0},
      {std::nullopt, false, mrOk, false, 0},
      {std::nullopt, true, mrCancel, false, 1},
  };
  for (const Case& c : cases) {
    auto terminal = std::make_shared<CFakeTerminal>();
    std::ostringstream err;
    CImportPresenter presenter(c.warning, {}, c.interactive, false, err, terminal);
    TWarningForm warning;
    EXPECT_EQ(presenter.show_modal(warning.form), c.result);
    EXPECT_EQ(warning.box->checked(), c.ticked);
    EXPECT_EQ(terminal->forms, c.asked);
    // The text of a form answered from the command line goes once to
    // standard error, on one line; a form closed cancels the run.
    EXPECT_EQ(err.str(), c.asked ? "" : "bxf2-import: Warning! Not for resizing.\n");
    EXPECT_EQ(presenter.cancel().has_value(), c.result != mrOk);
  }
  // Quiet: not even the text.
  std::ostringstream err;
  CImportPresenter quiet(TWarningAnswer::ok, {}, false, true, err);
  TWarningForm warning;
  EXPECT_EQ(quiet.show_modal(warning.form), mrOk);
  EXPECT_EQ(err.str(), "");
}

TEST(console_presenter, files_answer_the_first_dialog_then_the_terminal_or_cancel) {
  COpenDialog dialog;
  for (bool interactive : {false, true}) {
    auto terminal = std::make_shared<CFakeTerminal>();
    std::ostringstream err;
    CImportPresenter presenter(std::nullopt, {"/a.zip", "/b.bxf2"}, interactive, false, err, terminal);
    EXPECT_EQ(presenter.choose_files(dialog), (std::vector<std::string>{"/a.zip", "/b.bxf2"}));
    const auto second = presenter.choose_files(dialog);
    if (interactive)
      EXPECT_EQ(second, (std::vector<std::string>{"/typed.zip"}));
    else
      EXPECT_FALSE(second);
    EXPECT_EQ(terminal->dialogs, interactive ? 1 : 0);
  }

  auto terminal = std::make_shared<CFakeTerminal>();
  std::ostringstream err;
  CImportPresenter no_files(std::nullopt, {}, false, false, err, terminal);
  EXPECT_FALSE(no_files.choose_files(dialog));
  EXPECT_FALSE(no_files.file_error(dialog, "File not found: /x.zip"));
  EXPECT_EQ(err.str(), "bxf2-import: File not found: /x.zip\n");
  EXPECT_EQ(no_files.cancel(), "no file was chosen");
  EXPECT_EQ(terminal->errors, 0);
}

TEST(console_presenter, the_dialog_completes_the_given_files) {
  auto terminal = std::make_shared<CFakeTerminal>();
  std::ostringstream err;
  application().set_presenter(std::make_shared<CImportPresenter>(
      std::nullopt, std::vector<std::string>{"/missing/a.zip"}, false, false, err, terminal));
  COpenDialog dialog;
  dialog.set_options(ofAllowMultiSelect | ofFileMustExist);
  EXPECT_FALSE(dialog.execute());  // reported, then cancelled
  EXPECT_NE(err.str().find("/missing/a.zip"), std::string::npos) << err.str();
  application().set_presenter(nullptr);
}

TEST(console_progress, lines_show_position_maximum_and_text) {
  std::ostringstream out;
  {
    CProgressView view(out, TProgressStyle::lines);
    view.set_max(2);
    view.set_position(1);
    view.set_text("Extracting file (/data/kitchen.zip)");
    view.set_position(2);
    view.set_text("Reading 3D file (4711_K1.dae)");
    view.set_position(3);
    view.set_text("Importing BXF2 file (kitchen\x1b[2J.bxf2)");
    EXPECT_EQ(view.texts().size(), 3u);
    EXPECT_EQ(view.texts().back(), "Importing BXF2 file (kitchen\x1b[2J.bxf2)");
  }
  // Past the maximum (the chosen files) the step stands alone; names from
  // archives are escaped.
  EXPECT_EQ(out.str(),
            "[1/2] Extracting file (/data/kitchen.zip)\n"
            "[2/2] Reading 3D file (4711_K1.dae)\n"
            "[3] Importing BXF2 file (kitchen\\x1b[2J.bxf2)\n");
}

TEST(console_progress, the_bar_redraws_one_line_cut_to_the_width) {
  std::ostringstream out;
  {
    CProgressView view(out, TProgressStyle::bar, 60);
    view.set_max(4);
    view.set_position(1);
    view.set_text("Extracting file (/a/very/...name/that/goes/on/kitchen.zip)");
    view.set_position(5);
    view.set_text("Importing BXF2 file (k.bxf2)");
  }
  const std::string text = out.str();
  EXPECT_NE(text.find("\r[#####...............]   1/4   Extracting file (/a/very/...\x1b[K"), std::string::npos)
      << text;
  EXPECT_NE(text.find("\r[####################]   5     Importing BXF2 file (k.bxf2)\x1b[K"), std::string::npos)
      << text;
  EXPECT_EQ(text.back(), '\n');
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
}

TEST(console_progress, quiet_shows_nothing_and_styles_follow_the_stream) {
  std::ostringstream out;
  {
    CProgressView view(out, TProgressStyle::quiet);
    view.set_max(1);
    view.set_text("Extracting file (x)");
  }
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(progress_style(true, true), TProgressStyle::quiet);
  EXPECT_EQ(progress_style(false, true), TProgressStyle::bar);
  EXPECT_EQ(progress_style(false, false), TProgressStyle::lines);
}

namespace {
int stop_actions = 0, repeat_actions = 0;
}  // namespace

// Ctrl-C and SIGTERM ask to stop; the first one decides the exit status,
// and every one after it runs the repeat action.
TEST(console_stop, stop_signals_request_a_stop_and_repeat_the_action) {
  reset_stop();
  install_stop_handler();
  set_stop_actions([]() noexcept { ++stop_actions; }, []() noexcept { ++repeat_actions; });
  EXPECT_FALSE(stop_requested());
  EXPECT_EQ(stop_signal(), 0);
  ::raise(SIGTERM);
  EXPECT_TRUE(stop_requested());
  EXPECT_EQ(interrupted_status(), 143);
  EXPECT_EQ(stop_actions, 1);
  EXPECT_EQ(repeat_actions, 0);
  ::raise(SIGINT);
  EXPECT_EQ(stop_signal(), SIGTERM);
  EXPECT_EQ(stop_actions, 2);
  EXPECT_EQ(repeat_actions, 1);
  set_stop_actions(nullptr, nullptr);
  reset_stop();
  EXPECT_FALSE(stop_requested());
  request_stop();
  EXPECT_EQ(interrupted_status(), 130);
  reset_stop();
  remove_stop_handler();
}

// A plug-in's toolkit looks the program's presenter up by name.
TEST(console_presenter, the_presenter_is_lent_through_the_exported_function) {
  using TDesktopPresenterFunc = CPresenter* (*)();
  auto lookup = reinterpret_cast<TDesktopPresenterFunc>(::dlsym(RTLD_DEFAULT, "bxf_desktop_presenter"));
  ASSERT_NE(lookup, nullptr);
  EXPECT_EQ(lookup(), nullptr);
  std::ostringstream err;
  auto presenter =
      std::make_shared<CImportPresenter>(TWarningAnswer::tick, std::vector<std::string>{}, false, false, err);
  set_desktop_presenter(presenter);
  EXPECT_EQ(lookup(), presenter.get());
  set_desktop_presenter(nullptr);
  EXPECT_EQ(lookup(), nullptr);
}
