// The composite services over item values.
#include "ledra/richtext/composite.h"

#include <limits>
#include <map>
#include <set>
#include <vector>

#include "ledra/richtext/item.h"
#include "ledra/richtext/raw_records.h"
#include "ledra/richtext/records.h"
#include "ledra/richtext/status.h"

namespace ledra::richtext {
namespace {

constexpr size_t kMaxRunText = std::numeric_limits<uint16_t>::max();

// Appends records to an item, renumbering the paragraph style ids and
// hide-when formula ids of copied records that the item already uses.
class Merger {
 public:
  explicit Merger(Bytes* out) : out_(out) {}

  // Registers the ids defined by records (of the target, or to be
  // appended verbatim) so that copies steer clear of them.
  int Reserve(const std::vector<RecordView>& records) {
    for (const RecordView& r : records) {
      if (r.kind == kKindParagraphStyle) {
        ParagraphStyle v;
        if (DecodeParagraphStyle(r.content, &v) != kRtOk) return kRtCorrupt;
        styles_.insert(v.style_id);
      } else if (r.kind == kKindHideWhenFormula) {
        HideWhenFormula v;
        if (DecodeHideWhenFormula(r.content, &v) != kRtOk) return kRtCorrupt;
        formulas_.insert(v.formula_id);
      }
    }
    return kRtOk;
  }

  int AppendVerbatim(const RecordView& r) { return AppendRecord(out_, r.kind, r.content); }

  // Appends records as a copy: ids that clash are given fresh numbers.
  int AppendCopy(const std::vector<RecordView>& records) {
    std::map<uint16_t, uint16_t> style_map, formula_map;
    std::set<uint16_t> source_styles, source_formulas;
    for (const RecordView& r : records) {
      if (r.kind == kKindParagraphStyle) {
        ParagraphStyle v;
        if (DecodeParagraphStyle(r.content, &v) != kRtOk) return kRtCorrupt;
        source_styles.insert(v.style_id);
      } else if (r.kind == kKindHideWhenFormula) {
        HideWhenFormula v;
        if (DecodeHideWhenFormula(r.content, &v) != kRtOk) return kRtCorrupt;
        source_formulas.insert(v.formula_id);
      }
    }
    if (!Plan(source_styles, &styles_, &style_map)) return kRtTooLarge;
    if (!Plan(source_formulas, &formulas_, &formula_map)) return kRtTooLarge;
    auto style = [&](uint16_t id) {
      auto it = style_map.find(id);
      return it == style_map.end() ? id : it->second;
    };
    auto formula = [&](uint16_t id) {
      auto it = formula_map.find(id);
      return it == formula_map.end() ? id : it->second;
    };
    for (const RecordView& r : records) {
      Bytes content(r.content.begin(), r.content.end());
      int s = kRtOk;
      switch (r.kind) {
        case kKindParagraphStyle: {
          ParagraphStyle v;
          s = DecodeParagraphStyle(r.content, &v);
          v.style_id = style(v.style_id);
          if (s == kRtOk) s = EncodeParagraphStyle(v, &content);
          break;
        }
        case kKindStyleRef: {
          StyleRef v;
          s = DecodeStyleRef(r.content, &v);
          v.style_id = style(v.style_id);
          if (s == kRtOk) s = EncodeStyleRef(v, &content);
          break;
        }
        case kKindHideWhenFormula: {
          HideWhenFormula v;
          s = DecodeHideWhenFormula(r.content, &v);
          v.style_id = style(v.style_id);
          v.formula_id = formula(v.formula_id);
          if (s == kRtOk) s = EncodeHideWhenFormula(v, &content);
          break;
        }
        case kKindHideWhenLink: {
          HideWhenLink v;
          s = DecodeHideWhenLink(r.content, &v);
          v.style_id = style(v.style_id);
          v.formula_id = formula(v.formula_id);
          if (s == kRtOk) s = EncodeHideWhenLink(v, &content);
          break;
        }
        default:
          break;
      }
      if (s != kRtOk) return s;
      if ((s = AppendRecord(out_, r.kind, content)) != kRtOk) return s;
    }
    return kRtOk;
  }

