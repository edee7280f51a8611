// The rich-text renderer: loading the records, the walk, the end tags.
#include "browser/rich_text_render.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <unordered_map>
#include <vector>

#include "browser/document_ids.h"
#include "browser/field_input.h"
#include "browser/rich_text_images.h"
#include "common/html_escape.h"
#include "common/text.h"
#include "ledra/richtext/item.h"
#include "ledra/richtext/raw_records.h"
#include "ledra/richtext/records.h"
#include "ledra/richtext/status.h"
#include "ledra/richtext/vx_composite.h"
#include "ledra/vxapi.h"
#include "platform/name_lists.h"
#include "platform/translate.h"
#include "platform/translate_richtext.h"

namespace browser {

namespace {

namespace rt = ledra::richtext;
using common::Format;
using common::HtmlEscape;
using rt::ByteSpan;

constexpr char kExecuteResult[] = "$$VXDocExecute!";
constexpr size_t kLinkBufferSize = 65500;
constexpr char kWhite[] = "#ffffff";

constexpr char kBreak[] = "<BR>";
constexpr char kParagraphBreak[] = "\n<BR>\n";
constexpr char kCentreOpen[] = "\n<center>";
constexpr char kCentreClose[] = "\n</center>";
constexpr char kIndentClose[] = "</CENTER>";
constexpr char kIndentTableEnd[] = "</TD></TR></TABLE>\n";
constexpr char kIndentTableFormat[] =
    "\n<TABLE BORDER=0 CELLSPACING=1 CELLPADDING=1 WIDTH=100%%><TR><TD WIDTH=%ld%%></TD><TD>\n";
constexpr char kTableFitFormat[] = " CELLPADDING=%u CELLSPACING=0 WIDTH=100%%><TR VALIGN=TOP>\n";
constexpr char kTableFormat[] = " CELLPADDING=%u CELLSPACING=0><TR VALIGN=TOP>\n";
constexpr char kCellSpacerFormat[] =
    "\n</FONT><FONT COLOR=%s><IMG SRC=\"file://%s/images/c_.gif\" BORDER=0 ALIGN=BOTTOM WIDTH=1 "
    "HEIGHT=1>\n";
constexpr char kNewRow[] = "</TR><TR VALIGN=TOP>";
constexpr char kDocLinkFormat[] = "<a target=_parent HREF=\"http://[kv]/%s:/%s:/D/%s/LR/0/%s/\">";
constexpr char kViewLinkFormat[] = "<a target=_parent HREF=\"http://[kv]/%s:/%s:/V/%s/LR/0/\">";
constexpr char kDatabaseLinkFormat[] = "<a target=_parent HREF=\"http://[kv]/%s:/%s:/\">";
constexpr char kLinkIconFormat[] = "<img border=0 src=\"file://%s/images/%s\" alt=\"%s\"></a>";
constexpr char kAttachmentLinkFormat[] = "<A HREF=\"http://[kv]/%s:/%s:/A/%ld/dp/0/%s/{%s}/\">";
constexpr char kSectionFormat[] =
    "<IMG SRC=\"file://%s/images/gopentw.gif\" BORDER=0 ALIGN=TOP HEIGHT=12>\n";
constexpr char kChoiceImageFormat[] = "<IMG SRC=\"file://%s/images/%s\">";
constexpr char kChoiceTableStart[] = "<TABLE BORDER=0><TR><TD>";
constexpr char kChoiceRowEnd[] = "</FONT></TD></TR><TR><TD>\n";
constexpr char kChoiceCellEnd[] = "</FONT></TD><TD>\n";
constexpr char kChoiceTableEnd[] = "</FONT></TD></TR></TABLE>\n";
constexpr char kLocalServer[] = "Local";

struct Record {
  uint16_t kind = 0;
  ByteSpan content;
};

// The records of an item: read through a composite handle, or, when the
// platform refuses the item as damaged, as many whole records as its bytes
// hold.
struct Records {
  std::vector<Record> list;
  bool damaged = false;
  VXHandle composite = 0;
  rt::Bytes owned;
  Records() = default;
  Records(const Records&) = delete;
  Records& operator=(const Records&) = delete;
  ~Records() {
    if (composite != 0) VXCompositeClose(composite);
  }
};

uint16_t U16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void SplitWholeRecords(Records* r) {
  const uint8_t* p = r->owned.data();
  size_t size = r->owned.size(), at = 0;
  while (at + rt::kRecordHeaderSize <= size) {
    uint16_t kind = U16(p + at);
    uint32_t length = U32(p + at + 2);
    if (length > size - at - rt::kRecordHeaderSize) break;
    ByteSpan content(p + at + rt::kRecordHeaderSize, length);
    if (kind == rt::kKindRaw) {
      rt::NativeRecord native;
      if (rt::SplitNativeRecord(content, &native) != rt::kRtOk) break;
    }
    r->list.push_back({kind, content});
    at += rt::kRecordHeaderSize + length;
  }
  r->damaged = true;
}

VXStatus LoadRecords(VXHandle note, const std::string& item, Records* r) {
  VXStatus status = platform::wrap::VXCompositeCreate(note, item.c_str(), &r->composite);
  if (status == kVXOk) {
    uint32_t count = 0;
    if (VXStatus s = VXCDRecordCount(r->composite, &count); s != kVXOk) return s;
    r->list.reserve(count);
    for (uint32_t n = 1; n <= count; ++n) {
      uint16_t kind = 0;
      uint32_t length = 0;
      const void* pointer = nullptr;
      if (VXCDRecordGetInfo(r->composite, n, &kind, &length, nullptr) != kVXOk ||
          platform::wrap::VXCDRecordGetPointer(r->composite, n, &pointer, &length) != kVXOk) {
        r->damaged = true;
        break;
      }
      r->list.push_back({kind, ByteSpan(static_cast<const uint8_t*>(pointer), length)});
    }
    return kVXOk;
  }
  r->composite = 0;
  if (status != static_cast<VXStatus>(rt::kRtCorrupt)) return status;
  uint16_t type = 0;
  uint32_t length = 0, flags = 0;
  if (VXItemGetInfo(note, item.c_str(), &type, &length, &flags) != kVXOk) return status;
  r->owned.resize(length);
  uint32_t got = 0;
  if (length != 0 && VXItemFetch(note, item.c_str(), 0, r->owned.data(), length, &got) != kVXOk)
    return status;
  r->owned.resize(std::min(got, length));
  SplitWholeRecords(r);
  return kVXOk;
}

void DesignGuard(VXHandle database, int32_t value) {
  (void)VXDatabaseSetProperty(database, kDbPropDesignGuard, &value);
}

VXHandle DatabaseOf(VXHandle note) {
  VXHandle database = 0;
  if (note == 0 ||
      VXDocumentGetProperty(note, kDocPropDatabase, &database, sizeof database) != kVXOk)
    return 0;
  return database;
}

std::string DatabaseText(VXHandle database, uint32_t property) {
  char text[kVXPathSize] = {};
  if (platform::wrap::VXDatabaseGetProperty(database, property, text, sizeof text) != kVXOk)
    return "";
  return text;
}

// Evaluates a formula on the document; true when the result's text
// begins with "1" (and *text gets the whole result text).
bool Evaluate(VXHandle document, const std::string& formula, std::string* text) {
  if (document == 0 || formula.empty()) return false;
  if (VXDocumentExecute(document, formula.c_str(), static_cast<uint32_t>(formula.size()), 0) !=
      kVXOk)
    return false;
  *text = FieldText(document, kExecuteResult);
  return true;
}

std::string LinkText(const std::string& text, std::string* hint) {
  size_t nul = text.find('\0');
  if (nul == std::string::npos) {
    hint->clear();
    return text;
  }
  *hint = text.substr(nul + 1);
  return text.substr(0, nul);
}

class Walk {
 public:
  Walk(const RenderRequest& rq, RenderState& st, Records& records, std::string& out)
      : rq_(rq), st_(st), records_(records), out_(out) {
    if (rq.handle != nullptr && rq.handle->shared != nullptr)
      program_dir_ = rq.handle->shared->programDirUrl;
    database_ = DatabaseOf(rq.document != 0 ? rq.document : rq.itemNote);
    Index();
  }

