// The SQLite side of a Ledra database.
#include "ledra/note_store.h"
#include <algorithm>

#include <unistd.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>

#include "ledra/last_error.h"

namespace ledra {
namespace {

namespace fs = std::filesystem;

constexpr const char* kFormat = "ledra-store 1";

constexpr const char* kSchema = R"sql(
CREATE TABLE info(key TEXT PRIMARY KEY, value) WITHOUT ROWID;
CREATE TABLE notes(note_id INTEGER PRIMARY KEY, unid BLOB NOT NULL UNIQUE,
                   class INTEGER NOT NULL, created INTEGER NOT NULL, modified INTEGER NOT NULL,
                   seq INTEGER NOT NULL, parent BLOB, deleted INTEGER NOT NULL DEFAULT 0,
                   local_stub INTEGER NOT NULL DEFAULT 0, items BLOB);
CREATE INDEX notes_seq ON notes(seq);
CREATE INDEX notes_design ON notes(class) WHERE deleted = 0 AND class != 1;
CREATE TABLE attachments(note_id INTEGER NOT NULL, name TEXT NOT NULL COLLATE NOCASE,
                         flags INTEGER NOT NULL, size INTEGER NOT NULL, crc INTEGER NOT NULL,
                         data BLOB NOT NULL);
CREATE UNIQUE INDEX attachments_key ON attachments(note_id, name);
)sql";

// The largest note id: note ids are 32-bit and stay positive for callers
// that keep them in signed words.
constexpr int64_t kMaxNoteId = 0x7fffffff;


void BindBlob(sqlite3_stmt* s, int i, const std::string& b) {
  sqlite3_bind_blob64(s, i, b.data(), b.size(), SQLITE_TRANSIENT);
}

std::string ColumnBytes(sqlite3_stmt* s, int i) {
  const void* p = sqlite3_column_blob(s, i);
  int n = sqlite3_column_bytes(s, i);
  return p == nullptr ? std::string()
                      : std::string(static_cast<const char*>(p), static_cast<size_t>(n));
}

// Resets a statement whatever way the function leaves.
struct StmtReset {
  sqlite3_stmt* s;
  ~StmtReset() {
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
  }
};

// A one-off statement.
struct Stmt {
  sqlite3_stmt* s = nullptr;
  ~Stmt() { sqlite3_finalize(s); }
};

}  // namespace

std::string UnidBlob(const VXUnid& u) {
  std::string b(16, '\0');
  for (int w = 0; w < 4; ++w) {
    for (int i = 0; i < 4; ++i)
      b[w * 4 + i] = static_cast<char>((u.words[w] >> (24 - 8 * i)) & 0xff);
  }
  return b;
}

VXUnid BlobUnid(const void* data, int size) {
  VXUnid u;
  if (size != 16 || data == nullptr) return u;
  const unsigned char* p = static_cast<const unsigned char*>(data);
  for (int w = 0; w < 4; ++w) {
    u.words[w] = (static_cast<uint32_t>(p[w * 4]) << 24) |
                 (static_cast<uint32_t>(p[w * 4 + 1]) << 16) |
                 (static_cast<uint32_t>(p[w * 4 + 2]) << 8) | p[w * 4 + 3];
  }
  return u;
}

uint32_t Crc32(const std::string& bytes) {
  uLong crc = crc32(0L, Z_NULL, 0);
  const Bytef* p = reinterpret_cast<const Bytef*>(bytes.data());
  size_t left = bytes.size();
  while (left > 0) {
    uInt n = static_cast<uInt>(std::min<size_t>(left, 1u << 30));
    crc = crc32(crc, p, n);
    p += n;
    left -= n;
  }
  return static_cast<uint32_t>(crc);
}

bool Compress(const std::string& in, std::string* out) {
  uLongf bound = compressBound(static_cast<uLong>(in.size()));
  out->resize(bound);
  if (compress2(reinterpret_cast<Bytef*>(out->data()), &bound,
                reinterpret_cast<const Bytef*>(in.data()), static_cast<uLong>(in.size()),
                Z_DEFAULT_COMPRESSION) != Z_OK) {
    return false;
  }
  out->resize(bound);
  return true;
}

bool Uncompress(const std::string& in, uint64_t size, std::string* out) {
  // Sizes are checked so damaged data cannot ask for an absurd buffer.
  if (size > (uint64_t{1} << 32)) return false;
  out->resize(size);
  uLongf length = static_cast<uLongf>(size);
  int rc = uncompress(reinterpret_cast<Bytef*>(out->data()), &length,
                      reinterpret_cast<const Bytef*>(in.data()), static_cast<uLong>(in.size()));
  return rc == Z_OK && length == size;
}

NoteStore::~NoteStore() {
  if (batch_) (void)CommitBatch();
  for (sqlite3_stmt* s : statements_) sqlite3_finalize(s);
  sqlite3_close_v2(db_);
}

