// Deleting the marked documents ("Empty Trash") or the selected ones.
#include <memory>

#include "browser/batched_run.h"
#include "browser/platform_helpers.h"
#include "browser/view_operations.h"
#include "browser/view_sets.h"
#include "common/text.h"

namespace browser {

namespace {

using common::Format;

constexpr char kDeleteQuestionFormat[] =
    "Do you want to permanently delete%s%d document%sfrom the database %s?";
constexpr char kDeleteAllQuestionFormat[] =
    "Do you want to permanently delete ALL DOCUMENTS of this view from the database %s?";
constexpr char kDeletingFormat[] = "Deleting document %d, please wait...";
constexpr char kMarkedDeletedFormat[] = "%d document%s successfully deleted.";
constexpr char kSelectedDeletedFormat[] = "%d document%ssuccessfully deleted.";
constexpr char kNotAllDeletedFormat[] =
    "%d of %d documents were deleted; %d could not be deleted.\n\n%s";
constexpr uint32_t kMarkedFlag = 0x10000;
constexpr uint32_t kSelectedFlag = 0;
constexpr size_t kProgressEvery = 10;

enum class Kind { kMarked, kSelected };

void DeleteSet(engine::ThreadHandle& handle, platform::OpenDatabase& db, platform::ViewRecord& view,
               Kind kind) {
  ViewSets& sets = SetsOf(view);
  std::unique_ptr<PolaritySet>& set = kind == Kind::kMarked ? sets.trash : sets.selection;
  if (!set) return;
  size_t n = ListedCount(*set);
  (void)VXIndexRefresh(view.index);
  if (Polarity(*set) != 1 && n == 0) return;
  VXNoteId current = 0;
  if (VXIndexNavigate(view.index, kVXNavCurrent, 0, &current, nullptr) != kVXOk) return;
  std::string question = n != 0 ? Format(kDeleteQuestionFormat, CountText(*set),
                                         static_cast<int>(n), PluralText(n), db.title.c_str())
                                : Format(kDeleteAllQuestionFormat, db.title.c_str());
  if (!AskYesNo(handle, question, kPellamTitle)) return;

  std::vector<VXNoteId> ids = WorkingDocuments(db.handle, view, *set);
  uint32_t flag = kind == Kind::kMarked ? kMarkedFlag : kSelectedFlag;
  StatusProgress progress;
  BatchOutcome outcome = RunBatched(
      db.handle, ids, [&](VXNoteId id, VXNoteId*) { return VXDocumentDelete(db.handle, id, flag); },
      [&](size_t number) {
        if ((number - 1) % kProgressEvery == 0)
          progress.Show(Format(kDeletingFormat, static_cast<int>(number)));
      });
  int deleted = static_cast<int>(outcome.done.size());
  ShowStatus(Format(kind == Kind::kMarked ? kMarkedDeletedFormat : kSelectedDeletedFormat, deleted,
                    PluralText(n)));
  // Work left undone is said, with the count of what was done.
  if (outcome.failed != 0)
    (void)Tell(handle,
               Format(kNotAllDeletedFormat, deleted, static_cast<int>(ids.size()),
                      static_cast<int>(ids.size()) - deleted, outcome.firstError.c_str()),
               kPellamTitle, os::Icon::kExclamation);
  set.reset();
  view.currentLine.clear();
}

}  // namespace

void DeleteMarked(engine::ThreadHandle& handle, platform::OpenDatabase& db,
                  platform::ViewRecord& view) {
  DeleteSet(handle, db, view, Kind::kMarked);
}

void DeleteSelected(engine::ThreadHandle& handle, platform::OpenDatabase& db,
                    platform::ViewRecord& view) {
  DeleteSet(handle, db, view, Kind::kSelected);
}

}  // namespace browser
