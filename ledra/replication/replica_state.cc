// The replication tables of a store file and the direct note-row reads and
// writes of replication.
#include "ledra/replication/replica_state.h"

#include <cstring>

#include "ledra/last_error.h"

namespace ledra::replication {
namespace {

constexpr const char* kTables = R"sql(
CREATE TABLE IF NOT EXISTS repl_state(note_id INTEGER PRIMARY KEY, seq INTEGER NOT NULL,
                                      source TEXT NOT NULL, revisions BLOB NOT NULL);
CREATE TABLE IF NOT EXISTS repl_history(partner TEXT PRIMARY KEY, seq INTEGER NOT NULL,
                                        time INTEGER NOT NULL) WITHOUT ROWID;
)sql";

// The columns every row read selects, with and without the state table.
constexpr const char* kRowColumns =
    "SELECT n.note_id, n.unid, n.class, n.created, n.modified, n.seq, n.deleted, n.local_stub, "
    "n.parent, r.seq, r.source, r.revisions FROM notes n LEFT JOIN repl_state r ON r.note_id = "
    "n.note_id ";
constexpr const char* kRowColumnsBare =
    "SELECT n.note_id, n.unid, n.class, n.created, n.modified, n.seq, n.deleted, n.local_stub, "
    "n.parent, NULL, NULL, NULL FROM notes n ";

struct Stmt {
  sqlite3_stmt* s = nullptr;
  ~Stmt() { sqlite3_finalize(s); }
};

struct StmtReset {
  sqlite3_stmt* s;
  ~StmtReset() {
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
  }
};

}  // namespace


ReplicaState::ReplicaState(NoteStore* store) : store_(store), db_(store->db()) {
  tables_ = TablesExist();
}

ReplicaState::~ReplicaState() {
  for (sqlite3_stmt* s : {by_unid_, by_id_, items_, write_state_, drop_state_, set_modified_,
                          sequence_of_, has_attachments_}) {
    sqlite3_finalize(s);
  }
}

VXStatus ReplicaState::SqlFail(const std::string& what) {
  int rc = sqlite3_extended_errcode(db_);
  std::string detail = sqlite3_errmsg(db_);
  const std::string& label = store_->label();
  switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return Fail(kVXBusy, label + " is busy: another program kept it locked (" + what + ")",
                  static_cast<uint32_t>(rc));
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return Fail(kVXNotADatabase, label + " is damaged (" + detail + "); run 'ledra check'",
                  static_cast<uint32_t>(rc));
    case SQLITE_FULL:
      return Fail(kVXStorageError, label + " cannot grow: the disk is full (" + what + ")",
                  static_cast<uint32_t>(rc));
    default:
      return Fail(kVXStorageError, label + ": cannot " + what + " (" + detail + ")",
                  static_cast<uint32_t>(rc));
  }
}

VXStatus ReplicaState::Prepare(sqlite3_stmt** stmt, const char* sql) {
  if (*stmt != nullptr) return kVXOk;
  if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, stmt, nullptr) != SQLITE_OK) {
    return SqlFail("read its replication state");
  }
  return kVXOk;
}

bool ReplicaState::TablesExist() {
  Stmt q;
  if (sqlite3_prepare_v2(db_, "SELECT count(*) FROM sqlite_master WHERE name = 'repl_state'", -1,
                         &q.s, nullptr) != SQLITE_OK) {
    return false;
  }
  return sqlite3_step(q.s) == SQLITE_ROW && sqlite3_column_int(q.s, 0) == 1;
}

VXStatus ReplicaState::EnsureTables() {
  if (tables_ && TablesExist()) return kVXOk;
  if (sqlite3_exec(db_, kTables, nullptr, nullptr, nullptr) != SQLITE_OK) {
    return SqlFail("make its replication tables");
  }
  // Row reads prepared without the state table are prepared again with it.
  for (sqlite3_stmt** s : {&by_unid_, &by_id_}) {
    sqlite3_finalize(*s);
    *s = nullptr;
  }
  tables_ = true;
  return kVXOk;
}

void ReplicaState::AfterRollback() {
  for (sqlite3_stmt** s : {&by_unid_, &by_id_, &write_state_, &drop_state_}) {
    sqlite3_finalize(*s);
    *s = nullptr;
  }
  tables_ = TablesExist();
}

VXStatus ReplicaState::Instance(uint64_t* origin) {
  std::string text;
  if (VXStatus s = store_->GetInfo("instance", &text); s != kVXOk) return s;
  if (ParseOrigin(text, origin)) return kVXOk;
  // A file made as a new replica was given an instance; any other file is
  // the only one of its replica id, made at its creation time: both name
  // it, with no write (a partner may be read-only).
  std::string replica, created;
  if (VXStatus s = store_->GetInfo("replica_id", &replica); s != kVXOk) return s;
  if (VXStatus s = store_->GetInfo("created", &created); s != kVXOk) return s;
  uint64_t hash = 0xcbf29ce484222325ull;
  for (char c : replica + "/" + created) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ull;
  }
  *origin = hash == 0 ? 1 : hash;
  return kVXOk;
}

