// The program folder's files over http: what is served, what is refused.
#include "engine/program_resources.h"

#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

class ProgramResources : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/corvane-resources-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    for (const char* folder : {"images", "htmdata", "wtemp", "htmdata/inner"})
      fs::create_directories(dir_ + "/" + folder);
    Write("images/a.gif", "GIF89a-a");
    Write("images/b c.gif", "GIF89a-bc");
    Write("images/smbutton.gif", "GIF89a-icon");
    Write("htmdata/page.htm", "<img src=\"file://" + dir_ + "/images/a.gif\">");
    Write("htmdata/wkspace.htm",
          "HTTP/1.0 302 Temporarily Moved\r\nLocation: http://[kv]/Local:/w.ldf:/V/by Category/LR/"
          "\r\n\r\n");
    Write("htmdata/inner/x.pro", "template");
    Write("wtemp/CD3.GIF", "GIF89a-cd");
    Write("wtemp/5", "HTTP/1.0 200 OK\n\nsomeone else's reply");
    Write("secret.txt", "TOP-SECRET-BYTES");
    fs::create_symlink(dir_ + "/secret.txt", dir_ + "/images/link.gif");
    fs::create_directory_symlink("/etc", dir_ + "/htmdata/etc");
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << text;
  }

  std::string Get(const std::string& path, const std::string& method = "GET",
                  const std::string& since = "") {
    return engine::ProgramResourceReply(dir_, method, "http://corvane.programfolder" + path, since);
  }

  std::string dir_;
};

std::string StatusOf(const std::string& reply) {
  return reply.substr(0, reply.find("\r\n"));
}

TEST_F(ProgramResources, ServesItsThreeFoldersAndNothingElse) {
  static const struct {
    const char* path;
    const char* status;
    const char* type;  // nullptr: not checked
  } cases[] = {
      {"/images/a.gif", "HTTP/1.0 200 OK", "image/gif"},
      {"/images/b%20c.gif", "HTTP/1.0 200 OK", "image/gif"},
      {"/wtemp/CD3.GIF", "HTTP/1.0 200 OK", "image/gif"},
      {"/htmdata/inner/x.pro", "HTTP/1.0 200 OK", "text/plain; charset=utf-8"},
      {"/favicon.ico", "HTTP/1.0 200 OK", "image/gif"},
      {"/", "HTTP/1.0 302 Found", nullptr},
      {"", "HTTP/1.0 302 Found", nullptr},
      // Reply files of other requests, other folders, ways out.
      {"/wtemp/5", "HTTP/1.0 404 Not Found", "text/html; charset=utf-8"},
      {"/secret.txt", "HTTP/1.0 404 Not Found", nullptr},
      {"/images/../secret.txt", "HTTP/1.0 404 Not Found", nullptr},
      {"/images/%2e%2e/secret.txt", "HTTP/1.0 404 Not Found", nullptr},
      {"/images/..%2Fsecret.txt", "HTTP/1.0 404 Not Found", nullptr},
      {"/images//a.gif", "HTTP/1.0 404 Not Found", nullptr},
      {"/images/link.gif", "HTTP/1.0 404 Not Found", nullptr},
      {"/htmdata/etc/passwd", "HTTP/1.0 404 Not Found", nullptr},
      {"/images/a.gif%00.txt", "HTTP/1.0 404 Not Found", nullptr},
      {"/images", "HTTP/1.0 404 Not Found", nullptr},
      {"/htmdata/inner", "HTTP/1.0 404 Not Found", nullptr},
  };
  for (const auto& c : cases) {
    std::string reply = Get(c.path);
    EXPECT_EQ(StatusOf(reply), c.status) << c.path;
    if (c.type != nullptr) {
      EXPECT_NE(reply.find(std::string("Content-Type: ") + c.type + "\r\n"), std::string::npos)
          << c.path;
    }
    EXPECT_EQ(reply.find("TOP-SECRET-BYTES"), std::string::npos) << c.path;
    EXPECT_EQ(reply.find("someone else"), std::string::npos) << c.path;
  }
}

TEST_F(ProgramResources, CachingHeadersAndConditionalRequests) {
  std::string image = Get("/images/a.gif");
  EXPECT_NE(image.find("Cache-Control: max-age=86400\r\n"), std::string::npos);
  EXPECT_NE(image.find("Content-Length: 8\r\n\r\nGIF89a-a"), std::string::npos) << image;
  size_t at = image.find("Last-Modified: ");
  ASSERT_NE(at, std::string::npos);
  std::string modified = image.substr(at + 15, image.find("\r\n", at) - at - 15);
  EXPECT_EQ(StatusOf(Get("/images/a.gif", "GET", modified)), "HTTP/1.0 304 Not Modified");
  EXPECT_EQ(StatusOf(Get("/images/a.gif", "GET", "Mon, 01 Jan 1990 00:00:00 GMT")),
            "HTTP/1.0 200 OK");
  EXPECT_NE(Get("/wtemp/CD3.GIF").find("Cache-Control: no-cache\r\n"), std::string::npos);
  std::string head = Get("/images/a.gif", "HEAD");
  EXPECT_NE(head.find("Content-Length: 8\r\n\r\n"), std::string::npos);
  EXPECT_EQ(head.find("GIF89a"), std::string::npos);
  std::string post = Get("/images/a.gif", "POST");
  EXPECT_EQ(StatusOf(post), "HTTP/1.0 405 Method Not Allowed");
  EXPECT_NE(post.find("Allow: GET, HEAD\r\n"), std::string::npos);
}

TEST_F(ProgramResources, PagesOfHtmdataAreWrittenForTheBrowser) {
  EXPECT_NE(
      Get("/htmdata/page.htm").find("<img src=\"http://corvane.programfolder/images/a.gif\">"),
      std::string::npos);
  std::string workspace = Get("/htmdata/wkspace.htm");
  EXPECT_EQ(StatusOf(workspace), "HTTP/1.0 302 Temporarily Moved");
  EXPECT_NE(workspace.find("Location: http://corvane.asledraclient/Local:/w.ldf:/V/by%20Category/"
                           "LR/\r\n"),
            std::string::npos)
      << workspace;
}

}  // namespace
