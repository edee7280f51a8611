// Navigators through corvex: the choice of a view's navigator, the "n"
// command and the navigator switch.
#include <gtest/gtest.h>

#include "tests/browser/browser_engine.h"

namespace {

constexpr char kBase[] = "http://[kv]/Local:/nav.ldf:/";

class Navigators : public BrowserEngine {
 protected:
  void SetUp() override {
    BrowserEngine::SetUp();
    MakeDatabase("nav.ldf", "navigators.json");
    Start();
  }
  std::string Redirect(const std::string& url) {
    return "HTTP/1.0 302 Temporarily Moved\nLocation: " + url;
  }
  // The id of a view, read from the frameset's command frame.
  std::string ViewId(const std::string& name) {
    std::string reply = Get(std::string(kBase) + "V/" + name + "/M/");
    size_t at = reply.find("/V/");
    if (at == std::string::npos) return "?";
    size_t end = reply.find('/', at + 3);
    return reply.substr(at + 3, end - at - 3);
  }
};

TEST_F(Navigators, TheOneMarkedDefaultWinsAndSetsItsFlags) {
  // Beta and Alpha both name "By Subject"; Beta is marked "Default": its
  // size (-150 pixels), orientation 3 (rows, command frame first) and its
  // search bar apply.
  std::string frameset = Get(std::string(kBase) + "V/By Subject/LR/");
  EXPECT_NE(frameset.find("<frameset bordercolor=black border=2 rows=\"150,*\"> \n"
                          "<frame NAME=\"kvViewCommandFrame\""),
            std::string::npos)
      << frameset;
  EXPECT_NE(frameset.find("rows=\"40,28,*\""), std::string::npos) << frameset;
  // A view no navigator names keeps the default navigator's frame.
  std::string plain = Get(std::string(kBase) + "V/Plain/LR/");
  EXPECT_NE(plain.find("cols=\"20%,80%\""), std::string::npos) << plain;
}

TEST_F(Navigators, NavigatorCommand) {
  std::string subject = ViewId("By Subject");
  std::string plain = ViewId("Plain");
  EXPECT_EQ(Get(std::string(kBase) + "n/Alpha/"),
            Redirect(std::string(kBase) + "V/" + subject + "/LR/\n\n\n"));
  EXPECT_EQ(Get(std::string(kBase) + "n/"),
            Redirect(std::string(kBase) + "V/" + plain + "/LR/\n\n\n"));
  EXPECT_EQ(
      Get(std::string(kBase) + "n/Nothing/"),
      "<DT><H2>Invalid Access to Pellam Ledra:</H2><DT><DT>Cannot find Navigator: Nothing<DT>");
  // A full-page navigator (size 100) is its command panel.
  std::string full = Get(std::string(kBase) + "n/Full/");
  EXPECT_EQ(full.rfind("HTTP/1.0 200 OK \n\n<HTML>Navigator Full of Navigated (", 0), 0u) << full;
}

TEST_F(Navigators, SwitchTwiceReturnsToTheDefaultNavigator) {
  std::string plain = ViewId("Plain");
  std::string toggle = std::string(kBase) + "n/CORVANE_NAVIGATORS_ENABLEMENT_TOGGLE/";
  // Off: the welcome page; views lose the frame.
  std::string welcome = Get(toggle);
  EXPECT_EQ(welcome.rfind("HTTP/1.0 200 OK \n\n<HTML>\n<HEAD>\n<TITLE>Database Navigated on", 0),
            0u)
      << welcome;
  std::string off = Get(std::string(kBase) + "V/Plain/LR/");
  EXPECT_NE(off.find("cols=\"25%,75%\""), std::string::npos) << off;
  std::string panel = Get(std::string(kBase) + "V/Plain/M/");
  EXPECT_NE(panel.find("Enable Navigators"), std::string::npos) << panel;
  // On again: the default navigator and its view.
  EXPECT_EQ(Get(toggle), Redirect(std::string(kBase) + "V/" + plain + "/LR/\n\n\n"));
}

}  // namespace
