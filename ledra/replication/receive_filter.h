// What a database takes when it receives notes from a partner: the
// documents its selective-replication formula selects (the compiled
// "$ReplFormula" item of its replication-formula note, class 2048), and,
// when its replication options ask (0x80), nothing last changed before its
// cut-off. Design notes pass both. A database without either takes
// everything.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ledra/formula/note_document.h"
#include "ledra/note.h"
#include "ledra/note_store.h"
#include "ledra/vx_types.h"

namespace ledra::replication {

// Replication option bit (database property 18): remove, and refuse,
// documents older than the cut-off.
inline constexpr uint32_t kReplRemoveOld = 0x80;

// The cut-off in force, in ticks (0: none): the later of the cut-off date
// stored with the database and now less its cut-off interval in days.
int64_t EffectiveCutoff(NoteStore* store);

class ReceiveFilter {
 public:
  // Reads the database's formula and cut-off. A formula note whose formula
  // does not read is a failure: taking everything instead would fill a
  // selective replica with the whole database.
  [[nodiscard]] VXStatus Load(NoteStore* store);
  bool Accepts(const Note& note);
  bool has_formula() const { return selection_ != nullptr; }
  int64_t cutoff() const { return cutoff_; }
  // The formula (as a hash) and the cut-off interval ("-1" for none), as
  // recorded with the history received under them.
  const std::string& fingerprint() const { return fingerprint_; }

 private:
  std::unique_ptr<NoteSelection> selection_;
  int64_t cutoff_ = 0;
  std::string fingerprint_;
};

// True when a database that received under the filter `before` may now
// take notes it refused then (another formula, or a longer or no cut-off):
// its history must then be forgotten and every partner's notes looked at
// again. A shorter cut-off only refuses more, so history stays.
bool FilterWidened(const std::string& before, const std::string& now);

}  // namespace ledra::replication
