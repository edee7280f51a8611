// Round trips of the rich-text markup: markup -> records -> markup for
// every construct, and the records each construct stands for.
#include "ledra/richtext/markup.h"

#include <gtest/gtest.h>

#include "ledra/richtext/composite.h"
#include "ledra/richtext/formula_hook.h"
#include "ledra/richtext/item.h"
#include "ledra/richtext/raw_records.h"
#include "ledra/richtext/records.h"
#include "ledra/richtext/status.h"

namespace ledra::richtext {
namespace {

Bytes Parse(std::string_view markup) {
  Bytes item;
  MarkupError error;
  int s = ParseMarkup(markup, {}, &item, &error);
  EXPECT_EQ(s, kRtOk) << "line " << error.line << ": " << error.message << "\n" << markup;
  return item;
}

std::string Write(const Bytes& item) {
  std::string markup;
  EXPECT_EQ(WriteMarkup(item, {}, &markup), kRtOk);
  return markup;
}

std::vector<RecordView> Records(const Bytes& item) {
  std::vector<RecordView> records;
  EXPECT_EQ(ParseItem(item, &records), kRtOk);
  return records;
}

// Each markup is in the writer's own form, so it must come back unchanged.
TEST(Markup, EveryConstructRoundTrips) {
  static const char* const kCases[] = {
      // paragraph styles: alignment, margins, spacing, lists, hide flags
      "{pardef 1}\n{use 1}Plain text{p}\n",
      "{pardef 2 align=center left=1440 first=720 before=1 after=2}\n{use 2}Centred",
      "{pardef 3 align=right}\n{pardef 4 align=full}\n{pardef 5 align=7}\n",
      "{pardef 6 left=720 bullet}\n{use 6}one{p}\ntwo",
      "{pardef 7 left=720 numbered}\n{use 7}first",
      "{pardef 8 hideread}\n{pardef 9 hideedit}\n{pardef 10 hideread hideedit hidebits=0x3}\n",
      "{pardef 11 listbits=0x40}\n",
      // hide-when formulas: the short form, a separate formula, a link
      "{pardef 12 hidewhen=\"@IsNewDoc\"}\n{use 12}only when not composing",
      "{pardef 13 formula}\n{hidewhen id=5 style=13 \"Status = \\\"Done\\\"\"}\n"
      "{hidewhen-link formula=5 style=13}\n",
      // fonts: six attributes, colour, size, face, other bits
      "{font b}bold{font i}italic{font u}under{font s}strike{font sup}up{font sub}down",
      "{font b i u s sup sub color=2 size=14}all{font}plain",
      "{font face=4 color=15 size=8}small{font bits=0xc0}odd bits",
      // line breaks, empty runs and runs that must stay apart
      "line one{br}line two{br}{br}",
      "{run}{font b}{run}",
      "first{run}second",
      // pass-through HTML and text that needs escaping
      "[<HR>] a < b & \"quoted\"",
      "braces \\{ and \\} and a backslash \\\\ tab\there\\x01\\n\\r",
      "{p}\n\\x20leading blank after a line end",
      "caf\xc3\xa9 UTF-8 kept whole",
      // fields
      "{field \"Subject\" type=1}{font b}{field \"Body\" type=7}",
      // links
      "{link document replica=0102030405060708 viewid=00112233445566778899aabbccddeeff "
      "docid=ffeeddccbbaa99887766554433221100 comment=\"See this\" hint=\"Server1\"}",
      "{link view replica=0000000000000000 viewid=00000000000000000000000000000001 "
      "docid=00000000000000000000000000000000 comment=\"\" hint=\"\"}",
      "{link database replica=1111111111111111 viewid=00000000000000000000000000000000 "
      "docid=00000000000000000000000000000000 comment=\"db\" hint=\"\"}",
      "{link kind=9 replica=1111111111111111 viewid=00000000000000000000000000000000 "
      "docid=00000000000000000000000000000000 comment=\"odd\" hint=\"x\"}",
      // hotspots
      "{hotspot button formula=\"@Command([Compose]; \\\"Topic\\\")\"}{button \"New Topic\"}"
      "{/hotspot}",
      "{hotspot attachment file=\"report.pdf\"}report{/hotspot}",
      "{hotspot link}{link document replica=0102030405060708 "
      "viewid=00000000000000000000000000000000 docid=00000000000000000000000000000000 "
      "comment=\"c\" hint=\"\"}click here{/hotspot}",
      "{hotspot subform name=\"Footer\"}{/hotspot}",
      "{hotspot subform formula=\"@If(x; \\\"A\\\"; \\\"B\\\")\"}{/hotspot}",
      "{hotspot type=22 text=\"other\" flags=0x3}{/hotspot}",
      "{hotspot type=11 text=\"with text\"}{/hotspot}",
      // sections
      "{section \"Details\"}\n{font b}{section \"Hidden title\" flags=3}\n",
      // tables: spans, widths, backgrounds, borders, fit, cells not shown
      "{table fit left=100 right=200}\n"
      "{cell row=1 left=0 right=2880 border=1 bg=16}\n{pardef 1}\n{use 1}A{p}\n"
      "{cell row=1 left=2880 right=5760 span=2 hidden}\n{use 1}B{p}\n"
      "{cell row=2 left=0 right=5760 colour=44 flags=0x10}\n{use 1}C{p}\n"
      "{/table}\n",
      "{table flags=0x6}\n{/table}\n",
      // keyword layouts, ignored regions, actions
      "{keywords columns=2}\n{field \"Colours\" type=4}",
      "{keywords columns=8 flags=0x1}\n",
      "{ignore}\n{/ignore}\n",
      "{action \"Compose Topic\" read edit shown formula=\"@Command([Compose]; \\\"Topic\\\")\"}\n",
      "{action \"Odd\" type=2 flags=0x1}\n{action \"Old\" compiled=0a0b0c}\n",
      // generic forms for what has no construct of its own
      "{raw sig=0x1234 hex=00ff}\n{record kind=40 hex=0102}\n",
  };
  for (const char* markup : kCases) {
    Bytes item = Parse(markup);
    EXPECT_EQ(ValidateItem(item), kRtOk) << markup;
    EXPECT_EQ(Write(item), markup);
    EXPECT_EQ(Parse(Write(item)), item) << markup;
  }
}

TEST(Markup, ConstructsMakeTheirRecords) {
  Bytes item = Parse(
      "{pardef 2 align=center left=1440 first=720 before=1 after=2 bullet hideread "
      "hidewhen=\"@IsNewDoc\"}{use 2}{font b size=12 color=3}Hi{br}there{p}"
      "{table fit}{cell row=1 left=0 right=1440 border=2 bg=5 span=2}"
      "{keywords columns=3}{action \"Go\" read shown formula=\"@True\"}");
  std::vector<RecordView> r = Records(item);
  ASSERT_EQ(r.size(), 9u);
  ParagraphStyle p;
  ASSERT_EQ(DecodeParagraphStyle(r[0].content, &p), kRtOk);
  EXPECT_EQ(p, (ParagraphStyle{2, kHideWhenReading, kListBullet | kListHasHideWhen, kAlignCentre, 1,
                               2, 1440, 720}));
  HideWhenFormula h;
  ASSERT_EQ(DecodeHideWhenFormula(r[1].content, &h), kRtOk);
  EXPECT_EQ(h.formula, "@IsNewDoc");
  EXPECT_EQ(h.style_id, 2);
  TextRun run;
  ASSERT_EQ(DecodeTextRun(r[3].content, &run), kRtOk);
  EXPECT_EQ(run.text, std::string("Hi\0there", 8));
  EXPECT_EQ(run.font, (FontId{1, kFontBold, 3, 12}));
  EXPECT_EQ(r[4].kind, kKindParagraphBreak);
  TableCell cell;
  ASSERT_EQ(ReadTableCell(r[6].content, &cell), kRtOk);
  EXPECT_EQ(cell, (TableCell{1, 0, 1440, 2, kCellHasBackground, 2, 5}));
  RawStructure kw;
  ASSERT_EQ(ReadStructure(kConvKeywordLayout, r[7].content, &kw), kRtOk);
  EXPECT_EQ(std::get<KeywordLayout>(kw).Columns(), 3);
  std::string formula;
  ASSERT_EQ(TextAfterRecord(r[8].content, &formula), kRtOk);
  EXPECT_EQ(formula, "@True");
}

// Line ends and indentation lay the markup out; they are not text.
TEST(Markup, LayoutIsNotText) {
  Bytes a = Parse("{pardef 1}\n  {use 1}Hello\n    world{p}\n");
  Bytes b = Parse("{pardef 1}{use 1}Helloworld{p}");
  EXPECT_EQ(a, b);
  EXPECT_EQ(Parse("{# a comment \"with } inside\"}text"), Parse("text"));
}

TEST(Markup, ErrorsNameTheLine) {
  static const struct {
    const char* markup;
    int line;
    int status;
  } kCases[] = {
      {"{nosuch}", 1, kRtBadMarkup},
      {"text\n{pardef}", 2, kRtBadMarkup},
      {"{pardef 1 align=sideways}", 1, kRtBadMarkup},
      {"{pardef 1 colour=3}", 1, kRtBadMarkup},
      {"{pardef 70000}", 1, kRtBadMarkup},
      {"{font size=300}", 1, kRtBadMarkup},
      {"\n\n{font", 3, kRtBadMarkup},
      {"{field \"x}", 1, kRtBadMarkup},
      {"stray }", 1, kRtBadMarkup},
      {"bad \\q escape", 1, kRtBadMarkup},
      {"{br x}", 1, kRtBadMarkup},
      {"{link replica=01}", 1, kRtBadMarkup},
      {"{keywords columns=9}", 1, kRtBadMarkup},
      {"{image}", 1, kRtBadMarkup},
      {"{image data=AAAA}", 1, kRtBadImage},
      {"{image src=\"/nonexistent/x.tif\"}", 1, kRtFileError},
      {"{record kind=1 hex=0100}", 1, kRtBadMarkup},
      {"{raw sig=0x99 hex=zz}", 1, kRtBadMarkup},
  };
  for (const auto& c : kCases) {
    Bytes item = {1, 2, 3};
    MarkupError error;
    EXPECT_EQ(ParseMarkup(c.markup, {}, &item, &error), c.status) << c.markup;
    EXPECT_EQ(error.line, c.line) << c.markup;
    EXPECT_FALSE(error.message.empty());
    EXPECT_EQ(item, (Bytes{1, 2, 3})) << "item changed by a failed parse";
  }
}

TEST(Markup, TextLongerThanARunIsRefused) {
  Bytes item;
  MarkupError error;
  EXPECT_EQ(ParseMarkup(std::string(70000, 'a'), {}, &item, &error), kRtTooLarge);
}

// Records the writer has no construct for, or whose content is damaged,
// come back byte for byte through their generic form.
TEST(Markup, DamagedRecordsSurviveTheWriter) {
  Bytes item;
  ASSERT_EQ(AppendRecord(&item, kKindTextRun, Bytes{1, 0, 0, 10, 9, 0, 'x'}), kRtOk);
  ASSERT_EQ(AppendRecord(&item, kKindParagraphStyle, Bytes(16, 0xff)), kRtOk);
  ASSERT_EQ(AppendRecord(&item, kKindLink, Bytes(44, 0)), kRtOk);  // no NUL in its text
  ASSERT_EQ(AppendRecord(&item, kKindRaw, Bytes{0xa4, 0, 8, 0, 0, 0, 1, 2}), kRtOk);
  ASSERT_EQ(AppendRecord(&item, kKindParagraphBreak, Bytes{7}), kRtOk);
  std::string markup = Write(item);
  EXPECT_EQ(Parse(markup), item) << markup;
}

int CompileUpper(std::string_view text, Bytes* out) {
  out->assign({0xC0});
  out->insert(out->end(), text.begin(), text.end());
  return 0;
}
int DecompileUpper(ByteSpan bytes, std::string* text) {
  if (bytes.empty() || bytes[0] != 0xC0) return 1;
  text->assign(bytes.begin() + 1, bytes.end());
  return 0;
}

// With the formula module's hook installed, action formulas are stored
// compiled and written back as text; without it they stay text.
TEST(Markup, ActionFormulasGoThroughTheHook) {
  const char* markup = "{action \"Go\" read shown formula=\"@Command([Compose]; \\\"T\\\")\"}\n";
  Bytes plain = Parse(markup);
  SetFormulaHooks(&CompileUpper, &DecompileUpper);
  Bytes compiled = Parse(markup);
  std::vector<RecordView> r = Records(compiled);
  ActionRecord a;
  ASSERT_EQ(ReadAction(r[0].content, &a), kRtOk);
  EXPECT_EQ(a.formula_form, kFormulaCompiled);
  EXPECT_EQ(a.formula[0], 0xC0);
  EXPECT_EQ(Write(compiled), markup);
  // A text-form action written while a compiler is installed must not
  // silently turn into a compiled one on reload.
  EXPECT_EQ(Parse(Write(plain)), plain);
  SetFormulaHooks(nullptr, nullptr);
  std::string text;
  EXPECT_EQ(TextAfterRecord(r[0].content, &text), kRtFormulaHook);
  EXPECT_EQ(Parse(Write(compiled)), compiled);
}

}  // namespace
}  // namespace ledra::richtext
