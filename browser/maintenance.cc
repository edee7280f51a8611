// Database maintenance: full-text index, compact, delete.
#include "browser/maintenance.h"

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <cstdio>

#include "browser/catalogue.h"
#include "browser/command_dispatch.h"
#include "browser/navigator.h"
#include "browser/platform_helpers.h"
#include "common/reply_forms.h"
#include "common/text.h"
#include "engine/error_page.h"
#include "platform/translate.h"

namespace browser {

namespace {

using common::Format;

constexpr char kWelcomeFormat[] = "http://[kv]/%s:/%s:/";
constexpr char kWorkspace[] = "http://[wc]/";
constexpr char kRedirectEnd[] = "\n\n\n\n";
constexpr char kConfigurationKept[] =
    "The configuration database cannot be deleted: Corvane keeps its settings there.";
constexpr uint32_t kFullTextOptions = 200;
// The byte of a database's shared-memory file on which every connection
// holds a read lock for as long as it has the database open (the storage
// engine's "DMS" lock of its write-ahead log index).
constexpr off_t kOpenConnectionsLockByte = 128;

void Compact(engine::ThreadHandle& handle, platform::OpenDatabase& db) {
  if (!AskYesNo(handle, kCompactQuestion, kCompactTitle)) return;
  for (auto& view : db.viewRecords)
    if (view->index != 0) (void)VXIndexRefresh(view->index);
  std::string server = db.server, path = db.path;
  // Compaction rewrites the file: nothing of ours may hold it meanwhile.
  platform::ReleaseDatabaseHandles(handle);
  if (VXDatabaseCompact(server.c_str(), path.c_str()) != kVXOk)
    TellPlatformError(handle, kCompactErrorTitle);
  else
    (void)Tell(handle, kCompacted, kPellamTitle, os::Icon::kInformation);
  platform::ReleaseDatabaseHandles(handle);
}

bool IsConfigurationDatabase(const platform::OpenDatabase& db) {
  return strcasecmp(db.server.c_str(), platform::kLocalServer) == 0 &&
         strcasecmp(db.path.c_str(), platform::kConfigurationDatabase) == 0;
}

// True when the database was deleted.
bool Delete(engine::ThreadHandle& handle, platform::OpenDatabase& db) {
  if (!AskYesNo(handle, Format(kDeleteQuestionFormat, db.title.c_str()), kPellamTitle))
    return false;
  if (IsConfigurationDatabase(db)) {
    (void)Tell(handle, kConfigurationKept, kDeleteErrorTitle, os::Icon::kError);
    return false;
  }
  char file[kVXPathSize * 4] = {};
  (void)platform::wrap::VXDatabaseGetProperty(db.handle, kDbPropFileName, file, sizeof file);
  // Another program writing into a file we unlink would lose its work
  // without knowing it.
  if (OpenElsewhere(file)) {
    (void)Tell(handle, Format(kInUseElsewhereFormat, db.title.c_str()), kDeleteErrorTitle,
               os::Icon::kError);
    return false;
  }
  (void)VXDatabaseDeleteFTIndex(db.handle);
  std::string server = db.server, path = db.path;
  platform::ReleaseDatabaseHandles(handle);
  if (VXDatabaseDelete(server.c_str(), path.c_str()) != kVXOk) {
    TellPlatformError(handle, kDeleteErrorTitle);
    platform::ReleaseDatabaseHandles(handle);
    return false;
  }
  Catalogue catalogue;
  if (OpenCatalogue(handle, &catalogue)) {
    (void)EmptyCatalogue(catalogue.database->handle);
    (void)CreateServerDocument(catalogue.database->handle, platform::kLocalServer);
    (void)VXIndexRefresh(catalogue.view->index);
  }
  (void)Tell(handle, kDeleted, kPellamTitle, os::Icon::kInformation);
  platform::ReleaseDatabaseHandles(handle);
  return true;
}

// Line breaks would end the Location header early.
std::string OneLine(std::string text) {
  std::string out;
  for (char c : text)
    if (c != '\r' && c != '\n') out += c;
  return out;
}

struct Installer {
  Installer() { Handlers().maintenance = DatabaseMaintenance; }
} installer;

}  // namespace

void FullTextIndexDialog(engine::ThreadHandle& handle, VXHandle database) {
  if (AskYesNo(handle, kFullTextQuestion, kFullTextTitle)) {
    if (VXDatabaseCreateFTIndex(database, kFullTextOptions, 0, 0) == kVXOk)
      (void)Tell(handle, kFullTextDone, kFullTextTitle, os::Icon::kInformation);
    else
      TellPlatformError(handle, kFullTextErrorTitle);
    return;
  }
  if (!AskYesNo(handle, kFullTextDeleteQuestion, kFullTextTitle)) {
    (void)Tell(handle, kNoActionTaken, kPellamTitle, os::Icon::kInformation);
    return;
  }
  if (VXDatabaseDeleteFTIndex(database) == kVXOk)
    (void)Tell(handle, kFullTextDeleted, kFullTextTitle, os::Icon::kInformation);
  else
    TellPlatformError(handle, kFullTextDeleteErrorTitle);
}

bool OpenElsewhere(const std::string& file) {
  if (file.empty()) return false;
  int fd = ::open((file + "-shm").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;  // no connection anywhere has the log index open
  struct flock probe = {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  probe.l_start = kOpenConnectionsLockByte;
  probe.l_len = 1;
  // Locks of this process never conflict with its own probe: only other
  // processes are reported.
  bool held = ::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
  ::close(fd);
  return held;
}

int DatabaseMaintenance(const std::string& reply_path, engine::DatabaseRequest& request,
                        engine::ThreadHandle& handle) {
  std::FILE* reply = std::fopen(reply_path.c_str(), "w");
  if (reply == nullptr) return 0;
  platform::OpenDatabase* db = OpenRequestDatabase(handle, request);
  std::string action = request.argument1.value_or("");
  if (db == nullptr || db->handle == 0 || action.empty()) {
    engine::WriteErrorPage(reply, handle);
    std::fclose(reply);
    return 0;
  }
  std::string target =
      Format(kWelcomeFormat, request.server.value_or("").c_str(), db->path.c_str());
  switch (action[0]) {
    case 'C':
      Compact(handle, *db);
      break;
    case 'D':
      if (Delete(handle, *db)) target = kWorkspace;
      break;
    case 'F':
      FullTextIndexDialog(handle, db->handle);
      break;
    default:
      break;
  }
  std::string out = common::kReplyRedirectLfPrefix + OneLine(target) + kRedirectEnd;
  std::fwrite(out.data(), 1, out.size(), reply);
  std::fclose(reply);
  return 0;
}

}  // namespace browser
