// Test fixture: a program folder (htmdata from resources/, ledra.ini, the
// configuration and page-replica databases made by the ledra tool), the
// access layer and the web proxy installed, and corvex's platform thread and
// listener running on a kernel-chosen loopback port. Time-outs are short so
// that stalled peers cost about a second.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "engine/event_string.h"
#include "engine/hooks.h"
#include "engine/listener.h"
#include "engine/shared_context.h"
#include "engine/thread_handle.h"
#include "os/desktop.h"
#include "os/socket.h"
#include "platform/database_operation.h"
#include "platform/operation_table.h"
#include "proxy/install.h"
#include "proxy/network.h"
#include "proxy/workspace.h"

namespace fs = std::filesystem;

class ProxyEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/corvane-proxy-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    fs::create_directories(folder_ + "/wtemp");
    fs::create_directories(folder_ + "/data/Replicas.Web");
    fs::copy(std::string(CORVANE_SOURCE_DIR) + "/resources/htmdata", folder_ + "/htmdata",
             fs::copy_options::recursive);
    std::ofstream(folder_ + "/ledra.ini") << "Directory=data\n";
    setenv("CORVANE_LEDRA_INI", (folder_ + "/ledra.ini").c_str(), 1);
    unsetenv("CORVANE_ANSWERS");
    os::ResetAnswerScript();
    old_folder_ = fs::current_path();
    fs::current_path(folder_);
    MakeDatabase("kvconfig.ldf", "kvconfig.json");
    MakeDatabase("Replicas.Web/kvwebrs.ldf", "kvwebrs.json");
    shared_ = std::make_unique<engine::SharedContext>();
    shared_->programDir = folder_;
    shared_->programDirUrl = folder_;
    shared_->traceList = &trace_;
    shared_->trace = 1;
    shared_->networkUp = 1;
    os::SetDesktopTrace(&trace_);
    proxy::Settings() = proxy::ProxySettings{};
    proxy::Settings().connect_timeout_ms = 2000;
    proxy::Settings().idle_timeout_ms = 1000;
    proxy::Settings().tunnel_idle_ms = 5000;
    proxy::ForgetWorkspaceView();
  }

  void MakeDatabase(const std::string& name, const std::string& design) {
    std::string command = std::string(CORVANE_BIN_DIR) + "/ledra create '" + folder_ + "/data/" +
                          name + "' --design '" + CORVANE_SOURCE_DIR + "/resources/designs/" +
                          design + "' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }

  // Adds documents (JSON lines as `ledra load` reads them) to a database.
  void Load(const std::string& name, const std::string& lines) {
    std::string file = folder_ + "/wtemp/load.json";
    std::ofstream(file) << lines;
    std::string command = std::string(CORVANE_BIN_DIR) + "/ledra load '" + folder_ + "/data/" +
                          name + "' '" + file + "' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    fs::remove(file);
  }

  // Answers the desktop's questions from these lines.
  void Answers(const std::string& lines) {
    std::string file = folder_ + "/answers";
    std::ofstream(file) << lines;
    setenv("CORVANE_ANSWERS", file.c_str(), 1);
    os::ResetAnswerScript();
  }

  void Start() {
    ui_ = engine::MakeThreadHandle("", nullptr);
    ui_->Attach(shared_.get());
    platform::InstallAccessLayer();
    proxy::InstallProxy();
    ASSERT_TRUE(engine::StartWorker('f', 1, shared_.get(), ""));
    engine::SetUpListener(*ui_);
    ASSERT_EQ(shared_->stop, 0);
    port_ = shared_->localPort;
    ASSERT_TRUE(engine::StartWorker('a', 1, shared_.get(), ""));
  }

  void TearDown() override {
    if (ui_) {
      engine::SetStop(*shared_, engine::kStopRequested);
      bool ended = shared_->wake.WaitFor(10000, [&] { return engine::WorkersAlive(*shared_) == 0; });
      EXPECT_TRUE(ended);
      ui_.reset();
      if (!ended) (void)shared_.release();
    }
    shared_.reset();
    os::SetDesktopTrace(nullptr);
    engine::Hooks() = engine::EngineHooks{};
    platform::ResetDatabaseOperations();
    os::SetKeyStateHook(nullptr);
    unsetenv("CORVANE_ANSWERS");
    os::ResetAnswerScript();
    fs::current_path(old_folder_);
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }

  // A whole request through the proxy; the whole reply, read until the
  // proxy closes.
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
    return reply;
  }

  // A GET as a current browser sends it to its proxy.
  std::string Get(const std::string& url, const std::string& headers = "") {
    return Send("GET " + url + " HTTP/1.1\r\nHost: x\r\nUser-Agent: test\r\n" +
                "Proxy-Connection: keep-alive\r\n" + headers + "\r\n");
  }

  static std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
  }

  std::string folder_;
  fs::path old_folder_;
  os::TraceList trace_;
  std::unique_ptr<engine::SharedContext> shared_;
  std::unique_ptr<engine::ThreadHandle> ui_;
  uint16_t port_ = 0;
};
