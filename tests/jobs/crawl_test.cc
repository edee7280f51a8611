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

namespace {

class CrawlRules : public JobTest {
 protected:
  // Runs one schedule to its end and returns its id.
  VXNoteId Run(const std::map<std::string, std::string>& items) {
    VXNoteId id = AddSchedule(items);
    EXPECT_EQ(RunJobs(std::to_string(id)), 0);
    return id;
  }
  static bool Contains(const std::vector<std::string>& paths, const std::string& path) {
    return std::find(paths.begin(), paths.end(), path) != paths.end();
  }
};

TEST_F(CrawlRules, BoundsApplyToPageLinksOnly) {
  Origin other = StartOrigin();
  WriteSite("/x/index.htm", Page("X", "<a href=\"in.htm\">in</a><a href=\"/y/out.htm\">out</a>"));
  WriteSite("/x/in.htm", Page("In", "<img src=\"" + other.Url("/logo.gif") + "\">"));
  WriteSite("/y/out.htm", Page("Out", ""));
  WriteSite("/logo.gif", "GIF89a");
  Origin origin = StartOrigin();
  Run({{"StartingURL", origin.Url("/x/index.htm")},
       {"CutOffLevels", "3"},
       {"Fidelity", "H"},
       {"BoundingURLs", origin.Url("/x/")}});
  std::vector<std::string> paths = Paths(origin);
  EXPECT_TRUE(Contains(paths, "/x/in.htm"));
  EXPECT_FALSE(Contains(paths, "/y/out.htm"));
  EXPECT_EQ(Paths(other), std::vector<std::string>{"/logo.gif"});
  EXPECT_NE(JobLog().find("Bounding veto on URL: " + origin.Url("/y/out.htm")), std::string::npos);
}

TEST_F(CrawlRules, FidelityLetters) {
  WriteSite("/index.htm", Page("F", "<img src=\"a.gif\"><img src=\"b.png\"><img src=\"c.JPG\">"));
  WriteSite("/a.gif", "GIF89a");
  WriteSite("/b.png", std::string(10000, 'p'));
  WriteSite("/c.JPG", "jpeg");
  Origin origin = StartOrigin();
  struct Case {
    const char* letter;
    std::vector<std::string> requested;
    bool page_content, png_content;
  } cases[] = {
      {"H", {"/index.htm", "/a.gif", "/b.png", "/c.JPG"}, true, true},
      {"M", {"/index.htm", "/a.gif", "/b.png", "/c.JPG"}, true, true},
      {"L", {"/index.htm", "/b.png"}, true, false},
      {"S", {"/index.htm", "/b.png"}, false, false},
  };
  for (const Case& c : cases) {
    std::filesystem::remove("data/" + std::string(common::kPageReplicaPath));
    std::ofstream(origin.log, std::ios::trunc).close();
    Run({{"StartingURL", origin.Url("/index.htm")}, {"Fidelity", c.letter}});
    EXPECT_EQ(Paths(origin), c.requested) << c.letter;
    StoredElement page = Element(origin.Host() + "/index.htm");
    StoredElement png = Element(origin.Host() + "/b.png");
    EXPECT_EQ(page.has_content, c.page_content) << c.letter;
    EXPECT_EQ(png.has_content, c.png_content) << c.letter;
    EXPECT_EQ(png["ReturnCode"], c.png_content ? "200" : "0") << c.letter;
  }
  EXPECT_NE(JobLog().find("Skipping: image/png does not pass content-type filter. (L)"),
            std::string::npos);
  EXPECT_NE(JobLog().find("Skipping: image/* does not pass content-type filter. (S)"),
            std::string::npos);
}

TEST_F(CrawlRules, CutOffSizeRefusesLargerElements) {
  WriteSite("/index.htm", Page("Size", "<img src=\"big.png\"><img src=\"small.png\">"));
  WriteSite("/big.png", std::string(20000, 'b'));
  WriteSite("/small.png", std::string(100, 's'));
  Origin origin = StartOrigin();
  Run({{"StartingURL", origin.Url("/index.htm")}, {"Fidelity", "H"}, {"CutOffSize", "10000"}});
  EXPECT_NE(JobLog().find("Skipping: 20000 exceeds limit of 10000 bytes."), std::string::npos);
  StoredElement big = Element(origin.Host() + "/big.png");
  EXPECT_EQ(big["ReturnCode"], "0");
  EXPECT_FALSE(big.has_content);
  EXPECT_EQ(Element(origin.Host() + "/small.png")["ReturnCode"], "200");
}

TEST_F(CrawlRules, RedirectsAreFollowedAtTheirDepth) {
  Origin origin = StartOrigin(
      R"({"/start.htm": {"status": 302, "headers": {"Location": "/home.htm"}},
          "/moved.htm": {"status": 301, "headers": {"Location": "/new.htm"}},
          "/temp.htm": {"status": 302, "headers": {"Location": "/target.htm"}}})");
  WriteSite("/home.htm", Page("Home", "<a href=\"moved.htm\">m</a><a href=\"temp.htm\">t</a>"));
  WriteSite("/new.htm", Page("New", ""));
  WriteSite("/target.htm", Page("Target", ""));
  Run({{"StartingURL", origin.Url("/start.htm")},
       {"Fidelity", "H"},
       {"CutOffLevels", "2"},
       {"BoundingURLs", "*/home.htm, */moved.htm, */temp.htm"}});
  // The start element's 302 counts as its success; its Location is a
  // supporting line, fetched at the same depth without a bounding test.
  StoredElement start = Element(origin.Host() + "/start.htm");
  EXPECT_EQ(start["ReturnCode"], "200");
  EXPECT_EQ(start["RefList"], "-/home.htm\n");
  EXPECT_NE(start.content.find("Location: /home.htm"), std::string::npos) << start.content;
  EXPECT_EQ(Element(origin.Host() + "/temp.htm")["ReturnCode"], "302");
  EXPECT_EQ(Element(origin.Host() + "/moved.htm")["ReturnCode"], "301");
  std::vector<std::string> paths = Paths(origin);
  EXPECT_TRUE(Contains(paths, "/target.htm"));
  EXPECT_TRUE(Contains(paths, "/new.htm"));
  EXPECT_EQ(Element(origin.Host() + "/target.htm")["ReturnCode"], "200");
}