VXStatus ReplicaState::NewInstance(uint64_t* origin) {
  VXUnid fresh = NewUnid();
  uint64_t v = (static_cast<uint64_t>(fresh.words[0] ^ fresh.words[2]) << 32) |
               (fresh.words[3] ^ fresh.words[1]);
  *origin = v == 0 ? 1 : v;
  return store_->SetInfo("instance", OriginText(*origin));
}

VXStatus ReplicaState::ReadRowFrom(sqlite3_stmt* q, NoteRow* row) {
  *row = NoteRow{};
  row->id = static_cast<VXNoteId>(sqlite3_column_int64(q, 0));
  row->unid = BlobUnid(sqlite3_column_blob(q, 1), sqlite3_column_bytes(q, 1));
  row->note_class = static_cast<uint32_t>(sqlite3_column_int64(q, 2));
  row->created = sqlite3_column_int64(q, 3);
  row->modified = sqlite3_column_int64(q, 4);
  row->sequence = sqlite3_column_int64(q, 5);
  row->deleted = sqlite3_column_int(q, 6) != 0;
  row->local_stub = sqlite3_column_int(q, 7) != 0;
  row->has_parent = sqlite3_column_type(q, 8) == SQLITE_BLOB;
  if (row->has_parent)
    row->parent = BlobUnid(sqlite3_column_blob(q, 8), sqlite3_column_bytes(q, 8));
  if (sqlite3_column_type(q, 9) != SQLITE_NULL) {
    row->has_state = true;
    row->state_sequence = sqlite3_column_int64(q, 9);
    const unsigned char* source = sqlite3_column_text(q, 10);
    if (source != nullptr) row->source = reinterpret_cast<const char*>(source);
    // A damaged chain reads as none: the note then counts as changed here,
    // which at worst keeps both versions as a conflict.
    if (!DecodeChain(sqlite3_column_blob(q, 11), static_cast<size_t>(sqlite3_column_bytes(q, 11)),
                     &row->state_chain)) {
      row->has_state = false;
    }
  }
  return kVXOk;
}

VXStatus ReplicaState::FindByUnid(const VXUnid& unid, NoteRow* row, bool* found) {
  *found = false;
  std::string sql = std::string(tables_ ? kRowColumns : kRowColumnsBare) + "WHERE n.unid = ?1";
  if (VXStatus s = Prepare(&by_unid_, sql.c_str()); s != kVXOk) return s;
  StmtReset reset{by_unid_};
  std::string blob = UnidBlob(unid);
  sqlite3_bind_blob(by_unid_, 1, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
  int rc = sqlite3_step(by_unid_);
  if (rc == SQLITE_DONE) return kVXOk;
  if (rc != SQLITE_ROW) return SqlFail("look up a note by UNID");
  *found = true;
  return ReadRowFrom(by_unid_, row);
}

VXStatus ReplicaState::ReadRow(VXNoteId id, NoteRow* row, bool* found) {
  *found = false;
  std::string sql = std::string(tables_ ? kRowColumns : kRowColumnsBare) + "WHERE n.note_id = ?1";
  if (VXStatus s = Prepare(&by_id_, sql.c_str()); s != kVXOk) return s;
  StmtReset reset{by_id_};
  sqlite3_bind_int64(by_id_, 1, id);
  int rc = sqlite3_step(by_id_);
  if (rc == SQLITE_DONE) return kVXOk;
  if (rc != SQLITE_ROW) return SqlFail("read note " + std::to_string(id));
  *found = true;
  return ReadRowFrom(by_id_, row);
}

VXStatus ReplicaState::ListSince(int64_t since, const std::function<bool(const NoteRow&)>& each) {
  std::string sql =
      std::string(tables_ ? kRowColumns : kRowColumnsBare) + "WHERE n.seq > ?1 ORDER BY n.seq";
  Stmt q;
  if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &q.s, nullptr) != SQLITE_OK) {
    return SqlFail("list changed notes");
  }
  sqlite3_bind_int64(q.s, 1, since);
  int rc;
  NoteRow row;
  while ((rc = sqlite3_step(q.s)) == SQLITE_ROW) {
    if (VXStatus s = ReadRowFrom(q.s, &row); s != kVXOk) return s;
    if (!each(row)) return kVXOk;
  }
  if (rc != SQLITE_DONE) return SqlFail("list changed notes");
  return kVXOk;
}

