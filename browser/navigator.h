// Navigators: hidden forms named "Corvane Navigator: ..." that give a
// database its own command frame. The navigator state (form, size,
// orientation) lives in the open-database record; choosing a view's
// navigator replaces it. Also the "n" command.
#pragma once

#include <string>

#include "engine/database_request.h"
#include "engine/thread_handle.h"
#include "platform/open_database.h"

namespace browser {

inline constexpr char kNavigatorPrefix[] = "Corvane Navigator:";
inline constexpr char kNavigatorToggle[] = "CORVANE_NAVIGATORS_ENABLEMENT_TOGGLE";
inline constexpr char kNoNavigatorFormat[] =
    "<DT><H2>Invalid Access to Pellam Ledra:</H2><DT><DT>Cannot find Navigator: %s<DT>";
inline constexpr int32_t kDefaultNavigatorSize = 25;
inline constexpr int32_t kDefaultNavigatorOrientation = 1;

// Reads the navigator form "Corvane Navigator: name" (or "... Default" for
// an empty name) into the record: its id (0 when absent), size and
// orientation (25 and 1 unless its PercentSize and Orientation say else).
// Nothing while navigators are switched off.
void SetNavigator(platform::OpenDatabase& database, const std::string& name);

// Picks the navigator of a view: the database's navigator when its ViewName
// names the view, else the last hidden navigator form naming it (one whose
// Corvane_DefaultNav_ForView is "Default" ends the search). 1 when one
// applies.
int ChooseViewNavigator(engine::ThreadHandle& handle, platform::OpenDatabase& database,
                        platform::ViewRecord& view);

// The "n" command.
int NavigatorCommand(const std::string& reply_path, engine::DatabaseRequest& request,
                     engine::ThreadHandle& handle);

// Opens the request's database through the cache; null when it does not open.
platform::OpenDatabase* OpenRequestDatabase(engine::ThreadHandle& handle,
                                            const engine::DatabaseRequest& request);

}  // namespace browser
