// One Ledra database file on SQLite: notes with their items blob (see
// ledra/note.h), attachments, database information and the modification
// sequence. One NoteStore is one SQLite connection; several processes and
// connections use a file at once (WAL journal, busy time-out).
//
// Schema (format "ledra-store 1"):
//   info(key TEXT PRIMARY KEY, value)        one row per key: format, title,
//       replica_id ("W1 W2" in decimal), created (ticks), template,
//       design_template, default_form, default_view (note ids), cutoff_days,
//       repl_options, cutoff (ticks), encryption_level (requested, never applied),
//       ft_present (0/1) and ft_updated (ticks) for the full-text module
//   notes(note_id INTEGER PRIMARY KEY, unid BLOB UNIQUE, class,
//         created, modified, seq, parent BLOB, deleted, local_stub, items BLOB)
//       A deleted note stays as a stub (deleted=1, no items) carrying the
//       sequence of its deletion, so that a view refreshing "changed since
//       sequence S" sees it. Stubs are never removed, so a new note id
//       (the highest + 1) is never one used before, and max(seq) is the
//       database's modification sequence. seq is indexed (view refresh),
//       and so are the design notes by class.
//   attachments(note_id, name, flags, size, crc, data)   flags 1: data is
//       zlib-compressed; size and crc (CRC-32) are of the original bytes.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ledra/design_cache.h"
#include "ledra/note.h"
#include "ledra/vx_types.h"

namespace ledra {

// An attachment stored with a note, or to be stored by the next save.
struct Attachment {
  std::string name;
  uint32_t flags = 0;  // 1 compressed
  uint64_t size = 0;   // original bytes
  uint32_t crc = 0;    // CRC-32 of the original bytes
  std::string data;    // stored bytes
};

struct AttachmentChange {
  bool remove = false;
  Attachment attachment;  // name only, for a removal
};

// One changed note, as a view refresh reads them.
struct NoteChange {
  VXNoteId id = 0;
  uint32_t note_class = 0;
  int64_t sequence = 0;
  bool deleted = false;
};

class NoteStore {
 public:
  ~NoteStore();
  NoteStore(const NoteStore&) = delete;
  NoteStore& operator=(const NoteStore&) = delete;

  // Opens an existing database file. label names it in messages
  // ("Database Local!!x.ldf"). lock_wait_ms bounds waits for other writers.
  // full_sync: every commit is synced to disk (survives power loss, slower);
  // otherwise commits survive any crash of the program, and the WAL is
  // synced at checkpoints.
  [[nodiscard]] static VXStatus Open(const std::string& file, const std::string& label,
                                     int lock_wait_ms, std::unique_ptr<NoteStore>* out,
                                     bool full_sync = false);
  // Makes a new database file; fails with kVXDatabaseExists when it exists.
  [[nodiscard]] static VXStatus Create(const std::string& file, const std::string& label,
                                       const std::string& title, const uint32_t replica_id[2]);

  const std::string& file() const { return file_; }
  const std::string& label() const { return label_; }

  // A live note (not a deletion stub); kVXNoteNotFound otherwise.
  [[nodiscard]] VXStatus Load(VXNoteId id, Note* note);
  // The live notes of `ids` read in one read transaction, so that they
  // agree with one another. A note that is not found (deleted) is left out
  // of `notes` without failing.
  [[nodiscard]] VXStatus LoadMany(const std::vector<VXNoteId>& ids, std::vector<Note>* notes);
  // Writes the note and the attachment changes in one transaction; a new
  // note gets its id. Fills in modified and sequence.
  [[nodiscard]] VXStatus Save(Note* note, const std::vector<AttachmentChange>& changes);
  // Leaves a deletion stub; purge marks it local (not replicated).
  [[nodiscard]] VXStatus Delete(VXNoteId id, bool purge);
  // A note copied as a new note (new UNID) into this store, with attachments.
  [[nodiscard]] VXStatus Insert(Note* note, const std::vector<Attachment>& attachments);

  VXNoteId FindByUnid(const VXUnid& unid);
  VXNoteId FirstOfClass(uint32_t note_class);
  // Live note ids whose class has a bit in mask, in note id order.
  std::vector<VXNoteId> NotesOfClass(uint32_t mask);
  // Every note (stubs included) saved or deleted after sequence since, in
  // sequence order.
  [[nodiscard]] VXStatus ChangedSince(int64_t since, std::vector<NoteChange>* changes);

