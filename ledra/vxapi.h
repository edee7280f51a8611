// The Vantix calls of the Ledra platform stand-in and the ledcore memory
// services: the document store on SQLite. Shapes follow what the programs
// pass; every number is explained in ledra/vx_types.h. Every call returns
// kVXOk or a failure status and records the failure for VXErrorFetch (on the
// calling thread); a bad handle is a failure status, never a crash. Texts
// are UTF-8, zero-terminated unless a length is given. Views, full-text
// search and rich text come from their own modules.
#pragma once

#include <cstdint>

#include "ledra/vx_types.h"
#include "ledra/view/view_api.h"  // views, columns, full-text search
#include "ledra/replication/replication_api.h"  // replication with a server

// --- Platform -------------------------------------------------------------
// Reads ledra.ini from the working folder (or the file named by the
// environment variable CORVANE_LEDRA_INI). version is 0x45004.
[[nodiscard]] VXStatus _VXInit(uint32_t version, void* reserved1, void* reserved2,
                               void* reserved3);
VXStatus VXTerm(uint32_t flags);
// value: text for 1, pointer to int32 for 2, 9, 19.
VXStatus VXSetProperty(uint32_t property, const void* value);
// value: text buffer of size bytes for 1 and 10; int32 for the others.
[[nodiscard]] VXStatus VXGetProperty(uint32_t property, void* value, uint32_t size);

// --- Errors and text --------------------------------------------------------
// The calling thread's last failure: status, detail (the storage engine's
// code or 0) and a message of at most kVXErrorTextSize bytes with its 0.
// With no failure recorded: 0, 0 and "".
VXStatus VXErrorFetch(uint32_t* code, uint32_t* detail, char* text);
// mode 0 to the platform, 1 back: both UTF-8. Invalid bytes become U+FFFD;
// the text is cut at a character boundary to fit size (with its 0).
// out_length (may be null) gets the bytes written without the 0.
VXStatus VXTranslate(uint32_t mode, uint32_t length, const char* source, uint32_t size,
                     char* target, uint32_t* out_length);

// --- Servers and databases --------------------------------------------------
[[nodiscard]] VXStatus VXServerList(uint32_t code, char* name, uint32_t size);
[[nodiscard]] VXStatus VXDatabaseOpen(const char* server, const char* path, uint32_t flags,
                                      VXHandle* database);
VXStatus VXDatabaseClose(VXHandle database, uint32_t flags);
// Creates an empty database (no design). Fails with kVXDatabaseExists.
[[nodiscard]] VXStatus VXDatabaseCreate(const char* server, const char* path, const char* title);
[[nodiscard]] VXStatus VXDatabaseGetProperty(VXHandle database, uint32_t property, void* value,
                                             uint32_t size);
[[nodiscard]] VXStatus VXDatabaseSetProperty(VXHandle database, uint32_t property,
                                             const void* value);
// Walks the databases (kind 0x8000) and subfolders (0x4000) of a folder of a
// server's data directory, sorted by name. code 1 or 2 first, 4 next.
[[nodiscard]] VXStatus VXDatabaseList(const char* server, const char* folder, uint32_t reserved,
                                      uint32_t kinds, uint32_t code, VXDatabaseEntry* entry);
// Finds a database with this replica id on the server (below folder, or
// everywhere when null/""); path gets kVXPathSize bytes.
[[nodiscard]] VXStatus VXDatabaseLocateByReplicaid(const char* server, const char* folder,
                                                   const uint32_t replica_id[2], uint32_t flags,
                                                   uint32_t reserved, char* path);
[[nodiscard]] VXStatus VXDatabaseDelete(const char* server, const char* path);
[[nodiscard]] VXStatus VXDatabaseCompact(const char* server, const char* path);
[[nodiscard]] VXStatus VXDatabaseCopy(const char* source_server, const char* source_path,
                                      const char* target_server, const char* target_path,
                                      uint32_t reserved, uint32_t options, uint32_t class_mask,
                                      const char* title);

// --- Documents ---------------------------------------------------------------
[[nodiscard]] VXStatus VXDocumentOpen(VXHandle database, VXNoteId id, uint32_t flags,
                                      VXHandle* document);
