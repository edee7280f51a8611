// Reading a view or folder design note.
#include "ledra/view/view_design.h"

#include <nlohmann/json.hpp>

#include "ledra/design_source.h"
#include "ledra/last_error.h"
#include "ledra/view/view_api.h"
#include "ledra/objects.h"

namespace ledra {

VXStatus ReadViewDesign(const Note& note, ViewDesign* out) {
  if (note.note_class != kVXClassView) {
    return Fail(kVXNoSuchView, "Note " + std::to_string(note.id) + " is not a view or folder");
  }
  ViewDesign d;
  d.id = note.id;
  d.name = TextItem(note, "$TITLE");
  d.flags = static_cast<uint32_t>(NumberItem(note, "$Flags", 0));
  d.folder = (d.flags & kVXViewIsFolder) != 0;
  d.selection = TextItem(note, "$Selection");
  std::string columns = TextItem(note, "$Columns");
  if (!columns.empty()) {
    nlohmann::json list = nlohmann::json::parse(columns, nullptr, false);
    if (!list.is_array()) return Fail(kVXNoSuchView, "View " + d.name + ": its columns do not read");
    // A damaged design note must not take the caller down: a value of the
    // wrong type makes the column list unreadable instead.
    try {
      for (const nlohmann::json& c : list) {
        if (!c.is_object()) return Fail(kVXNoSuchView, "View " + d.name + ": a column does not read");
        ColumnDesign col;
        col.title = c.value("title", "");
        col.item = c.value("item", "");
        col.formula = c.value("formula", "");
        col.width = c.value("width", 10u);
        col.flags = c.value("flags", 0u);
        d.columns.push_back(std::move(col));
      }
    } catch (const nlohmann::json::exception& e) {
      return Fail(kVXNoSuchView, "View " + d.name + ": its columns do not read (" + e.what() + ")");
    }
  }
  if (d.folder) {
    if (const Item* item = note.FindItem("$FolderUnids")) {
      std::vector<std::string> texts =
          item->type == kVXTypeTextList ? SplitTextList(item->value) : std::vector<std::string>{item->value};
      for (const std::string& t : texts) {
        VXUnid u;
        if (ParseUnidText(t, &u)) d.folder_unids.push_back(u);
      }
    }
  }
  *out = std::move(d);
  return kVXOk;
}

}  // namespace ledra
