// Building and refreshing the index of a view.
#include "ledra/view/view_index.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <unordered_set>

#include "ledra/design_source.h"
#include "ledra/last_error.h"
#include "ledra/note_store.h"
#include "ledra/view/view_api.h"

namespace ledra {
namespace {

// A response whose parent is not in the database: it is kept out of the rows.
constexpr VXNoteId kOrphan = kCategoryNote;
// Paths of one document through its category values, at most.
constexpr size_t kMaxPaths = 256;
// Response chains deeper than this are not followed (damaged parent links).
constexpr int kMaxResponseDepth = 256;

bool IsNative(const std::string& formula, const char* name) {
  std::string t;
  for (char c : formula) {
    if (!std::isspace(static_cast<unsigned char>(c)))
      t += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return t == name;
}

struct Placement {
  uint32_t key_at = 0;  // the document key, in the build's key bytes
  uint32_t key_size = 0;
  uint32_t path = 0;  // into the distinct category paths of the build
  VXNoteId note = 0;
};

}  // namespace

std::string KeyComponent(const CellEntry* entry, bool descending) {
  std::string c;
  if (entry == nullptr || (!entry->numeric && entry->text.empty())) {
    c.push_back('\0');
  } else if (entry->numeric) {
    uint64_t bits = 0;
    double v = entry->number == 0 ? 0.0 : entry->number;  // -0 sorts as 0
    std::memcpy(&bits, &v, 8);
    bits = (bits & 0x8000000000000000ull) != 0 ? ~bits : bits | 0x8000000000000000ull;
    c.push_back('\x01');
    for (int i = 7; i >= 0; --i) c.push_back(static_cast<char>((bits >> (8 * i)) & 0xff));
  } else {
    c.push_back('\x02');
    for (char ch : entry->text) {
      if (ch == '\0') continue;
      c.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(ch))));
    }
    c.push_back('\0');
  }
  if (descending) {
    for (char& ch : c) ch = static_cast<char>(0xff - static_cast<unsigned char>(ch));
  }
  return c;
}

VXStatus ViewIndex::Configure(const ViewDesign* design, const std::string& search) {
  has_view_ = design != nullptr;
  design_ = design != nullptr ? *design : ViewDesign();
  search_ = search;
  selection_.reset();
  narrowing_.reset();
  column_formulas_.clear();
  category_columns_.clear();
  sort_columns_.clear();
  key_column_ = -1;
  if (has_view_ && !design_.folder) {
    if (VXStatus s = CompileSelection(design_.selection, &selection_); s != kVXOk) return s;
  }
  if (!search_.empty()) {
    if (VXStatus s = CompileSelection(search_, &narrowing_); s != kVXOk) return s;
  }
  for (uint32_t c = 0; c < design_.columns.size(); ++c) {
    const ColumnDesign& col = design_.columns[c];
    std::unique_ptr<NoteFormula> f;
    if (!col.formula.empty() && !IsNative(col.formula, "@docchildren") &&
        !IsNative(col.formula, "@docdescendants")) {
      // A column whose formula cannot be compiled shows empty values; the
      // view itself still opens.
      (void)CompileColumnFormula(col.formula, &f);
    }
    column_formulas_.push_back(std::move(f));
    if ((col.flags & kColumnCategorized) != 0) {
      category_columns_.push_back(c);
    } else if ((col.flags & kColumnSorted) != 0) {
      sort_columns_.push_back(c);
    }
  }
  if (!category_columns_.empty()) {
    key_column_ = static_cast<int>(category_columns_.front());
  } else if (!sort_columns_.empty()) {
    key_column_ = static_cast<int>(sort_columns_.front());
  }
  return kVXOk;
}

int ViewIndex::first_category_column() const {
  return category_columns_.empty() ? -1 : static_cast<int>(category_columns_.front());
}

bool ViewIndex::Selects(const Note& note) {
  if (note.note_class != kVXClassDocument) return false;
  if (has_view_ && design_.folder) {
    bool listed = std::find(design_.folder_unids.begin(), design_.folder_unids.end(), note.unid) !=
                  design_.folder_unids.end();
    if (!listed) return false;
  } else if (selection_ && !selection_->Selects(note)) {
    return false;
  }
  return !narrowing_ || narrowing_->Selects(note);
}