VXStatus NoteStore::SqlFail(const std::string& what) {
  int rc = db_ != nullptr ? sqlite3_extended_errcode(db_) : SQLITE_ERROR;
  std::string detail = db_ != nullptr ? sqlite3_errmsg(db_) : "cannot open";
  switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return Fail(kVXBusy, label_ + " is busy: another program kept it locked (" + what + ")",
                  static_cast<uint32_t>(rc));
    case SQLITE_NOTADB:
      return Fail(kVXNotADatabase, label_ + " is not a Ledra database", static_cast<uint32_t>(rc));
    case SQLITE_CORRUPT:
      return Fail(kVXNotADatabase, label_ + " is damaged (" + detail + "); run 'ledra check'",
                  static_cast<uint32_t>(rc));
    case SQLITE_FULL:
      return Fail(kVXStorageError, label_ + " cannot grow: the disk is full (" + what + ")",
                  static_cast<uint32_t>(rc));
    default:
      return Fail(kVXStorageError, label_ + ": cannot " + what + " (" + detail + ")",
                  static_cast<uint32_t>(rc));
  }
}

VXStatus NoteStore::Exec(const char* sql) {
  if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) return SqlFail(sql);
  return kVXOk;
}

sqlite3_stmt* NoteStore::Statement(Sql which) {
  static constexpr const char* kSql[kSqlCount] = {
      // kLoadSql
      "SELECT unid, class, created, modified, seq, parent, items FROM notes "
      "WHERE note_id = ?1 AND deleted = 0",
      // kInsertSql
      "INSERT INTO notes(unid, class, created, modified, seq, parent, items) "
      "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)",
      // kUpdateSql
      "UPDATE notes SET class = ?2, modified = ?3, seq = ?4, parent = ?5, items = ?6 "
      "WHERE note_id = ?1 AND deleted = 0",
      // kMaxSeqSql
      "SELECT max(seq) FROM notes",
      // kDocumentIdsSql
      "SELECT note_id FROM notes WHERE deleted = 0 AND (class & ?1) != 0 ORDER BY note_id",
      // kDesignIdsSql: design notes come from their partial index; a scan in
      // note-id order would read every document.
      "SELECT note_id FROM notes INDEXED BY notes_design "
      "WHERE deleted = 0 AND class != 1 AND (class & ?1) != 0",
      // kFindByUnidSql
      "SELECT note_id FROM notes WHERE unid = ?1 AND deleted = 0",
      // kChangedSinceSql
      "SELECT note_id, class, seq, deleted FROM notes WHERE seq > ?1 ORDER BY seq",
      // kLastDataChangeSql: walked from the newest change back, past the few
      // design changes.
      "SELECT modified FROM notes WHERE class = 1 ORDER BY seq DESC LIMIT 1",
      // kDesignChangedSql: stubs keep their class, so deletions count too.
      "SELECT 1 FROM notes WHERE seq > ?1 AND class != 1 LIMIT 1",
      // kDesignNotesSql
      "SELECT note_id, unid, class, created, modified, seq, parent, items FROM notes "
      "INDEXED BY notes_design WHERE deleted = 0 AND class != 1 ORDER BY note_id",
      // kGetInfoSql
      "SELECT value FROM info WHERE key = ?1",
      // kSetInfoSql
      "INSERT OR REPLACE INTO info(key, value) VALUES (?1, ?2)",
      // kBeginReadSql
      "BEGIN",
      // kEndReadSql
      "COMMIT",
  };
  sqlite3_stmt*& stmt = statements_[which];
  if (stmt == nullptr && sqlite3_prepare_v3(db_, kSql[which], -1, SQLITE_PREPARE_PERSISTENT, &stmt,
                                            nullptr) != SQLITE_OK) {
    sqlite3_finalize(stmt);
    stmt = nullptr;
  }
  return stmt;
}

NoteStore::Reading::Reading(NoteStore* store) : store_(store) {
  if (!sqlite3_get_autocommit(store->db_)) return;
  sqlite3_stmt* begin = store->Statement(kBeginReadSql);
  if (begin == nullptr) return;
  began_ = sqlite3_step(begin) == SQLITE_DONE;
  sqlite3_reset(begin);
}