  int Run();

 private:
  void Index();
  std::string& Dest() { return in_link_ ? scratch_ : out_; }
  void Flush();
  void Put(const std::string& text);

  bool Decode(int status) {
    if (status == rt::kRtOk) return true;
    damaged_ = true;
    return false;
  }

  void StyleReference(size_t index, const rt::StyleRef& ref);
  bool HiddenByFormula(size_t style_index, uint16_t style_id);
  void OpenTable(const rt::ParagraphStyle& style);
  void NextCell(const rt::ParagraphStyle& style);
  void OpenCell(const rt::TableCell& cell, const rt::ParagraphStyle& style);
  void CellSpacer();
  void Lists(const rt::ParagraphStyle& style);
  void CloseLists();
  void CloseCentre();
  void ParagraphBreak();
  void TextRun(const rt::TextRun& run);
  void Link(const rt::Link& link);
  void Field(const rt::Field& field);
  void ReadField(const rt::Field& field);
  void HotspotBegin(const rt::HotspotBegin& hotspot);
  void HotspotEnd();
  void Section(const rt::Section& section);
  void Raw(size_t index, ByteSpan content);
  void TableEnd();
  void Action(ByteSpan content);
  void Subforms();
  void FinishImage();
  void End();

  const RenderRequest& rq_;
  RenderState& st_;
  Records& records_;
  std::string& out_;
  std::string program_dir_;
  VXHandle database_ = 0;
  std::string scratch_;  // what a link hotspot's content writes, moved into the buffer

