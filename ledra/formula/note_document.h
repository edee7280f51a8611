// A stored note as the formula language sees it: its items converted from
// their stored form (ledra/note.h) to formula values when first read, and
// written back in stored form. Used by the store's formula hooks
// (VXDocumentExecute, computed fields, validation), by selections over the
// notes of a database, and by `ledra eval`.
#ifndef LEDRA_FORMULA_NOTE_DOCUMENT_H_
#define LEDRA_FORMULA_NOTE_DOCUMENT_H_

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "ledra/formula/formula.h"
#include "ledra/note.h"
#include "ledra/vx_types.h"

namespace ledra {

// What a note does not know about itself: its database and the user.
struct NoteContext {
  std::string database_title;
  std::string database_server;  // "" for this machine
  std::string database_file;    // the path below the server's data directory
  std::string user_name;
  // Environment strings through the platform (ledra.ini); when false,
  // @Environment finds nothing and @SetEnvironment is refused.
  bool platform_environment = true;
};

class NoteDocument : public FormulaDocument {
 public:
  // A note that formulas may change (FIELD assignments write into it).
  NoteDocument(Note* note, const NoteContext* context);
  // A note that formulas only read: writes are refused.
  NoteDocument(const Note* note, const NoteContext* context);

  // Points the document at another note, dropping the converted values.
  void Reset(const Note* note);
  // True once a formula has written an item.
  bool changed() const { return changed_; }

  const FormulaValue* ReadItem(std::string_view name) override;
  bool WriteItem(std::string_view name, const FormulaValue& value, std::string* message) override;
  uint32_t NoteId() override { return note_->id; }
  std::string Unid() override;
  Datetime Created() override;
  Datetime Modified() override;
  bool IsResponse() override { return note_->has_parent; }
  std::string DatabaseTitle() override { return context_->database_title; }
  std::string DatabaseServer() override { return context_->database_server; }
  std::string DatabaseFileName() override { return context_->database_file; }
  std::string UserName() override { return context_->user_name; }
  bool GetEnvironment(std::string_view name, std::string* value) override;
  bool SetEnvironment(std::string_view name, std::string_view value) override;

 private:
  FormulaValue* NextValue();

  const Note* note_;
  Note* writable_;  // null when read only
  const NoteContext* context_;
  // Converted values, reused from note to note (a deque keeps them in
  // place); the first used_ belong to the current note.
  std::deque<FormulaValue> values_;
  size_t used_ = 0;
  std::vector<int32_t> value_of_item_;  // item index -> index in values_, -1 none yet
  bool changed_ = false;
};

// An item's stored value as a formula value. Rich text, compiled formulas
// and malformed values read as the empty text; date-times outside the
// years 1 to 9999 likewise.
FormulaValue FormulaFromItem(const Item& item);
// A formula value as an item of the matching type (text or text list,
// number or number list, date-time or date-time list).
Item FormulaToItem(std::string_view name, const FormulaValue& value);

// A selection formula over notes: compiled once, asked for each note.
class NoteSelection {
 public:
  NoteSelection() = default;
  NoteSelection(const NoteSelection&) = delete;  // the selector refers to formula_
  NoteSelection& operator=(const NoteSelection&) = delete;

  // Compiles the formula; on failure returns false with *message
  // ("<message> at position <n>").
  [[nodiscard]] bool Compile(std::string_view text, std::string* message);
  // Reads a compiled formula (an item of type 1536).
  [[nodiscard]] bool Load(std::string_view compiled, std::string* message);
  void set_context(const NoteContext& context) { context_ = context; }
  void set_options(const FormulaOptions& options);
  // True when the formula selects the note; an error selects nothing.
  bool Matches(const Note& note);

 private:
  Formula formula_;
  NoteContext context_;
  FormulaOptions options_;
  std::unique_ptr<FormulaSelector> selector_;
  std::unique_ptr<NoteDocument> document_;
};

}  // namespace ledra

#endif  // LEDRA_FORMULA_NOTE_DOCUMENT_H_
