// Small platform helpers that the catalogue, the database pages, the view
// commands and the attachment command share: text items, the platform's
// last error text, documents found by a selection formula, formula text
// literals, message boxes on the desktop and the error page with a text of
// our own. Platform thread only.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "engine/thread_handle.h"
#include "ledra/vxapi.h"
#include "os/desktop.h"

namespace browser {

inline constexpr char kPellamTitle[] = "Pellam Corvane";

// The text of an item of an open document ("" when it is absent or cannot
// be read).
std::string ItemText(VXHandle document, const std::string& item);
// Writes a text item; the platform's status.
[[nodiscard]] VXStatus PutTextItem(VXHandle document, const std::string& item,
                                   const std::string& value);

// Saves and deletions of one database handle held in one transaction
// until Commit (or the end of the scope): a thousand documents are written
// at once instead of one commit each. A batch that cannot be opened leaves
// every save to commit on its own.
class SaveBatch {
 public:
  explicit SaveBatch(VXHandle database);
  ~SaveBatch();
  SaveBatch(const SaveBatch&) = delete;
  SaveBatch& operator=(const SaveBatch&) = delete;
  // Commits what the batch holds and opens a new batch when `reopen`; the
  // commit's status (what it held is not stored when it fails).
  [[nodiscard]] VXStatus Commit(bool reopen = false);

 private:
  VXHandle database_;
  bool open_ = false;
};

// The message of the platform's last failure on this thread ("" when none).
std::string PlatformErrorText();

// The note ids a selection formula finds in a database, in index order
// (each once). The platform's status; on failure *ids holds what was found.
[[nodiscard]] VXStatus SelectDocuments(VXHandle database, const std::string& formula,
                                       std::vector<VXNoteId>* ids);

// A text as a formula literal: in double quotes, every '"' and '\' preceded
// by a backslash, so the text can never end the literal early.
std::string FormulaLiteral(const std::string& text);

// A message box owned by the main window (none in tests without one).
os::Answer Tell(engine::ThreadHandle& handle, const std::string& text, const std::string& title,
                os::Icon icon, os::Buttons buttons = os::Buttons::kOk);
// A Yes/No question owned by the main window; true for Yes.
bool AskYesNo(engine::ThreadHandle& handle, const std::string& text, const std::string& title);
// The platform's last error text in a stop box with this title.
void TellPlatformError(engine::ThreadHandle& handle, const std::string& title);

// The error page with a text of ours in place of the platform's (escaped);
// off line the redirect to the off-line page, as every error page.
void WriteErrorText(std::FILE* reply, engine::ThreadHandle& handle, const std::string& text);

}  // namespace browser
