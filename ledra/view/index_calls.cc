// The Vantix calls of view indexes: opening, narrowing, moving, positions,
// counts, refresh, properties, key search, key lists, hierarchy deletion,
// cell values and columns.
#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "ledra/last_error.h"
#include "ledra/view/index_cursor.h"
#include "ledra/view/view_api.h"
#include "ledra/vxapi.h"

namespace ledra {

VXStatus GetIndexCursor(VXHandle h, std::shared_ptr<IndexCursor>* out) {
  *out = Lookup<IndexCursor>(h, HandleKind::kIndex);
  if (!*out)
    return Fail(kVXBadHandle,
                "Invalid index handle " + std::to_string(h) + " (not open, or closed)");
  return kVXOk;
}

VXStatus EnsureBuilt(IndexCursor* cursor) {
  if (cursor->built) return kVXOk;
  std::lock_guard<std::mutex> lock(cursor->database->mutex);
  if (!cursor->database->store) return Fail(kVXBadHandle, "The database of this index is closed");
  if (VXStatus s = cursor->index->Build(cursor->database->store.get()); s != kVXOk) return s;
  cursor->built = true;
  cursor->current = RowTree::kRoot;
  return kVXOk;
}

namespace {

VXStatus NoRow() {
  return Fail(kVXNoCurrentRow, "The index is not on a row");
}

VXStatus Rebuild(IndexCursor* c, const ViewDesign* design, const std::string& search) {
  auto fresh = std::make_unique<ViewIndex>();
  if (VXStatus s = fresh->Configure(design, search); s != kVXOk) return s;
  c->index = std::move(fresh);
  c->built = false;
  c->full_text = false;
  c->results.Clear();
  c->scores.clear();
  return EnsureBuilt(c);
}

// The notes of up to `rows` rows from the cursor's row on, in the order the
// cursor moves (the view's, or the full-text results'): the page a caller
// reading cells row after row is about to read.
std::vector<VXNoteId> PageNotes(const IndexCursor& c, size_t rows) {
  const RowTree& t = c.tree();
  std::vector<VXNoteId> ids;
  std::unordered_set<VXNoteId> seen;
  for (uint32_t r = c.current; r != kNoRow && r != RowTree::kRoot && rows > 0;
       r = t.Next(r), --rows) {
    VXNoteId note = t.row(r).note;
    if (note != kCategoryNote && seen.insert(note).second) ids.push_back(note);
  }
  return ids;
}

void FillInfo(const IndexCursor& c, uint32_t r, VXNoteId* id, VXRowInfo* info) {
  const RowTree& t = c.tree();
  const Row& row = t.row(r);
  if (id != nullptr) *id = row.note;
  if (info == nullptr) return;
  *info = VXRowInfo();
  info->level = t.Depth(r);
  info->child_count = t.ChildCount(r);
  if (row.note == kCategoryNote) info->flags |= kVXRowCategory;
  if (info->child_count != 0) info->flags |= kVXRowHasChildren;
  if (!c.full_text && row.note != kCategoryNote) {
    info->response_level = c.index->ResponseLevel(r);
    if (info->response_level > 0) info->flags |= kVXRowResponse;
  }
  if (c.full_text) {
    uint32_t slot = t.Slot(r);
    if (slot < c.scores.size()) info->score = c.scores[slot];
  }
}

// Where the cursor stands before a refresh, so it can be found again.
struct Mark {
  bool before_first = true;
  VXNoteId note = 0;
  std::string position;
};

Mark Remember(const IndexCursor& c) {
  Mark m;
  if (c.current == RowTree::kRoot) return m;
  m.before_first = false;
  m.note = c.tree().row(c.current).note;
  m.position = c.tree().Position(c.current);
  return m;
}

void Restore(IndexCursor* c, const Mark& m) {
  const RowTree& t = c->tree();
  if (m.before_first) {
    c->current = RowTree::kRoot;
    return;
  }
  uint32_t r = t.AtPosition(m.position);
  if (r != kNoRow && t.row(r).note == m.note) {
    c->current = r;
    return;
  }
  uint32_t same = m.note != kCategoryNote ? t.FirstRowOf(m.note) : kNoRow;
  if (same != kNoRow) {
    c->current = same;
  } else if (r != kNoRow) {
    c->current = r;
  } else {
    uint32_t last = t.Last();
    c->current = last == kNoRow ? RowTree::kRoot : last;
  }
}

}  // namespace
}  // namespace ledra