CellValue ViewIndex::ColumnValue(const Note& note, uint32_t column) {
  if (column >= design_.columns.size()) return {};
  const ColumnDesign& col = design_.columns[column];
  if (!col.formula.empty())
    return column_formulas_[column] ? column_formulas_[column]->Value(note) : CellValue();
  return ItemCellValue(note, col.item);
}

std::string ViewIndex::DocKey(const Note& note) {
  std::string key;
  for (uint32_t c : sort_columns_) {
    CellValue v = ColumnValue(note, c);
    key += KeyComponent(v.empty() ? nullptr : &v.front(),
                        (design_.columns[c].flags & kColumnDescending) != 0);
  }
  return key;
}

std::string ViewIndex::RowKey(const std::string& doc_key) const {
  // Documents come before the categories nested beside them.
  return category_columns_.empty() ? doc_key : std::string(1, '\0') + doc_key;
}

std::vector<ViewIndex::Path> ViewIndex::Paths(const Note& note) {
  std::vector<Path> paths(1);
  for (uint32_t c : category_columns_) {
    bool descending = (design_.columns[c].flags & kColumnDescending) != 0;
    // Each value may name nested categories, "A\B".
    std::vector<std::vector<CellEntry>> chains;
    for (const CellEntry& e : ColumnValue(note, c)) {
      std::vector<CellEntry> chain;
      if (e.numeric) {
        chain.push_back(e);
      } else {
        size_t start = 0;
        while (start <= e.text.size()) {
          size_t end = e.text.find('\\', start);
          if (end == std::string::npos) end = e.text.size();
          if (end > start) chain.push_back(CellEntry{e.text.substr(start, end - start), 0, false});
          start = end + 1;
        }
      }
      if (!chain.empty()) chains.push_back(std::move(chain));
    }
    if (chains.empty()) {
      for (Path& p : paths) p.stopped = true;
      break;
    }
    std::vector<Path> next;
    std::unordered_set<std::string> seen;
    for (const Path& p : paths) {
      for (const std::vector<CellEntry>& chain : chains) {
        if (next.size() >= kMaxPaths) break;
        Path q = p;
        for (const CellEntry& e : chain) {
          q.keys.push_back(KeyComponent(&e, descending));
          q.texts.push_back(e.text);
          q.columns.push_back(c);
        }
        std::string all;
        for (const std::string& k : q.keys) all += k;
        if (seen.insert(all).second) next.push_back(std::move(q));
      }
    }
    paths = std::move(next);
  }
  return paths;
}

uint32_t ViewIndex::PlaceDocument(const Path& path, VXNoteId id, std::string_view key,
                                  bool append) {
  uint32_t r = RowTree::kRoot;
  for (size_t i = 0; i < path.keys.size(); ++i) {
    uint32_t c = kNoRow;
    if (append) {
      uint32_t last = tree_.LastChild(r);
      if (last != kNoRow && tree_.row(last).note == kCategoryNote &&
          tree_.Key(last) == path.keys[i])
        c = last;
    } else {
      c = tree_.FindChild(r, path.keys[i]);
      if (c != kNoRow && tree_.row(c).note != kCategoryNote) c = kNoRow;
    }
    if (c == kNoRow) {
      c = append ? tree_.Append(r, kCategoryNote, path.keys[i])
                 : tree_.Insert(r, kCategoryNote, path.keys[i]);
      tree_.SetCategory(c, CategoryInfo{path.texts[i], path.columns[i]});
    }
    r = c;
  }
  return append ? tree_.Append(r, id, key) : tree_.Insert(r, id, key);
}

void ViewIndex::Place(const Note& note, const std::string& doc_key) {
  if (!has_view_) {
    tree_.Insert(RowTree::kRoot, note.id, std::string());
    return;
  }
  VXNoteId parent = note.id < parent_of_.size() ? parent_of_[note.id] : 0;
  if (parent != 0) {
    for (uint32_t r : tree_.RowsOf(parent)) tree_.Insert(r, note.id, doc_key);
    return;
  }
  for (const Path& p : Paths(note)) PlaceDocument(p, note.id, RowKey(doc_key), false);
}

