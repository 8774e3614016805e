#include "platform.application.h"

#include "platform.presenters.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

TEST(application, defaults_and_module_instance) {
  CToolkitApplication app;
  EXPECT_EQ(app.handle(), 0);
  EXPECT_EQ(app.icon(), 0);
  EXPECT_EQ(app.default_font_name(), "Sans");
  EXPECT_FALSE(app.on_message());
  EXPECT_NE(dynamic_cast<CTerminalPresenter*>(app.presenter().get()), nullptr);
  auto script = std::make_shared<CScriptedPresenter>();
  app.set_presenter(script);
  EXPECT_EQ(app.presenter(), script);
  app.set_presenter(nullptr);
  EXPECT_NE(dynamic_cast<CTerminalPresenter*>(app.presenter().get()), nullptr);
  EXPECT_EQ(&application(), &application());
}

TEST(application, message_record_layout) {
  if (sizeof(void*) != 8) GTEST_SKIP() << "64-bit layout";
  EXPECT_EQ(offsetof(TMsg, time), 32u);
  EXPECT_EQ(offsetof(TMsg, pt), 36u);
  EXPECT_EQ(sizeof(TMsg), 48u);
}

// Each row sets which checks take the message and expects the checks asked,
// in order, and the outcome.
TEST(application, handle_message_preprocessing_order) {
  struct Case {
    const char* name;
    bool with_event;
    bool event_handles;
    bool captured;
    bool control, hint, mdi, key, dialog;
    const char* asked;
    bool handled;
  } cases[] = {
      {"nothing claims", true, false, false, false, false, false, false, false,
       "event capture control hint mdi key dialog queue", false},
      {"no event set", false, false, false, false, false, false, false, false,
       "capture control hint mdi key dialog queue", false},
      {"event handles", true, true, false, false, false, false, false, false, "event capture control hint", true},
      {"control claims", true, false, false, true, false, false, false, false, "event capture control", true},
      {"control ignored while captured", true, false, true, true, false, false, false, false,
       "event capture hint mdi key dialog queue", false},
      {"hint while captured", true, false, true, false, true, false, false, false, "event capture hint", true},
      {"hint", true, false, false, false, true, false, false, false, "event capture control hint", true},
      {"event handles, control claims", true, true, false, true, false, false, false, false, "event capture control",
       true},
      {"mdi accelerator", true, false, false, false, false, true, false, false, "event capture control hint mdi", true},
      {"key message", true, false, false, false, false, false, true, false, "event capture control hint mdi key", true},
      {"dialog message", true, false, false, false, false, false, false, true,
       "event capture control hint mdi key dialog", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CToolkitApplication app;
    std::string asked;
    auto note = [&](const char* what) { asked += asked.empty() ? what : std::string(" ") + what; };
    auto check = [&](const char* what, bool answer) {
      return [&note, what, answer](TMsg& msg) {
        EXPECT_EQ(msg.message, WM_USER + 1u);  // the event's change is seen
        note(what);
        return answer;
      };
    };
    if (c.with_event)
      app.set_on_message([&](TMsg& msg, bool& handled) {
        note("event");
        msg.message = WM_USER + 1;
        if (c.event_handles) handled = true;
      });
    else
      app.set_on_message([&](TMsg& msg, bool&) { msg.message = WM_USER + 1; });
    app.hooks().mouse_captured = [&] {
      note("capture");
      return c.captured;
    };
    app.hooks().control_message = check("control", c.control);
    app.hooks().hint_message = check("hint", c.hint);
    app.hooks().mdi_message = check("mdi", c.mdi);
    app.hooks().key_message = check("key", c.key);
    app.hooks().dialog_message = check("dialog", c.dialog);
    app.queue([&] { note("queue"); });

    TMsg msg;
    msg.message = WM_KEYDOWN;
    bool handled = false;
    app.handle_message(msg, handled);
    EXPECT_EQ(asked, c.asked);
    EXPECT_EQ(handled, c.handled);
    EXPECT_EQ(app.queued_count(), c.handled ? 1u : 0u);
  }
}

TEST(application, handle_message_without_hooks_runs_the_queue) {
  CToolkitApplication app;
  int ran = 0;
  app.queue([&] { ++ran; });
  TMsg msg;
  bool handled = false;
  app.handle_message(msg, handled);
  EXPECT_FALSE(handled);
  EXPECT_EQ(ran, 1);
  app.handle_message(msg, handled);
  EXPECT_EQ(ran, 1);
}

TEST(application, calls_queued_by_other_threads_run_in_order) {
  CToolkitApplication app;
  std::vector<int> seen[4];
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&app, &seen, t] {
      for (int i = 0; i < 100; ++i) app.queue([&seen, t, i] { seen[t].push_back(i); });
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(app.queued_count(), 400u);
  TMsg msg;
  bool handled = false;
  app.handle_message(msg, handled);
  EXPECT_EQ(app.queued_count(), 0u);
  for (const auto& list : seen) {
    ASSERT_EQ(list.size(), 100u);
    EXPECT_TRUE(std::is_sorted(list.begin(), list.end()));
  }
}

TEST(application, queue_runs_calls_added_while_running_and_stops_at_an_exception) {
  CToolkitApplication app;
  std::string log;
  app.queue([&] {
    log += "a";
    app.queue([&] { log += "d"; });
  });
  app.queue([&] {
    log += "b";
    throw std::runtime_error("failed call");
  });
  app.queue([&] { log += "c"; });
  EXPECT_THROW(app.check_synchronize(), std::runtime_error);
  EXPECT_EQ(log, "ab");
  EXPECT_EQ(app.queued_count(), 2u);
  EXPECT_TRUE(app.check_synchronize());
  EXPECT_EQ(log, "abcd");
  EXPECT_FALSE(app.check_synchronize());
}
