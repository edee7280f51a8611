// The rich-text markup: a text form of rich-text items for design sources,
// `ledra load` and `ledra dump`. ParseMarkup turns markup into an item;
// WriteMarkup turns any item back into markup that parses to the same
// bytes. The language is described in MARKUP.md beside this file.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "ledra/richtext/byte_io.h"

namespace ledra::richtext {

struct MarkupParseOptions {
  // Folder against which relative {image src=...} names are read.
  std::string base_dir = ".";
};

struct MarkupError {
  int line = 0;  // 1-based line of the markup where the fault lies
  std::string message;
};

// Parses markup into *item. On failure returns kRtBadMarkup (or the status
// of what failed: kRtTooLarge, kRtFileError, kRtBadImage, kRtFormulaHook),
// fills *error, and leaves *item unchanged.
[[nodiscard]] int ParseMarkup(std::string_view markup, const MarkupParseOptions& options,
                              Bytes* item, MarkupError* error);

struct MarkupWriteOptions {
  // Stores an image's TIFF data somewhere and gives the name to write as
  // {image src=...}; a non-zero result fails the write. When unset, images
  // are written inline as {image data=...} in Base64.
  std::function<int(ByteSpan tiff, std::string* src)> image_sink;
};

// Writes the markup of item into *markup. kRtCorrupt when the item's
// records cannot be indexed; records whose content is damaged are written
// in their generic {record} form, so that nothing is lost.
[[nodiscard]] int WriteMarkup(ByteSpan item, const MarkupWriteOptions& options,
                              std::string* markup);

}  // namespace ledra::richtext