void ViewIndex::AttachResponses(NoteStore* store, VXNoteId parent, int depth) {
  auto it = responses_.find(parent);
  if (it == responses_.end() || depth > kMaxResponseDepth) return;
  std::vector<VXNoteId> children = it->second;  // the map may change below
  std::vector<uint32_t> parent_rows = tree_.RowsOf(parent);
  if (parent_rows.empty()) return;
  for (VXNoteId c : children) {
    Note note;
    if (store->Load(c, &note) != kVXOk) continue;
    std::string key = DocKey(note);
    for (uint32_t r : parent_rows) tree_.Insert(r, c, key);
    AttachResponses(store, c, depth + 1);
  }
}

void ViewIndex::Mark(VXNoteId id, bool in) {
  if (id >= in_view_.size()) in_view_.resize(std::max<size_t>(id + 1, in_view_.size() * 3 / 2), 0);
  in_view_[id] = in ? 1 : 0;
}

void ViewIndex::SetParent(VXNoteId id, VXNoteId parent, const VXUnid& parent_unid) {
  if (id >= parent_of_.size())
    parent_of_.resize(std::max<size_t>(id + 1, parent_of_.size() * 3 / 2), 0);
  parent_of_[id] = parent;
  if (parent == kOrphan) {
    orphans_[UnidText(parent_unid)].push_back(id);
    orphan_parent_[id] = parent_unid;
  } else if (parent != 0) {
    responses_[parent].push_back(id);
  }
}

void ViewIndex::Adopt(const Note& note) {
  auto it = orphans_.find(UnidText(note.unid));
  if (it == orphans_.end()) return;
  std::vector<VXNoteId> children = std::move(it->second);
  orphans_.erase(it);
  for (VXNoteId c : children) {
    orphan_parent_.erase(c);
    parent_of_[c] = 0;
    SetParent(c, note.id, note.unid);
  }
}

void ViewIndex::Forget(VXNoteId id) {
  if (id < in_view_.size()) in_view_[id] = 0;
  auto orphan = orphan_parent_.find(id);
  if (orphan != orphan_parent_.end()) {
    auto list = orphans_.find(UnidText(orphan->second));
    if (list != orphans_.end()) {
      list->second.erase(std::remove(list->second.begin(), list->second.end(), id),
                         list->second.end());
      if (list->second.empty()) orphans_.erase(list);
    }
    orphan_parent_.erase(orphan);
    parent_of_[id] = 0;
    return;
  }
  if (id < parent_of_.size() && parent_of_[id] != 0) {
    auto it = responses_.find(parent_of_[id]);
    if (it != responses_.end()) {
      it->second.erase(std::remove(it->second.begin(), it->second.end(), id), it->second.end());
      if (it->second.empty()) responses_.erase(it);
    }
    parent_of_[id] = 0;
  }
}

void ViewIndex::PruneCategories(uint32_t r) {
  while (r != RowTree::kRoot && tree_.row(r).note == kCategoryNote && tree_.ChildCount(r) == 0) {
    uint32_t up = tree_.row(r).parent;
    tree_.Remove(r);
    r = up;
  }
}

void ViewIndex::RemoveRows(VXNoteId id) {
  for (uint32_t r : tree_.RowsOf(id)) {
    uint32_t parent = tree_.row(r).parent;
    tree_.Remove(r);
    PruneCategories(parent);
  }
}

