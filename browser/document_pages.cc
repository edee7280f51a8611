// The document pages: frameset, read and edit pages and their action
// frames, and the form page shared with composing.
#include "browser/document_pages.h"

#include <algorithm>
#include <cstdio>

#include "browser/action_context.h"
#include "browser/command_dispatch.h"
#include "browser/document_ids.h"
#include "browser/navigator.h"
#include "browser/position_walk.h"
#include "browser/rich_text_render.h"
#include "browser/template_sources.h"
#include "common/html_escape.h"
#include "common/reply_forms.h"
#include "common/text.h"
#include "engine/error_page.h"
#include "platform/name_lists.h"
#include "platform/translate.h"
#include "platform/view_records.h"

namespace browser {

namespace {

using common::Format;
using common::HtmlEscape;
using pages::Reply;
using pages::Text;

constexpr char kFrameUrlFormat[] = "http://[kv]/%s:/%s:/%s%c/%s/%s/%s/%s/{%s}";
constexpr char kFrameUrlPlainFormat[] = "http://[kv]/%s:/%s:/%s%c/%s/%s/%s/%s/";
constexpr int kBackSteps = 6;

// Argument 3 as a position: "" when absent, empty or beginning with "0".
bool NamesPosition(const std::string& argument3) {
  return !argument3.empty() && argument3[0] != '0';
}

// The database path as URLs carry it: the request holds "\\" for "/".
std::string UrlPath(const engine::DatabaseRequest& request) {
  std::string path = Text(request.database);
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

std::string FrameUrl(const engine::DatabaseRequest& request, char letter) {
  // "D" or "DX": the letters before the page letter.
  std::string base = Text(request.command);
  const char* format = kFrameUrlPlainFormat;
  std::string back = Text(request.returnUrl);
  if (!back.empty()) format = kFrameUrlFormat;
  std::string url =
      Format(format, Text(request.server).c_str(), UrlPath(request).c_str(), base.c_str(), letter,
             Text(request.argument1).c_str(), Text(request.argument2).c_str(),
             Text(request.argument3).c_str(), Text(request.argument4).c_str(), back.c_str());
  return HtmlEscape(url);
}

// The back position: six entries before the stored position.
std::string BackPosition(platform::ViewRecord* view, const std::string& argument3) {
  if (view == nullptr || view->index == 0 || view->currentLine.empty())
    return PositionOnly(argument3);
  std::string here = CurrentPosition(view->index);
  std::string back = PositionOnly(argument3);
  if (SetPosition(view->index, view->currentLine)) {
    for (int i = 0; i < kBackSteps; ++i) {
      VXNoteId id = 0;
      if (VXIndexNavigate(view->index, 0, 2, &id, nullptr) != kVXOk) break;
    }
    back = CurrentPosition(view->index);
  }
  if (!here.empty()) (void)SetPosition(view->index, here);
  return back;
}

// A document found for the read pages and the edit frame.
struct Found {
  platform::OpenDatabase* db = nullptr;
  platform::ViewRecord* view = nullptr;
  VXNoteId note = 0;
  VXHandle document = 0;
  VXNoteId form = 0;
  std::string back;
  ~Found() {
    if (document != 0) VXDocumentClose(document, kVXCloseDiscard);
  }
};

// Finds the database, the view and the document. False when the database
// or the document cannot be opened (the caller writes the error page).
bool FindDocument(engine::ThreadHandle& handle, engine::DatabaseRequest& request, Found* f) {
  f->db = OpenRequestDatabase(handle, request);
  if (f->db == nullptr || f->db->handle == 0) return false;
  VXHandle database = f->db->handle;
  f->note = NoteIdFromText(database, Text(request.argument1));
  f->view = pages::RequestView(handle, *f->db, Text(request.argument4));
  std::string argument3 = Text(request.argument3);
  if (f->note == 0 && f->view != nullptr) f->note = pages::NoteAtStoredPosition(*f->view);
  if (f->view != nullptr && NamesPosition(argument3))
    f->view->currentLine = PositionOnly(argument3).substr(0, kPositionSize);
  if (f->note == 0 || VXDocumentOpen(database, f->note, 0, &f->document) != kVXOk) {
    f->document = 0;
    return false;
  }
  f->back = BackPosition(f->view, argument3);
  int32_t summary = 1;
  (void)VXDocumentSetProperty(f->document, kDocPropSummary, &summary);
  int32_t form = 0;
  (void)VXDocumentGetProperty(f->document, kDocPropForm, &form, sizeof form);
  VXDesignRecord descriptor;
  f->form = pages::UsableForm(database, static_cast<VXNoteId>(form), &descriptor);
  return true;
}

std::optional<std::string> ReadTarget(const platform::ViewRecord* view) {
  if (view != nullptr && view->preview != 0) return std::string(kPreviewFrame);
  return std::string("_parent");
}

std::string DocumentTitle(VXHandle document) {
  char title[1024] = {};
  if (platform::wrap::VXDocumentGetProperty(document, kDocPropTitle, title, sizeof title) != kVXOk)
    return "";
  return title;
}

void AttachmentList(std::string* out, engine::ThreadHandle& handle,
                    const engine::DatabaseRequest& request, VXHandle document, VXNoteId note) {
  char name[kVXPathSize] = {};
  uint32_t bytes = 0;
  bool first = true;
  std::string server = HtmlEscape(Text(request.server));
  std::string database = HtmlEscape(UrlPath(request));
  std::string url = HtmlEscape(Text(request.url));
  std::string program = handle.shared != nullptr ? handle.shared->programDirUrl : "";
  for (uint32_t code = kVXListFirst;
       platform::wrap::VXAttachmentList(document, code, name, sizeof name, &bytes) == kVXOk;
       code = kVXListNext) {
    if (first) out->append(kAttachmentsHeading);
    first = false;
    out->append(Format(kAttachmentFormat, server.c_str(), database.c_str(), static_cast<long>(note),
                       HtmlEscape(AttachmentUrlName(name)).c_str(), url.c_str(), program.c_str(),
                       HtmlEscape(name).c_str()));
  }
}

int RenderFormItem(std::string* out, engine::ThreadHandle& handle,
                   const engine::DatabaseRequest& request, VXHandle form_note, const char* item,
                   VXHandle document, VXNoteId note, VXNoteId view, RenderMode mode) {
  RenderRequest render;
  render.itemNote = form_note;
  render.itemName = item;
  render.document = document;
  render.mode = mode;
  render.handle = &handle;
  render.request = &request;
  render.noteId = note;
  render.viewId = view;
  return RenderRichText(render, out);
}

struct Installer {
  Installer() {
    KvHandlers& h = Handlers();
    h.readFrameset = h.editFrameset = h.composeFrameset = DocumentFrameset;
    h.readAction = ReadActionFrame;
    h.readPage = ReadPage;
    h.editAction = EditActionFrame;
    h.editPage = EditPage;
    h.composeAction = ComposeActionFrame;
    h.composePage = ComposePage;
  }
} installer;

}  // namespace

namespace pages {

Reply::Reply(const std::string& path) : file(std::fopen(path.c_str(), "w")) {}

Reply::~Reply() {
  if (file == nullptr) return;
  std::fwrite(out.data(), 1, out.size(), file);
  std::fclose(file);
}

void Reply::ErrorPage(engine::ThreadHandle& handle) {
  if (file == nullptr) return;
  std::fwrite(out.data(), 1, out.size(), file);
  out.clear();
  engine::WriteErrorPage(file, handle);
}

std::string Text(const std::optional<std::string>& field) {
  return field.value_or("");
}

platform::ViewRecord* RequestView(engine::ThreadHandle& handle, platform::OpenDatabase& db,
                                  const std::string& reference) {
  platform::ViewRecord* view = nullptr;
  if (!reference.empty()) view = platform::GetViewRecordByName(handle, db.handle, reference);
  if (view != nullptr) return view;
  int32_t id = 0;
  if (VXDatabaseGetProperty(db.handle, kDbPropDefaultView, &id, sizeof id) != kVXOk) id = 0;
  if (id == 0) {
    VXDesignRecord record;
    if (platform::wrap::VXViewList(db.handle, kVXListFirst, &record) == kVXOk)
      id = static_cast<int32_t>(record.note_id);
  }
  if (id == 0) return nullptr;
  return platform::GetViewRecordByName(handle, db.handle, std::to_string(id));
}

VXNoteId NoteAtStoredPosition(platform::ViewRecord& view) {
  if (view.index == 0 || !SetPosition(view.index, view.currentLine)) return 0;
  VXNoteId id = 0;
  if (VXIndexNavigate(view.index, 6, 0, &id, nullptr) != kVXOk) return 0;
  if ((id & 0x80000000u) != 0) return 0;
  return id;
}

VXNoteId UsableForm(VXHandle database, VXNoteId form, VXDesignRecord* descriptor) {
  if (form != 0 && platform::wrap::VXFormFetch(database, form, descriptor) == kVXOk) return form;
  int32_t fallback = 0;
  if (VXDatabaseGetProperty(database, kDbPropDefaultForm, &fallback, sizeof fallback) != kVXOk ||
      fallback == 0)
    return 0;
  if (platform::wrap::VXFormFetch(database, static_cast<VXNoteId>(fallback), descriptor) != kVXOk)
    return 0;
  return static_cast<VXNoteId>(fallback);
}

void DesignGuard(VXHandle database, int32_t value) {
  (void)VXDatabaseSetProperty(database, kDbPropDesignGuard, &value);
}

void ActionBar(std::string* out, engine::ThreadHandle& handle, platform::OpenDatabase& db,
               platform::ViewRecord* view, engine::DatabaseRequest& request, VXNoteId form,
               VXNoteId note, const std::string& back, std::optional<std::string> target,
               const std::string& second_target, const std::string& name) {
  ActionContext context = MakeActionContext(
      handle, &db, view, &request, form, note, db.navigatorForm, static_cast<int32_t>(form),
      std::nullopt, std::nullopt, back, std::move(target), second_target);
  (void)DocumentActionBar(out, context, name);
}

void FormPage(std::string* out, engine::ThreadHandle& handle, platform::OpenDatabase& db,
              platform::ViewRecord* view, engine::DatabaseRequest& request, VXHandle document,
              VXNoteId form, VXNoteId note, const VXUnid* reference, RenderMode mode) {
  bool editing = mode == RenderMode::kEdit;
  std::string back = PositionOnly(Text(request.argument3));
  ActionBar(out, handle, db, view, request, form, note, back, std::nullopt, "_self",
            editing ? "ET" : "CT");
  int32_t summary = 1;
  (void)VXDocumentSetProperty(document, kDocPropSummary, &summary);
  int32_t own = 0;
  if (VXDocumentGetProperty(document, kDocPropForm, &own, sizeof own) == kVXOk && own != 0)
    form = static_cast<VXNoteId>(own);
  VXDesignRecord descriptor;
  form = UsableForm(db.handle, form, &descriptor);
  if (reference != nullptr) {
    out->append(Format(descriptor.response_kind != 0 ? kParentUnidFormat : kRefUnidFormat,
                       UnidToText(*reference).c_str()));
  }
  DesignGuard(db.handle, 0);
  VXHandle form_note = 0;
  VXStatus opened = form != 0 ? VXDocumentOpen(db.handle, form, 0, &form_note) : kVXNoSuchForm;
  DesignGuard(db.handle, 1);
  if (opened == kVXOk) {
    (void)RenderFormItem(out, handle, request, form_note, "$Body", document, note,
                         view != nullptr ? view->viewId : 0, mode);
    VXDocumentClose(form_note, kVXCloseDiscard);
  }
  AttachmentList(out, handle, request, document, note);
  VXDocumentClose(document, kVXCloseDiscard);
  ActionBar(out, handle, db, view, request, form, note, back, std::nullopt, "_self",
            editing ? "EB" : "CB");
}

}  // namespace pages

int DocumentFrameset(const std::string& reply_path, engine::DatabaseRequest& request,
                     engine::ThreadHandle&) {
  Reply reply(reply_path);
  reply.out += kFramesetStart;
  reply.out += Format(kActionFrameFormat, FrameUrl(request, 'A').c_str());
  reply.out += Format(kDataFrameFormat, FrameUrl(request, 'P').c_str());
  reply.out += kFramesetEnd;
  return 1;
}

int ReadActionFrame(const std::string& reply_path, engine::DatabaseRequest& request,
                    engine::ThreadHandle& handle) {
  Reply reply(reply_path);
  Found f;
  if (!FindDocument(handle, request, &f)) {
    reply.ErrorPage(handle);
    return 1;
  }
  reply.out += common::kReplyPageOk;
  reply.out += "<HTML>";
  pages::ActionBar(&reply.out, handle, *f.db, f.view, request, f.form, f.note, f.back,
                   ReadTarget(f.view), "_parent", "DA");
  VXDocumentClose(f.document, kVXCloseDiscard);
  f.document = 0;
  reply.out += "</html>";
  return 1;
}

int ReadPage(const std::string& reply_path, engine::DatabaseRequest& request,
             engine::ThreadHandle& handle) {
  Reply reply(reply_path);
  Found f;
  if (!FindDocument(handle, request, &f)) {
    reply.ErrorPage(handle);
    return 1;
  }
  VXHandle database = f.db->handle;
  std::string& out = reply.out;
  out += common::kReplyPageOk;
  out += Format(kReadTitleFormat, HtmlEscape(Text(request.server)).c_str(),
                HtmlEscape(f.db->title).c_str(), HtmlEscape(DocumentTitle(f.document)).c_str());
  pages::ActionBar(&out, handle, *f.db, f.view, request, f.form, f.note, f.back, ReadTarget(f.view),
                   "_self", "DT");
  pages::DesignGuard(database, 0);
  VXHandle form_note = 0;
  VXStatus opened = f.form != 0 ? VXDocumentOpen(database, f.form, 0, &form_note) : kVXNoSuchForm;
  out += "<FORM>";
  if (opened == kVXOk) {
    VXNoteId view = f.view != nullptr ? f.view->viewId : 0;
    uint16_t type = 0;
    uint32_t length = 0, flags = 0;
    if (VXItemGetInfo(form_note, "$ACTIONS", &type, &length, &flags) == kVXOk) {
      pages::DesignGuard(database, 1);
      (void)RenderFormItem(&out, handle, request, form_note, "$ACTIONS", f.document, f.note, view,
                           RenderMode::kRead);
      pages::DesignGuard(database, 0);
    }
    pages::DesignGuard(database, 1);
    (void)RenderFormItem(&out, handle, request, form_note, "$Body", f.document, f.note, view,
                         RenderMode::kRead);
    VXDocumentClose(form_note, kVXCloseDiscard);
  }
  pages::DesignGuard(database, 1);
  out += "\n</FORM>";
  AttachmentList(&out, handle, request, f.document, f.note);
  pages::ActionBar(&out, handle, *f.db, f.view, request, f.form, f.note, f.back, ReadTarget(f.view),
                   "_self", "DB");
  VXDocumentClose(f.document, kVXCloseDiscard);
  f.document = 0;
  out += "\n</html>\n\n";
  return 1;
}

int EditActionFrame(const std::string& reply_path, engine::DatabaseRequest& request,
                    engine::ThreadHandle& handle) {
  Reply reply(reply_path);
  Found f;
  if (!FindDocument(handle, request, &f)) {
    reply.ErrorPage(handle);
    return 1;
  }
  reply.out += common::kReplyPageOk;
  reply.out += "<html>";
  pages::ActionBar(&reply.out, handle, *f.db, f.view, request, f.form, f.note,
                   PositionOnly(Text(request.argument3)), std::nullopt, "_parent", "EA");
  VXDocumentClose(f.document, kVXCloseDiscard);
  f.document = 0;
  reply.out += "</html>";
  return 1;
}

int EditPage(const std::string& reply_path, engine::DatabaseRequest& request,
             engine::ThreadHandle& handle) {
  Reply reply(reply_path);
  platform::OpenDatabase* db = OpenRequestDatabase(handle, request);
  if (db == nullptr || db->handle == 0) {
    reply.ErrorPage(handle);
    return 1;
  }
  VXHandle database = db->handle;
  VXNoteId note = NoteIdFromText(database, Text(request.argument1));
  platform::ViewRecord* view = pages::RequestView(handle, *db, Text(request.argument4));
  if (note == 0 && view != nullptr) note = pages::NoteAtStoredPosition(*view);
  VXHandle document = 0;
  if (note == 0 || VXDocumentOpen(database, note, 0, &document) != kVXOk) {
    reply.ErrorPage(handle);
    return 1;
  }
  int32_t summary = 1;
  (void)VXDocumentSetProperty(document, kDocPropSummary, &summary);
  int32_t own = 0;
  (void)VXDocumentGetProperty(document, kDocPropForm, &own, sizeof own);
  VXDesignRecord descriptor;
  VXNoteId form = pages::UsableForm(database, static_cast<VXNoteId>(own), &descriptor);
  reply.out += common::kReplyPageOk;
  reply.out += Format(kFormTitleFormat, HtmlEscape(Text(request.server)).c_str(),
                      HtmlEscape(db->title).c_str(),
                      HtmlEscape(form != 0 ? platform::DisplayName(descriptor) : "").c_str());
  pages::FormPage(&reply.out, handle, *db, view, request, document, form, note, nullptr,
                  RenderMode::kEdit);
  return 1;
}

}  // namespace browser
