// Answers for [kv] requests that got no reply.
#include "browser/empty_reply.h"

#include <strings.h>
#include <sys/stat.h>

#include <cstdio>
#include <vector>

#include "browser/command_dispatch.h"
#include "common/html_escape.h"
#include "engine/helpful_page.h"
#include "engine/hooks.h"
#include "engine/url_mapping.h"
#include "platform/name_lists.h"
#include "platform/open_database.h"

namespace browser {

namespace {

using engine::PageLink;

std::string Text(const std::optional<std::string>& field) {
  return field.value_or("");
}

std::string Escaped(const std::string& text) {
  return common::HtmlEscape(text);
}

// The databases that come with corvex, on the server "Local".
struct Shipped {
  const char* path;
  const char* title;
};
constexpr Shipped kShipped[] = {
    {"kvhelp.ldf", "Corvane Help"},
    {"Samples/discuss.ldf", "Sample Discussion"},
    {"Replicas.Web/kvwebrs.ldf", "My Web Page Replicas"},
    {"kvconfig.ldf", "Corvane Configuration"},
};
constexpr char kHelpNavigator[] = "http://[kv]/Local:/kvhelp.ldf:/n/Contents";

constexpr char kStartTitle[] = "Databases on this computer";
constexpr char kStartWhat[] =
    "Open a view of one of the databases that come with Corvane. (The full catalogue of Ledra "
    "servers and databases is not built yet in this version.)";
constexpr char kServerTitle[] = "The list of databases of a server is not built yet";
constexpr char kServerWhat[] = "corvex cannot list the databases of server <code>%s</code> yet.";
constexpr char kWelcomeTitle[] = "The welcome page of a database is not built yet";
constexpr char kWelcomeWhat[] = "Here are the views of <b>%s</b> (<code>%s</code>) instead.";
constexpr char kNoDatabaseTitle[] = "This database cannot be opened";
constexpr char kNoDatabaseWhat[] =
    "corvex could not open the database <code>%s</code> on server <code>%s</code>.";
constexpr char kNoViewTitle[] = "No such view";
constexpr char kNoViewWhat[] =
    "The database <b>%s</b> has no view or folder named <code>%s</code>. Its views are:";
constexpr char kUnknownTitle[] = "Unknown command";
constexpr char kUnknownWhat[] = "corvex knows no database command <code>%s</code>.";
constexpr char kMethodTitle[] = "Not a request corvex answers";
constexpr char kMethodWhat[] =
    "corvex answers <code>GET</code> for pages and <code>POST</code> for forms, not "
    "<code>%s</code> to this address.";
constexpr char kNotBuiltWhat[] = "This version of corvex does not do this yet (<code>%s</code>).";
constexpr char kGoBack[] = "Back to where you came from";

struct Feature {
  char letter;
  bool submit;
  const char* title;
};
constexpr Feature kFeatures[] = {
    {'D', false, "Reading documents is not built yet"},
    {'E', false, "Editing documents is not built yet"},
    {'C', false, "Composing documents is not built yet"},
    {'A', false, "Attachments are not built yet"},
    {'?', false, "Database maintenance is not built yet"},
    {'C', true, "Saving new documents is not built yet"},
    {'E', true, "Saving documents is not built yet"},
};

std::string Fill(const char* format, const std::string& first, const std::string& second = "") {
  std::string text(format);
  size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, Escaped(first));
  at = text.find("%s", at == std::string::npos ? 0 : at + Escaped(first).size());
  if (at != std::string::npos) text.replace(at, 2, Escaped(second));
  return text;
}

// The views and folders of an open database as links to their framesets.
std::vector<PageLink> ViewLinks(platform::OpenDatabase& database) {
  std::vector<PageLink> links;
  std::string name;
  VXNoteId id = 0;
  uint16_t mail_class = 0;
  uint32_t status =
      platform::NextName(database, platform::NameListKind::kViews, 1, &name, &id, &mail_class);
  while (status == 0) {
    links.push_back({"http://[kv]/" + database.server + ":/" + database.path + ":/V/" +
                         std::to_string(id) + "/LR/",
                     name});
    status =
        platform::NextName(database, platform::NameListKind::kViews, 0, &name, &id, &mail_class);
  }
  return links;
}

std::string DatabaseSection(const std::string& title, const std::vector<PageLink>& links) {
  return "<h2>" + Escaped(title) + "</h2>\n" + engine::LinkList(links);
}

// The start page: the shipped databases that open, each with its views.
std::string StartPage(engine::ThreadHandle& handle) {
  std::string sections;
  for (const Shipped& shipped : kShipped) {
    platform::OpenDatabase* database =
        platform::OpenDatabaseRecord(handle, platform::kLocalServer, shipped.path);
    if (database == nullptr) continue;
    std::vector<PageLink> links = ViewLinks(*database);
    if (std::string(shipped.path) == "kvhelp.ldf")
      links.insert(links.begin(), {kHelpNavigator, "Contents (the help navigator)"});
    std::string title = database->title.empty() ? shipped.title : database->title;
    sections += DatabaseSection(title + " \xE2\x80\x94 " + shipped.path, links);
  }
  return engine::HelpfulReply("HTTP/1.0 200 OK", kStartTitle, kStartWhat, {}, sections);
}

std::vector<PageLink> TriesFor(const engine::DatabaseRequest& request) {
  std::vector<PageLink> tries;
  if (request.returnUrl && request.returnUrl->rfind("http://", 0) == 0)
    tries.push_back({*request.returnUrl, kGoBack});
  for (PageLink& link : engine::StartingPoints()) tries.push_back(std::move(link));
  return tries;
}

std::string CannotOpen(const engine::DatabaseRequest& request, engine::ThreadHandle& handle) {
  std::string what = Fill(kNoDatabaseWhat, Text(request.database), Text(request.server));
  if (engine::Hooks().platformErrorText != nullptr) {
    std::string error = engine::Hooks().platformErrorText(handle);
    if (!error.empty()) what += " (" + Escaped(error) + ")";
  }
  return engine::HelpfulReply(engine::kStatusNotFound, kNoDatabaseTitle, what, TriesFor(request));
}

bool MethodIs(const engine::DatabaseRequest& request, const char* name) {
  return request.method && strcasecmp(request.method->c_str(), name) == 0;
}

// A handler of the table that does not exist yet: what it is, or none.
const Feature* MissingFeature(const engine::DatabaseRequest& request) {
  bool submit = MethodIs(request, "POST") || MethodIs(request, "PUT");
  if (!request.command || request.command->empty()) return nullptr;
  char letter = (*request.command)[0];
  for (const Feature& feature : kFeatures)
    if (feature.letter == letter && feature.submit == submit) return &feature;
  return nullptr;
}

std::string NotHandled(engine::DatabaseRequest& request, engine::ThreadHandle& handle) {
  bool get = MethodIs(request, "GET");
  bool submit = MethodIs(request, "POST") || MethodIs(request, "PUT");
  if (!get && !submit) {
    return engine::HelpfulReply(engine::kStatusBadRequest, kMethodTitle,
                                Fill(kMethodWhat, Text(request.method)), TriesFor(request));
  }
  bool has_server = request.server && !request.server->empty();
  bool has_database = request.database && !request.database->empty();
  bool has_command = request.command && !request.command->empty();
  const KvHandlers& handlers = Handlers();
  if (get && !has_server && handlers.serverCatalogue == nullptr) return StartPage(handle);
  if (get && !has_database && handlers.databaseCatalogue == nullptr) {
    return engine::HelpfulReply(engine::kStatusNotBuilt, kServerTitle,
                                Fill(kServerWhat, Text(request.server)), TriesFor(request));
  }
  if (get && has_database && !has_command) {
    platform::OpenDatabase* database =
        platform::OpenDatabaseRecord(handle, Text(request.server), Text(request.database));
    if (database == nullptr) return CannotOpen(request, handle);
    return engine::HelpfulReply(engine::kStatusNotBuilt, kWelcomeTitle,
                                Fill(kWelcomeWhat, database->title, database->path),
                                TriesFor(request), engine::LinkList(ViewLinks(*database)));
  }
  if (const Feature* feature = MissingFeature(request)) {
    return engine::HelpfulReply(engine::kStatusNotBuilt, feature->title,
                                Fill(kNotBuiltWhat, Text(request.url)), TriesFor(request));
  }
  if (has_command) {
    return engine::HelpfulReply(engine::kStatusNotFound, kUnknownTitle,
                                Fill(kUnknownWhat, Text(request.command)), TriesFor(request));
  }
  return "";
}

// An empty reply from a handler that ran.
std::string Handled(engine::DatabaseRequest& request, engine::ThreadHandle& handle) {
  std::string command = Text(request.command);
  if (command.empty() || (command[0] != 'V' && command[0] != 'n'))
    return std::string(engine::kStatusNoContent) + "\r\n\r\n";
  platform::OpenDatabase* database =
      platform::OpenDatabaseRecord(handle, Text(request.server), Text(request.database));
  if (database == nullptr) return CannotOpen(request, handle);
  if (command[0] == 'V') {
    std::string view = Text(request.argument1);
    if (platform::LocateViewOrFolder(database->handle, view) == 0 &&
        platform::ViewIdFromText(database->handle, view) == 0) {
      std::string title = database->title.empty() ? database->path : database->title;
      return engine::HelpfulReply(engine::kStatusNotFound, kNoViewTitle,
                                  Fill(kNoViewWhat, title, view), TriesFor(request),
                                  engine::LinkList(ViewLinks(*database)));
    }
  }
  return std::string(engine::kStatusNoContent) + "\r\n\r\n";
}

}  // namespace

std::string EmptyReplyText(engine::DatabaseRequest& request, engine::ThreadHandle& handle,
                           int result) {
  return result == kNotHandled ? NotHandled(request, handle) : Handled(request, handle);
}

void ExplainEmptyReply(const std::string& reply_path, engine::DatabaseRequest& request,
                       engine::ThreadHandle& handle, int result) {
  if (engine::ClassicUrls()) return;
  struct stat status {};
  // A handler that wrote nothing may not have made the file at all: reply
  // files are named for a request, not created, before it is served.
  if (::stat(reply_path.c_str(), &status) == 0 && status.st_size != 0) return;
  std::string reply = EmptyReplyText(request, handle, result);
  if (reply.empty()) return;
  if (std::FILE* file = std::fopen(reply_path.c_str(), "wb")) {
    std::fwrite(reply.data(), 1, reply.size(), file);
    std::fclose(file);
  }
}

}  // namespace browser
