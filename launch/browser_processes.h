// Which browsers run: a scan of /proc for the known browsers' programs,
// whoever started them (in place of looking for the browsers' windows), and
// the processes corvex started itself, which it closes at shutdown.
#pragma once

#include <string>
#include <vector>

namespace launch {

// The program names looked for: firefox, firefox-esr, firefox-bin,
// chromium, chromium-browser, chrome, google-chrome, google-chrome-stable;
// CORVANE_BROWSER_NAMES (names separated by commas) replaces the list.
// The preferred browser's own name is always added.
std::vector<std::string> KnownBrowserNames(const std::string& preferred_browser);

// The ids of the running processes of those names.
std::vector<int> RunningBrowsers(const std::string& preferred_browser);

// Remembers a browser process corvex started.
void NoteStartedBrowser(int pid);

// Ends the browsers corvex started and every known browser whose command
// line names a folder of ours (their profiles): up to 100 rounds of SIGTERM,
// stopping at the first round that finds none. The user's other browsers
// are left alone. Returns the number of processes asked to end.
int CloseOurBrowsers(const std::string& preferred_browser, const std::string& our_folder);

}  // namespace launch
