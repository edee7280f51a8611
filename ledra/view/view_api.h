// The Vantix calls of view indexes, columns and full-text search, and the
// records and numbers they use. ledra/vxapi.h includes this file, so callers
// see one API. An index handle is a cursor: over every document of a
// database (VXIndexOpen), then set to a view or folder (VXIndexOpenView),
// narrowed by a selection formula (VXIndexSearch) or holding full-text
// results (VXIndexFTSearch).
//
// Rows of a view form a tree: category rows (note id -1 to callers, "A\B"
// values nest), document rows below their categories, responses below their
// parent document at any depth. A document with several category values has
// one row under each. Rows are addressed by dotted positions: "2.3" is the
// third row below the second top-level row.
//
// Navigation codes (VXIndexNavigate code, mode):
//   (6, 0) read the current row          (0, 0) next row in view order
//   (0, 2) previous row                   (2, 0) next row, passing children
//   (3, 1) succeeds when the current row has children; row unchanged
//   (1, 2) first row                      (3, 0) first child
//   (1, 0) read the current row again (ends the last-row search: the index
//          stays on the row it found)
// A new cursor stands before the first row: (0, 0) gives the first row.
// A failed move leaves the cursor where it was and returns kVXEndOfList.
//
// Index properties (VXIndexGetProperty / VXIndexSetProperty):
//   4  int32  1 while the cursor holds full-text results (read only)
//   6  int32  score 0-100 of the current row in full-text results; 0 else
//   8  text   name of the view or folder ("" for a database cursor) (read)
//   11 text   the cursor's search formula ("" none); writing it narrows the
//             cursor as VXIndexSearch does ("" removes the narrowing)
//
// Key search (VXIndexKeySearch): kind 1 searches the first sorted column of
// the view (its top-level rows). Mode 1 goes to the first match. Options:
// 0x1 the key is a leading text (a row matches when its value begins with
// it), 0x2 letter case is ignored; option 3 is both. count gets the number
// of matching top-level rows.
//
// Full text (VXIndexFTSearch): options 0x10000 clears the search (the cursor
// shows the view again); otherwise query words, "quoted phrases", AND, OR,
// NOT (also &, |, !), parentheses and a trailing * on a word (prefix). Words
// next to each other must all occur. The results are the view's documents
// that match, flat, in descending score order (ties by note id).
#pragma once

#include <cstdint>

#include "ledra/vx_types.h"

inline constexpr VXStatus kVXNoSuchView = 0x80000201;    // view or folder note not found
inline constexpr VXStatus kVXNoCurrentRow = 0x80000202;  // the cursor is on no row
inline constexpr VXStatus kVXNoSuchRow = 0x80000203;     // no row at that position
inline constexpr VXStatus kVXNoKey = 0x80000204;         // the view has no key of that kind
inline constexpr VXStatus kVXBadQuery = 0x80000205;      // a full-text query that does not parse
inline constexpr VXStatus kVXNoFTIndex = 0x80000206;     // the database has no full-text index
inline constexpr VXStatus kVXBadFormula = 0x80000207;    // a selection or column formula that does not compile
inline constexpr VXStatus kVXNoMatches = 0x80000208;    // a full-text search found no document

inline constexpr uint32_t kVXNavCurrent = 6;
inline constexpr uint32_t kVXNavNext = 0;
inline constexpr uint32_t kVXNavFirst = 1;
inline constexpr uint32_t kVXNavNextSibling = 2;
inline constexpr uint32_t kVXNavChild = 3;

inline constexpr uint32_t kIndexPropFullText = 4;
inline constexpr uint32_t kIndexPropScore = 6;
inline constexpr uint32_t kIndexPropViewName = 8;
inline constexpr uint32_t kIndexPropFormula = 11;

inline constexpr uint32_t kVXKeyFirstSorted = 1;
inline constexpr uint32_t kVXKeyLeading = 0x1;
inline constexpr uint32_t kVXKeyAnyCase = 0x2;
inline constexpr uint32_t kVXFTClear = 0x10000;

inline constexpr uint32_t kVXRowCategory = 0x1;
inline constexpr uint32_t kVXRowResponse = 0x2;
inline constexpr uint32_t kVXRowHasChildren = 0x4;

inline constexpr uint32_t kVXColumnTitleSize = 81;

// What VXIndexNavigate tells about the row it reached.
struct VXRowInfo {
  uint32_t level = 0;           // depth in the tree: 0 for a top-level row
  uint32_t flags = 0;           // kVXRowCategory, kVXRowResponse, kVXRowHasChildren
  uint32_t child_count = 0;     // rows directly below
  uint32_t response_level = 0;  // 0 for a main document or a category; 1 for a
                                // response, 2 for a response to it, ...
  uint32_t score = 0;           // 0-100 in full-text results
};

