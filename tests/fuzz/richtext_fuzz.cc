// Fuzz target for the rich-text readers: the input is read as an item
// (records), as markup and as an image stream. Whatever the writer makes
// of an item that indexes must parse back to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "ledra/richtext/composite.h"
#include "ledra/richtext/image.h"
#include "ledra/richtext/item.h"
#include "ledra/richtext/markup.h"
#include "ledra/richtext/raw_records.h"
#include "ledra/richtext/records.h"
#include "ledra/richtext/status.h"

using namespace ledra::richtext;

namespace {

void MustRoundTrip(const Bytes& item) {
  std::string markup;
  if (WriteMarkup(item, {}, &markup) != kRtOk) std::abort();
  Bytes again;
  MarkupError error;
  MarkupParseOptions options;
  options.base_dir = "/nonexistent";
  if (ParseMarkup(markup, options, &again, &error) != kRtOk || again != item) std::abort();
}

void AsItem(const Bytes& item) {
  std::vector<RecordView> records;
  if (ParseItem(item, &records) != kRtOk) return;
  (void)ValidateItem(item);
  for (const RecordView& r : records) {
    (void)ValidateRecord(r.kind, r.content);
    if (r.kind == kKindRaw) {
      RawStructure s;
      for (uint16_t code :
           {kConvImageHeader, kConvTableHeader, kConvTableCell, kConvKeywordLayout, kConvAction}) {
        (void)ReadStructure(code, r.content, &s);
      }
      std::string text;
      (void)TextAfterRecord(r.content, &text);
    }
  }
  std::string text;
  (void)CompositeListText(item, "\n", &text);
  Bytes target;
  (void)CompositeCopy(item, &target);
  if (!records.empty())
    (void)CompositeCopySubset(item, 1, static_cast<uint32_t>(records.size()), &target);
  (void)IsPlainRichText(item);
  MustRoundTrip(item);
}

void AsMarkup(const uint8_t* data, size_t size) {
  Bytes item;
  MarkupError error;
  MarkupParseOptions options;
  options.base_dir = "/nonexistent";
  std::string_view markup(reinterpret_cast<const char*>(data), size);
  if (ParseMarkup(markup, options, &item, &error) != kRtOk) return;
  MustRoundTrip(item);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Bytes bytes(data, data + size);
  AsItem(bytes);
  AsMarkup(data, size);
  Bytes tiff;
  (void)TiffFromImageStream(bytes, &tiff);
  uint32_t w = 0, h = 0;
  (void)TiffDimensions(bytes, &w, &h);
  return 0;
}
