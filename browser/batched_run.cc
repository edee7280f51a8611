// Actions on many documents, committed in batches.
#include "browser/batched_run.h"

#include <deque>

#include "browser/platform_helpers.h"
#include "ledra/vxapi.h"

namespace browser {

namespace {

struct Item {
  size_t index = 0;
  int tries = 0;
  VXNoteId result = 0;
};

constexpr int kMaxTries = 2;

bool BeginBatch(VXHandle database) {
  int32_t one = 1;
  return VXDatabaseSetProperty(database, kDbPropBatch, &one) == kVXOk;
}

bool InBatch(VXHandle database) {
  int32_t value = 0;
  return VXDatabaseGetProperty(database, kDbPropBatch, &value, sizeof value) == kVXOk && value == 1;
}

VXStatus CommitBatch(VXHandle database) {
  int32_t zero = 0;
  return VXDatabaseSetProperty(database, kDbPropBatch, &zero);
}

}  // namespace

BatchOutcome RunBatched(VXHandle database, const std::vector<VXNoteId>& ids,
                        const BatchAction& action, const std::function<void(size_t)>& progress,
                        size_t batch_size) {
  BatchOutcome outcome;
  auto fail = [&](size_t count) {
    if (outcome.failed == 0 && count != 0) outcome.firstError = PlatformErrorText();
    outcome.failed += count;
  };
  std::deque<Item> queue;
  for (size_t i = 0; i < ids.size(); ++i) queue.push_back({i, 0, 0});
  std::vector<Item> pending;  // done, but held by the open batch
  bool batch = BeginBatch(database);
  auto commit = [&]() {
    VXStatus status = batch ? CommitBatch(database) : kVXOk;
    if (status == kVXOk) {
      for (const Item& item : pending) outcome.done.emplace_back(ids[item.index], item.result);
    } else {
      fail(pending.size());
    }
    pending.clear();
  };

  while (!queue.empty()) {
    Item item = queue.front();
    queue.pop_front();
    if (item.tries == 0 && progress) progress(item.index + 1);
    ++item.tries;
    item.result = 0;
    VXStatus status = action(ids[item.index], &item.result);
    if (status == kVXOk) {
      pending.push_back(item);
    } else {
      fail(1);
      if (batch && !InBatch(database)) {
        // The failure undid the batch: what it held runs again.
        for (auto it = pending.rbegin(); it != pending.rend(); ++it) {
          if (it->tries < kMaxTries)
            queue.push_front(*it);
          else
            fail(1);
        }
        pending.clear();
        batch = BeginBatch(database);
      }
    }
    if (pending.size() >= batch_size) {
      commit();
      batch = BeginBatch(database);
    }
  }
  commit();
  return outcome;
}

}  // namespace browser
