// The attachment command through corvex: content served with its type and
// exact length, attaching and detaching through the file choosers, and
// the answers to links that name nothing that exists.
#include "browser/attachment.h"

#include <gtest/gtest.h>

#include "ledra/vxapi.h"
#include "tests/browser/desktop_engine.h"

namespace {

constexpr char kFiles[] = "http://[kv]/Local:/files.ldf:/A/";
constexpr char kErrorPageStart[] = "<html><DT><H2>Ledra Error:</H2><DT><DT>";
constexpr char kBack[] = "http://[kv]/Local:/files.ldf:/V/All Documents/R/";
constexpr char kNoContent[] = "HTTP/1.1 204 No Content\n\n\n";
const std::string kBinary("\0\1\2\xff\xfe\0\n\rA", 9);

class Attachments : public DesktopEngine {
 protected:
  void SetUp() override {
    DesktopEngine::SetUp();
    std::string design = folder_ + "/files.json";
    std::ofstream(design)
        << "{\"title\": \"Files\", \"views\": [{\"name\": \"All Documents\", \"columns\": ["
           "{\"title\": \"Subject\", \"width\": 20, \"item\": \"Subject\"}]}],"
           "\"documents\": [{\"unid\": \"f11e0001g1g1g1g\", \"items\": {\"Subject\": \"Files\"},"
           " \"attachments\": ["
           "{\"name\": \"REPORT.HTM\", \"text\": \"<html><script>x()</script></html>\"},"
           "{\"name\": \"data.bin\", \"base64\": \"AAEC//4ACg1B\", \"compress\": true},"
           "{\"name\": \"Picture.gif\", \"text\": \"GIF89a\"},"
           "{\"name\": \"page.html\", \"text\": \"<p>\"},"
           "{\"name\": \"sound.wav\", \"text\": \"RIFF\"}, {\"name\": \"sound.au\", \"text\": "
           "\".snd\"},"
           "{\"name\": \"photo.JPG\", \"text\": \"jpeg\"}, {\"name\": \"Applet.class\", \"text\": "
           "\"cafe\"},"
           "{\"name\": \"README\", \"text\": \"plain\"}, {\"name\": \"notes.txt\", \"text\": "
           "\"notes\"}]}]}";
    MakeDatabaseFrom("files.ldf", design);
    Start();
    OnPlatform([&](engine::ThreadHandle& thread) {
      platform::OpenDatabase* db = platform::OpenDatabaseRecord(thread, "Local", "files.ldf");
      ASSERT_NE(db, nullptr);
      VXUnid unid;
      unid.words[0] = 0xf11e0001;
      unid.words[1] = unid.words[2] = unid.words[3] = 1;
      id_ = std::to_string(VXDocumentLocateByUnid(db->handle, &unid));
    });
  }

  std::string Served(const std::string& type, const std::string& content) {
    return "HTTP/1.0 200 OK\r\n" + type +
           "\r\nX-Content-Type-Options: nosniff\r\nContent-Security-Policy: sandbox\r\n"
           "Content-length: " +
           std::to_string(content.size()) + "\r\n\r\n" + content;
  }

  std::string Link(const std::string& action, const std::string& name,
                   const std::string& back = "") {
    std::string url = kFiles + id_ + "/" + action + "/0/" + name + "/";
    if (!back.empty()) url += "{" + back + "}/";
    return url;
  }

