// Cut, copy and paste through the clipboard database corvex.clp: a cut or
// a copy empties it and fills it with whole copies of the selected
// documents; a paste copies all of them into the view's database and keeps
// them, so a paste can be repeated.
//
// The clipboard is opened for each command and closed after it, rather
// than once for the life of the program: a handle kept across the
// platform's end and start would outlive its database.
#include "browser/batched_run.h"
#include "browser/platform_helpers.h"
#include "browser/view_operations.h"
#include "browser/view_sets.h"
#include "common/text.h"
#include "platform/open_database.h"

namespace browser {

namespace {

using common::Format;

constexpr char kTakeQuestionFormat[] =
    "Do you want to %s to Corvane's clipboard %s%d document%sfrom the database %s?";
constexpr char kTakeAllQuestionFormat[] =
    "Do you want to %s to Corvane's clipboard ALL DOCUMENTS of this view from the database %s?";
constexpr char kPasteQuestionFormat[] =
    "Do you want to PASTE from Corvane's clipboard %s%d document%sinto this database?";
constexpr char kNotAllCopiedFormat[] =
    "%d of %d documents were copied to Corvane's clipboard; %d could not be copied%s.\n\n%s";
constexpr char kLeftInDatabase[] = " and stay in the database";
constexpr char kNotDeletedFormat[] =
    "%d documents were copied to Corvane's clipboard but could not be deleted from the "
    "database.\n\n%s";
constexpr char kNotAllPastedFormat[] =
    "%d of %d documents were pasted; %d could not be pasted.\n\n%s";
constexpr char kClipboardTitle[] = "Corvane's clipboard";
constexpr char kAllFormula[] = "Select @All";
constexpr uint32_t kClipboardOpenFlags = 0;

class Clipboard {
 public:
  Clipboard() {
    if (VXDatabaseOpen(platform::kLocalServer, platform::kClipboardDatabase, kClipboardOpenFlags,
                       &handle_) != kVXOk)
      handle_ = 0;
  }
  ~Clipboard() {
    if (handle_ != 0) (void)VXDatabaseClose(handle_, 0);
  }
  Clipboard(const Clipboard&) = delete;
  Clipboard& operator=(const Clipboard&) = delete;
  VXHandle handle() const { return handle_; }

 private:
  VXHandle handle_ = 0;
};

std::vector<VXNoteId> Everything(VXHandle database) {
  std::vector<VXNoteId> ids;
  (void)SelectDocuments(database, kAllFormula, &ids);
  return ids;
}

std::vector<VXNoteId> Sources(const BatchOutcome& outcome) {
  std::vector<VXNoteId> ids;
  ids.reserve(outcome.done.size());
  for (const auto& [source, copy] : outcome.done) ids.push_back(source);
  return ids;
}

BatchOutcome CopyAll(VXHandle from, const std::vector<VXNoteId>& ids, VXHandle to) {
  return RunBatched(
      to, ids, [&](VXNoteId id, VXNoteId* copy) { return VXDocumentCopy(from, id, to, 0, copy); });
}

void CutOrCopy(engine::ThreadHandle& handle, platform::OpenDatabase& db, platform::ViewRecord& view,
               bool cut) {
  ViewSets& sets = SetsOf(view);
  if (!sets.selection) return;
  const PolaritySet& selection = *sets.selection;
  size_t n = ListedCount(selection);
  if (Polarity(selection) != 1 && n == 0) return;
  const char* verb = cut ? "CUT" : "COPY";
  std::string question = n != 0 ? Format(kTakeQuestionFormat, verb, CountText(selection),
                                         static_cast<int>(n), PluralText(n), db.title.c_str())
                                : Format(kTakeAllQuestionFormat, verb, db.title.c_str());
  if (!AskYesNo(handle, question, kPellamTitle)) return;
  Clipboard clipboard;
  if (clipboard.handle() == 0) {
    TellPlatformError(handle, kClipboardTitle);
    return;
  }
  std::vector<VXNoteId> emptied = Everything(clipboard.handle());
  (void)RunBatched(clipboard.handle(), emptied, [&](VXNoteId id, VXNoteId*) {
    return VXDocumentDelete(clipboard.handle(), id, kVXDeleteQuiet);
  });

  std::vector<VXNoteId> ids = WorkingDocuments(db.handle, view, selection);
  BatchOutcome copied = CopyAll(db.handle, ids, clipboard.handle());
  if (copied.failed != 0) {
    int done = static_cast<int>(copied.done.size());
    (void)Tell(handle,
               Format(kNotAllCopiedFormat, done, static_cast<int>(ids.size()),
                      static_cast<int>(ids.size()) - done, cut ? kLeftInDatabase : "",
                      copied.firstError.c_str()),
               kPellamTitle, os::Icon::kExclamation);
  }
  if (cut) {
    // Only what the clipboard holds for certain leaves the database.
    std::vector<VXNoteId> taken = Sources(copied);
    BatchOutcome deleted = RunBatched(db.handle, taken, [&](VXNoteId id, VXNoteId*) {
      return VXDocumentDelete(db.handle, id, 0);
    });
    if (deleted.failed != 0)
      (void)Tell(handle,
                 Format(kNotDeletedFormat, static_cast<int>(taken.size() - deleted.done.size()),
                        deleted.firstError.c_str()),
                 kPellamTitle, os::Icon::kExclamation);
  }
  sets.selection.reset();
  if (cut) (void)VXIndexRefresh(view.index);
}

void Paste(engine::ThreadHandle& handle, platform::OpenDatabase& db, platform::ViewRecord& view) {
  Clipboard clipboard;
  if (clipboard.handle() == 0) return;
  std::vector<VXNoteId> ids = Everything(clipboard.handle());
  size_t n = ids.size();
  if (n == 0) return;
  if (!AskYesNo(handle, Format(kPasteQuestionFormat, " ", static_cast<int>(n), n >= 2 ? "s " : " "),
                kPellamTitle))
    return;
  BatchOutcome pasted = CopyAll(clipboard.handle(), ids, db.handle);
  if (pasted.failed != 0) {
    int done = static_cast<int>(pasted.done.size());
    (void)Tell(handle,
               Format(kNotAllPastedFormat, done, static_cast<int>(n), static_cast<int>(n) - done,
                      pasted.firstError.c_str()),
               kPellamTitle, os::Icon::kExclamation);
  }
  (void)VXIndexRefresh(view.index);
}

}  // namespace

void ClipboardCommand(engine::ThreadHandle& handle, platform::OpenDatabase& db,
                      platform::ViewRecord& view, char kind) {
  if (kind == 'X')
    CutOrCopy(handle, db, view, true);
  else if (kind == 'C')
    CutOrCopy(handle, db, view, false);
  else if (kind == 'P')
    Paste(handle, db, view);
}

}  // namespace browser
