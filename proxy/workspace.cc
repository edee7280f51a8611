// Operation 28.
#include "proxy/workspace.h"

#include <cstdio>
#include <mutex>
#include <optional>

#include "common/page_replica_format.h"
#include "common/text.h"
#include "engine/reply_file.h"
#include "platform/database_operation.h"
#include "platform/open_database.h"
#include "platform/translate.h"
#include "platform/view_calls.h"
#include "platform/view_records.h"

namespace proxy {

namespace {

struct RememberedView {
  std::string server, path, view;
};

// Written and read on the platform thread; the lock makes WorkspaceView
// safe from tests on other threads.
std::mutex remembered_lock;
std::optional<RememberedView> remembered;  // guarded by remembered_lock

RememberedView Remember(const platform::ViewRecord& view) {
  return RememberedView{view.database->server, view.database->path, view.name};
}

bool RefreshSchedules(engine::ThreadHandle& handle, platform::OpenDatabase* configuration) {
  if (configuration == nullptr || configuration->handle == 0) return false;
  platform::ViewRecord* view =
      platform::GetViewRecordByName(handle, configuration->handle, kSchedulesView);
  if (view == nullptr || view->index == 0) return false;
  if (platform::Views().indexRefresh == nullptr) return true;
  return platform::Views().indexRefresh(view->index) == kVXOk;
}

// Whether the view record is still in the cache: opening the configuration
// database may have emptied it (a twelfth database), freeing the record.
bool StillCached(const engine::SharedContext& shared, const platform::ViewRecord* view) {
  for (platform::OpenDatabase* db = shared.openDatabases; db != nullptr; db = db->next)
    for (const auto& record : db->viewRecords)
      if (record.get() == view) return true;
  return false;
}

bool SameDatabase(const platform::OpenDatabase* a, const platform::OpenDatabase* b) {
  return a != nullptr && a == b;
}

int32_t WriteWorkspaceOperation(engine::ThreadHandle& handle, const engine::OperationArgs& args) {
  const char* destination = reinterpret_cast<const char*>(args[0]);
  if (destination == nullptr) return -1;
  return WriteWorkspace(handle, destination);
}

}  // namespace

int32_t WriteWorkspace(engine::ThreadHandle& handle, const std::string& destination) {
  engine::SharedContext& shared = *handle.shared;
  platform::ViewRecord* last = shared.lastView;
  platform::OpenDatabase* configuration = platform::OpenDatabaseRecord(
      handle, platform::kLocalServer, platform::kConfigurationDatabase);
  if (!RefreshSchedules(handle, configuration)) {
    platform::ReleaseDatabaseHandles(handle);
    configuration = platform::OpenDatabaseRecord(handle, platform::kLocalServer,
                                                 platform::kConfigurationDatabase);
    (void)RefreshSchedules(handle, configuration);
    uint32_t code = 0, detail = 0;
    char text[kVXErrorTextSize] = {};
    (void)platform::wrap::VXErrorFetch(&code, &detail, text);
  }
  if (last != nullptr && !StillCached(shared, last)) last = nullptr;
  shared.lastView = last;

  RememberedView chosen{common::kPageReplicaServer, common::kPageReplicaPath,
                        kDefaultWorkspaceView};
  {
    std::lock_guard<std::mutex> guard(remembered_lock);
    if (last != nullptr && last->database != nullptr &&
        (SameDatabase(last->database, configuration) ||
         SameDatabase(last->database, shared.webDatabase))) {
      remembered = Remember(*last);
    }
    if (remembered) {
      chosen = *remembered;
    } else if (platform::OpenDatabase* web = shared.webDatabase) {
      chosen.server = web->server;
      chosen.path = web->path;
    }
  }
  std::string reply = common::Format(kWorkspaceRedirectFormat, chosen.server.c_str(),
                                     chosen.path.c_str(), chosen.view.c_str());
  std::optional<std::string> temporary = engine::NewReplyFileName();
  if (!temporary) return 1;
  std::FILE* file = std::fopen(temporary->c_str(), "wb");
  if (file == nullptr) return 1;
  bool written = std::fwrite(reply.data(), 1, reply.size(), file) == reply.size();
  written = std::fclose(file) == 0 && written;
  if (written) {
    std::remove(destination.c_str());
    if (std::rename(temporary->c_str(), destination.c_str()) == 0) return 1;
  }
  std::remove(temporary->c_str());
  return 1;
}

bool WorkspaceView(std::string* server, std::string* path, std::string* view) {
  std::lock_guard<std::mutex> guard(remembered_lock);
  if (!remembered) return false;
  *server = remembered->server;
  *path = remembered->path;
  *view = remembered->view;
  return true;
}

void ForgetWorkspaceView() {
  std::lock_guard<std::mutex> guard(remembered_lock);
  remembered.reset();
}

void InstallWorkspaceOperation() {
  platform::SetDatabaseOperation(platform::kWriteWorkspace, WriteWorkspaceOperation);
}

}  // namespace proxy
