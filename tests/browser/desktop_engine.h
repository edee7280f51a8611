// Test fixture for the pages that ask on the desktop: the browser engine
// with the shipped configuration database, a second server "Acme/East"
// (its own data directory), the desktop's message boxes collected in a
// trace list, and questions, dialogs and file choosers answered from an
// answer script the test writes.
#pragma once

#include <stdlib.h>

#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "os/desktop.h"
#include "platform/database_operation.h"
#include "tests/browser/browser_engine.h"
#include "tests/browser/golden.h"

class DesktopEngine : public BrowserEngine {
 protected:
  void SetUp() override {
    BrowserEngine::SetUp();
    fs::create_directories(folder_ + "/remote");
    std::ofstream(folder_ + "/ledra.ini") << "[Ledra]\nDirectory=data\nServer.Acme/East=remote\n";
    MakeDatabaseFrom("kvconfig.ldf",
                     std::string(CORVANE_SOURCE_DIR) + "/resources/designs/kvconfig.json");
    os::SetDesktopTrace(&trace_);
    Answer({});
  }

  void TearDown() override {
    BrowserEngine::TearDown();
    os::SetDesktopTrace(nullptr);
    unsetenv("CORVANE_ANSWERS");
    os::ResetAnswerScript();
  }

  // The answer script: one line each ("Yes", "No", "dialog: ...", "file: ...").
  void Answer(const std::vector<std::string>& lines) {
    std::string path = folder_ + "/answers.txt";
    std::ofstream out(path);
    for (const std::string& line : lines) out << line << "\n";
    out.close();
    setenv("CORVANE_ANSWERS", path.c_str(), 1);
    os::ResetAnswerScript();
  }

  // Makes a database of the second server (remote/<name>).
  void MakeRemoteDatabase(const std::string& name, const std::string& design_path) {
    std::string command = std::string(CORVANE_BIN_DIR) + "/ledra create '" + folder_ + "/remote/" +
                          name + "' --design '" + design_path + "' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }

  std::string DataDesign(const std::string& name) {
    return std::string(CORVANE_SOURCE_DIR) + "/tests/browser/data/" + name;
  }

  // Runs fn on the platform thread (the cache is the platform thread's).
  void OnPlatform(const std::function<void(engine::ThreadHandle&)>& fn) {
    (void)platform::RunOnPlatformThread(*ui_, [&](engine::ThreadHandle& thread) {
      fn(thread);
      return 0;
    });
  }

  // The message boxes shown since the last call, each as "[title] (icon) text".
  std::vector<std::string> Shown() {
    std::vector<std::string> lines = trace_.Lines();
    std::vector<std::string> boxes;
    for (const std::string& line : lines)
      if (!line.empty() && line[0] == '[') boxes.push_back(line);
    std::vector<std::string> fresh(boxes.begin() + static_cast<long>(seen_), boxes.end());
    seen_ = boxes.size();
    return fresh;
  }

  void Check(const std::string& step, const std::string& reply) {
    std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    ExpectGolden(test + "_" + step, reply);
  }

  os::TraceList trace_;
  size_t seen_ = 0;
};
