// The access layer's operations of the channel's table.
#include "platform/operation_table.h"

#include "engine/hooks.h"
#include "platform/database_operation.h"
#include "platform/open_database.h"
#include "platform/translate.h"
#include "platform/view_calls.h"
#include "platform/view_records.h"

namespace platform {

namespace {

template <typename T>
T Word(const OperationArgs& args, int n) {
  if constexpr (std::is_pointer_v<T>) {
    return reinterpret_cast<T>(args[n]);
  } else {
    return static_cast<T>(args[n]);
  }
}

int32_t Status(VXStatus status) { return static_cast<int32_t>(status); }

int32_t GetViewRecordOperation(ThreadHandle& thread, const OperationArgs& args) {
  ViewRecord* view = GetViewRecord(thread, Word<VXHandle>(args, 0), Word<VXNoteId>(args, 1));
  if (auto out = Word<ViewRecord**>(args, 2)) *out = view;
  return view != nullptr ? 1 : 0;
}

int32_t OpenDatabaseOperation(ThreadHandle& thread, const OperationArgs& args) {
  const char* server = Word<const char*>(args, 0);
  const char* path = Word<const char*>(args, 1);
  if (server == nullptr || path == nullptr) return 0;
  OpenDatabase* record = OpenDatabaseRecord(thread, server, path);
  if (auto out = Word<OpenDatabase**>(args, 2)) *out = record;
  return record != nullptr ? static_cast<int32_t>(record->handle) : 0;
}

int32_t IndexOpenOperation(ThreadHandle&, const OperationArgs& args) {
  if (Views().indexOpen == nullptr) return -1;
  return Status(Views().indexOpen(Word<VXHandle>(args, 0), Word<VXHandle*>(args, 1)));
}

int32_t IndexSearchOperation(ThreadHandle&, const OperationArgs& args) {
  return Views().indexSearchWords != nullptr ? Views().indexSearchWords(args) : -1;
}

int32_t IndexNavigateOperation(ThreadHandle&, const OperationArgs& args) {
  return Views().indexNavigateWords != nullptr ? Views().indexNavigateWords(args) : -1;
}

int32_t IndexKeySearchOperation(ThreadHandle&, const OperationArgs& args) {
  return Views().indexKeySearchWords != nullptr ? Views().indexKeySearchWords(args) : -1;
}

int32_t DocumentOpenOperation(ThreadHandle&, const OperationArgs& args) {
  return Status(VXDocumentOpen(Word<VXHandle>(args, 0), Word<VXNoteId>(args, 1),
                               Word<uint32_t>(args, 2), Word<VXHandle*>(args, 3)));
}

int32_t ItemFetchOperation(ThreadHandle&, const OperationArgs& args) {
  return Status(wrap::VXItemFetch(Word<VXHandle>(args, 0), Word<const char*>(args, 1),
                                  Word<uint16_t>(args, 2), Word<void*>(args, 3),
                                  Word<uint32_t>(args, 4), Word<uint32_t*>(args, 5)));
}

int32_t ItemPutOperation(ThreadHandle&, const OperationArgs& args) {
  return Status(wrap::VXItemPut(Word<VXHandle>(args, 0), Word<const char*>(args, 1),
                                Word<uint32_t>(args, 2), Word<uint32_t>(args, 3),
                                Word<uint16_t>(args, 4), Word<const void*>(args, 5),
                                Word<uint32_t>(args, 6)));
}

int32_t SetEnvironmentOperation(ThreadHandle&, const OperationArgs& args) {
  return Status(wrap::VXSetEnvironmentString(Word<const char*>(args, 0), Word<const char*>(args, 1),
                                             Word<uint32_t>(args, 2)));
}

int32_t GetEnvironmentOperation(ThreadHandle&, const OperationArgs& args) {
  return Status(wrap::VXGetEnvironmentString(Word<const char*>(args, 0), Word<char*>(args, 2),
                                             Word<uint32_t>(args, 1)));
}

int32_t NothingOperation(ThreadHandle&, const OperationArgs&) { return 0; }

int32_t DocumentCloseOperation(ThreadHandle&, const OperationArgs& args) {
  return Status(VXDocumentClose(Word<VXHandle>(args, 0), Word<uint32_t>(args, 1)));
}

int32_t ViewRecordByNameOperation(ThreadHandle& thread, const OperationArgs& args) {
  const char* name = Word<const char*>(args, 1);
  ViewRecord* view = name != nullptr ? GetViewRecordByName(thread, Word<VXHandle>(args, 0), name) : nullptr;
  if (auto out = Word<ViewRecord**>(args, 2)) *out = view;
  return view != nullptr ? 1 : 0;
}

int32_t IndexRefreshOperation(ThreadHandle&, const OperationArgs& args) {
  if (Views().indexRefresh == nullptr) return -1;
  return Status(Views().indexRefresh(Word<VXHandle>(args, 0)));
}

int32_t IndexCloseOperation(ThreadHandle&, const OperationArgs& args) {
  if (Views().indexClose == nullptr) return -1;
  return Status(Views().indexClose(Word<VXHandle>(args, 0)));
}

}  // namespace

void PlatformThreadStart(engine::ThreadHandle& handle) {
  (void)OpenDatabaseRecord(handle, kLocalServer, kConfigurationDatabase);
}

void PlatformThreadEnd(engine::ThreadHandle& handle) {
  CloseAllDatabases(handle);
  VXTerm(0);
}

void InstallAccessLayer() {
  InstallLedraViewCalls();
  SetDatabaseOperation(kGetViewRecord, GetViewRecordOperation);
  SetDatabaseOperation(kOpenDatabase, OpenDatabaseOperation);
  SetDatabaseOperation(kIndexOpen, IndexOpenOperation);
  SetDatabaseOperation(kIndexSearch, IndexSearchOperation);
  SetDatabaseOperation(kIndexNavigate, IndexNavigateOperation);
  SetDatabaseOperation(kDocumentOpen, DocumentOpenOperation);
  SetDatabaseOperation(kItemFetch, ItemFetchOperation);
  SetDatabaseOperation(kItemPut, ItemPutOperation);
  SetDatabaseOperation(kSetEnvironmentString, SetEnvironmentOperation);
  SetDatabaseOperation(kGetEnvironmentString, GetEnvironmentOperation);
  SetDatabaseOperation(kIndexKeySearch, IndexKeySearchOperation);
  SetDatabaseOperation(kNothing, NothingOperation);
  SetDatabaseOperation(kDocumentClose, DocumentCloseOperation);
  SetDatabaseOperation(kGetViewRecordByName, ViewRecordByNameOperation);
  SetDatabaseOperation(kIndexRefresh, IndexRefreshOperation);
  SetDatabaseOperation(kIndexClose, IndexCloseOperation);
  engine::Hooks().platformStart = PlatformThreadStart;
  engine::Hooks().platformEnd = PlatformThreadEnd;
  engine::Hooks().platformErrorText = [](const engine::ThreadHandle&) {
    uint32_t code = 0, detail = 0;
    char text[kVXErrorTextSize] = {};
    (void)wrap::VXErrorFetch(&code, &detail, text);
    return std::string(text);
  };
}

}  // namespace platform
