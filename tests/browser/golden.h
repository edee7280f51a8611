// Whole replies compared with golden files under tests/browser/golden/.
// With CORVANE_UPDATE_GOLDEN=1 a missing or different golden file is
// written instead (then read it before committing it).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

inline std::string GoldenPath(const std::string& name) {
  return std::string(CORVANE_SOURCE_DIR) + "/tests/browser/golden/" + name + ".txt";
}

inline void ExpectGolden(const std::string& name, const std::string& reply) {
  std::string path = GoldenPath(name);
  std::ifstream in(path, std::ios::binary);
  std::stringstream expected;
  if (in) expected << in.rdbuf();
  if (in && expected.str() == reply) return;
  const char* update = std::getenv("CORVANE_UPDATE_GOLDEN");
  if (update != nullptr && std::string(update) == "1") {
    std::ofstream(path, std::ios::binary) << reply;
    return;
  }
  ADD_FAILURE() << "reply differs from " << path << "\n---- got:\n" << reply;
}