  std::unordered_map<uint16_t, size_t> styles_;                   // style id -> first record
  std::unordered_map<uint16_t, std::vector<size_t>> hide_whens_;  // style id -> 17/18 records
  std::map<std::pair<uint16_t, uint16_t>, size_t> formulas_;      // (formula, style) -> first 17

  int open_ul_ = 0, open_ol_ = 0;
  bool table_pending_ = false, first_cell_seen_ = false, table_open_ = false;
  bool table_hidden_ = false, new_cell_ = false;
  bool cell_hidden_ = false;  // the current cell is not shown: nor is what it holds
  rt::TableHeader table_;
  rt::TableCell first_cell_, next_cell_;
  uint16_t current_row_ = 0;
  uint32_t cell_padding_ = 0;
  std::string cell_colour_ = kWhite;
  bool cell_empty_ = false, cell_just_opened_ = false;
  bool breaks_suppressed_ = true, list_item_pending_ = false;
  int previous_space_after_ = 0;
  bool ignored_region_ = false;
  ImageCollector image_;
  bool in_link_ = false, in_attachment_ = false;
  std::string link_buffer_;
  std::string button_formula_;
  std::vector<uint16_t> hotspots_;
  bool damaged_ = false;
};

void Walk::Index() {
  for (size_t i = 0; i < records_.list.size(); ++i) {
    const Record& r = records_.list[i];
    if (r.content.size() < 2) continue;
    uint16_t first = U16(r.content.data());
    if (r.kind == rt::kKindParagraphStyle) {
      styles_.emplace(first, i);
    } else if ((r.kind == rt::kKindHideWhenFormula || r.kind == rt::kKindHideWhenLink) &&
               r.content.size() >= 4) {
      uint16_t style = U16(r.content.data() + 2);
      hide_whens_[style].push_back(i);
      if (r.kind == rt::kKindHideWhenFormula) formulas_.emplace(std::make_pair(first, style), i);
    }
  }
}

void Walk::Put(const std::string& text) {
  Dest().append(text);
  if (in_link_) Flush();
}

// Moves what the hotspot's content wrote into the link buffer, as long as
// the buffer holds it; a piece that would not fit is left out whole.
void Walk::Flush() {
  if (link_buffer_.size() + scratch_.size() <= kLinkBufferSize) link_buffer_ += scratch_;
  scratch_.clear();
}

void Walk::CloseCentre() {
  if (st_.centred == 0) return;
  out_ += kCentreClose;
  st_.centred = 0;
}

void Walk::CloseLists() {
  for (; open_ul_ > 0; --open_ul_) out_ += "</UL>\n";
  for (; open_ol_ > 0; --open_ol_) out_ += "</OL>\n";
  st_.inBulletList = st_.inNumberedList = 0;
  st_.listIndent = 0;
}

bool Walk::HiddenByFormula(size_t style_index, uint16_t style_id) {
  auto found = hide_whens_.find(style_id);
  if (found == hide_whens_.end()) return false;
  for (size_t i : found->second) {
    if (i < style_index) continue;
    const Record& r = records_.list[i];
    rt::HideWhenFormula formula;
    if (r.kind == rt::kKindHideWhenLink) {
      rt::HideWhenLink link;
      if (!Decode(rt::DecodeHideWhenLink(r.content, &link))) continue;
      auto target = formulas_.find({link.formula_id, link.style_id});
      if (target == formulas_.end()) continue;
      if (!Decode(rt::DecodeHideWhenFormula(records_.list[target->second].content, &formula)))
        continue;
    } else if (!Decode(rt::DecodeHideWhenFormula(r.content, &formula))) {
      continue;
    }
    // Only the first formula that applies counts.
    std::string result;
    if (!Evaluate(rq_.document, PrepareFormula(formula.formula, static_cast<int>(rq_.mode)),
                  &result))
      return false;
    return !result.empty() && result[0] == '1';
  }
  return false;
}

void Walk::StyleReference(size_t index, const rt::StyleRef& ref) {
  if (st_.indentTableOpen != 0) {
    if (st_.centred != 0) {
      out_ += kIndentClose;
      st_.centred = 0;
    }
    out_ += kIndentTableEnd;
    st_.indentTableOpen = 0;
  }
  if (breaks_suppressed_) {
    breaks_suppressed_ = false;
  } else if (!cell_just_opened_ && st_.hidden == 0) {
    for (int i = 0; i < previous_space_after_; ++i) out_ += kBreak;
  }
  auto found = styles_.find(ref.style_id);
  st_.hidden = 0;
  rt::ParagraphStyle style;
  if (found == styles_.end() ||
      !Decode(rt::DecodeParagraphStyle(records_.list[found->second].content, &style))) {
    CloseCentre();
    CloseLists();
    breaks_suppressed_ = true;
    previous_space_after_ = 0;
    out_ += kBreak;
    return;
  }
  (void)index;
  if ((style.list_flags & rt::kListHasHideWhen) != 0 &&
      HiddenByFormula(found->second, style.style_id))
    st_.hidden = 1;
  if (st_.hidden == 0) {
    bool reading = rq_.mode == RenderMode::kRead;
    if ((reading && (style.hide_flags & rt::kHideWhenReading) != 0) ||
        (!reading && (style.hide_flags & rt::kHideWhenEditing) != 0))
      st_.hidden = 1;
  }
  if (st_.hidden != 0 && table_pending_ && first_cell_seen_) table_hidden_ = true;
  if (!cell_just_opened_ && st_.hidden == 0)
    for (int i = 0; i < style.space_before; ++i) out_ += kBreak;
  if (table_pending_ && first_cell_seen_) {
    OpenTable(style);
  } else if (table_open_ && new_cell_) {
    NextCell(style);
  }
  if (st_.hidden == 0) Lists(style);
  if (rq_.mode == RenderMode::kRead && st_.tableCellOpen == 0 && st_.inBulletList == 0 &&
      st_.inNumberedList == 0 && (style.left_margin != 0 || style.first_line_margin != 0)) {
    CloseCentre();
    long width = static_cast<long>(std::min(style.left_margin, style.first_line_margin) / 500);
    out_ += Format(kIndentTableFormat, width);
    st_.indentTableOpen = 1;
  }
  if (style.alignment == rt::kAlignCentre) {
    if (st_.centred == 0) out_ += kCentreOpen;
    st_.centred = 1;
  } else {
    CloseCentre();
  }
  previous_space_after_ = style.space_after;
}

void Walk::OpenTable(const rt::ParagraphStyle& style) {
  table_pending_ = false;
  table_open_ = true;
  current_row_ = first_cell_.row;
  if (table_hidden_) return;
  out_ += first_cell_.border_width != 0 ? "<TABLE BORDER=2" : "<TABLE BORDER=0";
  bool fits = (table_.flags & rt::kTableFitsWindow) != 0;
  out_ += Format(fits ? kTableFitFormat : kTableFormat, cell_padding_);
  cell_hidden_ = (first_cell_.flags & rt::kCellNotShown) != 0;
  if (cell_hidden_) return;
  OpenCell(first_cell_, style);
}

void Walk::OpenCell(const rt::TableCell& cell, const rt::ParagraphStyle& style) {
  out_ += Format("<TD COLSPAN=%u", static_cast<unsigned>(cell.column_span));
  if ((table_.flags & rt::kTableFitsWindow) == 0)
    out_ += Format(" WIDTH=%d", static_cast<int>((static_cast<int64_t>(cell.right_edge) -
                                                  static_cast<int64_t>(cell.left_edge)) /
                                                 10));
  if ((cell.flags & rt::kCellHasBackground) != 0) {
    cell_colour_ = ColourName(cell.background_colour);
    out_ += " BGCOLOR=" + cell_colour_;
  } else {
    cell_colour_ = kWhite;
  }
  if (style.alignment == rt::kAlignRight) out_ += " ALIGN=RIGHT";
  out_ += ">\n";
  st_.tableCellOpen = 1;
  cell_empty_ = true;
  cell_just_opened_ = true;
}

void Walk::CellSpacer() {
  if (st_.tableCellOpen != 0 && cell_empty_)
    out_ += Format(kCellSpacerFormat, cell_colour_.c_str(), program_dir_.c_str());
}

void Walk::NextCell(const rt::ParagraphStyle& style) {
  new_cell_ = false;
  if (st_.centred != 0) {
    out_ += kIndentClose;
    st_.centred = 0;
  }
  cell_hidden_ = false;
  if (table_hidden_) return;
  if (st_.tableCellOpen != 0) {
    CellSpacer();
    out_ += "</TD>";
    st_.tableCellOpen = 0;
  }
  if (next_cell_.row > current_row_) {
    out_ += kNewRow;
    current_row_ = next_cell_.row;
  }
  cell_hidden_ = (next_cell_.flags & rt::kCellNotShown) != 0;
  if (cell_hidden_) return;
  OpenCell(next_cell_, style);
}

void Walk::Lists(const rt::ParagraphStyle& style) {
  bool bullet = (style.list_flags & rt::kListBullet) != 0;
  bool numbered = !bullet && (style.list_flags & rt::kListNumbered) != 0;
  if (!bullet && !numbered) {
    CloseLists();
    return;
  }
  int32_t margin = static_cast<int32_t>(std::min<uint32_t>(style.left_margin, 0x7FFFFFFF));
  int32_t indent = st_.listIndent;
  int& same = bullet ? open_ul_ : open_ol_;
  int& other = bullet ? open_ol_ : open_ul_;
  const char* open = bullet ? "\n<UL>" : "\n<OL>";
  const char* close_same = bullet ? "</UL>" : "</OL>";
  const char* close_other = bullet ? "</OL>\n" : "</UL>\n";
  const char* swap = bullet ? "</OL>\n<UL>" : "</UL>\n<OL>";
  bool in_same = bullet ? st_.inBulletList != 0 : st_.inNumberedList != 0;
  bool in_other = bullet ? st_.inNumberedList != 0 : st_.inBulletList != 0;
  if (!in_same && !in_other) {
    out_ += open;
    ++same;
  } else if (in_other) {
    if (margin < indent) {
      if (other > 0) {
        out_ += close_other;
        --other;
      }
      if (same == 0) {
        out_ += open;
        ++same;
      }
    } else if (margin == indent) {
      if (other > 0) {
        out_ += swap;
        --other;
      } else {
        out_ += open;
      }
      ++same;
    } else {
      out_ += open;
      ++same;
    }
  } else if (margin < indent) {
    if (same > 0) {
      out_ += close_same;
      --same;
    }
    if (same == 0) {
      out_ += open;
      ++same;
    }
  } else if (margin > indent) {
    out_ += open;
    ++same;
  }
  st_.inBulletList = bullet ? 1 : 0;
  st_.inNumberedList = numbered ? 1 : 0;
  st_.listIndent = margin;
}

void Walk::ParagraphBreak() {
  if (cell_just_opened_) {
    cell_just_opened_ = false;
  } else if (!breaks_suppressed_) {
    Put(kParagraphBreak);
  }
  list_item_pending_ = true;
}

void Walk::TextRun(const rt::TextRun& run) {
  if ((st_.inBulletList != 0 || st_.inNumberedList != 0) && list_item_pending_) {
    out_ += "<LI>";
    list_item_pending_ = false;
  }
  if (run.text.empty()) return;
  WriteFontRun(run.font, &st_, &Dest());
  WriteTextRun(run.text, &Dest());
  if (in_link_) Flush();
  cell_empty_ = false;
}

void Walk::Link(const rt::Link& link) {
  uint32_t shown[2] = {0, 0};
  uint32_t target[2] = {0, 0};
  std::memcpy(target, link.replica_id.data(), sizeof target);
  std::string hint;
  std::string comment = LinkText(link.text, &hint);
  std::string server;
  VXUnid view_unid, document_unid;
  std::memcpy(view_unid.words, link.view_unid.data(), sizeof view_unid.words);
  std::memcpy(document_unid.words, link.document_unid.data(), sizeof document_unid.words);
  bool same = database_ != 0 &&
              VXDatabaseGetProperty(database_, kDbPropReplicaId, shown, sizeof shown) == kVXOk &&
              shown[0] == target[0] && shown[1] == target[1];
  if (same) {
    server = DatabaseText(database_, kDbPropServer);
    if (link.link_kind == rt::kLinkDocument) {
      VXNoteId view = rq_.viewId;
      if (view == 0 && rq_.request != nullptr && rq_.request->argument4)
        view = platform::LocateViewOrFolder(database_, *rq_.request->argument4);
      if (view != 0) {
        DesignGuard(database_, 0);
        VXUnid unid = UnidOfNote(database_, view);
        DesignGuard(database_, 1);
        if (!IsZeroUnid(unid)) view_unid = unid;
      }
    }
  } else {
    server = hint.empty() ? kLocalServer : hint;
  }
  std::string replica = Format("%lxg%lx", static_cast<unsigned long>(target[0]),
                               static_cast<unsigned long>(target[1]));
  std::string s = HtmlEscape(server);
  const char* icon = "dblink.gif";
  switch (link.link_kind) {
    case rt::kLinkDocument:
      out_ += Format(kDocLinkFormat, s.c_str(), replica.c_str(), UnidToText(document_unid).c_str(),
                     UnidToText(view_unid).c_str());
      icon = "doclink.gif";
      break;
    case rt::kLinkView:
      out_ += Format(kViewLinkFormat, s.c_str(), replica.c_str(), UnidToText(view_unid).c_str());
      icon = "viewlink.gif";
      break;
    default:
      out_ += Format(kDatabaseLinkFormat, s.c_str(), replica.c_str());
      break;
  }
  if (!in_link_)
    out_ += Format(kLinkIconFormat, program_dir_.c_str(), icon, HtmlEscape(comment).c_str());
}

void Walk::Field(const rt::Field& field) {
  WriteFontRun(field.font, &st_, &Dest());
  if (in_link_) Flush();
  if (rq_.mode != RenderMode::kRead) {
    if (rq_.document != 0) WriteFieldInput(rq_.document, field.name, &st_, program_dir_, &out_);
    return;
  }
  ReadField(field);
}

void Walk::ReadField(const rt::Field& field) {
  if (rq_.document == 0) return;
  if (field.data_type == rt::kFieldRichText) {
    if (rq_.depth + 1 >= kMaxRenderDepth) return;
    RenderRequest nested = rq_;
    nested.itemNote = rq_.document;
    nested.itemName = field.name;
    nested.state = &st_;
    nested.depth = rq_.depth + 1;
    // A nested item that cannot be read shows nothing; this one goes on.
    (void)RenderRichText(nested, &out_);
    return;
  }
  std::string value = FieldText(rq_.document, field.name);
  FieldDefinition def;
  int32_t form = 0;
  (void)VXDocumentGetProperty(rq_.document, kDocPropForm, &form, sizeof form);
  if (!FetchField(database_, static_cast<VXNoteId>(form), field.name, &def) ||
      def.keywordKind == 0 || def.keywordKind == kKeywordsWithNew) {
    out_ += HtmlEscape(value);
    return;
  }
  if (def.keywordKind == kCheckBoxes || def.keywordKind == kRadioButtons) {
    bool radio = def.keywordKind == kRadioButtons;
    size_t n = def.keywords.size();
    size_t c = static_cast<size_t>(std::max(st_.keywordColumns, 1));
    // One column runs the keywords on as text.
    bool table = n > c && c > 1;
    if (table) out_ += kChoiceTableStart;
    for (size_t i = 1; i <= n; ++i) {
      const std::string& keyword = def.keywords[i - 1];
      bool on = ListContains(def.separatorKind, keyword, value);
      const char* image =
          radio ? (on ? "rbtn_c.gif" : "rbtn_u.gif") : (on ? "ckbx_c.gif" : "ckbx_u.gif");
      out_ += Format(kChoiceImageFormat, program_dir_.c_str(), image);
      out_ += " " + HtmlEscape(KeywordDisplay(keyword)) + " ";
      if (table) {
        out_ += i % c == 0 ? kChoiceRowEnd : kChoiceCellEnd;
        WriteFontRun(field.font, &st_, &out_);
      }
    }
    if (table) out_ += kChoiceTableEnd;
    st_.keywordColumns = 1;
    return;
  }
  if (def.keywords.empty()) {
    out_ += HtmlEscape(value);
    return;
  }
  std::string joined;
  for (const std::string& keyword : def.keywords) {
    if (!ListContains(def.separatorKind, keyword, value)) continue;
    joined = joined.empty()
                 ? std::string(KeywordDisplay(keyword))
                 : Format("%s, %s", joined.c_str(), std::string(KeywordDisplay(keyword)).c_str());
  }
  out_ += HtmlEscape(joined);
}

void Walk::HotspotBegin(const rt::HotspotBegin& hotspot) {
  switch (hotspot.type) {
    case rt::kHotspotLink:
      link_buffer_.clear();
      scratch_.clear();
      in_link_ = true;
      break;
    case rt::kHotspotAttachment:
      if (rq_.request != nullptr) {
        const engine::DatabaseRequest& r = *rq_.request;
        std::string path = r.database.value_or("");
        std::replace(path.begin(), path.end(), '\\', '/');
        out_ += Format(kAttachmentLinkFormat, HtmlEscape(r.server.value_or("")).c_str(),
                       HtmlEscape(path).c_str(), static_cast<long>(rq_.noteId),
                       HtmlEscape(AttachmentUrlName(hotspot.text)).c_str(),
                       HtmlEscape(r.url.value_or("")).c_str());
      }
      in_attachment_ = true;
      break;
    case rt::kHotspotButton:
      button_formula_ = hotspot.text;
      break;
    default:
      break;
  }
  if (hotspots_.size() < 256) hotspots_.push_back(hotspot.type);
}

void Walk::HotspotEnd() {
  if (hotspots_.empty()) return;
  uint16_t type = hotspots_.back();
  hotspots_.pop_back();
  if (type == rt::kHotspotLink && in_link_) {
    Flush();
    in_link_ = false;
    out_ += link_buffer_;
    out_ += "</A>";
    link_buffer_.clear();
  } else if (type == rt::kHotspotAttachment && in_attachment_) {
    in_attachment_ = false;
    out_ += "</A>";
  }
  if (hotspots_.empty()) button_formula_.clear();
}

void Walk::Section(const rt::Section& section) {
  out_ += Format(kSectionFormat, program_dir_.c_str());
  if ((section.flags & 3) != 0) return;
  WriteFontRun(section.font, &st_, &out_);
  out_ += HtmlEscape(section.title) + "\n";
}

void Walk::Action(ByteSpan content) {
  rt::ActionRecord action;
  if (!Decode(rt::ReadAction(content, &action))) return;
  uint32_t mode_flag =
      rq_.mode == RenderMode::kRead ? rt::kActionShowReading : rt::kActionShowEditing;
  if (action.type != rt::kActionFormula || (action.flags & rt::kActionShown) == 0 ||
      (action.flags & mode_flag) == 0)
    return;
  VXHandle memory = 0;
  uint32_t length = 0;
  if (LCRecordText(content.data(), static_cast<uint32_t>(content.size()), &memory, &length) !=
      kVXOk)
    return;
  std::string formula;
  if (const char* text = static_cast<const char*>(LCMemLock(memory))) {
    formula.assign(text, length);
    LCMemUnlock(memory);
  }
  LCMemFree(memory);
  if (rq_.request != nullptr)
    WriteComposeButton(formula, action.title, rq_.document, *rq_.request, rq_.viewId, &out_);
}

void Walk::TableEnd() {
  if (table_open_ && !table_hidden_) {
    if (st_.tableCellOpen != 0) {
      CellSpacer();
      out_ += "</TD></TR>\n";
    }
    out_ += "</TABLE>\n";
  }
  st_.tableCellOpen = 0;
  table_open_ = table_pending_ = first_cell_seen_ = table_hidden_ = new_cell_ = false;
  cell_hidden_ = false;
  cell_just_opened_ = false;
}

void Walk::Raw(size_t index, ByteSpan content) {
  rt::NativeRecord native;
  if (!Decode(rt::SplitNativeRecord(content, &native))) return;
  uint16_t sig = native.signature;
  bool hidden = st_.hidden != 0;
  if (sig == rt::kSigImageHeader) {
    if (hidden || ignored_region_) return;
    FinishImage();
    ImageKey key;
    VXHandle note = rq_.itemNote;
    int32_t id = 0;
    int64_t sequence = 0;
    if (VXDocumentGetProperty(note, kDocPropNoteId, &id, sizeof id) == kVXOk && id != 0 &&
        VXDocumentGetProperty(note, kDocPropSequence, &sequence, sizeof sequence) == kVXOk) {
      key.database = DatabaseText(DatabaseOf(note), kDbPropFileName);
      key.noteId = static_cast<uint32_t>(id);
      key.sequence = sequence;
      key.item = rq_.itemName;
      key.record = static_cast<uint32_t>(index + 1);
    }
    image_.Begin(key, content);
  } else if (rt::IsImageDataSignature(sig)) {
    if (!hidden && !ignored_region_) image_.Append(content);
  } else if (sig == rt::kSigTableHeader) {
    if (!Decode(rt::ReadTableHeader(content, &table_))) return;
    table_pending_ = true;
    first_cell_seen_ = table_open_ = table_hidden_ = new_cell_ = false;
    cell_padding_ = (static_cast<uint32_t>(table_.left_margin) + table_.right_margin) / 30;
  } else if (sig == rt::kSigTableCell) {
    rt::TableCell cell;
    if (!Decode(rt::ReadTableCell(content, &cell))) return;
    if (table_open_) {
      next_cell_ = cell;
      new_cell_ = true;
    } else if (table_pending_ && !first_cell_seen_) {
      first_cell_ = cell;
      first_cell_seen_ = true;
    }
  } else if (sig == rt::kSigTableEnd) {
    TableEnd();
  } else if (sig == rt::kSigIgnoreBegin) {
    ignored_region_ = true;
  } else if (sig == rt::kSigIgnoreEnd) {
    ignored_region_ = false;
  } else if (sig == rt::kSigKeywordLayout) {
    rt::KeywordLayout layout;
    if (Decode(rt::ReadKeywordLayout(content, &layout))) st_.keywordColumns = layout.Columns();
  } else if (sig == rt::kSigAction) {
    if (!hidden) Action(content);
  }
}

void Walk::FinishImage() {
  if (image_.Collecting()) image_.Finish(in_attachment_, &out_);
}

void Walk::Subforms() {
  for (const Record& r : records_.list) {
    if (r.kind != rt::kKindHotspotBegin) continue;
    rt::HotspotBegin hotspot;
    if (rt::DecodeHotspotBegin(r.content, &hotspot) != rt::kRtOk ||
        hotspot.type != rt::kHotspotSubform)
      continue;
    std::string name = hotspot.text;
    if ((hotspot.flags & rt::kHotspotSubformFormula) != 0) {
      std::string result;
      if (!Evaluate(rq_.document, PrepareFormula(hotspot.text, 0), &result)) continue;
      name = result;
    }
    VXNoteId subform = VXSubformLocateByName(database_, name.c_str());
    if (subform == 0 || rq_.depth + 1 >= kMaxRenderDepth) continue;
    DesignGuard(database_, 0);
    VXHandle note = 0;
    VXStatus opened = VXDocumentOpen(database_, subform, 0, &note);
    DesignGuard(database_, 1);
    if (opened != kVXOk) continue;
    RenderState fresh;
    RenderRequest nested = rq_;
    nested.itemNote = note;
    nested.itemName = "$ACTIONS";
    nested.state = &fresh;
    nested.depth = rq_.depth + 1;
    (void)RenderRichText(nested, &out_);
    VXDocumentClose(note, kVXCloseDiscard);
  }
}

void Walk::End() {
  FinishImage();
  if (in_link_) {
    Flush();
    in_link_ = false;
    out_ += link_buffer_;
    out_ += "</A>";
  }
  if (st_.inBulletList != 0) out_ += "</UL>";
  if (st_.inNumberedList != 0) out_ += "</OL>";
  if (st_.indentTableOpen != 0 || st_.tableCellOpen != 0) out_ += "</TD></TR></TABLE>";
  if (damaged_ || records_.damaged) out_ += kDamagedMark;
}

int Walk::Run() {
  if (rq_.mode == RenderMode::kRead) Subforms();
  for (size_t i = 0; i < records_.list.size(); ++i) {
    if (out_.size() > kMaxRenderBytes) {
      damaged_ = true;
      break;
    }
    const Record& r = records_.list[i];
    bool hidden = st_.hidden != 0 || cell_hidden_;
    if (!hidden && image_.Collecting() && r.kind != rt::kKindRaw) FinishImage();
    switch (r.kind) {
      case rt::kKindStyleRef: {
        rt::StyleRef ref;
        if (Decode(rt::DecodeStyleRef(r.content, &ref))) StyleReference(i, ref);
        break;
      }
      case rt::kKindParagraphBreak:
        if (!hidden) ParagraphBreak();
        break;
      case rt::kKindTextRun: {
        rt::TextRun run;
        if (!hidden && Decode(rt::DecodeTextRun(r.content, &run))) TextRun(run);
        break;
      }
      case rt::kKindLink: {
        rt::Link link;
        if (!hidden && Decode(rt::DecodeLink(r.content, &link))) Link(link);
        break;
      }
      case rt::kKindField: {
        rt::Field field;
        if (!hidden && Decode(rt::DecodeField(r.content, &field))) Field(field);
        break;
      }
      case rt::kKindHotspotBegin: {
        rt::HotspotBegin hotspot;
        if (!hidden && Decode(rt::DecodeHotspotBegin(r.content, &hotspot))) HotspotBegin(hotspot);
        break;
      }
      case rt::kKindButton: {
        rt::Button button;
        if (!hidden && Decode(rt::DecodeButton(r.content, &button)) && rq_.request != nullptr &&
            !button_formula_.empty())
          WriteComposeButton(button_formula_, button.label, rq_.document, *rq_.request, rq_.viewId,
                             &out_);
        break;
      }
      case rt::kKindHotspotEnd:
        if (!hidden) HotspotEnd();
        break;
      case rt::kKindSection: {
        rt::Section section;
        if (!hidden && Decode(rt::DecodeSection(r.content, &section))) Section(section);
        break;
      }
      case rt::kKindRaw:
        Raw(i, r.content);
        break;
      default:
        break;  // styles and hide-when formulas are looked up; other kinds are skipped
    }
  }
  End();
  return 0;
}

}  // namespace

std::string AttachmentUrlName(std::string_view name) {
  std::string text;
  for (unsigned char c : name) {
    if (c <= 0x20 || c == 0x7F || c == '"' || c == '#' || c == '%' || c == '<' || c == '>' ||
        c == '?' || c == '{' || c == '}')
      text += Format("%%%02X", c);
    else
      text.push_back(static_cast<char>(c));
  }
  return text;
}

int RenderRichText(const RenderRequest& render, std::string* out) {
  RenderState fresh;
  RenderState& state = render.state != nullptr ? *render.state : fresh;
  Records records;
  VXStatus status = LoadRecords(render.itemNote, render.itemName, &records);
  if (status != kVXOk) {
    // Nothing could be read: the closing tags all the same.
    if (state.inBulletList != 0) *out += "</UL>";
    if (state.inNumberedList != 0) *out += "</OL>";
    if (state.indentTableOpen != 0 || state.tableCellOpen != 0) *out += "</TD></TR></TABLE>";
    return static_cast<int>(status);
  }
  Walk walk(render, state, records, *out);
  return walk.Run();
}

int RenderDocumentItem(engine::ThreadHandle& handle, const engine::DatabaseRequest& request,
                       VXHandle document, const std::string& item_name, RenderMode mode,
                       std::string* out) {
  RenderRequest render;
  render.itemNote = document;
  render.itemName = item_name;
  render.document = document;
  render.mode = mode;
  render.handle = &handle;
  render.request = &request;
  int32_t id = 0;
  if (VXDocumentGetProperty(document, kDocPropNoteId, &id, sizeof id) == kVXOk)
    render.noteId = static_cast<VXNoteId>(id);
  return RenderRichText(render, out);
}

}  // namespace browser
