// The platform's settings file, ledra.ini: the data directory of "Local"
// (Directory=, default data/ beside the file), the other servers
// (Server.NAME=DIRECTORY, a name may contain "/"), the ID file (KeyFilename=)
// and the environment strings (any other NAME=VALUE line). The file is
// ledra.ini in the working folder, or the file named by the environment
// variable CORVANE_LEDRA_INI (tests). Relative directories are relative to
// the file's folder. Synchronous=FULL makes every save wait until it is on
// disk (safe against power loss; the default keeps every returned save
// across a crash of the program). Updates take an exclusive lock on "<file>.lock", write a
// temporary file and rename it over the old one, so several processes can
// set strings at once without losing each other's values.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ledra/vx_types.h"

namespace ledra {

// The settings file in use: CORVANE_LEDRA_INI or ./ledra.ini (absolute).
std::string SettingsFile();

// Reads the file (a missing file reads as empty). Fails with
// kVXSettingsError when it exists but cannot be read.
[[nodiscard]] VXStatus ReadSetting(const std::string& name, std::string* value);
// Sets (or, for an empty value, removes) one line atomically.
[[nodiscard]] VXStatus WriteSetting(const std::string& name, const std::string& value);

// Deletes the lock file of the settings file ("<file>.lock"), waiting for
// a writer that holds it; the next update makes it again. Called when the
// platform's use ends, so no lock file is left behind.
void RemoveSettingsLock();

// The data directory of a server: "Local" (any case) or a Server.NAME line.
std::optional<std::string> ServerDirectory(const std::string& server);
// "Local" first, then the other servers in file order.
std::vector<std::string> ServerNames();

// The current user's name: the first line of the KeyFilename ID file (a file
// ending ".id"), else the login name.
std::string CurrentUserName();

}  // namespace ledra