VXStatus ViewIndex::Scan(NoteStore* store) {
  int64_t seq = 0;
  if (VXStatus s = store->Counters(&seq, nullptr); s != kVXOk) return s;
  tree_.Clear();
  in_view_.clear();
  parent_of_.clear();
  responses_.clear();
  orphans_.clear();
  orphan_parent_.clear();
  cached_id_ = 0;
  ForgetPage();

  sqlite3_stmt* q = nullptr;
  if (sqlite3_prepare_v2(
          store->db(),
          "SELECT note_id, unid, parent, items FROM notes WHERE deleted = 0 AND class = ?1 "
          "ORDER BY note_id",
          -1, &q, nullptr) != SQLITE_OK) {
    sqlite3_finalize(q);
    return Fail(kVXStorageError, store->label() + ": the documents cannot be read (" +
                                     sqlite3_errmsg(store->db()) + ")");
  }
  sqlite3_bind_int(q, 1, static_cast<int>(kVXClassDocument));
  // The number of documents sizes the arrays once: growing them by copying
  // would double the memory a large build needs at its peak.
  int64_t documents = 0;
  {
    sqlite3_stmt* n = nullptr;
    if (sqlite3_prepare_v2(store->db(),
                           "SELECT count(*) FROM notes WHERE deleted = 0 AND class = ?1", -1, &n,
                           nullptr) == SQLITE_OK) {
      sqlite3_bind_int(n, 1, static_cast<int>(kVXClassDocument));
      if (sqlite3_step(n) == SQLITE_ROW) documents = sqlite3_column_int64(n, 0);
    }
    sqlite3_finalize(n);
  }
  tree_.Reserve(static_cast<size_t>(documents + documents / 8 + 16));
  std::vector<Placement> placements;
  if (has_view_) placements.reserve(static_cast<size_t>(documents));
  // The placements' keys, one after another: one allocation for them all.
  std::string placement_keys;
  // Documents share few category paths: each distinct one is kept once.
  std::vector<Path> paths(1);
  std::vector<std::string> prefixes(1);
  std::unordered_map<std::string, uint32_t> path_of;
  std::vector<std::pair<VXNoteId, VXUnid>> pending;  // responses and their parents
  int rc;
  while ((rc = sqlite3_step(q)) == SQLITE_ROW) {
    Note note;
    note.id = static_cast<VXNoteId>(sqlite3_column_int64(q, 0));
    note.unid = BlobUnid(sqlite3_column_blob(q, 1), sqlite3_column_bytes(q, 1));
    note.has_parent = sqlite3_column_type(q, 2) == SQLITE_BLOB;
    if (note.has_parent)
      note.parent = BlobUnid(sqlite3_column_blob(q, 2), sqlite3_column_bytes(q, 2));
    // A note whose items do not read is left out; 'ledra check' reports it.
    if (!DecodeItems(sqlite3_column_blob(q, 3), static_cast<size_t>(sqlite3_column_bytes(q, 3)),
                     &note.items))
      continue;
    if (!Selects(note)) continue;
    Mark(note.id, true);
    if (!has_view_) {
      tree_.Append(RowTree::kRoot, note.id, std::string_view());
      continue;
    }
    if (note.has_parent) {
      pending.emplace_back(note.id, note.parent);
      continue;
    }
    std::string doc_key = RowKey(DocKey(note));
    if (placement_keys.size() + doc_key.size() > UINT32_MAX) {
      return Fail(kVXStorageError, store->label() + ": the view's keys are too large to index");
    }
    auto key_at = static_cast<uint32_t>(placement_keys.size());
    auto key_size = static_cast<uint32_t>(doc_key.size());
    placement_keys += doc_key;
    if (category_columns_.empty()) {
      placements.push_back(Placement{key_at, key_size, 0, note.id});
      continue;
    }
    for (Path& p : Paths(note)) {
      std::string prefix;
      for (const std::string& k : p.keys) prefix += k;
      auto [it, fresh] = path_of.emplace(prefix, static_cast<uint32_t>(paths.size()));
      if (fresh) {
        paths.push_back(std::move(p));
        prefixes.push_back(prefix);
      }
      placements.push_back(Placement{key_at, key_size, it->second, note.id});
    }
  }
  sqlite3_finalize(q);
  if (rc != SQLITE_DONE) {
    return Fail(kVXStorageError, store->label() + ": the documents cannot be read (" +
                                     sqlite3_errmsg(store->db()) + ")");
  }
  // Path prefixes are whole key components, so comparing the prefix and
  // then the document key orders rows as the tree does.
  auto key_of = [&](const Placement& p) {
    return std::string_view(placement_keys).substr(p.key_at, p.key_size);
  };
  std::sort(placements.begin(), placements.end(), [&](const Placement& a, const Placement& b) {
    if (a.path != b.path) {
      int c = prefixes[a.path].compare(prefixes[b.path]);
      if (c != 0) return c < 0;
    }
    int c = key_of(a).compare(key_of(b));
    return c != 0 ? c < 0 : a.note < b.note;
  });
  for (const Placement& pl : placements) {
    if (category_columns_.empty()) {
      tree_.Append(RowTree::kRoot, pl.note, key_of(pl));
    } else {
      PlaceDocument(paths[pl.path], pl.note, key_of(pl), true);
    }
  }
  placements = std::vector<Placement>();
  placement_keys = std::string();
  paths = std::vector<Path>();
  for (const auto& [id, unid] : pending) {
    VXNoteId parent = store->FindByUnid(unid);
    SetParent(id, parent != 0 ? parent : kOrphan, unid);
  }
  std::vector<VXNoteId> mains;
  for (const auto& [parent, children] : responses_) {
    if (InView(parent) && (parent >= parent_of_.size() || parent_of_[parent] == 0))
      mains.push_back(parent);
  }
  std::sort(mains.begin(), mains.end());
  for (VXNoteId m : mains) AttachResponses(store, m, 0);
  sequence_ = seq;
  return kVXOk;
}

