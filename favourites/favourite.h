// Making a page a favourite (operation 29) and editing one (operation 31):
// the Schedule document of kvconfig.ldf that the scheduler and the job task
// read, the first element document of a new web favourite in the
// page-replica database, and the dialogs in between. Platform thread only.
//
// The Schedule items written are those the job task reads: StartingURL,
// BoundingURLs, CutOffLevels, Fidelity, Frequency, FrequencyUnits, Title,
// the repository (WebDatabase, OwningServer, WebDatabaseFilename,
// Repository), DeleteSelfAfterRun, Enabled and NextActivation; a Ledra
// favourite has RemoteServer, RemoteSource, LocalReplica, UserTitle and
// IsLedra instead of the repository.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/thread_handle.h"
#include "ledra/vx_types.h"

namespace favourites {

inline constexpr char kMessageTitle[] = "Corvane";
inline constexpr char kLedraParseMessage[] = "Sorry, couldn't parse Ledra context from current URL.";
inline constexpr char kUpdatingStatus[] = "Updating Favorite in background";
inline constexpr char kCreatingStatus[] = "Creating new Favorite in background";
inline constexpr char kFormRunningMessage[] =
    "Running request in background. Results will appear as new Favorite(s) in your workspace.";
inline constexpr char kFormStoredMessage[] =
    "Request stored.  Results will appear as new Favorite(s) in your workspace next time you "
    "connect to the network.";
inline constexpr char kNoScheduleQuestion[] = "This favorite has no schedule yet.  Create one?";
inline constexpr char kUntitledResults[] = "(untitled results)";
// Due at once: the scheduler starts it at its next check.
inline constexpr char kDueAtOnce[] = "1/1/95";
inline constexpr char kAdvancedUrlFormat[] =
    "http://[kv]/Local:/kvconfig.ldf:/E/%ld/LR/0/What's Next/{%s}";
inline constexpr char kEditCommentsUrlFormat[] = "http://[kv]/%s:/%s:/E/%ld/LR/0/by Category/{%s}";
inline constexpr char kScheduleFormula[] = "Select Form=\"Schedule\"";

// "*" and the URL's host from its first '.' or '/' after "http://" up to and
// including the next '/': "*.b.c/" for http://a.b.c/d/e.htm.
std::string BoundingList(std::string_view url);

// The URL with a replica context ("http://[wr...]KEY") taken out:
// "http://KEY". Other URLs come back unchanged.
std::string WithoutReplicaContext(std::string_view url);

// Operation 29: add or edit the favourite of `url`. `method` is the request
// method of a form submitted off line ('P' or 'G' first) or a return
// address ('h' first: "Advanced..." returns to the workspace). -1, or 1
// with the URL for the browser in *out.
int32_t AddOrEditFavourite(engine::ThreadHandle& handle, const std::string& url,
                           const std::string& method, std::string* out);

// Operation 31: edit the favourite of a stored page (dialog 107), or add
// one. -1, or 1 with the URL in *out.
int32_t EditFavourite(engine::ThreadHandle& handle, const std::string& url, std::string* out);

// The note id of the Schedule document of a web favourite with this
// starting URL (letter case ignored); 0 when none.
VXNoteId FindWebSchedule(engine::ThreadHandle& handle, const std::string& url);

// Installs operations 29 and 31.
void InstallFavouriteOperations();

}  // namespace favourites
