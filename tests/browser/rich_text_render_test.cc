// The rich-text renderer and the field-input writer on items written in
// markup: lists, hide-when, tables, links, check-box layouts, inputs.
#include <gtest/gtest.h>

#include "browser/rich_text_render.h"
#include "ledra/richtext/markup.h"
#include "ledra/richtext/status.h"
#include "ledra/vxapi.h"
#include "tests/browser/document_fixture.h"

namespace {

class RichTextRender : public DocumentEngine {
 protected:
  // Renders the markup as the Body of a new Topic whose items are given.
  std::string Render(const std::string& markup, browser::RenderMode mode,
                     const std::vector<std::pair<std::string, std::string>>& items = {}) {
    std::string out;
    OnPlatform([&](engine::ThreadHandle& thread) {
      ledra::richtext::Bytes body;
      ledra::richtext::MarkupError error;
      ledra::richtext::MarkupParseOptions options;
      ASSERT_EQ(ledra::richtext::ParseMarkup(markup, options, &body, &error),
                ledra::richtext::kRtOk)
          << markup;
      VXHandle db = 0, doc = 0;
      ASSERT_EQ(VXDatabaseOpen("Local", "documents.ldf", 0, &db), kVXOk);
      ASSERT_EQ(VXDocumentCreate(db, "Topic", &doc), kVXOk);
      ASSERT_EQ(VXItemPut(doc, "Body", 0, 0, kVXTypeRichText, body.data(),
                          static_cast<uint32_t>(body.size())),
                kVXOk);
      for (const auto& [name, value] : items)
        ASSERT_EQ(VXItemPut(doc, name.c_str(), 0, 0, kVXTypeText, value.data(),
                            static_cast<uint32_t>(value.size())),
                  kVXOk);
      engine::DatabaseRequest request;
      request.server = "Local";
      request.database = "documents.ldf";
      request.url = "http://[kv]/Local:/documents.ldf:/DP/1/LR/0/All/";
      EXPECT_EQ(browser::RenderDocumentItem(thread, request, doc, "Body", mode, &out), 0);
      VXDocumentClose(doc, kVXCloseDiscard);
      VXDatabaseClose(db, 0);
    });
    return out;
  }
};

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

constexpr char kStyles[] =
    "{pardef 1}{pardef 2 left=720 bullet}{pardef 3 left=1440 bullet}{pardef 4 left=720 numbered}";

TEST_F(RichTextRender, ListsNestAndSwitch) {
  using browser::RenderMode;
  std::string same = Render(std::string(kStyles) + "{use 2}a{p}b{p}", RenderMode::kRead);
  EXPECT_EQ(Count(same, "<UL>"), 1u);
  std::string nested =
      Render(std::string(kStyles) + "{use 2}a{p}{use 3}deep{p}{use 2}out{p}", RenderMode::kRead);
  EXPECT_EQ(Count(nested, "<UL>"), 2u);
  EXPECT_NE(nested.find("</UL><LI>"), std::string::npos) << nested;
  std::string swap = Render(std::string(kStyles) + "{use 2}a{p}{use 4}one{p}", RenderMode::kRead);
  EXPECT_NE(swap.find("</UL>\n<OL>"), std::string::npos) << swap;
  std::string closed =
      Render(std::string(kStyles) + "{use 2}a{p}{use 1}plain{p}", RenderMode::kRead);
  EXPECT_NE(closed.find("</UL>\n"), std::string::npos);
}

TEST_F(RichTextRender, HiddenParagraphsForEachMode) {
  using browser::RenderMode;
  std::string markup =
      "{pardef 1}{pardef 5 hideread}{pardef 6 hideedit}{pardef 7 hidewhen=\"@IsNewDoc\"}"
      "{pardef 8 hidewhen=\"Subject = \\\"secret\\\"\"}"
      "{use 5}R{p}{use 6}E{p}{use 7}N{p}{use 8}S{p}";
  struct {
    RenderMode mode;
    const char* subject;
    const char* shown;  // the letters of the paragraphs that show
  } cases[] = {{RenderMode::kRead, "x", "ENS"},
               {RenderMode::kEdit, "x", "RNS"},
               {RenderMode::kCompose, "x", "RS"},
               {RenderMode::kRead, "secret", "EN"}};
  for (const auto& c : cases) {
    std::string out = Render(markup, c.mode, {{"Subject", c.subject}});
    std::string shown;
    for (char letter : std::string("RENS"))
      if (out.find(std::string("\n") + letter + "\n") != std::string::npos) shown += letter;
    EXPECT_EQ(shown, c.shown) << static_cast<int>(c.mode) << " " << c.subject;
  }
}

TEST_F(RichTextRender, TablesCellsAndSpacers) {
  std::string out = Render(
      "{pardef 1}{table fit}{cell row=1 left=0 right=1440 hidden}{use 1}gone{p}"
      "{cell row=1 left=1440 right=2880 bg=5}{use 1}{p}{/table}",
      browser::RenderMode::kRead);
  EXPECT_NE(out.find("<TABLE BORDER=0 CELLPADDING=0 CELLSPACING=0 WIDTH=100%><TR VALIGN=TOP>\n"),
            std::string::npos);
  EXPECT_EQ(out.find("gone"), std::string::npos);
  EXPECT_NE(out.find("<TD COLSPAN=1 BGCOLOR=#ff00ff>"), std::string::npos);
  // The empty cell stays visible through the spacer in its colour.
  EXPECT_NE(out.find("<FONT COLOR=#ff00ff><IMG SRC=\"file://" + folder_ + "/images/c_.gif\""),
            std::string::npos)
      << out;
}

TEST_F(RichTextRender, CheckBoxLayoutsAndLinks) {
  using browser::RenderMode;
  std::string two = Render("{pardef 1}{use 1}{keywords columns=2}{field \"Topics\" type=4}{p}",
                           RenderMode::kRead, {{"Topics", "Hall"}});
  EXPECT_EQ(Count(two, "</TD></TR><TR><TD>"), 2u) << two;
  EXPECT_EQ(Count(two, "ckbx_c.gif"), 1u);
  std::string one = Render("{pardef 1}{use 1}{field \"Topics\" type=4}{p}", RenderMode::kRead);
  EXPECT_EQ(one.find("<TABLE"), std::string::npos);
  std::string link = Render(
      "{pardef 1}{use 1}{link document replica=0102030405060708 "
      "viewid=00000000000000000000000000000000 docid=01000000020000000300000004000000 "
      "comment=\"c\" hint=\"\"}{p}",
      RenderMode::kRead);
  EXPECT_NE(link.find("HREF=\"http://[kv]/Local:/4030201g8070605:/D/1g2g3g4g/LR/0/0g0g0g0g/\""),
            std::string::npos)
      << link;
}

TEST_F(RichTextRender, FieldInputsForEachKind) {
  using browser::RenderMode;
  struct {
    const char* field;
    std::string value;
    const char* expected;
  } cases[] = {
      {"Subject", "ten chars!", "VALUE=\"ten chars!\" size=25 "},
      {"Subject", std::string(100, 'x'), "size=80 "},
      {"Subject", "say \"hi\" & <go>", "VALUE=\"say &quot;hi&quot; &amp; &lt;go&gt;\""},
      {"Password", "pw", "<INPUT TYPE=\"password\" NAME=\"kvField_Password\" VALUE=\"pw\""},
      {"Notes", "a\r\nb", "COLS=80 ROWS=2 MAXLENGTH=4096>a \nb</TEXTAREA>"},
      {"Locked", "<b>", "\n&lt;b&gt;"},
      {"Colour", "", "<OPTION >Magenta\n<OPTION SELECTED VALUE=\"\"></SELECT>"},
      {"Priority", "2", "VALUE=\"Normal\" CHECKED>Normal"},
  };
  for (const auto& c : cases) {
    std::string out = Render(std::string("{pardef 1}{use 1}{field \"") + c.field + "\"}{p}",
                             RenderMode::kEdit, {{c.field, c.value}});
    EXPECT_NE(out.find(c.expected), std::string::npos) << c.field << "\n" << out;
  }
  // Inside a table cell a text area is 40 columns wide; a keyword list
  // keeps an entry that is no keyword as a selected option.
  std::string cell =
      Render("{pardef 1}{table}{cell row=1 left=0 right=1440}{use 1}{field \"Notes\"}{p}{/table}",
             RenderMode::kEdit, {{"Notes", "a\nb"}});
  EXPECT_NE(cell.find("COLS=40 ROWS=2"), std::string::npos);
  std::string tags = Render("{pardef 1}{use 1}{field \"Tags\" type=4}{p}", RenderMode::kEdit,
                            {{"Tags", "Red, Mauve"}});
  EXPECT_NE(tags.find("<OPTION SELECTED>Red"), std::string::npos);
  EXPECT_NE(tags.find("<OPTION SELECTED>Mauve</SELECT><BR>\n<INPUT NAME=\"kvField_Tags\" size=8 "
                      "VALUE=\"\" MAXLENGTH=4096></TD></TR></TABLE>"),
            std::string::npos)
      << tags;
}

TEST_F(RichTextRender, AFieldThatHoldsItselfEnds) {
  std::string out =
      Render("{pardef 1}{use 1}again {field \"Body\" type=7}{p}", browser::RenderMode::kRead);
  EXPECT_EQ(Count(out, "again"), static_cast<size_t>(browser::kMaxRenderDepth));
}

}  // namespace