VXStatus ViewIndex::Build(NoteStore* store) {
  return Scan(store);
}

VXStatus ViewIndex::Refresh(NoteStore* store) {
  std::vector<NoteChange> changes;
  if (VXStatus s = store->ChangedSince(sequence_, &changes); s != kVXOk) return s;
  if (changes.empty()) return kVXOk;
  cached_id_ = 0;
  ForgetPage();
  for (const NoteChange& c : changes) {
    // A change to the view's own design (columns, folder contents) builds
    // the index again from its new design.
    if (has_view_ && c.id == design_.id) {
      Note note;
      ViewDesign design;
      if (c.deleted || store->Load(c.id, &note) != kVXOk ||
          ReadViewDesign(note, &design) != kVXOk) {
        return Fail(kVXNoSuchView, "The view " + design_.name + " was deleted or damaged");
      }
      if (VXStatus s = Configure(&design, search_); s != kVXOk) return s;
      return Scan(store);
    }
  }
  int64_t last = sequence_;
  for (const NoteChange& c : changes) {
    last = std::max(last, c.sequence);
    if (c.note_class != kVXClassDocument) continue;
    RemoveRows(c.id);
    Forget(c.id);
    if (c.deleted) continue;
    Note note;
    if (VXStatus s = store->Load(c.id, &note); s != kVXOk) {
      if (s == kVXNoteNotFound) continue;  // deleted after the list was read
      return s;
    }
    if (!Selects(note)) continue;
    Mark(c.id, true);
    if (has_view_ && note.has_parent) {
      VXNoteId parent = store->FindByUnid(note.parent);
      SetParent(c.id, parent != 0 ? parent : kOrphan, note.parent);
    }
    // Responses that arrived before this document (replication order) hang
    // below it from now on.
    if (has_view_) Adopt(note);
    Place(note, has_view_ ? DocKey(note) : std::string());
    if (has_view_) AttachResponses(store, c.id, 0);
  }
  sequence_ = last;
  return kVXOk;
}

namespace {

// Rows a page covers at first and at most.
constexpr size_t kFirstPageRows = 32;
constexpr size_t kMostPageRows = 128;

}  // namespace

bool ViewIndex::HasPageNote(const NoteStore& store, VXNoteId id) const {
  return store.changes() == page_changes_ && page_at_.count(id) != 0;
}

VXStatus ViewIndex::LoadPage(NoteStore* store, const std::vector<VXNoteId>& ids) {
  ForgetPageNotes();
  if (VXStatus s = store->LoadMany(ids, &page_); s != kVXOk) {
    page_.clear();
    return s;
  }
  for (uint32_t i = 0; i < page_.size(); ++i) page_at_.emplace(page_[i].id, i);
  page_changes_ = store->changes();
  return kVXOk;
}

void ViewIndex::ForgetPage() {
  ForgetPageNotes();
  page_rows_ = 0;
}

void ViewIndex::ForgetPageNotes() {
  page_.clear();
  page_at_.clear();
}

size_t ViewIndex::NextPageRows() {
  page_rows_ = page_rows_ == 0 ? kFirstPageRows : std::min(page_rows_ * 2, kMostPageRows);
  return page_rows_;
}