TEST_F(CrawlRules, SearchTextAndContentFilterVetoStorage) {
  WriteSite("/match.htm", Page("M", "the Quarterly report<img src=\"m.gif\">"));
  WriteSite("/miss.htm", Page("N", "nothing here<img src=\"n.gif\"><a href=\"match.htm\">x</a>"));
  WriteSite("/m.gif", "GIF89a");
  WriteSite("/n.gif", "GIF89a");
  Origin origin = StartOrigin();
  Run({{"StartingURL", origin.Url("/miss.htm")},
       {"Fidelity", "H"},
       {"CutOffLevels", "1"},
       {"SearchText", "annual, quarterly"}});
  StoredElement miss = Element(origin.Host() + "/miss.htm");
  EXPECT_EQ(miss["ReturnCode"], "200");
  EXPECT_FALSE(miss.has_content);
  EXPECT_EQ(miss["RefList"], "+match.htm\n");  // page links stay, supporting elements go
  EXPECT_TRUE(Element(origin.Host() + "/match.htm").has_content);
  EXPECT_FALSE(Contains(Paths(origin), "/n.gif"));
  EXPECT_TRUE(Contains(Paths(origin), "/m.gif"));
  EXPECT_NE(JobLog().find("Storage veto: page text will not be stored, does not match "
                          "\"annual, quarterly\". "),
            std::string::npos);

  // A content filter that rewrites the response, and one that stores nothing.
  std::ofstream("filter.py")
      << "import sys\n"
         "data = open(sys.argv[1], 'rb').read()\n"
         "url = open(sys.argv[3]).read()\n"
         "if 'miss' in url: sys.exit(0)\n"
         "open(sys.argv[2], 'wb').write(data.replace(b'Quarterly', b'FILTERED'))\n";
  std::filesystem::remove("data/" + std::string(common::kPageReplicaPath));
  Run({{"StartingURL", origin.Url("/miss.htm")},
       {"Fidelity", "H"},
       {"CutOffLevels", "1"},
       {"PreProcessor", "python3 " + prog_ + "/filter.py"}});
  EXPECT_FALSE(Element(origin.Host() + "/miss.htm").has_content);
  StoredElement filtered = Element(origin.Host() + "/match.htm");
  EXPECT_NE(filtered.content.find("the FILTERED report"), std::string::npos) << filtered.content;
  EXPECT_NE(JobLog().find("Storage veto: custom content-filter has signalled to not store this "
                          "element. "),
            std::string::npos);
}

