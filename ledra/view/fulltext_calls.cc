// The Vantix calls of full-text search: building and deleting a database's
// index, and searching a view's cursor with it.
#include "ledra/last_error.h"
#include "ledra/view/fulltext.h"
#include "ledra/view/index_cursor.h"
#include "ledra/view/view_api.h"
#include "ledra/vxapi.h"

using namespace ledra;

VXStatus VXDatabaseCreateFTIndex(VXHandle database, uint32_t, uint32_t, uint32_t) {
  std::shared_ptr<Database> db;
  if (VXStatus s = GetDatabase(database, &db); s != kVXOk) return s;
  std::lock_guard<std::mutex> lock(db->mutex);
  return FullTextUpdate(db->store.get());
}

VXStatus VXDatabaseDeleteFTIndex(VXHandle database) {
  std::shared_ptr<Database> db;
  if (VXStatus s = GetDatabase(database, &db); s != kVXOk) return s;
  std::lock_guard<std::mutex> lock(db->mutex);
  return FullTextDelete(db->store.get());
}

VXStatus VXIndexFTSearch(VXHandle index, const char* query, uint32_t options, uint32_t /*sort*/,
                         uint32_t limit) {
  std::shared_ptr<IndexCursor> c;
  if (VXStatus s = GetIndexCursor(index, &c); s != kVXOk) return s;
  std::lock_guard<std::mutex> lock(c->mutex);
  if ((options & kVXFTClear) != 0) {
    c->full_text = false;
    c->results.Clear();
    c->scores.clear();
    c->current = RowTree::kRoot;
    return kVXOk;
  }
  std::string text = query != nullptr ? query : "";
  if (VXStatus s = EnsureBuilt(c.get()); s != kVXOk) return s;
  std::vector<FullTextHit> hits;
  {
    std::lock_guard<std::mutex> db_lock(c->database->mutex);
    if (!c->database->store) return Fail(kVXBadHandle, "The database of this index is closed");
    if (VXStatus s = FullTextSearch(c->database->store.get(), text, &hits); s != kVXOk) return s;
  }
  RowTree results;
  std::vector<uint32_t> scores;
  for (const FullTextHit& h : hits) {
    // Only the documents of this view (or search) are results; documents
    // deleted since the index was updated are gone from the view too.
    if (!c->index->InView(h.id)) continue;
    results.Append(RowTree::kRoot, h.id, std::string_view());
    scores.push_back(h.score);
    if (limit != 0 && scores.size() >= limit) break;
  }
  if (scores.empty()) return Fail(kVXNoMatches, "No documents match the search \"" + text + "\"");
  c->results = std::move(results);
  c->scores = std::move(scores);
  c->full_text = true;
  c->current = RowTree::kRoot;
  c->index->ForgetPage();
  return kVXOk;
}
