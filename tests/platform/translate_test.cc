// Conversion at the platform boundary: invalid bytes, cutting to the
// caller's buffer at a character boundary, absent and empty texts.
#include "platform/translate.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(Translate, InPlaceConversionKeepsCharactersWholeWithinTheBuffer) {
  struct {
    const char* what;
    std::string text;
    size_t size;
    std::string expected;
  } cases[] = {
      {"plain text unchanged", "Hello", 16, "Hello"},
      {"multi-byte kept", "caf\xC3\xA9", 16, "caf\xC3\xA9"},
      {"invalid byte replaced", "a\xFF" "b", 16, "a\xEF\xBF\xBD" "b"},
      {"growth cut to the buffer", "a\xFF\xFF", 6, "a\xEF\xBF\xBD"},
      {"cut never splits a character", "ab\xC3\xA9", 4, "ab"},
      {"empty stays empty", "", 4, ""},
  };
  for (const auto& c : cases) {
    std::string buffer = c.text;
    buffer.resize(std::max(c.size, c.text.size() + 1), '\0');
    platform::ConvertFromPlatform(buffer.data(), c.size);
    EXPECT_EQ(std::string(buffer.c_str()), c.expected) << c.what;
    buffer = c.text;
    buffer.resize(std::max(c.size, c.text.size() + 1), '\0');
    platform::ConvertToPlatform(buffer.data(), c.size);
    EXPECT_EQ(std::string(buffer.c_str()), c.expected) << c.what;
  }
  platform::ConvertToPlatform(nullptr, 10);  // absent: left alone
  EXPECT_EQ(platform::ToPlatformText(nullptr), "");
  EXPECT_EQ(platform::ToPlatformText("x\x80"), "x\xEF\xBF\xBD");
}

}  // namespace
