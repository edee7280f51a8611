// The sets of a view record.
#include "browser/view_sets.h"

#include <cstdlib>
#include <unordered_map>

#include "platform/translate.h"

namespace browser {

namespace {

struct Entry {
  platform::OpenDatabase* database = nullptr;
  VXNoteId viewId = 0;
  ViewSets sets;
};

std::unordered_map<const platform::ViewRecord*, Entry>& Table() {
  static std::unordered_map<const platform::ViewRecord*, Entry> table;
  return table;
}

bool InCache(engine::SharedContext& shared, const platform::ViewRecord* view) {
  for (platform::OpenDatabase* db = shared.openDatabases; db != nullptr; db = db->next)
    for (const auto& record : db->viewRecords)
      if (record.get() == view) return true;
  return false;
}

int32_t CollapsedPolarity(const platform::ViewRecord& view) {
  if (view.database == nullptr) return 1;
  VXDesignRecord record;
  if (platform::wrap::VXViewFetch(view.database->handle, view.viewId, &record) != kVXOk) return 1;
  return (record.flags & kVXViewCollapsed) != 0 ? -1 : 1;
}

}  // namespace

ViewSets& SetsOf(platform::ViewRecord& view) {
  Entry& entry = Table()[&view];
  if (entry.database != view.database || entry.viewId != view.viewId) {
    // A record made at the address of a freed one starts without sets.
    entry = Entry{};
    entry.database = view.database;
    entry.viewId = view.viewId;
  }
  return entry.sets;
}

void PruneViewSets(engine::SharedContext& shared) {
  auto& table = Table();
  for (auto it = table.begin(); it != table.end();) {
    if (InCache(shared, it->first))
      ++it;
    else
      it = table.erase(it);
  }
}

PolaritySet& Selection(platform::ViewRecord& view) {
  ViewSets& sets = SetsOf(view);
  if (!sets.selection) sets.selection = std::make_unique<PolaritySet>(MakePolaritySet(-1));
  return *sets.selection;
}

PolaritySet& Trash(platform::ViewRecord& view) {
  ViewSets& sets = SetsOf(view);
  if (!sets.trash) sets.trash = std::make_unique<PolaritySet>(MakePolaritySet(-1));
  return *sets.trash;
}

PositionSet& Expansion(platform::ViewRecord& view) {
  ViewSets& sets = SetsOf(view);
  if (!sets.expansion)
    sets.expansion = std::make_unique<PositionSet>(MakePositionSet(CollapsedPolarity(view)));
  return *sets.expansion;
}

int32_t SelectionResult(platform::ViewRecord& view, VXNoteId id) {
  return Membership(Selection(view), static_cast<int32_t>(id));
}
int32_t TrashResult(platform::ViewRecord& view, VXNoteId id) {
  return Membership(Trash(view), static_cast<int32_t>(id));
}
int32_t ExpansionResult(platform::ViewRecord& view, const std::string& position) {
  return Membership(Expansion(view), position);
}

bool IsSelected(platform::ViewRecord& view, VXNoteId id) {
  return SelectionResult(view, id) >= 0;
}
bool IsMarked(platform::ViewRecord& view, VXNoteId id) {
  return TrashResult(view, id) >= 0;
}
bool IsCollapsed(platform::ViewRecord& view, const std::string& position) {
  return ExpansionResult(view, position) < 0;
}

void ToggleSelection(platform::ViewRecord& view, const std::string& id_text) {
  char* end = nullptr;
  long id = std::strtol(id_text.c_str(), &end, 10);
  if (id > 0) ToggleMember(&Selection(view), static_cast<int32_t>(id));
  view.currentLine.clear();
}

void SetSelectionPolarity(platform::ViewRecord& view, int32_t polarity) {
  SetPolarity(&Selection(view), polarity);
  view.currentLine.clear();
}

void ToggleExpansion(platform::ViewRecord& view, const std::string& position) {
  ToggleMember(&Expansion(view), position);
}

void SetExpansionPolarity(platform::ViewRecord& view, int32_t polarity) {
  SetPolarity(&Expansion(view), polarity);
}

void MoveSelectionToTrash(platform::ViewRecord& view) {
  PolaritySet& selection = Selection(view);
  PolaritySet& trash = Trash(view);
  PolaritySet copy = selection;
  for (int32_t id : Members(trash)) {
    bool found = false;
    for (size_t i = 2; i < copy.words.size(); ++i) {
      if (copy.words[i] == id) {
        copy.words[i] = 0;
        found = true;
        break;
      }
    }
    if (found) continue;
    for (size_t i = 2; i < copy.words.size(); ++i) {
      if (copy.words[i] == 0) {
        copy.words[i] = id;
        break;
      }
    }
  }
  copy.words[1] = -(Polarity(trash) * Polarity(selection));
  trash = std::move(copy);
  SetSelectionPolarity(view, -1);
}

bool InsideCollapsedCategory(platform::ViewRecord& view, std::string* position) {
  for (size_t dot = position->find('.'); dot != std::string::npos;
       dot = position->find('.', dot + 1)) {
    std::string prefix = position->substr(0, dot);
    if (IsCollapsed(view, prefix)) {
      *position = prefix;
      return true;
    }
  }
  return IsCollapsed(view, *position);
}

}  // namespace browser
