// Native records: splitting, building, and the structures of ledcore 435.
#include "ledra/richtext/raw_records.h"

#include <limits>

#include "ledra/richtext/formula_hook.h"
#include "ledra/richtext/status.h"

namespace ledra::richtext {
namespace {

constexpr size_t kMaxNativeLength = std::numeric_limits<uint32_t>::max();

// Opens the payload of a native record of the expected signature.
int OpenNative(ByteSpan raw, uint16_t signature, ByteSpan* payload) {
  NativeRecord n;
  int s = SplitNativeRecord(raw, &n);
  if (s != kRtOk) return s;
  if (n.signature != signature) return kRtWrongKind;
  *payload = n.payload;
  return kRtOk;
}

int Finish(const ByteReader& r) {
  return r.AtEnd() ? kRtOk : kRtCorrupt;
}

}  // namespace

bool IsImageDataSignature(uint16_t signature) {
  switch (signature) {
    case 0x95:
    case 0x96:
    case 0x97:
    case 0x98:
    case 0x9b:
    case 0x9d:
    case 0x9f:
    case 0xc5:
      return true;
    default:
      return false;
  }
}

int SplitNativeRecord(ByteSpan raw, NativeRecord* out) {
  ByteReader r(raw);
  out->signature = r.U16();
  uint32_t length = r.U32();
  if (!r.ok() || length != raw.size()) return kRtCorrupt;
  out->payload = raw.subspan(kNativeHeaderSize);
  return kRtOk;
}

int BuildNativeRecord(uint16_t signature, ByteSpan payload, Bytes* raw) {
  if (payload.size() > kMaxNativeLength - kNativeHeaderSize) return kRtTooLarge;
  raw->clear();
  ByteWriter w(raw);
  w.U16(signature);
  w.U32(static_cast<uint32_t>(payload.size() + kNativeHeaderSize));
  w.Put(payload);
  return kRtOk;
}

int ValidateRawRecord(ByteSpan raw) {
  NativeRecord n;
  int s = SplitNativeRecord(raw, &n);
  if (s != kRtOk) return s;
  switch (n.signature) {
    case kSigImageHeader: {
      ImageHeader v;
      return ReadImageHeader(raw, &v);
    }
    case kSigTableHeader: {
      TableHeader v;
      return ReadTableHeader(raw, &v);
    }
    case kSigTableCell: {
      TableCell v;
      return ReadTableCell(raw, &v);
    }
    case kSigKeywordLayout: {
      KeywordLayout v;
      return ReadKeywordLayout(raw, &v);
    }
    case kSigAction: {
      ActionRecord v;
      return ReadAction(raw, &v);
    }
    case kSigTableEnd:
    case kSigIgnoreBegin:
    case kSigIgnoreEnd:
      return n.payload.empty() ? kRtOk : kRtCorrupt;
    default:
      return kRtOk;
  }
}

int ReadImageHeader(ByteSpan raw, ImageHeader* out) {
  ByteSpan payload;
  if (int s = OpenNative(raw, kSigImageHeader, &payload); s != kRtOk) return s;
  ByteReader r(payload);
  if (r.U16() != 1) return kRtCorrupt;  // layout version
  out->width_twips = r.U32();
  out->height_twips = r.U32();
  out->data_length = r.U32();
  out->segment_count = r.U16();
  r.Skip(2);
  return Finish(r);
}

int WriteImageHeader(const ImageHeader& in, Bytes* raw) {
  Bytes p;
  ByteWriter w(&p);
  w.U16(1);
  w.U32(in.width_twips);
  w.U32(in.height_twips);
  w.U32(in.data_length);
  w.U16(in.segment_count);
  w.U16(0);
  return BuildNativeRecord(kSigImageHeader, p, raw);
}

int ReadTableHeader(ByteSpan raw, TableHeader* out) {
  ByteSpan payload;
  if (int s = OpenNative(raw, kSigTableHeader, &payload); s != kRtOk) return s;
  ByteReader r(payload);
  out->left_margin = r.U16();
  out->right_margin = r.U16();
  out->flags = r.U32();
  return Finish(r);
}

int WriteTableHeader(const TableHeader& in, Bytes* raw) {
  Bytes p;
  ByteWriter w(&p);
  w.U16(in.left_margin);
  w.U16(in.right_margin);
  w.U32(in.flags);
  return BuildNativeRecord(kSigTableHeader, p, raw);
}

int ReadTableCell(ByteSpan raw, TableCell* out) {
  ByteSpan payload;
  if (int s = OpenNative(raw, kSigTableCell, &payload); s != kRtOk) return s;
  ByteReader r(payload);
  out->row = r.U16();
  out->left_edge = r.U32();
  out->right_edge = r.U32();
  out->border_width = r.U16();
  out->flags = r.U16();
  out->column_span = r.U16();
  out->background_colour = r.U16();
  return Finish(r);
}

int WriteTableCell(const TableCell& in, Bytes* raw) {
  Bytes p;
  ByteWriter w(&p);
  w.U16(in.row);
  w.U32(in.left_edge);
  w.U32(in.right_edge);
  w.U16(in.border_width);
  w.U16(in.flags);
  w.U16(in.column_span);
  w.U16(in.background_colour);
  return BuildNativeRecord(kSigTableCell, p, raw);
}

int ReadKeywordLayout(ByteSpan raw, KeywordLayout* out) {
  ByteSpan payload;
  if (int s = OpenNative(raw, kSigKeywordLayout, &payload); s != kRtOk) return s;
  ByteReader r(payload);
  out->flags = r.U32();
  return Finish(r);
}

int WriteKeywordLayout(const KeywordLayout& in, Bytes* raw) {
  Bytes p;
  ByteWriter(&p).U32(in.flags);
  return BuildNativeRecord(kSigKeywordLayout, p, raw);
}

// The title is followed by one fill byte when that puts the formula at an
// even offset from the start of the native record.
int ReadAction(ByteSpan raw, ActionRecord* out) {
  ByteSpan payload;
  if (int s = OpenNative(raw, kSigAction, &payload); s != kRtOk) return s;
  ByteReader r(payload);
  out->type = r.U16();
  out->flags = r.U32();
  uint16_t title_length = r.U16();
  uint16_t formula_length = r.U16();
  out->formula_form = r.U8();
  r.Skip(1);
  out->title = r.Text(title_length);
  if ((kNativeHeaderSize + r.offset()) % 2 != 0) r.Skip(1);
  ByteSpan formula = r.Take(formula_length);
  out->formula.assign(formula.begin(), formula.end());
  if (out->formula_form != kFormulaAsText && out->formula_form != kFormulaCompiled) {
    return kRtCorrupt;
  }
  return Finish(r);
}

int WriteAction(const ActionRecord& in, Bytes* raw) {
  constexpr size_t kMax = std::numeric_limits<uint16_t>::max();
  if (in.title.size() > kMax || in.formula.size() > kMax) return kRtTooLarge;
  Bytes p;
  ByteWriter w(&p);
  w.U16(in.type);
  w.U32(in.flags);
  w.U16(static_cast<uint16_t>(in.title.size()));
  w.U16(static_cast<uint16_t>(in.formula.size()));
  w.U8(in.formula_form);
  w.U8(0);
  w.Put(in.title);
  if ((kNativeHeaderSize + p.size()) % 2 != 0) w.U8(0);
  w.Put(in.formula);
  return BuildNativeRecord(kSigAction, p, raw);
}

int ReadStructure(uint16_t conversion_code, ByteSpan raw, RawStructure* out) {
  int s = kRtOk;
  switch (conversion_code) {
    case kConvImageHeader: {
      ImageHeader v;
      s = ReadImageHeader(raw, &v);
      *out = v;
      break;
    }
    case kConvTableHeader: {
      TableHeader v;
      s = ReadTableHeader(raw, &v);
      *out = v;
      break;
    }
    case kConvTableCell: {
      TableCell v;
      s = ReadTableCell(raw, &v);
      *out = v;
      break;
    }
    case kConvKeywordLayout: {
      KeywordLayout v;
      s = ReadKeywordLayout(raw, &v);
      *out = v;
      break;
    }
    case kConvAction: {
      ActionRecord v;
      s = ReadAction(raw, &v);
      *out = std::move(v);
      break;
    }
    default:
      return kRtUnknownConversion;
  }
  return s;
}

int TextAfterRecord(ByteSpan raw, std::string* text) {
  ActionRecord action;
  int s = ReadAction(raw, &action);
  if (s != kRtOk) return s;
  return FormulaText(action.formula_form, action.formula, text);
}

}  // namespace ledra::richtext
