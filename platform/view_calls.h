// The view and index calls the access layer makes, as a table of functions.
// The views module of the platform fills the table (platform/
// translate_views.cc, built when the platform has ledra/view/view_api.h);
// without it every entry is empty and the layer behaves as for a database
// without views: no view record, operations 3, 4, 5, 12, 26 and 27 give -1,
// and documents are found by walking note ids.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/shared_context.h"
#include "ledra/vx_types.h"

namespace platform {

// One column of a view as VXColumnList gives it (converted back).
struct ColumnInfo {
  std::string title;        // at most 80 bytes
  std::string item;         // item name
  uint32_t width_field = 0;  // the record's width field: characters << 2, bit 2 a flag
  uint32_t flags = 0;       // 0x08 hidden, 0x10 response column, 0x40 icons
};

struct ViewCalls {
  VXStatus (*indexOpen)(VXHandle database, VXHandle* index) = nullptr;
  VXStatus (*indexOpenView)(VXHandle index, uint32_t reserved, VXNoteId view,
                            uint32_t resort) = nullptr;
  VXStatus (*indexClose)(VXHandle index) = nullptr;
  VXStatus (*indexRefresh)(VXHandle index) = nullptr;
  // VXColumnGetCount and the walk of VXColumnList on a view index.
  VXStatus (*columns)(VXHandle index, std::vector<ColumnInfo>* columns) = nullptr;
  // Note ids of the documents a selection formula finds (VXIndexOpen,
  // VXIndexSearch, VXIndexNavigate), in index order.
  VXStatus (*select)(VXHandle database, const char* formula, std::vector<VXNoteId>* ids) = nullptr;
  // The word-level operations 4, 5 and 12 of the operation table.
  int32_t (*indexSearchWords)(const engine::OperationArgs& args) = nullptr;
  int32_t (*indexNavigateWords)(const engine::OperationArgs& args) = nullptr;
  int32_t (*indexKeySearchWords)(const engine::OperationArgs& args) = nullptr;
};

// The process-wide table.
ViewCalls& Views();

// Fills the table from the platform's views module when it is linked in;
// does nothing otherwise.
void InstallLedraViewCalls();

// The documents of a database whose "Form" item equals form (any case), or
// every document for an empty form: through Views().select when present,
// else by walking note ids. Ids in ascending order.
[[nodiscard]] VXStatus FindDocuments(VXHandle database, const std::string& form,
                                     std::vector<VXNoteId>* ids);

}  // namespace platform
