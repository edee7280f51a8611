// The row tree of a view index.
#include "ledra/view/row_tree.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace ledra {

namespace {

// The priority of a row in its siblings' tree: a row sits above the rows
// of lower priority. Drawn from the row's number by a mixing function (a
// one-to-one map), so no two rows share one and the trees stay balanced
// whatever order the keys arrive in.
uint32_t Priority(uint32_t r) {
  r ^= r >> 16;
  r *= 0x85ebca6bu;
  r ^= r >> 13;
  r *= 0xc2b2ae35u;
  r ^= r >> 16;
  return r;
}

// Dead key bytes are reclaimed once there are this many and they are more
// than half of the array.
constexpr size_t kCompactAfter = size_t{64} << 10;

}  // namespace

RowTree::RowTree() {
  Clear();
}

void RowTree::Clear() {
  rows_.clear();
  rows_.shrink_to_fit();
  free_.clear();
  free_.shrink_to_fit();
  first_of_.clear();
  first_of_.shrink_to_fit();
  keys_.clear();
  keys_.shrink_to_fit();
  dead_key_bytes_ = 0;
  categories_.clear();
  rows_.emplace_back();  // the root
}

void RowTree::StoreKey(Row* row, std::string_view key) {
  row->key_at = 0;
  row->key_size = 0;
  if (key.empty()) return;
  if (dead_key_bytes_ > kCompactAfter && dead_key_bytes_ * 2 > keys_.size()) {
    // The key may be one of this tree's own: copy it before moving keys.
    std::string copy(key);
    CompactKeys();
    return StoreKey(row, copy);
  }
  // Offsets are 32-bit: a tree holds at most 4 GiB of keys, far more than
  // the rows that would need them fit in memory.
  if (keys_.size() + key.size() > std::numeric_limits<uint32_t>::max()) std::abort();
  row->key_at = static_cast<uint32_t>(keys_.size());
  row->key_size = static_cast<uint32_t>(key.size());
  // append copes with a key that lies inside keys_ itself.
  keys_.append(key.data(), key.size());
}

void RowTree::CompactKeys() {
  std::string kept;
  kept.reserve(keys_.size() - dead_key_bytes_);
  for (Row& row : rows_) {
    if (row.key_size == 0) continue;
    uint32_t at = static_cast<uint32_t>(kept.size());
    kept.append(keys_, row.key_at, row.key_size);
    row.key_at = at;
  }
  keys_ = std::move(kept);
  dead_key_bytes_ = 0;
}

uint32_t RowTree::NewRow(uint32_t parent, VXNoteId note, std::string_view key) {
  uint32_t r;
  if (!free_.empty()) {
    r = free_.back();
    free_.pop_back();
  } else {
    r = static_cast<uint32_t>(rows_.size());
    rows_.emplace_back();
  }
  Row& row = rows_[r];
  row = Row();
  row.note = note;
  row.parent = parent;
  row.size = 1;
  StoreKey(&row, key);
  if (note != kCategoryNote && note != 0) {
    if (note >= first_of_.size())
      first_of_.resize(std::max<size_t>(note + 1, first_of_.size() * 3 / 2), kNoRow);
    row.next_same = first_of_[note];
    first_of_[note] = r;
  }
  return r;
}

uint32_t RowTree::Leftmost(uint32_t r) const {
  if (r == kNoRow) return kNoRow;
  while (rows_[r].left != kNoRow) r = rows_[r].left;
  return r;
}

uint32_t RowTree::Rightmost(uint32_t r) const {
  if (r == kNoRow) return kNoRow;
  while (rows_[r].right != kNoRow) r = rows_[r].right;
  return r;
}

void RowTree::Resize(uint32_t r) {
  rows_[r].size = 1 + SizeOf(rows_[r].left) + SizeOf(rows_[r].right);
}

void RowTree::Rotate(uint32_t r) {
  uint32_t p = rows_[r].up;
  uint32_t g = rows_[p].up;
  if (rows_[p].left == r) {
    uint32_t between = rows_[r].right;
    rows_[p].left = between;
    if (between != kNoRow) rows_[between].up = p;
    rows_[r].right = p;
  } else {
    uint32_t between = rows_[r].left;
    rows_[p].right = between;
    if (between != kNoRow) rows_[between].up = p;
    rows_[r].left = p;
  }
  rows_[p].up = r;
  rows_[r].up = g;
  if (g == kNoRow) {
    rows_[rows_[r].parent].children = r;
  } else if (rows_[g].left == p) {
    rows_[g].left = r;
  } else {
    rows_[g].right = r;
  }
  Resize(p);
  Resize(r);
}

