// The favourite crawl through the corvjobs program, against sites served
// on loopback: depth and pass order, bounding, fidelity, size limits,
// redirects, the vetoes, credentials, the upstream proxy, stalls and bad
// answers, and the second run's conditional requests.
#include <algorithm>

#include "tests/jobs/job_fixture.h"

namespace {

std::string Page(const std::string& title, const std::string& body) {
  return "<html><head><TITLE>" + title + "</TITLE></head><body>" + body + "</body></html>";
}

// A page tree: index links a and b; a links a2, a2 links a3 ... each level
// one deeper; b links b2.
void WriteTree(JobTest& test) {
  test.WriteSite("/index.htm", Page("Index",
                                    "<a href=\"a.htm\">a</a> <a href=\"b.htm\">b</a>"
                                    "<img src=\"i.gif\">"));
  test.WriteSite("/i.gif", "GIF89a");
  test.WriteSite("/a.htm", Page("A", "<a href=a2.htm>a2</a>"));
  test.WriteSite("/b.htm", Page("B", "<a href='b2.htm'>b2</a>"));
  test.WriteSite("/b2.htm", Page("B2", "end"));
  for (int level = 2; level <= 8; ++level)
    test.WriteSite("/a" + std::to_string(level) + ".htm",
                   Page("A" + std::to_string(level),
                        "<a href=\"a" + std::to_string(level + 1) + ".htm\">next</a>"));
}

class Crawl : public JobTest {};

TEST_F(Crawl, DepthAndPassOrder) {
  WriteTree(*this);
  Origin origin = StartOrigin();
  struct Case {
    const char* levels;
    const char* digging;
    std::vector<std::string> expected;
  } cases[] = {
      {"0", "", {"/index.htm", "/i.gif"}},
      {"0", "D", {"/index.htm", "/i.gif"}},
      // Passes of growing depth: every page of a level before the next.
      {"6",
       "",
       {"/index.htm", "/i.gif", "/a.htm", "/b.htm", "/a2.htm", "/b2.htm", "/a3.htm", "/a4.htm",
        "/a5.htm", "/a6.htm"}},
      // One pass at the full depth: each branch to its end first.
      {"6",
       "D",
       {"/index.htm", "/i.gif", "/a.htm", "/a2.htm", "/a3.htm", "/a4.htm", "/a5.htm", "/a6.htm",
        "/b.htm", "/b2.htm"}},
  };
  for (const Case& c : cases) {
    std::ofstream(origin.log, std::ios::trunc).close();
    // A fresh database each time, so nothing counts as fetched already.
    std::filesystem::remove("data/" + std::string(common::kPageReplicaPath));
    VXNoteId id = AddSchedule({{"StartingURL", origin.Url("/index.htm")},
                               {"CutOffLevels", c.levels},
                               {"DiggingMode", c.digging},
                               {"Fidelity", "H"},
                               {"Title", "Tree"}});
    EXPECT_EQ(RunJobs(std::to_string(id)), 0);
    EXPECT_EQ(Paths(origin), c.expected) << "levels " << c.levels << " mode " << c.digging;
  }
  StoredElement index = Element(origin.Host() + "/index.htm");
  ASSERT_TRUE(index.found);
  EXPECT_EQ(index["ReturnCode"], "200");
  EXPECT_EQ(index["Title"], "Index");
  EXPECT_EQ(index["UserTitle"], "Tree");
  EXPECT_EQ(index["RefList"], "+a.htm\n+b.htm\n-i.gif\n");
  EXPECT_TRUE(index.has_content);
  EXPECT_NE(index.content.find("HTTP/1.0 200"), std::string::npos);
  StoredElement b2 = Element(origin.Host() + "/b2.htm");
  EXPECT_EQ(b2["Supports"], "\n" + origin.Url("/b.htm") + "\n");
  EXPECT_TRUE(DatabaseSound());
}

}  // namespace
