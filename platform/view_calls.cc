// The table of view calls, and finding documents with or without views.
#include "platform/view_calls.h"

#include <strings.h>

#include "platform/translate.h"
#include "platform/translate_views.h"

namespace platform {

ViewCalls& Views() {
  static ViewCalls calls;
  return calls;
}

#if !CORVANE_HAVE_VIEWS
void InstallLedraViewCalls() {}
#endif

VXStatus FindDocuments(VXHandle database, const std::string& form, std::vector<VXNoteId>* ids) {
  ids->clear();
  if (Views().select != nullptr) {
    std::string formula = form.empty() ? "Select @All" : "Select Form=\"" + form + "\"";
    return Views().select(database, ToPlatformText(formula.c_str()).c_str(), ids);
  }
  // Without views: every note id up to the database's modification
  // sequence (each new note takes a sequence number, so none lies above it).
  // Design notes refuse to open as documents and are passed over.
  int64_t sequence = 0;
  VXStatus status = VXDatabaseGetProperty(database, kDbPropSequence, &sequence, sizeof sequence);
  if (status != kVXOk) return status;
  for (int64_t id = 1; id <= sequence; ++id) {
    VXHandle document = 0;
    if (VXDocumentOpen(database, static_cast<VXNoteId>(id), kVXDocOpenReadOnly, &document) != kVXOk)
      continue;
    bool wanted = form.empty();
    if (!wanted) {
      char text[256] = {};
      uint32_t length = 0;
      wanted = wrap::VXItemFetch(document, "Form", kVXTypeText, text, sizeof text, &length) == kVXOk &&
               strcasecmp(text, form.c_str()) == 0;
    }
    VXDocumentClose(document, kVXCloseDiscard);
    if (wanted) ids->push_back(static_cast<VXNoteId>(id));
  }
  return kVXOk;
}

}  // namespace platform
