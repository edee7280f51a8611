// The design notes of one database (every live note that is not a document:
// forms, views, folders, agents and the rest), decoded once and kept by the
// database's store together with the answers to look-ups by name. Forms and
// views are looked up on every page and every save; reading them from the
// file each time cost a statement and a read of each design note.
//
// The cache knows the modification sequence it is valid for. A save of a
// design note by its own store empties it; a save of a document by its own
// store moves it on to the new sequence; any other change (another
// connection or process) shows as a higher sequence at the next use, and the
// notes changed since are checked for design notes before it is kept.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "ledra/note.h"
#include "ledra/vx_types.h"

namespace ledra {

class NoteStore;

class DesignCache {
 public:
  // Brings the cache up to date with the file. The caller holds a read (or
  // write) transaction of `store`, so that the sequence and the notes read
  // agree.
  [[nodiscard]] VXStatus Refresh(NoteStore* store);

  // The design notes in note id order, and one of them by id (null when it
  // is not a live design note).
  const std::vector<Note>& notes() const { return notes_; }
  const Note* Find(VXNoteId id) const;

  // Look-ups by a key the caller forms (a kind and a name): the id found,
  // 0 for none. Forgotten whenever the notes change.
  bool Recall(const std::string& key, VXNoteId* id) const;
  void Remember(const std::string& key, VXNoteId id);

  // The store's own change numbered `sequence`, when the highest sequence
  // before it was `previous`.
  void Saved(int64_t previous, int64_t sequence, bool design_note);
  void Invalidate();

 private:
  bool valid_ = false;
  int64_t sequence_ = 0;  // the file's highest sequence the notes agree with
  std::vector<Note> notes_;
  std::unordered_map<std::string, VXNoteId> looked_up_;
};

}  // namespace ledra
