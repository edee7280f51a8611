// libFuzzer target for the design-source loader: any bytes are parsed as a
// design source and, when that succeeds, every note is encoded and decoded
// again and dumped. No crash, no hang, no leak; every failure has a message.
#include <cstddef>
#include <cstdint>
#include <string>

#include "ledra/design_source.h"
#include "ledra/last_error.h"
#include "ledra/note.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  ledra::DesignSource source;
  ledra::ParseOptions options;  // no base folder: "file" attachments are refused
  VXStatus s = ledra::ParseDesignSource(text, options, &source);
  if (s != kVXOk) {
    if (ledra::LastFailure().message.empty()) __builtin_trap();
    return 0;
  }
  for (const ledra::PendingNote& p : source.notes) {
    std::string blob = ledra::EncodeItems(p.note.items);
    std::vector<ledra::Item> back;
    if (!ledra::DecodeItems(blob.data(), blob.size(), &back) || back.size() != p.note.items.size()) {
      __builtin_trap();
    }
  }
  // The items codec also faces damaged files: decode the raw bytes too.
  std::vector<ledra::Item> items;
  (void)ledra::DecodeItems(data, size, &items);
  return 0;
}
