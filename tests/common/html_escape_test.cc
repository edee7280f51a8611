// Escaping for HTML: markup characters become entities, everything else
// (UTF-8 included) passes unchanged.
#include "common/html_escape.h"

#include <gtest/gtest.h>

namespace {

TEST(HtmlEscape, MarkupCharactersBecomeEntitiesAndTheRestIsKept) {
  static const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"", ""},
      {"plain text", "plain text"},
      {"<script>alert('x')</script>", "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;"},
      {"a \"quoted\" & b", "a &quot;quoted&quot; &amp; b"},
      {"&amp; stays visible", "&amp;amp; stays visible"},
      {"Zürich — 東京", "Zürich — 東京"},
  };
  for (const auto& c : cases) EXPECT_EQ(common::HtmlEscape(c.in), c.out) << c.in;
  // For text and double-quoted attributes an apostrophe stays.
  EXPECT_EQ(common::HtmlEscapeText("Ann's \"<b>\" & co"), "Ann's &quot;&lt;b&gt;&quot; &amp; co");
}

}  // namespace
