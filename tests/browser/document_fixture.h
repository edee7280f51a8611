// Test fixture for the document pages: the engine of browser_engine.h with
// the test database "documents.ldf" (and the mail box), plus helpers that
// read stored documents through the ledra tool and post forms.
#pragma once

#include <cstdio>
#include <functional>
#include <regex>
#include <string>

#include "browser/rich_text_images.h"
#include "platform/database_operation.h"
#include "tests/browser/browser_engine.h"
#include "tests/browser/golden.h"

class DocumentEngine : public BrowserEngine {
 protected:
  static constexpr const char* kDb = "http://[kv]/Local:/documents.ldf:/";

  void SetUp() override {
    BrowserEngine::SetUp();
    MakeDatabase("documents.ldf", "documents.json");
    MakeDatabaseFrom("mail.box",
                     std::string(CORVANE_SOURCE_DIR) + "/resources/designs/mail_box.json");
    Start();
  }

  // The output of a command of the ledra tool.
  std::string Tool(const std::string& arguments) {
    std::string command = std::string(CORVANE_BIN_DIR) + "/ledra " + arguments + " 2>&1";
    std::string text;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
      char buffer[4096];
      size_t got;
      while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, got);
      pclose(pipe);
    }
    return text;
  }

  // Every document of a database as `ledra dump` writes it, without the
  // fields a save changes (modification times).
  std::string Dump(const std::string& database = "documents.ldf") {
    // Under the sanitizers a fork can fail for a moment on a loaded
    // machine: an empty dump is taken again.
    std::string text;
    for (int attempt = 0; attempt < 5 && text.empty(); ++attempt) {
      if (attempt > 0) usleep(500000);
      text = Tool("dump '" + folder_ + "/data/" + database + "'");
    }
    text = std::regex_replace(text, std::regex("\"modified\":\\{[^}]*\\},?"), "");
    text = std::regex_replace(text, std::regex("\"modified\":\"[^\"]*\",?"), "");
    return text;
  }

  // A POST of a form body; the whole reply. A large body takes long under
  // the sanitizers, so the reply is awaited for two minutes.
  std::string Post(const std::string& url, const std::string& body) {
    std::string request = "POST " + url +
                          " HTTP/1.0\r\nContent-Type: application/x-www-form-urlencoded\r\n" +
                          "Content-length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    std::string reply = ::Exchange(port_, request, 120000);
    EXPECT_NE(reply, "<no connection>");
    return reply;
  }

  void Check(const std::string& step, const std::string& url) {
    std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    ExpectGolden("Documents_" + test + "_" + step, Get(url));
  }
};