using namespace ledra;

VXStatus VXIndexOpen(VXHandle database, VXHandle* index) {
  std::shared_ptr<Database> db;
  if (VXStatus s = GetDatabase(database, &db); s != kVXOk) return s;
  if (index == nullptr) return Fail(kVXBadArgument, "VXIndexOpen: no place for the index handle");
  auto cursor = std::make_shared<IndexCursor>();
  cursor->database = db;
  cursor->index = std::make_unique<ViewIndex>();
  if (VXStatus s = cursor->index->Configure(nullptr, ""); s != kVXOk) return s;
  *index = RegisterHandle(HandleKind::kIndex, cursor);
  return kVXOk;
}

VXStatus VXIndexOpenView(VXHandle index, uint32_t /*reserved*/, VXNoteId view,
                         uint32_t /*resort*/) {
  std::shared_ptr<IndexCursor> c;
  if (VXStatus s = GetIndexCursor(index, &c); s != kVXOk) return s;
  std::lock_guard<std::mutex> lock(c->mutex);
  ViewDesign design;
  {
    std::lock_guard<std::mutex> db_lock(c->database->mutex);
    if (!c->database->store) return Fail(kVXBadHandle, "The database of this index is closed");
    Note note;
    if (c->database->store->Load(view, &note) != kVXOk || note.note_class != kVXClassView) {
      return Fail(kVXNoSuchView,
                  "View " + std::to_string(view) + " not found in " + c->database->store->label());
    }
    if (VXStatus s = ReadViewDesign(note, &design); s != kVXOk) return s;
  }
  // Every open builds from the documents as they are now, so a re-sort
  // needs nothing more.
  return Rebuild(c.get(), &design, c->index->search());
}

VXStatus VXIndexSearch(VXHandle index, const char* formula, uint32_t, uint32_t) {
  std::shared_ptr<IndexCursor> c;
  if (VXStatus s = GetIndexCursor(index, &c); s != kVXOk) return s;
  std::lock_guard<std::mutex> lock(c->mutex);
  ViewDesign design = c->index->design();
  bool has_view = c->index->has_view();
  return Rebuild(c.get(), has_view ? &design : nullptr, formula != nullptr ? formula : "");
}

VXStatus VXIndexNavigate(VXHandle index, uint32_t code, uint32_t mode, VXNoteId* id,
                         VXRowInfo* info) {
  std::shared_ptr<IndexCursor> c;
  if (VXStatus s = GetIndexCursor(index, &c); s != kVXOk) return s;
  std::lock_guard<std::mutex> lock(c->mutex);
  if (VXStatus s = EnsureBuilt(c.get()); s != kVXOk) return s;
  const RowTree& t = c->tree();
  uint32_t cur = c->current;
  uint32_t to = kNoRow;
  bool on_row = cur != RowTree::kRoot;
  if (code == kVXNavCurrent && mode == 0) {
    if (!on_row) return NoRow();
    to = cur;
  } else if (code == kVXNavFirst && mode == 0) {
    if (!on_row) return NoRow();
    to = cur;
  } else if (code == kVXNavNext && mode == 0) {
    to = t.Next(cur);
  } else if (code == kVXNavNext && mode == 2) {
    to = t.Previous(cur);
  } else if (code == kVXNavNextSibling && mode == 0) {
    to = on_row ? t.NextPassing(cur) : t.Next(RowTree::kRoot);
  } else if (code == kVXNavChild && mode == 1) {
    if (!on_row) return NoRow();
    if (t.ChildCount(cur) == 0) return Fail(kVXEndOfList, "The row has no rows below it");
    to = cur;
  } else if (code == kVXNavFirst && mode == 2) {
    to = t.Next(RowTree::kRoot);
    // A page is read from the first row: its notes are read afresh.
    c->index->ForgetPage();
  } else if (code == kVXNavChild && mode == 0) {
    if (!on_row) return NoRow();
    to = t.FirstChild(cur);
  } else {
    return Fail(kVXBadArgument,
                "Unknown navigation (" + std::to_string(code) + ", " + std::to_string(mode) + ")");
  }
  if (to == kNoRow) return Fail(kVXEndOfList, "No more rows");
  c->current = to;
  FillInfo(*c, to, id, info);
  return kVXOk;
}

