// The document pages: one document read, edited or composed, each as a
// frameset of two frames, a thin action frame above ("xA") and the page
// frame below ("xP"). The read page shows the document through its form;
// the edit and compose pages show the form with an input for every field,
// the submitting form itself coming from the "ET"/"CT" and "EB"/"CB"
// action templates. Every handler writes the whole reply and returns 1.
#pragma once

#include <optional>
#include <string>

#include "browser/rich_text_writers.h"
#include "engine/database_request.h"
#include "engine/thread_handle.h"
#include "ledra/vx_types.h"
#include "platform/open_database.h"

namespace browser {

inline constexpr char kFramesetStart[] =
    "<html>\n<frameset bordercolor=black border=1 rows=\"66,*\">";
inline constexpr char kActionFrameFormat[] =
    "<frame NAME=\"kvDocActionsFrame\" src=\"%s\" scrolling=auto marginwidth=10 marginheight=1 >\n";
inline constexpr char kDataFrameFormat[] =
    "<frame NAME=\"kvDocDataFrame\" src=\"%s\" scrolling=auto marginwidth=10 marginheight=4 >\n";
inline constexpr char kFramesetEnd[] = "</frameset></html>";
inline constexpr char kReadTitleFormat[] = "<HTML>\n<TITLE>%s:%s:%s</TITLE>\n";
inline constexpr char kFormTitleFormat[] = "<HTML>\n<HEAD>\n<TITLE>%s:%s:%s</TITLE>\n</HEAD>\n";
inline constexpr char kAttachmentsHeading[] = "<HR></CENTER><H3>Document Attachments:</H3><P>";
inline constexpr char kAttachmentFormat[] =
    "<A HREF=\"http://[kv]/%s:/%s:/A/%ld/dp/0/%s/{%s}/\"><IMG border=0 "
    "SRC=\"file://%s/images/attach.gif\">%s</A>  ";
inline constexpr char kParentUnidFormat[] =
    "\n<INPUT NAME=\"$$PARENTUNID\" TYPE=hidden VALUE=\"%s\">";
inline constexpr char kRefUnidFormat[] = "\n<INPUT NAME=\"$$REFUNID\" TYPE=hidden VALUE=\"%s\">";
inline constexpr char kResponseWithoutParent[] =
    "\nError:\n\nYou are composing a \"Response\" type document.  Please re-issue this command "
    "with an appropriate parent document selected.";
inline constexpr char kPreviewFrame[] = "kvViewBodyFrame";

// The handlers of the dispatcher's "D", "E" and "C" commands.
int DocumentFrameset(const std::string& reply_path, engine::DatabaseRequest& request,
                     engine::ThreadHandle& handle);
int ReadActionFrame(const std::string& reply_path, engine::DatabaseRequest& request,
                    engine::ThreadHandle& handle);
int ReadPage(const std::string& reply_path, engine::DatabaseRequest& request,
             engine::ThreadHandle& handle);
int EditActionFrame(const std::string& reply_path, engine::DatabaseRequest& request,
                    engine::ThreadHandle& handle);
int EditPage(const std::string& reply_path, engine::DatabaseRequest& request,
             engine::ThreadHandle& handle);
int ComposeActionFrame(const std::string& reply_path, engine::DatabaseRequest& request,
                       engine::ThreadHandle& handle);
int ComposePage(const std::string& reply_path, engine::DatabaseRequest& request,
                engine::ThreadHandle& handle);

// What the pages share (document_pages.cc).
namespace pages {

// The reply being built: the text, written into the reply file at the end
// or before the error page.
struct Reply {
  explicit Reply(const std::string& path);
  ~Reply();
  Reply(const Reply&) = delete;
  Reply& operator=(const Reply&) = delete;
  // Writes what was built, then the platform error page.
  void ErrorPage(engine::ThreadHandle& handle);
  std::string out;
  std::FILE* file = nullptr;
};

std::string Text(const std::optional<std::string>& field);

// The view of argument 4: by name or id; else the database's default
// view; else the first view listed. Null when there is none.
platform::ViewRecord* RequestView(engine::ThreadHandle& handle, platform::OpenDatabase& db,
                                  const std::string& reference);
// The note id at the view's stored position (its current line); 0 when
// there is none or the entry is a category.
VXNoteId NoteAtStoredPosition(platform::ViewRecord& view);
// The form to show a document with: its own, else (no such form) the
// database's default form. 0 when neither exists.
VXNoteId UsableForm(VXHandle database, VXNoteId form, VXDesignRecord* descriptor);
void DesignGuard(VXHandle database, int32_t value);
// The document action bar of that name, expanded into out.
void ActionBar(std::string* out, engine::ThreadHandle& handle, platform::OpenDatabase& db,
               platform::ViewRecord* view, engine::DatabaseRequest& request, VXNoteId form,
               VXNoteId note, const std::string& back, std::optional<std::string> target,
               const std::string& second_target, const std::string& name);
// The form page of the edit and compose pages.
void FormPage(std::string* out, engine::ThreadHandle& handle, platform::OpenDatabase& db,
              platform::ViewRecord* view, engine::DatabaseRequest& request, VXHandle document,
              VXNoteId form, VXNoteId note, const VXUnid* reference, RenderMode mode);

}  // namespace pages
}  // namespace browser
