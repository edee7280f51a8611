// Adding and editing favourites.
#include "favourites/favourite.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "common/page_replica_format.h"
#include "common/status_file.h"
#include "common/text.h"
#include "engine/database_request.h"
#include "engine/hooks.h"
#include "engine/shared_context.h"
#include "favourites/favourite_dialog.h"
#include "favourites/page_title.h"
#include "jobs/documents.h"
#include "ledra/vxapi.h"
#include "os/desktop.h"
#include "platform/database_operation.h"
#include "platform/open_database.h"
#include "platform/translate_views.h"
#include "platform/view_calls.h"
#include "platform/view_records.h"

namespace favourites {

namespace {

bool SameNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && common::StartsWithNoCase(a, b);
}

bool SamePath(std::string a, std::string b) {
  for (std::string* s : {&a, &b})
    for (char& c : *s)
      if (c == '\\') c = '/';
  return SameNoCase(a, b);
}

std::string FileName(const std::string& path) {
  size_t at = path.find_last_of("\\/");
  return at == std::string::npos ? path : path.substr(at + 1);
}

// The page-replica database a favourite goes to.
struct Repository {
  std::string title = "My Selections";
  std::string server = common::kPageReplicaServer;
  std::string path = common::kPageReplicaPath;
  std::string Text() const { return title + "{" + server + ";" + path + "}"; }
};

Repository CurrentRepository(engine::SharedContext& shared) {
  Repository r;
  if (shared.webDatabase != nullptr) {
    r.title = shared.webDatabase->title;
    r.server = shared.webDatabase->server;
    r.path = shared.webDatabase->path;
  }
  return r;
}

platform::OpenDatabase* Configuration(engine::ThreadHandle& handle) {
  platform::OpenDatabase* config =
      platform::OpenDatabaseRecord(handle, platform::kLocalServer, platform::kConfigurationDatabase);
  return config != nullptr && config->handle != 0 ? config : nullptr;
}

// The element with key `key` in the page-replica database: its note id, 0
// when none. The key view is refreshed first: the job task writes to it.
VXNoteId FindElement(engine::ThreadHandle& handle, platform::OpenDatabase& db,
                     const std::string& key) {
#if CORVANE_HAVE_VIEWS
  if (key.empty()) return 0;
  platform::ViewRecord* view = platform::GetViewRecordByName(handle, db.handle, common::kKeyView);
  if (view == nullptr || view->index == 0) return 0;
  if (platform::Views().indexRefresh != nullptr) (void)platform::Views().indexRefresh(view->index);
  VXKey search;
  search.kind = kVXKeyFirstSorted;
  search.type = kVXTypeText;
  size_t length = std::min(key.size(), sizeof search.text - 1);
  while (length > 0 && length < key.size() &&
         (static_cast<unsigned char>(key[length]) & 0xC0) == 0x80)
    --length;
  std::memcpy(search.text, key.data(), length);
  search.text[length] = '\0';
  bool whole = length == key.size();
  uint32_t count = 0;
  if (platform::wrap::VXIndexKeySearch(view->index, &search, 1, whole ? 0 : kVXKeyLeading,
                                       &count) != kVXOk ||
      count == 0)
    return 0;
  VXNoteId note = 0;
  if (VXIndexNavigate(view->index, kVXNavCurrent, 0, &note, nullptr) != kVXOk) return 0;
  if (!whole) {
    VXHandle doc = 0;
    if (VXDocumentOpen(db.handle, note, kVXDocOpenReadOnly, &doc) != kVXOk) return 0;
    bool same = jobs::TextItem(doc, common::kItemKey) == key;
    VXDocumentClose(doc, kVXCloseDiscard);
    if (!same) return 0;
  }
  return note;
#else
  (void)handle;
  (void)db;
  (void)key;
  return 0;
#endif
}

std::string KeyOf(const std::string& url) {
  if (common::StartsWithNoCase(url, "http://[wr")) {
    size_t close = url.find(']');
    return close == std::string::npos ? "" : url.substr(close + 1);
  }
  return url.size() > 7 ? url.substr(7) : "";
}

// What the favourite is.
struct Favourite {
  std::string url;
  bool ledra = false;
  bool form = false;  // a form result stored off line
  std::string server, database, local_replica;  // Ledra
  Repository repository;                        // web
};

// The schedule that matches the favourite; 0 when none.
VXNoteId FindSchedule(VXHandle config, const Favourite& f) {
  std::vector<VXNoteId> ids;
  (void)jobs::SelectDocuments(config, kScheduleFormula, &ids);
  for (VXNoteId id : ids) {
    VXHandle doc = 0;
    if (VXDocumentOpen(config, id, kVXDocOpenReadOnly, &doc) != kVXOk) continue;
    bool match;
    if (f.ledra) {
      match = SameNoCase(f.server, platform::kLocalServer)
                  ? SamePath(jobs::TextItem(doc, "LocalReplica"), f.database)
                  : SameNoCase(jobs::TextItem(doc, "RemoteServer"), f.server) &&
                        SamePath(jobs::TextItem(doc, "RemoteSource"), f.database);
    } else {
      match = SameNoCase(jobs::TextItem(doc, "StartingURL"), f.url);
    }
    VXDocumentClose(doc, kVXCloseDiscard);
    if (match) return id;
  }
  return 0;
}

FrequencyUnit UnitOf(const std::string& text) {
  char c = text.empty() ? 'd' : static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  if (c == 'm') return FrequencyUnit::kMinutes;
  if (c == 'h') return FrequencyUnit::kHours;
  return FrequencyUnit::kDays;
}

const char* UnitText(FrequencyUnit unit) {
  switch (unit) {
    case FrequencyUnit::kMinutes:
      return "minutes";
    case FrequencyUnit::kHours:
      return "hours";
    case FrequencyUnit::kDays:
      break;
  }
  return "days";
}

VXNoteId NoteIdOf(VXHandle doc) {
  VXNoteId id = 0;
  (void)VXDocumentGetProperty(doc, kDocPropNoteId, &id, sizeof id);
  return id;
}

// The first element document of a new web favourite.
void CreateElement(engine::ThreadHandle& handle, const Favourite& f, const std::string& title) {
  platform::OpenDatabase* db =
      platform::OpenDatabaseRecord(handle, f.repository.server, f.repository.path);
  if (db == nullptr || db->handle == 0) return;
  VXHandle doc = 0;
  if (VXDocumentCreate(db->handle, common::kElementForm, &doc) != kVXOk) return;
  (void)jobs::PutTextItem(doc, common::kItemKey, f.url.substr(7));
  (void)jobs::PutTextItem(doc, common::kItemSupports, f.url);
  (void)jobs::PutTextItem(doc, common::kItemUserTitle, title);
  (void)jobs::PutDatetimeItem(doc, common::kItemDateDownloaded, jobs::PlatformNow());
  VXDocumentClose(doc, kVXCloseKeep);
}

void WriteStatus(engine::SharedContext& shared, const std::string& message) {
  std::string text;
  for (char c : message) text += c == '"' ? std::string("''") : std::string(1, c);
  (void)common::WriteStatusLine(text, shared.programDir);
}

bool AskYes(engine::SharedContext& shared, const char* question) {
  return os::MessageBox(shared.mainWindow, question, kMessageTitle, os::Icon::kQuestion,
                        os::Buttons::kYesNo) == os::Answer::kYes;
}

void Notice(engine::SharedContext& shared, const char* text) {
  os::MessageBox(shared.mainWindow, text, kMessageTitle, os::Icon::kInformation, os::Buttons::kOk);
}

// The network as the last test found it; a test of its own would hold the
// dialog back for up to the network time-out.
bool NetworkUp(engine::ThreadHandle& handle) { return handle.shared->networkUp != 0; }

// Arms a schedule: due at once, enabled.
void Arm(VXHandle doc) {
  (void)jobs::PutTextItem(doc, "Enabled", "Enabled");
  (void)jobs::PutTextItem(doc, "NextActivation", kDueAtOnce);
}

}  // namespace

