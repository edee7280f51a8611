// Test fixture: a shared context in a temporary program folder (the test's
// working folder), optionally with the platform thread and the listener
// running on a kernel-chosen loopback port. The browser and proxy fixtures
// build on it with their page templates, databases and request handlers.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "engine/event_string.h"
#include "engine/hooks.h"
#include "engine/listener.h"
#include "engine/shared_context.h"
#include "engine/thread_handle.h"
#include "os/desktop.h"
#include "os/files.h"
#include "os/socket.h"
#include "os/sync.h"
#include "tests/common/loopback_exchange.h"
#include "tests/common/program_folder.h"

class RunningEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = MakeTempFolder(FolderKind());
    ASSERT_FALSE(folder_.empty());
    ASSERT_TRUE(os::CreateFolder(folder_ + "/wtemp"));
    ASSERT_TRUE(os::CreateFolder(folder_ + "/htmdata"));
    old_folder_ = os::WorkingFolder();
    ASSERT_EQ(chdir(folder_.c_str()), 0);
    shared_ = std::make_unique<engine::SharedContext>();
    shared_->programDir = folder_;
    shared_->programDirUrl = folder_;
    shared_->traceList = &trace_;
    shared_->trace = 1;
    ui_ = engine::MakeThreadHandle("", nullptr);
    ui_->Attach(shared_.get());
    os::SetDesktopTrace(&trace_);
    unsetenv("CORVANE_ANSWERS");
    os::ResetAnswerScript();
  }

  // Answers the desktop's questions from these lines ("Yes", "No",
  // "dialog: ...", "file: ...", each ending in a line end).
  void Answers(const std::string& lines) {
    std::string file = folder_ + "/answers";
    std::ofstream(file) << lines;
    setenv("CORVANE_ANSWERS", file.c_str(), 1);
    os::ResetAnswerScript();
  }

  // The word in the temporary folder's name, which tells whose it is.
  virtual std::string FolderKind() const { return "engine"; }

  // Starts the platform thread and the listener, which starts the rest.
  void Start() {
    ASSERT_TRUE(engine::StartWorker('f', 1, shared_.get(), ""));
    engine::SetUpListener(*ui_);
    ASSERT_EQ(shared_->stop, 0);
    port_ = shared_->localPort;
    ASSERT_TRUE(engine::StartWorker('a', 1, shared_.get(), ""));
  }

  // Stops every loop; true when every worker ended.
  bool StopAndWait() {
    engine::SetStop(*shared_, engine::kStopRequested);
    return shared_->wake.WaitFor(10000, [&] { return engine::WorkersAlive(*shared_) == 0; });
  }

  void TearDown() override {
    if (!shared_) return;
    bool ended = StopAndWait();
    os::SetDesktopTrace(nullptr);
    unsetenv("CORVANE_ANSWERS");
    os::ResetAnswerScript();
    engine::Hooks() = engine::EngineHooks{};
    ui_.reset();
    if (ended)
      shared_.reset();
    else
      (void)shared_.release();  // a worker still reads it
    EXPECT_TRUE(ended) << "a worker did not end after stop";
    (void)chdir(old_folder_.c_str());
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

  // Sends the pieces (pausing between them), then reads the reply until the
  // engine closes the connection.
  std::string Exchange(const std::vector<std::string>& pieces, int pause_ms = 0) {
    os::Socket s = os::ConnectLoopback(port_);
    EXPECT_NE(s, os::kNoSocket);
    if (s == os::kNoSocket) return "<no connection>";
    for (size_t i = 0; i < pieces.size(); ++i) {
      if (i > 0 && pause_ms > 0) os::SleepMs(pause_ms);
      EXPECT_TRUE(os::SendAll(s, pieces[i]));
    }
    std::string reply = ReadToEnd(s);
    os::Close(s);
    return reply;
  }

  std::string folder_;
  std::string old_folder_;
  os::TraceList trace_;
  std::unique_ptr<engine::SharedContext> shared_;
  std::unique_ptr<engine::ThreadHandle> ui_;
  uint16_t port_ = 0;
};
