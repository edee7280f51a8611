// A database file of this platform as one side of a replication: the
// ReplicaDatabase calls on a NoteStore and its replication state.
//
// What the receiving side does with each change of the sender:
//   sender has      held here            result
//   a version       nothing, or a purge  added, when the filter takes it
//   a version       older revision       updated (filter permitting)
//   a version       same or newer        nothing
//   a version       a conflicting one    the later change wins; the loser is
//                                        kept as a conflict document
//   a stub          older revision       deleted
//   a stub          conflicting edit     the later change wins; a losing edit
//                                        is kept as a conflict document
// A conflict document is the losing version with the item "$Conflict",
// a response to the winning note (a main document again when the winner is
// a deletion). Its UNID and revisions follow from the note and the losing
// revision alone, so every replica that settles the conflict makes the same
// document and they meet as one.
#pragma once

#include <memory>
#include <string>

#include "ledra/objects.h"
#include "ledra/replication/receive_filter.h"
#include "ledra/replication/replica_database.h"
#include "ledra/replication/replica_state.h"

namespace ledra::replication {

// The item that marks a conflict document.
inline constexpr char kConflictItem[] = "$Conflict";

class StoreReplica : public ReplicaDatabase {
 public:
  // Opens server!!path; open_flags as VXDatabaseOpen's.
  [[nodiscard]] static VXStatus Open(const std::string& server, const std::string& path,
                                     uint32_t open_flags, std::unique_ptr<StoreReplica>* out);
  ~StoreReplica() override;

  const std::string& label() const override { return store_->label(); }
  VXStatus Identify(ReplicaIdentity* out) override;

  VXStatus BeginSend() override;
  VXStatus ListChanges(int64_t since, uint64_t receiver, uint32_t class_mask,
                       ChangeList* out) override;
  VXStatus ReadNote(const NoteSummary& which, NoteVersion* out) override;
  void EndSend() override;

  VXStatus ReceivedThrough(uint64_t sender, int64_t* since) override;
  VXStatus BeginReceive(uint64_t sender, int64_t* since, ReceiveCounts* counts) override;
  VXStatus Receive(const NoteSummary& change, const FetchNote& fetch,
                   ReceiveCounts* counts) override;
  VXStatus EndReceive(bool commit, int64_t through) override;

  VXStatus PurgeBeforeCutoff(uint32_t* purged) override;
  VXStatus PartnerPath(const std::string& server, std::string* path) override;
  VXStatus RememberPartner(const std::string& server, const std::string& path) override;

 private:
  explicit StoreReplica(std::shared_ptr<Database> database);
  VXStatus Origin();
  VXStatus LoadHeld(const NoteRow& row, NoteVersion* out);
  // Writes version as the note held in `held` (null: a new note).
  VXStatus Write(const NoteVersion& version, const NoteRow* held);
  VXStatus WriteDeletion(const NoteRow& held, const NoteSummary& stub);
  VXStatus KeepConflict(const NoteVersion& loser, const VXUnid& unid, bool as_response,
                        ReceiveCounts* counts);
  VXStatus DropUnselected(ReceiveCounts* counts);
  void Abandon();

  std::shared_ptr<Database> database_;  // keeps the store open
  NoteStore* store_;
  ReplicaState state_;
  uint64_t origin_ = 0;
  bool sending_ = false;
  bool receiving_ = false;
  std::string sender_;  // the sender's instance while receiving
  ReceiveFilter filter_;
};

// The partner-path key of the info table for a server.
std::string PartnerKey(const std::string& server);

}  // namespace ledra::replication