std::string BoundingList(std::string_view url) {
  std::string_view rest = url.size() > 7 ? url.substr(7) : std::string_view();
  size_t from = rest.find_first_of("./");
  if (from == std::string_view::npos) return "*";
  size_t slash = rest.find('/', from + 1);
  if (rest[from] == '/') slash = from;
  std::string_view host = rest.substr(from, slash == std::string_view::npos ? std::string_view::npos
                                                                            : slash - from + 1);
  return "*" + std::string(host);
}

std::string WithoutReplicaContext(std::string_view url) {
  size_t at = url.find("http://[wr");
  if (at == std::string_view::npos) return std::string(url);
  size_t close = url.find(']', at);
  if (close == std::string_view::npos) return std::string(url);
  return std::string(url.substr(0, at + 7)) + std::string(url.substr(close + 1));
}

VXNoteId FindWebSchedule(engine::ThreadHandle& handle, const std::string& url) {
  platform::OpenDatabase* config = Configuration(handle);
  if (config == nullptr) return 0;
  Favourite f;
  f.url = url;
  return FindSchedule(config->handle, f);
}

int32_t AddOrEditFavourite(engine::ThreadHandle& handle, const std::string& given,
                           const std::string& method, std::string* out) {
  engine::SharedContext& shared = *handle.shared;
  if (given.size() < 8 || given.find('/') == std::string::npos) return -1;
  Favourite f;
  f.url = WithoutReplicaContext(given[0] == '?' ? given.substr(1) : given);
  f.form = !method.empty() && (method[0] == 'P' || method[0] == 'G');
  if (common::StartsWithNoCase(f.url, "http://[kv]")) {
    std::unique_ptr<engine::DatabaseRequest> request =
        engine::ParseDatabaseRequest("GET " + f.url);
    if (request == nullptr || !request->server || !request->database ||
        request->server->empty() || request->database->empty()) {
      os::MessageBox(shared.mainWindow, kLedraParseMessage, kMessageTitle, os::Icon::kExclamation,
                     os::Buttons::kOk);
      *out = f.url;
      return 1;
    }
    f.ledra = true;
    f.server = *request->server;
    f.database = *request->database;
    f.local_replica = "Replicas.Ldr\\" + FileName(f.database);
  } else {
    f.repository = CurrentRepository(shared);
  }
  platform::OpenDatabase* config = Configuration(handle);
  if (config == nullptr) return -1;

  FavouriteValues values;
  VXHandle doc = 0;
  VXNoteId existing = FindSchedule(config->handle, f);
  bool stored = false;
  VXNoteId element = 0;
  std::string bounding;
  if (existing != 0) {
    if (VXDocumentOpen(config->handle, existing, 0, &doc) != kVXOk) return -1;
    bounding = jobs::TextItem(doc, "BoundingURLs");
    std::string repository = jobs::TextItem(doc, "Repository");
    if (!f.ledra && !jobs::TextItem(doc, "OwningServer").empty()) {
      f.repository.title = jobs::TextItem(doc, "WebDatabase");
      f.repository.server = jobs::TextItem(doc, "OwningServer");
      f.repository.path = jobs::TextItem(doc, "WebDatabaseFilename");
    }
    values.frequency = jobs::TextItem(doc, "Frequency").substr(0, kNumberLimit);
    values.levels = jobs::TextItem(doc, "CutOffLevels").substr(0, kNumberLimit);
    if (values.frequency.empty()) values.frequency = "0";
    if (values.levels.empty()) values.levels = "0";
    values.include = std::atoi(values.levels.c_str()) > 0;
    values.replicate = jobs::TextItem(doc, "Fidelity") != "S";
    values.keep = jobs::TextItem(doc, "Enabled") == "Enabled";
    values.title = jobs::TextItem(doc, f.ledra ? "UserTitle" : "Title", kTitleLimit);
    if (values.title.empty()) values.title = jobs::TextItem(doc, "Title", kTitleLimit);
    values.unit = UnitOf(jobs::TextItem(doc, "FrequencyUnits"));
    stored = true;
  } else {
    if (VXDocumentCreate(config->handle, "Schedule", &doc) != kVXOk) return -1;
    if (f.ledra) {
      (void)jobs::PutTextItem(doc, "RemoteServer", f.server);
      (void)jobs::PutTextItem(doc, "RemoteSource", f.database);
      (void)jobs::PutTextItem(doc, "LocalReplica", f.local_replica);
      (void)jobs::PutTextItem(doc, "Frequency", "0");
      (void)jobs::PutTextItem(doc, "Enabled", "Disabled");
      values.title = kUntitled;
    } else {
      (void)jobs::PutTextItem(doc, "StartingURL", f.url);
      (void)jobs::PutTextItem(doc, "Enabled", "Disabled");
      bounding = BoundingList(f.url);
      platform::OpenDatabase* web =
          platform::OpenDatabaseRecord(handle, f.repository.server, f.repository.path);
      if (!f.form && web != nullptr && web->handle != 0)
        element = FindElement(handle, *web, KeyOf(f.url));
      if (element != 0) {
        stored = true;
        VXHandle e = 0;
        if (VXDocumentOpen(web->handle, element, kVXDocOpenReadOnly, &e) == kVXOk) {
          values.title = jobs::TextItem(e, common::kItemUserTitle, kTitleLimit);
          if (values.title.empty()) values.title = jobs::TextItem(e, common::kItemTitle, kTitleLimit);
          VXDocumentClose(e, kVXCloseDiscard);
        }
      } else if (f.form) {
        values.title = kUntitledResults;
      } else if (NetworkUp(handle)) {
        values.title = PageTitle(handle, f.url).substr(0, kTitleLimit);
      }
      if (values.title.empty()) values.title = kUntitled;
    }
  }

  FavouriteResult result = RunFavouriteDialog(shared.mainWindow, stored, &values);
  if (result == FavouriteResult::kCancel) {
    VXDocumentClose(doc, kVXCloseDiscard);
    return -1;
  }
  bool is_new = existing == 0;
  if (is_new && !f.ledra && !f.form && element == 0) CreateElement(handle, f, values.title);

  if (f.ledra) {
    (void)jobs::PutTextItem(doc, "LocalReplica", f.local_replica);
    (void)jobs::PutTextItem(doc, "UserTitle", values.title);
    (void)jobs::PutTextItem(doc, "StartingURL", f.url);
    (void)jobs::PutTextItem(doc, "IsLedra", "Y");
  } else {
    (void)jobs::PutTextItem(doc, "BoundingURLs", is_new && f.form ? "" : bounding);
    (void)jobs::PutTextItem(doc, "WebDatabase", f.repository.title);
    (void)jobs::PutTextItem(doc, "OwningServer", f.repository.server);
    (void)jobs::PutTextItem(doc, "WebDatabaseFilename", f.repository.path);
    (void)jobs::PutTextItem(doc, "Repository", f.repository.Text());
    (void)jobs::PutTextItem(doc, "Title", values.title);
  }
  if (is_new) (void)jobs::PutDatetimeItem(doc, "NextActivation", jobs::PlatformNow());
  (void)jobs::PutTextItem(doc, "Frequency", values.keep ? values.frequency : "0");
  if (values.keep) (void)jobs::PutTextItem(doc, "FrequencyUnits", UnitText(values.unit));
  bool delete_after = is_new && !f.ledra && !values.keep && result == FavouriteResult::kOk;
  (void)jobs::PutTextItem(doc, "DeleteSelfAfterRun", delete_after ? "Y" : "N");
  (void)jobs::PutTextItem(doc, "CutOffLevels", values.include ? values.levels : "0");
  if (is_new && f.form) (void)jobs::PutTextItem(doc, "OfflineFormMethod", method);
  std::string fidelity = jobs::TextItem(doc, "Fidelity");
  if (!values.replicate) {
    (void)jobs::PutTextItem(doc, "Fidelity", "S");
  } else if (fidelity == "S") {
    (void)jobs::PutTextItem(doc, "Fidelity", "N");
  }
  (void)VXDocumentSave(doc, 0);

  if (result == FavouriteResult::kAdvanced) {
    VXNoteId id = NoteIdOf(doc);
    VXDocumentClose(doc, kVXCloseKeep);
    std::string back = !method.empty() && method[0] == 'h' ? method : f.url;
    *out = common::Format(kAdvancedUrlFormat, static_cast<long>(id), back.c_str());
    return 1;
  }
  Arm(doc);
  (void)VXDocumentSave(doc, 0);
  VXDocumentClose(doc, kVXCloseKeep);
  WriteStatus(shared, is_new ? kCreatingStatus : kUpdatingStatus);
  if (is_new && f.form) Notice(shared, NetworkUp(handle) ? kFormRunningMessage : kFormStoredMessage);
  return -1;
}