NoteStore::Reading::~Reading() {
  if (!began_) return;
  sqlite3_stmt* end = store_->Statement(kEndReadSql);
  if (end != nullptr && sqlite3_step(end) == SQLITE_DONE) {
    sqlite3_reset(end);
    return;
  }
  if (end != nullptr) sqlite3_reset(end);
  // Nothing was written: ending the transaction any way will do.
  if (!sqlite3_get_autocommit(store_->db_))
    sqlite3_exec(store_->db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

VXStatus NoteStore::Open(const std::string& file, const std::string& label, int lock_wait_ms,
                         std::unique_ptr<NoteStore>* out, bool full_sync) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return Fail(kVXDatabaseNotFound, label + " not found");
  std::unique_ptr<NoteStore> store(new NoteStore(file, label));
  if (sqlite3_open_v2(file.c_str(), &store->db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX,
                      nullptr) != SQLITE_OK) {
    return store->SqlFail("open the file");
  }
  sqlite3_extended_result_codes(store->db_, 1);
  sqlite3_busy_timeout(store->db_, lock_wait_ms);
  // WAL lets readers and one writer of other processes work at once;
  // synchronous=NORMAL keeps every committed save across a process crash
  // (the WAL is synced at checkpoints), which is what the store promises.
  if (VXStatus s = store->Exec(full_sync ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL");
      s != kVXOk) {
    return s;
  }
  // Up to 64 MB of page cache (taken only as used): a batch of many saves
  // then stays in memory instead of spilling into the WAL mid-transaction.
  if (VXStatus s = store->Exec("PRAGMA cache_size=-65536"); s != kVXOk) return s;
  Stmt format;
  if (sqlite3_prepare_v2(store->db_, "SELECT value FROM info WHERE key='format'", -1, &format.s,
                         nullptr) != SQLITE_OK ||
      sqlite3_step(format.s) != SQLITE_ROW ||
      std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(format.s, 0)), kFormat) != 0) {
    int rc = sqlite3_errcode(store->db_);
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) return store->SqlFail("read its header");
    return Fail(kVXNotADatabase, label + " is not a Ledra database", static_cast<uint32_t>(rc));
  }
  // The journal mode is kept in the file; a file made elsewhere is switched once.
  Stmt mode;
  if (sqlite3_prepare_v2(store->db_, "PRAGMA journal_mode", -1, &mode.s, nullptr) == SQLITE_OK &&
      sqlite3_step(mode.s) == SQLITE_ROW &&
      std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(mode.s, 0)), "wal") != 0) {
    if (VXStatus s = store->Exec("PRAGMA journal_mode=WAL"); s != kVXOk) return s;
  }
  *out = std::move(store);
  return kVXOk;
}

