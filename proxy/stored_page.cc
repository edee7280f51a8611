// Operations 21 and 23.
#include "proxy/stored_page.h"

#include <cstdio>

#include "browser/template_sources.h"
#include "common/html_escape.h"
#include "common/page_replica_format.h"
#include "common/reply_forms.h"
#include "common/text.h"
#include "engine/request_entry.h"
#include "os/desktop.h"
#include "platform/database_operation.h"
#include "platform/open_database.h"
#include "platform/translate.h"
#include "proxy/dashboard.h"
#include "proxy/replica_lookup.h"

namespace proxy {

namespace {

bool Write(const std::string& path, const char* mode, const std::string& text) {
  std::FILE* file = std::fopen(path.c_str(), mode);
  if (file == nullptr) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && ok;
}

// Whether the stored element goes out exactly as it was fetched: a Java
// class, or anything that is not HTML.
bool ServedAsStored(const std::string& key, std::string content_type) {
  size_t dot = key.rfind('.');
  if (dot != std::string::npos && common::StartsWithNoCase(key.substr(dot), ".class") &&
      key.size() - dot == 6) {
    return true;
  }
  common::LowerCaseInPlace(content_type);
  return content_type.find("text/html") == std::string::npos;
}

// The stored response of the element into the reply file; false when the
// document has no readable copy.
bool ExtractStoredCopy(platform::OpenDatabase& database, VXNoteId note,
                       const std::string& reply_path, std::string* content_type) {
  (void)browser::ReadDocumentItem(database.handle, note, common::kItemContentType, 0, content_type);
  VXHandle document = 0;
  if (VXDocumentOpen(database.handle, note, 0, &document) != kVXOk) return false;
  bool ok = platform::wrap::VXAttachmentExtract(document, common::kStoredResponse,
                                                reply_path.c_str(), 0) == kVXOk;
  VXDocumentClose(document, 0x20000);
  return ok;
}

int32_t ServeStoredPageOperation(engine::ThreadHandle& handle, const engine::OperationArgs& args) {
  const char* reply_path = reinterpret_cast<const char*>(args[0]);
  auto* request = reinterpret_cast<engine::ReplicaRequest*>(args[1]);
  if (reply_path == nullptr || request == nullptr) return -1;
  return ServeStoredPage(handle, reply_path, *request);
}

int32_t OfferStoredFormOperation(engine::ThreadHandle& handle, const engine::OperationArgs& args) {
  const char* reply_path = reinterpret_cast<const char*>(args[0]);
  auto* request = reinterpret_cast<engine::ReplicaRequest*>(args[1]);
  if (reply_path == nullptr || request == nullptr) return -1;
  return OfferStoredForm(handle, reply_path, *request);
}

}  // namespace

int32_t ServeStoredPage(engine::ThreadHandle& handle, const std::string& reply_path,
                        engine::ReplicaRequest& request) {
  engine::SharedContext& shared = *handle.shared;
  if (shared.openDatabases == nullptr)
    (void)platform::OpenDatabaseRecord(handle, platform::kLocalServer,
                                       platform::kConfigurationDatabase);
  platform::OpenDatabase* database =
      platform::OpenDatabaseRecord(handle, request.server, request.database);
  if (database != nullptr) shared.webDatabase = database;

  ElementMatch match;
  bool found = database != nullptr && FindElement(handle, *database, request.key, &match) &&
               match.count != 0;
  if (found) {
    platform::OpenDatabase* web = shared.webDatabase;
    if (os::KeyDown(os::Key::kCtrl) && web != nullptr && shared.lastView != nullptr) {
      Write(reply_path, "w", common::Format(kLivePageRedirectFormat, request.key.c_str()));
      return 1;
    }
    if (os::KeyDown(os::Key::kAlt) && web != nullptr) {
      platform::ViewRecord* last = shared.lastView;
      std::string view = last != nullptr && last->database == web ? last->name : kCategoryViewName;
      Write(reply_path, "w",
            common::Format(kCommentsRedirectFormat, web->server.c_str(), web->path.c_str(),
                           static_cast<long>(match.note), view.c_str()));
      return 1;
    }
    std::string content_type;
    if (ExtractStoredCopy(*database, match.note, reply_path, &content_type)) {
      if (!ServedAsStored(request.key, content_type))
        Write(reply_path, "a+", DashboardFragment(handle, request.url.c_str(), nullptr));
      return 1;
    }
  }
  std::string fragment = DashboardFragment(handle, request.url.c_str(), nullptr);
  if (found) {
    Write(reply_path, "w", common::Format(kNoStoredCopyPageFormat, fragment.c_str()));
  } else {
    Write(reply_path, "w",
          common::Format(kNotFavouritePageFormat, common::HtmlEscape(request.key).c_str(),
                         fragment.c_str()));
  }
  return 1;
}

int32_t OfferStoredForm(engine::ThreadHandle& handle, const std::string& reply_path,
                        engine::ReplicaRequest& request) {
  engine::SharedContext& shared = *handle.shared;
  std::string reply = common::kReplyNoContent;
  os::Answer answer = os::MessageBox(shared.mainWindow, kStoredFormQuestion, kQuestionTitle,
                                     os::Icon::kQuestion, os::Buttons::kYesNo);
  if (answer == os::Answer::kYes) {
    bool post = request.method.size() == 4 && common::StartsWithNoCase(request.method, "POST");
    std::string source = post && request.entry != nullptr ? request.entry->rawRequest : request.url;
    std::string target;
    int32_t result = platform::RunDatabaseOperation(
        handle, platform::kAddFavourite,
        {reinterpret_cast<intptr_t>(source.c_str()),
         reinterpret_cast<intptr_t>(request.method.c_str()), reinterpret_cast<intptr_t>(&target)});
    // Only a database URL leads somewhere; a header line ends at its line end.
    target = target.substr(0, target.find_first_of("\r\n"));
    if (result != -1 && common::StartsWithNoCase(target, "http://[kv]"))
      reply = common::Format(kStoredFormRedirectFormat, target.c_str());
  }
  Write(reply_path, "w", reply);
  return 1;
}

void InstallStoredPageOperations() {
  platform::SetDatabaseOperation(platform::kServeStoredPage, ServeStoredPageOperation);
  platform::SetDatabaseOperation(platform::kSubmitStoredForm, OfferStoredFormOperation);
}

}  // namespace proxy
