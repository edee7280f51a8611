// The Vantix composite calls and the ledcore rich-text services: thin
// wrappers that bind the composite services (composite.h) to document items
// through composite handles. A composite is opened on one item of one
// document; every change is written back to that item at once (the
// document still needs VXDocumentSave). Statuses as for every Vantix call;
// failures are recorded for VXErrorFetch.
#pragma once

#include <cstdint>

#include "ledra/richtext/image.h"
#include "ledra/richtext/raw_records.h"
#include "ledra/vx_types.h"

// Opens the item item_name of document as a composite. A rich-text item
// gives its records; a text item (what VXItemPut of type 2 leaves in a
// rich-text field) reads as one plain paragraph in the default font; an
// absent item as an empty composite, which the first change creates.
// document 0 gives a composite bound to no document.
[[nodiscard]] VXStatus VXCompositeCreate(VXHandle document, const char* item_name,
                                         VXHandle* composite);
VXStatus VXCompositeClose(VXHandle composite);

// Appends the rich-text item item_name of document source, renumbering
// paragraph styles that would clash (composite.h).
[[nodiscard]] VXStatus VXCompositeCopy(VXHandle source, const char* item_name, VXHandle composite);
// Appends records first..last of the item item_name of document source,
// with the paragraph styles they use.
[[nodiscard]] VXStatus VXCompositeCopySubset(VXHandle source, const char* item_name, uint32_t first,
                                             uint32_t last, VXHandle composite);
// Appends the body ("$Body") of the form form_name (empty or null: the
// document's own form) with its fields filled from document's items.
[[nodiscard]] VXStatus VXCompositeConvertDocument(VXHandle document, const char* form_name,
                                                  VXHandle composite);
// The words of the composite, lines separated by "\n", cut at a character
// boundary to fit size bytes with its 0; length gets the bytes written.
[[nodiscard]] VXStatus VXCompositeListText(VXHandle composite, char* text, uint32_t size,
                                           uint32_t* length);

// The number of records.
[[nodiscard]] VXStatus VXCDRecordCount(VXHandle composite, uint32_t* count);
// Kind and content length of record number (from 1); signature gets a raw
// record's signature, 0 for the other kinds (may be null).
[[nodiscard]] VXStatus VXCDRecordGetInfo(VXHandle composite, uint32_t number, uint16_t* kind,
                                         uint32_t* length, uint16_t* signature);
// A pointer to record number's content, valid until the composite changes
// or closes.
[[nodiscard]] VXStatus VXCDRecordGetPointer(VXHandle composite, uint32_t number,
                                            const void** pointer, uint32_t* length);
// Replaces record number's content (kept kind; the content must be valid
// for it) and writes the item back to the document as rich text.
[[nodiscard]] VXStatus VXCDRecordUpdate(VXHandle composite, uint32_t number, const void* content,
                                        uint32_t length);

// ledcore 435: the structure of a raw record (signature, length, payload)
// under a conversion code.
[[nodiscard]] VXStatus LCReadStructure(uint16_t conversion_code, const void* record,
                                       uint32_t length, ledra::richtext::RawStructure* out);
// ledcore 2045: the text after a raw record (an action's formula) as a new
// memory handle, freed with LCMemFree, and its length.
[[nodiscard]] VXStatus LCRecordText(const void* record, uint32_t length, VXHandle* memory,
                                    uint32_t* text_length);
// ledcore 376: the image add-in, loaded once (null when it cannot be).
const ledra::richtext::ImageAddin* LCLoadImageAddin();