VXStatus VXIndexGetViewPosition(VXHandle index, uint32_t size, char* text) {
  std::shared_ptr<IndexCursor> c;
  if (VXStatus s = GetIndexCursor(index, &c); s != kVXOk) return s;
  if (text == nullptr || size == 0)
    return Fail(kVXBadArgument, "VXIndexGetViewPosition: no buffer");
  std::lock_guard<std::mutex> lock(c->mutex);
  if (VXStatus s = EnsureBuilt(c.get()); s != kVXOk) return s;
  text[0] = '\0';
  if (c->current == RowTree::kRoot) return NoRow();
  std::string p = c->tree().Position(c->current);
  if (p.size() >= size)
    return Fail(kVXBufferTooSmall, "The position " + p + " does not fit the buffer");
  CopyText(p, text, size);
  return kVXOk;
}

VXStatus VXIndexSetViewPosition(VXHandle index, const char* position) {
  std::shared_ptr<IndexCursor> c;
  if (VXStatus s = GetIndexCursor(index, &c); s != kVXOk) return s;
  std::lock_guard<std::mutex> lock(c->mutex);
  if (VXStatus s = EnsureBuilt(c.get()); s != kVXOk) return s;
  std::string p = position != nullptr ? position : "";
  uint32_t r = c->tree().AtPosition(p);
  if (r == kNoRow) return Fail(kVXNoSuchRow, "No row at position \"" + p + "\"");
  c->current = r;
  // A page is read from here: its notes are read afresh.
  c->index->ForgetPage();
  return kVXOk;
}

VXStatus VXIndexSetPosition(VXHandle index, uint32_t n) {
  std::shared_ptr<IndexCursor> c;
  if (VXStatus s = GetIndexCursor(index, &c); s != kVXOk) return s;
  std::lock_guard<std::mutex> lock(c->mutex);
  if (VXStatus s = EnsureBuilt(c.get()); s != kVXOk) return s;
  const RowTree& t = c->tree();
  if (n == 0 || n > t.ChildCount(RowTree::kRoot))
    return Fail(kVXNoSuchRow, "No top-level row " + std::to_string(n));
  c->current = t.ChildAt(RowTree::kRoot, n - 1);
  c->index->ForgetPage();
  return kVXOk;
}

VXStatus VXIndexGetCount(VXHandle index, uint32_t* count) {
  std::shared_ptr<IndexCursor> c;
  if (VXStatus s = GetIndexCursor(index, &c); s != kVXOk) return s;
  if (count == nullptr) return Fail(kVXBadArgument, "VXIndexGetCount: no place for the count");
  std::lock_guard<std::mutex> lock(c->mutex);
  if (VXStatus s = EnsureBuilt(c.get()); s != kVXOk) return s;
  *count = c->tree().ChildCount(RowTree::kRoot);
  return kVXOk;
}

VXStatus VXIndexRefresh(VXHandle index) {
  std::shared_ptr<IndexCursor> c;
  if (VXStatus s = GetIndexCursor(index, &c); s != kVXOk) return s;
  std::lock_guard<std::mutex> lock(c->mutex);
  if (!c->built) return EnsureBuilt(c.get());
  Mark m = Remember(*c);
  {
    std::lock_guard<std::mutex> db_lock(c->database->mutex);
    if (!c->database->store) return Fail(kVXBadHandle, "The database of this index is closed");
    if (VXStatus s = c->index->Refresh(c->database->store.get()); s != kVXOk) return s;
  }
  if (c->full_text) {
    // Results whose document left the view (deleted, changed) go; the
    // others keep their score and order.
    RowTree kept;
    std::vector<uint32_t> scores;
    uint32_t slot = 0;
    for (uint32_t r = c->results.FirstChild(RowTree::kRoot); r != kNoRow;
         r = c->results.NextSibling(r), ++slot) {
      VXNoteId note = c->results.row(r).note;
      if (!c->index->InView(note)) continue;
      kept.Append(RowTree::kRoot, note, std::string_view());
      scores.push_back(c->scores[slot]);
    }
    c->results = std::move(kept);
    c->scores = std::move(scores);
  }
  Restore(c.get(), m);
  return kVXOk;
}

