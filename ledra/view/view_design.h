// A view or folder as its index needs it: read from the design note (items
// "$TITLE", "$Flags", "$Selection", "$Columns" as the design source writes
// them) and, for a folder, its explicit list of documents: the text-list
// item "$FolderUnids" of the folder note, one UNID text ("%lxg%lxg%lxg%lxg")
// per entry.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ledra/note.h"
#include "ledra/vx_types.h"

namespace ledra {

inline constexpr uint32_t kColumnSorted = 0x01;
inline constexpr uint32_t kColumnDescending = 0x02;
inline constexpr uint32_t kColumnCategorized = 0x04;
inline constexpr uint32_t kColumnHidden = 0x08;
inline constexpr uint32_t kColumnResponseOnly = 0x10;
inline constexpr uint32_t kColumnIcon = 0x40;

struct ColumnDesign {
  std::string title;
  std::string item;     // the item shown, when there is no formula
  std::string formula;  // "" for an item column
  uint32_t width = 10;  // characters
  uint32_t flags = 0;
};

struct ViewDesign {
  VXNoteId id = 0;
  std::string name;  // full name as designed
  uint32_t flags = 0;
  bool folder = false;
  std::string selection;
  std::vector<ColumnDesign> columns;
  std::vector<VXUnid> folder_unids;  // folders only
};

// Reads the design note; fails with a message when it is not a view or
// folder or its columns do not read.
[[nodiscard]] VXStatus ReadViewDesign(const Note& note, ViewDesign* out);

}  // namespace ledra
