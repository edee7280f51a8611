// The design notes of a database, kept until a design note changes.
#include "ledra/design_cache.h"

#include <algorithm>

#include "ledra/note_store.h"

namespace ledra {

VXStatus DesignCache::Refresh(NoteStore* store) {
  int64_t sequence = 0;
  if (VXStatus s = store->MaxSequence(&sequence); s != kVXOk) return s;
  if (valid_ && sequence == sequence_) return kVXOk;
  if (valid_ && sequence > sequence_) {
    // Something changed elsewhere: documents mostly, which leave the design
    // as it is.
    bool changed = true;
    if (VXStatus s = store->DesignChangedSince(sequence_, &changed); s != kVXOk) return s;
    if (!changed) {
      sequence_ = sequence;
      return kVXOk;
    }
  }
  Invalidate();
  if (VXStatus s = store->ReadDesignNotes(&notes_); s != kVXOk) return s;
  sequence_ = sequence;
  valid_ = true;
  return kVXOk;
}

const Note* DesignCache::Find(VXNoteId id) const {
  auto at = std::lower_bound(notes_.begin(), notes_.end(), id,
                             [](const Note& note, VXNoteId wanted) { return note.id < wanted; });
  return at != notes_.end() && at->id == id ? &*at : nullptr;
}

bool DesignCache::Recall(const std::string& key, VXNoteId* id) const {
  auto found = looked_up_.find(key);
  if (found == looked_up_.end()) return false;
  *id = found->second;
  return true;
}

void DesignCache::Remember(const std::string& key, VXNoteId id) {
  // Names come from requests: a flood of different ones must not grow the
  // memo without end.
  if (looked_up_.size() >= 4096) looked_up_.clear();
  looked_up_[key] = id;
}

void DesignCache::Saved(int64_t previous, int64_t sequence, bool design_note) {
  if (design_note) {
    Invalidate();
  } else if (valid_ && sequence_ == previous) {
    sequence_ = sequence;
  }
}

void DesignCache::Invalidate() {
  valid_ = false;
  notes_.clear();
  looked_up_.clear();
}

}  // namespace ledra
