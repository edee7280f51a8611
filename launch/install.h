// The browser layer's place in corvex: every browser hook of the request
// engine (settings at start-up and shutdown, the preferred browser, the
// upstream proxy, launch, close, cache, and worker 'g').
#pragma once

#include <string>

#include "os/desktop.h"

namespace launch {

// Fills both browser families' keys from what the user really has (the
// environment's proxy variables, the Firefox default profile) before the
// redirection; each problem found is shown in a message box.
void FillBrowserKeys(const std::string& program_dir, const os::Window* owner);

// Installs the hooks (corvex does it before main through a static
// installer; tests call it after resetting the hooks).
void InstallBrowserLayer();

}  // namespace launch
