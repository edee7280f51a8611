// Built-ins that ask the document, its database, the user or the
// environment strings.
#include <cstdio>

#include "ledra/formula/builtins.h"
#include "ledra/formula/syntax_tree.h"

namespace ledra {
namespace {

constexpr char kEnvironmentRefused[] = "Cannot set environment string";

// @Environment("Corvane_Local_Port") reads "$Corvane_Local_Port".
std::string EnvironmentName(const std::string& name) {
  return !name.empty() && name[0] == '$' ? name : "$" + name;
}

bool ItemPresent(CallFrame& frame) {
  const Node& argument = *frame.call.children[0];
  const std::string& name =
      argument.kind == NodeKind::kName ? argument.text : argument.constant.texts[0];
  return frame.evaluator.document().ReadItem(name) != nullptr;
}

}  // namespace

FormulaValue BuiltinUserName(CallFrame& frame) {
  return FormulaText(frame.evaluator.document().UserName());
}

FormulaValue BuiltinIsAvailable(CallFrame& frame) { return FormulaBool(ItemPresent(frame)); }
FormulaValue BuiltinIsUnavailable(CallFrame& frame) { return FormulaBool(!ItemPresent(frame)); }

FormulaValue BuiltinIsNewDoc(CallFrame& frame) {
  return FormulaBool(frame.evaluator.document().IsNew());
}
FormulaValue BuiltinIsDocBeingEdited(CallFrame& frame) {
  return FormulaBool(frame.evaluator.options().doc_being_edited);
}
FormulaValue BuiltinIsDocBeingLoaded(CallFrame& frame) {
  return FormulaBool(frame.evaluator.options().doc_being_loaded);
}
FormulaValue BuiltinIsResponseDoc(CallFrame& frame) {
  return FormulaBool(frame.evaluator.document().IsResponse());
}

FormulaValue BuiltinDocumentUniqueID(CallFrame& frame) {
  return FormulaText(frame.evaluator.document().Unid());
}

// "NT" and the note id as eight upper-case hexadecimal digits.
FormulaValue BuiltinNoteID(CallFrame& frame) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "NT%08X", frame.evaluator.document().NoteId());
  return FormulaText(buffer);
}

FormulaValue BuiltinDbTitle(CallFrame& frame) {
  return FormulaText(frame.evaluator.document().DatabaseTitle());
}

// The server ("" for this machine) and the database's file path.
FormulaValue BuiltinDbName(CallFrame& frame) {
  FormulaDocument& document = frame.evaluator.document();
  return FormulaTextList({document.DatabaseServer(), document.DatabaseFileName()});
}

// @Environment(name): the string's value, "" when it is not set;
// @Environment(name; value) sets it as well.
FormulaValue BuiltinEnvironment(CallFrame& frame) {
  if (frame.args[0].type != FormulaType::kText) return frame.Error(kNeedText);
  const std::string name = EnvironmentName(frame.args[0].texts[0]);
  FormulaDocument& document = frame.evaluator.document();
  if (frame.args.size() > 1) {
    const std::string value = FormulaElementText(frame.args[1], 0);
    if (!document.SetEnvironment(name, value)) return frame.Error(kEnvironmentRefused);
    return FormulaText(value);
  }
  std::string value;
  if (!document.GetEnvironment(name, &value)) return FormulaEmpty();
  return FormulaText(std::move(value));
}

FormulaValue BuiltinSetEnvironment(CallFrame& frame) {
  if (frame.args[0].type != FormulaType::kText) return frame.Error(kNeedText);
  const std::string value = FormulaElementText(frame.args[1], 0);
  if (!frame.evaluator.document().SetEnvironment(EnvironmentName(frame.args[0].texts[0]), value)) {
    return frame.Error(kEnvironmentRefused);
  }
  return FormulaText(value);
}

}  // namespace ledra
