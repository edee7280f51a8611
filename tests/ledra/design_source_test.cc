// Design sources and document lines: every malformed member is refused
// with a message naming its place, and the items codec refuses damage.
#include "ledra/design_source.h"

#include <gtest/gtest.h>

#include "ledra/last_error.h"
#include "ledra/objects.h"

namespace {

using ledra::DesignSource;
using ledra::ParseDesignSource;
using ledra::ParseOptions;

TEST(DesignSource, MalformedSourcesNameThePlace) {
  struct {
    const char* source;
    const char* message;
  } cases[] = {
      {"[1]", "design source: must be a JSON object"},
      {"{\"title\": 5}", "design source.title: must be text"},
      {"{\"forms\": {}}", "forms: must be a list"},
      {"{\"forms\": [{}]}", "forms[0].name: a design note needs a name"},
      {"{\"forms\": [{\"name\": \"F\", \"response_kind\": 3}]}", "forms[0].response_kind: must be 0, 1 or 2"},
      {"{\"forms\": [{\"name\": \"F\", \"fields\": [{\"name\": \"\"}]}]}", "forms[0].fields[0].name: a field name is 1 to 64 bytes"},
      {"{\"forms\": [{\"name\": \"F\", \"fields\": [{\"name\": \"A\", \"keyword_kind\": 9}]}]}",
       "forms[0].fields[0].keyword_kind: must be 0 to 4"},
      {"{\"forms\": [{\"name\": \"F\", \"fields\": [{\"name\": \"A\", \"keywords\": [1]}]}]}",
       "forms[0].fields[0].keywords: every keyword is text"},
      {"{\"views\": [{\"name\": \"V\", \"columns\": [{\"sort\": \"up\"}]}]}",
       "views[0].columns[0].sort: must be ascending, descending or none"},
      {"{\"views\": [{\"name\": \"V\", \"columns\": [{\"width\": -1}]}]}",
       "views[0].columns[0].width: must be a whole number 0 or more"},
      {"{\"documents\": [{\"unid\": \"xyz\"}]}", "documents[0].unid: is not a UNID"},
      {"{\"documents\": [{\"class\": 3}]}", "documents[0].class: must be one note class"},
      {"{\"documents\": [{\"items\": {\"A\": []}}]}", "documents[0].items.A: an empty list needs"},
      {"{\"documents\": [{\"items\": {\"A\": {\"type\": \"datetime\", \"value\": \"31/31/2020\"}}}]}",
       "documents[0].items.A.value: \"31/31/2020\" is not a date-time"},
      {"{\"documents\": [{\"items\": {\"A\": {\"type\": \"numberlist\", \"value\": [1, \"x\"]}}}]}",
       "documents[0].items.A.value[1]: must be a finite number"},
      {"{\"documents\": [{\"items\": {\"$FILE\": \"x\"}}]}", "documents[0].items.$FILE: $FILE is made from"},
      {"{\"documents\": [{\"items\": {\"B\": {\"type\": \"richtext\", \"base64\": \"!!\"}}}]}",
       "documents[0].items.B.base64: is not base64"},
      {"{\"documents\": [{\"attachments\": [{\"name\": \"a\"}, {\"name\": \"A\"}]}]}",
       "documents[0].attachments[1]: attachment A is named twice"},
      {"{\"documents\": [{\"attachments\": [{\"name\": \"a\", \"file\": \"/etc/passwd\"}]}]}",
       "documents[0].attachments[0].file: files cannot be read here"},
      {"{\"documents\": [{\"unid\": \"1g2g3g4g\"}, {\"unid\": \"1g2g3g4g\"}]}", "UNID 1g2g3g4g is given twice"},
  };
  for (const auto& c : cases) {
    DesignSource source;
    EXPECT_NE(ParseDesignSource(c.source, ParseOptions{}, &source), kVXOk) << c.source;
    EXPECT_NE(ledra::LastFailure().message.find(c.message), std::string::npos)
        << c.source << "\n" << ledra::LastFailure().message;
  }
}

TEST(DesignSource, ItemsCodecRefusesDamage) {
  std::vector<ledra::Item> items = {{"Subject", kVXTypeText, 4, "hello"}, {"N", kVXTypeNumber, 4, std::string(8, 'x')}};
  std::string blob = ledra::EncodeItems(items);
  std::vector<ledra::Item> back;
  ASSERT_TRUE(ledra::DecodeItems(blob.data(), blob.size(), &back));
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].value, "hello");
  // Every truncation and a trailing byte are damage, never a crash.
  for (size_t n = 0; n < blob.size(); ++n) EXPECT_FALSE(ledra::DecodeItems(blob.data(), n, &back)) << n;
  std::string longer = blob + "x";
  EXPECT_FALSE(ledra::DecodeItems(longer.data(), longer.size(), &back));
  std::string huge_count = "I\x02\xff\xff\xff\xff\x0f";
  EXPECT_FALSE(ledra::DecodeItems(huge_count.data(), huge_count.size(), &back));
}

TEST(DesignSource, UnidTextRoundTrips) {
  VXUnid u{{0xdeadbeef, 0, 1, 0xffffffff}};
  EXPECT_EQ(ledra::UnidText(u), "deadbeefg0g1gffffffffg");
  VXUnid back;
  ASSERT_TRUE(ledra::ParseUnidText("deadbeefg0g1gffffffffg", &back));
  EXPECT_TRUE(back == u);
  for (const char* bad : {"", "1g2g3g", "1g2g3g4", "1g2g3g4gx", "zg1g2g3g"}) {
    EXPECT_FALSE(ledra::ParseUnidText(bad, &back)) << bad;
  }
}

TEST(DesignSource, DesignNamesAndMatching) {
  struct {
    const char* full;
    const char* second;
    const char* third;
    const char* matches;
    const char* differs;
  } cases[] = {
      {"Main Topic|MainTopic", "Main Topic", "", "maintopic", "Main"},
      {"By Category\\Colour|bycat", "By Category", "Colour", "by category/colour", "Colour"},
      {"($Inbox)", "($Inbox)", "", "($inbox)", "Inbox"},
  };
  for (const auto& c : cases) {
    std::string second, third;
    ledra::DesignNames(c.full, &second, &third);
    EXPECT_EQ(second, c.second);
    EXPECT_EQ(third, c.third);
    EXPECT_TRUE(ledra::DesignNameMatches(c.full, c.matches)) << c.full;
    EXPECT_FALSE(ledra::DesignNameMatches(c.full, c.differs)) << c.full;
  }
}

}  // namespace
