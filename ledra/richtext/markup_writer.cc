// The markup writer: the records of an item into markup. Each record is
// written in its typed form only when encoding that form again gives the
// record's exact bytes; otherwise it is written generically ({raw} or
// {record}), so that writing and parsing again never changes an item.
#include <vector>

#include "ledra/richtext/formula_hook.h"
#include "ledra/richtext/image.h"
#include "ledra/richtext/item.h"
#include "ledra/richtext/markup.h"
#include "ledra/richtext/raw_records.h"
#include "ledra/richtext/records.h"
#include "ledra/richtext/status.h"

namespace ledra::richtext {
namespace {

bool Same(const Bytes& encoded, ByteSpan original) {
  return encoded.size() == original.size() &&
         std::equal(encoded.begin(), encoded.end(), original.begin());
}

// Escapes text for the body of the markup or for a quoted value.
std::string Escape(std::string_view text, bool quoted) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    if (c == '\\' || c == '{' || c == '}' || (quoted && c == '"')) {
      out.push_back('\\');
      out.push_back(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (u < 0x20 && c != '\t') {
      out += "\\x";
      out.push_back(kHex[u >> 4]);
      out.push_back(kHex[u & 15]);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string Quote(std::string_view text) {
  return "\"" + Escape(text, true) + "\"";
}

std::string Hex(unsigned v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%x", v);
  return buf;
}

class Writer {
 public:
  Writer(const std::vector<RecordView>& records, const MarkupWriteOptions& options)
      : records_(records), options_(options) {}

  int Run(std::string* markup) {
    for (size_t i = 0; i < records_.size(); i = next_) {
      next_ = i + 1;
      if (int s = Record(i); s != kRtOk) return s;
    }
    *markup = std::move(out_);
    return kRtOk;
  }

 private:
  // Writes a tag; block tags end their line so that dumps read well.
  void TagOut(const std::string& body, bool block) {
    out_ += "{" + body + "}";
    if (block) {
      out_ += "\n";
      at_line_start_ = true;
    } else {
      at_line_start_ = false;
    }
  }

  // Body text. The parser drops blanks at the start of a line, so such a
  // blank is written escaped.
  void TextOut(std::string_view text) {
    std::string e = Escape(text, false);
    if (at_line_start_ && !e.empty() && (e[0] == ' ' || e[0] == '\t')) {
      out_ += e[0] == ' ' ? "\\x20" : "\\t";
      e.erase(0, 1);
    }
    out_ += e;
    if (!text.empty()) at_line_start_ = false;
  }

  void FontOut(const FontId& f) {
    if (f == font_) return;
    std::string t = "font";
    static constexpr std::pair<const char*, uint8_t> kAttrs[] = {
        {"b", kFontBold},   {"i", kFontItalic},        {"u", kFontUnderline},
        {"s", kFontStrike}, {"sup", kFontSuperscript}, {"sub", kFontSubscript}};
    uint8_t rest = f.attributes;
    for (auto [word, bit] : kAttrs) {
      if (f.attributes & bit) {
        t += std::string(" ") + word;
        rest &= static_cast<uint8_t>(~bit);
      }
    }
    if (rest != 0) t += " bits=" + Hex(rest);
    if (f.face != 1) t += " face=" + std::to_string(f.face);
    if (f.colour != 0) t += " color=" + std::to_string(f.colour);
    if (f.size != 10) t += " size=" + std::to_string(f.size);
    TagOut(t, false);
    font_ = f;
  }

  void Generic(const RecordView& r) {
    TagOut("record kind=" + std::to_string(r.kind) + " hex=" + HexEncode(r.content), true);
  }

  // A decoded text run that follows record i in the same font would be
  // merged into it by the parser unless the run is ended explicitly.
  bool NextIsRunInFont(size_t i, const FontId& font) const {
    if (i + 1 >= records_.size() || records_[i + 1].kind != kKindTextRun) return false;
    TextRun next;
    return DecodeTextRun(records_[i + 1].content, &next) == kRtOk && next.font == font;
  }

  int Record(size_t i) {
    const RecordView& r = records_[i];
    Bytes enc;
    switch (r.kind) {
      case kKindRaw:
        return Raw(i);
      case kKindParagraphStyle: {
        ParagraphStyle p;
        if (DecodeParagraphStyle(r.content, &p) != kRtOk ||
            EncodeParagraphStyle(p, &enc) != kRtOk || !Same(enc, r.content)) {
          break;
        }
        ParDef(i, p);
        return kRtOk;
      }
      case kKindStyleRef: {
        StyleRef v;
        if (DecodeStyleRef(r.content, &v) != kRtOk) break;
        TagOut("use " + std::to_string(v.style_id), false);
        return kRtOk;
      }
      case kKindParagraphBreak:
        if (!r.content.empty()) break;
        TagOut("p", true);
        return kRtOk;
      case kKindHotspotEnd:
        if (!r.content.empty()) break;
        TagOut("/hotspot", false);
        return kRtOk;
      case kKindTextRun: {
        TextRun run;
        if (DecodeTextRun(r.content, &run) != kRtOk) break;
        FontOut(run.font);
        size_t at = 0;
        for (size_t nul; (nul = run.text.find('\0', at)) != std::string::npos; at = nul + 1) {
          TextOut(std::string_view(run.text).substr(at, nul - at));
          TagOut("br", false);
        }
        TextOut(std::string_view(run.text).substr(at));
        if (run.text.empty() || NextIsRunInFont(i, run.font)) TagOut("run", false);
        return kRtOk;
      }
      case kKindLink: {
        Link l;
        if (DecodeLink(r.content, &l) != kRtOk) break;
        size_t nul = l.text.find('\0');
        if (nul == std::string::npos) break;  // the generic form keeps it exactly
        std::string t = "link ";
        t += l.link_kind == kLinkDocument   ? "document"
             : l.link_kind == kLinkView     ? "view"
             : l.link_kind == kLinkDatabase ? "database"
                                            : "kind=" + std::to_string(l.link_kind);
        t += " replica=" + HexEncode(l.replica_id) + " viewid=" + HexEncode(l.view_unid) +
             " docid=" + HexEncode(l.document_unid);
        t += " comment=" + Quote(std::string_view(l.text).substr(0, nul));
        t += " hint=" + Quote(std::string_view(l.text).substr(nul + 1));
        TagOut(t, false);
        return kRtOk;
      }
      case kKindField: {
        Field f;
        if (DecodeField(r.content, &f) != kRtOk) break;
        FontOut(f.font);
        TagOut("field " + Quote(f.name) + " type=" + std::to_string(f.data_type), false);
        return kRtOk;
      }
      case kKindHotspotBegin: {
        HotspotBegin h;
        if (DecodeHotspotBegin(r.content, &h) != kRtOk) break;
        TagOut(Hotspot(h), false);
        return kRtOk;
      }
      case kKindButton: {
        Button b;
        if (DecodeButton(r.content, &b) != kRtOk) break;
        TagOut("button " + Quote(b.label), false);
        return kRtOk;
      }
      case kKindHideWhenFormula: {
        HideWhenFormula h;
        if (DecodeHideWhenFormula(r.content, &h) != kRtOk) break;
        TagOut("hidewhen id=" + std::to_string(h.formula_id) +
                   " style=" + std::to_string(h.style_id) + " " + Quote(h.formula),
               true);
        return kRtOk;
      }
      case kKindHideWhenLink: {
        HideWhenLink h;
        if (DecodeHideWhenLink(r.content, &h) != kRtOk) break;
        TagOut("hidewhen-link formula=" + std::to_string(h.formula_id) +
                   " style=" + std::to_string(h.style_id),
               true);
        return kRtOk;
      }
      case kKindSection: {
        Section s;
        if (DecodeSection(r.content, &s) != kRtOk) break;
        FontOut(s.font);
        std::string t = "section " + Quote(s.title);
        if (s.flags != 0) t += " flags=" + std::to_string(s.flags);
        TagOut(t, true);
        return kRtOk;
      }
      default:
        break;
    }
    Generic(r);
    return kRtOk;
  }

  void ParDef(size_t i, const ParagraphStyle& p) {
    std::string t = "pardef " + std::to_string(p.style_id);
    switch (p.alignment) {
      case kAlignLeft:
        break;
      case kAlignRight:
        t += " align=right";
        break;
      case kAlignFull:
        t += " align=full";
        break;
      case kAlignCentre:
        t += " align=center";
        break;
      default:
        t += " align=" + std::to_string(p.alignment);
    }
    if (p.left_margin) t += " left=" + std::to_string(p.left_margin);
    if (p.first_line_margin) t += " first=" + std::to_string(p.first_line_margin);
    if (p.space_before) t += " before=" + std::to_string(p.space_before);
    if (p.space_after) t += " after=" + std::to_string(p.space_after);
    uint8_t hide = p.hide_flags, list = p.list_flags;
    if (hide & kHideWhenReading) t += " hideread";
    if (hide & kHideWhenEditing) t += " hideedit";
    hide &= static_cast<uint8_t>(~(kHideWhenReading | kHideWhenEditing));
    if (hide) t += " hidebits=" + Hex(hide);
    if (list & kListBullet) t += " bullet";
    if (list & kListNumbered) t += " numbered";
    // The style's own formula right after it folds into hidewhen="...".
    HideWhenFormula h;
    if ((list & kListHasHideWhen) && i + 1 < records_.size() &&
        records_[i + 1].kind == kKindHideWhenFormula &&
        DecodeHideWhenFormula(records_[i + 1].content, &h) == kRtOk && h.formula_id == p.style_id &&
        h.style_id == p.style_id) {
      t += " hidewhen=" + Quote(h.formula);
      next_ = i + 2;
    } else if (list & kListHasHideWhen) {
      t += " formula";
    }
    list &= static_cast<uint8_t>(~(kListBullet | kListNumbered | kListHasHideWhen));
    if (list) t += " listbits=" + Hex(list);
    TagOut(t, true);
  }

  static std::string Hotspot(const HotspotBegin& h) {
    uint32_t flags = h.flags;
    std::string t = "hotspot ";
    switch (h.type) {
      case kHotspotButton:
        t += "button formula=" + Quote(h.text);
        break;
      case kHotspotAttachment:
        t += "attachment file=" + Quote(h.text);
        break;
      case kHotspotLink:
        t += "link";
        if (!h.text.empty()) return "hotspot type=11 text=" + Quote(h.text) + FlagText(flags);
        break;
      case kHotspotSubform:
        if (flags & kHotspotSubformFormula) {
          t += "subform formula=" + Quote(h.text);
          flags &= ~kHotspotSubformFormula;
        } else {
          t += "subform name=" + Quote(h.text);
        }
        break;
      default:
        return "hotspot type=" + std::to_string(h.type) + " text=" + Quote(h.text) +
               FlagText(flags);
    }
    return t + FlagText(flags);
  }

  static std::string FlagText(uint32_t flags) { return flags ? " flags=" + Hex(flags) : ""; }

  int Raw(size_t i) {
    const RecordView& r = records_[i];
    NativeRecord n;
    if (SplitNativeRecord(r.content, &n) != kRtOk) {
      Generic(r);
      return kRtOk;
    }
    Bytes enc;
    switch (n.signature) {
      case kSigImageHeader:
        if (int s = Image(i); s != kFallBack) return s;
        break;
      case kSigTableHeader: {
        TableHeader t;
        if (ReadTableHeader(r.content, &t) != kRtOk) break;
        std::string s = "table";
        if (t.flags & kTableFitsWindow) s += " fit";
        if (t.left_margin) s += " left=" + std::to_string(t.left_margin);
        if (t.right_margin) s += " right=" + std::to_string(t.right_margin);
        if (t.flags & ~kTableFitsWindow) s += " flags=" + Hex(t.flags & ~kTableFitsWindow);
        TagOut(s, true);
        return kRtOk;
      }
      case kSigTableCell: {
        TableCell c;
        if (ReadTableCell(r.content, &c) != kRtOk) break;
        std::string s = "cell row=" + std::to_string(c.row) +
                        " left=" + std::to_string(c.left_edge) +
                        " right=" + std::to_string(c.right_edge);
        if (c.border_width) s += " border=" + std::to_string(c.border_width);
        if (c.column_span != 1) s += " span=" + std::to_string(c.column_span);
        if (c.flags & kCellHasBackground) {
          s += " bg=" + std::to_string(c.background_colour);
        } else if (c.background_colour) {
          s += " colour=" + std::to_string(c.background_colour);
        }
        if (c.flags & kCellNotShown) s += " hidden";
        uint16_t rest = c.flags & static_cast<uint16_t>(~(kCellHasBackground | kCellNotShown));
        if (rest) s += " flags=" + Hex(rest);
        TagOut(s, true);
        return kRtOk;
      }
      case kSigTableEnd:
        if (!n.payload.empty()) break;
        TagOut("/table", true);
        return kRtOk;
      case kSigIgnoreBegin:
      case kSigIgnoreEnd:
        if (!n.payload.empty()) break;
        TagOut(n.signature == kSigIgnoreBegin ? "ignore" : "/ignore", true);
        return kRtOk;
      case kSigKeywordLayout: {
        KeywordLayout k;
        if (ReadKeywordLayout(r.content, &k) != kRtOk) break;
        std::string s = "keywords columns=" + std::to_string(k.Columns());
        if (k.flags & ~(7u << 25)) s += " flags=" + Hex(k.flags & ~(7u << 25));
        TagOut(s, true);
        return kRtOk;
      }
      case kSigAction: {
        ActionRecord a;
        if (ReadAction(r.content, &a) != kRtOk || WriteAction(a, &enc) != kRtOk ||
            !Same(enc, r.content)) {
          break;
        }
        TagOut(Action(a), true);
        return kRtOk;
      }
      default:
        break;
    }
    TagOut("raw sig=" + Hex(n.signature) + " hex=" + HexEncode(n.payload), true);
    return kRtOk;
  }

  static std::string Action(const ActionRecord& a) {
    std::string t = "action " + Quote(a.title);
    if (a.type != kActionFormula) t += " type=" + std::to_string(a.type);
    uint32_t flags = a.flags;
    if (flags & kActionShowReading) t += " read";
    if (flags & kActionShowEditing) t += " edit";
    if (flags & kActionShown) t += " shown";
    flags &= ~(kActionShowReading | kActionShowEditing | kActionShown);
    if (flags) t += " flags=" + Hex(flags);
    // formula= only when loading it again stores the same bytes.
    std::string text;
    uint8_t form = 0;
    Bytes again;
    if (a.formula_form == kFormulaAsText && a.formula.empty()) {
      // nothing: no formula is the default
    } else if (FormulaText(a.formula_form, a.formula, &text) == kRtOk &&
               StoreFormula(text, &form, &again) == kRtOk && form == a.formula_form &&
               again == a.formula) {
      t += " formula=" + Quote(text);
    } else if (a.formula_form == kFormulaAsText) {
      t += " formulatext=" + Quote(std::string(a.formula.begin(), a.formula.end()));
    } else {
      t += " compiled=" + HexEncode(a.formula);
    }
    return t;
  }

  // An image header and its segments as {image}, when our image writer
  // gives back exactly these records; kFallBack to write them as {raw}.
  static constexpr int kFallBack = -1;
  int Image(size_t i) {
    ImageHeader h;
    if (ReadImageHeader(records_[i].content, &h) != kRtOk) return kFallBack;
    if (h.segment_count > records_.size() - 1 - i) return kFallBack;
    Bytes tiff, original;
    if (AppendRecord(&original, records_[i].kind, records_[i].content) != kRtOk) return kFallBack;
    for (size_t k = 1; k <= h.segment_count; ++k) {
      const RecordView& seg = records_[i + k];
      NativeRecord n;
      if (seg.kind != kKindRaw || SplitNativeRecord(seg.content, &n) != kRtOk ||
          n.signature != kSigImageData) {
        return kFallBack;
      }
      tiff.insert(tiff.end(), n.payload.begin(), n.payload.end());
      if (AppendRecord(&original, seg.kind, seg.content) != kRtOk) return kFallBack;
    }
    Bytes again;
    if (AppendImage(tiff, h.width_twips, h.height_twips, &again) != kRtOk || again != original) {
      return kFallBack;
    }
    std::string t = "image";
    if (options_.image_sink) {
      std::string src;
      if (int s = options_.image_sink(tiff, &src); s != 0) return s;
      t += " src=" + Quote(src);
    } else {
      t += " data=" + Base64Encode(tiff);
    }
    t += " width=" + std::to_string(h.width_twips) + " height=" + std::to_string(h.height_twips);
    TagOut(t, true);
    next_ = i + 1 + h.segment_count;
    return kRtOk;
  }

  const std::vector<RecordView>& records_;
  const MarkupWriteOptions& options_;
  std::string out_;
  FontId font_;
  size_t next_ = 0;
  bool at_line_start_ = true;
};

}  // namespace

int WriteMarkup(ByteSpan item, const MarkupWriteOptions& options, std::string* markup) {
  std::vector<RecordView> records;
  if (int s = ParseItem(item, &records); s != kRtOk) return s;
  Writer w(records, options);
  return w.Run(markup);
}

}  // namespace ledra::richtext