VXStatus VXIndexClose(VXHandle index) {
  if (!ReleaseHandle(index, HandleKind::kIndex)) {
    return Fail(kVXBadHandle,
                "Invalid index handle " + std::to_string(index) + " (not open, or closed)");
  }
  return kVXOk;
}

VXStatus VXIndexGetProperty(VXHandle index, uint32_t property, void* value, uint32_t size) {
  std::shared_ptr<IndexCursor> c;
  if (VXStatus s = GetIndexCursor(index, &c); s != kVXOk) return s;
  if (value == nullptr)
    return Fail(kVXBadArgument, "Index property " + std::to_string(property) + ": no buffer");
  std::lock_guard<std::mutex> lock(c->mutex);
  auto number = [&](int32_t v) -> VXStatus {
    if (size < 4)
      return Fail(kVXBufferTooSmall,
                  "Index property " + std::to_string(property) + " needs 4 bytes");
    std::memcpy(value, &v, 4);
    return kVXOk;
  };
  switch (property) {
    case kIndexPropFullText:
      return number(c->full_text ? 1 : 0);
    case kIndexPropScore: {
      if (!c->full_text || c->current == RowTree::kRoot) return number(0);
      uint32_t slot = c->results.Slot(c->current);
      return number(slot < c->scores.size() ? static_cast<int32_t>(c->scores[slot]) : 0);
    }
    case kIndexPropViewName:
      CopyText(c->index->has_view() ? c->index->design().name : "", static_cast<char*>(value),
               size);
      return kVXOk;
    case kIndexPropFormula:
      CopyText(c->index->search(), static_cast<char*>(value), size);
      return kVXOk;
    default:
      return Fail(kVXBadArgument, "Unknown index property " + std::to_string(property));
  }
}

VXStatus VXIndexSetProperty(VXHandle index, uint32_t property, const void* value) {
  if (property == kIndexPropFormula)
    return VXIndexSearch(index, static_cast<const char*>(value), 0, 0);
  std::shared_ptr<IndexCursor> c;
  if (VXStatus s = GetIndexCursor(index, &c); s != kVXOk) return s;
  return Fail(kVXBadArgument, "Index property " + std::to_string(property) + " cannot be written");
}

VXStatus VXIndexKeySearch(VXHandle index, const VXKey* key, uint32_t mode, uint32_t options,
                          uint32_t* count) {
  std::shared_ptr<IndexCursor> c;
  if (VXStatus s = GetIndexCursor(index, &c); s != kVXOk) return s;
  if (key == nullptr) return Fail(kVXBadArgument, "VXIndexKeySearch: no key given");
  std::lock_guard<std::mutex> lock(c->mutex);
  if (VXStatus s = EnsureBuilt(c.get()); s != kVXOk) return s;
  if (count != nullptr) *count = 0;
  ViewIndex& v = *c->index;
  if (key->kind != kVXKeyFirstSorted || v.key_column() < 0 || c->full_text) {
    return Fail(kVXNoKey, "This index has no sorted column to search");
  }
  bool text = key->type == kVXTypeText;
  std::string wanted =
      text ? std::string(key->text, strnlen(key->text, sizeof key->text)) : std::string();
  bool leading = text && (options & kVXKeyLeading) != 0;
  bool any_case = (options & kVXKeyAnyCase) != 0;
  std::string k = text ? v.TopKey(wanted, leading) : v.TopKey(key->number);
  const RowTree& t = v.tree();
  uint32_t first = kNoRow, found = 0;
  std::lock_guard<std::mutex> db_lock(c->database->mutex);
  if (!c->database->store) return Fail(kVXBadHandle, "The database of this index is closed");
  for (uint32_t r = t.LowerBound(RowTree::kRoot, k); r != kNoRow; r = t.NextSibling(r)) {
    if (t.Key(r).compare(0, k.size(), k) != 0) break;
    if (text && !any_case) {
      std::string shown;
      if (VXStatus s = v.TopText(c->database->store.get(), r, &shown); s != kVXOk) return s;
      bool match = leading ? shown.compare(0, wanted.size(), wanted) == 0 : shown == wanted;
      if (!match) continue;
    }
    if (first == kNoRow) first = r;
    ++found;
  }
  if (count != nullptr) *count = found;
  if (found == 0)
    return Fail(kVXNoSuchRow,
                "No row matches the key \"" + (text ? wanted : std::to_string(key->number)) + "\"");
  if (mode == 1) {
    c->current = first;
    c->index->ForgetPage();
  }
  return kVXOk;
}

