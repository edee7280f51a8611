// The frameset of a view and the built-in command panel.
#include <cstdio>

#include "browser/action_context.h"
#include "browser/template_sources.h"
#include "browser/view_command.h"
#include "browser/view_sets.h"
#include "common/html_escape.h"
#include "common/reply_forms.h"
#include "common/text.h"
#include "platform/name_lists.h"

namespace browser {

namespace {

using common::Format;

std::string FrameUrl(const ViewRequest& v, const std::string& subcommand) {
  return Format("http://[kv]/%s:/%s:/%s/%s/%s/%s", v.html.server.c_str(), v.html.database.c_str(),
                v.html.command.c_str(), v.html.argument1.c_str(),
                common::HtmlEscape(subcommand).c_str(), v.html.argument3.c_str());
}

std::string CommandFrame(const ViewRequest& v) {
  return Format("<frame NAME=\"kvViewCommandFrame\" src=\"%s\" scrolling=auto marginheight=1 >\n",
                FrameUrl(v, "M").c_str());
}

// A name for a JavaScript string in a double-quoted attribute: every "'"
// written "\'" and every backslash doubled (a trailing one would swallow
// the closing quote), then escaped for the attribute.
std::string QuoteEscaped(const std::string& name) {
  std::string out;
  for (char c : name) {
    if (c == '\'' || c == '\\') out += '\\';
    out += c;
  }
  return common::HtmlEscapeText(out);
}

constexpr char kPanelStart[] =
    "<HTML><BODY LINK=blue VLINK=blue ALINK=blue BGCOLOR=\"#FFFFFF\">"
    "<script language=JavaScript>\nfunction kvJS_Over(msg){window.status=msg; return true;}\n"
    "function kvJS_Out(){window.status='';return true}\n</script><PRE>";
constexpr char kPanelEnd[] = "\n\n</pre></BODY></HTML>\n";

// The toggle of a section: "x%do" while closed, "x%dc" while open. The
// sections below the first carry an anchor named like their own
// sub-command and a fragment naming the other one.
std::string SectionToggle(const ViewRequest& v, int section, const char* title) {
  bool open = Page().sectionOpen[section] != 0;
  std::string own = Format("x%d%c", section, open ? 'c' : 'o');
  std::string other = Format("x%d%c", section, open ? 'o' : 'c');
  std::string name, fragment;
  if (section != 1) {
    name = Format(" NAME=\"%s\"", own.c_str());
    fragment = "#" + other;
  }
  const char* mouse = open ? "Click to COLLAPSE" : "Click to EXPAND";
  const char* image = open ? "smopentw.gif" : "smclsdtw.gif";
  return Format(
      "\n<A TARGET=\"kvViewCommandFrame\"%s HREF=\"http://[kv]/%s:/%s:/V/%ld/%s/%s\" "
      "OnMouseOut=\"return kvJS_Out();\" OnMouseOver=\"return kvJS_Over('%s');\">"
      "<IMG BORDER=0 SRC=\"file://%s/images/%s\" ALT=\"%s\"></A> %s",
      name.c_str(), v.html.server.c_str(), v.html.database.c_str(),
      static_cast<long>(v.view.viewId), own.c_str(), fragment.c_str(), mouse,
      v.handle.shared->programDirUrl.c_str(), image, mouse, title);
}

std::string Button(const ViewRequest& v, const char* target, const std::string& url,
                   const char* label, const char* alt, const char* image_attributes = "") {
  return Format(
      "\n <A TARGET=\"%s\" HREF=\"%s\" OnMouseOut=\"return kvJS_Out();\" OnMouseOver=\"return "
      "kvJS_Over('%s');\">"
      "<IMG BORDER=0%s SRC=\"file://%s/images/smbutton.gif\" ALT=\"%s\"> %s</A>",
      target, url.c_str(), label, image_attributes, v.handle.shared->programDirUrl.c_str(), alt,
      label);
}

const char* MailIcon(uint16_t mail_class) {
  switch (mail_class) {
    case 1:
      return "%c_inbox.gif";
    case 2:
      return "%c_drafts.gif";
    case 3:
      return "%c_sent.gif";
    case 4:
      return "%c_all.gif";
    case 5:
      return "%c_todo.gif";
    case 6:
      return "%c_trash.gif";
    default:
      return "%c_magnif.gif";
  }
}

}  // namespace

void WriteFrameset(ViewRequest& v) {
  ActionContext context = MakeActionContext(
      v.handle, &v.db, &v.view, &v.request, 0, 0, v.db.navigatorForm, 0, std::nullopt, std::nullopt,
      std::nullopt, std::string("kvViewBodyFrame"), v.documentTarget);
  if (ViewActionBar(&v.out, context, 'L')) return;
  v.out += common::kReplyPageOk;
  v.out += Format("<HTML>\n<HEAD>\n<TITLE>%s:%s:%s</TITLE>\n</HEAD>", v.html.server.c_str(),
                  common::HtmlEscapeText(Page().databaseTitle).c_str(),
                  common::HtmlEscapeText(v.view.name).c_str());
  int32_t size = Page().navigatorSize;
  int32_t orientation = v.db.navigatorOrientation;
  const char* dimension = orientation == 1 || orientation == 2 ? "cols" : "rows";
  if (size != 0) {
    if (orientation == 1 || orientation == 3) {
      if (size < 1)
        v.out += Format("<frameset bordercolor=black border=2 %s=\"%d,*\"> \n", dimension, -size);
      else
        v.out += Format("<frameset bordercolor=black border=2 %s=\"%d%%,%d%%\">  \n", dimension,
                        size, 100 - size);
      v.out += CommandFrame(v);
    } else {
      if (size < 1)
        v.out += Format("<frameset bordercolor=black border=2 %s=\"*,%d\"> \n", dimension, -size);
      else
        v.out += Format("<frameset bordercolor=black border=2 %s=\"%d%%,%d%%\"> \n", dimension,
                        100 - size, size);
    }
  }
  bool search = v.view.searchBar != 0, preview = v.view.preview != 0;
  const char* rows = search ? (preview ? "40,28,*,*" : "40,28,*") : (preview ? "28,*,*" : "28,*");
  v.out += Format("<frameset bordercolor=black border=2 rows=\"%s\"> \n", rows);
  if (search)
    v.out += Format("<frame NAME=\"kvViewSearchFrame\" src=\"%s\" scrolling=no marginheight=1 >\n",
                    FrameUrl(v, "F").c_str());
  v.out += Format("<frame NAME=\"kvViewHeaderFrame\" src=\"%s\" scrolling=no marginheight=1 >\n",
                  FrameUrl(v, "H").c_str());
  std::string body = v.argument2.empty() ? "" : v.argument2.substr(1);
  v.out += Format("<frame NAME=\"kvViewBodyFrame\" src=\"%s\" marginheight=1>\n",
                  FrameUrl(v, body).c_str());
  if (preview)
    v.out += Format("<frame NAME=\"kvDocumentFrame\" SRC=\"file://%s/images/nocheck.gif\" >\n",
                    v.handle.shared->programDirUrl.c_str());
  v.out += "</frameset>\n";
  if (size != 0 && (orientation == 2 || orientation == 4)) v.out += CommandFrame(v);
  v.out += "</frameset>\n</HTML>\n";
}

void WriteCommandPanel(ViewRequest& v) {
  if (Page().navigatorSize == 0) return;
  ActionContext context = MakeActionContext(
      v.handle, &v.db, &v.view, &v.request, 0, 0, v.db.navigatorForm, 0, std::nullopt, std::nullopt,
      std::nullopt, std::string("kvViewBodyFrame"), v.documentTarget);
  if (CommandPanel(&v.out, context)) return;
  const char* srv = v.html.server.c_str();
  const char* db = v.html.database.c_str();
  long id = static_cast<long>(v.view.viewId);
  const std::string& dir = v.handle.shared->programDirUrl;
  v.out += common::kReplyPageOk;
  v.out += kPanelStart;

  v.out += SectionToggle(v, 1, "Dashboard");
  if (Page().sectionOpen[1] != 0) {
    v.out += Button(v, "_parent", "http://[wc]/", "Workspace", "Workspace");
    v.out +=
        Button(v, "_parent", Format("http://[wc]/F/?http://[kv]/%s:/%s:/V/%ld/LR/", srv, db, id),
               "Add Favorite", "New Favorite");
    v.out += Button(v, "_parent", "http://[kv]/Local:/kvhelp.ldf:/n/Contents", "Help", "Help");
    v.out += Button(v, "_parent", Format("http://[kv]/%s:/%s:/", srv, db), "Database Welcome",
                    "Database Welcome");
    if (v.db.navigatorForm != 0)
      v.out +=
          Button(v, "_parent",
                 Format("http://[kv]/%s:/%s:/n/CORVANE_NAVIGATORS_ENABLEMENT_TOGGLE/", srv, db),
                 "Enable Navigators", "Enable Navigators", " WIDTH=26");
  }

  v.out += SectionToggle(v, 2, "Views ");
  if (Page().sectionOpen[2] != 0) {
    std::string name;
    VXNoteId view_id = 0;
    uint16_t mail_class = 0;
    for (int start = 1; platform::NextName(v.db, platform::NameListKind::kViews, start, &name,
                                           &view_id, &mail_class) == 0;
         start = 0) {
      bool shown = view_id == v.view.viewId;
      std::string escaped = QuoteEscaped(name);
      v.out += Format(
          "\n <A TARGET=\"_parent\" OnMouseOut=\"return kvJS_Out();\" OnMouseOver=\"return "
          "kvJS_Over('%s');\" "
          "HREF=\"http://[kv]/%s:/%s:/V/%ld/LR/\">",
          escaped.c_str(), srv, db, static_cast<long>(view_id));
      std::string icon = Format(MailIcon(mail_class), shown ? 'g' : 'y');
      std::string text = common::HtmlEscapeText(name);
      v.out += Format("<IMG BORDER=0 SRC=\"file://%s/images/%s\" ALT=\"%s\"> ", dir.c_str(),
                      icon.c_str(), text.c_str());
      v.out += Format(shown ? "<B>%s</B></A>" : "%s</A>", text.c_str());
    }
  }

  v.out += SectionToggle(v, 3, "Edit View ");
  if (Page().sectionOpen[3] != 0) {
    auto body = [&](const char* sub) {
      return Format("http://[kv]/%s:/%s:/V/%ld/%s/", srv, db, id, sub);
    };
    v.out += Button(v, "kvViewBodyFrame", body("XL"), "Change Page Length", "Change Page Length");
    v.out += Button(v, "kvViewBodyFrame", body("SA"), "Select/Deselect All", "Select All");
    v.out += Button(v, "kvViewBodyFrame", body("C"), "Categorize", "Categorize");
    v.out += Button(v, "kvViewBodyFrame", body("vX"), "Cut", "Cut");
    v.out += Button(v, "kvViewBodyFrame", body("vC"), "Copy", "Copy");
    v.out += Button(v, "kvViewBodyFrame", body("vP"), "Paste", "Paste");
    v.out += Button(v, "kvViewBodyFrame", body("D"), "To/From Trash", "To/From Trash");
    v.out += Button(v, "kvViewBodyFrame", body("DE"), "Empty Trash", "Empty Trash");
    std::string bar = Format("Search Bar %s", v.view.searchBar != 0 ? "Off" : "On");
    v.out += Button(v, "_parent", body("Fr"), bar.c_str(), bar.c_str());
    std::string preview = Format("Preview Document %s", v.view.preview != 0 ? "Off" : "On");
    v.out += Button(v, "_parent", body("lr"), preview.c_str(), preview.c_str());
  }

  v.out += SectionToggle(v, 5, "Compose ");
  if (Page().sectionOpen[5] != 0) {
    std::string name;
    VXNoteId form_id = 0;
    uint16_t mail_class = 0;
    for (int start = 1; platform::NextName(v.db, platform::NameListKind::kForms, start, &name,
                                           &form_id, &mail_class) == 0;
         start = 0) {
      std::string escaped = QuoteEscaped(name);
      v.out += Format(
          "\n <A OnMouseOut=\"return kvJS_Out();\" OnMouseOver=\"return kvJS_Over('%s');\" "
          "TARGET=\"%s\" "
          "HREF=\"http://[kv]/%s:/%s:/C/%ld/LR/%s/%ld/\">",
          escaped.c_str(), v.documentTarget.c_str(), srv, db, static_cast<long>(form_id), "c", id);
      std::string text = common::HtmlEscapeText(name);
      v.out += Format("<IMG BORDER=0 SRC=\"file://%s/images/compose.gif\" ALT=\"%s\"> %s</A>",
                      dir.c_str(), text.c_str(), text.c_str());
    }
  }
  v.out += kPanelEnd;
}

}  // namespace browser