// A new, unsaved document whose "Form" item is form (none when null or "").
// The form's default values are filled in when the formula module is present.
[[nodiscard]] VXStatus VXDocumentCreate(VXHandle database, const char* form, VXHandle* document);
VXStatus VXDocumentClose(VXHandle document, uint32_t flags);
[[nodiscard]] VXStatus VXDocumentSave(VXHandle document, uint32_t flags);
[[nodiscard]] VXStatus VXDocumentDelete(VXHandle database, VXNoteId id, uint32_t flags);
// Copies a note (items and attachments) into target as a new note with a
// new UNID; new_id (may be null) gets its note id.
[[nodiscard]] VXStatus VXDocumentCopy(VXHandle source, VXNoteId id, VXHandle target,
                                      uint32_t flags, VXNoteId* new_id = nullptr);
// Locate calls return the note id, 0 when none.
VXNoteId VXDocumentLocateByUnid(VXHandle database, const VXUnid* unid);
VXNoteId VXDocumentLocateByClass(VXHandle database, uint32_t note_class);
[[nodiscard]] VXStatus VXDocumentGetProperty(VXHandle document, uint32_t property, void* value,
                                             uint32_t size);
[[nodiscard]] VXStatus VXDocumentSetProperty(VXHandle document, uint32_t property,
                                             const void* value);
// Runs the input-validation formulas of the document's form; on failure the
// message (size bytes with its 0) holds the failing field's text.
[[nodiscard]] VXStatus VXDocumentValidate(VXHandle document, char* message, uint32_t size);
// Evaluates a formula on the document; the result is the item
// "$$VXDocExecute!" with the result's type.
[[nodiscard]] VXStatus VXDocumentExecute(VXHandle document, const char* formula, uint32_t length,
                                         uint32_t flags);

// --- Items -------------------------------------------------------------------
// Value formats by type: see kVXType* in ledra/vx_types.h. length 0 with a
// text means up to its 0. name_length 0: the name runs to its 0.
[[nodiscard]] VXStatus VXItemPut(VXHandle document, const char* name, uint32_t flags,
                                 uint32_t name_length, uint16_t type, const void* value,
                                 uint32_t length);
// Reads the item as type (0: its own type). As text (2) every type converts:
// numbers "%g"-like, date-times in the platform's text form, lists joined by
// ", ". Text is cut to fit size with its 0; other types fail with
// kVXBufferTooSmall when they do not fit. length gets the bytes written.
[[nodiscard]] VXStatus VXItemFetch(VXHandle document, const char* name, uint16_t type,
                                   void* buffer, uint32_t size, uint32_t* length);
[[nodiscard]] VXStatus VXItemGetInfo(VXHandle document, const char* name, uint16_t* type,
                                     uint32_t* length, uint32_t* flags);
// Length of the value as type (0: its own), without a text's 0.
[[nodiscard]] VXStatus VXItemGetLength(VXHandle document, const char* name, uint16_t type,
                                       uint32_t* length);
// A pointer to the value as type, valid until the document changes or closes.
[[nodiscard]] VXStatus VXItemGetPointer(VXHandle document, const char* name, uint16_t type,
                                        const void** pointer, uint32_t* length);
[[nodiscard]] VXStatus VXItemCopy(VXHandle source, const char* name, VXHandle target,
                                  uint32_t flags);
[[nodiscard]] VXStatus VXItemDelete(VXHandle document, const char* name);
// Walks the items in order: name (size bytes), type.
[[nodiscard]] VXStatus VXItemList(VXHandle document, uint32_t code, char* name, uint32_t size,
                                  uint16_t* type);
// Appends an entry to a text-list item (made when absent; a text item becomes
// a list). length 0: up to the entry's 0.
[[nodiscard]] VXStatus VXItemAppendTextList(VXHandle document, const char* name,
                                            const char* entry, uint32_t length, uint32_t flags);
// Text-list memory handles (keyword lists).
[[nodiscard]] VXStatus VXTextListGetLength(VXHandle list, uint32_t* count);
[[nodiscard]] VXStatus VXTextListFetch(VXHandle list, uint32_t index, char* text, uint32_t size,
                                       uint32_t* length);

// --- Attachments -----------------------------------------------------------
[[nodiscard]] VXStatus VXAttachmentAttach(VXHandle document, const char* file_path,
                                          const char* attachment_name, uint32_t flags);
