// The replication state a database file keeps beside its notes, and the
// few direct reads and writes of the notes table that replication needs
// beyond the store's own calls. Every other write goes through NoteStore
// (Save, Delete), which numbers the change.
//
// Tables (made by the first replication that writes into the file):
//   repl_state(note_id INTEGER PRIMARY KEY, seq, source TEXT, revisions BLOB)
//       The revisions of a note as of its sequence seq (revision.h), and
//       the instance ("" for this one) that the version came from. A note
//       without a row, or saved again since seq, adds its own save or
//       deletion as the newest revision (EffectiveChain).
//   repl_history(partner TEXT PRIMARY KEY, seq, time)
//       Per partner instance: its modification sequence through which every
//       change has been received here, and when that was recorded.
// Keys of the info table:
//   instance              this file's instance, 16 hex digits (written when
//                         it is made as a replica; see Instance)
//   repl_filter           what the recorded history was received under (the
//                         selective formula and cut-off); history is
//                         forgotten when it changes
//   repl_partner.<server> path of the replica last used on that server
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ledra/note.h"
#include "ledra/note_store.h"
#include "ledra/replication/revision.h"
#include "ledra/vx_types.h"

namespace ledra::replication {

// A note's row (without its items) with its replication state.
struct NoteRow {
  VXNoteId id = 0;
  VXUnid unid;
  uint32_t note_class = 0;
  int64_t created = 0;
  int64_t modified = 0;
  int64_t sequence = 0;
  bool deleted = false;
  bool local_stub = false;  // a purge: not replicated
  bool has_parent = false;
  VXUnid parent;
  bool has_state = false;
  int64_t state_sequence = 0;
  std::string source;
  Chain state_chain;
};

class ReplicaState {
 public:
  explicit ReplicaState(NoteStore* store);
  ~ReplicaState();
  ReplicaState(const ReplicaState&) = delete;
  ReplicaState& operator=(const ReplicaState&) = delete;

  NoteStore* store() { return store_; }
  // This file's instance, as recorded, else as its replica id and creation
  // time name it (no write).
  [[nodiscard]] VXStatus Instance(uint64_t* origin);
  // Gives a new replica an instance of its own (it shares the replica id,
  // and may share the creation time, with another).
  [[nodiscard]] VXStatus NewInstance(uint64_t* origin);
  // Makes the tables; call inside the write transaction.
  [[nodiscard]] VXStatus EnsureTables();
  // After a rollback: the tables may be gone again with it.
  void AfterRollback();

  // A note in any state (live, stub, purged) by UNID.
  [[nodiscard]] VXStatus FindByUnid(const VXUnid& unid, NoteRow* row, bool* found);
  [[nodiscard]] VXStatus ReadRow(VXNoteId id, NoteRow* row, bool* found);
  // Every note saved or deleted after sequence since, in sequence order;
  // each stops the walk by returning false.
  [[nodiscard]] VXStatus ListSince(int64_t since, const std::function<bool(const NoteRow&)>& each);
  // Live notes of the class mask, in note id order.
  [[nodiscard]] VXStatus ListLive(uint32_t class_mask,
                                  const std::function<VXStatus(const NoteRow&)>& each);
  [[nodiscard]] VXStatus MaxSequence(int64_t* sequence);
  // Live documents and replicated deletion stubs last changed before ticks.
  [[nodiscard]] VXStatus ListOlderThan(int64_t ticks, std::vector<VXNoteId>* documents,
                                       std::vector<VXNoteId>* stubs);
  // Whether the note has attachments (a lookup in their index; the store's
  // own listing prepares its statement each time).
  [[nodiscard]] VXStatus HasAttachments(VXNoteId id, bool* has);
  // The notes that have attachments, sorted.
  [[nodiscard]] VXStatus NotesWithAttachments(std::vector<VXNoteId>* ids);
  [[nodiscard]] VXStatus ReadItems(VXNoteId id, std::vector<Item>* items);
  // The note's revisions as of now: its recorded chain, plus its own last
  // save or deletion when that came after.
  static Chain EffectiveChain(const NoteRow& row, uint64_t origin);

  [[nodiscard]] VXStatus WriteState(VXNoteId id, int64_t sequence, const std::string& source,
                                    const Chain& chain);
  [[nodiscard]] VXStatus DropState(VXNoteId id);
  // Keeps the time a version was made elsewhere (the store's save stamps now).
  [[nodiscard]] VXStatus SetModified(VXNoteId id, int64_t ticks);
  // A deletion stub made live again, so that the next save fills it.
  [[nodiscard]] VXStatus Reopen(VXNoteId id);
  // A deletion stub no longer replicated.
  [[nodiscard]] VXStatus MarkLocalStub(VXNoteId id);
  [[nodiscard]] VXStatus SequenceOf(VXNoteId id, int64_t* sequence);

  [[nodiscard]] VXStatus History(const std::string& partner, int64_t* sequence);
  [[nodiscard]] VXStatus SetHistory(const std::string& partner, int64_t sequence);
  [[nodiscard]] VXStatus ClearHistory();

 private:
  VXStatus SqlFail(const std::string& what);
  VXStatus Prepare(sqlite3_stmt** stmt, const char* sql);
  bool TablesExist();
  VXStatus ReadRowFrom(sqlite3_stmt* stmt, NoteRow* row);

  NoteStore* store_;
  sqlite3* db_;
  bool tables_ = false;
  sqlite3_stmt* by_unid_ = nullptr;
  sqlite3_stmt* by_id_ = nullptr;
  sqlite3_stmt* items_ = nullptr;
  sqlite3_stmt* write_state_ = nullptr;
  sqlite3_stmt* drop_state_ = nullptr;
  sqlite3_stmt* set_modified_ = nullptr;
  sqlite3_stmt* sequence_of_ = nullptr;
  sqlite3_stmt* has_attachments_ = nullptr;
};

// UNIDs as the notes table stores them (ledra/note_store.h).
using ledra::BlobUnid;
using ledra::UnidBlob;

}  // namespace ledra::replication
