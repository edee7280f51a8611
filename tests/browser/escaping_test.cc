// Text of the request echoed into pages: every page writer escapes it.
// Each request below carries markup in one URL segment; the reply must
// hold it only in its escaped form.
#include <gtest/gtest.h>

#include <string>

#include "tests/browser/browser_engine.h"

namespace {

class EchoedRequestText : public BrowserEngine {
 protected:
  void SetUp() override {
    BrowserEngine::SetUp();
    MakeDatabase("discuss.ldf", "discuss.json");
    Start();
  }
};

TEST_F(EchoedRequestText, NeverReachesAPageAsMarkup) {
  static const struct {
    const char* url;
    const char* escaped;  // what the reply holds instead
  } cases[] = {
      // The frameset writes argument 3 into its frames' addresses ("L").
      {"http://[kv]/Local:/discuss.ldf:/V/All%20Documents/L/5%22%3E%3Csvg%20onload=alert(1)%3E/",
       "5&quot;&gt;&lt;svg onload=alert(1)&gt;"},
      {"http://[kv]/Local:/discuss.ldf:/n/%3Csvg%20onload=alert(1)%3E/",
       "Cannot find Navigator: &lt;svg onload=alert(1)&gt;"},
      // The error page names the database it could not open.
      {"http://[kv]/Local:/%3Csvg%20onload=alert(1)%3E.ldf:/V/x/R/",
       "&lt;svg onload=alert(1)&gt;.ldf"},
  };
  for (const auto& c : cases) {
    std::string reply = Get(c.url);
    EXPECT_EQ(reply.find("<svg"), std::string::npos) << c.url << "\n" << reply;
    EXPECT_EQ(reply.find("\"><"), std::string::npos) << c.url;
    EXPECT_NE(reply.find(c.escaped), std::string::npos) << c.url << "\n" << reply;
  }
}

// Regression: the error page named the program folder with its absolute
// path ("not named in /.../ledra.ini").
TEST_F(EchoedRequestText, TheErrorPageNamesFilesRelativeToTheProgramFolder) {
  ASSERT_EQ(Get("http://[kv]/Local:/discuss.ldf:/V/4/R/").rfind("HTTP/1.1 200 OK", 0), 0u);
  std::string reply = Get("http://[kv]/Elsewhere:/x.ldf:/V/x/R/");
  EXPECT_EQ(reply.rfind("<html><DT><H2>Ledra Error:</H2><DT><DT>", 0), 0u) << reply;
  EXPECT_NE(reply.find("not named in ledra.ini"), std::string::npos) << reply;
  EXPECT_EQ(reply.find("$DIR"), std::string::npos) << reply;
}

}  // namespace
