// View records: lookup, building and the column layout.
#include "platform/view_records.h"

#include <algorithm>
#include <cstdio>

#include "os/desktop.h"
#include "platform/name_lists.h"
#include "platform/translate.h"

namespace platform {

namespace {

constexpr uint32_t kColumnHidden = 0x08;
constexpr uint32_t kColumnResponse = 0x10;
constexpr uint32_t kColumnIcons = 0x40;

// The display name of the view (or else folder) with this id, "_" removed.
std::string ViewName(VXHandle database, VXNoteId view_id) {
  for (auto list : {wrap::VXViewList, wrap::VXFolderList}) {
    VXDesignRecord record;
    for (uint32_t code = kVXListFirst; list(database, code, &record) == kVXOk; code = kVXListNext) {
      if (record.note_id == view_id) return WithoutChars(DisplayName(record), "_");
    }
  }
  return "";
}

// Opens an index on the database set to the view; 0 on failure (the index
// is closed again).
VXHandle OpenViewIndex(VXHandle database, VXNoteId view_id) {
  const ViewCalls& calls = Views();
  if (calls.indexOpen == nullptr || calls.indexOpenView == nullptr) return 0;
  VXHandle index = 0;
  if (calls.indexOpen(database, &index) != kVXOk) return 0;
  if (calls.indexOpenView(index, 0, view_id, 0) != kVXOk) {
    if (calls.indexClose != nullptr) (void)calls.indexClose(index);
    return 0;
  }
  return index;
}

void ShowViewError(engine::SharedContext& shared) {
  uint32_t code = 0, detail = 0;
  char text[kVXErrorTextSize] = {};
  (void)wrap::VXErrorFetch(&code, &detail, text);
  os::MessageBox(shared.mainWindow, text, kViewErrorTitle, os::Icon::kExclamation, os::Buttons::kOk);
}

std::unique_ptr<ViewRecord> BuildViewRecord(engine::ThreadHandle& handle, OpenDatabase& database,
                                            VXNoteId view_id) {
  auto view = std::make_unique<ViewRecord>();
  view->viewId = view_id;
  view->database = &database;
  view->name = ViewName(database.handle, view_id);
  view->index = OpenViewIndex(database.handle, view_id);
  if (view->index == 0) {
    ShowViewError(*handle.shared);
    return nullptr;
  }
  std::vector<ColumnInfo> columns;
  if (Views().columns != nullptr) (void)Views().columns(view->index, &columns);
  LayOutColumns(columns, view.get());
  if (database.navigatorForm != -1) database.navigatorForm = 0;
  if (Navigators().chooseViewNavigator != nullptr)
    (void)Navigators().chooseViewNavigator(handle, database, *view);
  return view;
}

}  // namespace

void LayOutColumns(const std::vector<ColumnInfo>& columns, ViewRecord* view) {
  view->columnCount = static_cast<uint32_t>(columns.size());
  view->columnWidths.assign(columns.size(), 0);
  view->iconFlags.assign(columns.size(), 0);
  view->responseColumn = 0;
  std::string line(kHeaderLineSize, ' ');
  size_t offset = 0, end = 0;
  for (size_t n = 0; n < columns.size(); ++n) {
    const ColumnInfo& column = columns[n];
    if ((column.flags & kColumnResponse) != 0) view->responseColumn = static_cast<uint32_t>(n + 1);
    view->iconFlags[n] = (column.flags & kColumnIcons) != 0 ? 1 : 0;
    // The two low bits of the width field are flags of the platform.
    uint32_t width = (column.flags & kColumnHidden) != 0 ? 0 : (column.width_field & ~2u) >> 2;
    view->columnWidths[n] = width;
    if (offset < kHeaderLineSize) {
      size_t copied = std::min<size_t>({column.title.size(), width, kHeaderLineSize - offset});
      line.replace(offset, copied, column.title, 0, copied);
      if (copied > 0) end = offset + copied;
    }
    offset += width;
  }
  line.resize(end);
  view->headerLine = line;
}

ViewRecord* GetViewRecord(engine::ThreadHandle& handle, VXHandle database, VXNoteId view_id) {
  if (handle.shared == nullptr) return nullptr;
  engine::SharedContext& shared = *handle.shared;
  OpenDatabase* record = FindOpenDatabase(shared, database);
  if (record == nullptr) return nullptr;
  int walked = 0;
  for (auto& view : record->viewRecords) {
    ++walked;
    if (view->viewId != view_id) continue;
    if (view->index == 0) view->index = OpenViewIndex(database, view_id);
    return view.get();
  }
  if (shared.trace != 0 && shared.liveThreads >= 4) {
    char line[600];
    std::snprintf(line, sizeof line, "\nAllocating View %d cache: %s,%s,%ld", walked,
                  record->server.c_str(), record->path.c_str(), static_cast<long>(view_id));
    engine::Trace(&handle, line);
  }
  std::unique_ptr<ViewRecord> built = BuildViewRecord(handle, *record, view_id);
  if (built == nullptr) return nullptr;
  record->viewRecords.push_back(std::move(built));
  return record->viewRecords.back().get();
}

ViewRecord* GetViewRecordByName(engine::ThreadHandle& handle, VXHandle database,
                                const std::string& name) {
  VXNoteId id = LocateViewOrFolder(database, name);
  if (id == 0) id = ViewIdFromText(database, name);
  if (id == 0) return nullptr;
  return GetViewRecord(handle, database, id);
}

}  // namespace platform
