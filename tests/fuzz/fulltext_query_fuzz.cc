// Fuzz target for full-text queries (they arrive in URLs): the translator
// must refuse or produce a query that SQLite FTS5 accepts.
#include <sqlite3.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "ledra/view/fulltext.h"
#include "ledra/view/view_api.h"

namespace {

sqlite3* Database() {
  static sqlite3* db = [] {
    sqlite3* d = nullptr;
    sqlite3_open(":memory:", &d);
    sqlite3_exec(d, "CREATE VIRTUAL TABLE t USING fts5(b); INSERT INTO t VALUES ('quick brown fox')", nullptr,
                 nullptr, nullptr);
    return d;
  }();
  return db;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string query(reinterpret_cast<const char*>(data), size);
  std::string fts;
  if (ledra::TranslateQuery(query, &fts) != kVXOk) return 0;
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(Database(), "SELECT count(*) FROM t WHERE t MATCH ?1", -1, &s, nullptr) != SQLITE_OK) abort();
  sqlite3_bind_text(s, 1, fts.c_str(), -1, SQLITE_TRANSIENT);
  int rc = sqlite3_step(s);
  sqlite3_finalize(s);
  if (rc != SQLITE_ROW) abort();  // translated, yet FTS5 refused it
  return 0;
}
