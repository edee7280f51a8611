// The markup parser: text and {tags} into the records of an item.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
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

struct Arg {
  std::string key;  // empty for a positional argument
  std::string value;
  bool quoted = false;
  bool used = false;
};

// The arguments of one tag. Every argument must be consumed by the tag's
// handler, so a misspelt attribute is an error, not silently dropped.
class Args {
 public:
  std::vector<Arg> list;
  std::string error;

  // A bare positional word (a flag such as "bold").
  bool Word(std::string_view word) {
    for (Arg& a : list) {
      if (a.key.empty() && !a.quoted && !a.used && a.value == word) return a.used = true;
    }
    return false;
  }
  // The first unused positional argument (quoted or bare).
  std::optional<std::string> Positional() {
    for (Arg& a : list) {
      if (a.key.empty() && !a.used) {
        a.used = true;
        return a.value;
      }
    }
    return std::nullopt;
  }
  std::optional<std::string> Text(std::string_view key) {
    for (Arg& a : list) {
      if (a.key == key && !a.used) {
        a.used = true;
        return a.value;
      }
    }
    return std::nullopt;
  }
  bool Has(std::string_view key) const {
    for (const Arg& a : list) {
      if (a.key == key) return true;
    }
    return false;
  }
  // A number (decimal or 0x hex) no greater than max; fallback when absent.
  uint64_t Number(std::string_view key, uint64_t max, uint64_t fallback) {
    std::optional<std::string> v = Text(key);
    if (!v) return fallback;
    uint64_t n = 0;
    if (!ParseNumber(*v, max, &n)) Fail("bad number for " + std::string(key) + ": " + *v);
    return n;
  }
  void Fail(const std::string& message) {
    if (error.empty()) error = message;
  }
  void CheckAllUsed() {
    for (const Arg& a : list) {
      if (!a.used) Fail("unexpected argument " + (a.key.empty() ? a.value : a.key));
    }
  }

  static bool ParseNumber(std::string_view text, uint64_t max, uint64_t* out) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
      base = 16;
      text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 20) return false;
    uint64_t n = 0;
    for (char c : text) {
      int d = -1;
      if (c >= '0' && c <= '9')
        d = c - '0';
      else if (base == 16 && c >= 'a' && c <= 'f')
        d = c - 'a' + 10;
      else if (base == 16 && c >= 'A' && c <= 'F')
        d = c - 'A' + 10;
      if (d < 0) return false;
      if (n > max / static_cast<uint64_t>(base)) return false;
      n *= static_cast<uint64_t>(base);
      if (n > max - static_cast<uint64_t>(d) || static_cast<uint64_t>(d) > max) return false;
      n += static_cast<uint64_t>(d);
    }
    *out = n;
    return true;
  }
};

class Parser {
 public:
  Parser(std::string_view src, const MarkupParseOptions& options) : src_(src), options_(options) {}

  int Run(Bytes* item, MarkupError* error) {
    int s = Parse();
    if (s == kRtOk) s = FlushRun(false);
    if (s != kRtOk) {
      error->line = line_;
      error->message = message_.empty() ? RtStatusText(s) : message_;
      return s;
    }
    *item = std::move(item_);
    return kRtOk;
  }

 private:
  int Fail(const std::string& message, int status = kRtBadMarkup) {
    if (message_.empty()) message_ = message;
    return status;
  }

  int Parse() {
    while (pos_ < src_.size()) {
      char c = src_[pos_];
      if (c == '\n' || c == '\r') {
        // A line end and the indentation after it are layout only.
        if (c == '\n') ++line_;
        ++pos_;
        while (pos_ < src_.size() && (src_[pos_] == ' ' || src_[pos_] == '\t')) ++pos_;
      } else if (c == '\\') {
        std::string out;
        if (!Escape(&out)) return Fail("bad escape");
        pending_ += out;
        has_pending_ = true;
      } else if (c == '{') {
        ++pos_;
        if (int s = Tag(); s != kRtOk) return s;
      } else if (c == '}') {
        return Fail("unmatched }");
      } else {
        pending_.push_back(c);
        has_pending_ = true;
        ++pos_;
      }
    }
    return kRtOk;
  }

  // At a backslash: appends the escaped byte(s).
  bool Escape(std::string* out) {
    if (pos_ + 1 >= src_.size()) return false;
    char e = src_[pos_ + 1];
    pos_ += 2;
    switch (e) {
      case '\\':
      case '{':
      case '}':
      case '"':
        out->push_back(e);
        return true;
      case 'n':
        out->push_back('\n');
        return true;
      case 'r':
        out->push_back('\r');
        return true;
      case 't':
        out->push_back('\t');
        return true;
      case 'x': {
        if (pos_ + 2 > src_.size()) return false;
        Bytes b;
        if (!HexDecode(src_.substr(pos_, 2), &b)) return false;
        out->push_back(static_cast<char>(b[0]));
        pos_ += 2;
        return true;
      }
      default:
        return false;
    }
  }

