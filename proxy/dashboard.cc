// The dashboard fragment and the dashboard frame.
#include "proxy/dashboard.h"

#include <fstream>
#include <sstream>

#include "browser/action_context.h"
#include "browser/template_expander.h"
#include "browser/welcome_page.h"
#include "common/html_escape.h"
#include "common/text.h"
#include "engine/changing_requests.h"
#include "platform/database_operation.h"
#include "proxy/replica_lookup.h"

namespace proxy {

namespace {

bool ReadTemplate(const engine::SharedContext& shared, const char* name, std::string* text) {
  std::ifstream file(shared.programDir + "/" + name, std::ios::binary);
  if (!file) return false;
  std::ostringstream whole;
  whole << file.rdbuf();
  *text = whole.str();
  return true;
}

// Where the acting links of a strip inside a live page lead: the page's
// dashboard frameset.
constexpr char kFramesetPrefix[] = "http://[wc]/D/F/";

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         common::StartsWithNoCase(text.substr(text.size() - suffix.size()), suffix);
}

// Expands a template for a page's URL. The expander escapes $WCTX_SelfURL
// itself; the key ($WCTX_GeneralArg1) and the target go in escaped.
std::string Expand(engine::ThreadHandle& handle, const std::string& text,
                   platform::OpenDatabase* database, VXNoteId note, const std::string& url,
                   const std::string& target) {
  browser::ActionContext context = browser::MakeActionContext(
      handle, database, nullptr, nullptr, 0, note, 0, 0, common::HtmlEscape(KeyOfUrl(url)),
      url, std::nullopt, std::nullopt, common::HtmlEscape(target));
  std::string out;
  browser::ExpandTemplate(context, text, &out);
  return out;
}

bool WriteFile(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  return static_cast<bool>(file);
}

int32_t DashboardTextOperation(engine::ThreadHandle& handle, const engine::OperationArgs& args) {
  auto* out = reinterpret_cast<std::string*>(args[2]);
  if (out == nullptr) return -1;
  *out = DashboardFragment(handle, reinterpret_cast<const char*>(args[0]),
                           reinterpret_cast<const char*>(args[1]));
  return 1;
}

int32_t DashboardFrameOperation(engine::ThreadHandle& handle, const engine::OperationArgs& args) {
  const char* argument = reinterpret_cast<const char*>(args[0]);
  const char* reply_path = reinterpret_cast<const char*>(args[1]);
  if (argument == nullptr || reply_path == nullptr) return -1;
  return DashboardFrame(handle, argument, reply_path);
}

}  // namespace

std::string DashboardFragment(engine::ThreadHandle& handle, const char* url_text,
                              const char* target_text) {
  engine::SharedContext& shared = *handle.shared;
  if (shared.dashboardState == 0) return "";
  std::string url = url_text != nullptr ? url_text : "";
  std::string target = target_text != nullptr ? target_text : kDefaultTarget;
  bool stored = IsStoredPageUrl(url);
  uint32_t mark = stored ? 1 : 0;
  VXNoteId note = 0;
  platform::OpenDatabase* web = shared.webDatabase;
  if (url.size() > 7 && !EndsWithNoCase(url, ".gif") && !EndsWithNoCase(url, ".jpg") &&
      web != nullptr) {
    ElementMatch match;
    std::string key = KeyOfUrl(url);
    if (FindElement(handle, *web, key, &match) && !key.empty()) {
      mark = match.count;
      note = match.note;
    }
  }
  const char* name = mark != 0 ? (stored ? kTemplateStoredFavourite : kTemplateLiveFavourite)
                               : kTemplateNotFavourite;
  std::string text;
  if (!ReadTemplate(shared, name, &text)) return "";
  std::string strip = Expand(handle, text, web, note, url, target);
  // Inside a live page (not in the dashboard frame, not a stored page).
  if (!stored && target == kDefaultTarget)
    strip = RouteActingLinks(strip, kFramesetPrefix + common::HtmlEscape(url));
  return strip;
}

std::string RouteActingLinks(std::string_view strip, std::string_view replacement) {
  static constexpr std::string_view kCommandHref = "href=\"http://[wc]/";
  std::string out;
  out.reserve(strip.size());
  size_t at = 0;
  for (size_t found = strip.find(kCommandHref); found != std::string_view::npos;
       found = strip.find(kCommandHref, found + 1)) {
    size_t letter = found + kCommandHref.size();
    size_t close = strip.find('"', letter);
    if (letter >= strip.size() || close == std::string_view::npos) break;
    char c = strip[letter];
    bool acting = c != '\0' && c != '"' &&
                  std::string_view(engine::kActingCommandLetters).find(c) != std::string_view::npos;
    if (!acting) continue;
    size_t value = found + 6;  // after href="
    out.append(strip.substr(at, value - at));
    out.append(replacement);
    at = close;
  }
  out.append(strip.substr(at));
  return out;
}

std::string DashboardFor(engine::ThreadHandle& handle, const std::string& url, const char* target) {
  std::string text;
  int32_t result = platform::RunDatabaseOperation(
      handle, platform::kDashboardText,
      {reinterpret_cast<intptr_t>(url.c_str()), reinterpret_cast<intptr_t>(target),
       reinterpret_cast<intptr_t>(&text)});
  return result == 1 ? text : "";
}

int32_t DashboardFrame(engine::ThreadHandle& handle, const std::string& argument,
                       const std::string& reply_path) {
  if (argument.empty()) return -1;
  std::string url = argument.size() > 2 ? argument.substr(2) : "";
  if (argument[0] == 'D') {
    std::string fragment = DashboardFragment(handle, url.c_str(), kFrameTarget);
    WriteFile(reply_path, common::Format(kDashboardFrameFormat, fragment.c_str()));
    return 0;
  }
  if (argument[0] == 'F') {
    std::string text;
    (void)ReadTemplate(*handle.shared, kTemplateFrameset, &text);
    WriteFile(reply_path, Expand(handle, text, nullptr, 0, url, kDefaultTarget));
    return 0;
  }
  return -1;
}

void InstallDashboardOperations() {
  platform::SetDatabaseOperation(platform::kDashboardText, DashboardTextOperation);
  // A database's welcome page ends with the same strip (it is written on
  // the platform thread).
  browser::Welcome().dashboard = [](engine::ThreadHandle& handle, const std::string& url) {
    return DashboardFragment(handle, url.c_str(), nullptr);
  };
  platform::SetDatabaseOperation(platform::kDashboardFrame, DashboardFrameOperation);
}

}  // namespace proxy
