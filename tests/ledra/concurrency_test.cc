// Several processes on one database and one settings file: concurrent
// writers lose nothing, concurrent environment updates both survive, and a
// process killed in the middle of saves leaves a sound database that holds
// every save that had returned.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <set>

#include "ledra/note_store.h"
#include "ledra/objects.h"
#include "tests/ledra/ledra_fixture.h"

namespace {

// Runs body in a child process; returns its pid. The child never returns
// into the test framework.
template <typename Body>
pid_t Spawn(Body body) {
  pid_t pid = fork();
  if (pid == 0) {
    int rc = 1;
    try {
      rc = body();
    } catch (...) {
    }
    _exit(rc);
  }
  return pid;
}

int Wait(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int WriteDocuments(const char* writer, int count) {
  VXHandle db = 0;
  if (VXDatabaseOpen("Local", "shared.ldf", 0, &db) != kVXOk) return 2;
  for (int i = 0; i < count; ++i) {
    VXHandle doc = 0;
    double n = i;
    if (VXDocumentCreate(db, "Memo", &doc) != kVXOk ||
        VXItemPut(doc, "Writer", 0, 0, kVXTypeText, writer, 0) != kVXOk ||
        VXItemPut(doc, "N", 0, 0, kVXTypeNumber, &n, 8) != kVXOk || VXDocumentClose(doc, kVXCloseKeep) != kVXOk) {
      return 3;
    }
  }
  return VXDatabaseClose(db, 0) == kVXOk ? 0 : 4;
}

TEST_F(LedraTest, TwoProcessesWritingOneDatabaseLoseNothing) {
  VXDatabaseClose(Make("shared.ldf"), 0);
  constexpr int kEach = 300;
  pid_t a = Spawn([] { return WriteDocuments("a", kEach); });
  pid_t b = Spawn([] { return WriteDocuments("b", kEach); });
  ASSERT_EQ(Wait(a), 0);
  ASSERT_EQ(Wait(b), 0);
  std::unique_ptr<ledra::NoteStore> store;
  ASSERT_EQ(ledra::NoteStore::Open(data() + "/shared.ldf", "t", 1000, &store), kVXOk);
  std::set<std::string> seen;
  for (VXNoteId id : store->NotesOfClass(kVXClassDocument)) {
    ledra::Note note;
    ASSERT_EQ(store->Load(id, &note), kVXOk);
    seen.insert(ledra::TextItem(note, "Writer") + std::to_string(static_cast<int>(ledra::NumberItem(note, "N", -1))));
  }
  EXPECT_EQ(seen.size(), 2u * kEach);
  int64_t seq = 0;
  ASSERT_EQ(store->Counters(&seq, nullptr), kVXOk);
  EXPECT_EQ(seq, 2 * kEach);
}

TEST_F(LedraTest, EnvironmentStringsWrittenByTwoProcessesAtOnceAllSurvive) {
  constexpr int kEach = 60;
  auto writer = [](char who) {
    for (int i = 0; i < kEach; ++i) {
      std::string name = std::string("$Corvane_") + who + std::to_string(i);
      if (VXSetEnvironmentString(name.c_str(), std::to_string(i).c_str(), 1) != kVXOk) return 1;
    }
    return 0;
  };
  pid_t a = Spawn([&] { return writer('a'); });
  pid_t b = Spawn([&] { return writer('b'); });
  ASSERT_EQ(Wait(a), 0);
  ASSERT_EQ(Wait(b), 0);
  for (char who : {'a', 'b'}) {
    for (int i = 0; i < kEach; ++i) {
      char value[64];
      std::string name = std::string("$Corvane_") + who + std::to_string(i);
      ASSERT_EQ(VXGetEnvironmentString(name.c_str(), value, sizeof value), kVXOk);
      EXPECT_EQ(std::string(value), std::to_string(i)) << name;
    }
  }
  char value[64];
  ASSERT_EQ(VXGetEnvironmentString("Server.Hub/Sales", value, sizeof value), kVXOk);
  EXPECT_STREQ(value, "hub");
}

TEST_F(LedraTest, ProcessKilledDuringSavesLeavesEverySavedDocument) {
  VXDatabaseClose(Make("crash.ldf"), 0);
  std::string blob(64 * 1024, 'q');
  std::string blob_file = dir_ + "/blob.bin";
  std::ofstream(blob_file, std::ios::binary) << blob;
  std::set<VXNoteId> returned;
  // Three rounds, each killed after a different number of returned saves.
  for (int kill_after : {5, 23, 41}) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t child = Spawn([&] {
      close(fds[0]);
      VXHandle db = 0;
      if (VXDatabaseOpen("Local", "crash.ldf", 0, &db) != kVXOk) return 2;
      for (int i = 0;; ++i) {
        VXHandle doc = 0;
        double n = i;
        if (VXDocumentCreate(db, "Memo", &doc) != kVXOk || VXItemPut(doc, "N", 0, 0, kVXTypeNumber, &n, 8) != kVXOk ||
            VXAttachmentAttach(doc, blob_file.c_str(), "blob.bin", i % 2) != kVXOk ||
            VXDocumentSave(doc, 0) != kVXOk) {
          return 3;
        }
        VXNoteId id = 0;
        if (VXDocumentGetProperty(doc, kDocPropNoteId, &id, 4) != kVXOk) return 4;
        VXDocumentClose(doc, 0);
        if (write(fds[1], &id, sizeof id) != sizeof id) return 5;
      }
    });
    close(fds[1]);
    VXNoteId id = 0;
    int got = 0;
    while (got < kill_after && read(fds[0], &id, sizeof id) == sizeof id) {
      returned.insert(id);
      ++got;
    }
    ASSERT_EQ(got, kill_after);
    kill(child, SIGKILL);
    while (read(fds[0], &id, sizeof id) == sizeof id) returned.insert(id);  // saves that returned before the kill
    close(fds[0]);
    EXPECT_EQ(Wait(child), 128 + SIGKILL);

    std::string command = "\"" CORVANE_BIN_DIR "/ledra\" check " + data() + "/crash.ldf 2>&1";
    FILE* p = popen(command.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char line[512] = {};
    std::string output;
    while (fgets(line, sizeof line, p) != nullptr) output += line;
    EXPECT_EQ(pclose(p), 0) << output;
    EXPECT_EQ(output, "ok\n");

    VXHandle db = 0;
    ASSERT_EQ(VXDatabaseOpen("Local", "crash.ldf", 0, &db), kVXOk) << Message();
    for (VXNoteId saved : returned) {
      VXHandle doc = 0;
      ASSERT_EQ(VXDocumentOpen(db, saved, 0, &doc), kVXOk) << "document " << saved << ": " << Message();
      std::string out = dir_ + "/out.bin";
      ASSERT_EQ(VXAttachmentExtract(doc, "blob.bin", out.c_str(), 0), kVXOk);
      std::ifstream in(out, std::ios::binary);
      EXPECT_TRUE(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()) == blob);
      VXDocumentClose(doc, 0);
    }
    VXDatabaseClose(db, 0);
  }
  EXPECT_GE(returned.size(), 69u);
}

}  // namespace