  static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

  void SkipSpace() {
    while (pos_ < src_.size() && IsSpace(src_[pos_])) {
      if (src_[pos_] == '\n') ++line_;
      ++pos_;
    }
  }

  bool Quoted(std::string* out) {
    ++pos_;  // the opening quote
    while (pos_ < src_.size()) {
      char c = src_[pos_];
      if (c == '"') {
        ++pos_;
        return true;
      }
      if (c == '\\') {
        if (!Escape(out)) return false;
        continue;
      }
      if (c == '\n') ++line_;
      out->push_back(c);
      ++pos_;
    }
    return false;
  }

  // A bare word; a value after "key=" may itself hold '=' (Base64).
  std::string Word(bool value = false) {
    size_t start = pos_;
    while (pos_ < src_.size() && !IsSpace(src_[pos_]) && src_[pos_] != '}' &&
           (value || src_[pos_] != '=') && src_[pos_] != '{' && src_[pos_] != '"') {
      ++pos_;
    }
    return std::string(src_.substr(start, pos_ - start));
  }

  int Tag() {
    std::string name = Word();
    if (name.empty()) return Fail("tag without a name");
    Args args;
    for (;;) {
      SkipSpace();
      if (pos_ >= src_.size()) return Fail("unterminated tag {" + name);
      char c = src_[pos_];
      if (c == '}') {
        ++pos_;
        break;
      }
      Arg a;
      if (c == '"') {
        if (!Quoted(&a.value)) return Fail("unterminated text in {" + name);
        a.quoted = true;
      } else {
        a.value = Word();
        if (a.value.empty()) return Fail("unexpected character in {" + name);
        if (pos_ < src_.size() && src_[pos_] == '=') {
          ++pos_;
          a.key = std::move(a.value);
          a.value.clear();
          if (pos_ < src_.size() && src_[pos_] == '"') {
            if (!Quoted(&a.value)) return Fail("unterminated text in {" + name);
            a.quoted = true;
          } else {
            a.value = Word(true);
          }
        }
      }
      args.list.push_back(std::move(a));
    }
    if (name == "#") return kRtOk;  // a comment
    if (name == "br") {
      pending_.push_back('\0');
      has_pending_ = true;
      return args.list.empty() ? kRtOk : Fail("{br} takes no arguments");
    }
    if (int s = FlushRun(name == "run"); s != kRtOk) return s;
    int s = Handle(name, args);
    if (s != kRtOk) return s;
    args.CheckAllUsed();
    if (!args.error.empty()) return Fail(args.error + " in {" + name + "}");
    return kRtOk;
  }

  // Emits the text collected since the last tag as one run (an empty run
  // only at an explicit {run}).
  int FlushRun(bool explicit_end) {
    if (!has_pending_ && !explicit_end) return kRtOk;
    Bytes content;
    if (EncodeTextRun(TextRun{font_, pending_}, &content) != kRtOk) {
      return Fail("text run longer than 65535 bytes", kRtTooLarge);
    }
    pending_.clear();
    has_pending_ = false;
    return Add(kKindTextRun, content);
  }

  int Add(uint16_t kind, const Bytes& content) { return AppendRecord(&item_, kind, content); }

  int AddEncoded(uint16_t kind, int encode_status, const Bytes& content) {
    if (encode_status != kRtOk) return Fail("text longer than 65535 bytes", encode_status);
    return Add(kind, content);
  }

  int AddRaw(int write_status, const Bytes& raw) {
    if (write_status != kRtOk) return Fail("value too large", write_status);
    return Add(kKindRaw, raw);
  }

  std::string Required(Args& args, const char* what) {
    std::optional<std::string> v = args.Positional();
    if (!v) args.Fail(std::string("missing ") + what);
    return v.value_or("");
  }

  template <size_t N>
  void HexArray(Args& args, const char* key, std::array<uint8_t, N>* out) {
    std::optional<std::string> v = args.Text(key);
    if (!v) return;
    Bytes b;
    if (!HexDecode(*v, &b) || b.size() != N) {
      args.Fail(std::string("bad ") + key + " (" + std::to_string(N * 2) + " hex digits)");
      return;
    }
    std::copy(b.begin(), b.end(), out->begin());
  }

