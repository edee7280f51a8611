// The composite (rich-text) services behind the VXComposite... and
// VXCDRecord... calls, written over item values so that the document store
// can wire them to its composite handles: it reads the item, calls these,
// and writes the item back. Record numbers count from 1.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "ledra/richtext/byte_io.h"
#include "ledra/richtext/item.h"

namespace ledra::richtext {

struct RecordInfo {
  uint16_t kind = 0;
  uint32_t length = 0;     // content length
  uint16_t signature = 0;  // raw records only, else 0
};

// VXCompositeCreate: *item becomes an empty item.
[[nodiscard]] int CompositeCreate(Bytes* item);

// VXCompositeCopy: appends every record of source to *target. Paragraph
// style ids and hide-when formula ids of source that target already uses
// are renumbered (with every reference to them), so the copied paragraphs
// keep their own styles. On failure *target is unchanged.
[[nodiscard]] int CompositeCopy(ByteSpan source, Bytes* target);

// VXCompositeCopySubset: appends records first..last of source as
// CompositeCopy does. A style reference in the range whose paragraph style
// lies outside it brings that style (and its hide-when records) along, ahead
// of the range. kRtNoSuchRecord for a range outside 1..count.
[[nodiscard]] int CompositeCopySubset(ByteSpan source, uint32_t first, uint32_t last,
                                      Bytes* target);

// A field's value for CompositeConvertDocument.
struct FieldValue {
  bool is_rich_text = false;
  std::string text;  // a text value; line feeds become line breaks
  Bytes rich_text;   // a rich-text value's item
};
// Returns false when the document has no item of that name.
using FieldValueSource = std::function<bool(std::string_view name, FieldValue* value)>;

// VXCompositeConvertDocument: the form body with every field replaced by
// the document's value: a text value as a text run in the field's font, a
// rich-text value by its records (renumbered as by CompositeCopy). A field
// without a value leaves nothing. The result is appended to *target.
[[nodiscard]] int CompositeConvertDocument(ByteSpan form_body, const FieldValueSource& values,
                                           Bytes* target);

// VXCompositeListText: the words of the item: text runs, section titles
// and button labels. Paragraph breaks, line breaks inside runs, new table
// cells and the ends of titles and labels give line_separator (never two
// in a row, none at the start).
[[nodiscard]] int CompositeListText(ByteSpan item, std::string_view line_separator,
                                    std::string* text);

// VXCDRecordGetInfo and the count of records.
[[nodiscard]] int CDRecordCount(ByteSpan item, uint32_t* count);
[[nodiscard]] int CDRecordGetInfo(ByteSpan item, uint32_t number, RecordInfo* info);

// VXCDRecordGetPointer: a copy of record number's content.
[[nodiscard]] int CDRecordGetPointer(ByteSpan item, uint32_t number, Bytes* content);

// The same two over records already indexed by ParseItem. A renderer
// visits every record in turn; a composite handle that keeps the index
// beside its item makes that walk linear instead of quadratic.
[[nodiscard]] int CDRecordGetInfo(const std::vector<RecordView>& records, uint32_t number,
                                  RecordInfo* info);
[[nodiscard]] int CDRecordGetPointer(const std::vector<RecordView>& records, uint32_t number,
                                     Bytes* content);

// VXCDRecordUpdate: replaces the content of record number, keeping its
// kind. The new content must be valid for the kind (kRtCorrupt otherwise);
// on failure *item is unchanged.
[[nodiscard]] int CDRecordUpdate(Bytes* item, uint32_t number, ByteSpan content);

// VXItemPut of a text into a rich-text field: one plain paragraph (style
// 1, left aligned, no margins) in the default font, line feeds as line
// breaks, carriage returns dropped. Long texts take several runs, cut
// between whole UTF-8 characters.
[[nodiscard]] int TextToRichText(std::string_view text, Bytes* item);

// True when the item holds nothing but paragraph styles, style references,
// paragraph breaks and text runs in the default font: what a browser edit
// can keep. A damaged item is not plain.
bool IsPlainRichText(ByteSpan item);

}  // namespace ledra::richtext
