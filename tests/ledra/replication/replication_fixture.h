// Test fixture for replication: a temporary folder with its own ledra.ini
// naming three servers (Local in data/, Hub in hub/, Far in far/), the
// platform initialised on it, and helpers that write documents through the
// Vantix calls and read whole databases back through the store.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "ledra/design_source.h"
#include "ledra/note_store.h"
#include "ledra/objects.h"
#include "ledra/vxapi.h"

class ReplicationTest : public ::testing::Test {
 public:  // the helpers are used from table-driven lambdas too
  void SetUp() override {
    char pattern[] = "/tmp/ledra_repl_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    std::ofstream(dir_ + "/ledra.ini")
        << "[Ledra]\nDirectory=data\nServer.Hub=hub\nServer.Far=far\n";
    for (const char* folder : {"/data", "/hub", "/far"})
      std::filesystem::create_directories(dir_ + folder);
    setenv("CORVANE_LEDRA_INI", (dir_ + "/ledra.ini").c_str(), 1);
    ASSERT_EQ(_VXInit(0x45004, nullptr, nullptr, nullptr), kVXOk);
  }
  void TearDown() override {
    CloseAll();
    VXTerm(0);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  static std::string Message() {
    uint32_t code = 0, detail = 0;
    char text[kVXErrorTextSize];
    VXErrorFetch(&code, &detail, text);
    return text;
  }

  // A database handle kept open for the test (closed by CloseAll).
  VXHandle Db(const std::string& server, const std::string& path) {
    std::string key = server + "!!" + path;
    auto it = open_.find(key);
    if (it != open_.end()) return it->second;
    VXHandle db = 0;
    EXPECT_EQ(VXDatabaseOpen(server.c_str(), path.c_str(), 0, &db), kVXOk)
        << key << ": " << Message();
    open_[key] = db;
    return db;
  }
  void CloseAll() {
    for (auto& [key, handle] : open_) VXDatabaseClose(handle, 0);
    open_.clear();
  }

  void Create(const std::string& server, const std::string& path,
              const std::string& title = "Sales") {
    ASSERT_EQ(VXDatabaseCreate(server.c_str(), path.c_str(), title.c_str()), kVXOk) << Message();
  }
  // Makes the local replica Local!!local of server!!path.
  void CopyReplica(const std::string& server, const std::string& path, const std::string& local,
                   uint32_t encryption = 0) {
    ASSERT_EQ(VXDatabaseCopy(server.c_str(), path.c_str(), "Local", local.c_str(), 0,
                             encryption + 0x107, 2046, nullptr),
              kVXOk)
        << Message();
  }

  // Saves a new document with the items given (text); returns its UNID.
  VXUnid Add(const std::string& server, const std::string& path,
             const std::map<std::string, std::string>& items) {
    VXHandle doc = 0;
    EXPECT_EQ(VXDocumentCreate(Db(server, path), "Memo", &doc), kVXOk) << Message();
    for (const auto& [name, value] : items) {
      EXPECT_EQ(VXItemPut(doc, name.c_str(), 0, 0, kVXTypeText, value.c_str(), 0), kVXOk);
    }
    EXPECT_EQ(VXDocumentSave(doc, 0x10000), kVXOk) << Message();
    VXUnid unid;
    EXPECT_EQ(VXDocumentGetProperty(doc, kDocPropUnid, &unid, sizeof unid), kVXOk);
    EXPECT_EQ(VXDocumentClose(doc, 0), kVXOk);
    return unid;
  }
  VXUnid Add(const std::string& server, const std::string& path, const std::string& subject) {
    return Add(server, path, {{"Subject", subject}});
  }
  void Edit(const std::string& server, const std::string& path, const VXUnid& unid,
            const std::string& subject) {
    VXHandle db = Db(server, path);
    VXNoteId id = VXDocumentLocateByUnid(db, &unid);
    ASSERT_NE(id, 0u) << "no such document in " << server << "!!" << path;
    VXHandle doc = 0;
    ASSERT_EQ(VXDocumentOpen(db, id, 0, &doc), kVXOk) << Message();
    ASSERT_EQ(VXItemPut(doc, "Subject", 0, 0, kVXTypeText, subject.c_str(), 0), kVXOk);
    ASSERT_EQ(VXDocumentClose(doc, 0x10000), kVXOk) << Message();
  }
  void Remove(const std::string& server, const std::string& path, const VXUnid& unid) {
    VXHandle db = Db(server, path);
    VXNoteId id = VXDocumentLocateByUnid(db, &unid);
    ASSERT_NE(id, 0u);
    ASSERT_EQ(VXDocumentDelete(db, id, 0), kVXOk) << Message();
  }
  // Saves made one after another get times at least a hundredth apart,
  // so that "the later change" is well defined.
  static void Tick() { std::this_thread::sleep_for(std::chrono::milliseconds(25)); }

  VXReplicationStats Replicate(const std::string& local, const std::string& server = "Hub",
                               uint32_t options = 3) {
    VXReplicationStats stats;
    EXPECT_EQ(VXReplicateWithServer(server.c_str(), options, 0, 1, local.c_str(), &stats), kVXOk)
        << local << " with " << server << ": " << Message();
    return stats;
  }

  // The live documents of a database: UNID text -> "Subject" (a conflict
  // document's subject is prefixed "conflict:", a response's with "^").
  std::map<std::string, std::string> Contents(const std::string& server, const std::string& path) {
    std::map<std::string, std::string> out;
    std::unique_ptr<ledra::NoteStore> store;
    std::string file;
    EXPECT_EQ(ledra::ResolveDatabaseFile(server, path, &file, nullptr), kVXOk);
    EXPECT_EQ(ledra::NoteStore::Open(file, file, 5000, &store), kVXOk) << Message();
    if (!store) return out;
    for (VXNoteId id : store->NotesOfClass(kVXClassDocument)) {
      ledra::Note note;
      EXPECT_EQ(store->Load(id, &note), kVXOk);
      std::string value = ledra::TextItem(note, "Subject");
      if (note.FindItem("$Conflict") != nullptr) value = "conflict:" + value;
      if (note.has_parent) value = "^" + value;
      out[ledra::UnidText(note.unid)] = value;
    }
    return out;
  }
  int64_t Sequence(const std::string& server, const std::string& path) {
    int64_t seq = -1;
    EXPECT_EQ(VXDatabaseGetProperty(Db(server, path), kDbPropSequence, &seq, sizeof seq), kVXOk);
    return seq;
  }
  std::string File(const std::string& folder, const std::string& path) {
    return dir_ + "/" + folder + "/" + path;
  }

  std::string dir_;
  std::map<std::string, VXHandle> open_;
};

inline std::string Stats(const VXReplicationStats& s) {
  return "received " + std::to_string(s.received_additions) + "/" +
         std::to_string(s.received_deletions) + "/" + std::to_string(s.received_updates) +
         " sent " + std::to_string(s.sent_additions) + "/" + std::to_string(s.sent_deletions) +
         "/" + std::to_string(s.sent_updates) + " conflicts " + std::to_string(s.conflicts) +
         " purged " + std::to_string(s.purged);
}