  int Handle(const std::string& name, Args& args) {
    Bytes content;
    if (name == "run") return kRtOk;
    if (name == "p") return Add(kKindParagraphBreak, content);
    if (name == "font") {
      FontId f;
      f.face = static_cast<uint8_t>(args.Number("face", 255, 1));
      f.colour = static_cast<uint8_t>(args.Number("color", 255, 0));
      f.size = static_cast<uint8_t>(args.Number("size", 255, 10));
      f.attributes = static_cast<uint8_t>(args.Number("bits", 255, 0));
      static constexpr std::pair<const char*, uint8_t> kAttrs[] = {
          {"b", kFontBold},   {"i", kFontItalic},        {"u", kFontUnderline},
          {"s", kFontStrike}, {"sup", kFontSuperscript}, {"sub", kFontSubscript}};
      for (auto [word, bit] : kAttrs) {
        if (args.Word(word)) f.attributes |= bit;
      }
      font_ = f;
      return kRtOk;
    }
    if (name == "pardef") return ParDef(args);
    if (name == "use") {
      uint64_t id = 0;
      if (!Args::ParseNumber(Required(args, "style id"), 0xFFFF, &id)) args.Fail("bad style id");
      return AddEncoded(kKindStyleRef,
                        EncodeStyleRef(StyleRef{static_cast<uint16_t>(id)}, &content), content);
    }
    if (name == "link") {
      Link l;
      l.link_kind = args.Word("document")   ? kLinkDocument
                    : args.Word("view")     ? kLinkView
                    : args.Word("database") ? kLinkDatabase
                                            : static_cast<uint16_t>(args.Number("kind", 0xFFFF, 0));
      if (l.link_kind == 0 && !args.Has("kind")) {
        args.Fail("link needs document, view, database or kind=");
      }
      HexArray(args, "replica", &l.replica_id);
      HexArray(args, "viewid", &l.view_unid);
      HexArray(args, "docid", &l.document_unid);
      l.text = args.Text("comment").value_or("");
      l.text.push_back('\0');
      l.text += args.Text("hint").value_or("");
      return AddEncoded(kKindLink, EncodeLink(l, &content), content);
    }
    if (name == "field") {
      Field f;
      f.name = Required(args, "field name");
      f.data_type = static_cast<uint16_t>(args.Number("type", 0xFFFF, 1));
      f.font = font_;
      return AddEncoded(kKindField, EncodeField(f, &content), content);
    }
    if (name == "hotspot") return Hotspot(args);
    if (name == "button") {
      return AddEncoded(kKindButton, EncodeButton(Button{Required(args, "label")}, &content),
                        content);
    }
    if (name == "/hotspot") return Add(kKindHotspotEnd, content);
    if (name == "hidewhen") {
      HideWhenFormula h;
      h.formula_id = static_cast<uint16_t>(args.Number("id", 0xFFFF, 0));
      h.style_id = static_cast<uint16_t>(args.Number("style", 0xFFFF, 0));
      h.formula = Required(args, "formula");
      return AddEncoded(kKindHideWhenFormula, EncodeHideWhenFormula(h, &content), content);
    }
    if (name == "hidewhen-link") {
      HideWhenLink h;
      h.formula_id = static_cast<uint16_t>(args.Number("formula", 0xFFFF, 0));
      h.style_id = static_cast<uint16_t>(args.Number("style", 0xFFFF, 0));
      return AddEncoded(kKindHideWhenLink, EncodeHideWhenLink(h, &content), content);
    }
    if (name == "section") {
      Section sec;
      sec.title = Required(args, "title");
      sec.flags = static_cast<uint16_t>(args.Number("flags", 0xFFFF, 0));
      sec.font = font_;
      return AddEncoded(kKindSection, EncodeSection(sec, &content), content);
    }
    if (name == "table") {
      TableHeader t;
      t.left_margin = static_cast<uint16_t>(args.Number("left", 0xFFFF, 0));
      t.right_margin = static_cast<uint16_t>(args.Number("right", 0xFFFF, 0));
      t.flags = static_cast<uint32_t>(args.Number("flags", 0xFFFFFFFF, 0));
      if (args.Word("fit")) t.flags |= kTableFitsWindow;
      return AddRaw(WriteTableHeader(t, &content), content);
    }
    if (name == "cell") {
      TableCell c;
      c.row = static_cast<uint16_t>(args.Number("row", 0xFFFF, 1));
      c.left_edge = static_cast<uint32_t>(args.Number("left", 0xFFFFFFFF, 0));
      c.right_edge = static_cast<uint32_t>(args.Number("right", 0xFFFFFFFF, 0));
      c.border_width = static_cast<uint16_t>(args.Number("border", 0xFFFF, 0));
      c.column_span = static_cast<uint16_t>(args.Number("span", 0xFFFF, 1));
      c.flags = static_cast<uint16_t>(args.Number("flags", 0xFFFF, 0));
      if (args.Has("bg")) {
        c.flags |= kCellHasBackground;
        c.background_colour = static_cast<uint16_t>(args.Number("bg", 0xFFFF, 0));
      } else {
        c.background_colour = static_cast<uint16_t>(args.Number("colour", 0xFFFF, 0));
      }
      if (args.Word("hidden")) c.flags |= kCellNotShown;
      return AddRaw(WriteTableCell(c, &content), content);
    }
    if (name == "/table") return AddRaw(BuildNativeRecord(kSigTableEnd, {}, &content), content);
    if (name == "ignore") return AddRaw(BuildNativeRecord(kSigIgnoreBegin, {}, &content), content);
    if (name == "/ignore") return AddRaw(BuildNativeRecord(kSigIgnoreEnd, {}, &content), content);
    if (name == "keywords") {
      KeywordLayout k;
      uint64_t columns = args.Number("columns", 8, 1);
      if (columns < 1) args.Fail("columns must be 1 to 8");
      k.flags = static_cast<uint32_t>(args.Number("flags", 0xFFFFFFFF, 0)) & ~(7u << 25);
      k.flags |= static_cast<uint32_t>((columns == 0 ? 0 : columns - 1) << 25);
      return AddRaw(WriteKeywordLayout(k, &content), content);
    }
    if (name == "action") return Action(args);
    if (name == "image") return Image(args);
    if (name == "raw") {
      uint16_t sig = static_cast<uint16_t>(args.Number("sig", 0xFFFF, 0));
      Bytes payload;
      if (!HexDecode(args.Text("hex").value_or(""), &payload)) args.Fail("bad hex");
      return AddRaw(BuildNativeRecord(sig, payload, &content), content);
    }
    if (name == "record") {
      uint16_t kind = static_cast<uint16_t>(args.Number("kind", 0xFFFF, 0));
      if (!HexDecode(args.Text("hex").value_or(""), &content)) args.Fail("bad hex");
      // A raw record must keep its own header whole, or the item would
      // not index.
      NativeRecord n;
      if (kind == kKindRaw && SplitNativeRecord(content, &n) != kRtOk) {
        args.Fail("raw record with a damaged header");
      }
      if (!args.error.empty()) return kRtOk;
      return Add(kind, content);
    }
    return Fail("unknown tag {" + name + "}");
  }

