// The [kv] command dispatcher.
#include "browser/command_dispatch.h"

#include <strings.h>

#include <cstdio>

#include "browser/empty_reply.h"
#include "engine/changing_requests.h"
#include "engine/request_entry.h"
#include "engine/request_origin.h"
#include "platform/database_operation.h"

namespace browser {

namespace {

bool Present(const std::optional<std::string>& field) {
  return field.has_value() && !field->empty();
}

bool MethodIs(const engine::DatabaseRequest& request, const char* name) {
  return request.method.has_value() && strcasecmp(request.method->c_str(), name) == 0;
}

int Call(KvHandler handler, const std::string& reply_path, engine::DatabaseRequest& request,
         engine::ThreadHandle& handle) {
  return handler != nullptr ? handler(reply_path, request, handle) : kNotHandled;
}

// The handler of a document command by its second letter: "P" page, "A"
// action frame, anything else the frameset.
KvHandler ByPageKind(const std::string& command, KvHandler page, KvHandler action,
                     KvHandler frameset) {
  char second = command.size() > 1 ? command[1] : '\0';
  if (second == 'P') return page;
  if (second == 'A') return action;
  return frameset;
}

int WriteRefusal(const std::string& reply_path, const std::string& reply) {
  if (std::FILE* file = std::fopen(reply_path.c_str(), "wb")) {
    std::fwrite(reply.data(), 1, reply.size(), file);
    std::fclose(file);
  }
  return 1;
}

int32_t KvOperation(engine::ThreadHandle& platform_thread, const engine::OperationArgs& args) {
  const char* reply_path = reinterpret_cast<const char*>(args[0]);
  auto* request = reinterpret_cast<engine::DatabaseRequest*>(args[1]);
  if (reply_path == nullptr || request == nullptr) return kNotHandled;
  int result = RunKvCommand(reply_path, *request, platform_thread);
  ExplainEmptyReply(reply_path, *request, platform_thread, result);
  return result;
}

// The library installs the dispatcher when the program starts.
struct Installer {
  Installer() { InstallKvCommands(); }
} installer;

}  // namespace

KvHandlers& Handlers() {
  static KvHandlers handlers;
  return handlers;
}

int RunKvCommand(const std::string& reply_path, engine::DatabaseRequest& request,
                 engine::ThreadHandle& handle) {
  // A change asked for by a foreign page is refused before any handler.
  if (std::optional<std::string> refusal = engine::RefuseForeignChange(
          &handle, request.entry != nullptr ? request.entry->rawRequest : "",
          engine::KvRequestChange(request))) {
    return WriteRefusal(reply_path, *refusal);
  }
  const KvHandlers& h = Handlers();
  if (MethodIs(request, "POST") || MethodIs(request, "PUT")) {
    if (!Present(request.command)) return kNotHandled;
    char first = (*request.command)[0];
    if (first == 'C') return Call(h.composeSubmit, reply_path, request, handle);
    if (first == 'E') return Call(h.editSubmit, reply_path, request, handle);
    return kNotHandled;
  }
  if (!MethodIs(request, "GET")) return kNotHandled;
  if (!Present(request.server)) return Call(h.serverCatalogue, reply_path, request, handle);
  if (!Present(request.database)) return Call(h.databaseCatalogue, reply_path, request, handle);
  if (!Present(request.command)) {
    const std::string& database = *request.database;
    if (database.find(".ldf") != std::string::npos || database.find(".ldw") != std::string::npos)
      return Call(h.databaseWelcome, reply_path, request, handle);
    int result = Call(h.folderCatalogue, reply_path, request, handle);
    if (result != kNotHandled) return result;
    return Call(h.databaseWelcome, reply_path, request, handle);
  }
  const std::string& command = *request.command;
  switch (command[0]) {
    case 'V':
      return Call(h.view, reply_path, request, handle);
    case 'D':
      return Call(ByPageKind(command, h.readPage, h.readAction, h.readFrameset), reply_path,
                  request, handle);
    case 'E':
      return Call(ByPageKind(command, h.editPage, h.editAction, h.editFrameset), reply_path,
                  request, handle);
    case 'C':
      return Call(ByPageKind(command, h.composePage, h.composeAction, h.composeFrameset),
                  reply_path, request, handle);
    case 'A':
      return Call(h.attachment, reply_path, request, handle);
    case 'n':
      return Call(h.navigator, reply_path, request, handle);
    case '?':
      return Call(h.maintenance, reply_path, request, handle);
    default:
      return kNotHandled;
  }
}

void InstallKvCommands() {
  platform::SetDatabaseOperation(platform::kRunKvCommand, KvOperation);
}

}  // namespace browser
