// The three sets of a view record (selection, trash marks, expanded
// categories) and the set operations the view pages, the document pages and
// the view commands share. Platform thread only.
//
// The sets hang off the view record: they live in a table of this module
// keyed by the record, and an entry is valid only while the record it was
// made for (same database record, same view id) is in the open-database
// cache; a record freed by "close all databases" takes its sets with it.
#pragma once

#include <memory>
#include <string>

#include "browser/polarity_set.h"
#include "ledra/vx_types.h"
#include "platform/open_database.h"

namespace browser {

struct ViewSets {
  std::unique_ptr<PolaritySet> selection;  // document ids; default polarity -1
  std::unique_ptr<PolaritySet> trash;      // document ids; default polarity -1
  std::unique_ptr<PositionSet> expansion;  // dotted positions
};

// The sets of a view record (each absent until first use).
ViewSets& SetsOf(platform::ViewRecord& view);
// Forgets every entry whose view record is no longer in the cache.
void PruneViewSets(engine::SharedContext& shared);

// Created on first use: selection and trash with polarity -1; expansion with
// -1 when the view's design says categories start collapsed, else +1.
PolaritySet& Selection(platform::ViewRecord& view);
PolaritySet& Trash(platform::ViewRecord& view);
PositionSet& Expansion(platform::ViewRecord& view);

// Membership results (negative: not selected, not marked, collapsed).
int32_t SelectionResult(platform::ViewRecord& view, VXNoteId id);
int32_t TrashResult(platform::ViewRecord& view, VXNoteId id);
int32_t ExpansionResult(platform::ViewRecord& view, const std::string& position);

bool IsSelected(platform::ViewRecord& view, VXNoteId id);
bool IsMarked(platform::ViewRecord& view, VXNoteId id);
bool IsCollapsed(platform::ViewRecord& view, const std::string& position);

// Toggles the document whose decimal id is the text; empties the current
// line. A text that is not a positive number changes nothing but the line.
void ToggleSelection(platform::ViewRecord& view, const std::string& id_text);
// +1 selects all, -1 none; empties the current line.
void SetSelectionPolarity(platform::ViewRecord& view, int32_t polarity);
void ToggleExpansion(platform::ViewRecord& view, const std::string& position);
// +1 expands all, -1 collapses all.
void SetExpansionPolarity(platform::ViewRecord& view, int32_t polarity);
// "To/From Trash": the trash set becomes the symmetric difference of the
// selection and the old trash set; the selection is emptied.
void MoveSelectionToTrash(platform::ViewRecord& view);

// For each prefix of position ending before a ".", and finally the whole
// text: the first that is collapsed cuts position to it and gives true.
bool InsideCollapsedCategory(platform::ViewRecord& view, std::string* position);

}  // namespace browser
