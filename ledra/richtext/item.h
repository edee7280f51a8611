// A rich-text item value: its records laid end to end, each a 6-byte
// header (kind, content length) and the content. ParseItem indexes the
// records once so that a walk over them is linear.
#pragma once

#include <cstdint>
#include <vector>

#include "ledra/richtext/byte_io.h"

namespace ledra::richtext {

inline constexpr size_t kRecordHeaderSize = 6;

struct RecordView {
  uint16_t kind = 0;
  ByteSpan content;  // points into the parsed item
};

// Indexes every record of item into *records (record n is (*records)[n-1]).
// kRtCorrupt when a header or a content runs past the end of the item, or
// a raw record's own header disagrees with its content; *records is then
// empty. Contents of the other kinds are checked when they are decoded
// (or all at once by ValidateItem).
[[nodiscard]] int ParseItem(ByteSpan item, std::vector<RecordView>* records);

// ParseItem and then every record's content (ValidateRecord).
[[nodiscard]] int ValidateItem(ByteSpan item);

// Appends one record. kRtTooLarge when the content passes 4 GB.
[[nodiscard]] int AppendRecord(Bytes* item, uint16_t kind, ByteSpan content);

}  // namespace ledra::richtext
