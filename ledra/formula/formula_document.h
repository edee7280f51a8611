// The document a formula is evaluated on, as the formula language sees it:
// items read and written by name, the note's identity and dates, its
// database, the current user and the platform's environment strings. The
// store implements it over an open note; MemoryDocument below holds
// everything in memory (new documents, tests, the benchmark).
#ifndef LEDRA_FORMULA_FORMULA_DOCUMENT_H_
#define LEDRA_FORMULA_FORMULA_DOCUMENT_H_

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "ledra/datetime.h"
#include "ledra/formula/formula_value.h"

namespace ledra {

class FormulaDocument {
 public:
  virtual ~FormulaDocument() = default;

  // The item `name` (letter case ignored) as a typed list, or nullptr when
  // the document has no such item. The pointer stays valid until the item
  // is written or the document goes away.
  virtual const FormulaValue* ReadItem(std::string_view name) = 0;
  // Writes (replaces) the item. Returns false when the document refuses it;
  // `message` then says why.
  [[nodiscard]] virtual bool WriteItem(std::string_view name, const FormulaValue& value,
                                       std::string* message) = 0;

  virtual uint32_t NoteId() { return 0; }
  virtual std::string Unid() { return std::string(); }
  virtual Datetime Created() { return DatetimeNow(); }
  virtual Datetime Modified() { return DatetimeNow(); }
  virtual bool IsResponse() { return false; }
  // A document never saved.
  virtual bool IsNew() { return NoteId() == 0; }
  virtual std::string DatabaseTitle() { return std::string(); }
  // The server ("" for the local one) and the file path of the database.
  virtual std::string DatabaseServer() { return std::string(); }
  virtual std::string DatabaseFileName() { return std::string(); }
  virtual std::string UserName() { return std::string(); }

  // Environment strings, by their full name ("$Corvane_Local_Port").
  // GetEnvironment returns false when the string is not set.
  virtual bool GetEnvironment(std::string_view name, std::string* value) {
    (void)name;
    (void)value;
    return false;
  }
  [[nodiscard]] virtual bool SetEnvironment(std::string_view name, std::string_view value) {
    (void)name;
    (void)value;
    return false;
  }
};

// A document held in memory, with its own environment strings.
class MemoryDocument : public FormulaDocument {
 public:
  const FormulaValue* ReadItem(std::string_view name) override;
  bool WriteItem(std::string_view name, const FormulaValue& value, std::string* message) override;
  void SetItem(std::string_view name, FormulaValue value);
  bool RemoveItem(std::string_view name);
  size_t ItemCount() const { return items_.size(); }
  // The items, by lower-cased name.
  const std::map<std::string, FormulaValue, std::less<>>& items() const { return items_; }

  uint32_t NoteId() override { return note_id; }
  std::string Unid() override { return unid; }
  Datetime Created() override { return created; }
  Datetime Modified() override { return modified; }
  bool IsResponse() override { return is_response; }
  std::string DatabaseTitle() override { return database_title; }
  std::string DatabaseServer() override { return database_server; }
  std::string DatabaseFileName() override { return database_file; }
  std::string UserName() override { return user_name; }
  bool GetEnvironment(std::string_view name, std::string* value) override;
  bool SetEnvironment(std::string_view name, std::string_view value) override;

  uint32_t note_id = 0;
  std::string unid;
  Datetime created;
  Datetime modified;
  bool is_response = false;
  std::string database_title;
  std::string database_server;
  std::string database_file;
  std::string user_name;
  std::map<std::string, std::string> environment;  // keyed by lower-case name

 private:
  std::map<std::string, FormulaValue, std::less<>> items_;  // keyed by lower-case name
};

// Lower-cases ASCII letters; other bytes (UTF-8 sequences) stay as they are.
std::string FormulaFoldCase(std::string_view name);

}  // namespace ledra

#endif  // LEDRA_FORMULA_FORMULA_DOCUMENT_H_
