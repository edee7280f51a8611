// Small platform helpers of the database pages.
#include "browser/platform_helpers.h"

#include <unordered_set>

#include "common/html_escape.h"
#include "engine/error_page.h"
#include "platform/translate.h"
#include "platform/translate_views.h"

namespace browser {

std::string ItemText(VXHandle document, const std::string& item) {
  uint32_t length = 0;
  if (VXItemGetLength(document, item.c_str(), kVXTypeText, &length) != kVXOk) return "";
  // Room for the text growing in the conversion back, and its 0.
  std::string text(size_t{length} * 3 + 1, '\0');
  uint32_t got = 0;
  if (platform::wrap::VXItemFetch(document, item.c_str(), kVXTypeText, text.data(),
                                  static_cast<uint32_t>(text.size()), &got) != kVXOk)
    return "";
  text.resize(std::min<size_t>(got, text.size()));
  return text;
}

VXStatus PutTextItem(VXHandle document, const std::string& item, const std::string& value) {
  return platform::wrap::VXItemPut(document, item.c_str(), 0, 0, kVXTypeText, value.c_str(),
                                   static_cast<uint32_t>(value.size()));
}

SaveBatch::SaveBatch(VXHandle database) : database_(database) {
  int32_t one = 1;
  open_ = VXDatabaseSetProperty(database_, kDbPropBatch, &one) == kVXOk;
}

SaveBatch::~SaveBatch() {
  (void)Commit();
}

VXStatus SaveBatch::Commit(bool reopen) {
  VXStatus status = kVXOk;
  if (open_) {
    int32_t zero = 0;
    status = VXDatabaseSetProperty(database_, kDbPropBatch, &zero);
    open_ = false;
  }
  if (reopen) {
    int32_t one = 1;
    open_ = VXDatabaseSetProperty(database_, kDbPropBatch, &one) == kVXOk;
  }
  return status;
}

std::string PlatformErrorText() {
  uint32_t code = 0, detail = 0;
  char text[kVXErrorTextSize * 3 + 1] = {};
  (void)platform::wrap::VXErrorFetch(&code, &detail, text);
  return text;
}

VXStatus SelectDocuments(VXHandle database, const std::string& formula,
                         std::vector<VXNoteId>* ids) {
  ids->clear();
  VXHandle index = 0;
  if (VXStatus status = VXIndexOpen(database, &index); status != kVXOk) return status;
  VXStatus status = platform::wrap::VXIndexSearch(index, formula.c_str(), 0, 0);
  if (status == kVXOk) {
    std::unordered_set<VXNoteId> seen;
    VXNoteId id = 0;
    while (VXIndexNavigate(index, kVXNavNext, 0, &id, nullptr) == kVXOk) {
      if ((id & 0x80000000u) == 0 && seen.insert(id).second) ids->push_back(id);
    }
  }
  (void)VXIndexClose(index);
  return status;
}

std::string FormulaLiteral(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

os::Answer Tell(engine::ThreadHandle& handle, const std::string& text, const std::string& title,
                os::Icon icon, os::Buttons buttons) {
  const os::Window* owner = handle.shared != nullptr ? handle.shared->mainWindow : nullptr;
  return os::MessageBox(owner, text, title, icon, buttons);
}

bool AskYesNo(engine::ThreadHandle& handle, const std::string& text, const std::string& title) {
  return Tell(handle, text, title, os::Icon::kQuestion, os::Buttons::kYesNo) == os::Answer::kYes;
}

void TellPlatformError(engine::ThreadHandle& handle, const std::string& title) {
  (void)Tell(handle, PlatformErrorText(), title, os::Icon::kError);
}

void WriteErrorText(std::FILE* reply, engine::ThreadHandle& handle, const std::string& text) {
  if (reply == nullptr || handle.shared == nullptr) return;
  if (handle.shared->offline != 0) {
    engine::WriteErrorPage(reply, handle);
    return;
  }
  std::string shown = text.empty() ? engine::kNoErrorText : common::HtmlEscape(text);
  std::fprintf(reply, engine::kErrorPageFormat, shown.c_str());
}

}  // namespace browser
