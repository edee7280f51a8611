// The replicator: exchanges changes between a local database and its
// replica on a server, pulling first, then pushing, then purging what the
// local database's cut-off removes. The servers and databases are reached
// through ReplicaServer and ReplicaDatabase, so the same code replicates
// with a folder today and with a remote store later.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "ledra/replication/replica_database.h"
#include "ledra/replication/replication_api.h"

namespace ledra::replication {

struct ReplicationOptions {
  bool receive = true;
  bool send = true;
  uint32_t class_mask = 0;  // 0: documents and every design class
  uint32_t open_flags = 0;  // as VXDatabaseOpen's (2: wait for locks as a job)
  // Called after each change looked at: sending is true while pushing,
  // done counts the changes of this direction so far.
  std::function<void(bool sending, size_t done, size_t total)> progress;
};

// Replicates two opened databases; fails with kVXNotAReplica when their
// replica ids differ.
[[nodiscard]] VXStatus ReplicateDatabases(ReplicaDatabase* local, ReplicaDatabase* partner,
                                          const ReplicationOptions& options,
                                          VXReplicationStats* stats);

// Replicates Local!!local_path with its replica on server (see
// VXReplicateWithServer for how the replica is found).
[[nodiscard]] VXStatus ReplicateWithServer(const std::string& server, const std::string& local_path,
                                           const ReplicationOptions& options,
                                           VXReplicationStats* stats);

}  // namespace ledra::replication
