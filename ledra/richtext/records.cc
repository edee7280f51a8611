// Encoding and decoding of the non-raw record kinds.
#include "ledra/richtext/records.h"

#include <limits>

#include "ledra/richtext/raw_records.h"
#include "ledra/richtext/status.h"

namespace ledra::richtext {
namespace {

constexpr size_t kMaxText = std::numeric_limits<uint16_t>::max();

FontId ReadFont(ByteReader& r) {
  FontId f;
  f.face = r.U8();
  f.attributes = r.U8();
  f.colour = r.U8();
  f.size = r.U8();
  return f;
}

void WriteFont(ByteWriter& w, const FontId& f) {
  w.U8(f.face);
  w.U8(f.attributes);
  w.U8(f.colour);
  w.U8(f.size);
}

// A 16-bit length and that many bytes of text.
std::string ReadCountedText(ByteReader& r) {
  uint16_t n = r.U16();
  return r.Text(n);
}

bool WriteCountedText(ByteWriter& w, const std::string& text) {
  if (text.size() > kMaxText) return false;
  w.U16(static_cast<uint16_t>(text.size()));
  w.Put(text);
  return true;
}

// Every decoder ends here: the whole content must have been read, no more.
int Finish(const ByteReader& r) {
  return r.AtEnd() ? kRtOk : kRtCorrupt;
}

template <size_t N>
void ReadArray(ByteReader& r, std::array<uint8_t, N>* out) {
  ByteSpan s = r.Take(N);
  if (s.size() == N) std::copy(s.begin(), s.end(), out->begin());
}

}  // namespace

int DecodeParagraphStyle(ByteSpan content, ParagraphStyle* out) {
  ByteReader r(content);
  out->style_id = r.U16();
  out->hide_flags = r.U8();
  out->list_flags = r.U8();
  out->alignment = r.U8();
  out->space_before = r.U8();
  out->space_after = r.U8();
  r.Skip(1);
  out->left_margin = r.U32();
  out->first_line_margin = r.U32();
  return Finish(r);
}

int EncodeParagraphStyle(const ParagraphStyle& in, Bytes* content) {
  content->clear();
  ByteWriter w(content);
  w.U16(in.style_id);
  w.U8(in.hide_flags);
  w.U8(in.list_flags);
  w.U8(in.alignment);
  w.U8(in.space_before);
  w.U8(in.space_after);
  w.U8(0);
  w.U32(in.left_margin);
  w.U32(in.first_line_margin);
  return kRtOk;
}

int DecodeStyleRef(ByteSpan content, StyleRef* out) {
  ByteReader r(content);
  out->style_id = r.U16();
  return Finish(r);
}

int EncodeStyleRef(const StyleRef& in, Bytes* content) {
  content->clear();
  ByteWriter(content).U16(in.style_id);
  return kRtOk;
}

int DecodeTextRun(ByteSpan content, TextRun* out) {
  ByteReader r(content);
  out->font = ReadFont(r);
  out->text = ReadCountedText(r);
  return Finish(r);
}

int EncodeTextRun(const TextRun& in, Bytes* content) {
  content->clear();
  ByteWriter w(content);
  WriteFont(w, in.font);
  return WriteCountedText(w, in.text) ? kRtOk : kRtTooLarge;
}

int DecodeLink(ByteSpan content, Link* out) {
  ByteReader r(content);
  out->link_kind = r.U16();
  ReadArray(r, &out->replica_id);
  ReadArray(r, &out->view_unid);
  ReadArray(r, &out->document_unid);
  out->text = ReadCountedText(r);
  return Finish(r);
}

int EncodeLink(const Link& in, Bytes* content) {
  content->clear();
  ByteWriter w(content);
  w.U16(in.link_kind);
  w.Put(ByteSpan(in.replica_id));
  w.Put(ByteSpan(in.view_unid));
  w.Put(ByteSpan(in.document_unid));
  return WriteCountedText(w, in.text) ? kRtOk : kRtTooLarge;
}

int DecodeField(ByteSpan content, Field* out) {
  ByteReader r(content);
  out->data_type = r.U16();
  out->font = ReadFont(r);
  out->name = ReadCountedText(r);
  return Finish(r);
}

int EncodeField(const Field& in, Bytes* content) {
  content->clear();
  ByteWriter w(content);
  w.U16(in.data_type);
  WriteFont(w, in.font);
  return WriteCountedText(w, in.name) ? kRtOk : kRtTooLarge;
}

int DecodeHotspotBegin(ByteSpan content, HotspotBegin* out) {
  ByteReader r(content);
  out->type = r.U16();
  out->flags = r.U32();
  out->text = ReadCountedText(r);
  return Finish(r);
}

int EncodeHotspotBegin(const HotspotBegin& in, Bytes* content) {
  content->clear();
  ByteWriter w(content);
  w.U16(in.type);
  w.U32(in.flags);
  return WriteCountedText(w, in.text) ? kRtOk : kRtTooLarge;
}

int DecodeButton(ByteSpan content, Button* out) {
  ByteReader r(content);
  out->label = ReadCountedText(r);
  return Finish(r);
}

int EncodeButton(const Button& in, Bytes* content) {
  content->clear();
  ByteWriter w(content);
  return WriteCountedText(w, in.label) ? kRtOk : kRtTooLarge;
}

int DecodeHideWhenFormula(ByteSpan content, HideWhenFormula* out) {
  ByteReader r(content);
  out->formula_id = r.U16();
  out->style_id = r.U16();
  out->formula = ReadCountedText(r);
  return Finish(r);
}

int EncodeHideWhenFormula(const HideWhenFormula& in, Bytes* content) {
  content->clear();
  ByteWriter w(content);
  w.U16(in.formula_id);
  w.U16(in.style_id);
  return WriteCountedText(w, in.formula) ? kRtOk : kRtTooLarge;
}

int DecodeHideWhenLink(ByteSpan content, HideWhenLink* out) {
  ByteReader r(content);
  out->formula_id = r.U16();
  out->style_id = r.U16();
  return Finish(r);
}

int EncodeHideWhenLink(const HideWhenLink& in, Bytes* content) {
  content->clear();
  ByteWriter w(content);
  w.U16(in.formula_id);
  w.U16(in.style_id);
  return kRtOk;
}

int DecodeSection(ByteSpan content, Section* out) {
  ByteReader r(content);
  out->flags = r.U16();
  out->font = ReadFont(r);
  out->title = ReadCountedText(r);
  return Finish(r);
}

int EncodeSection(const Section& in, Bytes* content) {
  content->clear();
  ByteWriter w(content);
  w.U16(in.flags);
  WriteFont(w, in.font);
  return WriteCountedText(w, in.title) ? kRtOk : kRtTooLarge;
}

int ValidateRecord(uint16_t kind, ByteSpan content) {
  switch (kind) {
    case kKindRaw:
      return ValidateRawRecord(content);
    case kKindParagraphStyle: {
      ParagraphStyle v;
      return DecodeParagraphStyle(content, &v);
    }
    case kKindStyleRef: {
      StyleRef v;
      return DecodeStyleRef(content, &v);
    }
    case kKindParagraphBreak:
    case kKindHotspotEnd:
      return content.empty() ? kRtOk : kRtCorrupt;
    case kKindTextRun: {
      TextRun v;
      return DecodeTextRun(content, &v);
    }
    case kKindLink: {
      Link v;
      return DecodeLink(content, &v);
    }
    case kKindField: {
      Field v;
      return DecodeField(content, &v);
    }
    case kKindHotspotBegin: {
      HotspotBegin v;
      return DecodeHotspotBegin(content, &v);
    }
    case kKindButton: {
      Button v;
      return DecodeButton(content, &v);
    }
    case kKindHideWhenFormula: {
      HideWhenFormula v;
      return DecodeHideWhenFormula(content, &v);
    }
    case kKindHideWhenLink: {
      HideWhenLink v;
      return DecodeHideWhenLink(content, &v);
    }
    case kKindSection: {
      Section v;
      return DecodeSection(content, &v);
    }
    default:
      return kRtOk;
  }
}

}  // namespace ledra::richtext
