// Replication that cannot go through: servers that cannot be reached,
// sources that are no replica, damaged partners, a replication killed
// halfway. Each leaves the local replica as it was, with a message that
// says why; the next good run completes and moves nothing twice.
#include <poll.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "ledra/replication/replicator.h"
#include "tests/ledra/replication/replication_fixture.h"

namespace {

namespace fs = std::filesystem;

class FailureTest : public ReplicationTest {
 protected:
  // Hub!!sales.ldf and its replica here, each with one change for the
  // other.
  void SetUpPair() {
    Create("Hub", "sales.ldf");
    Add("Hub", "sales.ldf", "one");
    CloseAll();
    CopyReplica("Hub", "sales.ldf", "sales.ldf");
    Replicate("sales.ldf");  // the replica now knows its partner
    Add("Hub", "sales.ldf", "new there");
    Add("Local", "sales.ldf", "new here");
    CloseAll();
  }
  std::string Snapshot() {
    std::string out = std::to_string(Sequence("Local", "sales.ldf"));
    CloseAll();
    for (const auto& [unid, subject] : Contents("Local", "sales.ldf"))
      out += " " + unid + "=" + subject;
    return out;
  }
};

void RunSql(const std::string& sql, const std::string& file) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
      << sqlite3_errmsg(db);
  sqlite3_close(db);
}

