// The rich-text renderer: turns a rich-text item (a form's body or action
// list, a rich-text field of a document, an About or Using document) into
// HTML. It walks the item's records in order: paragraphs with spacing,
// alignment, indentation and lists; font runs; tables; links to documents,
// views and databases; attachment hotspots; images (as GIF files in
// wtemp); sections; compose buttons and actions; and fields, shown as
// their values when reading and as inputs when editing or composing.
// Paragraphs hidden for the page's mode, or by a hide-when formula that
// holds for the document, are left out.
//
// Damaged rich text renders up to the first record that cannot be read,
// followed by kDamagedMark. Output is bounded: nested rich-text fields go
// at most kMaxRenderDepth deep and one render writes at most
// kMaxRenderBytes before it stops with the mark.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "browser/rich_text_writers.h"
#include "engine/database_request.h"
#include "engine/thread_handle.h"
#include "ledra/vx_types.h"

namespace browser {

inline constexpr char kDamagedMark[] =
    "\n<FONT COLOR=#ff0000>[the rest of this rich text could not be read]</FONT>\n";
inline constexpr int kMaxRenderDepth = 8;
inline constexpr size_t kMaxRenderBytes = size_t{64} << 20;

struct RenderRequest {
  VXHandle itemNote = 0;  // the note holding the item (a document or a design note)
  std::string itemName;   // such as "$Body", "$ACTIONS", "Body"
  VXHandle document = 0;  // source of field values and formula context; 0 for none
  RenderMode mode = RenderMode::kRead;
  RenderState* state = nullptr;                      // null: a fresh state
  engine::ThreadHandle* handle = nullptr;            // the program folder for image URLs
  const engine::DatabaseRequest* request = nullptr;  // server, database, argument 4, URL
  VXNoteId noteId = 0;                               // the document shown (attachment links)
  VXNoteId viewId = 0;                               // the view the page came from; 0: argument 4's
  int depth = 0;                                     // nesting of rich-text fields
};

// Appends the HTML of the item to *out. 0 on success, else the platform
// status of the call that failed (the closing tags are written either way).
[[nodiscard]] int RenderRichText(const RenderRequest& render, std::string* out);

// An attachment's file name as it stands in a URL: blanks, controls and
// the characters that would end or split the URL ("\"", "#", "%", "<",
// ">", "?", "{", "}") written as percent escapes.
std::string AttachmentUrlName(std::string_view name);

// The entry point for pages that show one rich-text item of a document
// (the About and Using documents of a database, say): renders the item in
// the mode with a fresh state, the document as the source of values.
[[nodiscard]] int RenderDocumentItem(engine::ThreadHandle& handle,
                                     const engine::DatabaseRequest& request, VXHandle document,
                                     const std::string& item_name, RenderMode mode,
                                     std::string* out);

}  // namespace browser
