// Default values of fields.
#include "browser/field_defaults.h"

#include <algorithm>
#include <vector>

#include "browser/field_input.h"
#include "browser/rich_text_writers.h"
#include "ledra/vxapi.h"
#include "platform/translate.h"

namespace browser {

bool StoreExecuteResult(VXHandle source, VXHandle target, const std::string& name) {
  uint16_t type = 0;
  uint32_t length = 0, flags = 0;
  if (VXItemGetInfo(source, kExecuteResult, &type, &length, &flags) != kVXOk) return false;
  std::string value(length, '\0');
  uint32_t got = 0;
  if (length != 0 &&
      VXItemFetch(source, kExecuteResult, 0, value.data(), length + 1, &got) != kVXOk)
    return false;
  if (type == kVXTypeText) value.resize(std::min<size_t>(got, length));
  return VXItemPut(target, name.c_str(), 0, 0, type, value.data(),
                   static_cast<uint32_t>(value.size())) == kVXOk;
}

void FillDefaultValues(VXHandle database, VXNoteId form, VXHandle document) {
  int32_t one = 1;
  (void)VXDocumentSetProperty(document, kDocPropSummary, &one);
  (void)VXDatabaseSetProperty(database, kDbPropFreshReads, &one);
  char name[kVXNameSize] = {};
  std::vector<std::string> names;
  for (uint32_t code = kVXListFirst;
       platform::wrap::VXFieldList(database, form, code, name, sizeof name) == kVXOk;
       code = kVXListNext)
    names.emplace_back(name);
  for (const std::string& field_name : names) {
    FieldDefinition field;
    if (!FetchField(database, form, field_name, &field)) continue;
    if (field.defaultFormula.empty()) {
      (void)platform::wrap::VXItemPut(document, field.name.c_str(), 0, 0, kVXTypeText, "", 0);
      continue;
    }
    std::string formula = PrepareFormula(field.defaultFormula, 2);
    if (VXDocumentExecute(document, formula.c_str(), static_cast<uint32_t>(formula.size()), 0) !=
        kVXOk)
      continue;
    (void)StoreExecuteResult(document, document, field.name);
  }
  (void)VXItemDelete(document, kExecuteResult);
}

}  // namespace browser
