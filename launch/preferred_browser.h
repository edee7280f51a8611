// The preferred browser: its program path under our key, the browser kind
// its path names, the browsers found on PATH, and the dialog that lets the
// user choose one.
#pragma once

#include <string>
#include <vector>

#include "engine/thread_handle.h"
#include "launch/proxy_settings.h"

namespace launch {

inline constexpr char kPreferredBrowserValue[] = "Preferred Browser";
inline constexpr size_t kPreferredBrowserBytes = 1000;
inline constexpr size_t kChosenPathBytes = 512;
inline constexpr char kChooseBrowserTitle[] = "Please choose a preferred browser to use with Corvane";
// Linux programs have no ".exe": the chooser offers every file.
inline constexpr char kChooseBrowserFilter[] = "Executable Files (*)";

// "iexplore" (any case) or a Chromium or Chrome program: Internet Explorer
// rules; "netscape" or a Firefox program: Netscape Navigator rules.
BrowserKind KindOfBrowser(const std::string& path);

// The "Preferred Browser" value; empty when unset.
std::string PreferredBrowser();
void SetPreferredBrowser(const std::string& path);

// Whether the path names a file that can be run.
bool RunnableProgram(const std::string& path);

// The browsers on PATH, in the order firefox-esr, firefox, chromium,
// google-chrome (full paths).
std::vector<std::string> BrowsersOnPath();

// The chooser: proposes the preferred browser or else the browsers on PATH;
// on a choice writes it to "Preferred Browser". Held under queueLock (the
// shared dialog lock) when the handle has a shared context.
void ChoosePreferredBrowser(engine::ThreadHandle& handle);

// Start-up: a preferred browser that is unset, missing or not runnable
// sends the user to the chooser. True with the path in *browser when one
// is known after.
bool EnsurePreferredBrowser(engine::ThreadHandle& handle, std::string* browser);

}  // namespace launch
