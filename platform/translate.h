// The translating wrappers: one function per Vantix call that carries text.
// Each takes its call's arguments in the same order and returns its status;
// texts going in are converted to the platform character set (into a buffer
// of 3 x length + 1 bytes, freed after the call), texts the call filled in
// are converted back in place. An absent or empty text passes unchanged.
// corvex, corvjobs and favload all call the platform through these.
//
// The platform and this host both speak UTF-8, so conversion is a
// validation: a byte that starts no character becomes U+FFFD. A text that
// grows in place is cut at a character boundary to the caller's buffer
// (the caller's size, or the record's fixed field size), never past it.
//
// The calls of the views and full-text module (VXIndex..., VXColumn...,
// VXViewcellFetch) have theirs in platform/translate_views.h, those of the
// rich-text module (VXComposite..., VXCDRecordGetPointer) in
// platform/translate_richtext.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "ledra/vxapi.h"

namespace platform {

// Converts `text` (a buffer of `size` bytes) in place to the platform
// character set / back from it. Absent or empty texts are left alone.
void ConvertToPlatform(char* text, size_t size);
void ConvertFromPlatform(char* text, size_t size);
// The converted copy of a text going in; "" for an absent text.
std::string ToPlatformText(const char* text);

namespace wrap {

VXStatus VXAttachmentAttach(VXHandle document, const char* file_path, const char* attachment_name,
                            uint32_t flags);
VXStatus VXAttachmentExtract(VXHandle document, const char* attachment_name,
                             const char* file_path, uint32_t flags);
VXStatus VXAttachmentDelete(VXHandle document, const char* attachment_name);
// name: a buffer of size bytes (256 for callers of the list).
VXStatus VXAttachmentList(VXHandle document, uint32_t code, char* name, uint32_t size,
                          uint32_t* bytes);

// length (when not 0) is replaced by the converted entry's length.
VXStatus VXItemAppendTextList(VXHandle document, const char* name, const char* entry,
                              uint32_t length, uint32_t flags);
VXStatus VXErrorFetch(uint32_t* code, uint32_t* detail, char* text);
VXStatus VXItemCopy(VXHandle source, const char* name, VXHandle target, uint32_t flags);
VXStatus VXItemDelete(VXHandle document, const char* name);
VXStatus VXItemGetInfo(VXHandle document, const char* name, uint16_t* type, uint32_t* length,
                       uint32_t* flags);
VXStatus VXItemGetLength(VXHandle document, const char* name, uint16_t type, uint32_t* length);
// A text value (type 2) comes back converted; *length is its new length.
VXStatus VXItemFetch(VXHandle document, const char* name, uint16_t type, void* buffer,
                     uint32_t size, uint32_t* length);
// A text value is converted into storage of the calling thread, valid until
// this thread's next VXItemGetPointer; other types point into the document.
VXStatus VXItemGetPointer(VXHandle document, const char* name, uint16_t type,
                          const void** pointer, uint32_t* length);
// A text value (type 2) goes in converted; length (when not 0) is replaced
// by the converted length.
VXStatus VXItemPut(VXHandle document, const char* name, uint32_t flags, uint32_t name_length,
                   uint16_t type, const void* value, uint32_t length);
VXStatus VXItemList(VXHandle document, uint32_t code, char* name, uint32_t size, uint16_t* type);
VXStatus VXFieldList(VXHandle database, VXNoteId form, uint32_t code, char* name, uint32_t size);
VXStatus VXFieldFetch(VXHandle database, VXNoteId form, const char* name, VXFieldRecord* record);
VXStatus VXSubformCopy(VXHandle source, const char* name, VXHandle target, VXNoteId* id);
// The record's two 130-byte names are converted in place, bounded to 130.
VXStatus VXSubformCreate(VXHandle database, VXSubformRecord* record, VXNoteId* id);

// The record's three names and its two texts come back converted.
VXStatus VXViewFetch(VXHandle database, VXNoteId view, VXDesignRecord* record);
VXStatus VXFormFetch(VXHandle database, VXNoteId form, VXDesignRecord* record);
VXStatus VXViewList(VXHandle database, uint32_t code, VXDesignRecord* record);
VXStatus VXFolderList(VXHandle database, uint32_t code, VXDesignRecord* record);
VXStatus VXFormList(VXHandle database, uint32_t code, VXDesignRecord* record);
// Return the id found, 0 when none.
VXNoteId VXViewLocateByName(VXHandle database, const char* name);
VXNoteId VXFormLocateByName(VXHandle database, const char* name);

// Text properties 6 to 11 come back converted.
VXStatus VXDatabaseGetProperty(VXHandle database, uint32_t property, void* value, uint32_t size);
VXStatus VXDatabaseList(const char* server, const char* folder, uint32_t reserved, uint32_t kinds,
                        uint32_t code, VXDatabaseEntry* entry);
// Property 13 (the display title) comes back converted; property 14 gives
// the length of the converted title.
VXStatus VXDocumentGetProperty(VXHandle document, uint32_t property, void* value, uint32_t size);
VXStatus VXTextListFetch(VXHandle list, uint32_t index, char* text, uint32_t size,
                         uint32_t* length);
VXStatus VXGetEnvironmentString(const char* name, char* value, uint32_t size);
VXStatus VXSetEnvironmentString(const char* name, const char* value, uint32_t flags);

}  // namespace wrap
}  // namespace platform
