// The headless desktop: window queues, scripted questions, key states.
#include "os/desktop.h"

#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>

namespace {

TEST(Window, DestroyLeadsToQuit) {
  os::Window window("Corvane_MainWindow", "Corvane");
  std::thread poster([&] {
    window.Post({os::MessageKind::kCommand, 40004, 0});
    os::PostDestroy(window);
  });
  os::Message message;
  int commands = 0;
  while (window.Get(&message)) {
    if (message.kind == os::MessageKind::kCommand) ++commands;
    window.Dispatch(message);
  }
  poster.join();
  EXPECT_EQ(commands, 1);
  EXPECT_EQ(message.kind, os::MessageKind::kQuit);
  EXPECT_FALSE(window.Peek(&message));
}

class Answers : public ::testing::Test {
 protected:
  void Script(const std::string& lines) {
    path_ = ::testing::TempDir() + "answers-" + std::to_string(getpid()) + ".txt";
    std::FILE* f = std::fopen(path_.c_str(), "w");
    std::fputs(lines.c_str(), f);
    std::fclose(f);
    setenv("CORVANE_ANSWERS", path_.c_str(), 1);
    os::ResetAnswerScript();
  }
  void TearDown() override {
    unsetenv("CORVANE_ANSWERS");
    os::ResetAnswerScript();
    std::remove(path_.c_str());
  }
  static os::Answer Ask(const char* text, os::Buttons buttons = os::Buttons::kYesNo) {
    return os::MessageBox(nullptr, text, "Corvane", os::Icon::kQuestion, buttons);
  }
  std::string path_;
};

TEST_F(Answers, LinesAreTakenInOrderAndPrefixLinesWaitForTheirQuestion) {
  Script("Shut down=>Yes\nno\nOK\n");
  EXPECT_EQ(Ask("Update the display now?"), os::Answer::kNo);        // plain line 2
  EXPECT_EQ(Ask("Save?", os::Buttons::kOkCancel), os::Answer::kOk);  // plain line 3
  EXPECT_EQ(Ask("Shut down Corvane?"), os::Answer::kYes);            // the prefix line
  EXPECT_EQ(Ask("Anything else?"), os::Answer::kNo);                 // script used up
  EXPECT_EQ(Ask("More?", os::Buttons::kOkCancel), os::Answer::kCancel);
}

TEST_F(Answers, AnAnswerThatDoesNotFitTheButtonsGivesTheSafeDefault) {
  Script("Yes\n");
  EXPECT_EQ(Ask("Proceed?", os::Buttons::kOkCancel), os::Answer::kCancel);
}

TEST_F(Answers, MessageBoxesGoToTheTraceAndTakeNoLine) {
  Script("yes\n");
  os::TraceList trace;
  os::SetDesktopTrace(&trace);
  EXPECT_EQ(os::MessageBox(nullptr, "Reset complete, you may proceed.", "Corvane",
                           os::Icon::kInformation, os::Buttons::kOk),
            os::Answer::kOk);
  EXPECT_EQ(Ask("Proceed?"), os::Answer::kYes);
  os::SetDesktopTrace(nullptr);
  EXPECT_TRUE(trace.Contains("Reset complete, you may proceed."));
  EXPECT_TRUE(trace.Contains("answered Yes"));
}

TEST(Keys, NeverDownByDefaultThenFromEnvironmentOrHook) {
  unsetenv("CORVANE_KEYS_DOWN");
  EXPECT_FALSE(os::KeyDown(os::Key::kEsc));
  setenv("CORVANE_KEYS_DOWN", "Ctrl,ESC", 1);
  EXPECT_TRUE(os::KeyDown(os::Key::kEsc));
  EXPECT_TRUE(os::KeyDown(os::Key::kCtrl));
  EXPECT_FALSE(os::KeyDown(os::Key::kAlt));
  unsetenv("CORVANE_KEYS_DOWN");
  os::SetKeyStateHook([](os::Key key) { return key == os::Key::kAlt; });
  EXPECT_TRUE(os::KeyDown(os::Key::kAlt));
  EXPECT_FALSE(os::KeyDown(os::Key::kEsc));
  os::SetKeyStateHook(nullptr);
}

}  // namespace
