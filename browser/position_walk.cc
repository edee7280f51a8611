// Walking dotted view positions.
#include "browser/position_walk.h"

#include <cstdio>
#include <cstdlib>

namespace browser {

namespace {

constexpr long kFirstStep = 4096;
constexpr long kLastChildNumber = 9000000;

bool ChildExists(VXHandle index, const std::string& parent, long k) {
  if (k > kLastChildNumber) return false;
  std::string child = parent + "." + std::to_string(k);
  return VXIndexSetViewPosition(index, child.c_str()) == kVXOk;
}

}  // namespace

std::string CurrentPosition(VXHandle index) {
  char text[kPositionSize] = {};
  if (VXIndexGetViewPosition(index, sizeof text, text) != kVXOk) return "";
  return text;
}

bool SetPosition(VXHandle index, const std::string& position) {
  if (position.empty()) return false;
  return VXIndexSetViewPosition(index, position.c_str()) == kVXOk;
}

bool NextSibling(VXHandle index) {
  std::string position = CurrentPosition(index);
  if (position.empty()) return false;
  size_t dot = position.rfind('.');
  std::string head = dot == std::string::npos ? "" : position.substr(0, dot + 1);
  long last = std::atol(position.c_str() + (dot == std::string::npos ? 0 : dot + 1));
  return SetPosition(index, head + std::to_string(last + 1));
}

bool Parent(VXHandle index) {
  std::string position = CurrentPosition(index);
  size_t dot = position.rfind('.');
  if (dot == std::string::npos) return false;
  return SetPosition(index, position.substr(0, dot));
}

bool LastRow(VXHandle index) {
  uint32_t count = 0;
  if (VXIndexGetCount(index, &count) != kVXOk || count == 0) return false;
  if (VXIndexSetPosition(index, count) != kVXOk) return false;
  std::string p = std::to_string(count);
  long k = 1, step = kFirstStep;
  for (;;) {
    if (step > 1) {
      if (ChildExists(index, p, k + step - 1)) {
        k = k + step - 1 + 1;
      } else {
        step /= 2;
      }
      continue;
    }
    if (ChildExists(index, p, k)) {
      ++k;
      continue;
    }
    // No child k: the level ends at k - 1.
    if (k == 1) break;
    p += "." + std::to_string(k - 1);
    k = 1;
    step = kFirstStep;
  }
  if (!SetPosition(index, p)) return false;
  VXNoteId id = 0;
  return VXIndexNavigate(index, 1, 0, &id, nullptr) == kVXOk;
}

}  // namespace browser
