// What replication needs of a database and of a server, behind two
// interfaces, so that the replicator does not care where a database lives.
// Today a server is a folder named in ledra.ini (folder_server.h) and a
// database is a store file in it (store_replica.h); a remote store would
// answer the same calls over its own link.
//
// One transfer moves changes one way, from a sender to a receiver:
//   receiver.ReceivedThrough(sender)       -> since (its history of the sender)
//   sender.BeginSend(); sender.ListChanges(since, receiver)
//   receiver.BeginReceive(sender)          (one transaction on the receiver)
//   receiver.Receive(change, fetch) for each change, in sequence order;
//       fetch reads the whole note from the sender only when it is needed
//   receiver.EndReceive(commit, through)   (history and changes together)
//   sender.EndSend()
// The receiver alone decides what it takes (its selective formula and
// cut-off, newer or older revision, conflicts), so the same rules hold
// whichever side starts the exchange.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ledra/note.h"
#include "ledra/note_store.h"
#include "ledra/replication/revision.h"
#include "ledra/vx_types.h"

namespace ledra::replication {

struct ReplicaIdentity {
  uint32_t replica_id[2] = {0, 0};  // shared by every replica of a database
  uint64_t instance = 0;            // this one file
  std::string label;                // "Database Hub!!sales.ldf" for messages
};

// A note or deletion stub as the sender lists it.
struct NoteSummary {
  VXNoteId id = 0;  // the sender's note id
  VXUnid unid;
  uint32_t note_class = kVXClassDocument;
  int64_t sequence = 0;
  int64_t modified = 0;  // for a stub: when it was deleted
  bool deleted = false;
  Chain chain;
};

struct ChangeList {
  std::vector<NoteSummary> changes;  // in the sender's sequence order
  int64_t through = 0;               // the sender's modification sequence when listed
};

// A whole note: identity, times, parent, items, attachments, revisions.
struct NoteVersion {
  Note note;
  std::vector<Attachment> attachments;
  Chain chain;
};

struct ReceiveCounts {
  uint32_t additions = 0;  // notes the receiver did not hold (or held only as a stub)
  uint32_t deletions = 0;  // notes it held, now deletion stubs
  uint32_t updates = 0;    // notes it held, now the sender's newer version
  uint32_t conflicts = 0;  // conflict documents it made
  uint32_t removed = 0;    // received documents its new selective formula
                           // no longer selects, removed there only
};

// Reads the whole note of the change being received from the sender.
using FetchNote = std::function<VXStatus(NoteVersion*)>;

class ReplicaDatabase {
 public:
  virtual ~ReplicaDatabase() = default;
  virtual const std::string& label() const = 0;
  // Replica id and instance.
  [[nodiscard]] virtual VXStatus Identify(ReplicaIdentity* out) = 0;

  // Sending. Between BeginSend and EndSend the database is read as it was
  // at BeginSend. class_mask 0: documents and every design class except
  // replication formulas, which stay with their replica.
  [[nodiscard]] virtual VXStatus BeginSend() = 0;
  // Changes after sequence since, leaving out what came from the receiver
  // and has not changed here since (it holds that already).
  [[nodiscard]] virtual VXStatus ListChanges(int64_t since, uint64_t receiver, uint32_t class_mask,
                                             ChangeList* out) = 0;
  // kVXNoteNotFound when the note is a deletion stub.
  [[nodiscard]] virtual VXStatus ReadNote(const NoteSummary& which, NoteVersion* out) = 0;
  virtual void EndSend() = 0;

  // Receiving. since: the sender's sequence through which everything was
  // received (0 for a sender never met, or when this database's selective
  // formula or cut-off changed since).
  [[nodiscard]] virtual VXStatus ReceivedThrough(uint64_t sender, int64_t* since) = 0;
  [[nodiscard]] virtual VXStatus BeginReceive(uint64_t sender, int64_t* since,
                                              ReceiveCounts* counts) = 0;
  [[nodiscard]] virtual VXStatus Receive(const NoteSummary& change, const FetchNote& fetch,
                                         ReceiveCounts* counts) = 0;
  // commit: keeps what was received and records through; otherwise
  // everything since BeginReceive is undone.
  [[nodiscard]] virtual VXStatus EndReceive(bool commit, int64_t through) = 0;

  // Removes (without replicating the removal) documents and deletion stubs
  // older than the database's cut-off, when its replication options ask.
  [[nodiscard]] virtual VXStatus PurgeBeforeCutoff(uint32_t* purged) = 0;

  // The path of the replica last used on a server ("" when none).
  [[nodiscard]] virtual VXStatus PartnerPath(const std::string& server, std::string* path) = 0;
  [[nodiscard]] virtual VXStatus RememberPartner(const std::string& server,
                                                 const std::string& path) = 0;
};

class ReplicaServer {
 public:
  virtual ~ReplicaServer() = default;
  virtual const std::string& name() const = 0;
  // Fails with kVXDatabaseNotFound when there is no database at path.
  [[nodiscard]] virtual VXStatus Open(const std::string& path,
                                      std::unique_ptr<ReplicaDatabase>* out) = 0;
  // Paths of the databases with this replica id, shortest first.
  [[nodiscard]] virtual VXStatus Locate(const uint32_t replica_id[2],
                                        std::vector<std::string>* paths) = 0;
};

// The server of that name. open_flags as VXDatabaseOpen's (2: wait for
// locks as a job does).
[[nodiscard]] VXStatus OpenServer(const std::string& name, uint32_t open_flags,
                                  std::unique_ptr<ReplicaServer>* out);

}  // namespace ledra::replication
