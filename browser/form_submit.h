// Form submission: the POSTs of the "E" (edited document) and "C" (new
// document) commands. The posted inputs become item values of the
// document's fields, the form's validation runs, the document is saved
// and, when its form asks, offered for mailing; the reply sends the browser
// back to the view or to the return URL, or, when nothing was saved, leaves
// it on the form with the user's input (204).
//
// A field whose posted value is what the edit page showed for it is left as
// it is stored, so that saving a document without touching a field never
// changes that field (numbers keep their digits, lists their order, rich
// text its formatting). A changed value is stored in the field's own type.
#pragma once

#include <string>
#include <vector>

#include "browser/form_text.h"
#include "engine/database_request.h"
#include "engine/thread_handle.h"
#include "ledra/vx_types.h"
#include "platform/open_database.h"

namespace browser {

inline constexpr char kValidationFailedFormat[] =
    "%s\n\nThe document was NOT SAVED.  Please correct invalid inputs and then try again.";
inline constexpr char kValidationTitle[] = "Field Validation Failure";
inline constexpr char kRichTextQuestion[] =
    "This document was previously saved with Ledra rich text elements that Corvane does not "
    "support.  Saving now will remove those elements.  Continue?";
inline constexpr char kQuestionTitle[] = "Pellam Corvane";
inline constexpr char kSaveErrorTitle[] = "Document Save Error";
inline constexpr char kMailQuestion[] = "SEND the document you just saved too?";
inline constexpr char kMailErrorTitle[] = "Mail-Send Error";
inline constexpr char kMailSent[] = "Mail Sent.";
inline constexpr char kPostedDateItem[] = "PostedDate";
inline constexpr char kSavedRedirectFormat[] =
    "HTTP/1.0 302 Moved\nLocation: http://[kv]/%s:/%s:/V/%s/%s/\n\n\n";
inline constexpr char kEditNotSaved[] = "HTTP/1.1 204 No Content\n\n\n";
inline constexpr char kComposeNotSaved[] = "HTTP/1.1 204 OK\n\n\n\n";
inline constexpr char kFormRefusedFormat[] =
    "HTTP/1.0 400 Bad Request\r\n\r\n<html>The form could not be read: %s. The document was NOT "
    "SAVED.</html>\n";
inline constexpr char kFormTooLarge[] =
    "HTTP/1.0 413 Request Entity Too Large\r\n\r\n<html>The form is too large to be saved. The "
    "document was NOT SAVED.</html>\n";

// Fills the document from the posted pairs, validates, saves, offers to
// mail; closes the document (discarding what was not saved) and refreshes
// the views of the database. The saved document's note id, or 0 when it
// was not saved.
VXNoteId SaveSubmittedDocument(engine::ThreadHandle& handle, platform::OpenDatabase& db,
                               VXHandle document, const std::vector<FormPair>& pairs);

// The POST handlers.
int SubmitEditedDocument(const std::string& reply_path, engine::DatabaseRequest& request,
                         engine::ThreadHandle& handle);
int SubmitNewDocument(const std::string& reply_path, engine::DatabaseRequest& request,
                      engine::ThreadHandle& handle);

// A default formula as submissions evaluate it: "@V3UserName" (any case)
// stands for "@UserName", and an empty formula means "@UserName".
std::string SubmissionDefaultFormula(const std::string& formula);

}  // namespace browser
