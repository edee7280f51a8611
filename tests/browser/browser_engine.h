// Test fixture: a program folder (htmdata from resources/, ledra.ini, a
// data directory with the test's databases made by the ledra tool), the
// access layer and the browser installed, and corvex's platform thread and
// listener running on a kernel-chosen loopback port.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "browser/view_command.h"
#include "engine/event_string.h"
#include "engine/hooks.h"
#include "engine/listener.h"
#include "engine/shared_context.h"
#include "engine/thread_handle.h"
#include "os/desktop.h"
#include "os/socket.h"
#include "platform/database_operation.h"
#include "platform/open_database.h"
#include "platform/operation_table.h"

namespace fs = std::filesystem;

class BrowserEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/corvane-browser-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    fs::create_directories(folder_ + "/wtemp");
    fs::create_directories(folder_ + "/data");
    fs::copy(std::string(CORVANE_SOURCE_DIR) + "/resources/htmdata", folder_ + "/htmdata",
             fs::copy_options::recursive);
    std::ofstream(folder_ + "/ledra.ini") << "[Ledra]\nDirectory=data\n";
    setenv("CORVANE_LEDRA_INI", (folder_ + "/ledra.ini").c_str(), 1);
    old_folder_ = fs::current_path();
    fs::current_path(folder_);
    browser::Page() = browser::PageState{};
  }

  // Makes data/<name> from a design source of tests/browser/data.
  void MakeDatabase(const std::string& name, const std::string& design) {
    std::string design_path = std::string(CORVANE_SOURCE_DIR) + "/tests/browser/data/" + design;
    MakeDatabaseFrom(name, design_path);
  }
  void MakeDatabaseFrom(const std::string& name, const std::string& design_path) {
    std::string command = std::string(CORVANE_BIN_DIR) + "/ledra create '" + folder_ + "/data/" +
                          name + "' --design '" + design_path + "' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }

  void Start() {
    shared_ = std::make_unique<engine::SharedContext>();
    shared_->programDir = folder_;
    shared_->programDirUrl = folder_;
    ui_ = engine::MakeThreadHandle("", nullptr);
    ui_->Attach(shared_.get());
    platform::InstallAccessLayer();
    ASSERT_TRUE(engine::StartWorker('f', 1, shared_.get(), ""));
    engine::SetUpListener(*ui_);
    ASSERT_EQ(shared_->stop, 0);
    port_ = shared_->localPort;
    ASSERT_TRUE(engine::StartWorker('a', 1, shared_.get(), ""));
  }

  void TearDown() override {
    if (shared_) {
      engine::SetStop(*shared_, engine::kStopRequested);
      bool ended = shared_->wake.WaitFor(10000, [&] { return engine::WorkersAlive(*shared_) == 0; });
      EXPECT_TRUE(ended);
      ui_.reset();
      if (ended)
        shared_.reset();
      else
        (void)shared_.release();
    }
    engine::Hooks() = engine::EngineHooks{};
    os::SetKeyStateHook(nullptr);
    fs::current_path(old_folder_);
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }

  // One request line through the socket, as the browser sends it from one
  // of our own pages; the whole reply with the program folder written "$DIR".
  std::string Get(const std::string& url) {
    return Send("GET " + url + " HTTP/1.0\r\nReferer: http://[kv]/\r\n\r\n");
  }

  std::string Send(const std::string& request) {
    os::Socket s = os::ConnectLoopback(port_);
    EXPECT_NE(s, os::kNoSocket);
    if (s == os::kNoSocket) return "<no connection>";
    EXPECT_TRUE(os::SendAll(s, request));
    std::string reply;
    (void)os::SetReceiveTimeout(s, 20000);
    char buffer[4096];
    long got;
    while ((got = os::Receive(s, buffer, sizeof buffer)) > 0) reply.append(buffer, got);
    os::Close(s);
    for (size_t at = reply.find(folder_); at != std::string::npos; at = reply.find(folder_, at))
      reply.replace(at, folder_.size(), "$DIR");
    return reply;
  }

  std::string folder_;
  fs::path old_folder_;
  std::unique_ptr<engine::SharedContext> shared_;
  std::unique_ptr<engine::ThreadHandle> ui_;
  uint16_t port_ = 0;
};
