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
    Answer({});
  }

  // The answer script: one line each ("Yes", "No", "dialog: ...", "file: ...").
  void Answer(const std::vector<std::string>& lines) {
    std::string script;
    for (const std::string& line : lines) script += line + "\n";
    Answers(script);
  }

  // Makes a database of the second server (remote/<name>).
  void MakeRemoteDatabase(const std::string& name, const std::string& design_path) {
    ASSERT_TRUE(LedraCreate(folder_ + "/remote/" + name, design_path));
  }

  std::string DataDesign(const std::string& name) {
    return std::string(CORVANE_SOURCE_DIR) + "/tests/browser/data/" + name;
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

  size_t seen_ = 0;
};
