// A receiving database's selective formula and cut-off.
#include "ledra/replication/receive_filter.h"

#include <algorithm>
#include <cstdlib>

#include "ledra/datetime.h"
#include "ledra/last_error.h"
#include "ledra/replication/revision.h"
#include "ledra/settings.h"

namespace ledra::replication {
namespace {

constexpr char kFormulaItem[] = "$ReplFormula";

uint64_t Fnv(uint64_t hash, const std::string& bytes) {
  for (unsigned char c : bytes) {
    hash ^= c;
    hash *= 0x100000001b3ull;
  }
  return hash;
}

}  // namespace

int64_t EffectiveCutoff(NoteStore* store) {
  uint32_t options = static_cast<uint32_t>(store->InfoNumber("repl_options", 0));
  if ((options & kReplRemoveOld) == 0) return 0;
  int64_t cutoff = store->InfoNumber("cutoff", 0);
  int64_t days = std::llabs(store->InfoNumber("cutoff_days", 0));
  if (days > 0) cutoff = std::max(cutoff, NowTicks() - days * kTicksPerDay);
  return cutoff;
}

VXStatus ReceiveFilter::Load(NoteStore* store) {
  selection_.reset();
  std::string compiled;
  for (VXNoteId id : store->NotesOfClass(kVXClassReplFormula)) {
    Note note;
    if (VXStatus s = store->Load(id, &note); s != kVXOk) return s;
    const Item* item = note.FindItem(kFormulaItem);
    if (item == nullptr || item->type != kVXTypeFormula) continue;
    auto selection = std::make_unique<NoteSelection>();
    std::string message;
    if (!selection->Load(item->value, &message)) {
      return Fail(kVXFormulaError, "The replication formula of " + store->label() +
                                       " does not read (" + message + "); set it again");
    }
    NoteContext context;
    (void)store->GetInfo("title", &context.database_title);
    context.database_file = store->file();
    context.user_name = CurrentUserName();
    selection->set_context(context);
    selection_ = std::move(selection);
    compiled = item->value;
    break;
  }
  cutoff_ = EffectiveCutoff(store);
  uint32_t options = static_cast<uint32_t>(store->InfoNumber("repl_options", 0));
  int64_t days = -1;
  if ((options & kReplRemoveOld) != 0) {
    days = std::llabs(store->InfoNumber("cutoff_days", 0));
    if (days == 0 && store->InfoNumber("cutoff", 0) == 0) days = -1;
  }
  fingerprint_ = OriginText(Fnv(0xcbf29ce484222325ull, compiled)) + " " + std::to_string(days);
  return kVXOk;
}

bool FilterWidened(const std::string& before, const std::string& now) {
  if (before == now) return false;
  size_t a = before.find(' '), b = now.find(' ');
  if (a == std::string::npos || b == std::string::npos) return true;
  if (before.substr(0, a) != now.substr(0, b)) return true;
  long long old_days = std::atoll(before.c_str() + a + 1);
  long long new_days = std::atoll(now.c_str() + b + 1);
  if (new_days < 0) return old_days >= 0;  // the cut-off was lifted
  if (old_days < 0) return false;          // a cut-off was set: only refuses more
  // A cut-off given as a date alone (0 days) is treated as the widest.
  return new_days == 0 || (old_days != 0 && new_days > old_days);
}

bool ReceiveFilter::Accepts(const Note& note) {
  if (note.note_class != kVXClassDocument) return true;
  if (cutoff_ != 0 && note.modified < cutoff_) return false;
  return selection_ == nullptr || selection_->Matches(note);
}

}  // namespace ledra::replication
