// The name lists of an open database (views and folders, forms, agents),
// their display names, the mail-folder classes, and the lookups of a view
// or folder by name or by text. Platform thread only.
#pragma once

#include <cstdint>
#include <string>

#include "engine/thread_handle.h"
#include "ledra/vx_types.h"
#include "platform/open_database.h"

namespace platform {

enum class NameListKind { kViews, kForms, kAgents };

// The second name, "/" and the third when the third is not empty; else the
// second name; else the full name.
std::string DisplayName(const VXDesignRecord& record);
// The text without any of the characters in `drop`.
std::string WithoutChars(const std::string& text, const char* drop);

// 1 to 6 for "($Inbox)", "($Drafts)", "($Sent)", "($All)", "($ToDo)",
// "($Trash)" (any case), 5 for "Tasks", else 0.
uint16_t MailFolderClass(const std::string& name);

// Inserts before the first entry that compares greater (case-insensitive),
// so equal names keep the platform's order.
void InsertSorted(std::vector<NameEntry>* list, NameEntry entry);

// The enumerator of one kind of list: builds the list on first use; start
// 1 or 2 restarts at the first entry, anything else gives the entry after
// the one given last (one cursor per kind, for all databases). Returns 0,
// or 0x80000107 at the end.
uint32_t NextName(OpenDatabase& database, NameListKind kind, int start, std::string* name,
                  VXNoteId* id, uint16_t* mail_class);

// The id of the view or folder of that name: the platform's lookup, then
// the display names of the views, then the folders (any case). 0 when none.
VXNoteId LocateViewOrFolder(VXHandle database, const std::string& name);

// A text holding "g" is a UNID ("%lxg%lxg%lxg%lxg") and gives that
// document's note id; any other text is read as a decimal number.
VXNoteId ViewIdFromText(VXHandle database, const std::string& text);

}  // namespace platform