[[nodiscard]] VXStatus VXAttachmentExtract(VXHandle document, const char* attachment_name,
                                           const char* file_path, uint32_t flags);
[[nodiscard]] VXStatus VXAttachmentDelete(VXHandle document, const char* attachment_name);
// Walks the attachments: name (size bytes) and stored (uncompressed) size.
[[nodiscard]] VXStatus VXAttachmentList(VXHandle document, uint32_t code, char* name,
                                        uint32_t size, uint32_t* bytes);

// --- Design ------------------------------------------------------------------
[[nodiscard]] VXStatus VXFormList(VXHandle database, uint32_t code, VXDesignRecord* record);
[[nodiscard]] VXStatus VXFormFetch(VXHandle database, VXNoteId form, VXDesignRecord* record);
VXNoteId VXFormLocateByName(VXHandle database, const char* name);
[[nodiscard]] VXStatus VXFieldList(VXHandle database, VXNoteId form, uint32_t code, char* name,
                                   uint32_t size);
[[nodiscard]] VXStatus VXFieldFetch(VXHandle database, VXNoteId form, const char* name,
                                    VXFieldRecord* record);
VXNoteId VXSubformLocateByName(VXHandle database, const char* name);
[[nodiscard]] VXStatus VXSubformCreate(VXHandle database, VXSubformRecord* record,
                                       VXNoteId* id);
// Copies the subform of that name from source into target.
[[nodiscard]] VXStatus VXSubformCopy(VXHandle source, const char* name, VXHandle target,
                                     VXNoteId* id);
[[nodiscard]] VXStatus VXAgentList(VXHandle database, uint32_t code, VXDesignRecord* record);
[[nodiscard]] VXStatus VXViewList(VXHandle database, uint32_t code, VXDesignRecord* record);
[[nodiscard]] VXStatus VXFolderList(VXHandle database, uint32_t code, VXDesignRecord* record);
VXNoteId VXViewLocateByName(VXHandle database, const char* name);
VXNoteId VXFolderLocateByName(VXHandle database, const char* name);
[[nodiscard]] VXStatus VXViewFetch(VXHandle database, VXNoteId view, VXDesignRecord* record);

// --- Mail and environment ----------------------------------------------------
// Deposits a copy of the (saved) document in "mail.box" on Local.
[[nodiscard]] VXStatus VXMailSend(VXHandle document, uint32_t flags);
// value gets size bytes with its 0; "" when the variable is not set.
[[nodiscard]] VXStatus VXGetEnvironmentString(const char* name, char* value, uint32_t size);
// An empty value removes the variable.
[[nodiscard]] VXStatus VXSetEnvironmentString(const char* name, const char* value,
                                              uint32_t flags);

// --- Date-times -------------------------------------------------------------
[[nodiscard]] VXStatus VXDatetimeNow(ledra::Datetime* now);
// <0, 0, >0 as a is earlier, equal, later than b.
int32_t VXDatetimeCompare(const ledra::Datetime* a, const ledra::Datetime* b);
// a - b in the unit (table in ledra/vx_types.h), truncated toward zero.
[[nodiscard]] VXStatus VXDatetimeDifference(const ledra::Datetime* a, const ledra::Datetime* b,
                                            uint32_t unit, int32_t* result);
[[nodiscard]] VXStatus VXDatetimeAdjust(ledra::Datetime* value,
                                        const VXDatetimeAdjustment* adjustment);
// Converts between item types: date-time (3) to text (2) and text to
// date-time, numbers to and from text, text to text. out_length may be null.
[[nodiscard]] VXStatus VXConvert(uint32_t from_type, uint32_t from_length, const void* from,
                                 uint32_t to_type, uint32_t to_size, void* to,
                                 uint32_t* out_length);

// --- ledcore memory handles (by ordinal) ------------------------------------
void* LCMemLock(VXHandle memory);     // ordinal 182; null for a bad handle
VXStatus LCMemUnlock(VXHandle memory);  // ordinal 183
VXStatus LCMemFree(VXHandle memory);    // ordinal 143
// Our own: a memory handle holding a copy of bytes (0 on failure), and its size.
VXHandle LCMemAlloc(const void* bytes, uint32_t size);
uint32_t LCMemSize(VXHandle memory);