// A key to search for (VXIndexKeySearch) or a key value listed
// (VXIndexListKey). type kVXTypeText uses text, kVXTypeNumber number.
struct VXKey {
  uint32_t kind = kVXKeyFirstSorted;
  uint16_t type = kVXTypeText;
  uint32_t column = 0;  // VXIndexListKey: the key's column, from 1
  double number = 0;
  char text[256] = {};
};

// A column of a view (VXColumnList / VXColumnFetch). width holds the width
// in characters shifted left by 2; flags as the table in ledra/vx_types.h.
struct VXColumnRecord {
  char item_name[kVXNameSize] = {};
  char title[kVXColumnTitleSize] = {};
  uint32_t width = 0;
  uint32_t flags = 0;
  char formula[256] = {};  // the column's formula, cut to fit ("" for an item column)
};

[[nodiscard]] VXStatus VXIndexOpen(VXHandle database, VXHandle* index);
// Sets the cursor to a view or folder. resort 1 rebuilds the index from
// the documents instead of taking the last built state.
[[nodiscard]] VXStatus VXIndexOpenView(VXHandle index, uint32_t reserved, VXNoteId view, uint32_t resort);
// Narrows the cursor to the documents the formula selects (a search of an
// empty or null formula removes the narrowing). The cursor goes before the
// first row.
[[nodiscard]] VXStatus VXIndexSearch(VXHandle index, const char* formula, uint32_t reserved1,
                                     uint32_t reserved2);
// id gets the row's note id (0xFFFFFFFF for a category row); info may be null.
[[nodiscard]] VXStatus VXIndexNavigate(VXHandle index, uint32_t code, uint32_t mode, VXNoteId* id,
                                       VXRowInfo* info);
// The dotted position of the current row into text (size bytes with its 0).
[[nodiscard]] VXStatus VXIndexGetViewPosition(VXHandle index, uint32_t size, char* text);
// Goes to the row at the dotted position; fails with kVXNoSuchRow (cursor
// unchanged) when there is none.
[[nodiscard]] VXStatus VXIndexSetViewPosition(VXHandle index, const char* position);
// Goes to the n-th top-level row (from 1).
[[nodiscard]] VXStatus VXIndexSetPosition(VXHandle index, uint32_t n);
// The number of top-level rows.
[[nodiscard]] VXStatus VXIndexGetCount(VXHandle index, uint32_t* count);
// Brings the index up to date with every note saved or deleted since it was
// last built or refreshed, by this process or another. The cursor keeps its
// row when the row is still there, else stands on the row that took its
// place (or the last row).
[[nodiscard]] VXStatus VXIndexRefresh(VXHandle index);
VXStatus VXIndexClose(VXHandle index);
// value: int32 for 4 and 6; text of size bytes for 8 and 11.
[[nodiscard]] VXStatus VXIndexGetProperty(VXHandle index, uint32_t property, void* value, uint32_t size);
[[nodiscard]] VXStatus VXIndexSetProperty(VXHandle index, uint32_t property, const void* value);
[[nodiscard]] VXStatus VXIndexKeySearch(VXHandle index, const VXKey* key, uint32_t mode, uint32_t options,
                                        uint32_t* count);
// Walks the values of the view's category key (its first categorised
// column): the texts of the top-level category rows. code 2 first, 4 next;
// kVXNoKey when the view has no categorised column.
[[nodiscard]] VXStatus VXIndexListKey(VXHandle index, uint32_t code, VXKey* key);
// Deletes the current row's document and every response below it (at any
// depth) from the database. The rows stay until the next refresh.
[[nodiscard]] VXStatus VXIndexDeleteHierarchy(VXHandle index, uint32_t flags);

// The text of column (from 1) of the current row, cut to size bytes with its
// 0; length gets the bytes written. A category row has its text in the
// column it categorises and empty values elsewhere.
[[nodiscard]] VXStatus VXViewcellFetch(VXHandle index, uint32_t column, char* text, uint32_t size,
                                       uint32_t* length);
[[nodiscard]] VXStatus VXColumnGetCount(VXHandle index, uint32_t* count);
// Walks the columns: code 2 first, 4 next.
[[nodiscard]] VXStatus VXColumnList(VXHandle index, uint32_t code, VXColumnRecord* record);
// The column numbered from 1.
[[nodiscard]] VXStatus VXColumnFetch(VXHandle index, uint32_t column, VXColumnRecord* record);

// Builds or brings up to date the database's full-text index (the text of
// every document's text items and rich text). options and the reserved words
// are recorded only. Sets database properties 26 (1) and 27 (now).
[[nodiscard]] VXStatus VXDatabaseCreateFTIndex(VXHandle database, uint32_t options, uint32_t reserved1,
                                               uint32_t reserved2);
[[nodiscard]] VXStatus VXDatabaseDeleteFTIndex(VXHandle database);
// sort and limit: limit 0 keeps every result; sort is recorded (results are
// always in score order).
[[nodiscard]] VXStatus VXIndexFTSearch(VXHandle index, const char* query, uint32_t options, uint32_t sort,
                                       uint32_t limit);
