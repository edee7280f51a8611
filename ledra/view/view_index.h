// The index of a view: which documents the view selects, the rows they make
// (categories, documents, responses) in sorted order, and how a change to a
// note is brought in without rebuilding the rest. Built once from one scan
// of the database's documents; refreshed from the notes saved or deleted
// since the modification sequence it last saw (by any process).
//
// Row keys (byte strings compared with memcmp; see row_tree.h): each value
// of a sorted column is one component: a tag (0x00 empty, 0x01 number,
// 0x02 text) and its payload: a number as 8 order-preserving bytes, a text
// with ASCII letters folded to lower case and NULs dropped, ended by 0x00.
// A descending column stores every byte of its component inverted. A
// document row's key is the components of the sorted columns that are not
// categorised, in column order; a category row's key is its one component.
// In a categorised view a document row's key starts with 0x00, so the
// documents of a level come before the categories beside them (a document
// whose category value is empty stays at the top, before every category).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "ledra/note_store.h"
#include "ledra/view/row_tree.h"
#include "ledra/view/view_design.h"
#include "ledra/view/view_formula.h"

namespace ledra {

class ViewIndex {
 public:
  // A database cursor (design null: every document, flat, in note id order)
  // or a view; search narrows it further ("" none). Fails when a formula
  // does not compile.
  [[nodiscard]] VXStatus Configure(const ViewDesign* design, const std::string& search);
  [[nodiscard]] VXStatus Build(NoteStore* store);
  [[nodiscard]] VXStatus Refresh(NoteStore* store);

  const RowTree& tree() const { return tree_; }
  bool has_view() const { return has_view_; }
  const ViewDesign& design() const { return design_; }
  const std::string& search() const { return search_; }
  bool InView(VXNoteId id) const { return id < in_view_.size() && in_view_[id] != 0; }
  // True while the design note changed since the build (a refresh rebuilds).
  int64_t sequence() const { return sequence_; }

  // Bytes the index holds: its row tree and the tables beside it.
  size_t MemoryBytes() const;

  // The notes of the rows about to be read (a page of a view), loaded in
  // one read transaction; CellText and TopText take a row's note from here
  // while the page lasts: until it is forgotten (a new position, a refresh)
  // or the store saves or deletes a note. A note that no longer exists is
  // left out.
  bool HasPageNote(const NoteStore& store, VXNoteId id) const;
  [[nodiscard]] VXStatus LoadPage(NoteStore* store, const std::vector<VXNoteId>& ids);
  void ForgetPage();
  // How many rows the next page should cover: a screenful at first, more
  // when reading runs on past it.
  size_t NextPageRows();

  // The text of column (from 0) of the row.
  [[nodiscard]] VXStatus CellText(NoteStore* store, uint32_t row, uint32_t column,
                                  std::string* text);
  // 1 for a response directly below its main document, and so on.
  uint32_t ResponseLevel(uint32_t row) const;

  // The column whose values order the top-level rows (first categorised,
  // else first sorted); -1 when none.
  int key_column() const { return key_column_; }
  int first_category_column() const;
  // The key component of a text or number at the top level, as the
  // top-level rows carry it. With leading, the text's component is left
  // open (no terminator) so every value beginning with it matches.
  std::string TopKey(const std::string& text, bool leading) const;
  std::string TopKey(double number) const;
  // The value of the top-level column shown on the row (for case checks).
  [[nodiscard]] VXStatus TopText(NoteStore* store, uint32_t row, std::string* text);

 private:
  struct Path {
    std::vector<std::string> keys;  // one per category level
    std::vector<std::string> texts;
    std::vector<uint32_t> columns;
    bool stopped = false;  // ended at an empty category value
  };

  [[nodiscard]] VXStatus Scan(NoteStore* store);
  bool Selects(const Note& note);
  CellValue ColumnValue(const Note& note, uint32_t column);
  std::string DocKey(const Note& note);
  std::vector<Path> Paths(const Note& note);
  void Place(const Note& note, const std::string& doc_key);
  // key: the row key (RowKey of the document key).
  uint32_t PlaceDocument(const Path& path, VXNoteId id, std::string_view key, bool append);
  std::string RowKey(const std::string& doc_key) const;
  void AttachResponses(NoteStore* store, VXNoteId parent, int depth);
  void RemoveRows(VXNoteId id);
  void PruneCategories(uint32_t r);
  void Forget(VXNoteId id);
  void Mark(VXNoteId id, bool in);
  void SetParent(VXNoteId id, VXNoteId parent, const VXUnid& parent_unid);
  void Adopt(const Note& note);
  [[nodiscard]] VXStatus LoadCached(NoteStore* store, VXNoteId id, const Note** note);
  void ForgetPageNotes();

  bool has_view_ = false;
  ViewDesign design_;
  std::string search_;
  std::unique_ptr<NoteFormula> selection_;
  std::unique_ptr<NoteFormula> narrowing_;
  std::vector<std::unique_ptr<NoteFormula>> column_formulas_;  // null for item columns
  std::vector<uint32_t> category_columns_;
  std::vector<uint32_t> sort_columns_;  // sorted, not categorised
  int key_column_ = -1;

  RowTree tree_;
  int64_t sequence_ = 0;
  std::vector<uint8_t> in_view_;     // by note id
  std::vector<VXNoteId> parent_of_;  // by note id: the parent of a response in the view
  std::unordered_map<VXNoteId, std::vector<VXNoteId>>
      responses_;  // parent -> responses in the view
  // Responses whose parent is not in the database (yet): by the parent's
  // UNID text, and each one's parent UNID.
  std::unordered_map<std::string, std::vector<VXNoteId>> orphans_;
  std::unordered_map<VXNoteId, VXUnid> orphan_parent_;

  VXNoteId cached_id_ = 0;
  Note cached_;
  std::vector<Note> page_;
  std::unordered_map<VXNoteId, uint32_t> page_at_;  // note id -> place in page_
  uint64_t page_changes_ = 0;                       // the store's changes() when loaded
  size_t page_rows_ = 0;                            // 0: the first page comes next
};

// Key components, exposed for the tests of their order.
std::string KeyComponent(const CellEntry* entry, bool descending);

}  // namespace ledra
