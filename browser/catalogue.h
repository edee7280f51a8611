// The catalogue of servers and databases. It is not drawn directly: it
// lives as documents of the configuration database (forms "Server" and
// "Database"), rebuilt from the platform on each request and then shown
// through the ordinary view page of the view "Servers and Databases". A
// "Database" document is a response to the "Server" document of its server
// or to the "Database" document of its folder.
//
// Handlers: the server catalogue (http://[kv]/), and the catalogue of a
// server's databases or of one folder (http://[kv]/SERVER:/ and
// http://[kv]/SERVER:/FOLDER:/). Platform thread only.
#pragma once

#include <optional>
#include <string>

#include "engine/database_request.h"
#include "engine/thread_handle.h"
#include "ledra/vx_types.h"
#include "platform/open_database.h"

namespace browser {

inline constexpr char kCatalogueView[] = "Servers and Databases";
inline constexpr char kServerForm[] = "Server";
inline constexpr char kDatabaseForm[] = "Database";
inline constexpr char kCatalogueFormula[] = "Select Form=\"Server\" | Form = \"Database\"";
inline constexpr char kServerListErrorTitle[] = "Server List Network Error";
inline constexpr char kOfflineQuestion[] =
    "You are in OFFLINE mode which can only work locally. Switch to ONLINE mode?";
inline constexpr char kOfflineQuestionTitle[] = "Corvane Network Error";

// The configuration database and its catalogue view, opened through the
// cache; false when either cannot be had.
struct Catalogue {
  platform::OpenDatabase* database = nullptr;
  platform::ViewRecord* view = nullptr;
};
[[nodiscard]] bool OpenCatalogue(engine::ThreadHandle& handle, Catalogue* catalogue);

// Deletes every "Server" and "Database" document: the catalogue starts
// empty. The number of documents that could not be deleted.
size_t EmptyCatalogue(VXHandle configuration);
// Creates and saves a "Server" document; its note id, 0 when it could not
// be made.
VXNoteId CreateServerDocument(VXHandle configuration, const std::string& server);

// The folder part of a catalogue request: "" for none; otherwise the path
// with "/" separators and a trailing "/". A folder that would leave the
// server's data directory (a ".." step, an absolute path, any spelling of
// them after decoding and "\" made "/") is treated as the root: "".
std::string CatalogueFolder(const std::optional<std::string>& database);

// The server name as the platform lists it ("Local" for any case of it),
// or the name unchanged when no listed server matches it.
std::string CanonicalServer(const std::string& server);

// http://[kv]/ : rebuilds the list of servers; 0.
int ServerCatalogue(const std::string& reply_path, engine::DatabaseRequest& request,
                    engine::ThreadHandle& handle);
// http://[kv]/SERVER:/ or http://[kv]/SERVER:/FOLDER:/ : lists the
// databases and folders below the server or folder; 0, or -1 after an
// error page (the dispatcher then tries the welcome page).
int DatabaseCatalogue(const std::string& reply_path, engine::DatabaseRequest& request,
                      engine::ThreadHandle& handle);

}  // namespace browser
