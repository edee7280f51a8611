// Categorise: the selected documents get the categories chosen in the
// "Categorize" dialog, written into the field that the view's categorised
// column shows. The dialog offers the field's keyword choices, or else the
// categories the view already has, and preselects the current document's
// categories.
#include <strings.h>

#include <algorithm>

#include "browser/batched_run.h"
#include "browser/platform_helpers.h"
#include "browser/position_walk.h"
#include "browser/view_command.h"
#include "browser/view_operations.h"
#include "browser/view_sets.h"
#include "common/text.h"
#include "os/dialog.h"
#include "platform/translate.h"
#include "platform/translate_views.h"
#include "platform/view_records.h"

namespace browser {

namespace {

constexpr char kWorkingViewName[] = "by Category";
constexpr char kSelectFirst[] = "You must select at least one entry in the view";
constexpr char kNeedsCategories[] =
    "This command only is valid from a view that has CATEGORIZED columns.";
constexpr char kNeedsSingleField[] =
    "This command only is valid from a view that categorizes on a single field.";
constexpr char kNotCategorized[] = "(Not Categorized)";
constexpr char kNotAllCategorizedFormat[] =
    "%d of %d documents were categorized; %d could not be changed.\n\n%s";
constexpr char kDialogCaption[] = "Categorize";
constexpr int kDialogResource = 1010;
constexpr int kEditId = 1000;
// The sorted multiple-selection list (id 1011) is described as one check
// box per entry, numbered from here.
constexpr int kFirstEntryId = 2000;
constexpr uint32_t kCategoryColumns = 10;
constexpr VXNoteId kCategoryRow = 0xFFFFFFFFu;

struct Entry {
  std::string text;
  bool selected = false;
};

// The list keeps its entries sorted (any case) and each once.
void AddEntry(std::vector<Entry>* list, const std::string& text, bool select) {
  auto at =
      std::lower_bound(list->begin(), list->end(), text, [](const Entry& e, const std::string& t) {
        return strcasecmp(e.text.c_str(), t.c_str()) < 0;
      });
  if (at != list->end() && strcasecmp(at->text.c_str(), text.c_str()) == 0) {
    at->selected = at->selected || select;
    return;
  }
  list->insert(at, Entry{text, select});
}

bool HoldsFullTextResults(VXHandle index) {
  int32_t full_text = 0;
  return VXIndexGetProperty(index, kIndexPropFullText, &full_text, sizeof full_text) == kVXOk &&
         full_text == 1;
}

// The categories of the view's top-level category rows.
void AddViewCategories(VXHandle index, std::vector<Entry>* list) {
  std::string kept = CurrentPosition(index);
  VXNoteId id = 0;
  VXStatus status = SetPosition(index, "1") ? VXIndexNavigate(index, kVXNavCurrent, 0, &id, nullptr)
                                            : kVXEndOfList;
  while (status == kVXOk) {
    if (id == kCategoryRow) {
      for (uint32_t column = 1; column <= kCategoryColumns; ++column) {
        char text[kPositionSize * 3 + 1] = {};
        uint32_t length = 0;
        if (platform::wrap::VXViewcellFetch(index, column, text, sizeof text, &length) != kVXOk)
          break;
        if (text[0] == '\0') continue;
        if (std::string(text) != kNotCategorized) AddEntry(list, text, false);
        break;
      }
    }
    status = VXIndexNavigate(index, kVXNavNextSibling, 0, &id, nullptr);
  }
  (void)SetPosition(index, kept);
}

// The pieces of a value separated by ";", "," or a line break, each with
// one leading and one trailing blank dropped; empty pieces are left out.
std::vector<std::string> Pieces(const std::string& value) {
  std::vector<std::string> pieces;
  size_t start = 0;
  while (start <= value.size()) {
    size_t end = value.find_first_of(";,\n", start);
    if (end == std::string::npos) end = value.size();
    std::string piece = value.substr(start, end - start);
    if (!piece.empty() && piece.front() == ' ') piece.erase(0, 1);
    if (!piece.empty() && piece.back() == ' ') piece.pop_back();
    if (!piece.empty()) pieces.push_back(piece);
    start = end + 1;
  }
  return pieces;
}

// The dialog: true on OK, with the category text (each chosen entry
// followed by ",", then the typed new categories).
bool CategorizeDialog(engine::ThreadHandle& handle, VXHandle database, VXHandle index,
                      VXNoteId document_id, const std::string& field, std::string* text) {
  VXHandle document = 0;
  if (VXDocumentOpen(database, document_id, kVXDocOpenReadOnly, &document) != kVXOk) return false;
  VXNoteId form = 0;
  (void)VXDocumentGetProperty(document, kDocPropForm, &form, sizeof form);
  VXFieldRecord record;
  bool has_field = platform::wrap::VXFieldFetch(database, form, field.c_str(), &record) == kVXOk;
  std::vector<Entry> list;
  bool single = false, editable = true;
  uint32_t choices = 0;
  if (has_field && record.keywords != 0) (void)VXTextListGetLength(record.keywords, &choices);
  if (choices > 0) {
    editable = record.keyword_kind == 1 || record.keyword_kind == 0;
    bool list_type = record.data_type == kVXTypeTextList || record.data_type == kVXTypeNumberList ||
                     record.data_type == kVXTypeDatetimeList;
    single = record.keyword_kind == 4 ||
             ((record.keyword_kind == 1 || record.keyword_kind == 2) && !list_type);
    for (uint32_t i = 0; i < choices; ++i) {
      char choice[kVXPathSize * 3 + 1] = {};
      uint32_t length = 0;
      if (platform::wrap::VXTextListFetch(record.keywords, i, choice, sizeof choice, &length) !=
          kVXOk)
        continue;
      std::string entry = choice;
      entry = entry.substr(0, entry.find('|'));
      if (!entry.empty()) AddEntry(&list, entry, false);
    }
  } else if (!HoldsFullTextResults(index)) {
    AddViewCategories(index, &list);
  }
  for (const std::string& piece : Pieces(ItemText(document, field)))
    if (piece != kNotCategorized) AddEntry(&list, piece, true);
  (void)VXDocumentClose(document, kVXCloseDiscard);

  os::Dialog dialog(kDialogResource, kDialogCaption);
  dialog.AddStatic("Categories");
  for (size_t i = 0; i < list.size(); ++i)
    dialog.AddCheckBox(kFirstEntryId + static_cast<int>(i), list[i].text, list[i].selected);
  dialog.AddEdit(kEditId, "New categories:");
  dialog.SetEnabled(kEditId, editable);
  dialog.AddButton(os::kIdOk, "OK", true);
  dialog.AddButton(os::kIdCancel, "Cancel");
  const int last_entry = kFirstEntryId + static_cast<int>(list.size());
  if (single) {
    dialog.SetRule([last_entry](os::Dialog& d, int id) {
      if (id < kFirstEntryId || id >= last_entry || !d.Checked(id)) return;
      for (int other = kFirstEntryId; other < last_entry; ++other)
        if (other != id) d.SetChecked(other, false);
    });
  }
  const os::Window* owner = handle.shared != nullptr ? handle.shared->mainWindow : nullptr;
  if (os::RunDialog(owner, dialog) != os::kIdOk) return false;
  text->clear();
  for (int id = kFirstEntryId; id < last_entry; ++id) {
    if (!dialog.Checked(id)) continue;
    *text += list[static_cast<size_t>(id - kFirstEntryId)].text + ",";
    if (single) break;
  }
  *text += dialog.Text(kEditId);
  return true;
}

// The field's new value: one category as a text; several (the chosen
// ones and those typed, separated by "," or ";") as a text list, so that
// the document is shown under each of them rather than under one category
// spelled with commas.
VXStatus PutCategories(VXHandle document, const std::string& field, const std::string& text) {
  std::vector<std::string> categories = Pieces(text);
  if (categories.size() <= 1) return PutTextItem(document, field, text);
  std::string list;
  for (const std::string& category : categories) list += category + '\0';
  return platform::wrap::VXItemPut(document, field.c_str(), 0, 0, kVXTypeTextList, list.data(),
                                   static_cast<uint32_t>(list.size()));
}

void CategorizeWith(engine::ThreadHandle& handle, platform::OpenDatabase& db,
                    platform::ViewRecord& working) {
  ViewSets& sets = SetsOf(working);
  if (!sets.selection || (Polarity(*sets.selection) != 1 && ListedCount(*sets.selection) == 0)) {
    (void)Tell(handle, kSelectFirst, kPellamTitle, os::Icon::kExclamation);
    return;
  }
  VXKey key;
  if (platform::wrap::VXIndexListKey(working.index, kVXListFirst, &key) != kVXOk) {
    (void)Tell(handle, kNeedsCategories, kPellamTitle, os::Icon::kExclamation);
    return;
  }
  VXNoteId document_id = DocumentOfCurrentLine(working);
  int32_t one = 1;
  (void)VXDatabaseSetProperty(db.handle, kDbPropFreshReads, &one);
  VXColumnRecord column;
  std::string field;
  if (platform::wrap::VXColumnFetch(working.index, key.column, &column) == kVXOk)
    field = column.item_name;
  VXHandle document = 0;
  if (document_id == 0 || VXDocumentOpen(db.handle, document_id, 0, &document) != kVXOk) return;
  VXNoteId form = 0;
  (void)VXDocumentGetProperty(document, kDocPropForm, &form, sizeof form);
  VXFieldRecord record;
  if (field.empty() ||
      platform::wrap::VXFieldFetch(db.handle, form, field.c_str(), &record) != kVXOk) {
    (void)Tell(handle, kNeedsSingleField, kPellamTitle, os::Icon::kExclamation);
    (void)VXDocumentClose(document, 0);
    return;
  }
  std::string text;
  if (CategorizeDialog(handle, db.handle, working.index, document_id, field, &text)) {
    std::vector<VXNoteId> ids = WorkingDocuments(db.handle, working, *sets.selection);
    if (!text.empty() && text.back() == ',') text.pop_back();
    BatchOutcome outcome = RunBatched(db.handle, ids, [&](VXNoteId id, VXNoteId*) {
      VXHandle doc = 0;
      if (VXStatus s = VXDocumentOpen(db.handle, id, 0, &doc); s != kVXOk) return s;
      VXStatus s = PutCategories(doc, field, text);
      if (s == kVXOk) s = VXDocumentSave(doc, kVXCloseKeep);
      (void)VXDocumentClose(doc, s == kVXOk ? 0 : kVXCloseDiscard);
      return s;
    });
    if (outcome.failed != 0) {
      int done = static_cast<int>(outcome.done.size());
      (void)Tell(handle,
                 common::Format(kNotAllCategorizedFormat, done, static_cast<int>(ids.size()),
                                static_cast<int>(ids.size()) - done, outcome.firstError.c_str()),
                 kPellamTitle, os::Icon::kExclamation);
    }
    (void)VXIndexRefresh(working.index);
    sets.selection.reset();
  }
  (void)VXDocumentClose(document, 0);
}

}  // namespace

void Categorize(engine::ThreadHandle& handle, platform::OpenDatabase& db,
                platform::ViewRecord& view) {
  platform::ViewRecord* working =
      platform::GetViewRecordByName(handle, db.handle, kWorkingViewName);
  if (working == nullptr || working == &view || working->index == 0) {
    CategorizeWith(handle, db, view);
    return;
  }
  // The working view borrows this view's selection; its own is put aside.
  ViewSets& own = SetsOf(view);
  ViewSets& borrower = SetsOf(*working);
  std::unique_ptr<PolaritySet> put_aside = std::move(borrower.selection);
  borrower.selection = std::move(own.selection);
  CategorizeWith(handle, db, *working);
  own.selection = std::move(borrower.selection);
  borrower.selection = std::move(put_aside);
  (void)VXIndexRefresh(view.index);
}

}  // namespace browser
