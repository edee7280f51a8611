// The replicator: one transfer each way, then the local purge.
#include "ledra/replication/replicator.h"

#include <cstdio>

#include "ledra/last_error.h"
#include "ledra/replication/store_replica.h"

namespace ledra::replication {
namespace {

std::string ReplicaIdText(const uint32_t id[2]) {
  char text[40];
  std::snprintf(text, sizeof text, "%xg%x", id[0], id[1]);
  return text;
}

// Moves the changes of `from` that `to` has not received, in one
// transaction on `to`.
VXStatus Transfer(ReplicaDatabase* from, const ReplicaIdentity& from_id, ReplicaDatabase* to,
                  const ReplicaIdentity& to_id, const ReplicationOptions& options, bool sending,
                  ReceiveCounts* counts) {
  int64_t since = 0;
  if (VXStatus s = to->ReceivedThrough(from_id.instance, &since); s != kVXOk) return s;
  if (VXStatus s = from->BeginSend(); s != kVXOk) return s;
  ChangeList list;
  auto list_changes = [&]() -> VXStatus {
    if (VXStatus s = from->ListChanges(since, to_id.instance, options.class_mask, &list);
        s != kVXOk) {
      return s;
    }
    // A sender whose sequence went back (restored from an older copy) is
    // looked at whole again.
    if (list.through < since) {
      since = 0;
      return from->ListChanges(since, to_id.instance, options.class_mask, &list);
    }
    return kVXOk;
  };
  VXStatus s = list_changes();
  if (s == kVXOk && list.changes.empty() && list.through == since) {
    from->EndSend();  // nothing new: the receiver is not written to at all
    return kVXOk;
  }
  int64_t recorded = 0;
  if (s == kVXOk) s = to->BeginReceive(from_id.instance, &recorded, counts);
  if (s == kVXOk && recorded != since) {
    // Another replication of the pair ran between the two reads.
    since = recorded;
    s = list_changes();
  }
  if (s != kVXOk) {
    LastError keep = LastFailure();
    (void)to->EndReceive(false, 0);
    from->EndSend();
    return Fail(keep.code, keep.message, keep.detail);
  }
  size_t done = 0;
  for (const NoteSummary& change : list.changes) {
    s = to->Receive(
        change, [&](NoteVersion* version) { return from->ReadNote(change, version); }, counts);
    if (s != kVXOk) break;
    if (options.progress) options.progress(sending, ++done, list.changes.size());
  }
  if (s != kVXOk) {
    LastError keep = LastFailure();
    (void)to->EndReceive(false, 0);
    from->EndSend();
    return Fail(keep.code, keep.message, keep.detail);
  }
  // An exchange of some classes only leaves the history where it was: the
  // other classes' changes are still to come.
  s = to->EndReceive(true, options.class_mask == 0 ? list.through : since);
  from->EndSend();
  return s;
}

}  // namespace

VXStatus ReplicateDatabases(ReplicaDatabase* local, ReplicaDatabase* partner,
                            const ReplicationOptions& options, VXReplicationStats* stats) {
  *stats = VXReplicationStats{};
  ReplicaIdentity local_id, partner_id;
  if (VXStatus s = local->Identify(&local_id); s != kVXOk) return s;
  if (VXStatus s = partner->Identify(&partner_id); s != kVXOk) return s;
  if (local_id.replica_id[0] != partner_id.replica_id[0] ||
      local_id.replica_id[1] != partner_id.replica_id[1]) {
    return Fail(kVXNotAReplica, partner_id.label + " is not a replica of " + local_id.label +
                                    " (replica ids " + ReplicaIdText(partner_id.replica_id) +
                                    " and " + ReplicaIdText(local_id.replica_id) + ")");
  }
  if (local_id.instance == partner_id.instance) {
    return Fail(kVXBadArgument, local_id.label + " and " + partner_id.label +
                                    " are the same database; it cannot replicate with itself");
  }
  if (options.receive) {
    ReceiveCounts received;
    VXStatus s = Transfer(partner, partner_id, local, local_id, options, false, &received);
    stats->received_additions = received.additions;
    stats->received_deletions = received.deletions;
    stats->received_updates = received.updates;
    stats->conflicts += received.conflicts;
    stats->purged += received.removed;
    if (s != kVXOk) return s;
  }
  if (options.send) {
    ReceiveCounts sent;
    VXStatus s = Transfer(local, local_id, partner, partner_id, options, true, &sent);
    stats->sent_additions = sent.additions;
    stats->sent_deletions = sent.deletions;
    stats->sent_updates = sent.updates;
    stats->conflicts += sent.conflicts;
    if (s != kVXOk) return s;
  }
  uint32_t purged = 0;
  VXStatus s = local->PurgeBeforeCutoff(&purged);
  stats->purged += purged;
  return s;
}

VXStatus ReplicateWithServer(const std::string& server, const std::string& local_path,
                             const ReplicationOptions& options, VXReplicationStats* stats) {
  *stats = VXReplicationStats{};
  std::unique_ptr<ReplicaServer> here, there;
  std::unique_ptr<ReplicaDatabase> local, partner;
  if (VXStatus s = OpenServer("Local", options.open_flags, &here); s != kVXOk) return s;
  if (VXStatus s = here->Open(local_path, &local); s != kVXOk) return s;
  ReplicaIdentity local_id;
  if (VXStatus s = local->Identify(&local_id); s != kVXOk) return s;
  if (VXStatus s = OpenServer(server, options.open_flags, &there); s != kVXOk) return s;

  // The replica used last time, when it is still there; a database there
  // that is no replica of this one is an error, not a reason to look on.
  std::string path;
  if (VXStatus s = local->PartnerPath(server, &path); s != kVXOk) return s;
  if (!path.empty()) {
    VXStatus s = there->Open(path, &partner);
    if (s == kVXDatabaseNotFound) {
      path.clear();
    } else if (s != kVXOk) {
      return s;
    }
  }
  if (!partner) {
    std::vector<std::string> found;
    if (VXStatus s = there->Locate(local_id.replica_id, &found); s != kVXOk) return s;
    for (const std::string& candidate : found) {
      std::unique_ptr<ReplicaDatabase> opened;
      ReplicaIdentity id;
      if (there->Open(candidate, &opened) != kVXOk || opened->Identify(&id) != kVXOk) continue;
      if (id.instance == local_id.instance) continue;  // the local database itself
      partner = std::move(opened);
      path = candidate;
      break;
    }
    if (!partner) {
      return Fail(kVXNotAReplica, "Server " + server + " holds no replica of " + local_id.label +
                                      " (replica id " + ReplicaIdText(local_id.replica_id) + ")");
    }
  }
  VXStatus s = ReplicateDatabases(local.get(), partner.get(), options, stats);
  if (s != kVXOk) return s;
  return local->RememberPartner(server, path);
}

}  // namespace ledra::replication
