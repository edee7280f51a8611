// Replication throughput. A database of N documents (5 items each) on the
// server Hub is copied to Local twice: as a plain copy (the baseline, the
// store's bulk copy of the same notes) and as a new replica, which also
// records every note's revisions. Then: the replica's first replication
// (nothing to move), runs with nothing to do (with and without the cut-off
// the replication job sets), 1,000 documents changed on the server and
// received, 1,000 changed in the replica and sent.
//
//   replication_bench [N]     (default 100000)
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ledra/core_calls.h"
#include "ledra/vxapi.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kChanges = 1000;
constexpr int kQuietRuns = 7;

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void Check(bool ok, const char* what) {
  if (ok) return;
  uint32_t code = 0, detail = 0;
  char text[kVXErrorTextSize];
  VXErrorFetch(&code, &detail, text);
  std::fprintf(stderr, "replication_bench: %s failed: %s\n", what, text);
  std::exit(1);
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string a, b, c;
  in >> a >> b >> c;
  return a + " " + b + " " + c;
}

void Put(VXHandle doc, const char* item, const std::string& value) {
  Check(VXItemPut(doc, item, 0, 0, kVXTypeText, value.c_str(), 0) == kVXOk, "item");
}

void Fill(const char* server, const char* path, int n) {
  VXHandle db = 0;
  Check(VXDatabaseOpen(server, path, 0, &db) == kVXOk, "open");
  int32_t on = 1, off = 0;
  const char* category[] = {"Sales", "Support", "Research", "Travel"};
  Check(VXDatabaseSetProperty(db, kDbPropBatch, &on) == kVXOk, "batch");
  for (int i = 0; i < n; ++i) {
    VXHandle doc = 0;
    Check(VXDocumentCreate(db, "Memo", &doc) == kVXOk, "create document");
    Put(doc, "Subject", "Subject line of document number " + std::to_string(i));
    Put(doc, "Body",
        "The body text of document " + std::to_string(i) +
            " is a little longer, as a memo's body would be, with a sentence or two more.");
    Put(doc, "Category", category[i % 4]);
    Put(doc, "Author", "Ann Lee");
    Put(doc, "Number", std::to_string(i));
    Check(VXDocumentClose(doc, 0x10000) == kVXOk, "save");
  }
  Check(VXDatabaseSetProperty(db, kDbPropBatch, &off) == kVXOk, "commit");
  Check(VXDatabaseClose(db, 0) == kVXOk, "close");
}

// Changes `count` documents spread over the database, in one batch.
double Change(const char* server, const char* path, int count, const std::string& mark) {
  VXHandle db = 0, index = 0;
  Check(VXDatabaseOpen(server, path, 0, &db) == kVXOk, "open");
  std::vector<VXNoteId> ids;
  Check(VXIndexOpen(db, &index) == kVXOk, "index");
  VXNoteId id = 0;
  while (VXIndexNavigate(index, kVXNavNext, 0, &id, nullptr) == kVXOk) ids.push_back(id);
  (void)VXIndexClose(index);
  int32_t on = 1, off = 0;
  auto start = Clock::now();
  Check(VXDatabaseSetProperty(db, kDbPropBatch, &on) == kVXOk, "batch");
  size_t step = std::max<size_t>(1, ids.size() / static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    VXHandle doc = 0;
    Check(VXDocumentOpen(db, ids[(static_cast<size_t>(i) * step) % ids.size()], 0, &doc) == kVXOk,
          "open doc");
    Put(doc, "Subject", mark + " " + std::to_string(i));
    Check(VXDocumentClose(doc, 0x10000) == kVXOk, "save");
  }
  Check(VXDatabaseSetProperty(db, kDbPropBatch, &off) == kVXOk, "commit");
  Check(VXDatabaseClose(db, 0) == kVXOk, "close");  // a replication closes its files too
  return Seconds(start);
}

double Replicate(const char* path, VXReplicationStats* stats) {
  auto start = Clock::now();
  Check(VXReplicateWithServer("Hub", 3, 0, 1, path, stats) == kVXOk, "replicate");
  return Seconds(start);
}

