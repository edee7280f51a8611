// The formula module's side of the store's calls. Each hook gathers what it
// needs through the Vantix calls (the database's title and path, the user,
// the form's field formulas) first, then holds the document's lock while
// formulas run on its note, so that no Vantix call is made under it.
#include "ledra/formula/formula_calls.h"

#include <cstring>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ledra/formula/form_formulas.h"
#include "ledra/formula/formula.h"
#include "ledra/formula/note_document.h"
#include "ledra/formula_hooks.h"
#include "ledra/last_error.h"
#include "ledra/objects.h"
#include "ledra/vxapi.h"

namespace ledra {
namespace {

constexpr char kFormulaFailed[] = "Formula error: ";

// A document handle's note, with its database and user.
struct Target {
  std::shared_ptr<Document> doc;
  NoteContext context;
  VXNoteId form = 0;
};

std::string DatabaseText(VXHandle database, uint32_t property) {
  char buffer[kVXPathSize] = {};
  if (VXDatabaseGetProperty(database, property, buffer, sizeof buffer) != kVXOk)
    return std::string();
  return buffer;
}

// The document and its form; cheap, so that saves of documents whose form
// has no formulas cost nothing more.
VXStatus FindForm(VXHandle document, Target* target) {
  if (VXStatus s = GetDocument(document, &target->doc); s != kVXOk) return s;
  int32_t form = 0;
  if (VXDocumentGetProperty(document, kDocPropForm, &form, sizeof form) == kVXOk) {
    target->form = static_cast<VXNoteId>(form);
  }
  return kVXOk;
}

// What formulas ask of the database and the user.
void Prepare(Target* target) {
  const VXHandle database = target->doc->database_handle;
  target->context.database_title = DatabaseText(database, kDbPropTitle);
  target->context.database_server = DatabaseText(database, kDbPropServer);
  // The local server is "" to formulas, as @DbName gives it.
  if (SameName(target->context.database_server, DefaultServer()) ||
      SameName(target->context.database_server, "Local")) {
    target->context.database_server.clear();
  }
  target->context.database_file = DatabaseText(database, kDbPropPath);
  char user[kVXPathSize] = {};
  if (VXGetProperty(kVXPropUserName, user, sizeof user) == kVXOk) target->context.user_name = user;
}

bool AnyFormula(const std::vector<FieldFormulas>& fields, std::string FieldFormulas::*which) {
  for (const FieldFormulas& field : fields) {
    if (!(field.*which).empty()) return true;
  }
  return false;
}

// The formulas of the fields of a form, in field order, from the form's
// "$Fields" design item. Read directly rather than through VXFieldList, whose
// walk position belongs to the caller (a save inside a field walk must not
// move it).
std::vector<FieldFormulas> FormFormulas(Database& db, VXNoteId form) {
  std::vector<FieldFormulas> fields;
  if (form == 0) return fields;
  std::string stored;
  {
    std::lock_guard<std::mutex> lock(db.mutex);
    const Note* note = DesignNote(db, form);
    if (note == nullptr) return fields;
    stored = TextItem(*note, "$Fields");
  }
  const nlohmann::json list = nlohmann::json::parse(stored, nullptr, false);
  if (!list.is_array()) return fields;
  auto text = [](const nlohmann::json& field, const char* key) {
    auto it = field.find(key);
    return it != field.end() && it->is_string() ? it->get<std::string>() : std::string();
  };
  for (const nlohmann::json& field : list) {
    if (!field.is_object()) continue;
    fields.push_back({text(field, "name"), text(field, "default"), text(field, "computed"),
                      text(field, "validation")});
  }
  return fields;
}

VXStatus FillDefaults(VXHandle document) {
  Target target;
  if (VXStatus s = FindForm(document, &target); s != kVXOk) return s;
  const std::vector<FieldFormulas> fields = FormFormulas(*target.doc->database, target.form);
  if (!AnyFormula(fields, &FieldFormulas::default_formula)) return kVXOk;
  Prepare(&target);
  std::lock_guard<std::mutex> lock(target.doc->mutex);
  NoteDocument note(&target.doc->note, &target.context);
  FormulaOptions options;
  options.doc_being_edited = true;
  options.doc_being_loaded = true;
  (void)FormulaFillDefaults(fields, &note, options);
  if (note.changed()) target.doc->changed = true;
  return kVXOk;
}

// A computed field whose formula fails keeps its old value and the save
// goes on: refusing the save would lose everything else the caller wrote
// (the scheduler saves a schedule this way before it starts the job).
VXStatus ComputeFields(VXHandle document) {
  Target target;
  if (VXStatus s = FindForm(document, &target); s != kVXOk) return s;
  const std::vector<FieldFormulas> fields = FormFormulas(*target.doc->database, target.form);
  if (!AnyFormula(fields, &FieldFormulas::computed)) return kVXOk;
  Prepare(&target);
  std::lock_guard<std::mutex> lock(target.doc->mutex);
  NoteDocument note(&target.doc->note, &target.context);
  for (const FieldFormulas& field : fields) {
    if (field.computed.empty()) continue;
    std::string message;
    (void)FormulaComputeFields({field}, &note, FormulaOptions(), &message);
  }
  if (note.changed()) target.doc->changed = true;
  return kVXOk;
}

VXStatus Validate(VXHandle document, char* message, uint32_t size) {
  Target target;
  if (VXStatus s = FindForm(document, &target); s != kVXOk) return s;
  const std::vector<FieldFormulas> fields = FormFormulas(*target.doc->database, target.form);
  if (!AnyFormula(fields, &FieldFormulas::validation)) return kVXOk;
  Prepare(&target);
  std::string failure;
  bool valid = true;
  {
    std::lock_guard<std::mutex> lock(target.doc->mutex);
    NoteDocument note(&target.doc->note, &target.context);
    valid = FormulaValidateFields(fields, &note, FormulaOptions(), &failure);
    if (note.changed()) target.doc->changed = true;
  }
  if (valid) return kVXOk;
  if (message != nullptr && size > 0) (void)CopyText(failure, message, size);
  return Fail(kVXValidationFailed, failure);
}

VXStatus Execute(VXHandle document, const char* text, uint32_t length, uint32_t /*flags*/) {
  if (text == nullptr) return Fail(kVXBadArgument, "Execute: no formula given");
  Target target;
  if (VXStatus s = FindForm(document, &target); s != kVXOk) return s;
  Prepare(&target);
  const std::string_view source(text, length != 0 ? length : std::strlen(text));
  Formula formula;
  FormulaSyntaxError error;
  if (!Formula::Compile(source, &formula, &error)) {
    return Fail(kVXFormulaError, kFormulaFailed + FormulaErrorText(error));
  }
  std::lock_guard<std::mutex> lock(target.doc->mutex);
  NoteDocument note(&target.doc->note, &target.context);
  const FormulaResult result = FormulaEvaluate(formula, &note);
  if (note.changed()) target.doc->changed = true;
  if (!result.ok()) return Fail(kVXFormulaError, kFormulaFailed + FormulaErrorText(result.value));
  // The result is scratch: it does not mark the document changed.
  target.doc->note.PutItem(FormulaToItem(kExecuteResultItem, result.value));
  return kVXOk;
}

}  // namespace

void RegisterFormulaModule() {
  FormulaHooks hooks;
  hooks.fill_defaults = FillDefaults;
  hooks.compute_fields = ComputeFields;
  hooks.validate = Validate;
  hooks.execute = Execute;
  RegisterFormulaHooks(hooks);
}

}  // namespace ledra

