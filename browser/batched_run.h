// One action (delete, copy) on many documents of a database, committed in
// batches so that ten thousand documents do not take ten thousand commits,
// and counted so that nothing done is reported undone or the other way.
//
// The store ends a batch when a save inside it fails, undoing what the
// batch held. An action's result therefore counts only once the batch that
// holds it is committed; when a failure undoes the open batch, the actions
// it held run again (each once more at most) in a new batch.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ledra/vx_types.h"

namespace browser {

// Runs on one id; *result may receive an id of the action's own (the copy).
using BatchAction = std::function<VXStatus(VXNoteId id, VXNoteId* result)>;

struct BatchOutcome {
  std::vector<std::pair<VXNoteId, VXNoteId>> done;  // id and result, committed
  size_t failed = 0;
  std::string firstError;  // the platform's text of the first failure
};

inline constexpr size_t kBatchSize = 1000;

// Runs `action` on each id with saves of `database` held in batches of
// `batch_size`; `progress` (may be empty) is called with n before the
// first attempt on the n-th id (from 1).
BatchOutcome RunBatched(VXHandle database, const std::vector<VXNoteId>& ids,
                        const BatchAction& action,
                        const std::function<void(size_t)>& progress = nullptr,
                        size_t batch_size = kBatchSize);

}  // namespace browser