VXStatus ViewIndex::LoadCached(NoteStore* store, VXNoteId id, const Note** note) {
  if (HasPageNote(*store, id)) {
    *note = &page_[page_at_[id]];
    return kVXOk;
  }
  if (cached_id_ != id) {
    cached_id_ = 0;
    if (VXStatus s = store->Load(id, &cached_); s != kVXOk) return s;
    cached_id_ = id;
  }
  *note = &cached_;
  return kVXOk;
}

size_t ViewIndex::MemoryBytes() const {
  size_t bytes =
      tree_.MemoryBytes() + in_view_.capacity() + parent_of_.capacity() * sizeof(VXNoteId);
  constexpr size_t kNode = 2 * sizeof(void*);  // a map node's link and the bucket pointer
  for (const auto& [parent, children] : responses_)
    bytes += kNode + sizeof parent + sizeof children + children.capacity() * sizeof(VXNoteId);
  for (const auto& [unid, children] : orphans_)
    bytes += kNode + sizeof unid + HeapBytes(unid) + sizeof children +
             children.capacity() * sizeof(VXNoteId);
  bytes += orphan_parent_.size() * (kNode + sizeof(VXNoteId) + sizeof(VXUnid));
  return bytes;
}

uint32_t ViewIndex::ResponseLevel(uint32_t row) const {
  uint32_t level = 0;
  while (row != RowTree::kRoot) {
    uint32_t up = tree_.row(row).parent;
    if (up == RowTree::kRoot || tree_.row(up).note == kCategoryNote) break;
    ++level;
    row = up;
  }
  return level;
}

VXStatus ViewIndex::CellText(NoteStore* store, uint32_t row, uint32_t column, std::string* text) {
  text->clear();
  if (column >= design_.columns.size()) {
    return Fail(kVXBadArgument,
                "Column " + std::to_string(column + 1) + " does not exist in this view");
  }
  const Row& r = tree_.row(row);
  if (r.note == kCategoryNote) {
    const CategoryInfo* info = tree_.Category(row);
    if (info != nullptr && info->column == column) *text = info->text;
    return kVXOk;
  }
  const ColumnDesign& col = design_.columns[column];
  if ((col.flags & kColumnCategorized) != 0) return kVXOk;
  if ((col.flags & kColumnResponseOnly) != 0 && ResponseLevel(row) == 0) return kVXOk;
  if (IsNative(col.formula, "@docchildren")) {
    *text = std::to_string(tree_.ChildCount(row));
    return kVXOk;
  }
  if (IsNative(col.formula, "@docdescendants")) {
    *text = std::to_string(tree_.Descendants(row));
    return kVXOk;
  }
  const Note* note = nullptr;
  if (VXStatus s = LoadCached(store, r.note, &note); s != kVXOk) return s;
  *text = ledra::CellText(ColumnValue(*note, column));
  return kVXOk;
}

std::string ViewIndex::TopKey(const std::string& text, bool leading) const {
  if (key_column_ < 0) return std::string();
  bool descending = (design_.columns[key_column_].flags & kColumnDescending) != 0;
  CellEntry e{text, 0, false};
  std::string k = KeyComponent(&e, descending);
  if (leading && k.size() > 1) k.pop_back();  // open: every longer text matches
  return k;
}

std::string ViewIndex::TopKey(double number) const {
  if (key_column_ < 0) return std::string();
  bool descending = (design_.columns[key_column_].flags & kColumnDescending) != 0;
  CellEntry e{"", number, true};
  return KeyComponent(&e, descending);
}

VXStatus ViewIndex::TopText(NoteStore* store, uint32_t row, std::string* text) {
  text->clear();
  const Row& r = tree_.row(row);
  if (r.note == kCategoryNote) {
    if (const CategoryInfo* info = tree_.Category(row)) *text = info->text;
    return kVXOk;
  }
  if (key_column_ < 0) return kVXOk;
  const Note* note = nullptr;
  if (VXStatus s = LoadCached(store, r.note, &note); s != kVXOk) return s;
  CellValue v = ColumnValue(*note, static_cast<uint32_t>(key_column_));
  if (!v.empty()) *text = v.front().text;
  return kVXOk;
}

}  // namespace ledra