VXStatus VXIndexListKey(VXHandle index, uint32_t code, VXKey* key) {
  std::shared_ptr<IndexCursor> c;
  if (VXStatus s = GetIndexCursor(index, &c); s != kVXOk) return s;
  if (key == nullptr) return Fail(kVXBadArgument, "VXIndexListKey: no key record");
  std::lock_guard<std::mutex> lock(c->mutex);
  if (VXStatus s = EnsureBuilt(c.get()); s != kVXOk) return s;
  int column = c->index->first_category_column();
  if (column < 0) return Fail(kVXNoKey, "This view has no categorised column");
  if (code == kVXListFirst) {
    c->key_walk = 0;
  } else if (code != kVXListNext) {
    return Fail(kVXBadArgument,
                "VXIndexListKey: code " + std::to_string(code) + " is neither 2 nor 4");
  }
  const RowTree& t = c->index->tree();
  uint32_t top = c->key_walk < t.ChildCount(RowTree::kRoot)
                     ? t.ChildAt(RowTree::kRoot, static_cast<uint32_t>(c->key_walk))
                     : kNoRow;
  while (top != kNoRow && t.row(top).note != kCategoryNote) {
    top = t.NextSibling(top);
    ++c->key_walk;
  }
  if (top == kNoRow) return kVXEndOfList;
  ++c->key_walk;
  const CategoryInfo* info = t.Category(top);
  *key = VXKey();
  key->type = kVXTypeText;
  key->column = static_cast<uint32_t>(column) + 1;
  CopyText(info != nullptr ? info->text : "", key->text, sizeof key->text);
  return kVXOk;
}

VXStatus VXIndexDeleteHierarchy(VXHandle index, uint32_t /*flags*/) {
  std::shared_ptr<IndexCursor> c;
  if (VXStatus s = GetIndexCursor(index, &c); s != kVXOk) return s;
  std::lock_guard<std::mutex> lock(c->mutex);
  if (VXStatus s = EnsureBuilt(c.get()); s != kVXOk) return s;
  if (c->current == RowTree::kRoot) return NoRow();
  const RowTree& t = c->tree();
  if (t.row(c->current).note == kCategoryNote) {
    return Fail(kVXBadArgument, "A category row has no document to delete");
  }
  // The row's document and every row below it (its responses, at any depth).
  std::vector<VXNoteId> doomed{t.row(c->current).note};
  std::vector<uint32_t> stack = t.Children(c->current);
  while (!stack.empty()) {
    uint32_t r = stack.back();
    stack.pop_back();
    doomed.push_back(t.row(r).note);
    for (uint32_t k : t.Children(r)) stack.push_back(k);
  }
  std::lock_guard<std::mutex> db_lock(c->database->mutex);
  if (!c->database->store) return Fail(kVXBadHandle, "The database of this index is closed");
  VXStatus first_failure = kVXOk;
  for (VXNoteId id : doomed) {
    VXStatus s = c->database->store->Delete(id, false);
    // A response deleted already (by another cursor) is not a failure.
    if (s != kVXOk && s != kVXNoteNotFound && first_failure == kVXOk) first_failure = s;
  }
  return first_failure;
}

