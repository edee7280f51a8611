// The mapping between pseudo-host URLs and browser URLs, both ways.
#include "engine/url_mapping.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/engine/url_cases.h"
#include "tests/engine/url_judge.h"

namespace {

using engine::ToBrowserUrl;
using engine::ToClassicUrl;

constexpr char kProgramDir[] = "/opt/corvane prog";

TEST(UrlMapping, EveryFormOfTheGrammarGoesThereAndBackExactly) {
  size_t checked = 0;
  for (const std::string& url : url_cases::AllUrls()) {
    std::optional<std::string> browser = ToBrowserUrl(url, kProgramDir);
    ASSERT_TRUE(browser) << url;
    EXPECT_EQ(url_judge::UrlProblem(*browser), "") << url << "\n -> " << *browser;
    EXPECT_EQ(ToClassicUrl(*browser), url_cases::Folded(url)) << *browser;
    ++checked;
  }
  EXPECT_GT(checked, 400u);
}

// Found by the fuzz target: the host kept from one stored link for the
// next was taken for a link whose context and host only added up to the
// same text.
TEST(UrlMapping, TheHostKeptForTheNextLinkIsNotMistakenForAnother) {
  for (const char* url : {"http://[wr;ab]c/x", "http://[wr;a]]c/x", "http://[wr;a]b]c/x",
                          "http://[wrs;a]b]c/x", "http://[wr;ab]c/x"}) {
    std::optional<std::string> browser = ToBrowserUrl(url, kProgramDir);
    ASSERT_TRUE(browser);
    EXPECT_EQ(ToClassicUrl(*browser), url);
  }
}

TEST(UrlMapping, TheFormsAUserSees) {
  static const struct {
    const char* classic;
    const char* browser;
  } cases[] = {
      {"http://[kv]/Local:/kvconfig.ldf:/V/All Documents/LR/",
       "http://corvane.asledraclient/Local:/kvconfig.ldf:/V/All%20Documents/LR/"},
      {"http://[kv]/Local:/samples\\discuss.ldf:/V/5/Xc1/1/1/#Xc1",
       "http://corvane.asledraclient/Local:/samples%5Cdiscuss.ldf:/V/5/Xc1/1/1/#Xc1"},
      {"http://[kv]/Local:/x.ldf:/E/1/LR/0/v/{http://[kv]/Local:/x.ldf:/V/1/LR/}/",
       "http://corvane.asledraclient/Local:/x.ldf:/E/1/LR/0/v/"
       "%7Bhttp://%5Bkv%5D/Local:/x.ldf:/V/1/LR/%7D/"},
      {"http://[wc]/F/?http://[kv]/Local:/x.ldf:/V/3/LR/",
       "http://corvane.command/F/?http://%5Bkv%5D/Local:/x.ldf:/V/3/LR/"},
      {"http://[wr;$WCTX_CorvjobsicaContext]www.example.com/a b.html",
       "http://www.example.com.-w.corvane.storedpage/a%20b.html"},
      {"http://[wr;Local;Replicas.Web;kvwebrs.ldf]my-site.example:8080/",
       "http://my-2dsite.example-3a8080.-x-4cocal-3b-52eplicas-2e-57eb-3bkvwebrs-2eldf."
       "corvane.storedpage/"},
      {"http://[wrs;$WCTX_CorvjobsicaContext]www.example.com/cgi?q=1",
       "http://www.example.com.-w.corvane.storedform/cgi?q=1"},
      {"http://[kv]/Local:/x.ldf:/V/../LR/",
       "http://corvane.verbatim/r%5Bkv%5D%2FLocal:%2Fx.ldf:"
       "%2FV%2F..%2FLR%2F"},
      {"file:///opt/corvane prog/images/c_1.gif", "http://corvane.programfolder/images/c_1.gif"},
      {"FILE:////opt/corvane prog/wtemp/CD17.GIF", "http://corvane.programfolder/wtemp/CD17.GIF"},
      {"file:///opt/corvane prog/", "http://corvane.programfolder/"},
      {"file:///opt/corvane prog/images/../htmdata/./x.htm?a b",
       "http://corvane.programfolder/htmdata/x.htm?a%20b"},
  };
  for (const auto& c : cases) EXPECT_EQ(ToBrowserUrl(c.classic, kProgramDir), c.browser);
}

TEST(UrlMapping, OtherUrlsAreNotMapped) {
  for (const char* url :
       {"http://www.example.com/", "http://[::1]/", "http://[zz]/", "file:///etc/passwd",
        "file:///opt/corvane program/images/x.gif", "mailto:x@example.com", "http://[k", ""}) {
    EXPECT_FALSE(ToBrowserUrl(url, kProgramDir)) << url;
  }
}

TEST(UrlMapping, WhatBrowsersAndUsersSendReadsBack) {
  static const struct {
    const char* browser;
    const char* classic;  // nullptr: not a synonym URL
  } cases[] = {
      // Typed or written by hand: the escapes a browser adds are read back.
      {"http://corvane.asledraclient/Local:/x.ldf:/V/All%20Documents/",
       "http://[kv]/Local:/x.ldf:/V/All Documents/"},
      {"http://Corvane.AsLedraClient:8085/", "http://[kv]/"},
      {"http://corvane.command/N/", "http://[wc]/N/"},
      // Control characters stay escaped: nothing may end the request line.
      {"http://corvane.command/M/?a%0D%0AReferer:%20x", "http://[wc]/M/?a%0D%0AReferer: x"},
      {"http://corvane.asledraclient/%00%7F%41", "http://[kv]/%00%7FA"},
      // A script put its own page's address into a command.
      {"http://corvane.command/F/?http://www.example.com.-w.corvane.storedpage/p%20q",
       "http://[wc]/F/?http://[wr;$WCTX_CorvjobsicaContext]www.example.com/p q"},
      {"http://corvane.command/F/?http://corvane.asledraclient/Local:/x.ldf:/V/1/",
       "http://[wc]/F/?http://[kv]/Local:/x.ldf:/V/1/"},
      {"http://corvane.command/F/?http://corvane.verbatim/r%5Bkv%5D", "http://[wc]/F/?http://[kv]"},
      // Roots and what does not read lead to the workspace.
      {"http://corvane.storedpage/", "http://[wc]/"},
      {"http://corvane.lookupreplica/", "http://[wc]/"},
      {"http://corvane.verbatim/", "http://[wc]/"},
      {"http://www.example.com.-q.corvane.storedpage/", "http://[wc]/"},
      {"http://www-zz.-w.corvane.storedpage/", "http://[wc]/"},
      // A host's escapes never read back as a control character: a CR LF
      // there would end the request line and start a header of the page's
      // choosing.
      {"http://x-0d-0areferer-3a-20http-3a-2f-2f-5bkv-5d.-w.corvane.storedform/", "http://[wc]/"},
      {"http://www.example.com.-x-00.corvane.storedpage/", "http://[wc]/"},
      {"http://www.example.com.-x-7f.corvane.storedpage/", "http://[wc]/"},
      // Not ours.
      {"http://corvane.lookupreplica.host.example/page", nullptr},
      {"http://corvane.programfolder/images/a.gif", nullptr},
      {"http://www.example.com/?u=http://corvane.command/", nullptr},
      {"ftp://corvane.command/", nullptr},
  };
  for (const auto& c : cases) {
    std::optional<std::string> classic = ToClassicUrl(c.browser);
    if (c.classic == nullptr)
      EXPECT_FALSE(classic) << c.browser;
    else
      EXPECT_EQ(classic, c.classic) << c.browser;
  }
}

TEST(UrlMapping, SynonymHostsAreFoundByNameFamilyAndPort) {
  static const struct {
    const char* host;
    const char* found;  // nullptr: none
  } cases[] = {
      {"corvane.asledraclient", "corvane.asledraclient"},
      {"CORVANE.COMMAND:8080", "corvane.command"},
      {"www.example.com.-w.corvane.storedpage", "corvane.storedpage"},
      {"corvane.storedform", "corvane.storedform"},
      {"corvane.lookupreplica.host.example", "corvane.lookupreplica"},
      {"xcorvane.storedpage", nullptr},
      {"corvane.asledraclient.example.com", nullptr},
      {"example.com", nullptr},
  };
  for (const auto& c : cases) {
    const engine::SynonymHost* synonym = engine::FindSynonymHost(c.host);
    if (c.found == nullptr)
      EXPECT_EQ(synonym, nullptr) << c.host;
    else
      EXPECT_TRUE(synonym != nullptr && std::string(synonym->host) == c.found) << c.host;
  }
}

TEST(UrlMapping, ProgramFolderPathsAreDecoded) {
  EXPECT_EQ(engine::ProgramFolderPath("http://corvane.programfolder/images/a%20b.gif?x#y"),
            "/images/a b.gif");
  EXPECT_EQ(engine::ProgramFolderPath("http://corvane.programfolder"), "");
  EXPECT_FALSE(engine::ProgramFolderPath("http://corvane.command/images/a.gif"));
}

}  // namespace
