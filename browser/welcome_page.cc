// The welcome page of a database.
#include "browser/welcome_page.h"

#include <strings.h>

#include <cstdio>

#include "browser/command_dispatch.h"
#include "browser/navigator.h"
#include "browser/rich_text_render.h"
#include "common/html_escape.h"
#include "common/reply_forms.h"
#include "common/text.h"
#include "engine/error_page.h"
#include "ledra/datetime.h"
#include "platform/name_lists.h"
#include "platform/translate.h"
#include "platform/translate_richtext.h"

namespace browser {

namespace {

using common::Format;
using common::HtmlEscape;

constexpr char kHeadFormat[] =
    "<HTML>\n<HEAD>\n<TITLE>Database %s on Ledra Server: %s</TITLE>\n</HEAD>";
constexpr char kBodyFormat[] = "<BODY BACKGROUND=\"file://%s/images/back1.jpg\">";
constexpr char kHeadingFormat[] = "<center><h2>Database \"%s\" on Server \"%s\"</h2>\n";
constexpr char kViewsStart[] = "<table border=2><tr valign=top><td><B>Views:</B>\n";
constexpr char kViewFormat[] =
    "<BR><IMG SRC=\"file://%s/images/%s\"> <A HREF=\"http://[kv]/%s:/%s:/V/%ld/LB/1\">%s</A>\n";
constexpr char kInformation[] =
    "</td><td><b>Information:</b>\n"
    "<br><a HREF=#about>About this database.</a>"
    "<br><a HREF=#using>Using this database.</a>"
    "<br><a HREF=#dashboard>Jump to dashboard.</a>"
    "<br><a HREF=\"http://[kv]/Local:/kvconfig.ldf:/V/Databases by Server/LR/\">Databases by "
    "Server.</a>"
    "<br><br><B>Statistics:</B>";
constexpr char kSizeFormat[] = "<br>Database size: <font color=green>%s</font>";
constexpr char kUsedFormat[] = "<br>Percent used: <font color=green>%s</font>";
constexpr char kModifiedFormat[] = "<br>Last data modification: <font color=green>%s</font>";
constexpr char kIndexedFormat[] = "<br>Full-text index updated: <font color=green>%s</font>";
constexpr char kManagementStart[] = "</td><tr><td colspan=2>";
constexpr char kManagementTitle[] = "<br><center><b>Database management:</b>";
constexpr char kFullTextLink[] =
    "<A OnMouseOut=\"window.status='';return true;\" OnMouseOver=\"window.status='Build, update, "
    "or delete full-text index for database. '; return true;\""
    "\nHREF=\"http://[kv]/%s:/%s:/?/FullText\"><IMG border=0 "
    "SRC=\"file://%s/images/cftindx.gif\"> Full Text Index </A> \n";
constexpr char kCompactLink[] =
    "<A OnMouseOut=\"window.status='';return true;\" OnMouseOver=\"window.status='Compact this "
    "database '; return true;\" "
    "\nHREF=\"http://[kv]/%s:/%s:/?/Compact\"><IMG border=0 "
    "SRC=\"file://%s/images/compdb.gif\"> Compact Database </A> \n";
constexpr char kDeleteLink[] =
    "<A OnMouseOut=\"window.status='';return true;\" OnMouseOver=\"window.status='COMPLETELY "
    "DELETE this database '; return true;\""
    "\nHREF=\"http://[kv]/%s:/%s:/?/Delete\"><IMG border=0 "
    "SRC=\"file://%s/images/deldb.gif\"> Delete Database </A> \n";
constexpr char kLocalOnlyNote[] =
    "<br><font color=gray>(management options only available for local databases)</font>";
constexpr char kRemoteNote[] =
    "<br><font color=gray>(Database management options only available for local "
    "databases)</font>";
constexpr char kTableEnd[] = "</td></tr></table></center>";
constexpr char kAboutHeading[] = "\n<hr><a NAME=\"about\"><H2>About this Database:</H2></a>\n";
constexpr char kUsingReset[] = "\n</B></I></U></FONT></center></OL></UL>\n";
constexpr char kUsingHeading[] = "\n<hr><a NAME=\"using\"><H2>Using this Database:</H2></a>\n";
constexpr char kDashboardAnchor[] = "\n<a NAME=\"dashboard\"> </a>\n";
constexpr char kNotAvailable[] = "n/a";
constexpr char kBodyItem[] = "$Body";
constexpr size_t kDateTextSize = 256;

const char* FolderIcon(uint16_t mail_class) {
  static const char* const kIcons[] = {"y_magnif.gif", "y_inbox.gif", "y_drafts.gif", "y_sent.gif",
                                       "y_all.gif",    "y_todo.gif",  "y_trash.gif"};
  return mail_class < 7 ? kIcons[mail_class] : kIcons[0];
}

std::string DateText(VXHandle database, uint32_t property) {
  ledra::Datetime value;
  if (VXDatabaseGetProperty(database, property, &value, sizeof value) != kVXOk) return "";
  char text[kDateTextSize] = {};
  if (VXConvert(kVXTypeDatetime, sizeof value, &value, kVXTypeText, sizeof text, text, nullptr) !=
      kVXOk)
    return "";
  return text;
}

void WriteStatistics(VXHandle database, std::string* out) {
  int64_t used = 0, free_bytes = 0;
  (void)VXDatabaseGetProperty(database, kDbPropBytesUsed, &used, sizeof used);
  (void)VXDatabaseGetProperty(database, kDbPropBytesFree, &free_bytes, sizeof free_bytes);
  int64_t total = used + free_bytes;
  *out += Format(kSizeFormat, Format("%ld Kbytes", static_cast<long>(total / 1000)).c_str());
  // An empty file (both 0) shows 0 % rather than a division by nothing.
  double percent = total > 0 ? static_cast<double>(used) * 100.0 / static_cast<double>(total) : 0;
  *out += Format(kUsedFormat, Format("%10.2f%%", percent).c_str());
  *out += Format(kModifiedFormat, HtmlEscape(DateText(database, kDbPropLastModified)).c_str());
  int32_t indexed = 0;
  (void)VXDatabaseGetProperty(database, kDbPropFtPresent, &indexed, sizeof indexed);
  std::string updated = indexed == 1 ? DateText(database, kDbPropFtUpdated) : kNotAvailable;
  *out += Format(kIndexedFormat, HtmlEscape(updated).c_str());
}

// The About (class 2) or Using (class 256) document's body, after its
// heading; nothing when the database has none.
void WriteHelpDocument(engine::ThreadHandle& handle, const engine::DatabaseRequest& request,
                       platform::OpenDatabase& database, uint32_t note_class, const char* heading,
                       std::string* out) {
  VXNoteId id = VXDocumentLocateByClass(database.handle, note_class);
  VXHandle document = 0;
  if (id == 0 || VXDocumentOpen(database.handle, id, kVXDocOpenReadOnly, &document) != kVXOk)
    return;
  if (note_class == kVXClassUsing) *out += kUsingReset;
  *out += heading;
  // The body with its formatting, links and images; its words alone when
  // the renderer cannot read it.
  std::string body;
  if (RenderDocumentItem(handle, request, document, kBodyItem, RenderMode::kRead, &body) == 0)
    *out += body;
  else
    RichTextAsPlainText(handle, database, document, kBodyItem, out);
  (void)VXDocumentClose(document, kVXCloseDiscard);
}

struct Installer {
  Installer() { Handlers().databaseWelcome = DatabaseWelcome; }
} installer;

}  // namespace

WelcomeParts& Welcome() {
  static WelcomeParts parts;
  return parts;
}

void RichTextAsPlainText(engine::ThreadHandle&, platform::OpenDatabase&, VXHandle document,
                         const std::string& item, std::string* out) {
  uint32_t length = 0;
  if (VXItemGetLength(document, item.c_str(), 0, &length) != kVXOk) return;
  VXHandle composite = 0;
  if (platform::wrap::VXCompositeCreate(document, item.c_str(), &composite) != kVXOk) return;
  // The words are never longer than the records that hold them.
  std::string text(size_t{length} * 3 + 1, '\0');
  uint32_t got = 0;
  if (platform::wrap::VXCompositeListText(composite, text.data(),
                                          static_cast<uint32_t>(text.size()), &got) == kVXOk) {
    text.resize(std::min<size_t>(got, text.size()));
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      *out += HtmlEscape(std::string_view(text).substr(start, end - start));
      *out += "<br>\n";
      start = end + 1;
    }
  }
  (void)VXCompositeClose(composite);
}

