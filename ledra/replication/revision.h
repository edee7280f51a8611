// Revisions of a note, as replication compares them. Every save or deletion
// of a note is a revision, stamped with its time, the database instance that
// made it and that database's modification sequence at the time. A note's
// chain lists its revisions, oldest first (at most kMaxChain of them): two
// replicas holding the same note compare their chains to tell a newer
// version from an older one, and both from a conflict (each side changed
// the note since they last agreed). One database's revisions of a note
// follow one another, each made on the one before, so a revision also
// stands for every earlier revision of the note by the same database: a
// note only ever saved where it was made needs no chain beyond its last
// save.
//
// Chain blob (column repl_state.revisions), little-endian:
//   OFFSET SIZE  field
//   0      1     'R' (format mark)
//   1      1     n, the number of revisions (1 to kMaxChain)
//   2      24*n  n revisions, oldest first: ticks (8, signed), origin (8),
//                sequence (8, signed)
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ledra/vx_types.h"

namespace ledra::replication {

struct Revision {
  int64_t ticks = 0;     // when the change was made (hundredths since 1970, UTC)
  uint64_t origin = 0;   // the instance of the database that made it
  int64_t sequence = 0;  // that database's modification sequence for it
};

inline bool operator==(const Revision& a, const Revision& b) {
  return a.ticks == b.ticks && a.origin == b.origin && a.sequence == b.sequence;
}

// The later of two changes: by time, then by origin and sequence, so that
// every replica orders any two revisions the same way.
bool Later(const Revision& a, const Revision& b);

using Chain = std::vector<Revision>;

// Revisions kept per note: a replica that falls further behind than this on
// one note sees a conflict where there was none, and keeps the older version
// as a conflict document: nothing is lost.
inline constexpr size_t kMaxChain = 32;

std::string EncodeChain(const Chain& chain);
// False (and *chain empty) when the bytes are not a chain.
bool DecodeChain(const void* data, size_t size, Chain* chain);
// Appends a revision, dropping the oldest beyond kMaxChain.
void ExtendChain(Chain* chain, const Revision& revision);

// How the version arriving from a partner relates to the one held here.
enum class Lineage {
  kSame,           // the same revision: nothing to do
  kIncomingNewer,  // the held version is an ancestor of the incoming one
  kLocalNewer,     // the incoming version is an ancestor of the held one
  kConflict,       // both changed since their last common revision
};
Lineage CompareChains(const Chain& incoming, const Chain& local);

// The UNID of the conflict document that keeps the losing revision `loser`
// of the note `unid`. Every replica that resolves the same conflict makes
// the same conflict document, so the copies meet as one note.
VXUnid ConflictUnid(const VXUnid& unid, const Revision& loser);

// A database instance as 16 hex digits, and back (false when malformed).
std::string OriginText(uint64_t origin);
bool ParseOrigin(const std::string& text, uint64_t* origin);

}  // namespace ledra::replication
