// `ledra eval PATH NOTEID FORMULA`: evaluates a formula on a document of a
// database file and prints the value with its type, or the error with its
// position. NOTEID 0 evaluates on an empty new document. Changes that FIELD
// assignments make are shown by the formula's value but never saved: the
// command only reads the database.
#include "ledra/tool/eval_command.h"

#include <cstdlib>
#include <iostream>
#include <memory>

#include "ledra/formula/formula.h"
#include "ledra/formula/note_document.h"
#include "ledra/last_error.h"
#include "ledra/note_store.h"
#include "ledra/vxapi.h"

namespace {

using namespace ledra;

constexpr char kHelp[] =
    "usage: ledra eval PATH NOTEID FORMULA\n"
    "Evaluates FORMULA on the document NOTEID (decimal; 0: an empty new document)\n"
    "of the database file PATH and prints the value with its type (\"text: a; b\",\n"
    "\"number: 1\", \"date-time: 12/08/2026 14:03:00\"), or the error with its\n"
    "position, exiting with 1. FIELD assignments are not saved.\n";

int Usage(const std::string& error) {
  std::cerr << "ledra: eval: " << error << "\n\n" << kHelp;
  return 2;
}

}  // namespace

int EvalCommand(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      std::cout << kHelp;
      return 0;
    }
  }
  if (args.size() != 3) return Usage("eval needs PATH NOTEID FORMULA");
  char* end = nullptr;
  const unsigned long note_id = std::strtoul(args[1].c_str(), &end, 10);
  if (args[1].empty() || *end != '\0' || note_id > 0xffffffffUL) {
    return Usage("NOTEID must be a decimal note id, \"" + args[1] + "\" is not");
  }
  Formula formula;
  FormulaSyntaxError syntax;
  if (!Formula::Compile(args[2], &formula, &syntax)) {
    std::cout << "error: " << FormulaErrorText(syntax) << "\n";
    return 1;
  }
  std::unique_ptr<NoteStore> store;
  if (NoteStore::Open(args[0], "Database " + args[0], 30000, &store) != kVXOk) {
    std::cerr << "ledra: eval: " << LastFailure().message << "\n";
    return 1;
  }
  Note note;
  if (note_id != 0 && store->Load(static_cast<VXNoteId>(note_id), &note) != kVXOk) {
    std::cerr << "ledra: eval: " << LastFailure().message << "\n";
    return 1;
  }
  NoteContext context;
  (void)store->GetInfo("title", &context.database_title);
  context.database_file = args[0];
  char user[kVXPathSize] = {};
  if (VXGetProperty(kVXPropUserName, user, sizeof user) == kVXOk) context.user_name = user;
  NoteDocument document(&note, &context);
  const FormulaResult result = FormulaEvaluate(formula, &document);
  std::cout << FormulaDescribe(result.value) << "\n";
  return result.ok() ? 0 : 1;
}
