// Test fixture: a temporary "Local" data directory with ledra.ini, databases
// made with the ledra tool from design sources, and a shared context whose
// handle the test thread uses as the platform thread.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

#include "engine/shared_context.h"
#include "engine/thread_handle.h"
#include "ledra/vxapi.h"
#include "os/desktop.h"
#include "os/files.h"
#include "os/process.h"
#include "platform/open_database.h"

class AccessLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/corvane-access-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    ASSERT_TRUE(os::CreateFolder(folder_ + "/data"));
    Write(folder_ + "/ledra.ini", "Directory=data\nServer.Other=other\n");
    ASSERT_TRUE(os::CreateFolder(folder_ + "/other"));
    setenv("CORVANE_LEDRA_INI", (folder_ + "/ledra.ini").c_str(), 1);
    shared_ = std::make_unique<engine::SharedContext>();
    shared_->programDir = folder_;
    thread_ = engine::MakeThreadHandle("f1", shared_.get());
    os::SetDesktopTrace(&trace_);
  }
  void TearDown() override {
    platform::CloseAllDatabases(*thread_);
    VXTerm(0);
    os::SetDesktopTrace(nullptr);
    thread_.reset();
    shared_.reset();
    unsetenv("CORVANE_LEDRA_INI");
    std::string command = "rm -rf '" + folder_ + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }

  static void Write(const std::string& path, const std::string& text) {
    std::ofstream out(path);
    out << text;
  }
  // Makes data/<path> from a design source given as JSON text.
  void Create(const std::string& path, const std::string& design = "{\"title\": \"T\"}") {
    std::string source = folder_ + "/design.json";
    Write(source, design);
    std::string target = folder_ + "/data/" + path;
    std::string parent = target.substr(0, target.rfind('/'));
    ASSERT_EQ(std::system(("mkdir -p '" + parent + "'").c_str()), 0);
    int code = -1;
    ASSERT_EQ(os::ProcessRun(CORVANE_BIN_DIR "/ledra", {"create", target, "--design", source},
                             30000, &code),
              os::ProcessStatus::kOk);
    ASSERT_EQ(code, 0) << path;
  }
  platform::OpenDatabase* Open(const std::string& server, const std::string& path) {
    return platform::OpenDatabaseRecord(*thread_, server, path);
  }

  std::string folder_;
  os::TraceList trace_;
  std::unique_ptr<engine::SharedContext> shared_;
  std::unique_ptr<engine::ThreadHandle> thread_;
};