VXStatus VXViewcellFetch(VXHandle index, uint32_t column, char* text, uint32_t size,
                         uint32_t* length) {
  std::shared_ptr<IndexCursor> c;
  if (VXStatus s = GetIndexCursor(index, &c); s != kVXOk) return s;
  if (text == nullptr || size == 0) return Fail(kVXBadArgument, "VXViewcellFetch: no buffer");
  text[0] = '\0';
  if (length != nullptr) *length = 0;
  std::lock_guard<std::mutex> lock(c->mutex);
  if (VXStatus s = EnsureBuilt(c.get()); s != kVXOk) return s;
  if (c->current == RowTree::kRoot) return NoRow();
  if (column == 0) return Fail(kVXBadArgument, "Columns are numbered from 1");
  uint32_t row = c->current;
  if (c->full_text) {
    // A result row shows the document's first row of the view.
    row = c->index->tree().FirstRowOf(c->results.row(c->current).note);
    if (row == kNoRow) return Fail(kVXNoteNotFound, "The document of this result left the view");
  }
  std::string value;
  {
    std::lock_guard<std::mutex> db_lock(c->database->mutex);
    if (!c->database->store) return Fail(kVXBadHandle, "The database of this index is closed");
    NoteStore* store = c->database->store.get();
    // The first cell of a row outside the page read lately reads the notes
    // of the rows after it too, in one read transaction.
    VXNoteId note = c->index->tree().row(row).note;
    if (note != kCategoryNote && !c->index->HasPageNote(*store, note)) {
      if (VXStatus s = c->index->LoadPage(store, PageNotes(*c, c->index->NextPageRows()));
          s != kVXOk)
        return s;
    }
    if (VXStatus s = c->index->CellText(store, row, column - 1, &value); s != kVXOk) return s;
  }
  uint32_t n = CopyText(value, text, size);
  if (length != nullptr) *length = n;
  return kVXOk;
}

namespace {

void FillColumn(const ColumnDesign& col, VXColumnRecord* record) {
  *record = VXColumnRecord();
  CopyText(col.item, record->item_name, sizeof record->item_name);
  CopyText(col.title, record->title, sizeof record->title);
  record->width = col.width << 2;
  record->flags = col.flags;
  CopyText(col.formula, record->formula, sizeof record->formula);
}

}  // namespace

VXStatus VXColumnGetCount(VXHandle index, uint32_t* count) {
  std::shared_ptr<IndexCursor> c;
  if (VXStatus s = GetIndexCursor(index, &c); s != kVXOk) return s;
  if (count == nullptr) return Fail(kVXBadArgument, "VXColumnGetCount: no place for the count");
  std::lock_guard<std::mutex> lock(c->mutex);
  *count = static_cast<uint32_t>(c->index->design().columns.size());
  return kVXOk;
}

VXStatus VXColumnList(VXHandle index, uint32_t code, VXColumnRecord* record) {
  std::shared_ptr<IndexCursor> c;
  if (VXStatus s = GetIndexCursor(index, &c); s != kVXOk) return s;
  if (record == nullptr) return Fail(kVXBadArgument, "VXColumnList: no record");
  std::lock_guard<std::mutex> lock(c->mutex);
  if (code == kVXListFirst) {
    c->column_walk = 0;
  } else if (code != kVXListNext) {
    return Fail(kVXBadArgument,
                "VXColumnList: code " + std::to_string(code) + " is neither 2 nor 4");
  }
  const std::vector<ColumnDesign>& cols = c->index->design().columns;
  if (c->column_walk >= cols.size()) return kVXEndOfList;
  FillColumn(cols[c->column_walk++], record);
  return kVXOk;
}

VXStatus VXColumnFetch(VXHandle index, uint32_t column, VXColumnRecord* record) {
  std::shared_ptr<IndexCursor> c;
  if (VXStatus s = GetIndexCursor(index, &c); s != kVXOk) return s;
  if (record == nullptr) return Fail(kVXBadArgument, "VXColumnFetch: no record");
  std::lock_guard<std::mutex> lock(c->mutex);
  const std::vector<ColumnDesign>& cols = c->index->design().columns;
  if (column == 0 || column > cols.size()) {
    return Fail(kVXBadArgument,
                "Column " + std::to_string(column) + " does not exist in this view");
  }
  FillColumn(cols[column - 1], record);
  return kVXOk;
}
