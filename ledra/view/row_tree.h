// The rows of a view index as a tree in one array: every row knows its
// parent, its place among the parent's children and its children in order,
// so that a dotted position, the next and the previous row and a row's
// position are found in time proportional to the depth, not to the number
// of rows. Siblings are kept in the order of their keys (byte order; equal
// keys by note id). Rows of one note are chained, so a refresh finds every
// row of a changed note at once. Freed rows are reused.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "ledra/vx_types.h"

namespace ledra {

inline constexpr uint32_t kNoRow = 0xFFFFFFFF;
inline constexpr VXNoteId kCategoryNote = 0xFFFFFFFF;  // -1 to callers

struct Row {
  VXNoteId note = 0;  // kCategoryNote for a category row; 0 for the root
  uint32_t parent = kNoRow;
  uint32_t slot = 0;            // place among the parent's children
  uint32_t next_same = kNoRow;  // the next row of the same note
  std::vector<uint32_t> children;
  std::string key;  // order among siblings
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
  size_t live_rows() const { return rows_.size() - free_.size() - 1; }

  // Adds a row after the parent's last child; the caller keeps the order.
  uint32_t Append(uint32_t parent, VXNoteId note, std::string key);
  // Adds a row in key order among the parent's children.
  uint32_t Insert(uint32_t parent, VXNoteId note, std::string key);
  // The child of parent whose key is exactly key (categories), or kNoRow.
  uint32_t FindChild(uint32_t parent, const std::string& key) const;
  // The first child whose key is not less than key (kNoRow past the end).
  uint32_t LowerBound(uint32_t parent, const std::string& key) const;
  // Removes the row and every row below it.
  void Remove(uint32_t r);
  void Clear();
  // Room for n rows, so a build does not copy the array while it grows.
  void Reserve(size_t n) { rows_.reserve(n + 1); }

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
  // its rows and categories own (allocator overhead not counted).
  size_t MemoryBytes() const;

 private:
  uint32_t NewRow(uint32_t parent, VXNoteId note, std::string key);
  void Renumber(uint32_t parent, size_t from);
  bool Less(uint32_t a, const std::string& key, VXNoteId note) const;
  void Unchain(uint32_t r);

  std::vector<Row> rows_;
  std::vector<uint32_t> free_;
  std::vector<uint32_t> first_of_;  // by note id
  std::unordered_map<uint32_t, CategoryInfo> categories_;
};

}  // namespace ledra