TEST_F(CrawlRules, CredentialsGoToTheFavouritesHostOnly) {
  Origin other = StartOrigin();
  WriteSite("/private.htm", Page("Private", "<img src=\"" + other.Url("/pic.gif") + "\">"));
  WriteSite("/pic.gif", "GIF89a");
  Origin origin = StartOrigin(R"({"/private.htm": {"auth": "anna:s3cret"}})");
  Run({{"StartingURL", origin.Url("/private.htm")},
       {"Fidelity", "H"},
       {"UserName", "anna"},
       {"Password", "s3cret"}});
  EXPECT_EQ(Element(origin.Host() + "/private.htm")["ReturnCode"], "200");
  std::vector<Seen> seen = Requests(origin);
  ASSERT_FALSE(seen.empty());
  EXPECT_NE(seen[0].line.find("\"Authorization\": \"Basic YW5uYTpzM2NyZXQ=\""), std::string::npos);
  EXPECT_NE(seen[0].line.find("\"Host\": \"" + origin.Host() + "\""), std::string::npos);
  std::vector<Seen> elsewhere = Requests(other);
  ASSERT_EQ(elsewhere.size(), 1u);
  EXPECT_EQ(elsewhere[0].line.find("Authorization"), std::string::npos);

  std::filesystem::remove("data/" + std::string(common::kPageReplicaPath));
  Run({{"StartingURL", origin.Url("/private.htm")},
       {"Fidelity", "H"},
       {"UserName", "anna"},
       {"Password", "wrong"}});
  EXPECT_EQ(Element(origin.Host() + "/private.htm")["ReturnCode"], "401");
}

TEST_F(CrawlRules, UpstreamProxyWithOverrides) {
  WriteSite("/index.htm", Page("P", "<img src=\"p.gif\">"));
  WriteSite("/p.gif", "GIF89a");
  Origin proxy = StartOrigin();
  Origin origin = StartOrigin();
  auto configure = [&](const std::string& overrides) {
    std::vector<VXNoteId> ids;
    ASSERT_EQ(jobs::SelectDocuments(config_, "Select Form=\"Configuration\"", &ids), kVXOk);
    ASSERT_FALSE(ids.empty());
    VXHandle doc = 0;
    ASSERT_EQ(VXDocumentOpen(config_, ids[0], 0, &doc), kVXOk);
    ASSERT_EQ(jobs::PutTextItem(doc, "HTTPProxy", proxy.Host()), kVXOk);
    ASSERT_EQ(jobs::PutTextItem(doc, "ProxyOverrides", overrides), kVXOk);
    ASSERT_EQ(jobs::PutTextItem(doc, "ProxyLogin", "px"), kVXOk);
    ASSERT_EQ(jobs::PutTextItem(doc, "Password", "pw"), kVXOk);
    VXDocumentClose(doc, kVXCloseKeep);
  };
  configure("");
  Run({{"StartingURL", origin.Url("/index.htm")}, {"Fidelity", "H"}});
  std::vector<Seen> through = Requests(proxy);
  ASSERT_EQ(through.size(), 2u);
  EXPECT_EQ(through[0].path, origin.Url("/index.htm"));
  EXPECT_NE(through[0].line.find("\"Proxy-Authorization\": \"Basic cHg6cHc=\""), std::string::npos);
  EXPECT_TRUE(Requests(origin).empty());

  configure("intranet " + origin.Host() + " <local>");
  std::filesystem::remove("data/" + std::string(common::kPageReplicaPath));
  Run({{"StartingURL", origin.Url("/index.htm")}, {"Fidelity", "H"}});
  EXPECT_EQ(Requests(proxy).size(), 2u);
  std::vector<Seen> direct = Requests(origin);
  ASSERT_EQ(direct.size(), 2u);
  EXPECT_EQ(direct[0].path, "/index.htm");
  EXPECT_EQ(direct[0].line.find("Proxy-Authorization"), std::string::npos);
}

