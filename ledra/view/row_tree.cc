// The row tree of a view index.
#include "ledra/view/row_tree.h"

#include <algorithm>
#include <cstdlib>

namespace ledra {

RowTree::RowTree() {
  Clear();
}

void RowTree::Clear() {
  rows_.clear();
  rows_.shrink_to_fit();
  free_.clear();
  first_of_.clear();
  categories_.clear();
  rows_.emplace_back();  // the root
}

uint32_t RowTree::NewRow(uint32_t parent, VXNoteId note, std::string key) {
  uint32_t r;
  if (!free_.empty()) {
    r = free_.back();
    free_.pop_back();
  } else {
    r = static_cast<uint32_t>(rows_.size());
    rows_.emplace_back();
  }
  Row& row = rows_[r];
  row.note = note;
  row.parent = parent;
  row.key = std::move(key);
  row.children.clear();
  row.next_same = kNoRow;
  if (note != kCategoryNote && note != 0) {
    if (note >= first_of_.size())
      first_of_.resize(std::max<size_t>(note + 1, first_of_.size() * 3 / 2), kNoRow);
    row.next_same = first_of_[note];
    first_of_[note] = r;
  }
  return r;
}

uint32_t RowTree::Append(uint32_t parent, VXNoteId note, std::string key) {
  uint32_t r = NewRow(parent, note, std::move(key));
  rows_[r].slot = static_cast<uint32_t>(rows_[parent].children.size());
  rows_[parent].children.push_back(r);
  return r;
}

bool RowTree::Less(uint32_t a, const std::string& key, VXNoteId note) const {
  const Row& row = rows_[a];
  int c = row.key.compare(key);
  if (c != 0) return c < 0;
  return row.note < note;
}

uint32_t RowTree::Insert(uint32_t parent, VXNoteId note, std::string key) {
  const std::vector<uint32_t>& kids = rows_[parent].children;
  auto at = std::partition_point(kids.begin(), kids.end(),
                                 [&](uint32_t c) { return Less(c, key, note); });
  size_t place = static_cast<size_t>(at - kids.begin());
  uint32_t r = NewRow(parent, note, std::move(key));
  std::vector<uint32_t>& children = rows_[parent].children;  // NewRow may have moved rows_
  children.insert(children.begin() + static_cast<std::ptrdiff_t>(place), r);
  Renumber(parent, place);
  return r;
}

void RowTree::Renumber(uint32_t parent, size_t from) {
  const std::vector<uint32_t>& kids = rows_[parent].children;
  for (size_t i = from; i < kids.size(); ++i) rows_[kids[i]].slot = static_cast<uint32_t>(i);
}

uint32_t RowTree::LowerBound(uint32_t parent, const std::string& key) const {
  const std::vector<uint32_t>& kids = rows_[parent].children;
  auto at = std::partition_point(kids.begin(), kids.end(),
                                 [&](uint32_t c) { return rows_[c].key < key; });
  return at == kids.end() ? kNoRow : *at;
}

uint32_t RowTree::FindChild(uint32_t parent, const std::string& key) const {
  uint32_t r = LowerBound(parent, key);
  return r != kNoRow && rows_[r].key == key ? r : kNoRow;
}

void RowTree::Unchain(uint32_t r) {
  VXNoteId note = rows_[r].note;
  if (note == kCategoryNote || note == 0 || note >= first_of_.size()) return;
  uint32_t* link = &first_of_[note];
  while (*link != kNoRow && *link != r) link = &rows_[*link].next_same;
  if (*link == r) *link = rows_[r].next_same;
}

void RowTree::Remove(uint32_t r) {
  if (r == kRoot || r >= rows_.size()) return;
  uint32_t parent = rows_[r].parent;
  std::vector<uint32_t>& kids = rows_[parent].children;
  size_t slot = rows_[r].slot;
  kids.erase(kids.begin() + static_cast<std::ptrdiff_t>(slot));
  Renumber(parent, slot);
  // Free the subtree without recursion: a deep response chain must not
  // exhaust the stack.
  std::vector<uint32_t> stack{r};
  while (!stack.empty()) {
    uint32_t x = stack.back();
    stack.pop_back();
    for (uint32_t c : rows_[x].children) stack.push_back(c);
    Unchain(x);
    categories_.erase(x);
    Row& row = rows_[x];
    row.children = std::vector<uint32_t>();
    row.key = std::string();
    row.note = 0;
    row.parent = kNoRow;
    free_.push_back(x);
  }
}

std::vector<uint32_t> RowTree::RowsOf(VXNoteId note) const {
  std::vector<uint32_t> out;
  for (uint32_t r = FirstRowOf(note); r != kNoRow; r = rows_[r].next_same) out.push_back(r);
  return out;
}

const CategoryInfo* RowTree::Category(uint32_t r) const {
  auto it = categories_.find(r);
  return it == categories_.end() ? nullptr : &it->second;
}

uint32_t RowTree::Next(uint32_t r) const {
  if (!rows_[r].children.empty()) return rows_[r].children.front();
  return r == kRoot ? kNoRow : NextPassing(r);
}

uint32_t RowTree::NextPassing(uint32_t r) const {
  while (r != kRoot) {
    const Row& row = rows_[r];
    const std::vector<uint32_t>& sibs = rows_[row.parent].children;
    if (row.slot + 1 < sibs.size()) return sibs[row.slot + 1];
    r = row.parent;
  }
  return kNoRow;
}

uint32_t RowTree::Previous(uint32_t r) const {
  if (r == kRoot) return kNoRow;
  const Row& row = rows_[r];
  if (row.slot == 0) return row.parent == kRoot ? kNoRow : row.parent;
  uint32_t p = rows_[row.parent].children[row.slot - 1];
  while (!rows_[p].children.empty()) p = rows_[p].children.back();
  return p;
}

uint32_t RowTree::Last() const {
  uint32_t p = kRoot;
  while (!rows_[p].children.empty()) p = rows_[p].children.back();
  return p == kRoot ? kNoRow : p;
}

uint32_t RowTree::Depth(uint32_t r) const {
  uint32_t d = 0;
  while (r != kRoot && rows_[r].parent != kRoot) {
    r = rows_[r].parent;
    ++d;
  }
  return d;
}

std::string RowTree::Position(uint32_t r) const {
  std::vector<uint32_t> parts;
  while (r != kRoot && r != kNoRow) {
    parts.push_back(rows_[r].slot + 1);
    r = rows_[r].parent;
  }
  std::string text;
  for (size_t i = parts.size(); i-- > 0;) {
    text += std::to_string(parts[i]);
    if (i > 0) text += '.';
  }
  return text;
}

uint32_t RowTree::AtPosition(const std::string& position) const {
  uint32_t r = kRoot;
  size_t i = 0;
  if (position.empty()) return kNoRow;
  while (i < position.size()) {
    size_t end = position.find('.', i);
    if (end == std::string::npos) end = position.size();
    if (end == i || end - i > 9) return kNoRow;
    uint64_t n = 0;
    for (size_t k = i; k < end; ++k) {
      if (position[k] < '0' || position[k] > '9') return kNoRow;
      n = n * 10 + static_cast<uint64_t>(position[k] - '0');
    }
    const std::vector<uint32_t>& kids = rows_[r].children;
    if (n == 0 || n > kids.size()) return kNoRow;
    r = kids[n - 1];
    i = end + 1;
    if (end + 1 == position.size()) return kNoRow;  // a trailing "."
  }
  return r;
}

uint32_t RowTree::Descendants(uint32_t r) const {
  uint32_t n = 0;
  std::vector<uint32_t> stack(rows_[r].children.begin(), rows_[r].children.end());
  while (!stack.empty()) {
    uint32_t x = stack.back();
    stack.pop_back();
    ++n;
    for (uint32_t c : rows_[x].children) stack.push_back(c);
  }
  return n;
}

}  // namespace ledra

namespace ledra {

size_t RowTree::MemoryBytes() const {
  size_t bytes = rows_.capacity() * sizeof(Row) + free_.capacity() * sizeof(uint32_t) +
                 first_of_.capacity() * sizeof(uint32_t);
  for (const Row& row : rows_)
    bytes += row.children.capacity() * sizeof(uint32_t) + HeapBytes(row.key);
  // A map node holds the pair and the next pointer; the buckets are pointers.
  bytes += categories_.bucket_count() * sizeof(void*);
  for (const auto& [r, info] : categories_)
    bytes += sizeof(std::pair<const uint32_t, CategoryInfo>) + sizeof(void*) + HeapBytes(info.text);
  return bytes;
}

}  // namespace ledra
