// Submissions through corvex: an edit page posted back as a browser would
// post it leaves every stored item as it was; changed values are stored in
// their fields' types; composing with a parent, validation, the mail
// offer, and bodies that cannot be taken.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>

#include "browser/form_submit.h"
#include "common/text.h"
#include "ledra/vxapi.h"
#include "os/desktop.h"
#include "tests/browser/document_fixture.h"

namespace {

std::string Unescape(std::string text) {
  static const std::pair<const char*, const char*> kEntities[] = {
      {"&quot;", "\""}, {"&lt;", "<"}, {"&gt;", ">"}, {"&#39;", "'"}, {"&amp;", "&"}};
  for (const auto& [entity, plain] : kEntities) {
    for (size_t at = text.find(entity); at != std::string::npos; at = text.find(entity, at + 1))
      text.replace(at, std::strlen(entity), plain);
  }
  return text;
}

std::string Attribute(const std::string& tag, const std::string& name) {
  std::smatch m;
  if (std::regex_search(tag, m, std::regex(name + "=\"([^\"]*)\""))) return Unescape(m[1]);
  return "";
}

// What a browser posts for the form of a page: inputs, checked boxes and
// radio buttons, text areas (line ends as CR LF, a first line feed
// dropped) and selected options, in page order, form-encoded.
std::string BrowserBody(const std::string& page) {
  std::vector<std::pair<std::string, std::string>> pairs;
  std::regex element(
      "<INPUT [^>]*>|<TEXTAREA [^>]*>[^<]*</TEXTAREA>|<SELECT [^>]*>(?:[^<]|<OPTION)*");
  for (auto it = std::sregex_iterator(page.begin(), page.end(), element);
       it != std::sregex_iterator(); ++it) {
    std::string e = it->str();
    if (e.rfind("<INPUT", 0) == 0) {
      std::string type = Attribute(e, "TYPE"), name = Attribute(e, "NAME");
      bool checked = e.find(" CHECKED") != std::string::npos;
      if (name.empty() || type == "submit" || type == "button") continue;
      if (type == "checkbox") {
        if (checked) pairs.emplace_back(name, "on");
      } else if (type == "radio") {
        if (checked) pairs.emplace_back(name, Attribute(e, "VALUE"));
      } else {
        pairs.emplace_back(name, Attribute(e, "VALUE"));
      }
    } else if (e.rfind("<TEXTAREA", 0) == 0) {
      std::string text =
          Unescape(e.substr(e.find('>') + 1, e.rfind("</TEXTAREA>") - e.find('>') - 1));
      if (!text.empty() && text[0] == '\n') text.erase(0, 1);
      std::string crlf;
      for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
      pairs.emplace_back(Attribute(e, "NAME"), crlf);
    } else {
      std::string name = Attribute(e, "NAME");
      bool multiple = e.find("MULTIPLE") != std::string::npos;
      std::vector<std::pair<bool, std::string>> options;
      std::regex option("<OPTION ?([^>]*)>([^\n<]*)");
      for (auto o = std::sregex_iterator(e.begin(), e.end(), option); o != std::sregex_iterator();
           ++o) {
        std::string attributes = (*o)[1];
        std::string value =
            attributes.find("VALUE=\"\"") != std::string::npos ? "" : Unescape((*o)[2]);
        options.emplace_back(attributes.find("SELECTED") != std::string::npos, value);
      }
      bool any = false;
      for (auto& [selected, value] : options)
        if (selected && (multiple || !any)) {
          pairs.emplace_back(name, value);
          any = true;
        }
      if (!multiple && !any && !options.empty()) pairs.emplace_back(name, options[0].second);
    }
  }
  std::string body;
  for (const auto& [name, value] : pairs) {
    if (!body.empty()) body += '&';
    for (const std::string* text : {&name, &value}) {
      for (unsigned char c : *text) {
        if (std::isalnum(c) || c == '*' || c == '-' || c == '.' || c == '_')
          body.push_back(static_cast<char>(c));
        else if (c == ' ')
          body.push_back('+');
        else
          body += common::Format("%%%02X", c);
      }
      if (text == &name) body += '=';
    }
  }
  return body;
}

class Submissions : public DocumentEngine {
 protected:
  std::string Edit(const std::string& reference) {
    return Get(std::string(kDb) + "EP/" + reference + "/LR/2/All/");
  }
};

TEST_F(Submissions, AnUntouchedEditLeavesEveryItemAsItWas) {
  std::string before = Dump();
  for (const char* doc : {"c0de0001g1g1g1g", "c0de0002g1g1g1g", "c0de0003g1g1g1g"}) {
    std::string body = BrowserBody(Edit(doc));
    ASSERT_FALSE(body.empty());
    std::string reply = Post(std::string(kDb) + "E/" + doc + "/LR/0/All/", body);
    EXPECT_EQ(reply,
              "HTTP/1.0 302 Moved\nLocation: http://[kv]/Local:/documents.ldf:/V/all/LR/\n\n\n")
        << doc << "\n"
        << body;
  }
  EXPECT_EQ(Dump(), before);
}

TEST_F(Submissions, ChangedValuesAreStoredInTheirFieldsTypes) {
  std::string body =
      "kvField_Subject=a+b%2Bc&kvField_Count=42&kvField_Due=01%2F02%2F2027+10%3A00%3A00"
      "&kvField_Tags=Blue&kvField_Tags=Red&kvField_Tags=new%2C+other"
      "&kvField_KVCHECKBOX_Topics%3APark=on&kvField_KVCHECKBOX_Topics%3AHall=on"
      "&kvField_Priority=Low&kvField_Notes=one%0D%0Atwo&kvField_Colour=&kvField_Locked=changed"
      "&kvField_Unknown=x";
  std::string reply = Post(
      "http://Corvane.AsLedraClient/Local:/documents.ldf:/E/5/LR/0/All/"
      "{http://[kv]/Local:/documents.ldf:/V/All/LR/%0D%0ASet-Cookie:+x}",
      body);
  // No line end of the request reaches a header.
  EXPECT_EQ(reply,
            "HTTP/1.0 302 Moved\nLocation: "
            "http://[kv]/Local:/documents.ldf:/V/All/LR/Set-Cookie:+x\n\n\n");
  std::string dump = Dump();
  for (const char* item :
       {"\"Subject\":\"a b+c\"", "\"Count\":42.0", "\"text\":\"01/02/2027 10:00:00\"",
        "\"Tags\":[\"Blue\",\"Red\",\"new\",\"other\"]", "\"Topics\":[\"Park\",\"Hall\"]",
        "\"Priority\":\"3\"", "\"Notes\":\"one\\ntwo\"", "\"Colour\":\"\"",
        "\"Locked\":\"<script>alert(1)</script> & kept\""})
    EXPECT_NE(dump.find(item), std::string::npos) << item << "\n" << dump;
  EXPECT_EQ(dump.find("Unknown"), std::string::npos);
}

TEST_F(Submissions, ComposingAResponseInheritsFromItsParent) {
  std::string d = kDb;
  (void)Get(d + "DP/5/LR/2/All/");  // the view's current line: document 5
  std::string page = Get(d + "CP/Reply/LR/0/All/");
  std::string reply = Post(d + "C/Reply/LR/0/All/", BrowserBody(page));
  EXPECT_EQ(reply,
            "HTTP/1.0 302 Moved\nLocation: http://[kv]/Local:/documents.ldf:/V/all/LR/\n\n\n");
  std::string dump = Dump();
  std::smatch m;
  ASSERT_TRUE(std::regex_search(
      dump, m, std::regex("\\{[^\n]*\"parent\":\"c0de0001g1g1g1g\"[^\n]*Re: Quotes[^\n]*\n")))
      << dump;
  std::string doc = m.str();
  EXPECT_NE(doc.find("\"Tags\":[\"Green\",\"Violet, dark\",\"Red\"]"), std::string::npos) << doc;
  char user[256] = {};
  ASSERT_EQ(VXGetProperty(kVXPropUserName, user, sizeof user), kVXOk);
  EXPECT_NE(doc.find(std::string("\"From\":\"") + user + "\""), std::string::npos) << doc;
}

TEST_F(Submissions, ValidationFailureLeavesTheDatabaseUnchanged) {
  std::string before = Dump();
  EXPECT_EQ(Post(std::string(kDb) + "E/5/LR/0/All/", "kvField_Count=-1&kvField_Subject=x"),
            "HTTP/1.1 204 No Content\n\n\n");
  EXPECT_TRUE(trace_.Contains("Count must not be negative\n\nThe document was NOT SAVED."));
  EXPECT_EQ(Post(std::string(kDb) + "C/Topic/LR/0/All/", "kvField_Count=-5"),
            "HTTP/1.1 204 OK\n\n\n\n");
  EXPECT_EQ(Dump(), before);
}

TEST_F(Submissions, ReplacingRichTextAsksFirst) {
  std::string before = Dump();
  // Document 6's body holds tables and links: Cancel keeps it.
  Answers("Cancel\n");
  EXPECT_EQ(Post(std::string(kDb) + "E/6/LR/0/All/", "kvField_Body=plain+now"),
            "HTTP/1.1 204 No Content\n\n\n");
  EXPECT_EQ(Dump(), before);
  Answers("OK\n");
  EXPECT_EQ(Post(std::string(kDb) + "E/6/LR/0/All/", "kvField_Body=plain+now").substr(0, 18),
            "HTTP/1.0 302 Moved");
  EXPECT_NE(Dump().find("\"Body\":{\"type\":\"richtext\",\"markup\":\"{pardef"), std::string::npos);
  EXPECT_NE(Dump().find("plain now"), std::string::npos);
}

TEST_F(Submissions, TheMailOfferDepositsInTheMailBox) {
  Answers("SEND=>Yes\n");
  EXPECT_EQ(Post(std::string(kDb) + "C/Memo/LR/0/All/", "kvField_Subject=Hello+mail").substr(0, 18),
            "HTTP/1.0 302 Moved");
  EXPECT_TRUE(trace_.Contains("Mail Sent."));
  EXPECT_NE(Dump("mail.box").find("Hello mail"), std::string::npos);
  std::string dump = Dump();
  EXPECT_NE(dump.find("Hello mail"), std::string::npos);
  EXPECT_NE(dump.find("PostedDate"), std::string::npos);
}

TEST_F(Submissions, BodiesThatCannotBeTakenChangeNothing) {
  std::string d = kDb;
  std::string before = Dump();
  const std::string error = "<html><DT><H2>Ledra Error:</H2><DT><DT>";
  struct {
    std::string url, body, reply_start;
  } cases[] = {
      {d + "E/999/LR/0/All/", "kvField_Subject=x", error},
      {d + "E/77g1g1g1g/LR/0/All/", "kvField_Subject=x", error},
      {d + "C/No+such+form/LR/0/All/", "kvField_Subject=x", error},
      {d + "E/5/LR/0/All/", "kvField_Subject=%zz", "HTTP/1.0 400 Bad Request"},
      {d + "E/5/LR/0/All/", "kvField_Subject=%C3%28", "HTTP/1.0 400 Bad Request"},
      {d + "E/5/LR/0/All/", "kvField_Subject=abc%4", "HTTP/1.0 400 Bad Request"},
      {d + "E/5/LR/0/All/", "kvField_Subject=" + std::string(60 << 20, 'x'),
       "HTTP/1.0 413 Request Entity Too Large"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Post(c.url, c.body).substr(0, c.reply_start.size()), c.reply_start)
        << c.url << " " << c.body.substr(0, 40);
  EXPECT_EQ(Dump(), before);
}

}  // namespace
