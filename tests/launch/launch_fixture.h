// Test fixture of the browser layer: a registry file, a home folder and a
// PATH of their own in a temporary folder, and the proxy variables cleared,
// so that nothing of the machine's user leaks in.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "launch/registry_values.h"
#include "os/desktop.h"
#include "os/files.h"

class LaunchFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/corvane-launch-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    for (const char* name : {"HOME", "PATH", "CORVANE_ANSWERS", "CORVANE_BROWSER_NAMES",
                             "CORVANE_BROWSER_ARGS"}) {
      const char* value = getenv(name);
      saved_.push_back({name, value != nullptr ? value : "", value != nullptr});
    }
    setenv("CORVANE_REGISTRY", (folder_ + "/registry").c_str(), 1);
    home_ = folder_ + "/home";
    ASSERT_TRUE(os::CreateFolder(home_));
    setenv("HOME", home_.c_str(), 1);
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "no_proxy",
                             "NO_PROXY", "CORVANE_ANSWERS", "CORVANE_BROWSER_ARGS"})
      unsetenv(name);
    // Only the stand-in browsers of the test count as running browsers.
    setenv("CORVANE_BROWSER_NAMES", "", 1);
    os::ResetAnswerScript();
  }

  void TearDown() override {
    for (const Saved& s : saved_) {
      if (s.present)
        setenv(s.name.c_str(), s.value.c_str(), 1);
      else
        unsetenv(s.name.c_str());
    }
    unsetenv("CORVANE_REGISTRY");
    os::ResetAnswerScript();
    std::string command = "rm -rf '" + folder_ + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }

  static void WriteFile(const std::string& path, const std::string& text, bool executable = false) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    if (executable) chmod(path.c_str(), 0755);
  }
  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }
  void Answers(const std::string& lines) {
    WriteFile(folder_ + "/answers", lines);
    setenv("CORVANE_ANSWERS", (folder_ + "/answers").c_str(), 1);
    os::ResetAnswerScript();
  }

  // Registry short forms on HKCU.
  static void PutText(const char* key, const char* name, const std::string& text) {
    launch::WriteText(launch::CreateKey(launch::Hkcu(), key), name, text);
  }
  static void PutNumber(const char* key, const char* name, uint32_t number) {
    launch::WriteNumber(launch::CreateKey(launch::Hkcu(), key), name, number);
  }
  static std::string Text(const char* key, const char* name) {
    launch::RegKey k;
    std::string text = "<absent>";
    if (launch::OpenKey(launch::Hkcu(), key, &k)) (void)launch::ReadText(k, name, &text);
    return text;
  }
  static int64_t Number(const char* key, const char* name) {
    launch::RegKey k;
    uint32_t number = 0;
    if (!launch::OpenKey(launch::Hkcu(), key, &k) || !launch::ReadNumber(k, name, &number)) return -1;
    return number;
  }

  struct Saved {
    std::string name, value;
    bool present;
  };
  std::vector<Saved> saved_;
  std::string folder_, home_;
};
