// Text utilities, percent-decoding, HTTP dates and the status line file.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/http_date.h"
#include "common/status_file.h"
#include "common/text.h"

namespace {

TEST(FindText, FirstAndLastWithoutRegardToCase) {
  static const struct {
    char direction;
    const char* text;
    const char* pattern;
    size_t expected;
  } cases[] = {
      {'<', "GET HTTP://[KV]/x", "http://[", 4},
      {'>', "abcABCabc", "ABC", 6},
      {'<', "abcABCabc", "cab", 2},
      {'<', "short", "longer pattern", common::kNotFound},
      {'<', "anything", "", common::kNotFound},
      // A match never starts inside a multi-byte character.
      {'<', "\xC3\xA9t\xC3\xA9", "\xA9t", common::kNotFound},
      {'>', "\xC3\xA9t\xC3\xA9", "\xC3\xA9", 3},
  };
  for (const auto& c : cases)
    EXPECT_EQ(common::FindText(c.direction, c.text, c.pattern), c.expected) << c.text;
}

TEST(Text, LowerCaseAndRemoveLeaveMultiByteCharactersAlone) {
  std::string text = "Mail\\Archive.LDF \xC3\x89T\xC3\x89";
  common::LowerCaseInPlace(text);
  EXPECT_EQ(text, "mail\\archive.ldf \xC3\x89t\xC3\x89");
  std::string name = "$By_Category_Name";
  common::RemoveCharacter(name, '_');
  EXPECT_EQ(name, "$ByCategoryName");
}

TEST(PercentDecode, DecodesHexPairsExceptAfterABackslash) {
  static const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"a%2Fb", "a/b"},
      {"a\\%2Fb", "a\\%2Fb"},
      {"What%27s%20Next", "What's Next"},
      {"100%", "100%"},
      {"%zz%4", "%zz%4"},
      {"%41%42", "AB"},
      {"\xC3\xA9%2f", "\xC3\xA9/"},
  };
  for (const auto& c : cases) EXPECT_EQ(common::PercentDecode(c.in), c.out) << c.in;
  EXPECT_EQ(common::PercentDecode("%00x"), std::string("\0x", 2));
}

TEST(ReadFileText, WholeFileUpTo63000Bytes) {
  std::FILE* file = std::tmpfile();
  std::string text(63000, 'a');
  std::fwrite(text.data(), 1, text.size(), file);
  std::rewind(file);
  auto read = common::ReadFileText(file);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->size(), 63000u);
  std::fputc('b', file);
  std::rewind(file);
  EXPECT_FALSE(common::ReadFileText(file).has_value());
  std::fclose(file);
  EXPECT_FALSE(common::ReadFileText(nullptr).has_value());
}

TEST(HttpDate, BothGmtFormsAndTheRest) {
  static const struct {
    const char* in;
    const char* out;  // nullptr: not converted
  } cases[] = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", "11/06/1994 08:49:37 GMT"},
      {"Sunday, 06-Nov-94 08:49:37 GMT", "11/06/94 08:49:37 GMT"},
      {"Wed, 01 Jan 2025 00:00:00 GMT", "1/01/2025 00:00:00 GMT"},
      {"Fri, 31 DEC 1999 23:59:59 GMT", "12/31/1999 23:59:59 GMT"},
      {"Sun Nov  6 08:49:37 1994", nullptr},
      {"Sun, 06 Foo 1994 08:49:37 GMT", nullptr},
      {"Sun, 06 Nov 1994 GMT", nullptr},
      {"GMT", nullptr},
      {"", nullptr},
  };
  for (const auto& c : cases) {
    std::string out = "stale";
    bool converted = common::HttpDateToPlatformDate(c.in, &out);
    EXPECT_EQ(converted, c.out != nullptr) << c.in;
    EXPECT_EQ(out, c.out ? c.out : "") << c.in;
  }
}

TEST(StatusLine, OverwritesTheFileWithLineFeedsAsBlanks) {
  char pattern[] = "/tmp/corvane-status-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  std::string folder = pattern;
  EXPECT_FALSE(common::WriteStatusLine("x", folder));  // no htmdata yet
  ASSERT_EQ(mkdir((folder + "/htmdata").c_str(), 0755), 0);
  ASSERT_TRUE(common::WriteStatusLine("a long first line that is overwritten", folder));
  ASSERT_TRUE(common::WriteStatusLine("Fetching\nline two\n", folder));
  std::string path = folder + "/" + common::kStatusFile;
  std::FILE* file = std::fopen(path.c_str(), "r");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(common::ReadFileText(file).value_or("?"), "Fetching line two ");
  std::fclose(file);
  std::remove(path.c_str());
  rmdir((folder + "/htmdata").c_str());
  rmdir(folder.c_str());
}

}  // namespace