  int ParDef(Args& args) {
    ParagraphStyle p;
    uint64_t id = 0;
    if (!Args::ParseNumber(Required(args, "style id"), 0xFFFF, &id)) args.Fail("bad style id");
    p.style_id = static_cast<uint16_t>(id);
    if (std::optional<std::string> a = args.Text("align")) {
      if (*a == "left")
        p.alignment = kAlignLeft;
      else if (*a == "right")
        p.alignment = kAlignRight;
      else if (*a == "full")
        p.alignment = kAlignFull;
      else if (*a == "center")
        p.alignment = kAlignCentre;
      else {
        uint64_t n = 0;
        if (!Args::ParseNumber(*a, 255, &n)) args.Fail("bad align " + *a);
        p.alignment = static_cast<uint8_t>(n);
      }
    }
    p.left_margin = static_cast<uint32_t>(args.Number("left", 0xFFFFFFFF, 0));
    p.first_line_margin = static_cast<uint32_t>(args.Number("first", 0xFFFFFFFF, 0));
    p.space_before = static_cast<uint8_t>(args.Number("before", 255, 0));
    p.space_after = static_cast<uint8_t>(args.Number("after", 255, 0));
    p.hide_flags = static_cast<uint8_t>(args.Number("hidebits", 255, 0));
    p.list_flags = static_cast<uint8_t>(args.Number("listbits", 255, 0));
    if (args.Word("hideread")) p.hide_flags |= kHideWhenReading;
    if (args.Word("hideedit")) p.hide_flags |= kHideWhenEditing;
    if (args.Word("bullet")) p.list_flags |= kListBullet;
    if (args.Word("numbered")) p.list_flags |= kListNumbered;
    if (args.Word("formula")) p.list_flags |= kListHasHideWhen;
    std::optional<std::string> hidewhen = args.Text("hidewhen");
    if (hidewhen) p.list_flags |= kListHasHideWhen;
    Bytes content;
    if (int s = AddEncoded(kKindParagraphStyle, EncodeParagraphStyle(p, &content), content);
        s != kRtOk) {
      return s;
    }
    if (!hidewhen) return kRtOk;
    // The short form: the style's own formula, numbered after the style.
    HideWhenFormula h{p.style_id, p.style_id, *hidewhen};
    return AddEncoded(kKindHideWhenFormula, EncodeHideWhenFormula(h, &content), content);
  }

