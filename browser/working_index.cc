// The working index of the view commands, the texts their questions share,
// the status line, and the installation of the commands in the view page.
#include <cstdlib>
#include <unordered_set>

#include "browser/platform_helpers.h"
#include "browser/position_walk.h"
#include "browser/view_command.h"
#include "browser/view_operations.h"
#include "browser/view_sets.h"
#include "common/status_file.h"
#include "platform/translate.h"
#include "platform/translate_views.h"

namespace browser {

namespace {

constexpr VXNoteId kCategoryBit = 0x80000000u;

// Walks an index with (0, 0), keeping the documents in the set: from the
// row it stands on (read first), or from before its first row.
void Collect(VXHandle index, bool read_current_first, const PolaritySet& set,
             std::vector<VXNoteId>* ids) {
  std::unordered_set<int32_t> listed;
  for (int32_t id : Members(set)) listed.insert(id);
  bool only_listed = Polarity(set) < 0;
  std::unordered_set<VXNoteId> seen;
  VXNoteId id = 0;
  VXStatus status = read_current_first ? VXIndexNavigate(index, kVXNavCurrent, 0, &id, nullptr)
                                       : VXIndexNavigate(index, kVXNavNext, 0, &id, nullptr);
  while (status == kVXOk) {
    if ((id & kCategoryBit) == 0 && seen.insert(id).second) {
      bool is_listed = listed.count(static_cast<int32_t>(id)) != 0;
      if (is_listed == only_listed) ids->push_back(id);
    }
    status = VXIndexNavigate(index, kVXNavNext, 0, &id, nullptr);
  }
}

void InstallOperations() {
  ViewOperations& ops = Operations();
  ops.rangeSelection = RangeSelection;
  ops.deleteMarked = DeleteMarked;
  ops.deleteSelected = DeleteSelected;
  ops.clipboard = ClipboardCommand;
  ops.categorize = Categorize;
  ops.search = SearchView;
}

struct Installer {
  Installer() { InstallOperations(); }
} installer;

}  // namespace

std::vector<VXNoteId> WorkingDocuments(VXHandle database, platform::ViewRecord& view,
                                       const PolaritySet& set) {
  std::vector<VXNoteId> ids;
  int32_t one = 1;
  (void)VXDatabaseSetProperty(database, kDbPropFreshReads, &one);
  int32_t full_text = 0;
  (void)VXIndexGetProperty(view.index, kIndexPropFullText, &full_text, sizeof full_text);
  if (full_text == 1) {
    std::string kept = CurrentPosition(view.index);
    if (VXIndexSetPosition(view.index, 1) == kVXOk) Collect(view.index, true, set, &ids);
    (void)SetPosition(view.index, kept);
    return ids;
  }
  VXDesignRecord record;
  if (platform::wrap::VXViewFetch(database, view.viewId, &record) != kVXOk) return ids;
  bool is_folder = (record.flags & kVXViewIsFolder) != 0;
  std::string formula = record.selection != nullptr ? record.selection : "";
  VXHandle index = 0;
  if (VXIndexOpen(database, &index) != kVXOk) return ids;
  // A folder has no selection formula: an empty one would select every
  // document of the database, so the folder itself is walked.
  VXStatus status = is_folder || formula.empty()
                        ? VXIndexOpenView(index, 0, view.viewId, 0)
                        : platform::wrap::VXIndexSearch(index, formula.c_str(), 0, 0);
  if (status == kVXOk) Collect(index, false, set, &ids);
  (void)VXIndexClose(index);
  return ids;
}

size_t ListedCount(const PolaritySet& set) {
  return Members(set).size();
}

const char* CountText(const PolaritySet& set) {
  return Polarity(set) == 1 ? " ALL but " : " ";
}

const char* PluralText(size_t n) {
  return n > 1 ? "s " : " ";
}

void ShowStatus(const std::string& text) {
  (void)common::WriteStatusLine(text);
}

void StatusProgress::Show(const std::string& text) {
  constexpr auto kEvery = std::chrono::milliseconds(200);
  auto now = std::chrono::steady_clock::now();
  if (shown_ && now - last_ < kEvery) return;
  shown_ = true;
  last_ = now;
  ShowStatus(text);
}

void RangeSelection(platform::ViewRecord& view, const std::string& id_text) {
  VXNoteId target = static_cast<VXNoteId>(std::strtoul(id_text.c_str(), nullptr, 10));
  if (target == 0 || view.index == 0) return;
  std::string remembered = CurrentPosition(view.index);
  // Forward from the page's top to the clicked document; a document above
  // the top (the page scrolled since) is looked for from the first row.
  auto reach = [&](bool from_first) {
    VXNoteId id = 0;
    VXStatus status = from_first ? VXIndexNavigate(view.index, kVXNavFirst, 2, &id, nullptr)
                                 : VXIndexNavigate(view.index, kVXNavCurrent, 0, &id, nullptr);
    while (status == kVXOk && id != target)
      status = VXIndexNavigate(view.index, kVXNavNext, 0, &id, nullptr);
    return status == kVXOk;
  };
  if (!reach(false) && !reach(true)) {
    (void)SetPosition(view.index, remembered);
    return;
  }
  PolaritySet& selection = Selection(view);
  int rows = 0;
  bool met_selected = false;
  VXNoteId id = 0;
  VXStatus status = VXIndexNavigate(view.index, kVXNavCurrent, 0, &id, nullptr);
  while (status == kVXOk && rows < kRangeRows) {
    if ((id & kCategoryBit) == 0) {
      if (Membership(selection, static_cast<int32_t>(id)) >= 0) {
        met_selected = true;
        break;
      }
      ToggleMember(&selection, static_cast<int32_t>(id));
      ++rows;
    }
    status = VXIndexNavigate(view.index, kVXNavNext, 2, &id, nullptr);
  }
  if (!met_selected && rows >= kRangeRows)
    (void)os::MessageBox(nullptr, kRangeTooLong, kPellamTitle, os::Icon::kExclamation,
                         os::Buttons::kOk);
  (void)SetPosition(view.index, remembered);
}

}  // namespace browser
