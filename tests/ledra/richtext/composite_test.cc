// The composite services: copying with renumbered styles, subsets,
// converting a document, listing text, record access and update, and text
// stored into a rich-text field.
#include "ledra/richtext/composite.h"

#include <gtest/gtest.h>

#include "ledra/richtext/item.h"
#include "ledra/richtext/markup.h"
#include "ledra/richtext/raw_records.h"
#include "ledra/richtext/records.h"
#include "ledra/richtext/status.h"

namespace ledra::richtext {
namespace {

Bytes Parse(std::string_view markup) {
  Bytes item;
  MarkupError error;
  EXPECT_EQ(ParseMarkup(markup, {}, &item, &error), kRtOk) << error.message;
  return item;
}

std::string Write(ByteSpan item) {
  std::string markup;
  EXPECT_EQ(WriteMarkup(item, {}, &markup), kRtOk);
  return markup;
}

TEST(Composite, ListTextGivesTheWords) {
  static const struct {
    const char* markup;
    const char* text;
  } kCases[] = {
      {"{pardef 1}{use 1}Hello {font b}world{p}second paragraph", "Hello world|second paragraph"},
      {"one{br}two{br}{br}three", "one|two|three"},
      {"{section \"Title\"}body", "Title|body"},
      {"{hotspot button formula=\"@True\"}{button \"Press\"}{/hotspot}after", "Press|after"},
      {"{table}{cell row=1 left=0 right=10}a{cell row=1 left=10 right=20}b{/table}", "a|b"},
      {"{p}{p}lead{p}", "lead"},
      {"{field \"Hidden\" type=1}{action \"Not body\"}[<HR>]", "[<HR>]"},
      {"", ""},
  };
  for (const auto& c : kCases) {
    std::string text;
    ASSERT_EQ(CompositeListText(Parse(c.markup), "|", &text), kRtOk) << c.markup;
    EXPECT_EQ(text, c.text) << c.markup;
  }
}

// Styles of the copied item keep their own look even when the target
// already uses their numbers.
TEST(Composite, CopyRenumbersClashingStyles) {
  Bytes target = Parse("{pardef 1 align=center}\n{use 1}target{p}\n");
  Bytes source = Parse(
      "{pardef 1 bullet hidewhen=\"@IsNewDoc\"}\n{pardef 2}\n"
      "{hidewhen id=4 style=2 \"x\"}\n{hidewhen-link formula=4 style=2}\n"
      "{use 1}item{use 2}plain");
  ASSERT_EQ(CompositeCopy(source, &target), kRtOk);
  EXPECT_EQ(Write(target),
            "{pardef 1 align=center}\n{use 1}target{p}\n"
            "{pardef 3 bullet formula}\n{hidewhen id=1 style=3 \"@IsNewDoc\"}\n{pardef 2}\n"
            "{hidewhen id=4 style=2 \"x\"}\n{hidewhen-link formula=4 style=2}\n"
            "{use 3}item{use 2}plain");
  // A damaged source leaves the target as it was.
  Bytes before = target;
  Bytes damaged = {5, 0, 9, 0, 0, 0, 1};
  EXPECT_EQ(CompositeCopy(damaged, &target), kRtCorrupt);
  EXPECT_EQ(target, before);
}

TEST(Composite, CopySubsetBringsItsStylesAlong) {
  Bytes source = Parse(
      "{pardef 1}\n{pardef 2 hideread formula}\n{hidewhen id=9 style=2 \"@False\"}\n"
      "{use 1}intro{p}\n{use 2}kept{p}\n");
  // Records 7 and 8: the reference to style 2 and its text.
  Bytes target;
  ASSERT_EQ(CompositeCopySubset(source, 7, 8, &target), kRtOk);
  EXPECT_EQ(Write(target),
            "{pardef 2 hideread formula}\n{hidewhen id=9 style=2 \"@False\"}\n{use 2}kept");
  static const struct { uint32_t first, last; } kBad[] = {{0, 1}, {3, 2}, {1, 99}};
  for (const auto& r : kBad) {
    EXPECT_EQ(CompositeCopySubset(source, r.first, r.last, &target), kRtNoSuchRecord);
  }
}

TEST(Composite, ConvertDocumentFillsTheFields) {
  Bytes form = Parse(
      "{pardef 1}\n{use 1}Subject: {font b}{field \"Subject\" type=1}{font}{p}\n"
      "{field \"Body\" type=7}{field \"Missing\" type=1}end");
  Bytes body = Parse("{pardef 1 align=right}\n{use 1}rich body");
  FieldValueSource values = [&](std::string_view name, FieldValue* v) {
    if (name == "Subject") {
      v->text = "Two\nlines";
      return true;
    }
    if (name == "Body") {
      v->is_rich_text = true;
      v->rich_text = body;
      return true;
    }
    return false;
  };
  Bytes out;
  ASSERT_EQ(CompositeConvertDocument(form, values, &out), kRtOk);
  EXPECT_EQ(Write(out),
            "{pardef 1}\n{use 1}Subject: {font b}Two{br}lines{p}\n"
            "{pardef 2 align=right}\n{use 2}{font}rich body{run}end");
}

TEST(Composite, RecordInfoPointerAndUpdate) {
  Bytes item = Parse("{pardef 1}{use 1}text{table}");
  uint32_t count = 0;
  ASSERT_EQ(CDRecordCount(item, &count), kRtOk);
  EXPECT_EQ(count, 4u);
  RecordInfo info;
  ASSERT_EQ(CDRecordGetInfo(item, 3, &info), kRtOk);
  EXPECT_EQ(info.kind, kKindTextRun);
  EXPECT_EQ(info.length, 10u);
  ASSERT_EQ(CDRecordGetInfo(item, 4, &info), kRtOk);
  EXPECT_EQ(info.kind, kKindRaw);
  EXPECT_EQ(info.signature, kSigTableHeader);
  EXPECT_EQ(CDRecordGetInfo(item, 0, &info), kRtNoSuchRecord);
  EXPECT_EQ(CDRecordGetInfo(item, 5, &info), kRtNoSuchRecord);

  Bytes content;
  ASSERT_EQ(CDRecordGetPointer(item, 1, &content), kRtOk);
  ParagraphStyle p;
  ASSERT_EQ(DecodeParagraphStyle(content, &p), kRtOk);
  p.alignment = kAlignCentre;
  p.space_after = 1;
  ASSERT_EQ(EncodeParagraphStyle(p, &content), kRtOk);
  ASSERT_EQ(CDRecordUpdate(&item, 1, content), kRtOk);
  EXPECT_EQ(Write(item), "{pardef 1 align=center after=1}\n{use 1}text{table}\n");

  // Content that does not fit the record's kind is refused.
  Bytes before = item;
  EXPECT_EQ(CDRecordUpdate(&item, 1, Bytes{1, 2, 3}), kRtCorrupt);
  EXPECT_EQ(CDRecordUpdate(&item, 9, content), kRtNoSuchRecord);
  EXPECT_EQ(item, before);
}

TEST(Composite, TextIntoARichTextField) {
  Bytes item;
  ASSERT_EQ(TextToRichText("Dear all,\r\nthe meeting moved.\n", &item), kRtOk);
  EXPECT_EQ(Write(item), "{pardef 1}\n{use 1}Dear all,{br}the meeting moved.{br}");
  EXPECT_TRUE(IsPlainRichText(item));
  ASSERT_EQ(TextToRichText("", &item), kRtOk);
  EXPECT_EQ(Write(item), "{pardef 1}\n{use 1}");

  // A long text is cut into runs between whole UTF-8 characters.
  std::string text = "a";
  while (text.size() < 70000) text += "\xc3\xa9";
  ASSERT_EQ(TextToRichText(text, &item), kRtOk);
  std::vector<RecordView> records;
  ASSERT_EQ(ParseItem(item, &records), kRtOk);
  ASSERT_EQ(records.size(), 4u);
  std::string joined;
  for (size_t i = 2; i < 4; ++i) {
    TextRun run;
    ASSERT_EQ(DecodeTextRun(records[i].content, &run), kRtOk);
    EXPECT_NE(static_cast<uint8_t>(run.text[0]) & 0xC0, 0x80) << "run starts mid-character";
    joined += run.text;
  }
  EXPECT_EQ(joined, text);
}

TEST(Composite, PlainRichTextIsWhatAnEditKeeps) {
  static const struct {
    const char* markup;
    bool plain;
  } kCases[] = {
      {"{pardef 1}{use 1}text{p}more", true},
      {"{font b}bold", false},
      {"{font size=12}big", false},
      {"{table}", false},
      {"{link document replica=0000000000000000 viewid=00000000000000000000000000000000 "
       "docid=00000000000000000000000000000000 comment=\"\" hint=\"\"}",
       false},
  };
  for (const auto& c : kCases) EXPECT_EQ(IsPlainRichText(Parse(c.markup)), c.plain) << c.markup;
  EXPECT_FALSE(IsPlainRichText(Bytes{5, 0, 1}));
}

}  // namespace
}  // namespace ledra::richtext
