// Where templates come from: items of a database's navigator form (so a
// database can carry its own command panel and action bars) or the files
// htmdata/vact_%c.pro and htmdata/dact_%s.pro of the program folder.
// Templates are read afresh for every expansion.
#pragma once

#include <string>

#include "browser/action_context.h"

namespace browser {

// The text of an item of a document, opened and closed with 0x20000 (no
// changes kept); at most limit bytes when limit is not 0. False when the
// document or item cannot be read.
bool ReadDocumentItem(VXHandle database, VXNoteId document, const std::string& item, size_t limit,
                      std::string* value);
// The text of an item of a new document made from a form (its defaults);
// false when the form or the item is absent.
bool ReadFormItem(VXHandle database, VXNoteId form, const std::string& item, std::string* value);

// The view action bar of letter c expanded into out: the navigator form's
// "$Corvane_ViewActions_%c" item, else htmdata/vact_%c.pro. False (nothing
// written) when neither exists.
bool ViewActionBar(std::string* out, const ActionContext& context, char letter);
// The document action bar of that name: the form's "$Corvane_DocActions_%s",
// else htmdata/dact_%s.pro.
bool DocumentActionBar(std::string* out, const ActionContext& context, const std::string& name);
// The navigator form's CommandPanel template; false when there is none.
bool CommandPanel(std::string* out, const ActionContext& context);

}  // namespace browser
