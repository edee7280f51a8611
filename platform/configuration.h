// The configuration database kvconfig.ldf on "Local": its Configuration
// document and items, and the environment strings the system keeps in the
// platform with their defaults. Platform thread only (start-up reaches it
// through the operation channel).
#pragma once

#include <map>
#include <string>

#include "ledra/vx_types.h"

namespace platform {

inline constexpr char kConfigurationForm[] = "Configuration";
inline constexpr char kConfigurationFormula[] = "Select Form=\"Configuration\"";
inline constexpr char kMissingConfigurationMessage[] =
    "Corvane cannot find it's configuration database (kvconfig.ldf). Cannot continue, "
    "exiting.\n\n(check README.TXT for troubleshooting instructions)";

// Environment strings.
inline constexpr char kEnvLastWebDatabase[] = "$Corvane_Last_Web_Database";
inline constexpr char kEnvLastWebServer[] = "$Corvane_Last_Web_DBServer";
inline constexpr char kEnvRunning[] = "$Corvane_Running";
inline constexpr char kEnvReplicatorsAllowed[] = "$Corvane_Number_Replicators_Allowed";
inline constexpr char kEnvNetworkTimeout[] = "$Corvane_Network_Timeout";
inline constexpr char kEnvLinesInView[] = "$Corvane_LinesInView";
inline constexpr char kEnvPreferredBrowser[] = "$Corvane_Preferred_Browser";
inline constexpr char kEnvPageSortingChanged[] = "$Corvane_PageSortingChanged";
inline constexpr char kEnvKeyFilename[] = "KeyFilename";
inline constexpr size_t kEnvironmentBufferSize = 2048;

// The value of an environment string, or its default when it is empty
// (defaults: "Replicas.Web/kvwebrs.ldf", "Local", 3, 120, 30; "" for the
// others).
std::string EnvironmentValue(const std::string& name);
// The default of a name; "" when it has none.
std::string EnvironmentDefault(const std::string& name);
// Sets (an empty value removes) an environment string.
[[nodiscard]] bool SetEnvironmentValue(const std::string& name, const std::string& value);

// The note id of the Configuration document (the first match); 0 when none.
VXNoteId FindConfigurationDocument(VXHandle configuration);
// The text items of the Configuration document; items it lacks are absent.
// False when the document cannot be found or opened.
[[nodiscard]] bool ReadConfiguration(VXHandle configuration, std::map<std::string, std::string>* items);
// Writes one text item of the Configuration document and saves it.
[[nodiscard]] bool WriteConfigurationItem(VXHandle configuration, const std::string& item,
                                          const std::string& value);

}  // namespace platform
