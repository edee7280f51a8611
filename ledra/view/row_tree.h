// The rows of a view index as a tree in one array: every row knows its
// parent, and the children of a row are kept in the order of their keys
// (byte order; equal keys by note id) in a balanced search tree of their
// own (a treap whose nodes are the rows themselves, each counting the rows
// of its subtree). So inserting or removing a row, finding the n-th child
// of a row and a row's place among its siblings cost time proportional to
// the logarithm of the number of siblings, and a dotted position, the next
// and the previous row are found in time proportional to the depth times
// that logarithm. Rows of one note are chained, so a refresh finds every
// row of a changed note at once. Freed rows are reused.
//
// Keys are kept in one byte array for the whole tree rather than one
// allocation a row; the bytes of removed rows are reclaimed by copying the
// live keys into a new array once they are more than half of it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ledra/vx_types.h"

namespace ledra {

inline constexpr uint32_t kNoRow = 0xFFFFFFFF;
inline constexpr VXNoteId kCategoryNote = 0xFFFFFFFF;  // -1 to callers

struct Row {
  VXNoteId note = 0;  // kCategoryNote for a category row; 0 for the root
  uint32_t parent = kNoRow;
  uint32_t next_same = kNoRow;  // the next row of the same note
  uint32_t children = kNoRow;   // the top of the tree of this row's children
  // Links of the tree of this row and its siblings, and the number of rows
  // in its subtree there (this row included).
  uint32_t left = kNoRow;
  uint32_t right = kNoRow;
  uint32_t up = kNoRow;  // kNoRow at the top of the siblings' tree
  uint32_t size = 0;
  uint32_t key_at = 0;  // the key's bytes in the tree's key array
  uint32_t key_size = 0;
};

struct CategoryInfo {
  std::string text;     // as shown
  uint32_t column = 0;  // the column it categorises, from 0
};

// Heap bytes a text owns beyond its own record (none while it fits inline).
inline size_t HeapBytes(const std::string& text) {
  return text.capacity() > std::string().capacity() ? text.capacity() + 1 : 0;
}

class RowTree {
 public:
  RowTree();

  static constexpr uint32_t kRoot = 0;
  const Row& row(uint32_t r) const { return rows_[r]; }
  std::string_view Key(uint32_t r) const {
    return std::string_view(keys_.data() + rows_[r].key_at, rows_[r].key_size);
  }
  size_t live_rows() const { return rows_.size() - free_.size() - 1; }

  // Adds a row after the parent's last child; the caller keeps the order.
  uint32_t Append(uint32_t parent, VXNoteId note, std::string_view key);
  // Adds a row in key order among the parent's children.
  uint32_t Insert(uint32_t parent, VXNoteId note, std::string_view key);
  // The child of parent whose key is exactly key (categories), or kNoRow.
  uint32_t FindChild(uint32_t parent, std::string_view key) const;
  // The first child whose key is not less than key (kNoRow past the end).
  uint32_t LowerBound(uint32_t parent, std::string_view key) const;
  // Removes the row and every row below it.
  void Remove(uint32_t r);
  void Clear();
  // Room for n rows, so a build does not copy the array while it grows.
  void Reserve(size_t n) { rows_.reserve(n + 1); }

  // The children of a row: how many, the first, the last, the n-th (from
  // 0), in order; a row's place among its siblings (from 0) and the
  // siblings beside it. kNoRow where there is none.
  uint32_t ChildCount(uint32_t r) const { return SizeOf(rows_[r].children); }
  uint32_t FirstChild(uint32_t r) const { return Leftmost(rows_[r].children); }
  uint32_t LastChild(uint32_t r) const { return Rightmost(rows_[r].children); }
  uint32_t ChildAt(uint32_t r, uint32_t n) const;
  std::vector<uint32_t> Children(uint32_t r) const;
  uint32_t Slot(uint32_t r) const;
  uint32_t NextSibling(uint32_t r) const;
  uint32_t PreviousSibling(uint32_t r) const;

  uint32_t FirstRowOf(VXNoteId note) const {
    return note < first_of_.size() ? first_of_[note] : kNoRow;
  }
  std::vector<uint32_t> RowsOf(VXNoteId note) const;

  void SetCategory(uint32_t r, CategoryInfo info) { categories_[r] = std::move(info); }
  const CategoryInfo* Category(uint32_t r) const;

  // Moves in view order; kNoRow when there is no such row. Next(kRoot) is
  // the first row.
  uint32_t Next(uint32_t r) const;
  uint32_t NextPassing(uint32_t r) const;  // skips r's children
  uint32_t Previous(uint32_t r) const;
  uint32_t Last() const;
  uint32_t Depth(uint32_t r) const;  // 0 for a top-level row
  std::string Position(uint32_t r) const;
  // The row at a dotted position, or kNoRow. Refuses malformed text.
  uint32_t AtPosition(const std::string& position) const;
  // Number of rows below r at every depth.
  uint32_t Descendants(uint32_t r) const;

  // Bytes the tree holds: its arrays at their capacity and every heap block
  // its categories own (allocator overhead not counted).
  size_t MemoryBytes() const;

 private:
  uint32_t NewRow(uint32_t parent, VXNoteId note, std::string_view key);
  void StoreKey(Row* row, std::string_view key);
  void CompactKeys();
  bool Less(uint32_t a, std::string_view key, VXNoteId note) const;
  uint32_t SizeOf(uint32_t r) const { return r == kNoRow ? 0 : rows_[r].size; }
  uint32_t Leftmost(uint32_t r) const;
  uint32_t Rightmost(uint32_t r) const;
  // Hangs r below `at` (a side of it, or the top of the parent's children
  // when `at` is kNoRow), counts it on the way up and lifts it to its place.
  void Attach(uint32_t parent, uint32_t at, bool on_right, uint32_t r);
  // Lifts r above the row it hangs below in its siblings' tree, keeping
  // their order; RotateUp lifts it as far as its priority takes it.
  void Rotate(uint32_t r);
  void RotateUp(uint32_t r);
  void Detach(uint32_t r);
  void Resize(uint32_t r);
  void Unchain(uint32_t r);

  std::vector<Row> rows_;
  std::vector<uint32_t> free_;
  std::vector<uint32_t> first_of_;  // by note id
  std::string keys_;                // every row's key, at its key_at
  size_t dead_key_bytes_ = 0;       // bytes of keys_ no live row uses
  std::unordered_map<uint32_t, CategoryInfo> categories_;
};

}  // namespace ledra
