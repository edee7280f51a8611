// Template sources.
#include "browser/template_sources.h"

#include <algorithm>
#include <fstream>

#include "browser/template_expander.h"
#include "platform/translate.h"

namespace browser {

namespace {

constexpr uint32_t kDiscard = 0x20000;
constexpr size_t kMaxTemplateBytes = size_t{1} << 20;

bool ReadItemText(VXHandle document, const std::string& item, size_t limit, std::string* value) {
  uint32_t length = 0;
  if (VXItemGetLength(document, item.c_str(), kVXTypeText, &length) != kVXOk) return false;
  size_t size = length;
  if (limit != 0 && size > limit) size = limit;
  std::string text(size + 1, '\0');
  uint32_t got = 0;
  if (platform::wrap::VXItemFetch(document, item.c_str(), kVXTypeText, text.data(),
                                  static_cast<uint32_t>(text.size()), &got) != kVXOk)
    return false;
  text.resize(std::min<size_t>(got, size));
  *value = std::move(text);
  return true;
}

// The name VXDocumentCreate takes for a form id.
std::string FormName(VXHandle database, VXNoteId form) {
  VXDesignRecord record;
  if (platform::wrap::VXFormFetch(database, form, &record) != kVXOk) return "";
  return record.full_name;
}

bool ReadFile(const std::string& path, std::string* text) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  // Read in steps up to the limit: sizing the text for the limit first
  // cleared a megabyte for every template of every page.
  text->clear();
  char chunk[16384];
  while (text->size() < kMaxTemplateBytes) {
    file.read(chunk, static_cast<std::streamsize>(
                         std::min(sizeof chunk, kMaxTemplateBytes - text->size())));
    if (file.gcount() <= 0) break;
    text->append(chunk, static_cast<size_t>(file.gcount()));
  }
  return true;
}

bool Expand(std::string* out, const ActionContext& context, const std::string& text) {
  ExpandTemplate(context, text, out);
  return true;
}

}  // namespace

bool ReadDocumentItem(VXHandle database, VXNoteId document, const std::string& item, size_t limit,
                      std::string* value) {
  VXHandle doc = 0;
  if (VXDocumentOpen(database, document, 0, &doc) != kVXOk) return false;
  bool ok = ReadItemText(doc, item, limit, value);
  VXDocumentClose(doc, kDiscard);
  return ok;
}

bool ReadFormItem(VXHandle database, VXNoteId form, const std::string& item, std::string* value) {
  if (form == 0) return false;
  std::string name = FormName(database, form);
  if (name.empty()) return false;
  VXHandle doc = 0;
  if (VXDocumentCreate(database, name.c_str(), &doc) != kVXOk) return false;
  bool ok = ReadItemText(doc, item, 0, value);
  VXDocumentClose(doc, kDiscard);
  return ok;
}

bool ViewActionBar(std::string* out, const ActionContext& context, char letter) {
  std::string text;
  const platform::OpenDatabase* db = context.database;
  if (db != nullptr && db->navigatorForm != 0 && db->navigatorForm != -1) {
    std::string item = std::string("$Corvane_ViewActions_") + letter;
    if (ReadFormItem(db->handle, static_cast<VXNoteId>(db->navigatorForm), item, &text))
      return Expand(out, context, text);
  }
  if (context.shared == nullptr) return false;
  std::string path = context.shared->programDir + "/htmdata/vact_" + letter + ".pro";
  if (!ReadFile(path, &text)) return false;
  return Expand(out, context, text);
}

bool DocumentActionBar(std::string* out, const ActionContext& context, const std::string& name) {
  std::string text;
  if (context.formId != 0 && context.database != nullptr &&
      ReadFormItem(context.database->handle, context.formId, "$Corvane_DocActions_" + name, &text))
    return Expand(out, context, text);
  if (context.shared == nullptr) return false;
  if (!ReadFile(context.shared->programDir + "/htmdata/dact_" + name + ".pro", &text)) return false;
  return Expand(out, context, text);
}

bool CommandPanel(std::string* out, const ActionContext& context) {
  const platform::OpenDatabase* db = context.database;
  if (db == nullptr || db->navigatorForm == -1) return false;
  std::string text;
  if (!ReadFormItem(db->handle, static_cast<VXNoteId>(db->navigatorForm), "CommandPanel", &text))
    return false;
  return Expand(out, context, text);
}

}  // namespace browser
