// The compose pages: the action frame and the form page of a new
// document, with its parent, inherited items and default values.
#include <strings.h>

#include "browser/document_ids.h"
#include "browser/document_pages.h"
#include "browser/field_defaults.h"
#include "browser/field_input.h"
#include "browser/navigator.h"
#include "common/html_escape.h"
#include "common/reply_forms.h"
#include "common/text.h"
#include "ledra/vxapi.h"
#include "platform/name_lists.h"
#include "platform/translate.h"

namespace browser {

namespace {

using common::Format;
using common::HtmlEscape;
using pages::Reply;
using pages::Text;

constexpr uint32_t kUseSelectedDocument = 0x01;
constexpr uint32_t kReadOnly = 1;
// A chain of responses longer than this is taken as damaged.
constexpr int kMaxResponseDepth = 1000;

enum class Outcome { kNone, kNoParent, kPlatformError };

// The main document at the top of a chain of responses, from the UNID of
// a response's parent. False when a UNID cannot be located or opened.
bool TopOfChain(VXHandle database, VXUnid unid, VXUnid* top) {
  for (int depth = 0; depth < kMaxResponseDepth; ++depth) {
    VXNoteId id = VXDocumentLocateByUnid(database, &unid);
    VXHandle document = 0;
    if (id == 0 || VXDocumentOpen(database, id, kReadOnly, &document) != kVXOk) return false;
    int32_t response = 0;
    VXUnid parent;
    bool ok =
        VXDocumentGetProperty(document, kDocPropResponse, &response, sizeof response) == kVXOk &&
        (response == 0 ||
         VXDocumentGetProperty(document, kDocPropParent, &parent, sizeof parent) == kVXOk);
    VXDocumentClose(document, kVXCloseDiscard);
    if (!ok) return false;
    if (response == 0) {
      *top = unid;
      return true;
    }
    unid = parent;
  }
  return false;
}

// Step 2 of composing: the reference document from the view's current
// line. *found says whether one was selected.
Outcome FindReference(engine::ThreadHandle& handle, platform::OpenDatabase& db,
                      const std::string& view_reference, const VXDesignRecord& form,
                      VXUnid* reference, bool* found) {
  *found = false;
  platform::ViewRecord* view = pages::RequestView(handle, db, view_reference);
  VXNoteId selected = view != nullptr ? pages::NoteAtStoredPosition(*view) : 0;
  if (selected == 0) return form.response_kind != 0 ? Outcome::kNoParent : Outcome::kNone;
  VXHandle document = 0;
  if (VXDocumentOpen(db.handle, selected, kReadOnly, &document) != kVXOk)
    return Outcome::kPlatformError;
  int32_t summary = 1;
  (void)VXDocumentSetProperty(document, kDocPropSummary, &summary);
  int32_t selected_form = 0;
  VXDesignRecord selected_descriptor;
  Outcome outcome = Outcome::kNone;
  if (VXDocumentGetProperty(document, kDocPropForm, &selected_form, sizeof selected_form) !=
      kVXOk) {
    outcome = Outcome::kPlatformError;
  } else {
    bool selected_is_response =
        selected_form != 0 &&
        platform::wrap::VXFormFetch(db.handle, static_cast<VXNoteId>(selected_form),
                                    &selected_descriptor) == kVXOk &&
        selected_descriptor.response_kind != 0;
    if (form.response_kind == 1 && selected_is_response) {
      VXUnid parent;
      if (VXDocumentGetProperty(document, kDocPropParent, &parent, sizeof parent) != kVXOk ||
          !TopOfChain(db.handle, parent, reference))
        outcome = Outcome::kPlatformError;
    } else if (VXDocumentGetProperty(document, kDocPropUnid, reference, sizeof *reference) !=
               kVXOk) {
      outcome = Outcome::kPlatformError;
    }
  }
  VXDocumentClose(document, kVXCloseDiscard);
  *found = outcome == Outcome::kNone;
  return outcome;
}

// Copies the items of the reference document's fields into the new one.
void Inherit(VXHandle database, const VXUnid& reference, VXHandle document) {
  VXNoteId id = VXDocumentLocateByUnid(database, &reference);
  VXHandle source = 0;
  if (id == 0 || VXDocumentOpen(database, id, kReadOnly, &source) != kVXOk) return;
  int32_t summary = 1;
  (void)VXDocumentSetProperty(source, kDocPropSummary, &summary);
  int32_t form = 0;
  (void)VXDocumentGetProperty(source, kDocPropForm, &form, sizeof form);
  char name[kVXNameSize] = {};
  for (uint32_t code = kVXListFirst;
       form != 0 && platform::wrap::VXFieldList(database, static_cast<VXNoteId>(form), code, name,
                                                sizeof name) == kVXOk;
       code = kVXListNext)
    (void)platform::wrap::VXItemCopy(source, name, document, 0);
  VXDocumentClose(source, kVXCloseDiscard);
}

}  // namespace

int ComposeActionFrame(const std::string& reply_path, engine::DatabaseRequest& request,
                       engine::ThreadHandle& handle) {
  Reply reply(reply_path);
  platform::OpenDatabase* db = OpenRequestDatabase(handle, request);
  if (db == nullptr || db->handle == 0) {
    reply.ErrorPage(handle);
    return 1;
  }
  reply.out += common::kReplyPageOk;
  reply.out += "<html>";
  VXNoteId form = FormFromText(db->handle, Text(request.argument1));
  platform::ViewRecord* view = pages::RequestView(handle, *db, Text(request.argument4));
  pages::ActionBar(&reply.out, handle, *db, view, request, form, 0,
                   PositionOnly(Text(request.argument3)), std::nullopt, "_parent", "CA");
  reply.out += "</html>";
  return 1;
}

int ComposePage(const std::string& reply_path, engine::DatabaseRequest& request,
                engine::ThreadHandle& handle) {
  Reply reply(reply_path);
  platform::OpenDatabase* db = OpenRequestDatabase(handle, request);
  if (db == nullptr || db->handle == 0) {
    reply.ErrorPage(handle);
    return 1;
  }
  VXHandle database = db->handle;
  VXNoteId form = FormFromText(database, Text(request.argument1));
  VXDesignRecord descriptor;
  if (form == 0 || platform::wrap::VXFormFetch(database, form, &descriptor) != kVXOk) {
    reply.ErrorPage(handle);
    return 1;
  }
  std::string view_reference = Text(request.argument4);
  bool use_selected = (descriptor.flags & kUseSelectedDocument) != 0;
  VXUnid reference;
  bool found = false;
  Outcome outcome = Outcome::kNone;
  if (use_selected && !view_reference.empty())
    outcome = FindReference(handle, *db, view_reference, descriptor, &reference, &found);
  bool response = outcome == Outcome::kNone && found && descriptor.response_kind != 0;

  reply.out += common::kReplyPageOk;
  reply.out +=
      Format(kFormTitleFormat, HtmlEscape(Text(request.server)).c_str(),
             HtmlEscape(db->title).c_str(), HtmlEscape(platform::DisplayName(descriptor)).c_str());
  pages::DesignGuard(database, response ? 0 : 1);
  VXHandle document = 0;
  if (outcome == Outcome::kNone) {
    std::string form_name = descriptor.full_name;
    if (VXDocumentCreate(database, form_name.c_str(), &document) != kVXOk) {
      document = 0;
      outcome = Outcome::kPlatformError;
    }
  }
  if (outcome == Outcome::kNone) {
    int32_t zero = 0;
    (void)VXDocumentSetProperty(document, kDocPropSummary, &zero);
    if (use_selected && found) Inherit(database, reference, document);
    FillDefaultValues(database, form, document);
    int32_t one = 1;
    (void)VXDocumentSetProperty(document, kDocPropSummary, &one);
    VXUnid parent = response ? reference : VXUnid{};
    (void)VXDocumentSetProperty(document, kDocPropParent, &parent);
    bool with_reference = response || (use_selected && found);
    pages::FormPage(&reply.out, handle, *db, pages::RequestView(handle, *db, view_reference),
                    request, document, form, 0, with_reference ? &reference : nullptr,
                    RenderMode::kCompose);
  }
  pages::DesignGuard(database, 1);
  if (outcome == Outcome::kNoParent) reply.out += kResponseWithoutParent;
  if (outcome == Outcome::kPlatformError) reply.ErrorPage(handle);
  return 1;
}

}  // namespace browser
