// Starting the preferred browser on the splash page (or the start page),
// with the platform's time-zone strings for a stand-alone installation,
// the running-browser check, and emptying the browser's cache folder.
#pragma once

#include <string>
#include <vector>

#include "engine/thread_handle.h"

namespace launch {

inline constexpr char kExitBrowsersMessage[] =
    "Please exit all browsers before running.  Corvane will launch a browser for you.";
inline constexpr char kStandAloneMarker[] = "CorvaneType=StandAlone";
inline constexpr char kSplashTemplate[] = "htmdata/splash.pro";
inline constexpr char kNetworkSplashTemplate[] = "htmdata/splashli.pro";
inline constexpr char kSplashPage[] = "htmdata/splash.htm";

// Pauses of the launch, in milliseconds (3000 each); tests shorten them.
struct LaunchTiming {
  int after_launch_ms = 3000;
  int before_exit_ms = 3000;
  int no_browser_ms = 3000;
};
LaunchTiming& LaunchTimes();

// The "Timezone" text for an offset in minutes west of Greenwich: whole
// hours as a signed decimal ("5", "-1"); 30 or 45 extra minutes as "-"
// (west of Greenwich only), "30" or "45" and two digits of hours ("3009"
// for 570, "-4512" for -765); empty for any other offset.
std::string TimeZoneText(long minutes_west);

// Sets ZONE_SET, Timezone and DST from the C library's zone, through the
// database operation channel.
void WriteTimeZoneSettings(engine::ThreadHandle& handle);

// Expands the splash template into htmdata/splash.htm; the template is
// splash.pro when ledra.ini says CorvaneType=StandAlone (the time-zone
// strings are written first then), else splashli.pro.
void WriteSplashPage(engine::ThreadHandle& handle);

// Writes the splash page, then starts the preferred browser on the start
// page (or the splash page) without waiting. With check_first, a browser
// already running ends the program: the message, a pause, and the main
// window destroyed. Returns 1 when a browser was started.
int LaunchBrowser(engine::ThreadHandle& handle, bool check_first);

// The program and arguments LaunchBrowser starts for page.
std::vector<std::string> BrowserCommand(const std::string& browser, const std::string& program_dir,
                                        const std::string& page);

// The cache folder of the preferred browser's kind (HKLM "Directory" for
// Internet Explorer, "Cache Dir" for Netscape); empty when unknown.
std::string BrowserCacheFolder();
// Deletes every file directly in that folder; the number deleted.
int EmptyBrowserCache();

}  // namespace launch