using namespace ledra;

VXStatus LCFormulaCompile(const char* text, uint32_t length, VXHandle* formula,
                          uint32_t* formula_length) {
  if (formula == nullptr || text == nullptr)
    return Fail(kVXBadArgument, "Formula compile: no text or no handle");
  *formula = 0;
  Formula compiled;
  FormulaSyntaxError error;
  if (!Formula::Compile(std::string_view(text, length != 0 ? length : std::strlen(text)), &compiled,
                        &error)) {
    return Fail(kVXFormulaError, "Formula error: " + FormulaErrorText(error));
  }
  const std::string bytes = compiled.Compiled();
  *formula = LCMemAlloc(bytes.data(), static_cast<uint32_t>(bytes.size()));
  if (*formula == 0)
    return Fail(kVXBadArgument, "Formula compile: no memory for the compiled formula");
  if (formula_length != nullptr) *formula_length = static_cast<uint32_t>(bytes.size());
  return kVXOk;
}

VXStatus LCFormulaDecompile(const void* compiled, uint32_t length, VXHandle* text,
                            uint32_t* text_length) {
  if (compiled == nullptr || text == nullptr)
    return Fail(kVXBadArgument, "Formula text: no formula or no handle");
  *text = 0;
  Formula formula;
  std::string message;
  if (!Formula::Load(std::string_view(static_cast<const char*>(compiled), length), &formula,
                     &message)) {
    return Fail(kVXFormulaError, "Formula error: " + message);
  }
  const std::string source = formula.Text();
  *text = LCMemAlloc(source.data(), static_cast<uint32_t>(source.size()));
  if (*text == 0) return Fail(kVXBadArgument, "Formula text: no memory for the text");
  if (text_length != nullptr) *text_length = static_cast<uint32_t>(source.size());
  return kVXOk;
}
