// Document store throughput: N documents of 5 items created and saved, then
// each opened by note id reading 3 items, against plain SQLite inserting and
// selecting the same values, in the same run and on the same disk. The
// baseline is given what the store has: the same page size, cache and
// journal settings, and a table with the store's indexes (a unique 16-byte
// UNID, the modification sequence, the partial index of design notes), so
// that the ratio is the cost of the store's own work. Each is measured
// twice: every save its own transaction (the store's default; the baseline
// in autocommit), and saves batched in one transaction (database property
// 30; the baseline in one BEGIN/COMMIT).
//
//   ledra_store_bench [N [each|batch]]     (default 100000, both modes)
#include <sqlite3.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "ledra/vxapi.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string Subject(int i) {
  return "Subject line of document number " + std::to_string(i);
}
std::string Body(int i) {
  return "The body text of document " + std::to_string(i) +
         " is a little longer, as a memo's body would be, with a sentence or two more.";
}
const char* kCategory[] = {"Sales", "Support", "Research", "Travel"};

void Check(bool ok, const char* what) {
  if (ok) return;
  uint32_t code = 0, detail = 0;
  char text[kVXErrorTextSize];
  VXErrorFetch(&code, &detail, text);
  std::fprintf(stderr, "ledra_store_bench: %s failed: %s\n", what, text);
  std::exit(1);
}

struct Figures {
  double write_seconds = 0;
  double read_seconds = 0;
};

Figures Store(const std::string& path, int n, bool batched) {
  Figures f;
  Check(VXDatabaseCreate("Local", path.c_str(), "Bench") == kVXOk, "create");
  VXHandle db = 0;
  Check(VXDatabaseOpen("Local", path.c_str(), 0, &db) == kVXOk, "open");
  int32_t one = 1, zero = 0;
  auto start = Clock::now();
  if (batched) Check(VXDatabaseSetProperty(db, kDbPropBatch, &one) == kVXOk, "batch");
  for (int i = 0; i < n; ++i) {
    VXHandle doc = 0;
    std::string subject = Subject(i), body = Body(i);
    double count = i, score = i * 0.5;
    Check(VXDocumentCreate(db, "Memo", &doc) == kVXOk, "document create");
    Check(VXItemPut(doc, "Subject", 0, 0, kVXTypeText, subject.data(),
                    static_cast<uint32_t>(subject.size())) == kVXOk &&
              VXItemPut(doc, "Category", 0, 0, kVXTypeText, kCategory[i % 4], 0) == kVXOk &&
              VXItemPut(doc, "Count", 0, 0, kVXTypeNumber, &count, 8) == kVXOk &&
              VXItemPut(doc, "Score", 0, 0, kVXTypeNumber, &score, 8) == kVXOk &&
              VXItemPut(doc, "Body", 0, 0, kVXTypeText, body.data(),
                        static_cast<uint32_t>(body.size())) == kVXOk,
          "item put");
    Check(VXDocumentSave(doc, 0x10000) == kVXOk, "save");
    Check(VXDocumentClose(doc, 0) == kVXOk, "close");
  }
  if (batched) Check(VXDatabaseSetProperty(db, kDbPropBatch, &zero) == kVXOk, "commit");
  f.write_seconds = Seconds(start);

  start = Clock::now();
  double sum = 0;
  for (int i = 1; i <= n; ++i) {
    VXHandle doc = 0;
    char subject[128], category[32];
    double count = 0;
    uint32_t len = 0;
    Check(VXDocumentOpen(db, static_cast<VXNoteId>(i), 0, &doc) == kVXOk, "document open");
    Check(VXItemFetch(doc, "Subject", kVXTypeText, subject, sizeof subject, &len) == kVXOk &&
              VXItemFetch(doc, "Category", kVXTypeText, category, sizeof category, &len) == kVXOk &&
              VXItemFetch(doc, "Count", kVXTypeNumber, &count, 8, &len) == kVXOk,
          "item fetch");
    sum += count;
    Check(VXDocumentClose(doc, 0) == kVXOk, "close");
  }
  f.read_seconds = Seconds(start);
  Check(sum == static_cast<double>(n) * (n - 1) / 2, "read back");
  VXDatabaseClose(db, 0);
  return f;
}

void Sql(sqlite3* db, const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    std::fprintf(stderr, "ledra_store_bench: %s: %s\n", sql, error);
    std::exit(1);
  }
}

