// Document pages through corvex: framesets, read, edit and compose pages
// and their action frames, compared byte for byte over a socket; the
// image of a read page; hide-when paragraphs in each mode.
#include <gtest/gtest.h>

#include <fstream>

#include "browser/document_pages.h"
#include "browser/rich_text_render.h"
#include "engine/reply_file.h"
#include "ledra/richtext/item.h"
#include "ledra/richtext/records.h"
#include "ledra/richtext/status.h"
#include "ledra/vxapi.h"
#include "platform/translate.h"
#include "tests/browser/document_fixture.h"

namespace {

class DocumentPages : public DocumentEngine {};

TEST_F(DocumentPages, FramesetsNameTheirTwoFrames) {
  std::string d = kDb;
  struct {
    const char* url;
    const char* command;
    const char* tail;
  } cases[] = {
      {"D/5/LR/2/All/", "D", "5/LR/2/all/"},
      {"E/5/LR/2/All/{http://x/y}", "E", "5/LR/2/all/{http://x/y}"},
      {"C/Topic/LR/0/All/{}", "C", "Topic/LR/0/all/"},
      {"DX/5/LR/0/All/", "DX", "5/LR/0/all/"},
  };
  for (const auto& c : cases) {
    std::string frames = std::string("http://[kv]/Local:/documents.ldf:/") + c.command;
    EXPECT_EQ(Get(d + c.url),
              std::string("<html>\n<frameset bordercolor=black border=1 rows=\"66,*\">") +
                  "<frame NAME=\"kvDocActionsFrame\" src=\"" + frames + "A/" + c.tail +
                  "\" scrolling=auto marginwidth=10 marginheight=1 >\n" +
                  "<frame NAME=\"kvDocDataFrame\" src=\"" + frames + "P/" + c.tail +
                  "\" scrolling=auto marginwidth=10 marginheight=4 >\n</frameset></html>")
        << c.url;
  }
  // Request text reaches the frame URLs escaped.
  std::string hostile = Get(d + "D/5/\"><script>/0/All/");
  EXPECT_EQ(hostile.find("<script>"), std::string::npos);
  EXPECT_NE(hostile.find("&quot;&gt;&lt;script&gt;"), std::string::npos);
}

TEST_F(DocumentPages, ReadEditAndComposePages) {
  std::string d = kDb;
  Check("read_action", d + "DA/c0de0001g1g1g1g/LR/2/All/");
  Check("read_page", d + "DP/c0de0001g1g1g1g/LR/2/All/");
  Check("edit_action", d + "EA/5/LR/2/All/");
  Check("edit_page", d + "EP/5/LR/2/All/");
  Check("compose_action", d + "CA/1/LR/0/All/");
  Check("compose_page", d + "CP/Topic/LR/0/All/");
  // Argument 1 "0": the document at the view's stored position (2, set by
  // the read page above).
  std::string by_position = Get(d + "DP/0/LR/0/All/");
  for (size_t at = by_position.find("/DP/0/"); at != std::string::npos;
       at = by_position.find("/DP/0/", at))
    by_position.replace(at, 6, "/DP/5/");
  EXPECT_EQ(by_position, Get(d + "DP/5/LR/0/All/"));
}

TEST_F(DocumentPages, HideWhenInEachMode) {
  std::string d = kDb;
  std::string read = Get(d + "DP/5/LR/0/All/");
  std::string edit = Get(d + "EP/5/LR/0/All/");
  std::string compose = Get(d + "CP/Topic/LR/0/All/");
  struct {
    const char* text;
    bool read, edit, compose;
  } cases[] = {{"Shown only while editing", false, true, true},
               {"Shown only while reading", true, false, false},
               {"Hidden while composing", true, true, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(read.find(c.text) != std::string::npos, c.read) << c.text;
    EXPECT_EQ(edit.find(c.text) != std::string::npos, c.edit) << c.text;
    EXPECT_EQ(compose.find(c.text) != std::string::npos, c.compose) << c.text;
  }
}

// Width and height of a GIF file; 0 when it is none.
std::pair<int, int> GifSize(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char header[10] = {};
  if (!in.read(header, sizeof header) || std::string(header, 6) != "GIF87a") return {0, 0};
  auto u16 = [&](int at) {
    return static_cast<unsigned char>(header[at]) |
           (static_cast<unsigned char>(header[at + 1]) << 8);
  };
  return {u16(6), u16(8)};
}

TEST_F(DocumentPages, EveryRecordKindAndAPictureTheBrowserCanLoad) {
  std::string d = kDb;
  engine::SetReplyFileCounter(100);
  uint64_t before = browser::ImageCollector::Conversions();
  std::string page = Get(d + "DP/c0de0002g1g1g1g/LR/1/All/");
  ExpectGolden("Documents_EveryRecordKind_read_page", page);
  const std::string mark = "<IMG SRC=\"FILE://$DIR/";
  size_t at = page.find(mark);
  ASSERT_NE(at, std::string::npos);
  size_t end = page.find('"', at + mark.size());
  std::string gif = folder_ + "/" + page.substr(at + mark.size(), end - at - mark.size());
  EXPECT_EQ(GifSize(gif), std::make_pair(16, 16));
  EXPECT_EQ(browser::ImageCollector::Conversions(), before + 1);
  // The same version of the document: the same GIF, not converted again.
  std::string again = Get(d + "DP/c0de0002g1g1g1g/LR/1/All/");
  EXPECT_NE(again.find(page.substr(at, end - at)), std::string::npos);
  EXPECT_EQ(browser::ImageCollector::Conversions(), before + 1);
}

TEST_F(DocumentPages, ComposeAResponseNeedsAParent) {
  std::string d = kDb;
  // Document 5 at position 2 becomes the view's stored position.
  (void)Get(d + "DP/5/LR/2/All/");
  std::string page = Get(d + "CP/Reply/LR/0/All/");
  EXPECT_NE(page.find("<INPUT NAME=\"$$PARENTUNID\" TYPE=hidden VALUE=\"c0de0001g1g1g1g\">"),
            std::string::npos);
  EXPECT_NE(page.find("VALUE=\"Re: Quotes &quot;here&quot;"), std::string::npos);
  // A position with no row: no parent for a response.
  (void)Get(d + "DP/5/LR/9/All/");
  page = Get(d + "CP/Reply/LR/0/All/");
  EXPECT_NE(page.find(browser::kResponseWithoutParent), std::string::npos) << page;
}

TEST_F(DocumentPages, ErrorsOfTheDocumentPages) {
  std::string d = kDb;
  const std::string error = "<html><DT><H2>Ledra Error:</H2><DT><DT>";
  for (const char* url : {"DP/999/LR/0/All/", "DA/77g1g1g1g/LR/0/All/", "EP/999/LR/0/All/",
                          "EA/999/LR/0/All/", "CP/No such form/LR/0/All/"})
    EXPECT_EQ(Get(d + url).substr(0, error.size()), error) << url;
  EXPECT_EQ(Get("http://[kv]/Local:/nothing.ldf:/DP/1/LR/0/All/").substr(0, error.size()), error);
}

TEST_F(DocumentPages, DamagedRichTextRendersWhatCanBeRead) {
  namespace rt = ledra::richtext;
  rt::Bytes item, content;
  rt::StyleRef ref;
  ASSERT_EQ(rt::EncodeStyleRef(ref, &content), rt::kRtOk);
  ASSERT_EQ(rt::AppendRecord(&item, rt::kKindStyleRef, content), rt::kRtOk);
  rt::TextRun run;
  run.text = "readable part";
  ASSERT_EQ(rt::EncodeTextRun(run, &content), rt::kRtOk);
  ASSERT_EQ(rt::AppendRecord(&item, rt::kKindTextRun, content), rt::kRtOk);
  // A text run whose length runs past the item, then a header cut short.
  rt::Bytes broken = item;
  broken.insert(broken.end(), {5, 0, 200, 0, 0, 0, 1, 2});
  OnPlatform([&](engine::ThreadHandle&) {
    VXHandle db = 0, doc = 0;
    ASSERT_EQ(VXDatabaseOpen("Local", "documents.ldf", 0, &db), kVXOk);
    VXUnid unid{{0xc0de0001, 1, 1, 1}};
    ASSERT_EQ(VXDocumentOpen(db, VXDocumentLocateByUnid(db, &unid), 0, &doc), kVXOk);
    ASSERT_EQ(VXItemPut(doc, "Body", 0, 0, kVXTypeRichText, broken.data(),
                        static_cast<uint32_t>(broken.size())),
              kVXOk);
    ASSERT_EQ(VXDocumentSave(doc, 0), kVXOk);
    VXDocumentClose(doc, 0);
    VXDatabaseClose(db, 0);
  });
  std::string page = Get(std::string(kDb) + "DP/5/LR/0/All/");
  EXPECT_NE(page.find("readable part"), std::string::npos);
  EXPECT_NE(page.find(browser::kDamagedMark), std::string::npos);
  EXPECT_NE(page.find("\n</html>\n\n"), std::string::npos);
}

}  // namespace
