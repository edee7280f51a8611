// The small pieces of the document pages, table by table: keyword
// membership, UNID text, form text, formula preparation, compose formulas,
// text and font runs, the colour table.
#include <gtest/gtest.h>

#include "browser/document_ids.h"
#include "browser/form_submit.h"
#include "browser/form_text.h"
#include "browser/rich_text_writers.h"

namespace {

using namespace browser;

TEST(DocumentIds, ListContains) {
  struct {
    uint32_t kind;
    const char *names, *text;
    bool expected;
  } cases[] = {
      {3, "Red|R", "R;Blue", true},   {3, "Re", "Red;Blue", false}, {2, "Blue", "Red,Blue", true},
      {2, "Red", "Red,Blue", true},   {2, " Red ", "Red", true},    {1, "b", "a b", true},
      {2, "", "Red", false},          {2, "Red", "", false},        {9, "Red", "Red", true},
      {9, "Red", "Red,x", false},     {2, "Blue|Navy", "Navy", true}, {2, "Bl", "Blue,Bl", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ListContains(c.kind, c.names, c.text), c.expected) << c.names << " in " << c.text;
}

TEST(DocumentIds, UnidTextRoundTrips) {
  VXUnid unid{{0x85ab1, 0x1c2, 0x3d4, 0x5e6}};
  EXPECT_EQ(UnidToText(unid), "85ab1g1c2g3d4g5e6g");
  VXUnid back;
  ASSERT_TRUE(TextToUnid("85ab1g1c2g3d4g5e6g", &back));
  EXPECT_TRUE(back == unid);
  EXPECT_FALSE(TextToUnid("12g34", &back));
  EXPECT_TRUE(IsZeroUnid(back));
  EXPECT_EQ(UnidToText(VXUnid{{0xffffffff, 0, 0, 0}}).size(), 15u);
  EXPECT_EQ(PositionOnly("3.2"), "3.2");
  EXPECT_EQ(PositionOnly("3.2\"><script>"), "3.2");
}

TEST(FormText, Decoding) {
  struct {
    const char* in;
    bool ok;
    const char* out;
  } cases[] = {
      {"a+b%2Bc", true, "a b+c"},   {"%41%62", true, "Ab"},       {"\\%41", true, "\\%41"},
      {"\\+", true, "\\+"},         {"%zz", false, ""},           {"%4", false, ""},
      {"%", false, ""},             {"caf%C3%A9", true, "café"},  {"%C3%28", false, ""},
      {"%ED%A0%80", false, ""},     {"%C0%AF", false, ""},        {"", true, ""},
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_EQ(DecodeFormText(c.in, &out), c.ok) << c.in;
    if (c.ok) {
      EXPECT_EQ(out, c.out) << c.in;
    }
  }
  std::vector<FormPair> pairs;
  std::string error;
  ASSERT_TRUE(ReadFormPairs("a=1&noequals&=x&b=&c=x%3Dy&&", &pairs, &error));
  ASSERT_EQ(pairs.size(), 3u);
  EXPECT_EQ(pairs[1].name, "b");
  EXPECT_EQ(pairs[1].value, "");
  EXPECT_EQ(pairs[2].value, "x=y");
  EXPECT_FALSE(ReadFormPairs("a=%G1", &pairs, &error));
  EXPECT_EQ(RequestBody("POST / HTTP/1.0\r\nA: b\r\n\r\nx=1\r\n\r\ny"), "x=1\r\n\r\ny");
  EXPECT_EQ(RequestBody("GET / HTTP/1.0\r\n"), "");
}

TEST(RichTextWriters, FormulaPreparation) {
  struct {
    const char* in;
    int mode;
    const char* out;
  } cases[] = {
      {"@IsNewDoc", 0, "@FALSE"},
      {"@IsNewDoc", 2, "@TRUE"},
      {"@isdocbeingedited | @IsDocBeingLoaded", 0, "@FALSE | @TRUE"},
      {"@IsDocBeingEdited & !@IsNewDoc", 1, "@TRUE & !@FALSE"},
      {"@IsNewDoc", 3, "@IsNewDoc"},
      {"x := \"@IsNewDoc\"", 2, "x := \"@TRUE\""},
  };
  for (const auto& c : cases) EXPECT_EQ(PrepareFormula(c.in, c.mode), c.out) << c.in;
  EXPECT_EQ(SubmissionDefaultFormula(""), "@UserName");
  EXPECT_EQ(SubmissionDefaultFormula("\"By \" + @v3username"), "\"By \" + @UserName");
}

TEST(RichTextWriters, ComposeFormulas) {
  struct {
    const char* formula;
    const char* form;  // null: composes nothing
  } cases[] = {
      {"@Command([Compose]; \"Main Topic\")", "Main Topic"},
      {"@Command([Compose]; \"\"; \"Topic\")", "Topic"},
      {"@Command([Compose])", nullptr},
      {"@Command([EditDocument]; \"1\")", nullptr},
      {"@Command([Compose]; x)", nullptr},
  };
  for (const auto& c : cases) {
    std::string form;
    EXPECT_EQ(ComposeFormName(c.formula, &form), c.form != nullptr) << c.formula;
    if (c.form != nullptr) {
      EXPECT_EQ(form, c.form);
    }
  }
  EXPECT_EQ(ScriptAttributeText("a'b\"c\\<"), "a\\&#39;b\\&quot;c\\\\&lt;");
}

TEST(RichTextWriters, TextRunsEscapeAllButPassThroughHtml) {
  struct {
    std::string in, out;
  } cases[] = {
      {"a < b & c", "a &lt; b &amp; c"},
      {"[<HR>]", " <HR> "},
      {"x [<B>]bold[</B>] y", "x  <B> bold </B>  y"},
      {"[<A HREF=\"a[1]\">]z", " <A HREF=\"a[1 \"> z"},
      {"tail >] here", "tail &gt;  here"},
      {"open [<B", "open  <B"},
      {std::string("one\0two", 7), "one\n<BR>\ntwo"},
      {"<script>", "&lt;script&gt;"},
  };
  for (const auto& c : cases) {
    std::string out;
    WriteTextRun(c.in, &out);
    EXPECT_EQ(out, c.out) << c.in;
  }
}

TEST(RichTextWriters, FontRunsAndColours) {
  RenderState state;
  std::string out;
  ledra::richtext::FontId font;
  font.attributes = 0x01 | 0x08;
  font.colour = 0x12;  // the low four bits: 2, red
  font.size = 18;
  WriteFontRun(font, &state, &out);
  EXPECT_EQ(out, "\n</FONT>\n<FONT size=+3 color=#ff0000><B><S>\n");
  EXPECT_EQ(state.sizeStep, 7);
  out.clear();
  font = {};
  font.size = 6;
  WriteFontRun(font, &state, &out);
  EXPECT_EQ(out, "\n</FONT></B></S>\n<FONT size=-1 color=#000000>\n");
  EXPECT_EQ(ColourName(0), "#000000");
  EXPECT_EQ(ColourName(100), "#00e100");
  EXPECT_EQ(ColourName(239), "#000000");
  EXPECT_EQ(ColourName(240), "#FFFFFF");
}

}  // namespace
