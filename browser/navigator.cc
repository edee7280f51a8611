// Navigators and the "n" command.
#include "browser/navigator.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>

#include "browser/action_context.h"
#include "browser/command_dispatch.h"
#include "browser/template_sources.h"
#include "common/html_escape.h"
#include "common/reply_forms.h"
#include "common/text.h"
#include "platform/name_lists.h"
#include "platform/translate.h"

namespace browser {

namespace {

constexpr char kNavigatorFormFormat[] = "Corvane Navigator: %s";
constexpr char kDefaultNavigatorForm[] = "Corvane Navigator: Default";
constexpr char kViewRedirectFormat[] = "http://[kv]/%s:/%s:/V/%ld/LR/\n\n\n";

std::string Text(const std::optional<std::string>& field) {
  return field.value_or("");
}

bool ReadNumber(VXHandle database, VXNoteId form, const char* item, int32_t* number) {
  std::string text;
  if (!ReadFormItem(database, form, item, &text) || text.empty()) return false;
  *number = static_cast<int32_t>(std::strtol(text.c_str(), nullptr, 10));
  return true;
}

// Whether the navigator form's ViewName names this view.
bool NamesView(platform::OpenDatabase& database, VXNoteId form, const platform::ViewRecord& view) {
  std::string view_name;
  if (!ReadFormItem(database.handle, form, "ViewName", &view_name) || view_name.empty())
    return false;
  if (strcasecmp(view_name.c_str(), view.name.c_str()) == 0) return true;
  return platform::LocateViewOrFolder(database.handle, view_name) == view.viewId;
}

void WriteFile(const std::string& path, const std::string& text) {
  std::FILE* reply = std::fopen(path.c_str(), "w");
  if (reply == nullptr) return;
  std::fwrite(text.data(), 1, text.size(), reply);
  std::fclose(reply);
}

// Installs the navigator functions in the access layer and the "n" command
// in the dispatcher when the program starts.
void SetDefaultNavigator(engine::ThreadHandle&, platform::OpenDatabase& database) {
  SetNavigator(database, "");
}

struct Installer {
  Installer() {
    platform::Navigators().setDefaultNavigator = SetDefaultNavigator;
    platform::Navigators().chooseViewNavigator = ChooseViewNavigator;
    Handlers().navigator = NavigatorCommand;
  }
} installer;

}  // namespace

platform::OpenDatabase* OpenRequestDatabase(engine::ThreadHandle& handle,
                                            const engine::DatabaseRequest& request) {
  return platform::OpenDatabaseRecord(handle, Text(request.server), Text(request.database));
}

void SetNavigator(platform::OpenDatabase& database, const std::string& name) {
  if (database.navigatorForm == -1) return;
  std::string form_name = kDefaultNavigatorForm;
  if (!name.empty()) {
    char text[512];
    std::snprintf(text, sizeof text, kNavigatorFormFormat, name.c_str());
    form_name = text;
  }
  VXNoteId form = platform::wrap::VXFormLocateByName(database.handle, form_name.c_str());
  database.navigatorForm = static_cast<int32_t>(form);
  database.navigatorSize = kDefaultNavigatorSize;
  database.navigatorOrientation = kDefaultNavigatorOrientation;
  if (form == 0) return;
  int32_t number = 0;
  if (ReadNumber(database.handle, form, "PercentSize", &number)) database.navigatorSize = number;
  if (ReadNumber(database.handle, form, "Orientation", &number))
    database.navigatorOrientation = number;
}

int ChooseViewNavigator(engine::ThreadHandle&, platform::OpenDatabase& database,
                        platform::ViewRecord& view) {
  if (database.navigatorForm == -1) return 0;
  int32_t guard_off = 1;
  (void)VXDatabaseSetProperty(database.handle, 3, &guard_off);
  if (database.navigatorForm != 0) {
    if (NamesView(database, static_cast<VXNoteId>(database.navigatorForm), view)) return 1;
    database.navigatorForm = 0;
  }
  VXNoteId candidate = 0;
  std::string candidate_name;
  VXDesignRecord record;
  for (uint32_t code = kVXListFirst;
       platform::wrap::VXFormList(database.handle, code, &record) == kVXOk; code = kVXListNext) {
    if (record.hidden == 0) continue;
    std::string name = platform::WithoutChars(platform::DisplayName(record), "_$");
    if (!common::StartsWithNoCase(name, kNavigatorPrefix)) continue;
    if (!NamesView(database, record.note_id, view)) continue;
    candidate = record.note_id;
    candidate_name = name;
    std::string mark;
    if (ReadFormItem(database.handle, record.note_id, "Corvane_DefaultNav_ForView", &mark) &&
        mark == "Default")
      break;
  }
  if (candidate == 0) return 0;
  // The navigator's own name: the first word after the prefix.
  char own[256] = {};
  (void)std::sscanf(candidate_name.c_str() + sizeof kNavigatorPrefix - 1, " %255s", own);
  std::string flag;
  if (ReadFormItem(database.handle, candidate, "Document_Preview_On", &flag) && flag == "On")
    view.preview = 1;
  if (ReadFormItem(database.handle, candidate, "Search_Bar_On", &flag) && flag == "On")
    view.searchBar = 1;
  SetNavigator(database, own);
  return 1;
}

int NavigatorCommand(const std::string& reply_path, engine::DatabaseRequest& request,
                     engine::ThreadHandle& handle) {
  platform::OpenDatabase* db = OpenRequestDatabase(handle, request);
  if (db == nullptr) {
    WriteFile(reply_path, "");
    return 1;
  }
  std::string name = Text(request.argument1);
  if (strcasecmp(name.c_str(), kNavigatorToggle) == 0) {
    if (db->navigatorForm == -1) {
      db->navigatorForm = 0;
    } else {
      db->navigatorForm = -1;
      db->navigatorSize = kDefaultNavigatorSize;
      db->navigatorOrientation = kDefaultNavigatorOrientation;
    }
    name.clear();
  }
  if (db->navigatorForm == -1) {
    KvHandler welcome = Handlers().databaseWelcome;
    if (welcome != nullptr) return welcome(reply_path, request, handle);
    WriteFile(reply_path, "");
    return 1;
  }
  SetNavigator(*db, name);
  if (db->navigatorForm != 0) {
    VXNoteId form = static_cast<VXNoteId>(db->navigatorForm);
    std::string view_name;
    VXNoteId view = 0;
    if (ReadFormItem(db->handle, form, "ViewName", &view_name) && !view_name.empty())
      view = platform::LocateViewOrFolder(db->handle, view_name);
    if (db->navigatorSize <= 99 && view != 0) {
      char location[2048];
      std::snprintf(location, sizeof location, kViewRedirectFormat, db->server.c_str(),
                    db->path.c_str(), static_cast<long>(view));
      WriteFile(reply_path, std::string(common::kReplyRedirectLfPrefix) + location);
      return 1;
    }
    ActionContext context =
        MakeActionContext(handle, db, nullptr, &request, 0, 0, db->navigatorForm, 0, std::nullopt,
                          std::nullopt, std::nullopt, std::nullopt, std::nullopt);
    std::string page;
    (void)CommandPanel(&page, context);
    WriteFile(reply_path, page);
    return 1;
  }
  char text[1024];
  std::snprintf(text, sizeof text, kNoNavigatorFormat, common::HtmlEscape(name).c_str());
  WriteFile(reply_path, text);
  return 1;
}

}  // namespace browser
