// Every image the pages and templates name ships in resources/images as a
// GIF, and the view icons run from c_0.gif to c_168.gif.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

const std::string kSource = CORVANE_SOURCE_DIR;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool IsGif(const std::string& name) {
  std::string bytes = ReadAll(kSource + "/resources/images/" + name);
  return bytes.size() > 13 &&
         (bytes.compare(0, 6, "GIF87a") == 0 || bytes.compare(0, 6, "GIF89a") == 0) &&
         bytes.back() == ';';
}

TEST(PageImages, EveryNamedImageIsAGif) {
  std::set<std::string> names = {"smclsdtw.gif", "smopentw.gif", "checkmk.gif",  "nocheck.gif",
                                 "delmk.gif",    "blanktw.gif",  "smbutton.gif", "compose.gif",
                                 "doclink.gif",  "viewlink.gif", "dblink.gif",   "attach.gif",
                                 "gopentw.gif",  "ckbx_c.gif",   "ckbx_u.gif",   "rbtn_c.gif",
                                 "rbtn_u.gif",   "c_.gif"};
  for (const char* kind : {"inbox", "drafts", "sent", "all", "todo", "trash", "magnif"})
    for (const char* variant : {"g", "y"}) names.insert(std::string(variant) + "_" + kind + ".gif");
  for (int n = 0; n <= 168; ++n) names.insert("c_" + std::to_string(n) + ".gif");
  // And whatever the shipped templates name.
  std::regex image(R"(images/([A-Za-z0-9_]+\.gif))");
  for (const auto& entry : fs::directory_iterator(kSource + "/resources/htmdata")) {
    std::string text = ReadAll(entry.path());
    for (std::sregex_iterator it(text.begin(), text.end(), image), end; it != end; ++it)
      names.insert((*it)[1]);
  }
  for (const std::string& name : names) EXPECT_TRUE(IsGif(name)) << name;
  // Values over 168 name no icon; c_.gif, what an empty value names, is the
  // one-pixel spacer of empty table cells.
  EXPECT_FALSE(fs::exists(kSource + "/resources/images/c_169.gif"));
  EXPECT_TRUE(IsGif("c_.gif"));
}

TEST(PageImages, TemplatesDefineTheNamesTheRowsUse) {
  std::string pages;
  for (const char* name : {"vact_S.pro", "vact_T.pro"}) {
    std::string text = ReadAll(kSource + "/resources/htmdata/" + name);
    EXPECT_NE(text.find("$WCTX_Include:vact_js.pro"), std::string::npos) << name;
  }
  std::string js = ReadAll(kSource + "/resources/htmdata/vact_js.pro");
  for (const char* defined :
       {"function kvJS_CheckRegionOver", "var HighLightCheckMark", "var DeHighLightCheckMark",
        "var DeHighLightCheckRegion", "function kvJS_Over", "function kvJS_Out"})
    EXPECT_NE(js.find(defined), std::string::npos) << defined;
  // No vact_L.pro: it would replace every built-in frameset.
  EXPECT_FALSE(fs::exists(kSource + "/resources/htmdata/vact_L.pro"));
}

TEST(PageImages, TheWelcomePageImages) {
  for (const char* name : {"cftindx.gif", "compdb.gif", "deldb.gif"})
    EXPECT_TRUE(IsGif(name)) << name;
  // The background: a baseline JPEG (SOI, a baseline frame of 128 x 128
  // with three components, EOI), whole.
  std::string jpeg = ReadAll(kSource + "/resources/images/back1.jpg");
  ASSERT_GT(jpeg.size(), 200u);
  EXPECT_EQ(jpeg.compare(0, 2, "\xFF\xD8"), 0);
  EXPECT_EQ(jpeg.compare(jpeg.size() - 2, 2, "\xFF\xD9"), 0);
  size_t frame = jpeg.find("\xFF\xC0");
  ASSERT_NE(frame, std::string::npos);
  EXPECT_EQ(jpeg.substr(frame + 4, 7), std::string("\x08\x00\x80\x00\x80\x03", 6) + '\x01');
}

}  // namespace