Figures Plain(const std::string& file, int n, bool batched) {
  Figures f;
  sqlite3* db = nullptr;
  if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) std::exit(1);
  Sql(db, "PRAGMA page_size=8192");
  Sql(db, "PRAGMA journal_mode=WAL");
  Sql(db, "PRAGMA synchronous=NORMAL");
  Sql(db, "PRAGMA cache_size=-65536");
  Sql(db,
      "CREATE TABLE docs(id INTEGER PRIMARY KEY, unid BLOB NOT NULL UNIQUE, class INTEGER NOT "
      "NULL, "
      "created INTEGER NOT NULL, modified INTEGER NOT NULL, seq INTEGER NOT NULL, subject TEXT, "
      "category TEXT, count REAL, score REAL, body TEXT)");
  Sql(db, "CREATE INDEX docs_seq ON docs(seq)");
  Sql(db, "CREATE INDEX docs_design ON docs(class) WHERE class != 1");
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(
      db,
      "INSERT INTO docs(unid, class, created, modified, seq, subject, category, count, "
      "score, body) VALUES (?1, 1, ?2, ?2, ?3, ?4, ?5, ?6, ?7, ?8)",
      -1, &insert, nullptr);
  uint64_t state = 0x9E3779B97F4A7C15ull;
  auto start = Clock::now();
  if (batched) Sql(db, "BEGIN");
  for (int i = 0; i < n; ++i) {
    std::string subject = Subject(i), body = Body(i);
    // A UNID as random as the store's, so the unique index grows the same way.
    unsigned char unid[16];
    for (int k = 0; k < 16; k += 8) {
      state ^= state << 13;
      state ^= state >> 7;
      state ^= state << 17;
      std::memcpy(unid + k, &state, 8);
    }
    auto now = static_cast<sqlite3_int64>(Clock::now().time_since_epoch().count());
    sqlite3_bind_blob(insert, 1, unid, sizeof unid, SQLITE_TRANSIENT);
    sqlite3_bind_int64(insert, 2, now);
    sqlite3_bind_int64(insert, 3, i + 1);
    sqlite3_bind_text(insert, 4, subject.data(), static_cast<int>(subject.size()),
                      SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 5, kCategory[i % 4], -1, SQLITE_STATIC);
    sqlite3_bind_double(insert, 6, i);
    sqlite3_bind_double(insert, 7, i * 0.5);
    sqlite3_bind_text(insert, 8, body.data(), static_cast<int>(body.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(insert) != SQLITE_DONE) std::exit(1);
    sqlite3_reset(insert);
  }
  if (batched) Sql(db, "COMMIT");
  f.write_seconds = Seconds(start);
  sqlite3_finalize(insert);

  sqlite3_stmt* select = nullptr;
  sqlite3_prepare_v2(db, "SELECT subject, category, count FROM docs WHERE id = ?1", -1, &select,
                     nullptr);
  start = Clock::now();
  double sum = 0;
  for (int i = 1; i <= n; ++i) {
    sqlite3_bind_int(select, 1, i);
    if (sqlite3_step(select) != SQLITE_ROW) std::exit(1);
    char subject[128], category[32];
    std::snprintf(subject, sizeof subject, "%s", sqlite3_column_text(select, 0));
    std::snprintf(category, sizeof category, "%s", sqlite3_column_text(select, 1));
    sum += sqlite3_column_double(select, 2);
    sqlite3_reset(select);
  }
  f.read_seconds = Seconds(start);
  sqlite3_finalize(select);
  sqlite3_close(db);
  if (sum != static_cast<double>(n) * (n - 1) / 2) std::exit(1);
  return f;
}

void Report(const char* mode, int n, const Figures& store, const Figures& plain) {
  std::printf("%s:\n", mode);
  std::printf("  create+save  store %9.0f docs/s   plain SQLite %9.0f rows/s   ratio %.2fx\n",
              n / store.write_seconds, n / plain.write_seconds,
              store.write_seconds / plain.write_seconds);
  std::printf("  open+read 3  store %9.0f docs/s   plain SQLite %9.0f rows/s   ratio %.2fx\n",
              n / store.read_seconds, n / plain.read_seconds,
              store.read_seconds / plain.read_seconds);
}

}  // namespace

int main(int argc, char** argv) {
  int n = argc > 1 ? std::atoi(argv[1]) : 100000;
  std::string mode = argc > 2 ? argv[2] : "";
  if (n <= 0 || (mode != "" && mode != "each" && mode != "batch")) {
    std::fprintf(stderr, "usage: ledra_store_bench [DOCUMENTS [each|batch]]\n");
    return 2;
  }
  char pattern[] = "/tmp/ledra_bench_XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  std::string dir = pattern;
  std::ofstream(dir + "/ledra.ini") << "Directory=data\n";
  setenv("CORVANE_LEDRA_INI", (dir + "/ledra.ini").c_str(), 1);
  Check(_VXInit(0x45004, nullptr, nullptr, nullptr) == kVXOk, "init");
  std::printf(
      "%d documents of 5 items (2 short texts, 2 numbers, a 100-byte text); reads fetch 3 items\n",
      n);
  if (mode != "batch") {
    Figures plain_each = Plain(dir + "/plain_each.db", n, false);
    Figures store_each = Store("each.ldf", n, false);
    Report("one transaction per save (WAL, synchronous=NORMAL)", n, store_each, plain_each);
  }
  if (mode != "each") {
    Figures plain_batch = Plain(dir + "/plain_batch.db", n, true);
    Figures store_batch = Store("batch.ldf", n, true);
    Report("saves batched in one transaction (database property 30)", n, store_batch, plain_batch);
  }
  VXTerm(0);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return 0;
}
