// The request threads: 'j' (pass-through), 'k' (stored page), 'l' (database).
#include <cstdio>
#include <optional>

#include "common/text.h"
#include "engine/changing_requests.h"
#include "engine/database_request.h"
#include "engine/error_page.h"
#include "engine/hooks.h"
#include "engine/program_resources.h"
#include "engine/replica_request.h"
#include "engine/reply_file.h"
#include "engine/request_origin.h"
#include "engine/workers.h"
#include "platform/database_operation.h"

namespace engine {

void PassThroughRequest(ThreadHandle& handle, RequestEntry& entry) {
  if (AnswerLocally(handle, entry)) return;  // the program folder's files
  if (Hooks().passThrough != nullptr) return Hooks().passThrough(handle, entry);
  // Until the pass-through proxy exists the connection is closed without a
  // reply, as for an empty request.
  FinishEntry(*handle.shared, entry);
}

static void WriteFile(const std::string& name, std::string_view text) {
  if (std::FILE* file = std::fopen(name.c_str(), "w+")) {
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
  }
}

void ReplicaRequestThread(ThreadHandle& handle, RequestEntry& entry) {
  SharedContext& shared = *handle.shared;
  std::optional<std::string> name = DrawReplyFileName();
  if (!name) return FinishEntry(shared, entry);
  std::unique_ptr<ReplicaRequest> request = ParseReplicaRequest(entry.rawRequest, &handle, &entry);
  std::optional<std::string> refusal;
  if (request != nullptr && ReplicaRequestSubmits(request->method, request->submit))
    refusal = RefuseForeignChange(&handle, entry.rawRequest, kStoredFormChange);
  if (request == nullptr) {
    WriteFile(*name, kBadReplicaUrlPage);
  } else if (refusal) {
    WriteFile(*name, *refusal);
  } else {
    bool post = common::StartsWithNoCase(request->method, "POST") && request->method.size() == 4;
    int code =
        request->submit == 0 && !post ? platform::kServeStoredPage : platform::kSubmitStoredForm;
    (void)platform::RunDatabaseOperation(
        handle, code,
        {reinterpret_cast<intptr_t>(name->c_str()), reinterpret_cast<intptr_t>(request.get())});
  }
  AnswerFromReplyFile(shared, entry, *name);
}

void DatabaseRequestThread(ThreadHandle& handle, RequestEntry& entry) {
  SharedContext& shared = *handle.shared;
  std::optional<std::string> name = DrawReplyFileName();
  if (!name) return FinishEntry(shared, entry);
  std::unique_ptr<DatabaseRequest> request = ParseDatabaseRequest(entry.rawRequest, &entry);
  if (request == nullptr) {
    WriteFile(*name, kBadDatabaseUrlPage);
  } else {
    (void)platform::RunDatabaseOperation(
        handle, platform::kRunKvCommand,
        {reinterpret_cast<intptr_t>(name->c_str()), reinterpret_cast<intptr_t>(request.get())});
  }
  request.reset();
  AnswerFromReplyFile(shared, entry, *name);
}

}  // namespace engine
