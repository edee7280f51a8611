// Indexing and appending the records of an item.
#include "ledra/richtext/item.h"

#include <limits>

#include "ledra/richtext/raw_records.h"
#include "ledra/richtext/records.h"
#include "ledra/richtext/status.h"

namespace ledra::richtext {

int ParseItem(ByteSpan item, std::vector<RecordView>* records) {
  records->clear();
  ByteReader r(item);
  while (r.ok() && !r.AtEnd()) {
    RecordView v;
    v.kind = r.U16();
    uint32_t length = r.U32();
    v.content = r.Take(length);
    if (!r.ok()) break;
    if (v.kind == kKindRaw) {
      NativeRecord n;
      if (SplitNativeRecord(v.content, &n) != kRtOk) {
        records->clear();
        return kRtCorrupt;
      }
    }
    records->push_back(v);
  }
  if (!r.ok()) {
    records->clear();
    return kRtCorrupt;
  }
  return kRtOk;
}

int ValidateItem(ByteSpan item) {
  std::vector<RecordView> records;
  int s = ParseItem(item, &records);
  for (size_t i = 0; s == kRtOk && i < records.size(); ++i) {
    s = ValidateRecord(records[i].kind, records[i].content);
  }
  return s;
}

int AppendRecord(Bytes* item, uint16_t kind, ByteSpan content) {
  if (content.size() > std::numeric_limits<uint32_t>::max()) return kRtTooLarge;
  ByteWriter w(item);
  w.U16(kind);
  w.U32(static_cast<uint32_t>(content.size()));
  w.Put(content);
  return kRtOk;
}

}  // namespace ledra::richtext
