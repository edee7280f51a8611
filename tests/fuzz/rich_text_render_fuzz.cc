// Fuzz target for the rich-text renderer: the input, less its first byte,
// is stored as the rich-text field "Body" of a document, which is then
// rendered in the mode the first byte chooses (read, edit, compose). The
// output must stay within the renderer's bound.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "browser/rich_text_render.h"
#include "engine/database_request.h"
#include "tests/fuzz/document_fixture_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // One unsaved document of the form, its Body replaced for every input.
  static VXHandle document = [] {
    VXHandle made = 0;
    if (VXDocumentCreate(FuzzDatabase(), "Topic", &made) != kVXOk) std::abort();
    return made;
  }();
  (void)VXItemPut(document, "Body", 0, 0, kVXTypeRichText, data + 1,
                  static_cast<uint32_t>(size - 1));
  engine::DatabaseRequest request;
  request.server = "Local";
  request.database = "documents.ldf";
  request.argument4 = "all";
  request.url = "http://[kv]/Local:/documents.ldf:/DP/1/LR/0/All/";
  browser::RenderRequest render;
  render.itemNote = document;
  render.itemName = "Body";
  render.document = document;
  render.mode = static_cast<browser::RenderMode>(data[0] % 3);
  render.request = &request;
  std::string out;
  (void)browser::RenderRichText(render, &out);
  if (out.size() > browser::kMaxRenderBytes + (1 << 20)) std::abort();
  return 0;
}
