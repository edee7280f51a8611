// The [kv] command dispatcher: operation 11 of the database operation
// channel. It looks at the method, at which of server, database and command
// are present and at the first one or two letters of the command, and calls
// one handler, which writes the whole reply into the reply file.
//
// Handlers of pages built elsewhere are reached through the table below;
// an empty entry behaves as a handler that does not apply (-1, no reply).
#pragma once

#include <string>

#include "engine/database_request.h"
#include "engine/thread_handle.h"

namespace browser {

inline constexpr int kNotHandled = -1;

// Writes the reply for one request into the file at reply_path; -1 when it
// does not apply.
using KvHandler = int (*)(const std::string& reply_path, engine::DatabaseRequest& request,
                          engine::ThreadHandle& handle);

struct KvHandlers {
  // Server and database catalogue, welcome page, maintenance ("?").
  KvHandler serverCatalogue = nullptr;
  KvHandler databaseCatalogue = nullptr;  // a server's databases
  KvHandler folderCatalogue = nullptr;    // the databases of a folder
  KvHandler databaseWelcome = nullptr;
  KvHandler maintenance = nullptr;
  // View pages ("V") and navigators ("n").
  KvHandler view = nullptr;
  KvHandler navigator = nullptr;
  // Document pages: read ("D"), edit ("E"), compose ("C"), each as page
  // ("xP"), action frame ("xA") or frameset (any other second letter).
  KvHandler readPage = nullptr, readAction = nullptr, readFrameset = nullptr;
  KvHandler editPage = nullptr, editAction = nullptr, editFrameset = nullptr;
  KvHandler composePage = nullptr, composeAction = nullptr, composeFrameset = nullptr;
  KvHandler attachment = nullptr;  // "A"
  // Submissions (POST or PUT).
  KvHandler composeSubmit = nullptr;
  KvHandler editSubmit = nullptr;
};

// The process-wide table; fill it before the platform thread starts.
KvHandlers& Handlers();

// The dispatcher: the handler's result, or -1 when none applies (the reply
// file then stays empty).
int RunKvCommand(const std::string& reply_path, engine::DatabaseRequest& request,
                 engine::ThreadHandle& handle);

// Installs the dispatcher as operation 11 (done once at start by this
// library itself).
void InstallKvCommands();

}  // namespace browser
