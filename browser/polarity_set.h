// Sets with polarity: the selection, trash and expansion sets of a view.
//
// A set is one array of 32-bit words:
//
//   word 0   number of words the array holds (256 when made)
//   word 1   polarity: +1 every value is in except the listed ones,
//                      -1 only the listed values are in
//   word 2.. slots; 0 is an empty slot
//
// Membership of a value in slot i (i counts words, so the first slot is 2)
// is -(polarity * i); a value in no slot gives the polarity. A negative
// result means "not in" (not selected, not marked, collapsed). When every
// slot is full the array grows by 256 words.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace browser {

inline constexpr int32_t kSetGrowth = 256;

struct PolaritySet {
  std::vector<int32_t> words;
};

// A new set of 256 words with the given polarity and every slot empty.
PolaritySet MakePolaritySet(int32_t polarity);
int32_t Polarity(const PolaritySet& set);
// -(polarity * slot) when the value is listed, else the polarity. The value
// 0 marks an empty slot and is never listed.
int32_t Membership(const PolaritySet& set, int32_t value);
// Empties the value's slot when it is listed, else stores it in the first
// empty slot, growing the array when there is none. The value 0 is ignored.
void ToggleMember(PolaritySet* set, int32_t value);
// Sets the polarity and empties every slot.
void SetPolarity(PolaritySet* set, int32_t polarity);
// The first listed value, or 0.
int32_t FirstMember(const PolaritySet& set);
// Every listed value, in slot order.
std::vector<int32_t> Members(const PolaritySet& set);

// The expansion set holds dotted positions: each slot refers to an owned
// copy of the text (a number from 1 into `texts`).
struct PositionSet {
  PolaritySet slots;
  std::vector<std::string> texts;  // "" for a number no slot uses
};

PositionSet MakePositionSet(int32_t polarity);
int32_t Membership(const PositionSet& set, const std::string& position);
void ToggleMember(PositionSet* set, const std::string& position);
void SetPolarity(PositionSet* set, int32_t polarity);

}  // namespace browser