  // The design notes, up to date with the file; the cache stays valid until
  // the next call on this store. Lock as for every call.
  [[nodiscard]] VXStatus Design(DesignCache** design);
  // What the design cache reads (inside the caller's read transaction): the
  // highest sequence, whether a design note was saved or deleted after
  // `since`, and every live design note in note id order.
  [[nodiscard]] VXStatus MaxSequence(int64_t* sequence);
  [[nodiscard]] VXStatus DesignChangedSince(int64_t since, bool* changed);
  [[nodiscard]] VXStatus ReadDesignNotes(std::vector<Note>* notes);

  // One read transaction for the life of the object, so that several reads
  // see one state of the file and take its lock once. Nothing when the
  // store is already inside a transaction (a batch, a save, another
  // Reading).
  class Reading {
   public:
    explicit Reading(NoteStore* store);
    ~Reading();
    Reading(const Reading&) = delete;
    Reading& operator=(const Reading&) = delete;

   private:
    NoteStore* store_;
    bool began_ = false;
  };

  [[nodiscard]] VXStatus ReadAttachment(VXNoteId id, const std::string& name, Attachment* out);
  // Names and sizes (data left empty).
  [[nodiscard]] VXStatus ListAttachments(VXNoteId id, std::vector<Attachment>* out);

  [[nodiscard]] VXStatus GetInfo(const std::string& key, std::string* value);
  [[nodiscard]] VXStatus SetInfo(const std::string& key, const std::string& value);
  int64_t InfoNumber(const std::string& key, int64_t fallback);
  [[nodiscard]] VXStatus Counters(int64_t* sequence, int64_t* data_modified);
  [[nodiscard]] VXStatus SpaceUsage(int64_t* used, int64_t* free_bytes);

  // An explicit transaction holding several saves (database property 30).
  [[nodiscard]] VXStatus BeginBatch();
  [[nodiscard]] VXStatus CommitBatch();
  bool in_batch() const { return batch_; }
  // Counts the saves and deletions made through this store, so that what a
  // caller keeps of notes it read can be checked against its own writes.
  uint64_t changes() const { return changes_; }

  // Integrity: SQLite's own check, every items blob decodes, every
  // attachment's bytes match its size and CRC, the "$FILE" items match the
  // attachments. Each problem is one line.
  [[nodiscard]] VXStatus Check(std::vector<std::string>* problems);
  [[nodiscard]] VXStatus Vacuum();

  sqlite3* db() { return db_; }

 private:
  // The statements the store keeps prepared, by what they do.
  enum Sql : int {
    kLoadSql,
    kInsertSql,
    kUpdateSql,
    kMaxSeqSql,
    kDocumentIdsSql,
    kDesignIdsSql,
    kFindByUnidSql,
    kChangedSinceSql,
    kLastDataChangeSql,
    kDesignChangedSql,
    kDesignNotesSql,
    kGetInfoSql,
    kSetInfoSql,
    kBeginReadSql,
    kEndReadSql,
    kSqlCount
  };

  NoteStore(std::string file, std::string label)
      : file_(std::move(file)), label_(std::move(label)) {}
  VXStatus SqlFail(const std::string& what);
  VXStatus Exec(const char* sql);
  // The prepared statement, prepared on first use; null on failure (the
  // error is then the connection's).
  sqlite3_stmt* Statement(Sql which);
  VXStatus Begin();
  VXStatus Commit();
  void Rollback();
  VXStatus NextSequence(bool data_change, int64_t* seq);
  VXStatus WriteAttachments(VXNoteId id, const std::vector<AttachmentChange>& changes);
  VXStatus ReadNote(sqlite3_stmt* stmt, int first_column, Note* note);

  std::string file_;
  std::string label_;
  sqlite3* db_ = nullptr;
  bool batch_ = false;
  int64_t batch_seq_ = 0;  // last sequence number given inside the batch
  sqlite3_stmt* statements_[kSqlCount] = {};
  uint64_t changes_ = 0;
  DesignCache design_;
};

// zlib helpers for attachments.
uint32_t Crc32(const std::string& bytes);
[[nodiscard]] bool Compress(const std::string& in, std::string* out);
[[nodiscard]] bool Uncompress(const std::string& in, uint64_t size, std::string* out);

// UNIDs as the notes table stores them: 16 bytes, each word big-endian.
std::string UnidBlob(const VXUnid& unid);
VXUnid BlobUnid(const void* data, int size);

}  // namespace ledra
