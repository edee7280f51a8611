// Test fixture: a program folder (htmdata from resources/, ledra.ini, the
// configuration and page-replica databases made by the ledra tool), the
// access layer and the web proxy installed, and corvex's platform thread and
// listener running on a kernel-chosen loopback port. Time-outs are short so
// that stalled peers cost about a second.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/database_operation.h"
#include "platform/operation_table.h"
#include "proxy/install.h"
#include "proxy/network.h"
#include "proxy/workspace.h"
#include "tests/engine/running_engine.h"

namespace fs = std::filesystem;

class ProxyEngine : public RunningEngine {
 protected:
  void SetUp() override {
    RunningEngine::SetUp();
    fs::create_directories(folder_ + "/data/Replicas.Web");
    fs::copy(std::string(CORVANE_SOURCE_DIR) + "/resources/htmdata", folder_ + "/htmdata",
             fs::copy_options::recursive);
    std::ofstream(folder_ + "/ledra.ini") << "Directory=data\n";
    setenv("CORVANE_LEDRA_INI", (folder_ + "/ledra.ini").c_str(), 1);
    MakeDatabase("kvconfig.ldf", "kvconfig.json");
    MakeDatabase("Replicas.Web/kvwebrs.ldf", "kvwebrs.json");
    shared_->networkUp = 1;
    proxy::Settings() = proxy::ProxySettings{};
    proxy::Settings().connect_timeout_ms = 2000;
    proxy::Settings().idle_timeout_ms = 1000;
    proxy::Settings().tunnel_idle_ms = 5000;
    proxy::ForgetWorkspaceView();
  }
  std::string FolderKind() const override { return "proxy"; }

  // Makes data/<name> from a shipped design (resources/designs).
  void MakeDatabase(const std::string& name, const std::string& design) {
    ASSERT_TRUE(LedraCreate(folder_ + "/data/" + name,
                            std::string(CORVANE_SOURCE_DIR) + "/resources/designs/" + design));
  }

  // Adds documents (JSON lines as `ledra load` reads them) to a database.
  void Load(const std::string& name, const std::string& lines) {
    std::string file = folder_ + "/wtemp/load.json";
    std::ofstream(file) << lines;
    ASSERT_TRUE(LedraLoad(folder_ + "/data/" + name, file));
    fs::remove(file);
  }

  void Start() {
    platform::InstallAccessLayer();
    proxy::InstallProxy();
    RunningEngine::Start();
  }

  void TearDown() override {
    RunningEngine::TearDown();
    platform::ResetDatabaseOperations();
    os::SetKeyStateHook(nullptr);
  }

  // A whole request through the proxy; the whole reply, read until the
  // proxy closes.
  std::string Send(const std::string& request) {
    std::string reply = ::Exchange(port_, request);
    EXPECT_NE(reply, "<no connection>");
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
};
