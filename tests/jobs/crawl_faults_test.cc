// Sites that misbehave: a stalled server, malformed answers, a short body,
// a redirect loop, a page of 100,000 links and a page of 50 MB. Each gives
// its element's answer or a clear log line, the job ends, and the
// page-replica database stays sound.
#include "tests/jobs/job_fixture.h"

namespace {

class CrawlFaults : public JobTest {};

TEST_F(CrawlFaults, EachBadAnswerEndsWithItsElement) {
  Origin origin = StartOrigin(R"({
      "/stall.htm": {"stall": 30},
      "/garbled.htm": {"raw": "HTTX/1.0 two hundred\r\n\r\nbody"},
      "/nocolon.htm": {"raw": "HTTP/1.0 200 OK\r\nContent-Type text/html\r\nodd header\r\n\r\n<a href=x>"},
      "/headonly.htm": {"raw": "HTTP/1.0 200 OK\r\nContent-type: text/html\r\n"},
      "/short.htm": {"short": 1000, "body": "abc"},
      "/loop1.htm": {"status": 302, "headers": {"Location": "/loop2.htm"}},
      "/loop2.htm": {"status": 302, "headers": {"Location": "/loop1.htm"}},
      "/links.htm": {"repeat": "<a href=\"p.htm\">", "times": 100000},
      "/huge.htm": {"repeat": "<p>abc</p>", "times": 5242880}})");
  std::string page = "<html><title>Bad</title>";
  for (const char* path :
       {"stall", "garbled", "nocolon", "headonly", "short", "loop1", "links", "huge", "fine"})
    page += std::string("<img src=\"") + path + ".htm\">";
  WriteSite("/index.htm", page);
  WriteSite("/fine.htm", "<html>fine</html>");
  VXNoteId id = AddSchedule({{"StartingURL", origin.Url("/index.htm")}, {"Fidelity", "H"}});
  EXPECT_EQ(RunJobs(std::to_string(id)), 0);

  struct Expect {
    const char* path;
    const char* code;
    bool content;
  } expected[] = {
      {"/stall.htm", "-1", false},     {"/garbled.htm", "-1", false}, {"/nocolon.htm", "200", true},
      {"/headonly.htm", "200", false}, {"/short.htm", "-1", false},   {"/loop1.htm", "302", true},
      {"/loop2.htm", "302", true},     {"/links.htm", "200", true},   {"/huge.htm", "200", true},
      {"/fine.htm", "200", true},
  };
  for (const Expect& e : expected) {
    StoredElement element = Element(origin.Host() + e.path);
    EXPECT_TRUE(element.found) << e.path;
    EXPECT_EQ(element["ReturnCode"], e.code) << e.path;
    EXPECT_EQ(element.has_content, e.content) << e.path;
  }
  // The short answer was asked twice (one retry); the stalled one too, but
  // the origin logs it only when its stall ends.
  int shorts = 0;
  for (const Seen& s : Requests(origin)) shorts += s.path == "/short.htm";
  EXPECT_EQ(shorts, 2);
  std::string log = JobLog();
  EXPECT_NE(log.find("Receive timed out after"), std::string::npos);
  EXPECT_NE(log.find("Short answer: 3 of 1000 bytes received."), std::string::npos);
  EXPECT_NE(log.find("Links and references on page exceed 64KB."), std::string::npos);
  StoredElement links = Element(origin.Host() + "/links.htm");
  EXPECT_LE(links["RefList"].size(), 61440u);
  EXPECT_GT(links["RefList"].size(), 61000u);
  StoredElement huge = Element(origin.Host() + "/huge.htm");
  EXPECT_EQ(huge["ContentLength"], "52428800");
  EXPECT_GT(huge.content.size(), 52428800u);
  EXPECT_NE(StatusFile().find("Processing completed for Favorite"), std::string::npos);
  EXPECT_TRUE(DatabaseSound());
}

}  // namespace
