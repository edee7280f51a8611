// Test fixture of the job task: a program folder made by the install step
// (the test's working folder), the platform initialised on it, test
// origins (tests/jobs/origin.py) serving sites on loopback, Schedule
// documents, runs of the corvjobs program, and the stored elements read
// back.
#pragma once

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/page_replica_format.h"
#include "jobs/documents.h"
#include "ledra/vxapi.h"
#include "os/files.h"
#include "os/process.h"
#include "os/sync.h"
#include "tests/common/program_folder.h"

struct Origin {
  int pid = 0;
  int port = 0;
  std::string log;
  std::string root;
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port) + path;
  }
  std::string Host() const { return "127.0.0.1:" + std::to_string(port); }
};

// One request the origin saw.
struct Seen {
  std::string method, path, line;
  int status = 0;
};

struct StoredElement {
  bool found = false;
  std::map<std::string, std::string> items;
  std::string content;  // content.dat, "" when none
  bool has_content = false;
  std::string operator[](const std::string& item) const {
    auto it = items.find(item);
    return it == items.end() ? "" : it->second;
  }
};

class JobTest : public ::testing::Test {
 public:
  // Writes a file of the site served by the origins (below folder/site).
  void WriteSite(const std::string& path, const std::string& text) {
    std::string file = folder_ + "/site" + path;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());
    std::ofstream(file, std::ios::binary) << text;
  }

 protected:
  void SetUp() override {
    folder_ = MakeTempFolder("jobs");
    ASSERT_FALSE(folder_.empty());
    prog_ = folder_ + "/prog";
    ASSERT_TRUE(InstallProgramFolder(prog_));
    old_folder_ = os::WorkingFolder();
    ASSERT_EQ(chdir(prog_.c_str()), 0);
    setenv("CORVANE_LEDRA_INI", (prog_ + "/ledra.ini").c_str(), 1);
    setenv("CORVANE_JOB_WAIT_MS", "10", 1);
    setenv("CORVANE_FETCH_TIMEOUT_MS", "4000", 1);
    unsetenv("CORVANE_JOB_MINUTE_MS");
    unsetenv("TMP");
    ASSERT_EQ(_VXInit(0x45004, nullptr, nullptr, nullptr), kVXOk);
    ASSERT_EQ(VXDatabaseOpen("Local", "kvconfig.ldf", 0, &config_), kVXOk);
  }

  void TearDown() override {
    for (const Origin& origin : origins_) kill(origin.pid, SIGKILL);
    if (config_ != 0) VXDatabaseClose(config_, 0);
    VXTerm(0);
    (void)chdir(old_folder_.c_str());
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

  // Starts an origin on the site with the special routes (a JSON object).
  Origin StartOrigin(const std::string& routes = "{}") {
    Origin origin;
    std::string name = folder_ + "/origin" + std::to_string(origins_.size());
    std::filesystem::create_directories(folder_ + "/site");
    std::ofstream(name + ".routes") << routes;
    origin.log = name + ".log";
    origin.root = folder_ + "/site";
    std::ofstream(origin.log).close();
    EXPECT_EQ(os::ProcessStart(
                  "python3",
                  {CORVANE_SOURCE_DIR "/tests/jobs/origin.py", "--root", origin.root, "--routes",
                   name + ".routes", "--log", origin.log, "--port-file", name + ".port"},
                  &origin.pid),
              os::ProcessStatus::kOk);
    for (int i = 0; i < 1200 && !os::FileExists(name + ".port"); ++i) os::SleepMs(25);
    std::ifstream(name + ".port") >> origin.port;
    EXPECT_GT(origin.port, 0);
    origins_.push_back(origin);
    return origin;
  }

  // The requests an origin saw, in order.
  static std::vector<Seen> Requests(const Origin& origin) {
    std::vector<Seen> seen;
    std::ifstream log(origin.log);
    std::string line;
    while (std::getline(log, line)) {
      Seen s;
      s.line = line;
      s.method = Field(line, "method");
      s.path = Field(line, "path");
      s.status = std::atoi(NumberField(line, "status").c_str());
      seen.push_back(s);
    }
    return seen;
  }
  static std::vector<std::string> Paths(const Origin& origin) {
    std::vector<std::string> paths;
    for (const Seen& s : Requests(origin)) paths.push_back(s.path);
    return paths;
  }

  // A Schedule document with the form's defaults and these items.
  VXNoteId AddSchedule(const std::map<std::string, std::string>& items) {
    VXHandle doc = 0;
    EXPECT_EQ(VXDocumentCreate(config_, "Schedule", &doc), kVXOk);
    for (const auto& [name, value] : items)
      EXPECT_EQ(jobs::PutTextItem(doc, name.c_str(), value), kVXOk);
    EXPECT_EQ(VXDocumentSave(doc, 0), kVXOk);
    VXNoteId id = 0;
    EXPECT_EQ(VXDocumentGetProperty(doc, kDocPropNoteId, &id, sizeof id), kVXOk);
    VXDocumentClose(doc, 0);
    return id;
  }

  // Runs corvjobs in the program folder with the argument; its exit code.
  int RunJobs(const std::string& argument) {
    int code = -1;
    EXPECT_EQ(os::ProcessRun(prog_ + "/corvjobs", {argument}, 120000, &code),
              os::ProcessStatus::kOk);
    return code;
  }

  std::string JobLog() const { return ReadFile(prog_ + "/corvjobs.log"); }
  std::string StatusFile() const { return ReadFile(prog_ + "/htmdata/wbstatus.dat"); }

  // The stored element of a key, read from the page-replica database.
  StoredElement Element(const std::string& key,
                        const std::string& path = common::kPageReplicaPath) {
    StoredElement element;
    VXHandle db = 0, index = 0;
    if (VXDatabaseOpen("Local", path.c_str(), 0, &db) != kVXOk) return element;
    VXNoteId view = VXViewLocateByName(db, common::kKeyView);
    VXKey search;
    std::snprintf(search.text, sizeof search.text, "%s", key.c_str());
    uint32_t count = 0;
    VXNoteId id = 0;
    if (view != 0 && VXIndexOpen(db, &index) == kVXOk &&
        VXIndexOpenView(index, 0, view, 0) == kVXOk &&
        VXIndexKeySearch(index, &search, 1, 0, &count) == kVXOk && count > 0 &&
        VXIndexNavigate(index, kVXNavCurrent, 0, &id, nullptr) == kVXOk) {
      VXHandle doc = 0;
      if (VXDocumentOpen(db, id, 0, &doc) == kVXOk) {
        element.found = true;
        char name[256];
        uint16_t type = 0;
        for (uint32_t code = kVXListFirst; VXItemList(doc, code, name, sizeof name, &type) == kVXOk;
             code = kVXListNext) {
          element.items[name] = jobs::TextItem(doc, name);
        }
        std::string file = folder_ + "/extracted";
        if (VXAttachmentExtract(doc, common::kStoredResponse, file.c_str(), 0) == kVXOk) {
          element.has_content = true;
          element.content = ReadFile(file);
        }
        VXDocumentClose(doc, kVXCloseDiscard);
      }
    }
    if (index != 0) VXIndexClose(index);
    VXDatabaseClose(db, 0);
    return element;
  }

  // Number of element documents in the page-replica database.
  int ElementCount() {
    VXHandle db = 0;
    if (VXDatabaseOpen("Local", common::kPageReplicaPath, 0, &db) != kVXOk) return -1;
    std::vector<VXNoteId> ids;
    (void)jobs::SelectDocuments(db, "Select Form=\"Web Element Replica\"", &ids);
    VXDatabaseClose(db, 0);
    return static_cast<int>(ids.size());
  }

  // Whether `ledra check` finds the database sound.
  bool DatabaseSound(const std::string& path = "data/" + std::string(common::kPageReplicaPath)) {
    int code = -1;
    return os::ProcessRun(prog_ + "/ledra", {"check", path}, 120000, &code) ==
               os::ProcessStatus::kOk &&
           code == 0;
  }

  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  static std::string Field(const std::string& line, const std::string& name) {
    std::string tag = "\"" + name + "\": \"";
    size_t at = line.find(tag);
    if (at == std::string::npos) return "";
    size_t end = line.find('"', at + tag.size());
    return line.substr(at + tag.size(), end - at - tag.size());
  }
  static std::string NumberField(const std::string& line, const std::string& name) {
    std::string tag = "\"" + name + "\": ";
    size_t at = line.find(tag);
    if (at == std::string::npos) return "";
    return line.substr(at + tag.size(), line.find_first_of(",}", at) - at - tag.size());
  }

  std::string folder_, prog_, old_folder_;
  VXHandle config_ = 0;
  std::vector<Origin> origins_;
};
