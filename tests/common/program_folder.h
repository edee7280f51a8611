// Test helpers for the folders a test works in: a fresh temporary folder,
// a program folder made by the install step (scripts/install, which the
// tests run as a user does), and databases made by the ledra tool.
#pragma once

#include <stdlib.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "os/process.h"

// A new empty folder /tmp/corvane-<what>-XXXXXX; empty when none can be made.
inline std::string MakeTempFolder(const std::string& what) {
  std::string pattern = "/tmp/corvane-" + what + "-XXXXXX";
  return mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

// Runs `program` with `arguments`; success when it exits 0 within two minutes.
inline ::testing::AssertionResult RunsCleanly(const std::string& program,
                                              const std::vector<std::string>& arguments) {
  int code = -1;
  os::ProcessStatus status = os::ProcessRun(program, arguments, 120000, &code);
  if (status != os::ProcessStatus::kOk)
    return ::testing::AssertionFailure() << program << " did not run to its end";
  if (code != 0) return ::testing::AssertionFailure() << program << " exited " << code;
  return ::testing::AssertionSuccess();
}

// Installs a program folder at `prog` from this build's programs.
inline ::testing::AssertionResult InstallProgramFolder(const std::string& prog) {
  setenv("CORVANE_BIN_DIR", CORVANE_BIN_DIR, 1);
  return RunsCleanly(CORVANE_SOURCE_DIR "/scripts/install", {prog});
}

// Makes the database `path` from the design source `design` with this
// build's ledra tool.
inline ::testing::AssertionResult LedraCreate(const std::string& path, const std::string& design) {
  return RunsCleanly(CORVANE_BIN_DIR "/ledra", {"create", path, "--design", design});
}

// Adds the documents of `json_lines` (as `ledra load` reads them) to `path`.
inline ::testing::AssertionResult LedraLoad(const std::string& path,
                                            const std::string& json_lines) {
  return RunsCleanly(CORVANE_BIN_DIR "/ledra", {"load", path, json_lines});
}
