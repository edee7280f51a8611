// The open-database cache: open or find, the replica-id route, close all
// and release.
#include "platform/open_database.h"

#include <strings.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "os/desktop.h"
#include "platform/translate.h"
#include "platform/view_calls.h"
#include "platform/view_records.h"

namespace platform {

namespace {

// The replica-id route may open the configuration database and then the
// replica it finds; deeper than this a path is given up.
constexpr int kMaxNesting = 3;
thread_local int nesting = 0;

struct NestingLevel {
  NestingLevel() { ++nesting; }
  ~NestingLevel() { --nesting; }
};

bool SameText(const std::string& a, const std::string& b) {
  return strcasecmp(a.c_str(), b.c_str()) == 0;
}

bool HasWebReplicaForm(VXHandle database) {
  return database != 0 && wrap::VXFormLocateByName(database, kWebReplicaForm) != 0;
}

// The found or opened record becomes lastDatabase (and webDatabase).
OpenDatabase* Current(engine::SharedContext& shared, OpenDatabase* record) {
  shared.lastDatabase = record;
  if (HasWebReplicaForm(record->handle)) shared.webDatabase = record;
  return record;
}

OpenDatabase* FindRecord(engine::SharedContext& shared, const std::string& server,
                         const std::string& path) {
  for (OpenDatabase* record = shared.openDatabases; record != nullptr; record = record->next) {
    if (SameText(record->server, server) && SameText(record->path, path)) return record;
  }
  return nullptr;
}

// The platform starts with the first database opened; it cannot run
// without its settings, so neither can the program.
bool InitialisePlatform(engine::ThreadHandle& handle) {
  if (_VXInit(0x45004, nullptr, nullptr, nullptr) != kVXOk) {
    os::MessageBox(nullptr, kInitFailedMessage, kErrorTitle, os::Icon::kError, os::Buttons::kOk);
    if (handle.shared != nullptr) engine::SetStop(*handle.shared, engine::kPlatformFailed);
    std::exit(-1);
  }
  int32_t one = 1;
  (void)VXSetProperty(kVXPropDefaultServer, kLocalServer);
  (void)VXSetProperty(kVXPropNoPrompt, &one);
  (void)VXSetProperty(kVXPropQuiet, &one);
  return true;
}

OpenDatabase* ReplicaIdRoute(engine::ThreadHandle& handle, const std::string& server,
                             const std::string& path) {
  engine::SharedContext& shared = *handle.shared;
  if (nesting > kMaxNesting) return nullptr;
  if (shared.openDatabases == nullptr) (void)OpenDatabaseRecord(handle, kLocalServer, kConfigurationDatabase);
  if (OpenDatabase* found = FindRecord(shared, server, path)) return Current(shared, found);
  unsigned long high = 0, low = 0;
  char tail = 0;
  if (std::sscanf(path.c_str(), "%lxg%lx%c", &high, &low, &tail) != 2) return nullptr;
  uint32_t replica_id[2] = {static_cast<uint32_t>(high), static_cast<uint32_t>(low)};
  char found_path[kVXPathSize] = {};
  if (VXDatabaseLocateByReplicaid(server.c_str(), nullptr, replica_id, 1, 0, found_path) != kVXOk)
    return nullptr;
  return OpenDatabaseRecord(handle, server, found_path);
}

void FreeViewRecords(OpenDatabase& record) {
  for (auto& view : record.viewRecords) {
    if (view->index != 0 && Views().indexClose != nullptr) (void)Views().indexClose(view->index);
  }
  record.viewRecords.clear();
}

// Deletes every document of the clipboard database.
void EmptyClipboard() {
  VXHandle clipboard = 0;
  if (VXDatabaseOpen(kLocalServer, kClipboardDatabase, 0, &clipboard) != kVXOk) return;
  std::vector<VXNoteId> ids;
  if (FindDocuments(clipboard, "", &ids) == kVXOk) {
    for (VXNoteId id : ids) (void)VXDocumentDelete(clipboard, id, 0);
  }
  VXDatabaseClose(clipboard, 0);
}

}  // namespace

NavigatorHooks& Navigators() {
  static NavigatorHooks hooks;
  return hooks;
}

OpenDatabase* OpenDatabaseRecord(engine::ThreadHandle& handle, const std::string& server,
                                 const std::string& requested_path) {
  if (handle.shared == nullptr) return nullptr;
  engine::SharedContext& shared = *handle.shared;
  NestingLevel level;
  if (shared.openDatabases == nullptr) InitialisePlatform(handle);
  if (shared.offline != 0 && !SameText(server, kLocalServer)) return nullptr;
  std::string path = requested_path;
  for (char& c : path)
    if (c == '\\') c = '/';

  if (OpenDatabase* found = FindRecord(shared, server, path)) {
    if (found->handle == 0) {
      VXHandle reopened = 0;
      // The record's own names: the request may differ in case, and file
      // names here are case-sensitive.
      if (VXDatabaseOpen(found->server.c_str(), found->path.c_str(), kVXOpenKeep, &reopened) != kVXOk)
        reopened = 0;
      found->handle = reopened;
    }
    return Current(shared, found);
  }

  VXHandle database = 0;
  if (VXDatabaseOpen(server.c_str(), path.c_str(), kVXOpenKeep, &database) != kVXOk)
    return ReplicaIdRoute(handle, server, path);

  auto record = std::make_unique<OpenDatabase>();
  record->server = server;
  record->path = path;
  record->handle = database;
  char title[kVXPathSize] = {};
  if (wrap::VXDatabaseGetProperty(database, kDbPropTitle, title, sizeof title) == kVXOk)
    record->title = title;
  uint32_t replica_id[2] = {0, 0};
  if (VXDatabaseGetProperty(database, kDbPropReplicaId, replica_id, sizeof replica_id) == kVXOk) {
    char text[32];
    std::snprintf(text, sizeof text, "%" PRIx32 "g%" PRIx32, replica_id[0], replica_id[1]);
    record->replicaIdText = text;
  }
  if (Navigators().setDefaultNavigator != nullptr) Navigators().setDefaultNavigator(handle, *record);

  if (OpenDatabaseCount(shared) >= kMaxOpenDatabases) CloseAllDatabases(handle);
  // The list owns its records; CloseAllDatabases takes them back.
  OpenDatabase* added = record.release();
  OpenDatabase** tail = &shared.openDatabases;
  while (*tail != nullptr) tail = &(*tail)->next;
  *tail = added;
  return Current(shared, added);
}

OpenDatabase* FindOpenDatabase(engine::SharedContext& shared, VXHandle database) {
  if (database == 0) return nullptr;
  for (OpenDatabase* record = shared.openDatabases; record != nullptr; record = record->next) {
    if (record->handle == database) return record;
  }
  return nullptr;
}

size_t OpenDatabaseCount(const engine::SharedContext& shared) {
  size_t count = 0;
  for (const OpenDatabase* record = shared.openDatabases; record != nullptr; record = record->next)
    ++count;
  return count;
}

void CloseAllDatabases(engine::ThreadHandle& handle) {
  if (handle.shared == nullptr) return;
  engine::SharedContext& shared = *handle.shared;
  OpenDatabase* record = shared.openDatabases;
  shared.openDatabases = nullptr;
  // Nothing may point at a freed record afterwards.
  shared.lastDatabase = nullptr;
  shared.webDatabase = nullptr;
  shared.lastView = nullptr;
  while (record != nullptr) {
    std::unique_ptr<OpenDatabase> owned(record);
    record = owned->next;
    FreeViewRecords(*owned);
    if (owned->handle != 0) VXDatabaseClose(owned->handle, 0);
  }
  EmptyClipboard();
}

void ReleaseDatabaseHandles(engine::ThreadHandle& handle) {
  if (handle.shared == nullptr) return;
  for (OpenDatabase* record = handle.shared->openDatabases; record != nullptr; record = record->next) {
    for (auto& view : record->viewRecords) {
      if (view->index != 0 && Views().indexClose != nullptr) (void)Views().indexClose(view->index);
      view->index = 0;
    }
    if (record->handle != 0) VXDatabaseClose(record->handle, 2);
    record->handle = 0;
  }
}

}  // namespace platform
