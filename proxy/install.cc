// Installation of the web proxy into the engine's hooks and the operation
// table.
#include "proxy/install.h"

#include "engine/hooks.h"
#include "platform/database_operation.h"
#include "platform/open_database.h"
#include "proxy/command.h"
#include "proxy/dashboard.h"
#include "proxy/network.h"
#include "proxy/pass_through.h"
#include "proxy/stored_page.h"
#include "proxy/workspace.h"

namespace proxy {

namespace {

// The library installs itself when the program starts.
struct Installer {
  Installer() { InstallProxy(); }
} installer;

}  // namespace

bool CurrentReplicaDatabase(engine::ThreadHandle& handle, std::string* server, std::string* path) {
  // The records belong to the platform thread, which may free them at any
  // time: read them there.
  int32_t found = platform::RunOnPlatformThread(handle, [&](engine::ThreadHandle& thread) {
    engine::SharedContext& shared = *thread.shared;
    if (shared.webDatabase == nullptr) shared.webDatabase = shared.lastDatabase;
    platform::OpenDatabase* web = shared.webDatabase;
    if (web == nullptr) return 0;
    *server = web->server;
    *path = web->path;
    return 1;
  });
  return found == 1;
}

void InstallProxy() {
  ReadSettingsFromEnvironment();
  engine::EngineHooks& hooks = engine::Hooks();
  hooks.passThrough = ServePassThrough;
  hooks.commandHandler = ServeCommand;
  hooks.networkTest = TestNetwork;
  hooks.currentReplicaDatabase = CurrentReplicaDatabase;
  InstallStoredPageOperations();
  InstallWorkspaceOperation();
  InstallDashboardOperations();
}

}  // namespace proxy