double QuietMedianMs(const char* path) {
  std::vector<double> runs;
  for (int i = 0; i < kQuietRuns; ++i) {
    VXReplicationStats stats;
    runs.push_back(Replicate(path, &stats) * 1000);
    Check(stats.received_additions + stats.received_updates + stats.sent_additions +
                  stats.sent_updates ==
              0,
          "a run with nothing to do moved something");
  }
  std::sort(runs.begin(), runs.end());
  return runs[runs.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int n = argc > 1 ? std::atoi(argv[1]) : 100000;
  if (n < kChanges) n = kChanges;
  char pattern[] = "/tmp/replication_bench_XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  std::string dir = pattern;
  std::ofstream(dir + "/ledra.ini") << "Directory=data\nServer.Hub=hub\n";
  std::filesystem::create_directories(dir + "/hub");
  setenv("CORVANE_LEDRA_INI", (dir + "/ledra.ini").c_str(), 1);
  Check(_VXInit(0x45004, nullptr, nullptr, nullptr) == kVXOk, "init");
  std::printf("replication_bench: %d documents; load average before %s\n", n,
              LoadAverage().c_str());

  Check(VXDatabaseCreate("Hub", "sales.ldf", "Sales") == kVXOk, "create source");
  auto start = Clock::now();
  Fill("Hub", "sales.ldf", n);
  std::printf("  source made:                 %8.2f s\n", Seconds(start));

  start = Clock::now();
  Check(VXDatabaseCopy("Hub", "sales.ldf", "Local", "plain.ldf", 0, 0x007, 2046, nullptr) == kVXOk,
        "plain copy");
  double plain = Seconds(start);
  start = Clock::now();
  Check(
      VXDatabaseCopy("Hub", "sales.ldf", "Local", "replica.ldf", 0, 0x107, 2046, nullptr) == kVXOk,
      "replica copy");
  double replica = Seconds(start);
  std::printf("  plain copy (baseline):       %8.2f s  %8.0f documents/s\n", plain, n / plain);
  std::printf("  first copy as a replica:     %8.2f s  %8.0f documents/s  (ratio %.2f)\n", replica,
              n / replica, replica / plain);

  VXReplicationStats stats;
  double first = Replicate("replica.ldf", &stats);
  std::printf("  first replication:           %8.3f s  (moved %u)\n", first,
              stats.received_additions + stats.sent_additions);
  double quiet = QuietMedianMs("replica.ldf");
  std::printf("  run with nothing to do:      %8.1f ms (median of %d)\n", quiet, kQuietRuns);

  double edit = Change("Hub", "sales.ldf", kChanges, "changed on the server");
  double pull = Replicate("replica.ldf", &stats);
  Check(stats.received_updates == kChanges, "the server's changes did not all arrive");
  std::printf("  %d changes saved (baseline): %8.3f s\n", kChanges, edit);
  std::printf(
      "  %d changes received:         %8.3f s  %8.0f documents/s  (ratio to saving them %.2f)\n",
      kChanges, pull, kChanges / pull, pull / edit);
  edit = Change("Local", "replica.ldf", kChanges, "changed in the replica");
  double push = Replicate("replica.ldf", &stats);
  Check(stats.sent_updates == kChanges, "the replica's changes did not all arrive");
  std::printf(
      "  %d changes sent:             %8.3f s  %8.0f documents/s  (ratio to saving them %.2f)\n",
      kChanges, push, kChanges / push, push / edit);
  Replicate("replica.ldf", &stats);  // the echo of the last exchange
  std::printf("  run with nothing to do:      %8.1f ms (median of %d)\n",
              QuietMedianMs("replica.ldf"), kQuietRuns);

  // As the replication job leaves the replica: a cut-off of 7300 days.
  VXHandle db = 0;
  Check(VXDatabaseOpen("Local", "replica.ldf", 0, &db) == kVXOk, "open replica");
  LCReplicationInfo info;
  Check(LCReplicationInfoGet(db, &info) == kVXOk, "read cut-off");
  info.cutoff_days = 7300;
  info.flags = 0x80;
  Check(LCReplicationInfoSet(db, &info) == kVXOk, "set cut-off");
  Check(VXDatabaseClose(db, 0) == kVXOk, "close replica");
  std::printf("  ... with the job's cut-off:  %8.1f ms (median of %d)\n",
              QuietMedianMs("replica.ldf"), kQuietRuns);
  std::printf("replication_bench: load average after %s\n", LoadAverage().c_str());

  VXTerm(0);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return 0;
}