void RowTree::RotateUp(uint32_t r) {
  while (rows_[r].up != kNoRow && Priority(r) > Priority(rows_[r].up)) Rotate(r);
}

void RowTree::Attach(uint32_t parent, uint32_t at, bool on_right, uint32_t r) {
  rows_[r].up = at;
  if (at == kNoRow) {
    rows_[parent].children = r;
  } else {
    (on_right ? rows_[at].right : rows_[at].left) = r;
  }
  for (uint32_t x = at; x != kNoRow; x = rows_[x].up) ++rows_[x].size;
  RotateUp(r);
}

uint32_t RowTree::Append(uint32_t parent, VXNoteId note, std::string_view key) {
  uint32_t r = NewRow(parent, note, key);
  Attach(parent, Rightmost(rows_[parent].children), true, r);
  return r;
}

bool RowTree::Less(uint32_t a, std::string_view key, VXNoteId note) const {
  int c = Key(a).compare(key);
  if (c != 0) return c < 0;
  return rows_[a].note < note;
}

uint32_t RowTree::Insert(uint32_t parent, VXNoteId note, std::string_view key) {
  uint32_t at = kNoRow;
  bool on_right = false;
  for (uint32_t x = rows_[parent].children; x != kNoRow;) {
    at = x;
    on_right = Less(x, key, note);
    x = on_right ? rows_[x].right : rows_[x].left;
  }
  uint32_t r = NewRow(parent, note, key);
  Attach(parent, at, on_right, r);
  return r;
}

uint32_t RowTree::LowerBound(uint32_t parent, std::string_view key) const {
  uint32_t found = kNoRow;
  for (uint32_t x = rows_[parent].children; x != kNoRow;) {
    if (Key(x) < key) {
      x = rows_[x].right;
    } else {
      found = x;
      x = rows_[x].left;
    }
  }
  return found;
}

uint32_t RowTree::FindChild(uint32_t parent, std::string_view key) const {
  uint32_t r = LowerBound(parent, key);
  return r != kNoRow && Key(r) == key ? r : kNoRow;
}

void RowTree::Unchain(uint32_t r) {
  VXNoteId note = rows_[r].note;
  if (note == kCategoryNote || note == 0 || note >= first_of_.size()) return;
  uint32_t* link = &first_of_[note];
  while (*link != kNoRow && *link != r) link = &rows_[*link].next_same;
  if (*link == r) *link = rows_[r].next_same;
}

void RowTree::Detach(uint32_t r) {
  // Turned down below its siblings until it has at most one child in their
  // tree, then replaced by that child.
  while (rows_[r].left != kNoRow && rows_[r].right != kNoRow) {
    uint32_t left = rows_[r].left, right = rows_[r].right;
    Rotate(Priority(left) > Priority(right) ? left : right);
  }
  uint32_t child = rows_[r].left != kNoRow ? rows_[r].left : rows_[r].right;
  uint32_t p = rows_[r].up;
  if (child != kNoRow) rows_[child].up = p;
  if (p == kNoRow) {
    rows_[rows_[r].parent].children = child;
  } else if (rows_[p].left == r) {
    rows_[p].left = child;
  } else {
    rows_[p].right = child;
  }
  for (uint32_t x = p; x != kNoRow; x = rows_[x].up) --rows_[x].size;
  rows_[r].left = rows_[r].right = rows_[r].up = kNoRow;
  rows_[r].size = 1;
}

void RowTree::Remove(uint32_t r) {
  if (r == kRoot || r >= rows_.size() || rows_[r].parent == kNoRow) return;
  Detach(r);
  // Free the subtree without recursion: a deep response chain must not
  // exhaust the stack. Below r every link leads to a row that goes too.
  std::vector<uint32_t> stack{r};
  while (!stack.empty()) {
    uint32_t x = stack.back();
    stack.pop_back();
    for (uint32_t next : {rows_[x].left, rows_[x].right, rows_[x].children})
      if (next != kNoRow) stack.push_back(next);
    Unchain(x);
    categories_.erase(x);
    dead_key_bytes_ += rows_[x].key_size;
    rows_[x] = Row();
    free_.push_back(x);
  }
}

