// The web proxy's place in corvex: worker 'j' (pass-through), the command
// worker's commands, the network test, the current page-replica database of
// replica URLs, and database operations 21, 23, 28, 30 and 35. The library
// installs them when the program starts; tests call InstallProxy again
// after resetting the engine's hooks.
#pragma once

#include <string>

#include "engine/thread_handle.h"

namespace proxy {

void InstallProxy();

// Server and path of the current page-replica database (webDatabase, made
// lastDatabase when there is none), read on the platform thread; false when
// there is none.
bool CurrentReplicaDatabase(engine::ThreadHandle& handle, std::string* server, std::string* path);

}  // namespace proxy
