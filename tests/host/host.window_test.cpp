// The reference host's main window: handle, icon and font, the progress
// display and the message pump.
#include "host.application.h"

#include <gtest/gtest.h>

namespace {

class CRecordingHandler : public TImplements<CSafeInterfacedObject, IMessageHandler> {
 public:
  static CRecordingHandler* create(std::vector<std::string>* log, std::string name, bool takes) {
    return construct(new CRecordingHandler(log, std::move(name), takes));
  }
  void handle_message(TMsg& msg, bool& handled) override {
    _log->push_back(_name + ":" + std::to_string(msg.message) + (handled ? ":handled" : ""));
    msg.wParam += 1;
    if (_takes) handled = true;
  }

 protected:
  CRecordingHandler(std::vector<std::string>* log, std::string name, bool takes)
      : _log(log), _name(std::move(name)), _takes(takes) {}

 private:
  std::vector<std::string>* _log;
  std::string _name;
  bool _takes;
};

class window : public ::testing::Test {
 protected:
  CHost host;
  TRef<IMainWindow> main;

  void SetUp() override { OleCheck(host.application_interface()->GetMainWindow(main.put())); }
};

TEST_F(window, handle_icon_and_font) {
  host.main_window().set_handle(0x1234);
  host.main_window().set_font_name("Noto Sans");
  int32_t handle = 0, icon = 0;
  TBStr font;
  OleCheck(main->GetHandle(&handle));
  OleCheck(main->GetIcon(&icon));
  OleCheck(main->GetFontName(font.put()));
  EXPECT_EQ(handle, 0x1234);
  EXPECT_EQ(icon, 0x00020020);
  EXPECT_EQ(font.utf8(), "Noto Sans");
  EXPECT_EQ(main->GetHandle(nullptr), E_POINTER);
}

TEST_F(window, progress_keeps_state_and_asks_the_handler) {
  TRef<IProgress> progress = main.query<IProgress>();
  ASSERT_TRUE(progress);
  progress->SetMax(3);
  progress->SetPosition(progress->GetPosition() + 1);
  progress->SetText(TBStr("Extracting file (/tmp/a b.zip)").get());
  EXPECT_TRUE(progress->Proceed());  // no handler: go on
  std::vector<TProgressState> asked;
  host.main_window().set_proceed_handler([&](const TProgressState& s) {
    asked.push_back(s);
    return false;
  });
  EXPECT_FALSE(progress->Proceed());
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].max, 3);
  EXPECT_EQ(asked[0].position, 1);
  EXPECT_EQ(asked[0].text, "Extracting file (/tmp/a b.zip)");
  EXPECT_EQ(host.main_window().texts(), (std::vector<std::string>{"Extracting file (/tmp/a b.zip)"}));
}

TEST_F(window, pump_calls_handlers_in_order_until_one_takes_the_message) {
  TRef<IMessagePump> pump = main.query<IMessagePump>();
  ASSERT_TRUE(pump);
  std::vector<std::string> log;
  TRef<IMessageHandler> first = CRecordingHandler::create(&log, "first", false);
  TRef<IMessageHandler> second = CRecordingHandler::create(&log, "second", true);
  TRef<IMessageHandler> third = CRecordingHandler::create(&log, "third", false);
  pump->add_handler(first.get());
  pump->add_handler(second.get());
  pump->add_handler(third.get());
  pump->add_handler(first.get());  // once only
  EXPECT_EQ(host.main_window().handler_count(), 3u);

  TMsg msg;
  msg.message = 0x0100u;  // a key press
  EXPECT_TRUE(host.main_window().dispatch_message(msg));
  EXPECT_EQ(log, (std::vector<std::string>{"first:256", "second:256"}));
  EXPECT_EQ(msg.wParam, 2u);

  // Posted messages run when the host processes its queue, as on Proceed.
  log.clear();
  pump->remove_handler(second.get());
  pump->remove_handler(second.get());  // unknown now: ignored
  host.main_window().post_message(TMsg{});
  EXPECT_TRUE(main.query<IProgress>()->Proceed());
  EXPECT_EQ(log, (std::vector<std::string>{"first:0", "third:0"}));
  EXPECT_EQ(host.main_window().process_messages(), 0);

  pump->remove_handler(first.get());
  pump->remove_handler(third.get());
  EXPECT_EQ(host.main_window().handler_count(), 0u);
}

}  // namespace
