// The Firefox family (firefox, firefox-esr) under the Netscape Navigator
// rules: the user's proxy read from the default profile's preferences (read,
// never written), and the profile of our own inside the program folder
// whose user.js carries what the Netscape keys hold.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace launch {

// One preference value as written in prefs.js: a string's text, a number's
// digits, "true" or "false".
using FirefoxPrefs = std::map<std::string, std::string>;

// Reads the user_pref lines of a prefs.js or user.js into *prefs (later
// lines win). Lines that are not comments and do not read as a preference
// are counted in *bad_lines. False when the file cannot be read.
bool ReadFirefoxPrefs(const std::string& path, FirefoxPrefs* prefs, int* bad_lines);

// The folder of the user's default profile, from
// $HOME/.mozilla/firefox/profiles.ini: the install's default, else the
// profile marked Default=1, else the first. Empty when there is none.
std::string DefaultFirefoxProfile();

// Fills the Netscape keys from the default profile's proxy preferences
// (manual, direct, or automatic: type 1, 0, 2/4) or, when the profile
// follows the system (type 5, the default) or is absent, from the
// environment's http proxy; also "Anchor Underline" and the cache folder.
// Problems (a damaged prefs.js) land in *problems.
struct EnvironmentProxy;
void FillNetscapeKeys(const std::string& program_dir, const EnvironmentProxy& environment,
                      std::vector<std::string>* problems);

std::string FirefoxProfileFolder(const std::string& program_dir);
std::string FirefoxCacheFolder(const std::string& program_dir);

// Creates our profile when needed and writes its user.js from the Netscape
// keys. False when the profile cannot be written.
bool WriteFirefoxProfile(const std::string& program_dir);

// The arguments that start the browser on page with our profile.
std::vector<std::string> FirefoxArguments(const std::string& program_dir, const std::string& page);

}  // namespace launch
