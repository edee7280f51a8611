// Sets with polarity.
#include "browser/polarity_set.h"

namespace browser {

PolaritySet MakePolaritySet(int32_t polarity) {
  PolaritySet set;
  set.words.assign(kSetGrowth, 0);
  set.words[0] = kSetGrowth;
  set.words[1] = polarity;
  return set;
}

int32_t Polarity(const PolaritySet& set) {
  return set.words.size() > 1 ? set.words[1] : -1;
}

int32_t Membership(const PolaritySet& set, int32_t value) {
  int32_t polarity = Polarity(set);
  if (value == 0) return polarity;
  for (size_t i = 2; i < set.words.size(); ++i) {
    if (set.words[i] == value) return -(polarity * static_cast<int32_t>(i));
  }
  return polarity;
}

void ToggleMember(PolaritySet* set, int32_t value) {
  if (value == 0 || set->words.size() < 2) return;
  size_t empty = 0;
  for (size_t i = 2; i < set->words.size(); ++i) {
    if (set->words[i] == value) {
      set->words[i] = 0;
      return;
    }
    if (set->words[i] == 0 && empty == 0) empty = i;
  }
  if (empty == 0) {
    empty = set->words.size();
    set->words.resize(set->words.size() + kSetGrowth, 0);
    set->words[0] += kSetGrowth;
  }
  set->words[empty] = value;
}

void SetPolarity(PolaritySet* set, int32_t polarity) {
  if (set->words.size() < 2) *set = MakePolaritySet(polarity);
  set->words[1] = polarity;
  for (size_t i = 2; i < set->words.size(); ++i) set->words[i] = 0;
}

int32_t FirstMember(const PolaritySet& set) {
  for (size_t i = 2; i < set.words.size(); ++i)
    if (set.words[i] != 0) return set.words[i];
  return 0;
}

std::vector<int32_t> Members(const PolaritySet& set) {
  std::vector<int32_t> members;
  for (size_t i = 2; i < set.words.size(); ++i)
    if (set.words[i] != 0) members.push_back(set.words[i]);
  return members;
}

PositionSet MakePositionSet(int32_t polarity) {
  PositionSet set;
  set.slots = MakePolaritySet(polarity);
  return set;
}

namespace {

// The number (from 1) of the owned text equal to position, or 0.
int32_t TextNumber(const PositionSet& set, const std::string& position) {
  for (size_t n = 0; n < set.texts.size(); ++n)
    if (!set.texts[n].empty() && set.texts[n] == position) return static_cast<int32_t>(n + 1);
  return 0;
}

}  // namespace

int32_t Membership(const PositionSet& set, const std::string& position) {
  int32_t number = TextNumber(set, position);
  if (number == 0) return Polarity(set.slots);
  return Membership(set.slots, number);
}

void ToggleMember(PositionSet* set, const std::string& position) {
  if (position.empty()) return;
  int32_t number = TextNumber(*set, position);
  if (number != 0) {
    // Listed: empty its slot and free the copy.
    ToggleMember(&set->slots, number);
    set->texts[number - 1].clear();
    return;
  }
  size_t free_text = 0;
  while (free_text < set->texts.size() && !set->texts[free_text].empty()) ++free_text;
  if (free_text == set->texts.size()) set->texts.emplace_back();
  set->texts[free_text] = position;
  ToggleMember(&set->slots, static_cast<int32_t>(free_text + 1));
}

void SetPolarity(PositionSet* set, int32_t polarity) {
  SetPolarity(&set->slots, polarity);
  set->texts.clear();
}

}  // namespace browser
