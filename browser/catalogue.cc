// The catalogue of servers and databases.
#include "browser/catalogue.h"

#include <strings.h>

#include <cstdio>
#include <vector>

#include "browser/command_dispatch.h"
#include "browser/platform_helpers.h"
#include "browser/position_walk.h"
#include "common/reply_forms.h"
#include "common/text.h"
#include "engine/error_page.h"
#include "engine/hooks.h"
#include "platform/translate.h"
#include "platform/view_records.h"

namespace browser {

namespace {

using common::Format;

constexpr char kServerItem[] = "ServerName";
constexpr char kFileItem[] = "FileName";
constexpr char kTitleItem[] = "DBTitle";
constexpr char kDirectoryItem[] = "IsDirectory";
constexpr char kFolderTitleFormat[] = "[%s]";
constexpr char kViewRedirectFormat[] = "http://[kv]/Local:/kvconfig.ldf:/V/%ld/LR/\n\n";
constexpr char kFolderRedirectFormat[] = "http://[kv]/Local:/kvconfig.ldf:/V/%ld/r/\n\n";
constexpr uint32_t kListEverything = kVXListDatabases | kVXListFolders;
constexpr uint32_t kFirstEntry = 1;
constexpr int kNetworkTestSeconds = 20;

bool SameText(const std::string& a, const std::string& b) {
  return strcasecmp(a.c_str(), b.c_str()) == 0;
}

void WriteReply(const std::string& reply_path, const std::string& text) {
  std::FILE* reply = std::fopen(reply_path.c_str(), "w");
  if (reply == nullptr) return;
  std::fwrite(text.data(), 1, text.size(), reply);
  std::fclose(reply);
}

void WriteError(const std::string& reply_path, engine::ThreadHandle& handle) {
  std::FILE* reply = std::fopen(reply_path.c_str(), "w");
  if (reply == nullptr) return;
  engine::WriteErrorPage(reply, handle);
  std::fclose(reply);
}

int NetworkUp(engine::ThreadHandle& handle) {
  engine::SharedContext& shared = *handle.shared;
  if (shared.networkUp == 0 && engine::Hooks().networkTest != nullptr)
    return engine::Hooks().networkTest(handle, kNetworkTestSeconds);
  return shared.networkUp;
}

// Every "\" written "/".
std::string Slashed(std::string text) {
  for (char& c : text)
    if (c == '\\') c = '/';
  return text;
}

// The folder with the letter case the data directory has: each step is
// looked up among the subfolders of the one before, without regard to case
// (URLs reach us lower-cased). A step that is not found is kept as it is.
std::string FolderAsStored(const std::string& server, const std::string& folder) {
  std::string resolved;
  size_t start = 0;
  while (start < folder.size()) {
    size_t slash = folder.find('/', start);
    std::string step = folder.substr(start, slash - start);
    std::string found = step;
    VXDatabaseEntry entry;
    for (uint32_t code = kFirstEntry;
         platform::wrap::VXDatabaseList(server.c_str(), resolved.c_str(), 0, kVXListFolders, code,
                                        &entry) == kVXOk;
         code = kVXListNext) {
      if (SameText(entry.name, step)) {
        found = entry.name;
        break;
      }
    }
    resolved += found + "/";
    start = slash + 1;
  }
  return resolved;
}

VXStatus CreateDatabaseDocument(VXHandle configuration, const std::string& server,
                                const std::string& folder, const VXDatabaseEntry& entry,
                                const VXUnid& parent) {
  VXHandle document = 0;
  if (VXStatus s = VXDocumentCreate(configuration, kDatabaseForm, &document); s != kVXOk) return s;
  bool is_folder = entry.is_folder != 0;
  std::string file = Slashed(folder + entry.name + (is_folder ? "/" : ""));
  std::string title = is_folder ? Format(kFolderTitleFormat, entry.name) : entry.title;
  VXStatus status = PutTextItem(document, kServerItem, server);
  if (status == kVXOk) status = PutTextItem(document, kFileItem, file);
  if (status == kVXOk) status = PutTextItem(document, kTitleItem, title);
  if (status == kVXOk) status = PutTextItem(document, kDirectoryItem, is_folder ? "Yes" : "No");
  if (status == kVXOk) status = VXDocumentSetProperty(document, kDocPropParent, &parent);
  if (status != kVXOk) {
    (void)VXDocumentClose(document, kVXCloseDiscard);
    return status;
  }
  return VXDocumentClose(document, kVXCloseKeepShort);
}

// The position of the catalogue document's row; "" when it is not shown.
std::string RowOf(VXHandle index, VXNoteId document) {
  VXNoteId id = 0;
  if (VXIndexNavigate(index, kVXNavFirst, 2, &id, nullptr) != kVXOk) return "";
  while (id != document) {
    if (VXIndexNavigate(index, kVXNavNext, 0, &id, nullptr) != kVXOk) return "";
  }
  return CurrentPosition(index);
}

// Deletes the listing below a catalogue row: each child and everything
// under it. The rows stay until the next refresh, so the children keep
// their positions while they go. Only the row's own children are taken.
void RemoveListing(VXHandle configuration, VXHandle index, const std::string& row) {
  {
    SaveBatch batch(configuration);
    for (long k = 1; SetPosition(index, row + "." + std::to_string(k)); ++k)
      (void)VXIndexDeleteHierarchy(index, 0);
  }
  (void)VXIndexRefresh(index);
}

VXNoteId FirstFound(VXHandle configuration, const std::string& formula) {
  std::vector<VXNoteId> ids;
  if (SelectDocuments(configuration, formula, &ids) != kVXOk || ids.empty()) return 0;
  return ids.front();
}

// The catalogue document of a request: the folder's "Database" document,
// else the server's "Server" document, made when the platform knows the
// server and there is none yet; 0 when there is none. (A folder named
// before its parent was listed hangs its listing under the server, rather
// than under a second document for the same server.)
VXNoteId FindCatalogueDocument(const Catalogue& catalogue, const std::string& server,
                               const std::string& folder) {
  VXHandle configuration = catalogue.database->handle;
  std::string same_server = "ServerName=" + FormulaLiteral(server);
  if (!folder.empty()) {
    VXNoteId id = FirstFound(configuration, "Select Form=\"Database\" & " + same_server +
                                                " & @uppercase(FileName) = @uppercase(" +
                                                FormulaLiteral(folder) + ")");
    if (id != 0) return id;
  }
  if (VXNoteId id = FirstFound(configuration, "Select Form=\"Server\" & " + same_server); id != 0)
    return id;
  VXDatabaseEntry entry;
  if (platform::wrap::VXDatabaseList(server.c_str(), "", 0, kListEverything, kFirstEntry, &entry) !=
      kVXOk)
    return 0;
  VXNoteId id = CreateServerDocument(configuration, server);
  (void)VXIndexRefresh(catalogue.view->index);
  return id;
}

struct Installer {
  Installer() {
    Handlers().serverCatalogue = ServerCatalogue;
    Handlers().databaseCatalogue = DatabaseCatalogue;
    Handlers().folderCatalogue = DatabaseCatalogue;
  }
} installer;

}  // namespace

bool OpenCatalogue(engine::ThreadHandle& handle, Catalogue* catalogue) {
  catalogue->database = platform::OpenDatabaseRecord(handle, platform::kLocalServer,
                                                     platform::kConfigurationDatabase);
  if (catalogue->database == nullptr || catalogue->database->handle == 0) return false;
  catalogue->view =
      platform::GetViewRecordByName(handle, catalogue->database->handle, kCatalogueView);
  return catalogue->view != nullptr && catalogue->view->index != 0;
}

size_t EmptyCatalogue(VXHandle configuration) {
  std::vector<VXNoteId> ids;
  (void)SelectDocuments(configuration, kCatalogueFormula, &ids);
  size_t failed = 0;
  SaveBatch batch(configuration);
  for (VXNoteId id : ids)
    if (VXDocumentDelete(configuration, id, kVXDeleteQuiet) != kVXOk) ++failed;
  return failed;
}

VXNoteId CreateServerDocument(VXHandle configuration, const std::string& server) {
  VXHandle document = 0;
  if (VXDocumentCreate(configuration, kServerForm, &document) != kVXOk) return 0;
  VXNoteId id = 0;
  if (PutTextItem(document, kServerItem, server) == kVXOk &&
      VXDocumentSave(document, kVXCloseKeep) == kVXOk)
    (void)VXDocumentGetProperty(document, kDocPropNoteId, &id, sizeof id);
  (void)VXDocumentClose(document, id != 0 ? 0 : kVXCloseDiscard);
  return id;
}

std::string CatalogueFolder(const std::optional<std::string>& database) {
  std::string text = Slashed(database.value_or(""));
  if (text.empty() || text[0] == '/') return "";
  std::string folder;
  size_t start = 0;
  while (start <= text.size()) {
    size_t slash = text.find('/', start);
    if (slash == std::string::npos) slash = text.size();
    std::string step = text.substr(start, slash - start);
    if (step == "..") return "";
    if (!step.empty() && step != ".") folder += step + "/";
    start = slash + 1;
  }
  return folder;
}

std::string CanonicalServer(const std::string& server) {
  if (SameText(server, platform::kLocalServer)) return platform::kLocalServer;
  char name[kVXPathSize * 3 + 1] = {};
  for (uint32_t code = kVXListFirst; VXServerList(code, name, sizeof name) == kVXOk;
       code = kVXListNext) {
    platform::ConvertFromPlatform(name, sizeof name);
    if (SameText(name, server)) return name;
  }
  return server;
}

int ServerCatalogue(const std::string& reply_path, engine::DatabaseRequest&,
                    engine::ThreadHandle& handle) {
  Catalogue catalogue;
  if (!OpenCatalogue(handle, &catalogue)) {
    WriteError(reply_path, handle);
    return 0;
  }
  VXHandle configuration = catalogue.database->handle;
  int32_t guard = 1;
  (void)VXDatabaseSetProperty(configuration, kDbPropDesignGuard, &guard);
  (void)EmptyCatalogue(configuration);
  (void)VXIndexRefresh(catalogue.view->index);

  VXStatus ending = kVXEndOfList;
  if (NetworkUp(handle) != 0) {
    SaveBatch batch(configuration);
    char name[kVXPathSize * 3 + 1] = {};
    ending = VXServerList(kVXListFirst, name, sizeof name);
    if (ending != kVXOk && ending != kVXEndOfList) {
      TellPlatformError(handle, kServerListErrorTitle);
      (void)CreateServerDocument(configuration, platform::kLocalServer);
      ending = kVXEndOfList;
    }
    while (ending == kVXOk) {
      platform::ConvertFromPlatform(name, sizeof name);
      (void)CreateServerDocument(configuration, name);
      ending = VXServerList(kVXListNext, name, sizeof name);
    }
  } else {
    (void)CreateServerDocument(configuration, platform::kLocalServer);
  }
  if (ending != kVXEndOfList) {
    WriteError(reply_path, handle);
    return 0;
  }
  WriteReply(reply_path,
             common::kReplyRedirectLfPrefix +
                 Format(kViewRedirectFormat, static_cast<long>(catalogue.view->viewId)));
  return 0;
}

int DatabaseCatalogue(const std::string& reply_path, engine::DatabaseRequest& request,
                      engine::ThreadHandle& handle) {
  engine::SharedContext& shared = *handle.shared;
  std::string server = CanonicalServer(request.server.value_or(""));
  if (!SameText(server, platform::kLocalServer) && shared.offline != 0) {
    if (!AskYesNo(handle, kOfflineQuestion, kOfflineQuestionTitle)) {
      WriteReply(reply_path, "");
      return 0;
    }
    shared.offline = 0;
  }
  std::string folder = CatalogueFolder(request.database);
  if (!folder.empty()) folder = FolderAsStored(server, folder);

  Catalogue catalogue;
  if (!OpenCatalogue(handle, &catalogue)) {
    WriteError(reply_path, handle);
    return kNotHandled;
  }
  VXHandle configuration = catalogue.database->handle;
  VXHandle index = catalogue.view->index;
  (void)VXIndexRefresh(index);
  VXNoteId document = FindCatalogueDocument(catalogue, server, folder);
  if (document == 0) {
    WriteError(reply_path, handle);
    return kNotHandled;
  }

  std::string remembered = CurrentPosition(index);
  std::string row = RowOf(index, document);
  if (!row.empty()) RemoveListing(configuration, index, row);

  VXUnid parent;
  VXHandle opened = 0;
  if (VXDocumentOpen(configuration, document, kVXDocOpenReadOnly, &opened) == kVXOk) {
    (void)VXDocumentGetProperty(opened, kDocPropUnid, &parent, sizeof parent);
    (void)VXDocumentClose(opened, kVXCloseDiscard);
  }

  VXStatus ending;
  std::string failure;
  {
    SaveBatch batch(configuration);
    VXDatabaseEntry entry;
    ending = platform::wrap::VXDatabaseList(server.c_str(), folder.c_str(), 0, kListEverything,
                                            kFirstEntry, &entry);
    while (ending == kVXOk) {
      (void)CreateDatabaseDocument(configuration, server, folder, entry, parent);
      ending = platform::wrap::VXDatabaseList(server.c_str(), folder.c_str(), 0, kListEverything,
                                              kVXListNext, &entry);
    }
    if (ending != kVXEndOfList) failure = PlatformErrorText();
  }
  (void)VXIndexRefresh(index);
  (void)SetPosition(index, remembered);

  if (ending != kVXEndOfList) {
    std::FILE* reply = std::fopen(reply_path.c_str(), "w");
    WriteErrorText(reply, handle, failure);
    if (reply != nullptr) std::fclose(reply);
    return kNotHandled;
  }
  const char* format = folder.empty() ? kViewRedirectFormat : kFolderRedirectFormat;
  WriteReply(reply_path, common::kReplyRedirectLfPrefix +
                             Format(format, static_cast<long>(catalogue.view->viewId)));
  return 0;
}

}  // namespace browser