TEST_F(CrawlRules, TimeAndSizeLimitsStopTheCrawl) {
  WriteTree(*this);
  Origin slow = StartOrigin(R"({"/a.htm": {"delay": 0.4}, "/b.htm": {"delay": 0.4},
                                "/a2.htm": {"delay": 0.4}})");
  setenv("CORVANE_JOB_MINUTE_MS", "300", 1);
  Run({{"StartingURL", slow.Url("/index.htm")}, {"CutOffLevels", "6"}, {"MaxRunTime", "1"}});
  unsetenv("CORVANE_JOB_MINUTE_MS");
  EXPECT_NE(JobLog().find("Time limit of 1 minutes exceeded, terminating..."), std::string::npos);
  EXPECT_LT(Paths(slow).size(), 6u);

  std::string noise(700000, ' ');
  uint32_t state = 12345;
  for (char& c : noise) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>('!' + (state >> 16) % 90);
  }
  for (const char* name : {"/n1.bin", "/n2.bin", "/n3.bin", "/n4.bin"}) WriteSite(name, noise);
  WriteSite("/big.htm", Page("Big",
                             "<img src=n1.bin><img src=n2.bin><img src=n3.bin>"
                             "<img src=n4.bin>"));
  Origin origin = StartOrigin();
  Run({{"StartingURL", origin.Url("/big.htm")}, {"Fidelity", "H"}, {"MaxDBSize", "1"}});
  EXPECT_NE(JobLog().find("Database size of 1 MB exceeded, terminating..."), std::string::npos);
  EXPECT_LT(Paths(origin).size(), 5u);
  EXPECT_TRUE(DatabaseSound());
}

TEST_F(CrawlRules, SecondRunAsksIfModifiedSince) {
  WriteTree(*this);
  Origin origin = StartOrigin();
  std::map<std::string, std::string> items{
      {"StartingURL", origin.Url("/index.htm")}, {"CutOffLevels", "2"}, {"Fidelity", "H"}};
  Run(items);
  std::vector<Seen> first = Requests(origin);
  StoredElement before = Element(origin.Host() + "/a.htm");
  std::ofstream(origin.log, std::ios::trunc).close();
  // One page changes (a later modification time).
  std::filesystem::last_write_time(
      folder_ + "/site/b.htm",
      std::filesystem::file_time_type::clock::now() + std::chrono::hours(1));
  Run(items);
  std::vector<Seen> second = Requests(origin);
  ASSERT_EQ(second.size(), first.size());
  int ok = 0, unchanged = 0;
  for (const Seen& s : second) {
    EXPECT_NE(s.line.find("If-Modified-Since"), std::string::npos) << s.path;
    (s.status == 304 ? unchanged : ok) += 1;
    if (s.status == 200) {
      EXPECT_EQ(s.path, "/b.htm");
    }
  }
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(unchanged, static_cast<int>(first.size()) - 1);
  StoredElement after = Element(origin.Host() + "/a.htm");
  EXPECT_EQ(after.content, before.content);
  EXPECT_EQ(after["RefList"], before["RefList"]);
}

}  // namespace
