// Test fixture for the platform stand-in: a temporary folder with its own
// ledra.ini (data directory "data", a second server "Hub/Sales"), the
// platform initialised on it, and small helpers.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "ledra/vxapi.h"

class LedraTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/ledra_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    std::ofstream(dir_ + "/ledra.ini") << "[Ledra]\nDirectory=data\nServer.Hub/Sales=hub\n";
    std::filesystem::create_directories(dir_ + "/hub");
    setenv("CORVANE_LEDRA_INI", (dir_ + "/ledra.ini").c_str(), 1);
    ASSERT_EQ(_VXInit(0x45004, nullptr, nullptr, nullptr), kVXOk);
  }
  void TearDown() override {
    VXTerm(0);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  // Creates Local!!path (title) and opens it.
  VXHandle Make(const std::string& path, const std::string& title = "Test") {
    EXPECT_EQ(VXDatabaseCreate("Local", path.c_str(), title.c_str()), kVXOk) << Message();
    VXHandle db = 0;
    EXPECT_EQ(VXDatabaseOpen("Local", path.c_str(), 0, &db), kVXOk) << Message();
    return db;
  }

  // A saved document with one text item; returns its note id.
  VXNoteId SaveText(VXHandle db, const std::string& item, const std::string& value) {
    VXHandle doc = 0;
    EXPECT_EQ(VXDocumentCreate(db, "Memo", &doc), kVXOk);
    EXPECT_EQ(VXItemPut(doc, item.c_str(), 0, 0, kVXTypeText, value.c_str(), 0), kVXOk);
    EXPECT_EQ(VXDocumentSave(doc, 0x10000), kVXOk) << Message();
    VXNoteId id = 0;
    EXPECT_EQ(VXDocumentGetProperty(doc, kDocPropNoteId, &id, sizeof id), kVXOk);
    EXPECT_EQ(VXDocumentClose(doc, 0), kVXOk);
    return id;
  }

  std::string ReadText(VXHandle doc, const std::string& item) {
    char buf[4096];
    uint32_t n = 0;
    if (VXItemFetch(doc, item.c_str(), kVXTypeText, buf, sizeof buf, &n) != kVXOk) return "<" + Message() + ">";
    return std::string(buf, n);
  }

  static std::string Message() {
    uint32_t code = 0, detail = 0;
    char text[kVXErrorTextSize];
    VXErrorFetch(&code, &detail, text);
    return text;
  }

  std::string data() const { return dir_ + "/data"; }
  std::string dir_;
};
