// The object behind an index handle: the cursor's database, its view index,
// the full-text results it may hold and where it stands. Internal to
// ledra/view/. Lock order: the cursor's mutex, then its database's mutex.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ledra/objects.h"
#include "ledra/view/view_index.h"

namespace ledra {

struct IndexCursor {
  std::mutex mutex;
  std::shared_ptr<Database> database;
  std::unique_ptr<ViewIndex> index;
  bool built = false;  // a database cursor builds on first use
  // Full-text results: a flat tree of the matching rows, score by slot.
  bool full_text = false;
  RowTree results;
  std::vector<uint32_t> scores;
  // kRoot: before the first row.
  uint32_t current = RowTree::kRoot;
  size_t column_walk = 0;
  size_t key_walk = 0;

  const RowTree& tree() const { return full_text ? results : index->tree(); }
};

// Looks the handle up and locks it; fails with kVXBadHandle.
[[nodiscard]] VXStatus GetIndexCursor(VXHandle h, std::shared_ptr<IndexCursor>* out);
// Builds the index when it has not been built yet (database lock taken).
[[nodiscard]] VXStatus EnsureBuilt(IndexCursor* cursor);

}  // namespace ledra
