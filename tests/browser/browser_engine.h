// Test fixture: a program folder (htmdata from resources/, ledra.ini, a
// data directory with the test's databases made by the ledra tool), the
// access layer and the browser installed, and corvex's platform thread and
// listener running on a kernel-chosen loopback port.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "browser/view_command.h"
#include "platform/database_operation.h"
#include "platform/open_database.h"
#include "platform/operation_table.h"
#include "tests/engine/running_engine.h"

namespace fs = std::filesystem;

class BrowserEngine : public RunningEngine {
 protected:
  void SetUp() override {
    RunningEngine::SetUp();
    fs::create_directories(folder_ + "/data");
    fs::copy(std::string(CORVANE_SOURCE_DIR) + "/resources/htmdata", folder_ + "/htmdata",
             fs::copy_options::recursive);
    std::ofstream(folder_ + "/ledra.ini") << "[Ledra]\nDirectory=data\n";
    setenv("CORVANE_LEDRA_INI", (folder_ + "/ledra.ini").c_str(), 1);
    browser::Page() = browser::PageState{};
    // The trace list holds what the desktop showed and nothing of the
    // engine's own tracing, which the tests that read it do not expect.
    shared_->trace = 0;
  }
  std::string FolderKind() const override { return "browser"; }

  // Makes data/<name> from a design source of tests/browser/data.
  void MakeDatabase(const std::string& name, const std::string& design) {
    MakeDatabaseFrom(name, std::string(CORVANE_SOURCE_DIR) + "/tests/browser/data/" + design);
  }
  void MakeDatabaseFrom(const std::string& name, const std::string& design_path) {
    ASSERT_TRUE(LedraCreate(folder_ + "/data/" + name, design_path));
  }

  void Start() {
    platform::InstallAccessLayer();
    RunningEngine::Start();
  }

  // Runs fn on the platform thread (the open-database cache is the
  // platform thread's).
  void OnPlatform(const std::function<void(engine::ThreadHandle&)>& fn) {
    (void)platform::RunOnPlatformThread(*ui_, [&](engine::ThreadHandle& thread) {
      fn(thread);
      return 0;
    });
  }

  void TearDown() override {
    RunningEngine::TearDown();
    os::SetKeyStateHook(nullptr);
  }

  // One request line through the socket, as the browser sends it from one
  // of our own pages; the whole reply with the program folder written "$DIR".
  std::string Get(const std::string& url) {
    return Send("GET " + url + " HTTP/1.0\r\nReferer: http://[kv]/\r\n\r\n");
  }

  std::string Send(const std::string& request) {
    std::string reply = ::Exchange(port_, request);
    EXPECT_NE(reply, "<no connection>");
    for (size_t at = reply.find(folder_); at != std::string::npos; at = reply.find(folder_, at))
      reply.replace(at, folder_.size(), "$DIR");
    return reply;
  }
};