VXStatus NoteStore::Create(const std::string& file, const std::string& label,
                           const std::string& title, const uint32_t replica_id[2]) {
  std::error_code ec;
  if (fs::exists(file, ec)) return Fail(kVXDatabaseExists, label + " already exists");
  fs::path parent = fs::path(file).parent_path();
  if (!parent.empty()) fs::create_directories(parent, ec);
  // Built under a temporary name and linked into place, so that no other
  // program ever opens a half-made database and two creators cannot both win.
  std::string temp = file + ".new-" + std::to_string(::getpid());
  ::unlink(temp.c_str());
  {
    std::unique_ptr<NoteStore> store(new NoteStore(temp, label));
    if (sqlite3_open_v2(temp.c_str(), &store->db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
      VXStatus s = store->SqlFail("create the file");
      ::unlink(temp.c_str());
      return s;
    }
    // 8 KB pages: a note row with its items blob (a few hundred bytes) and
    // the three indexes split pages less often than with 4 KB.
    VXStatus s = store->Exec("PRAGMA page_size=8192");
    if (s == kVXOk) s = store->Exec("PRAGMA journal_mode=WAL");
    if (s == kVXOk) s = store->Exec("BEGIN");
    if (s == kVXOk) s = store->Exec(kSchema);
    auto set = [&](const char* key, const std::string& value) {
      if (s == kVXOk) s = store->SetInfo(key, value);
    };
    set("format", kFormat);
    set("title", title);
    set("replica_id", std::to_string(replica_id[0]) + " " + std::to_string(replica_id[1]));
    set("created", std::to_string(NowTicks()));
    if (s == kVXOk) s = store->Exec("COMMIT");
    if (s != kVXOk) {
      store.reset();
      ::unlink(temp.c_str());
      return s;
    }
  }
  // The WAL of the temporary name is checkpointed and removed on close.
  if (::link(temp.c_str(), file.c_str()) != 0) {
    int err = errno;
    ::unlink(temp.c_str());
    if (err == EEXIST) return Fail(kVXDatabaseExists, label + " already exists");
    return Fail(kVXStorageError, label + " cannot be created: " + std::strerror(err));
  }
  ::unlink(temp.c_str());
  return kVXOk;
}

VXStatus NoteStore::Begin() {
  if (batch_) return kVXOk;
  return Exec("BEGIN IMMEDIATE");
}

VXStatus NoteStore::Commit() {
  if (batch_) return kVXOk;
  return Exec("COMMIT");
}

void NoteStore::Rollback() {
  // Notes saved in what is undone are gone again: what callers keep of
  // them, and the design, must be read anew.
  design_.Invalidate();
  ++changes_;
  if (batch_) {
    // A failed save inside a batch ends the batch: what it held is undone.
    batch_ = false;
    batch_seq_ = 0;
  }
  if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

VXStatus NoteStore::BeginBatch() {
  if (batch_) return kVXOk;
  if (VXStatus s = Exec("BEGIN IMMEDIATE"); s != kVXOk) return s;
  batch_ = true;
  batch_seq_ = 0;
  return kVXOk;
}

VXStatus NoteStore::CommitBatch() {
  if (!batch_) return kVXOk;
  batch_ = false;
  if (sqlite3_get_autocommit(db_)) return kVXOk;
  VXStatus s = Exec("COMMIT");
  if (s != kVXOk) Rollback();
  return s;
}

VXStatus NoteStore::NextSequence(bool data_change, int64_t* seq) {
  // Called inside the write transaction, so no other writer can take the
  // same number. Stubs are never removed, so the highest number only grows.
  // Inside a batch the write lock is held throughout, so the number read
  // once stays valid for every later save of the batch.
  (void)data_change;
  if (batch_ && batch_seq_ != 0) {
    *seq = ++batch_seq_;
    return kVXOk;
  }
  sqlite3_stmt* bump = Statement(kMaxSeqSql);
  if (bump == nullptr) return SqlFail("prepare a statement");
  StmtReset reset{bump};
  if (sqlite3_step(bump) != SQLITE_ROW) return SqlFail("number the change");
  *seq = sqlite3_column_int64(bump, 0) + 1;
  if (batch_) batch_seq_ = *seq;
  return kVXOk;
}

VXStatus NoteStore::ReadNote(sqlite3_stmt* q, int c, Note* note) {
  note->unid = BlobUnid(sqlite3_column_blob(q, c), sqlite3_column_bytes(q, c));
  note->note_class = static_cast<uint32_t>(sqlite3_column_int64(q, c + 1));
  note->created = sqlite3_column_int64(q, c + 2);
  note->modified = sqlite3_column_int64(q, c + 3);
  note->sequence = sqlite3_column_int64(q, c + 4);
  note->has_parent = sqlite3_column_type(q, c + 5) == SQLITE_BLOB;
  note->parent = note->has_parent
                     ? BlobUnid(sqlite3_column_blob(q, c + 5), sqlite3_column_bytes(q, c + 5))
                     : VXUnid{};
  if (!DecodeItems(sqlite3_column_blob(q, c + 6),
                   static_cast<size_t>(sqlite3_column_bytes(q, c + 6)), &note->items)) {
    return Fail(kVXNotADatabase, "Document " + std::to_string(note->id) + " of " + label_ +
                                     " is damaged (its items do not read)");
  }
  return kVXOk;
}

VXStatus NoteStore::Load(VXNoteId id, Note* note) {
  sqlite3_stmt* load = Statement(kLoadSql);
  if (load == nullptr) return SqlFail("prepare a statement");
  StmtReset reset{load};
  sqlite3_bind_int64(load, 1, id);
  int rc = sqlite3_step(load);
  if (rc == SQLITE_DONE) {
    return Fail(kVXNoteNotFound, "Document " + std::to_string(id) + " not found in " + label_);
  }
  if (rc != SQLITE_ROW) return SqlFail("read document " + std::to_string(id));
  note->id = id;
  return ReadNote(load, 0, note);
}

VXStatus NoteStore::LoadMany(const std::vector<VXNoteId>& ids, std::vector<Note>* notes) {
  notes->clear();
  notes->reserve(ids.size());
  Reading reading(this);
  for (VXNoteId id : ids) {
    Note note;
    VXStatus s = Load(id, &note);
    if (s == kVXNoteNotFound) continue;
    if (s != kVXOk) return s;
    notes->push_back(std::move(note));
  }
  return kVXOk;
}

VXStatus NoteStore::WriteAttachments(VXNoteId id, const std::vector<AttachmentChange>& changes) {
  for (const AttachmentChange& c : changes) {
    Stmt del;
    sqlite3_prepare_v2(db_, "DELETE FROM attachments WHERE note_id = ?1 AND name = ?2", -1, &del.s,
                       nullptr);
    sqlite3_bind_int64(del.s, 1, id);
    sqlite3_bind_text(del.s, 2, c.attachment.name.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(del.s) != SQLITE_DONE) return SqlFail("remove an attachment");
    if (c.remove) continue;
    Stmt ins;
    sqlite3_prepare_v2(db_,
                       "INSERT INTO attachments(note_id, name, flags, size, crc, data) "
                       "VALUES (?1, ?2, ?3, ?4, ?5, ?6)",
                       -1, &ins.s, nullptr);
    sqlite3_bind_int64(ins.s, 1, id);
    sqlite3_bind_text(ins.s, 2, c.attachment.name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(ins.s, 3, c.attachment.flags);
    sqlite3_bind_int64(ins.s, 4, static_cast<int64_t>(c.attachment.size));
    sqlite3_bind_int64(ins.s, 5, c.attachment.crc);
    sqlite3_bind_blob64(ins.s, 6, c.attachment.data.data(), c.attachment.data.size(),
                        SQLITE_STATIC);
    if (sqlite3_step(ins.s) != SQLITE_DONE) return SqlFail("store attachment " + c.attachment.name);
  }
  return kVXOk;
}

VXStatus NoteStore::Save(Note* note, const std::vector<AttachmentChange>& changes) {
  if (VXStatus s = Begin(); s != kVXOk) return s;
  int64_t seq = 0;
  VXStatus s = NextSequence(note->note_class == kVXClassDocument, &seq);
  int64_t now = NowTicks();
  std::string items = EncodeItems(note->items);
  if (s == kVXOk && note->id == 0) {
    sqlite3_stmt* insert = Statement(kInsertSql);
    if (insert == nullptr) s = SqlFail("prepare a statement");
    if (s == kVXOk) {
      StmtReset reset{insert};
      BindBlob(insert, 1, UnidBlob(note->unid));
      sqlite3_bind_int64(insert, 2, note->note_class);
      sqlite3_bind_int64(insert, 3, note->created != 0 ? note->created : now);
      sqlite3_bind_int64(insert, 4, now);
      sqlite3_bind_int64(insert, 5, seq);
      if (note->has_parent) BindBlob(insert, 6, UnidBlob(note->parent));
      sqlite3_bind_blob64(insert, 7, items.data(), items.size(), SQLITE_STATIC);
      if (sqlite3_step(insert) != SQLITE_DONE) {
        s = SqlFail("add a document");
      } else {
        int64_t id = sqlite3_last_insert_rowid(db_);
        if (id > kMaxNoteId) {
          s = Fail(kVXStorageError, label_ + " is full: it has used every note id");
        } else {
          note->id = static_cast<VXNoteId>(id);
          if (note->created == 0) note->created = now;
        }
      }
    }
  } else if (s == kVXOk) {
    sqlite3_stmt* update = Statement(kUpdateSql);
    if (update == nullptr) s = SqlFail("prepare a statement");
    if (s == kVXOk) {
      StmtReset reset{update};
      sqlite3_bind_int64(update, 1, note->id);
      sqlite3_bind_int64(update, 2, note->note_class);
      sqlite3_bind_int64(update, 3, now);
      sqlite3_bind_int64(update, 4, seq);
      if (note->has_parent) BindBlob(update, 5, UnidBlob(note->parent));
      sqlite3_bind_blob64(update, 6, items.data(), items.size(), SQLITE_STATIC);
      if (sqlite3_step(update) != SQLITE_DONE) {
        s = SqlFail("save document " + std::to_string(note->id));
      } else if (sqlite3_changes(db_) == 0) {
        s = Fail(kVXNoteNotFound, "Document " + std::to_string(note->id) + " of " + label_ +
                                      " was deleted by another program; it was not saved");
      }
    }
  }
  if (s == kVXOk) s = WriteAttachments(note->id, changes);
  if (s == kVXOk) s = Commit();
  if (s != kVXOk) {
    Rollback();
    return s;
  }
  design_.Saved(seq - 1, seq, note->note_class != kVXClassDocument);
  ++changes_;
  note->modified = now;
  note->sequence = seq;
  return kVXOk;
}

VXStatus NoteStore::Insert(Note* note, const std::vector<Attachment>& attachments) {
  std::vector<AttachmentChange> changes;
  for (const Attachment& a : attachments) changes.push_back(AttachmentChange{false, a});
  note->id = 0;
  return Save(note, changes);
}

VXStatus NoteStore::Delete(VXNoteId id, bool purge) {
  if (VXStatus s = Begin(); s != kVXOk) return s;
  VXStatus s = kVXOk;
  uint32_t note_class = 0;
  {
    Stmt find;
    sqlite3_prepare_v2(db_, "SELECT class FROM notes WHERE note_id = ?1 AND deleted = 0", -1,
                       &find.s, nullptr);
    sqlite3_bind_int64(find.s, 1, id);
    int rc = sqlite3_step(find.s);
    if (rc == SQLITE_ROW) {
      note_class = static_cast<uint32_t>(sqlite3_column_int64(find.s, 0));
    } else if (rc == SQLITE_DONE) {
      s = Fail(kVXNoteNotFound, "Document " + std::to_string(id) + " not found in " + label_);
    } else {
      s = SqlFail("find document " + std::to_string(id));
    }
  }
  int64_t seq = 0;
  if (s == kVXOk) s = NextSequence(note_class == kVXClassDocument, &seq);
  if (s == kVXOk) {
    Stmt stub;
    sqlite3_prepare_v2(db_,
                       "UPDATE notes SET deleted = 1, local_stub = ?2, items = NULL, seq = ?3, "
                       "modified = ?4 WHERE note_id = ?1",
                       -1, &stub.s, nullptr);
    sqlite3_bind_int64(stub.s, 1, id);
    sqlite3_bind_int(stub.s, 2, purge ? 1 : 0);
    sqlite3_bind_int64(stub.s, 3, seq);
    sqlite3_bind_int64(stub.s, 4, NowTicks());
    if (sqlite3_step(stub.s) != SQLITE_DONE) s = SqlFail("delete document " + std::to_string(id));
  }
  if (s == kVXOk) {
    Stmt att;
    sqlite3_prepare_v2(db_, "DELETE FROM attachments WHERE note_id = ?1", -1, &att.s, nullptr);
    sqlite3_bind_int64(att.s, 1, id);
    if (sqlite3_step(att.s) != SQLITE_DONE) s = SqlFail("delete the attachments of a document");
  }
  if (s == kVXOk) s = Commit();
  if (s != kVXOk) {
    Rollback();
    return s;
  }
  design_.Saved(seq - 1, seq, note_class != kVXClassDocument);
  ++changes_;
  return s;
}

VXNoteId NoteStore::FindByUnid(const VXUnid& unid) {
  sqlite3_stmt* q = Statement(kFindByUnidSql);
  if (q == nullptr) return 0;
  StmtReset reset{q};
  BindBlob(q, 1, UnidBlob(unid));
  if (sqlite3_step(q) != SQLITE_ROW) return 0;
  return static_cast<VXNoteId>(sqlite3_column_int64(q, 0));
}

VXNoteId NoteStore::FirstOfClass(uint32_t note_class) {
  Stmt q;
  sqlite3_prepare_v2(
      db_,
      note_class == kVXClassDocument
          ? "SELECT note_id FROM notes WHERE class = ?1 AND deleted = 0 ORDER BY note_id LIMIT 1"
          : "SELECT note_id FROM notes WHERE class = ?1 AND class != 1 AND deleted = 0 ORDER BY "
            "note_id LIMIT 1",
      -1, &q.s, nullptr);
  sqlite3_bind_int64(q.s, 1, note_class);
  if (sqlite3_step(q.s) != SQLITE_ROW) return 0;
  return static_cast<VXNoteId>(sqlite3_column_int64(q.s, 0));
}

std::vector<VXNoteId> NoteStore::NotesOfClass(uint32_t mask) {
  std::vector<VXNoteId> ids;
  sqlite3_stmt* q = Statement((mask & kVXClassDocument) != 0 ? kDocumentIdsSql : kDesignIdsSql);
  if (q == nullptr) return ids;
  StmtReset reset{q};
  sqlite3_bind_int64(q, 1, mask);
  while (sqlite3_step(q) == SQLITE_ROW) {
    ids.push_back(static_cast<VXNoteId>(sqlite3_column_int64(q, 0)));
  }
  std::sort(ids.begin(), ids.end());
  return ids;
}

VXStatus NoteStore::ChangedSince(int64_t since, std::vector<NoteChange>* changes) {
  changes->clear();
  sqlite3_stmt* q = Statement(kChangedSinceSql);
  if (q == nullptr) return SqlFail("prepare a statement");
  StmtReset reset{q};
  sqlite3_bind_int64(q, 1, since);
  int rc;
  while ((rc = sqlite3_step(q)) == SQLITE_ROW) {
    changes->push_back(NoteChange{static_cast<VXNoteId>(sqlite3_column_int64(q, 0)),
                                  static_cast<uint32_t>(sqlite3_column_int64(q, 1)),
                                  sqlite3_column_int64(q, 2), sqlite3_column_int(q, 3) != 0});
  }
  if (rc != SQLITE_DONE) return SqlFail("list changed notes");
  return kVXOk;
}

VXStatus NoteStore::Design(DesignCache** design) {
  Reading reading(this);
  *design = &design_;
  return design_.Refresh(this);
}

VXStatus NoteStore::MaxSequence(int64_t* sequence) {
  sqlite3_stmt* q = Statement(kMaxSeqSql);
  if (q == nullptr) return SqlFail("prepare a statement");
  StmtReset reset{q};
  if (sqlite3_step(q) != SQLITE_ROW) return SqlFail("read the modification sequence");
  *sequence = sqlite3_column_int64(q, 0);
  return kVXOk;
}

VXStatus NoteStore::DesignChangedSince(int64_t since, bool* changed) {
  sqlite3_stmt* q = Statement(kDesignChangedSql);
  if (q == nullptr) return SqlFail("prepare a statement");
  StmtReset reset{q};
  sqlite3_bind_int64(q, 1, since);
  int rc = sqlite3_step(q);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) return SqlFail("list changed design notes");
  *changed = rc == SQLITE_ROW;
  return kVXOk;
}

VXStatus NoteStore::ReadDesignNotes(std::vector<Note>* notes) {
  notes->clear();
  sqlite3_stmt* q = Statement(kDesignNotesSql);
  if (q == nullptr) return SqlFail("prepare a statement");
  StmtReset reset{q};
  int rc;
  while ((rc = sqlite3_step(q)) == SQLITE_ROW) {
    Note note;
    note.id = static_cast<VXNoteId>(sqlite3_column_int64(q, 0));
    // A design note whose items do not read is left out; 'ledra check'
    // reports it.
    if (ReadNote(q, 1, &note) == kVXOk) notes->push_back(std::move(note));
  }
  if (rc != SQLITE_DONE) return SqlFail("read the design notes");
  return kVXOk;
}

VXStatus NoteStore::ReadAttachment(VXNoteId id, const std::string& name, Attachment* out) {
  Stmt q;
  sqlite3_prepare_v2(db_,
                     "SELECT name, flags, size, crc, data FROM attachments WHERE note_id = ?1 AND "
                     "name = ?2",
                     -1, &q.s, nullptr);
  sqlite3_bind_int64(q.s, 1, id);
  sqlite3_bind_text(q.s, 2, name.c_str(), -1, SQLITE_TRANSIENT);
  int rc = sqlite3_step(q.s);
  if (rc == SQLITE_DONE) {
    return Fail(kVXAttachmentNotFound, "Attachment " + name + " not found in document " +
                                           std::to_string(id) + " of " + label_);
  }
  if (rc != SQLITE_ROW) return SqlFail("read attachment " + name);
  out->name = reinterpret_cast<const char*>(sqlite3_column_text(q.s, 0));
  out->flags = static_cast<uint32_t>(sqlite3_column_int64(q.s, 1));
  out->size = static_cast<uint64_t>(sqlite3_column_int64(q.s, 2));
  out->crc = static_cast<uint32_t>(sqlite3_column_int64(q.s, 3));
  out->data = ColumnBytes(q.s, 4);
  return kVXOk;
}

VXStatus NoteStore::ListAttachments(VXNoteId id, std::vector<Attachment>* out) {
  out->clear();
  Stmt q;
  sqlite3_prepare_v2(db_,
                     "SELECT name, flags, size, crc FROM attachments WHERE note_id = ?1 ORDER BY "
                     "rowid",
                     -1, &q.s, nullptr);
  sqlite3_bind_int64(q.s, 1, id);
  int rc;
  while ((rc = sqlite3_step(q.s)) == SQLITE_ROW) {
    Attachment a;
    a.name = reinterpret_cast<const char*>(sqlite3_column_text(q.s, 0));
    a.flags = static_cast<uint32_t>(sqlite3_column_int64(q.s, 1));
    a.size = static_cast<uint64_t>(sqlite3_column_int64(q.s, 2));
    a.crc = static_cast<uint32_t>(sqlite3_column_int64(q.s, 3));
    out->push_back(std::move(a));
  }
  if (rc != SQLITE_DONE) return SqlFail("list attachments");
  return kVXOk;
}

VXStatus NoteStore::GetInfo(const std::string& key, std::string* value) {
  value->clear();
  sqlite3_stmt* q = Statement(kGetInfoSql);
  if (q == nullptr) return SqlFail("read database information");
  StmtReset reset{q};
  sqlite3_bind_text(q, 1, key.c_str(), -1, SQLITE_TRANSIENT);
  int rc = sqlite3_step(q);
  if (rc == SQLITE_ROW) {
    const unsigned char* t = sqlite3_column_text(q, 0);
    if (t != nullptr) *value = reinterpret_cast<const char*>(t);
    return kVXOk;
  }
  if (rc == SQLITE_DONE) return kVXOk;
  return SqlFail("read database information");
}

VXStatus NoteStore::SetInfo(const std::string& key, const std::string& value) {
  sqlite3_stmt* q = Statement(kSetInfoSql);
  if (q == nullptr) return SqlFail("write database information");
  StmtReset reset{q};
  sqlite3_bind_text(q, 1, key.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(q, 2, value.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(q) != SQLITE_DONE) return SqlFail("write database information");
  return kVXOk;
}

int64_t NoteStore::InfoNumber(const std::string& key, int64_t fallback) {
  std::string v;
  if (GetInfo(key, &v) != kVXOk || v.empty()) return fallback;
  return std::strtoll(v.c_str(), nullptr, 10);
}

VXStatus NoteStore::Counters(int64_t* sequence, int64_t* data_modified) {
  Reading reading(this);
  if (sequence != nullptr) {
    if (VXStatus s = MaxSequence(sequence); s != kVXOk) return s;
  }
  if (data_modified != nullptr) {
    sqlite3_stmt* q = Statement(kLastDataChangeSql);
    if (q == nullptr) return SqlFail("read the last data modification");
    StmtReset reset{q};
    int rc = sqlite3_step(q);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return SqlFail("read the last data modification");
    *data_modified = rc == SQLITE_ROW ? sqlite3_column_int64(q, 0) : 0;
  }
  return kVXOk;
}

VXStatus NoteStore::SpaceUsage(int64_t* used, int64_t* free_bytes) {
  auto pragma = [&](const char* sql, int64_t* v) {
    Stmt q;
    sqlite3_prepare_v2(db_, sql, -1, &q.s, nullptr);
    if (sqlite3_step(q.s) != SQLITE_ROW) return false;
    *v = sqlite3_column_int64(q.s, 0);
    return true;
  };
  int64_t pages = 0, free_pages = 0, page_size = 0;
  if (!pragma("PRAGMA page_count", &pages) || !pragma("PRAGMA freelist_count", &free_pages) ||
      !pragma("PRAGMA page_size", &page_size)) {
    return SqlFail("measure the file");
  }
  *used = (pages - free_pages) * page_size;
  *free_bytes = free_pages * page_size;
  return kVXOk;
}

VXStatus NoteStore::Check(std::vector<std::string>* problems) {
  problems->clear();
  {
    Stmt q;
    if (sqlite3_prepare_v2(db_, "PRAGMA integrity_check", -1, &q.s, nullptr) != SQLITE_OK) {
      return SqlFail("check the file");
    }
    while (sqlite3_step(q.s) == SQLITE_ROW) {
      std::string line = reinterpret_cast<const char*>(sqlite3_column_text(q.s, 0));
      if (line != "ok") problems->push_back("storage: " + line);
    }
  }
  std::vector<std::pair<VXNoteId, std::vector<std::string>>> file_items;
  {
    Stmt q;
    sqlite3_prepare_v2(db_, "SELECT note_id, items, length(unid) FROM notes WHERE deleted = 0", -1,
                       &q.s, nullptr);
    int rc;
    while ((rc = sqlite3_step(q.s)) == SQLITE_ROW) {
      VXNoteId id = static_cast<VXNoteId>(sqlite3_column_int64(q.s, 0));
      std::vector<Item> items;
      if (!DecodeItems(sqlite3_column_blob(q.s, 1),
                       static_cast<size_t>(sqlite3_column_bytes(q.s, 1)), &items)) {
        problems->push_back("note " + std::to_string(id) + ": items do not read");
        continue;
      }
      if (sqlite3_column_int(q.s, 2) != 16) {
        problems->push_back("note " + std::to_string(id) + ": UNID is not 16 bytes");
      }
      for (const Item& item : items) {
        if (item.type == kVXTypeAttachmentRef && SameName(item.name, "$FILE")) {
          file_items.emplace_back(id, SplitTextList(item.value));
        }
      }
    }
    if (rc != SQLITE_DONE) return SqlFail("read the notes");
  }
  {
    Stmt q;
    sqlite3_prepare_v2(db_,
                       "SELECT a.note_id, a.name, a.flags, a.size, a.crc, a.data, n.deleted FROM "
                       "attachments a LEFT JOIN notes n ON n.note_id = a.note_id",
                       -1, &q.s, nullptr);
    int rc;
    while ((rc = sqlite3_step(q.s)) == SQLITE_ROW) {
      VXNoteId id = static_cast<VXNoteId>(sqlite3_column_int64(q.s, 0));
      std::string name = reinterpret_cast<const char*>(sqlite3_column_text(q.s, 1));
      std::string where = "note " + std::to_string(id) + " attachment " + name;
      if (sqlite3_column_type(q.s, 6) == SQLITE_NULL || sqlite3_column_int(q.s, 6) != 0) {
        problems->push_back(where + ": belongs to no live note");
        continue;
      }
      uint64_t size = static_cast<uint64_t>(sqlite3_column_int64(q.s, 3));
      std::string data = ColumnBytes(q.s, 5), plain;
      if ((sqlite3_column_int64(q.s, 2) & 1) != 0) {
        if (!Uncompress(data, size, &plain)) {
          problems->push_back(where + ": compressed data do not expand to its size");
          continue;
        }
      } else {
        plain.swap(data);
      }
      if (plain.size() != size) problems->push_back(where + ": size differs");
      if (Crc32(plain) != static_cast<uint32_t>(sqlite3_column_int64(q.s, 4))) {
        problems->push_back(where + ": checksum differs");
      }
      bool listed = false;
      for (const auto& [note, names] : file_items) {
        if (note != id) continue;
        for (const std::string& n : names) listed = listed || SameName(n, name);
      }
      if (!listed) problems->push_back(where + ": not named in the note's $FILE item");
    }
    if (rc != SQLITE_DONE) return SqlFail("read the attachments");
  }
  for (const auto& [id, names] : file_items) {
    for (const std::string& n : names) {
      Attachment a;
      if (ReadAttachment(id, n, &a) != kVXOk) {
        problems->push_back("note " + std::to_string(id) + ": $FILE names " + n +
                            ", which is not stored");
      }
    }
  }
  std::string format;
  if (GetInfo("format", &format) != kVXOk || format != kFormat) {
    problems->push_back("header: format is not " + std::string(kFormat));
  }
  return kVXOk;
}

VXStatus NoteStore::Vacuum() {
  if (VXStatus s = Exec("VACUUM"); s != kVXOk) return s;
  return Exec("PRAGMA wal_checkpoint(TRUNCATE)");
}

}  // namespace ledra