VXStatus ReplicaState::ListLive(uint32_t class_mask,
                                const std::function<VXStatus(const NoteRow&)>& each) {
  std::string sql = std::string(tables_ ? kRowColumns : kRowColumnsBare) +
                    "WHERE n.deleted = 0 AND (n.class & ?1) != 0 ORDER BY n.note_id";
  Stmt q;
  if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &q.s, nullptr) != SQLITE_OK) {
    return SqlFail("list its notes");
  }
  sqlite3_bind_int64(q.s, 1, class_mask);
  int rc;
  NoteRow row;
  while ((rc = sqlite3_step(q.s)) == SQLITE_ROW) {
    if (VXStatus s = ReadRowFrom(q.s, &row); s != kVXOk) return s;
    if (VXStatus s = each(row); s != kVXOk) return s;
  }
  if (rc != SQLITE_DONE) return SqlFail("list its notes");
  return kVXOk;
}

VXStatus ReplicaState::MaxSequence(int64_t* sequence) {
  return store_->Counters(sequence, nullptr);
}

VXStatus ReplicaState::ListOlderThan(int64_t ticks, std::vector<VXNoteId>* documents,
                                     std::vector<VXNoteId>* stubs) {
  documents->clear();
  stubs->clear();
  Stmt q;
  if (sqlite3_prepare_v2(
          db_,
          "SELECT note_id, deleted FROM notes WHERE modified < ?1 AND local_stub = 0 "
          "AND (deleted = 1 OR class = 1)",
          -1, &q.s, nullptr) != SQLITE_OK) {
    return SqlFail("find notes older than the cut-off");
  }
  sqlite3_bind_int64(q.s, 1, ticks);
  int rc;
  while ((rc = sqlite3_step(q.s)) == SQLITE_ROW) {
    VXNoteId id = static_cast<VXNoteId>(sqlite3_column_int64(q.s, 0));
    (sqlite3_column_int(q.s, 1) != 0 ? stubs : documents)->push_back(id);
  }
  if (rc != SQLITE_DONE) return SqlFail("find notes older than the cut-off");
  return kVXOk;
}

VXStatus ReplicaState::HasAttachments(VXNoteId id, bool* has) {
  if (VXStatus s =
          Prepare(&has_attachments_, "SELECT 1 FROM attachments WHERE note_id = ?1 LIMIT 1");
      s != kVXOk) {
    return s;
  }
  StmtReset reset{has_attachments_};
  sqlite3_bind_int64(has_attachments_, 1, id);
  int rc = sqlite3_step(has_attachments_);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) return SqlFail("look for attachments");
  *has = rc == SQLITE_ROW;
  return kVXOk;
}

VXStatus ReplicaState::NotesWithAttachments(std::vector<VXNoteId>* ids) {
  ids->clear();
  Stmt q;
  if (sqlite3_prepare_v2(db_, "SELECT DISTINCT note_id FROM attachments ORDER BY note_id", -1, &q.s,
                         nullptr) != SQLITE_OK) {
    return SqlFail("list attachments");
  }
  int rc;
  while ((rc = sqlite3_step(q.s)) == SQLITE_ROW) {
    ids->push_back(static_cast<VXNoteId>(sqlite3_column_int64(q.s, 0)));
  }
  if (rc != SQLITE_DONE) return SqlFail("list attachments");
  return kVXOk;
}

VXStatus ReplicaState::ReadItems(VXNoteId id, std::vector<Item>* items) {
  if (VXStatus s = Prepare(&items_, "SELECT items FROM notes WHERE note_id = ?1 AND deleted = 0");
      s != kVXOk) {
    return s;
  }
  StmtReset reset{items_};
  sqlite3_bind_int64(items_, 1, id);
  int rc = sqlite3_step(items_);
  if (rc == SQLITE_DONE) {
    return Fail(kVXNoteNotFound,
                "Document " + std::to_string(id) + " not found in " + store_->label());
  }
  if (rc != SQLITE_ROW) return SqlFail("read document " + std::to_string(id));
  if (!DecodeItems(sqlite3_column_blob(items_, 0),
                   static_cast<size_t>(sqlite3_column_bytes(items_, 0)), items)) {
    return Fail(kVXNotADatabase, "Document " + std::to_string(id) + " of " + store_->label() +
                                     " is damaged (its items do not read)");
  }
  return kVXOk;
}

Chain ReplicaState::EffectiveChain(const NoteRow& row, uint64_t origin) {
  if (row.has_state && row.state_sequence == row.sequence) return row.state_chain;
  Chain chain = row.has_state ? row.state_chain : Chain{};
  ExtendChain(&chain, Revision{row.modified, origin, row.sequence});
  return chain;
}