 private:
  // Chooses a new number for every source id already in use; all source
  // ids end up in *used.
  static bool Plan(const std::set<uint16_t>& source, std::set<uint16_t>* used,
                   std::map<uint16_t, uint16_t>* map) {
    std::set<uint16_t> taken = *used;
    taken.insert(source.begin(), source.end());
    uint32_t next = 1;
    for (uint16_t id : source) {
      if (!used->contains(id)) continue;
      while (next <= 0xFFFF && taken.contains(static_cast<uint16_t>(next))) ++next;
      if (next > 0xFFFF) return false;
      (*map)[id] = static_cast<uint16_t>(next);
      taken.insert(static_cast<uint16_t>(next));
    }
    for (uint16_t id : source) used->insert(map->contains(id) ? map->at(id) : id);
    return true;
  }

  Bytes* out_;
  std::set<uint16_t> styles_;
  std::set<uint16_t> formulas_;
};

// Text runs for a plain text: line feeds become the runs' line breaks
// (NUL), carriage returns go; runs are cut between whole UTF-8 characters.
int AppendTextRuns(std::string_view text, const FontId& font, Bytes* item) {
  std::string clean;
  clean.reserve(text.size());
  for (char c : text) {
    if (c == '\r') continue;
    clean.push_back(c == '\n' ? '\0' : c);
  }
  size_t at = 0;
  while (at < clean.size()) {
    size_t n = std::min(kMaxRunText, clean.size() - at);
    if (at + n < clean.size()) {
      while (n > 1 && (static_cast<uint8_t>(clean[at + n]) & 0xC0) == 0x80) --n;
    }
    TextRun run{font, clean.substr(at, n)};
    Bytes content;
    if (int s = EncodeTextRun(run, &content); s != kRtOk) return s;
    if (int s = AppendRecord(item, kKindTextRun, content); s != kRtOk) return s;
    at += n;
  }
  return kRtOk;
}

// Records of source, parsed, for the copy operations.
int Records(ByteSpan item, std::vector<RecordView>* records) {
  return ParseItem(item, records);
}

}  // namespace

int CompositeCreate(Bytes* item) {
  item->clear();
  return kRtOk;
}

int CompositeCopy(ByteSpan source, Bytes* target) {
  std::vector<RecordView> src, dst;
  if (int s = Records(source, &src); s != kRtOk) return s;
  if (int s = Records(*target, &dst); s != kRtOk) return s;
  Bytes out = *target;
  Merger m(&out);
  if (int s = m.Reserve(dst); s != kRtOk) return s;
  if (int s = m.AppendCopy(src); s != kRtOk) return s;
  *target = std::move(out);
  return kRtOk;
}

int CompositeCopySubset(ByteSpan source, uint32_t first, uint32_t last, Bytes* target) {
  std::vector<RecordView> src, dst;
  if (int s = Records(source, &src); s != kRtOk) return s;
  if (first < 1 || first > last || last > src.size()) return kRtNoSuchRecord;
  std::vector<RecordView> range(src.begin() + (first - 1), src.begin() + last);

  // Styles defined inside the range, and those referred to from it.
  std::set<uint16_t> defined, wanted;
  for (const RecordView& r : range) {
    if (r.kind == kKindParagraphStyle) {
      ParagraphStyle v;
      if (DecodeParagraphStyle(r.content, &v) != kRtOk) return kRtCorrupt;
      defined.insert(v.style_id);
    } else if (r.kind == kKindStyleRef) {
      StyleRef v;
      if (DecodeStyleRef(r.content, &v) != kRtOk) return kRtCorrupt;
      wanted.insert(v.style_id);
    }
  }
  // Bring the missing styles along: the first definition of each (as the
  // renderer finds it), its hide-when formulas and links, and the formulas
  // those links name.
  std::vector<RecordView> lead;
  std::set<uint16_t> linked_formulas;
  std::set<size_t> taken;
  for (uint16_t id : wanted) {
    if (defined.contains(id)) continue;
    for (size_t i = 0; i < src.size(); ++i) {
      ParagraphStyle v;
      if (src[i].kind == kKindParagraphStyle && DecodeParagraphStyle(src[i].content, &v) == kRtOk &&
          v.style_id == id) {
        lead.push_back(src[i]);
        taken.insert(i);
        break;
      }
    }
    for (size_t i = 0; i < src.size(); ++i) {
      if (src[i].kind == kKindHideWhenFormula) {
        HideWhenFormula f;
        if (DecodeHideWhenFormula(src[i].content, &f) == kRtOk && f.style_id == id &&
            !taken.contains(i)) {
          lead.push_back(src[i]);
          taken.insert(i);
        }
      } else if (src[i].kind == kKindHideWhenLink) {
        HideWhenLink l;
        if (DecodeHideWhenLink(src[i].content, &l) == kRtOk && l.style_id == id &&
            !taken.contains(i)) {
          lead.push_back(src[i]);
          taken.insert(i);
          linked_formulas.insert(l.formula_id);
        }
      }
    }
  }
  for (size_t i = 0; i < src.size(); ++i) {
    HideWhenFormula f;
    if (src[i].kind == kKindHideWhenFormula && !taken.contains(i) &&
        DecodeHideWhenFormula(src[i].content, &f) == kRtOk &&
        linked_formulas.contains(f.formula_id) && (i + 1 < first || i + 1 > last)) {
      lead.push_back(src[i]);
      taken.insert(i);
    }
  }
  lead.insert(lead.end(), range.begin(), range.end());

  if (int s = Records(*target, &dst); s != kRtOk) return s;
  Bytes out = *target;
  Merger m(&out);
  if (int s = m.Reserve(dst); s != kRtOk) return s;
  if (int s = m.AppendCopy(lead); s != kRtOk) return s;
  *target = std::move(out);
  return kRtOk;
}

int CompositeConvertDocument(ByteSpan form_body, const FieldValueSource& values, Bytes* target) {
  std::vector<RecordView> form, dst;
  if (int s = Records(form_body, &form); s != kRtOk) return s;
  if (int s = Records(*target, &dst); s != kRtOk) return s;
  Bytes out = *target;
  Merger m(&out);
  if (int s = m.Reserve(dst); s != kRtOk) return s;
  if (int s = m.Reserve(form); s != kRtOk) return s;
  for (const RecordView& r : form) {
    int s = kRtOk;
    if (r.kind != kKindField) {
      s = m.AppendVerbatim(r);
    } else {
      Field field;
      if (DecodeField(r.content, &field) != kRtOk) return kRtCorrupt;
      FieldValue value;
      if (!values || !values(field.name, &value)) continue;
      if (value.is_rich_text) {
        std::vector<RecordView> inner;
        s = Records(value.rich_text, &inner);
        if (s == kRtOk) s = m.AppendCopy(inner);
      } else {
        s = AppendTextRuns(value.text, field.font, &out);
      }
    }
    if (s != kRtOk) return s;
  }
  *target = std::move(out);
  return kRtOk;
}

int CompositeListText(ByteSpan item, std::string_view line_separator, std::string* text) {
  std::vector<RecordView> records;
  if (int s = Records(item, &records); s != kRtOk) return s;
  std::string out;
  auto separate = [&] {
    if (!out.empty() && !out.ends_with(line_separator)) out += line_separator;
  };
  for (const RecordView& r : records) {
    switch (r.kind) {
      case kKindTextRun: {
        TextRun run;
        if (DecodeTextRun(r.content, &run) != kRtOk) return kRtCorrupt;
        for (char c : run.text) {
          if (c == '\0') {
            separate();
          } else {
            out.push_back(c);
          }
        }
        break;
      }
      case kKindParagraphBreak:
        separate();
        break;
      case kKindSection: {
        Section section;
        if (DecodeSection(r.content, &section) != kRtOk) return kRtCorrupt;
        separate();
        out += section.title;
        separate();
        break;
      }
      case kKindButton: {
        Button button;
        if (DecodeButton(r.content, &button) != kRtOk) return kRtCorrupt;
        out += button.label;
        separate();
        break;
      }
      case kKindRaw: {
        NativeRecord n;
        if (SplitNativeRecord(r.content, &n) == kRtOk && n.signature == kSigTableCell) separate();
        break;
      }
      default:
        break;
    }
  }
  if (!line_separator.empty() && out.ends_with(line_separator)) {
    out.resize(out.size() - line_separator.size());
  }
  *text = std::move(out);
  return kRtOk;
}

int CDRecordCount(ByteSpan item, uint32_t* count) {
  std::vector<RecordView> records;
  if (int s = Records(item, &records); s != kRtOk) return s;
  *count = static_cast<uint32_t>(records.size());
  return kRtOk;
}

int CDRecordGetInfo(ByteSpan item, uint32_t number, RecordInfo* info) {
  std::vector<RecordView> records;
  if (int s = Records(item, &records); s != kRtOk) return s;
  return CDRecordGetInfo(records, number, info);
}

int CDRecordGetInfo(const std::vector<RecordView>& records, uint32_t number, RecordInfo* info) {
  if (number < 1 || number > records.size()) return kRtNoSuchRecord;
  const RecordView& r = records[number - 1];
  info->kind = r.kind;
  info->length = static_cast<uint32_t>(r.content.size());
  info->signature = 0;
  if (r.kind == kKindRaw) {
    NativeRecord n;
    if (SplitNativeRecord(r.content, &n) != kRtOk) return kRtCorrupt;
    info->signature = n.signature;
  }
  return kRtOk;
}

int CDRecordGetPointer(ByteSpan item, uint32_t number, Bytes* content) {
  std::vector<RecordView> records;
  if (int s = Records(item, &records); s != kRtOk) return s;
  return CDRecordGetPointer(records, number, content);
}

int CDRecordGetPointer(const std::vector<RecordView>& records, uint32_t number, Bytes* content) {
  if (number < 1 || number > records.size()) return kRtNoSuchRecord;
  content->assign(records[number - 1].content.begin(), records[number - 1].content.end());
  return kRtOk;
}

int CDRecordUpdate(Bytes* item, uint32_t number, ByteSpan content) {
  std::vector<RecordView> records;
  if (int s = Records(*item, &records); s != kRtOk) return s;
  if (number < 1 || number > records.size()) return kRtNoSuchRecord;
  uint16_t kind = records[number - 1].kind;
  if (int s = ValidateRecord(kind, content); s != kRtOk) return s;
  Bytes out;
  for (uint32_t i = 0; i < records.size(); ++i) {
    ByteSpan c = i + 1 == number ? content : records[i].content;
    if (int s = AppendRecord(&out, records[i].kind, c); s != kRtOk) return s;
  }
  *item = std::move(out);
  return kRtOk;
}

int TextToRichText(std::string_view text, Bytes* item) {
  Bytes out, content;
  ParagraphStyle style;
  style.style_id = 1;
  if (int s = EncodeParagraphStyle(style, &content); s != kRtOk) return s;
  if (int s = AppendRecord(&out, kKindParagraphStyle, content); s != kRtOk) return s;
  if (int s = EncodeStyleRef(StyleRef{1}, &content); s != kRtOk) return s;
  if (int s = AppendRecord(&out, kKindStyleRef, content); s != kRtOk) return s;
  if (int s = AppendTextRuns(text, FontId{}, &out); s != kRtOk) return s;
  *item = std::move(out);
  return kRtOk;
}

bool IsPlainRichText(ByteSpan item) {
  std::vector<RecordView> records;
  if (Records(item, &records) != kRtOk) return false;
  for (const RecordView& r : records) {
    switch (r.kind) {
      case kKindParagraphStyle:
      case kKindStyleRef:
      case kKindParagraphBreak:
        break;
      case kKindTextRun: {
        TextRun run;
        if (DecodeTextRun(r.content, &run) != kRtOk || !(run.font == FontId{})) return false;
        break;
      }
      default:
        return false;
    }
  }
  return true;
}

}  // namespace ledra::richtext
