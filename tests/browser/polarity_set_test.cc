// Sets with polarity: layout, membership results, growth, polarity.
#include "browser/polarity_set.h"

#include <gtest/gtest.h>

namespace browser {
namespace {

TEST(PolaritySet, LayoutAndMembershipResults) {
  PolaritySet set = MakePolaritySet(-1);
  ASSERT_EQ(set.words.size(), 256u);
  EXPECT_EQ(set.words[0], 256);
  EXPECT_EQ(set.words[1], -1);
  ToggleMember(&set, 70);
  ToggleMember(&set, 71);
  // Listed values sit in words 2 and 3: with polarity -1 they are in (2, 3),
  // everything else is out (-1).
  struct {
    int32_t polarity;
    int32_t value;
    int32_t result;
  } cases[] = {{-1, 70, 2}, {-1, 71, 3}, {-1, 72, -1}, {-1, 0, -1}};
  for (const auto& c : cases) EXPECT_EQ(Membership(set, c.value), c.result) << c.value;
  // Polarity +1 empties the slots: everything is in.
  SetPolarity(&set, 1);
  EXPECT_EQ(Membership(set, 70), 1);
  ToggleMember(&set, 70);
  EXPECT_EQ(Membership(set, 70), -2);  // the exception is out
  EXPECT_EQ(Membership(set, 99), 1);
}

TEST(PolaritySet, ToggleEmptiesItsSlotAndReusesTheFirstEmptyOne) {
  PolaritySet set = MakePolaritySet(-1);
  ToggleMember(&set, 5);
  ToggleMember(&set, 6);
  ToggleMember(&set, 5);  // slot 2 empties
  EXPECT_EQ(Membership(set, 5), -1);
  ToggleMember(&set, 7);  // goes into slot 2 again
  EXPECT_EQ(Membership(set, 7), 2);
  EXPECT_EQ(Members(set), (std::vector<int32_t>{7, 6}));
  EXPECT_EQ(FirstMember(set), 7);
  ToggleMember(&set, 0);  // 0 marks an empty slot and is never stored
  EXPECT_EQ(Members(set).size(), 2u);
}

TEST(PolaritySet, GrowsBy256WhenFull) {
  PolaritySet set = MakePolaritySet(-1);
  for (int32_t v = 1; v <= 254; ++v) ToggleMember(&set, v);  // words 2..255 full
  EXPECT_EQ(set.words[0], 256);
  ToggleMember(&set, 1000);
  EXPECT_EQ(set.words[0], 512);
  EXPECT_EQ(set.words.size(), 512u);
  EXPECT_EQ(Membership(set, 1000), 256);
  for (int32_t v = 1; v <= 254; ++v) ASSERT_EQ(Membership(set, v), v + 1);
}

TEST(PositionSet, HoldsOwnedPositionTexts) {
  PositionSet set = MakePositionSet(1);  // all expanded
  EXPECT_GT(Membership(set, "1"), 0);
  ToggleMember(&set, "2.1");
  EXPECT_LT(Membership(set, "2.1"), 0);  // collapsed
  EXPECT_GT(Membership(set, "2.10"), 0);
  ToggleMember(&set, "2.1");
  EXPECT_GT(Membership(set, "2.1"), 0);
  SetPolarity(&set, -1);  // all collapsed
  EXPECT_LT(Membership(set, "3"), 0);
  ToggleMember(&set, "3");
  EXPECT_GT(Membership(set, "3"), 0);
  EXPECT_EQ(set.texts.size(), 1u);
}

}  // namespace
}  // namespace browser
