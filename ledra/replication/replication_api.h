// The Vantix calls of replication: replicating a local database with its
// replica on a server, and the name conversion that the replication-formula
// note's title uses. ledra/vxapi.h includes this file. (Making a new replica
// is VXDatabaseCopy with option 0x100.)
//
// VXReplicateWithServer(server, options, class_mask, flags, path, stats)
// replicates the database at path on "Local" with the replica of it on
// server: the database there with the same replica id (the one used last
// time when it is still there, else the first found). options: 0x1
// receive, 0x2 send (3 both ways: receive first). class_mask: the note
// classes exchanged; 0 for documents and every design class. Replication
// formulas (class 2048) stay with their replica. An exchange of some
// classes only does not count as one in the history: the next full one
// looks at every change since the last full one. flags: 0x1 wait for other
// programs' locks as a job does (up to 120 s), else as platform property 19
// says. Each direction is one transaction on the receiving side: it is
// received whole or not at all, and an interrupted run leaves both sides
// as they were before that direction. After the exchange the local
// database purges what is older than its cut-off (database properties 16
// and 18, ledra/core_calls.h). stats gets what moved, also when a later
// step fails.
#pragma once

#include <cstdint>

#include "ledra/vx_types.h"

// The source named is not a replica of the database (another replica id),
// or the server holds no replica of it.
inline constexpr VXStatus kVXNotAReplica = 0x80000301;

inline constexpr uint32_t kVXReplReceive = 0x1;
inline constexpr uint32_t kVXReplSend = 0x2;
inline constexpr uint32_t kVXReplJobWait = 0x1;

struct VXReplicationStats {
  uint32_t received_additions = 0;
  uint32_t received_deletions = 0;
  uint32_t received_updates = 0;
  uint32_t sent_additions = 0;
  uint32_t sent_deletions = 0;
  uint32_t sent_updates = 0;
  uint32_t conflicts = 0;  // conflict documents made, on either side
  uint32_t purged = 0;     // removed locally only: older than the cut-off,
                           // or no longer selected by the selective formula
};

[[nodiscard]] VXStatus VXReplicateWithServer(const char* server, uint32_t options,
                                             uint32_t class_mask, uint32_t flags, const char* path,
                                             VXReplicationStats* stats);

// Name conversion. mode 0 leaves the name as it is; mode 1 gives its
// abbreviated form, without the component labels: "CN=Ann Lee/O=Pellam"
// becomes "Ann Lee/Pellam". out gets size bytes with its 0.
[[nodiscard]] VXStatus VXNameConvert(uint32_t mode, const char* name, char* out, uint32_t size);