  std::string id_;
};

TEST_F(Attachments, ServedWithItsContentTypeAndExactLength) {
  struct {
    const char* name;
    const char* type;
    std::string content;
  } cases[] = {
      {"REPORT.HTM", "Content-type: text/html", "<html><script>x()</script></html>"},
      {"page.html", "Content-type: text/html", "<p>"},
      {"data.bin", "Content-type: text/plain", kBinary},
      {"Picture.gif", "Content-type: image/gif", "GIF89a"},
      {"sound.wav", "Content-type: audio/wav", "RIFF"},
      {"sound.au", "Content-type: audio/au", ".snd"},
      {"photo.JPG", "Content-type: image/jpeg", "jpeg"},
      {"Applet.class", "Content-type: application/x-java-class", "cafe"},
      {"README", "Content-type: text/plain", "plain"},
  };
  for (const auto& c : cases) {
    // The URL's name arrives lower-cased; the stored name has capitals.
    EXPECT_EQ(Get(Link("ds", c.name)), Served(c.type, c.content)) << c.name;
    EXPECT_FALSE(fs::exists(folder_ + "/" + browser::kExtractionFile)) << c.name;
  }
  // The action in any case, the document by its UNID.
  EXPECT_EQ(Get(std::string(kFiles) + "f11e0001g1g1g1g/DS/0/notes.txt/"),
            Served("Content-type: text/plain", "notes"));
  EXPECT_TRUE(Shown().empty());
}

TEST_F(Attachments, ContentTypeByTheNamesLastExtension) {
  struct {
    const char* name;
    const char* line;
  } cases[] = {
      {"a.htm", "Content-type: text/html"},   {"a.HTML", "Content-type: text/html"},
      {"a.b.au", "Content-type: audio/au"},   {"a.gif.txt", "Content-type: text/plain"},
      {"a.jpeg", "Content-type: text/plain"}, {"a.", "Content-type: text/plain"},
      {"noext", "Content-type: text/plain"},  {".class", "Content-type: application/x-java-class"},
  };
  for (const auto& c : cases) EXPECT_STREQ(browser::ContentTypeLine(c.name), c.line) << c.name;
}

TEST_F(Attachments, AttachAndDetachWithAndWithoutAReturnUrl) {
  std::string source = folder_ + "/new file.txt";
  std::ofstream(source) << "attached bytes";
  // Attach, back to the view.
  Answer({"file: " + source});
  EXPECT_EQ(Get(Link("ap", "0", kBack)),
            "HTTP/1.0 302 Temporarily Moved\r\nLocation: " + std::string(kBack) + "\r\n\r\n");
  const std::string open = "[Open] (open file, All (*.*))";
  const std::string save = "[Save As] (save file, All (*.*))";
  EXPECT_EQ(Shown(), (std::vector<std::string>{
                         open, "[Pellam Corvane] (information) File successfully attached."}));
  EXPECT_EQ(Get(Link("ds", "new file.txt")), Served("Content-type: text/plain", "attached bytes"));
  // Attach cancelled, no return URL: the browser stays where it was.
  Answer({"file:"});
  EXPECT_EQ(Get(Link("ap", "0")), kNoContent);
  EXPECT_EQ(Shown(), std::vector<std::string>{open});

  // Detach into a file.
  std::string saved = folder_ + "/saved.bin";
  Answer({"file: " + saved});
  EXPECT_EQ(Get(Link("dp", "data.bin")), kNoContent);
  EXPECT_EQ(Shown(), (std::vector<std::string>{
                         save, "[Pellam Corvane] (information) File successfully detached."}));
  std::ifstream in(saved, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
            kBinary);

  // Save cancelled: from a view the deletion is offered; from a document
  // page, or with no return URL, nothing is asked.
  const std::string no_action = "[Pellam Corvane] (information) No action taken.";
  const std::string question = "[Pellam Corvane] (question) DELETE this attachment instead?";
  struct {
    std::string back;
    std::string answer;
    std::vector<std::string> shown;
    bool kept;
  } cases[] = {
      {kBack, "No", {save, question, no_action}, true},
      {"http://[kv]/Local:/files.ldf:/D/" + id_ + "/LR/", "Yes", {save, no_action}, true},
      {"", "Yes", {save, no_action}, true},
      {kBack,
       "Yes",
       {save, question, "[Pellam Corvane] (information) Attachment successfully deleted"},
       false},
  };
  for (const auto& c : cases) {
    Answer({"file:", c.answer});
    std::string expected =
        c.back.empty() ? kNoContent
                       : "HTTP/1.0 302 Temporarily Moved\r\nLocation: " + c.back + "\r\n\r\n";
    EXPECT_EQ(Get(Link("dp", "REPORT.HTM", c.back)), expected) << c.back;
    EXPECT_EQ(Shown(), c.shown) << c.back;
    std::string served = Get(Link("ds", "REPORT.HTM"));
    EXPECT_EQ(served.rfind("HTTP/1.0 200 OK\r\n", 0) == 0, c.kept) << c.back;
  }
}

TEST_F(Attachments, LinksThatNameNothing) {
  struct {
    std::string url;
    std::string reply_start;
  } cases[] = {
      {"http://[kv]/Local:/missing.ldf:/A/1/ds/0/notes.txt/", kErrorPageStart},
      {std::string(kFiles) + "999999/ds/0/notes.txt/", kErrorPageStart},
      {std::string(kFiles) + "abc/ds/0/notes.txt/",
       std::string(kErrorPageStart) + "No document abc in this database.<DT>"},
      {Link("ds", "nothere.txt"), kErrorPageStart},
      {Link("ds", ".."),
       std::string(kErrorPageStart) + "&quot;..&quot; cannot name an attachment.<DT>"},
      {Link("dp", "a\\b"),
       std::string(kErrorPageStart) + "&quot;a\\b&quot; cannot name an attachment.<DT>"},
      {Link("ds", "a%2fb"), kErrorPageStart},
      {Link("zz", "notes.txt"),
       std::string(kErrorPageStart) + "Unknown attachment action &quot;zz&quot;.<DT>"},
      {std::string(kFiles) + id_ + "/",
       std::string(kErrorPageStart) + "The attachment link names no action.<DT>"},
      {Link("dp", "notes.txt", "http://x/%0d%0aSet-Cookie: a=b"), kNoContent},
  };
  Answer({"file:", "No"});
  for (const auto& c : cases) {
    std::string reply = Get(c.url);
    EXPECT_EQ(reply.substr(0, c.reply_start.size()), c.reply_start) << c.url << "\n" << reply;
  }
  // A missing attachment is said on the desktop as well.
  std::vector<std::string> shown = Shown();
  ASSERT_GE(shown.size(), 2u);
  EXPECT_EQ(shown[0].rfind("[File-Detach Error] (error) ", 0), 0u) << shown[0];
  // Nothing stored was touched.
  EXPECT_EQ(Get(Link("ds", "notes.txt")), Served("Content-type: text/plain", "notes"));
}

}  // namespace
