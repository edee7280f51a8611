// The open-database cache of corvex: one record per opened database in a
// list hung on the shared context (newest last, at most 11), with its name
// lists and view records. Everything here runs on the platform thread, the
// only thread that calls the platform, so the records need no locks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/shared_context.h"
#include "engine/thread_handle.h"
#include "ledra/vx_types.h"

namespace platform {

struct OpenDatabase;

// One entry of a name list: the display name with "_" and "$" removed.
struct NameEntry {
  std::string name;
  VXNoteId id = 0;
  uint16_t mailClass = 0;  // 0 for forms and agents
};

// The state of one view or folder between requests, shared by every
// browser window that shows it.
struct ViewRecord {
  VXNoteId viewId = 0;
  std::string name;               // display name with "_" removed
  VXHandle index = 0;             // 0 while released
  std::vector<uint32_t> columnWidths;  // characters; 0 for a hidden column
  std::vector<uint8_t> iconFlags;      // 1 when the column's values name icons
  uint32_t columnCount = 0;
  uint32_t responseColumn = 0;    // from 1; 0 when none
  uint16_t searchBar = 0;
  uint16_t preview = 0;
  std::string headerLine;         // titles at their widths, at most 4095 characters
  std::string topPosition = "1";  // at most 256 characters
  std::string currentLine;        // at most 256 characters
  OpenDatabase* database = nullptr;
};

struct OpenDatabase {
  OpenDatabase* next = nullptr;  // owned: the list frees it (CloseAllDatabases)
  std::string server;            // as requested
  std::string path;              // as requested, "\\" made "/"
  std::string replicaIdText;     // "%lxg%lx"
  std::string title;
  VXHandle handle = 0;  // 0 while released
  bool viewListBuilt = false, formListBuilt = false, agentListBuilt = false;
  std::vector<NameEntry> viewList, formList, agentList;
  std::vector<std::unique_ptr<ViewRecord>> viewRecords;
  int32_t navigatorSize = 25;
  int32_t navigatorForm = 0;  // -1: navigators switched off
  int32_t navigatorOrientation = 1;
};

inline constexpr size_t kMaxOpenDatabases = 11;
inline constexpr char kConfigurationDatabase[] = "kvconfig.ldf";
inline constexpr char kClipboardDatabase[] = "corvex.clp";
inline constexpr char kLocalServer[] = "Local";
inline constexpr char kWebReplicaForm[] = "Web Element Replica";
inline constexpr char kInitFailedMessage[] = "Cannot initialize LEDRA configuration or DLLs. Exiting!";
inline constexpr char kErrorTitle[] = "Error Condition Encountered";

// Opens a database through the cache, or finds it there. Null when it
// cannot be opened (off line with another server than "Local", neither the
// path nor the replica-id route opens it). The record found becomes
// lastDatabase, and webDatabase when it holds the form "Web Element Replica".
OpenDatabase* OpenDatabaseRecord(engine::ThreadHandle& handle, const std::string& server,
                                 const std::string& path);
// The record holding this database handle; null when none.
OpenDatabase* FindOpenDatabase(engine::SharedContext& shared, VXHandle database);
// Number of records in the list.
size_t OpenDatabaseCount(const engine::SharedContext& shared);

// Frees every record, its view records and name lists, closes its handle,
// empties the list; then deletes every document of the clipboard database.
void CloseAllDatabases(engine::ThreadHandle& handle);
// Closes every handle (databases and view indexes) and keeps the records;
// the next open or get view record opens them again.
void ReleaseDatabaseHandles(engine::ThreadHandle& handle);

// Hooks of the navigator layer (the view pages fill them): the default
// navigator of a newly opened database, and the choice of a view's
// navigator for a new view record. Empty: nothing happens.
struct NavigatorHooks {
  void (*setDefaultNavigator)(engine::ThreadHandle& handle, OpenDatabase& database) = nullptr;
  int (*chooseViewNavigator)(engine::ThreadHandle& handle, OpenDatabase& database,
                             ViewRecord& view) = nullptr;
};
NavigatorHooks& Navigators();

}  // namespace platform