int32_t EditFavourite(engine::ThreadHandle& handle, const std::string& url, std::string* out) {
  engine::SharedContext& shared = *handle.shared;
  std::string key = KeyOf(url);
  Repository repository = CurrentRepository(shared);
  platform::OpenDatabase* web = nullptr;
  VXNoteId element = 0;
  if (url.size() > 7) {
    web = platform::OpenDatabaseRecord(handle, repository.server, repository.path);
    if (web != nullptr && web->handle != 0) element = FindElement(handle, *web, key);
  }
  if (element == 0) return AddOrEditFavourite(handle, url, "", out);
  std::string page = WithoutReplicaContext(url);
  switch (RunEditFavouriteDialog(shared.mainWindow)) {
    case kIdEditComments:
      *out = common::Format(kEditCommentsUrlFormat, web->server.c_str(), web->path.c_str(),
                            static_cast<long>(element), url.c_str());
      return 1;
    case kIdRunNow: {
      platform::OpenDatabase* config = Configuration(handle);
      VXNoteId id = config != nullptr ? FindWebSchedule(handle, page) : 0;
      VXHandle doc = 0;
      if (id != 0 && VXDocumentOpen(config->handle, id, 0, &doc) == kVXOk) {
        Arm(doc);
        VXDocumentClose(doc, kVXCloseKeep);
        return -1;
      }
      if (AskYes(shared, kNoScheduleQuestion)) return AddOrEditFavourite(handle, url, "", out);
      return -1;
    }
    case kIdEditSchedule:
      if (FindWebSchedule(handle, page) != 0 || AskYes(shared, kNoScheduleQuestion))
        return AddOrEditFavourite(handle, url, "", out);
      return -1;
    default:
      return -1;
  }
}

namespace {

int32_t AddFavouriteOperation(engine::ThreadHandle& handle, const engine::OperationArgs& args) {
  const char* url = reinterpret_cast<const char*>(args[0]);
  const char* method = reinterpret_cast<const char*>(args[1]);
  auto* out = reinterpret_cast<std::string*>(args[2]);
  if (url == nullptr || out == nullptr) return -1;
  return AddOrEditFavourite(handle, url, method != nullptr ? method : "", out);
}

int32_t EditFavouriteOperation(engine::ThreadHandle& handle, const engine::OperationArgs& args) {
  const char* url = reinterpret_cast<const char*>(args[0]);
  auto* out = reinterpret_cast<std::string*>(args[1]);
  if (url == nullptr || out == nullptr) return -1;
  return EditFavourite(handle, url, out);
}

}  // namespace

void InstallFavouriteOperations() {
  platform::SetDatabaseOperation(platform::kAddFavourite, AddFavouriteOperation);
  platform::SetDatabaseOperation(platform::kEditFavourite, EditFavouriteOperation);
}

}  // namespace favourites