int DatabaseWelcome(const std::string& reply_path, engine::DatabaseRequest& request,
                    engine::ThreadHandle& handle) {
  std::FILE* reply = std::fopen(reply_path.c_str(), "w");
  if (reply == nullptr) return 0;
  platform::OpenDatabase* db = OpenRequestDatabase(handle, request);
  if (db == nullptr || db->handle == 0) {
    engine::WriteErrorPage(reply, handle);
    std::fclose(reply);
    return 0;
  }
  SetNavigator(*db, "");
  if (db->navigatorForm != 0 && db->navigatorForm != -1) {
    std::fclose(reply);
    return NavigatorCommand(reply_path, request, handle);
  }
  const std::string& dir = handle.shared->programDirUrl;
  std::string server = HtmlEscape(request.server.value_or(""));
  std::string path = HtmlEscape(db->path);
  std::string title = HtmlEscape(db->title);

  std::string out = common::kReplyPageOk;
  out += Format(kHeadFormat, title.c_str(), server.c_str());
  out += Format(kBodyFormat, dir.c_str());
  out += Format(kHeadingFormat, title.c_str(), server.c_str());
  out += kViewsStart;
  std::string name;
  VXNoteId id = 0;
  uint16_t mail_class = 0;
  for (int start = 1; platform::NextName(*db, platform::NameListKind::kViews, start, &name, &id,
                                         &mail_class) == kVXOk;
       start = 0) {
    out += Format(kViewFormat, dir.c_str(), FolderIcon(mail_class), server.c_str(), path.c_str(),
                  static_cast<long>(id), HtmlEscape(name).c_str());
  }
  out += kInformation;
  WriteStatistics(db->handle, &out);
  out += kManagementStart;
  if (strcasecmp(request.server.value_or("").c_str(), platform::kLocalServer) == 0) {
    out += kManagementTitle;
    out += Format(kFullTextLink, server.c_str(), path.c_str(), dir.c_str());
    out += Format(kCompactLink, server.c_str(), path.c_str(), dir.c_str());
    out += Format(kDeleteLink, server.c_str(), path.c_str(), dir.c_str());
    out += kLocalOnlyNote;
  } else {
    out += kRemoteNote;
  }
  out += kTableEnd;

  int32_t guard = 0;
  (void)VXDatabaseSetProperty(db->handle, kDbPropDesignGuard, &guard);
  WriteHelpDocument(handle, request, *db, kVXClassAbout, kAboutHeading, &out);
  WriteHelpDocument(handle, request, *db, kVXClassUsing, kUsingHeading, &out);
  guard = 1;
  (void)VXDatabaseSetProperty(db->handle, kDbPropDesignGuard, &guard);

  out += kDashboardAnchor;
  if (Welcome().dashboard != nullptr) out += Welcome().dashboard(handle, request.url.value_or(""));
  std::fwrite(out.data(), 1, out.size(), reply);
  std::fclose(reply);
  return 0;
}

}  // namespace browser