VXStatus ReplicaState::WriteState(VXNoteId id, int64_t sequence, const std::string& source,
                                  const Chain& chain) {
  if (VXStatus s = Prepare(&write_state_,
                           "INSERT OR REPLACE INTO repl_state(note_id, seq, source, revisions) "
                           "VALUES (?1, ?2, ?3, ?4)");
      s != kVXOk) {
    return s;
  }
  StmtReset reset{write_state_};
  std::string blob = EncodeChain(chain);
  sqlite3_bind_int64(write_state_, 1, id);
  sqlite3_bind_int64(write_state_, 2, sequence);
  sqlite3_bind_text(write_state_, 3, source.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_blob(write_state_, 4, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
  if (sqlite3_step(write_state_) != SQLITE_DONE) return SqlFail("record the revisions of a note");
  return kVXOk;
}

VXStatus ReplicaState::DropState(VXNoteId id) {
  if (!tables_) return kVXOk;
  if (VXStatus s = Prepare(&drop_state_, "DELETE FROM repl_state WHERE note_id = ?1"); s != kVXOk)
    return s;
  StmtReset reset{drop_state_};
  sqlite3_bind_int64(drop_state_, 1, id);
  if (sqlite3_step(drop_state_) != SQLITE_DONE) return SqlFail("forget the revisions of a note");
  return kVXOk;
}

VXStatus ReplicaState::SetModified(VXNoteId id, int64_t ticks) {
  if (VXStatus s = Prepare(&set_modified_, "UPDATE notes SET modified = ?2 WHERE note_id = ?1");
      s != kVXOk) {
    return s;
  }
  StmtReset reset{set_modified_};
  sqlite3_bind_int64(set_modified_, 1, id);
  sqlite3_bind_int64(set_modified_, 2, ticks);
  if (sqlite3_step(set_modified_) != SQLITE_DONE) return SqlFail("keep the time of a change");
  return kVXOk;
}

VXStatus ReplicaState::Reopen(VXNoteId id) {
  Stmt q;
  sqlite3_prepare_v2(db_, "UPDATE notes SET deleted = 0, local_stub = 0 WHERE note_id = ?1", -1,
                     &q.s, nullptr);
  sqlite3_bind_int64(q.s, 1, id);
  if (sqlite3_step(q.s) != SQLITE_DONE) return SqlFail("restore a deleted note");
  return kVXOk;
}

VXStatus ReplicaState::MarkLocalStub(VXNoteId id) {
  Stmt q;
  sqlite3_prepare_v2(db_, "UPDATE notes SET local_stub = 1 WHERE note_id = ?1 AND deleted = 1", -1,
                     &q.s, nullptr);
  sqlite3_bind_int64(q.s, 1, id);
  if (sqlite3_step(q.s) != SQLITE_DONE) return SqlFail("purge a deletion stub");
  return DropState(id);
}

VXStatus ReplicaState::SequenceOf(VXNoteId id, int64_t* sequence) {
  if (VXStatus s = Prepare(&sequence_of_, "SELECT seq FROM notes WHERE note_id = ?1"); s != kVXOk) {
    return s;
  }
  StmtReset reset{sequence_of_};
  sqlite3_bind_int64(sequence_of_, 1, id);
  if (sqlite3_step(sequence_of_) != SQLITE_ROW) return SqlFail("read the sequence of a note");
  *sequence = sqlite3_column_int64(sequence_of_, 0);
  return kVXOk;
}

VXStatus ReplicaState::History(const std::string& partner, int64_t* sequence) {
  *sequence = 0;
  if (!tables_) return kVXOk;
  Stmt q;
  sqlite3_prepare_v2(db_, "SELECT seq FROM repl_history WHERE partner = ?1", -1, &q.s, nullptr);
  sqlite3_bind_text(q.s, 1, partner.c_str(), -1, SQLITE_TRANSIENT);
  int rc = sqlite3_step(q.s);
  if (rc == SQLITE_ROW) {
    *sequence = sqlite3_column_int64(q.s, 0);
    return kVXOk;
  }
  if (rc == SQLITE_DONE) return kVXOk;
  return SqlFail("read its replication history");
}

VXStatus ReplicaState::SetHistory(const std::string& partner, int64_t sequence) {
  Stmt q;
  sqlite3_prepare_v2(db_,
                     "INSERT OR REPLACE INTO repl_history(partner, seq, time) VALUES (?1, ?2, ?3)",
                     -1, &q.s, nullptr);
  sqlite3_bind_text(q.s, 1, partner.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_int64(q.s, 2, sequence);
  sqlite3_bind_int64(q.s, 3, NowTicks());
  if (sqlite3_step(q.s) != SQLITE_DONE) return SqlFail("record its replication history");
  return kVXOk;
}

VXStatus ReplicaState::ClearHistory() {
  if (!tables_) return kVXOk;
  if (sqlite3_exec(db_, "DELETE FROM repl_history", nullptr, nullptr, nullptr) != SQLITE_OK) {
    return SqlFail("clear its replication history");
  }
  return kVXOk;
}

}  // namespace ledra::replication