uint32_t RowTree::ChildAt(uint32_t r, uint32_t n) const {
  uint32_t x = rows_[r].children;
  while (x != kNoRow) {
    uint32_t before = SizeOf(rows_[x].left);
    if (n < before) {
      x = rows_[x].left;
    } else if (n == before) {
      return x;
    } else {
      n -= before + 1;
      x = rows_[x].right;
    }
  }
  return kNoRow;
}

std::vector<uint32_t> RowTree::Children(uint32_t r) const {
  std::vector<uint32_t> out;
  out.reserve(ChildCount(r));
  for (uint32_t c = FirstChild(r); c != kNoRow; c = NextSibling(c)) out.push_back(c);
  return out;
}

uint32_t RowTree::Slot(uint32_t r) const {
  uint32_t place = SizeOf(rows_[r].left);
  for (uint32_t x = r; rows_[x].up != kNoRow; x = rows_[x].up) {
    uint32_t p = rows_[x].up;
    if (rows_[p].right == x) place += SizeOf(rows_[p].left) + 1;
  }
  return place;
}

uint32_t RowTree::NextSibling(uint32_t r) const {
  if (r == kRoot) return kNoRow;
  if (rows_[r].right != kNoRow) return Leftmost(rows_[r].right);
  uint32_t x = r;
  while (rows_[x].up != kNoRow && rows_[rows_[x].up].right == x) x = rows_[x].up;
  return rows_[x].up;
}

uint32_t RowTree::PreviousSibling(uint32_t r) const {
  if (r == kRoot) return kNoRow;
  if (rows_[r].left != kNoRow) return Rightmost(rows_[r].left);
  uint32_t x = r;
  while (rows_[x].up != kNoRow && rows_[rows_[x].up].left == x) x = rows_[x].up;
  return rows_[x].up;
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
  if (rows_[r].children != kNoRow) return FirstChild(r);
  return r == kRoot ? kNoRow : NextPassing(r);
}

uint32_t RowTree::NextPassing(uint32_t r) const {
  while (r != kRoot) {
    uint32_t next = NextSibling(r);
    if (next != kNoRow) return next;
    r = rows_[r].parent;
  }
  return kNoRow;
}

uint32_t RowTree::Previous(uint32_t r) const {
  if (r == kRoot) return kNoRow;
  uint32_t p = PreviousSibling(r);
  if (p == kNoRow) return rows_[r].parent == kRoot ? kNoRow : rows_[r].parent;
  while (rows_[p].children != kNoRow) p = LastChild(p);
  return p;
}

uint32_t RowTree::Last() const {
  uint32_t p = kRoot;
  while (rows_[p].children != kNoRow) p = LastChild(p);
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
    parts.push_back(Slot(r) + 1);
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
    if (n == 0 || n > ChildCount(r)) return kNoRow;
    r = ChildAt(r, static_cast<uint32_t>(n - 1));
    i = end + 1;
    if (end + 1 == position.size()) return kNoRow;  // a trailing "."
  }
  return r;
}

uint32_t RowTree::Descendants(uint32_t r) const {
  uint32_t n = 0;
  std::vector<uint32_t> stack;
  if (rows_[r].children != kNoRow) stack.push_back(rows_[r].children);
  while (!stack.empty()) {
    uint32_t x = stack.back();
    stack.pop_back();
    ++n;
    for (uint32_t next : {rows_[x].left, rows_[x].right, rows_[x].children})
      if (next != kNoRow) stack.push_back(next);
  }
  return n;
}

size_t RowTree::MemoryBytes() const {
  size_t bytes = rows_.capacity() * sizeof(Row) + free_.capacity() * sizeof(uint32_t) +
                 first_of_.capacity() * sizeof(uint32_t) + keys_.capacity();
  // A map node holds the pair and the next pointer; the buckets are pointers.
  bytes += categories_.bucket_count() * sizeof(void*);
  for (const auto& [r, info] : categories_)
    bytes += sizeof(std::pair<const uint32_t, CategoryInfo>) + sizeof(void*) + HeapBytes(info.text);
  return bytes;
}

}  // namespace ledra