TEST_F(FailureTest, PartnersThatCannotBeUsedLeaveTheLocalReplicaUnchanged) {
  struct Case {
    const char* name;
    std::function<void(FailureTest*)> spoil;
    const char* server;
    VXStatus status;
    const char* message;
  } cases[] = {
      {"missing folder", [](FailureTest* t) { fs::rename(t->dir_ + "/hub", t->dir_ + "/gone"); },
       "Hub", kVXServerNotFound, "Server Hub cannot be reached: its folder "},
      {"a file, not a folder",
       [](FailureTest* t) {
         fs::rename(t->dir_ + "/hub", t->dir_ + "/gone");
         std::ofstream(t->dir_ + "/hub") << "x";
       },
       "Hub", kVXServerNotFound, " is not a folder"},
      {"unknown server", [](FailureTest*) {}, "Nowhere", kVXServerNotFound,
       "Server Nowhere not found (not named in "},
      {"another database at the replica's place",
       [](FailureTest* t) {
         fs::remove(t->dir_ + "/hub/sales.ldf");
         t->Create("Hub", "sales.ldf", "Something else");
       },
       "Hub", kVXNotAReplica,
       "Database Hub!!sales.ldf is not a replica of Database Local!!sales.ldf"},
      {"no replica left on the server",
       [](FailureTest* t) { fs::remove(t->dir_ + "/hub/sales.ldf"); }, "Hub", kVXNotAReplica,
       "Server Hub holds no replica of Database Local!!sales.ldf"},
      {"damaged file",
       [](FailureTest* t) {
         fs::remove(t->dir_ + "/hub/sales.ldf-wal");
         std::ofstream(t->dir_ + "/hub/sales.ldf", std::ios::trunc) << std::string(9000, 'z');
       },
       "Hub", kVXNotADatabase, "Database Hub!!sales.ldf is not a Ledra database"},
      {"damaged document",
       [](FailureTest* t) {
         RunSql("UPDATE notes SET items = x'49020577' WHERE seq = (SELECT max(seq) FROM notes)",
                t->dir_ + "/hub/sales.ldf");
       },
       "Hub", kVXNotADatabase, "of Database Hub!!sales.ldf is damaged (its items do not read)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    SetUpPair();
    std::string before = Snapshot();
    c.spoil(this);
    VXReplicationStats stats;
    stats.received_additions = 99;
    EXPECT_EQ(VXReplicateWithServer(c.server, 3, 0, 1, "sales.ldf", &stats), c.status);
    EXPECT_NE(Message().find(c.message), std::string::npos) << Message();
    EXPECT_EQ(Stats(stats), "received 0/0/0 sent 0/0/0 conflicts 0 purged 0");
    EXPECT_EQ(Snapshot(), before);
  }
}

TEST_F(FailureTest, AnUnreadableServerFolderIsNamedInTheMessage) {
  SetUpPair();
  std::string before = Snapshot();
  ASSERT_EQ(::chmod((dir_ + "/hub").c_str(), 0), 0);
  // Permissions do not bind the superuser: then the replication runs in a
  // child that has given up its rights, on files opened up for it.
  const bool superuser = ::geteuid() == 0;
  if (superuser) {
    for (const auto& entry : fs::recursive_directory_iterator(dir_)) {
      if (entry.path().parent_path() != dir_ + "/hub") ::chmod(entry.path().c_str(), 0777);
    }
    ::chmod(dir_.c_str(), 0777);
    ASSERT_EQ(::chmod((dir_ + "/hub").c_str(), 0), 0);
  }
  int answer[2];
  ASSERT_EQ(::pipe(answer), 0);
  pid_t child = superuser ? ::fork() : 0;
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (superuser && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
    VXReplicationStats stats;
    VXStatus status = VXReplicateWithServer("Hub", 3, 0, 1, "sales.ldf", &stats);
    std::string line = std::to_string(status) + " " + Message();
    (void)!::write(answer[1], line.data(), line.size());
    if (superuser) ::_exit(0);
  }
  ::close(answer[1]);
  if (superuser) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  char text[512] = {};
  ASSERT_GT(::read(answer[0], text, sizeof text - 1), 0);
  ::close(answer[0]);
  EXPECT_EQ(
      std::string(text).rfind(
          std::to_string(kVXServerNotFound) + " Server Hub cannot be reached: its folder ", 0),
      0u)
      << text;
  EXPECT_NE(std::string(text).find("cannot be read (Permission denied)"), std::string::npos)
      << text;
  ::chmod((dir_ + "/hub").c_str(), 0755);
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(FailureTest, BadArgumentsAreRefused) {
  VXReplicationStats stats;
  EXPECT_EQ(VXReplicateWithServer("Hub", 0, 0, 1, "x.ldf", &stats), kVXBadArgument);
  EXPECT_EQ(VXReplicateWithServer("Hub", 3, 0, 1, "", &stats), kVXBadArgument);
  EXPECT_EQ(VXReplicateWithServer("Hub", 3, 0, 1, "x.ldf", nullptr), kVXBadArgument);
  EXPECT_EQ(VXReplicateWithServer("Hub", 3, 0, 1, "x.ldf", &stats), kVXDatabaseNotFound);
  Create("Local", "self.ldf");
  CloseAll();
  // A database on Local is never its own partner, even when asked to
  // replicate with Local.
  EXPECT_EQ(VXReplicateWithServer("Local", 3, 0, 1, "self.ldf", &stats), kVXNotAReplica);
}

TEST_F(FailureTest, AReplicationKilledHalfwayLeavesBothWholeAndTheNextRunMovesEachNoteOnce) {
  constexpr int kNotes = 400;
  for (bool sending : {false, true}) {
    SCOPED_TRACE(sending ? "killed while sending" : "killed while receiving");
    TearDown();
    SetUp();
    Create("Hub", "sales.ldf");
    CloseAll();
    CopyReplica("Hub", "sales.ldf", "sales.ldf");
    const std::string from = sending ? "Local" : "Hub";
    int32_t on = 1, off = 0;
    ASSERT_EQ(VXDatabaseSetProperty(Db(from, "sales.ldf"), kDbPropBatch, &on), kVXOk);
    for (int i = 0; i < kNotes; ++i) Add(from, "sales.ldf", "note " + std::to_string(i));
    ASSERT_EQ(VXDatabaseSetProperty(Db(from, "sales.ldf"), kDbPropBatch, &off), kVXOk);
    CloseAll();

    int halfway[2];
    ASSERT_EQ(::pipe(halfway), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ledra::replication::ReplicationOptions options;
      options.progress = [&](bool now_sending, size_t done, size_t total) {
        if (now_sending == sending && done == total / 2) {
          (void)!::write(halfway[1], "h", 1);
          ::sleep(60);  // killed here, in the middle of the transfer
        }
      };
      VXReplicationStats stats;
      (void)ledra::replication::ReplicateWithServer("Hub", "sales.ldf", options, &stats);
      ::_exit(0);
    }
    ::close(halfway[1]);
    struct pollfd wait_for {
      halfway[0], POLLIN, 0
    };
    ASSERT_EQ(::poll(&wait_for, 1, 60000), 1);
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    ::close(halfway[0]);

    for (const std::string& file : {File("data", "sales.ldf"), File("hub", "sales.ldf")}) {
      std::unique_ptr<ledra::NoteStore> store;
      ASSERT_EQ(ledra::NoteStore::Open(file, file, 5000, &store), kVXOk) << Message();
      std::vector<std::string> problems;
      ASSERT_EQ(store->Check(&problems), kVXOk);
      EXPECT_TRUE(problems.empty()) << problems.front();
    }
    // The interrupted direction left nothing behind on its receiver.
    EXPECT_EQ(Contents(sending ? "Hub" : "Local", "sales.ldf").size(), 0u);
    EXPECT_EQ(Stats(Replicate("sales.ldf")),
              sending ? "received 0/0/0 sent 400/0/0 conflicts 0 purged 0"
                      : "received 400/0/0 sent 0/0/0 conflicts 0 purged 0");
    EXPECT_EQ(Stats(Replicate("sales.ldf")), "received 0/0/0 sent 0/0/0 conflicts 0 purged 0");
    auto here = Contents("Local", "sales.ldf");
    EXPECT_EQ(here.size(), static_cast<size_t>(kNotes));
    EXPECT_EQ(here, Contents("Hub", "sales.ldf"));
  }
}

}  // namespace
