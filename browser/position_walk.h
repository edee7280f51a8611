// Walking dotted view positions on an index: next sibling, parent, last row,
// and the reads and sets of positions the view pages use.
#pragma once

#include <string>

#include "ledra/vxapi.h"

namespace browser {

inline constexpr size_t kPositionSize = 256;

// The index's current position, "" when it has none.
std::string CurrentPosition(VXHandle index);
// True when a row exists at the position (the index then stands on it).
bool SetPosition(VXHandle index, const std::string& position);

// Adds 1 to the last component of the current position and goes there.
bool NextSibling(VXHandle index);
// Cuts the current position at its last "." and goes there; false for a
// top-level position.
bool Parent(VXHandle index);
// Goes to the last row of the view in view order (the deepest last child
// of the last top-level row) and reads it with (1, 0).
bool LastRow(VXHandle index);

}  // namespace browser
