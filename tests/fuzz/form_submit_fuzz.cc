// Fuzz target for form submission: the input is a request body, decoded
// into pairs and saved into a document of the form "Topic" (one stored
// document, opened afresh for every input). Beyond not crashing, a body
// that decodes must leave the document readable.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "browser/form_submit.h"
#include "browser/form_text.h"
#include "engine/thread_handle.h"
#include "platform/open_database.h"
#include "tests/fuzz/document_fixture_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VXHandle database = FuzzDatabase();
  std::string body(reinterpret_cast<const char*>(data), size);
  std::vector<browser::FormPair> pairs;
  std::string error;
  if (!browser::ReadFormPairs(body, &pairs, &error)) return 0;
  static VXNoteId note = [&] {
    VXHandle document = 0;
    if (VXDocumentCreate(database, "Topic", &document) != kVXOk) std::abort();
    if (VXDocumentSave(document, 0) != kVXOk) std::abort();
    VXNoteId id = 0;
    (void)VXDocumentGetProperty(document, kDocPropNoteId, &id, sizeof id);
    VXDocumentClose(document, 0);
    return id;
  }();
  VXHandle document = 0;
  if (VXDocumentOpen(database, note, 0, &document) != kVXOk) std::abort();
  engine::ThreadHandle handle;
  platform::OpenDatabase db;
  db.handle = database;
  (void)browser::SaveSubmittedDocument(handle, db, document, pairs);
  if (VXDocumentOpen(database, note, 0, &document) != kVXOk) std::abort();
  VXDocumentClose(document, kVXCloseDiscard);
  return 0;
}
