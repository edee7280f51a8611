// The full-text index of a database: an SQLite FTS5 table in the database
// file itself (ledra_fulltext, one row per document, rowid = note id, the
// text of the document's text items and rich text). It is brought up to
// date only by VXDatabaseCreateFTIndex (incrementally, from the
// modification sequence it last indexed), so a search sees the documents
// as they were at the last update. Info keys: ft_present (1), ft_updated
// (ticks of the last update), ft_seq (sequence indexed).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ledra/note.h"
#include "ledra/note_store.h"

namespace ledra {

// The rich-text module registers how the text of a rich-text item's bytes
// is read; without one the composite calls list its words.
using RichTextToText = std::string (*)(const std::string& stored);
void RegisterRichTextToText(RichTextToText reader);

// The words of a note as they go into the index.
std::string NoteSearchText(const Note& note);

[[nodiscard]] VXStatus FullTextUpdate(NoteStore* store);
[[nodiscard]] VXStatus FullTextDelete(NoteStore* store);

// A user's query (words, "phrases", AND, OR, NOT, &, |, !, parentheses,
// word*) as an FTS5 query. Fails with kVXBadQuery and a message.
[[nodiscard]] VXStatus TranslateQuery(const std::string& query, std::string* fts);

struct FullTextHit {
  VXNoteId id = 0;
  uint32_t score = 0;  // 1-100: 100 for the best match
};
// Every matching document, best first (ties by note id).
[[nodiscard]] VXStatus FullTextSearch(NoteStore* store, const std::string& query,
                                      std::vector<FullTextHit>* hits);

}  // namespace ledra