  int Hotspot(Args& args) {
    HotspotBegin h;
    if (args.Word("button")) {
      h.type = kHotspotButton;
      h.text = args.Text("formula").value_or("");
    } else if (args.Word("attachment")) {
      h.type = kHotspotAttachment;
      h.text = args.Text("file").value_or("");
    } else if (args.Word("link")) {
      h.type = kHotspotLink;
    } else if (args.Word("subform")) {
      h.type = kHotspotSubform;
      if (std::optional<std::string> f = args.Text("formula")) {
        h.text = *f;
        h.flags |= kHotspotSubformFormula;
      } else {
        h.text = args.Text("name").value_or("");
      }
    } else {
      h.type = static_cast<uint16_t>(args.Number("type", 0xFFFF, 0));
      h.text = args.Text("text").value_or("");
    }
    h.flags |= static_cast<uint32_t>(args.Number("flags", 0xFFFFFFFF, 0));
    Bytes content;
    return AddEncoded(kKindHotspotBegin, EncodeHotspotBegin(h, &content), content);
  }

  int Action(Args& args) {
    ActionRecord a;
    a.title = Required(args, "title");
    a.type = static_cast<uint16_t>(args.Number("type", 0xFFFF, kActionFormula));
    a.flags = static_cast<uint32_t>(args.Number("flags", 0xFFFFFFFF, 0));
    if (args.Word("read")) a.flags |= kActionShowReading;
    if (args.Word("edit")) a.flags |= kActionShowEditing;
    if (args.Word("shown")) a.flags |= kActionShown;
    if (std::optional<std::string> f = args.Text("formula")) {
      if (StoreFormula(*f, &a.formula_form, &a.formula) != kRtOk) {
        return Fail("formula does not compile: " + *f, kRtFormulaHook);
      }
    } else if (std::optional<std::string> t = args.Text("formulatext")) {
      a.formula_form = kFormulaAsText;
      a.formula.assign(t->begin(), t->end());
    } else if (std::optional<std::string> c = args.Text("compiled")) {
      a.formula_form = kFormulaCompiled;
      if (!HexDecode(*c, &a.formula)) args.Fail("bad compiled formula hex");
    }
    Bytes raw;
    return AddRaw(WriteAction(a, &raw), raw);
  }

  // A size in twips, or in pixels with the suffix "px".
  static uint32_t Twips(Args& args, const char* key) {
    std::optional<std::string> v = args.Text(key);
    if (!v) return 0;
    uint64_t scale = 1, n = 0;
    std::string_view digits = *v;
    if (digits.ends_with("px")) {
      digits.remove_suffix(2);
      scale = kTwipsPerPixel;
    }
    if (!Args::ParseNumber(digits, 0xFFFFFFFF / scale, &n)) {
      args.Fail(std::string("bad ") + key + ": " + *v);
    }
    return static_cast<uint32_t>(n * scale);
  }

  int Image(Args& args) {
    uint32_t width = Twips(args, "width");
    uint32_t height = Twips(args, "height");
    Bytes tiff;
    if (std::optional<std::string> data = args.Text("data")) {
      if (!Base64Decode(*data, &tiff)) return Fail("bad Base64 image data");
    } else if (std::optional<std::string> src = args.Text("src")) {
      std::string path =
          (!src->empty() && (*src)[0] == '/') ? *src : options_.base_dir + "/" + *src;
      std::ifstream in(path, std::ios::binary);
      if (!in) return Fail("cannot read image file " + path, kRtFileError);
      tiff.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      if (in.bad()) return Fail("cannot read image file " + path, kRtFileError);
    } else {
      return Fail("{image} needs src= or data=");
    }
    int s = AppendImage(tiff, width, height, &item_);
    if (s == kRtBadImage) return Fail("image is not a TIFF", s);
    if (s != kRtOk) return Fail("image too large", s);
    return kRtOk;
  }

  std::string_view src_;
  const MarkupParseOptions& options_;
  size_t pos_ = 0;
  int line_ = 1;
  Bytes item_;
  FontId font_;
  std::string pending_;
  bool has_pending_ = false;
  std::string message_;
};

}  // namespace

int ParseMarkup(std::string_view markup, const MarkupParseOptions& options, Bytes* item,
                MarkupError* error) {
  Parser parser(markup, options);
  return parser.Run(item, error);
}

}  // namespace ledra::richtext
