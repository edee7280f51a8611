// Form submission: the posted fields, saving, the two POST commands.
#include "browser/form_submit.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "browser/command_dispatch.h"
#include "browser/document_ids.h"
#include "browser/document_pages.h"
#include "browser/field_defaults.h"
#include "browser/field_input.h"
#include "browser/navigator.h"
#include "browser/rich_text_writers.h"
#include "common/reply_forms.h"
#include "common/text.h"
#include "engine/request_entry.h"
#include "ledra/datetime.h"
#include "ledra/richtext/records.h"
#include "ledra/richtext/status.h"
#include "ledra/richtext/vx_composite.h"
#include "ledra/vxapi.h"
#include "os/desktop.h"
#include "platform/translate.h"
#include "platform/translate_richtext.h"

namespace browser {

namespace {

namespace rt = ledra::richtext;
using common::Format;
using pages::Reply;
using pages::Text;

constexpr char kParentUnid[] = "$$PARENTUNID";
constexpr char kRefUnid[] = "$$REFUNID";
constexpr char kUserName[] = "@UserName";
constexpr char kOldUserName[] = "@V3UserName";
constexpr char kOn[] = "on";
constexpr uint32_t kReadOnly = 1;
constexpr uint32_t kSaveFlags = 0x10000;
constexpr uint32_t kValidationMessageSize = 256;

// One field of the form as the body posted it.
struct Posted {
  FieldDefinition field;
  bool multi = false;
  std::vector<std::string> values;  // alias where the keyword has one
  std::vector<std::string> raw;     // as posted
};

std::string WithoutCr(std::string text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out.push_back(text[i]);
  }
  return out;
}

std::string NoLineEnds(std::string text) {
  text.erase(
      std::remove_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }),
      text.end());
  return text;
}

std::vector<std::string> StoredEntries(VXHandle document, const std::string& name) {
  std::vector<std::string> entries;
  uint32_t length = 0;
  if (VXItemGetLength(document, name.c_str(), kVXTypeTextList, &length) != kVXOk) return entries;
  std::string bytes(static_cast<size_t>(length) + 1, '\0');
  uint32_t got = 0;
  if (VXItemFetch(document, name.c_str(), kVXTypeTextList, bytes.data(),
                  static_cast<uint32_t>(bytes.size()), &got) != kVXOk)
    return entries;
  bytes.resize(std::min<size_t>(got, length));
  size_t at = 0;
  while (at < bytes.size()) {
    size_t end = bytes.find('\0', at);
    if (end == std::string::npos) end = bytes.size();
    entries.push_back(bytes.substr(at, end - at));
    at = end + 1;
  }
  return entries;
}

// The entries of a list field: a value that is a keyword or an entry the
// item holds stays whole (an option of the page); any other (typed in) is
// split at the field's separator, blanks trimmed.
std::vector<std::string> ListEntries(const std::vector<std::string>& values,
                                     const FieldDefinition& field,
                                     const std::vector<std::string>& stored) {
  char separator = SeparatorOfKind(field.separatorKind);
  if (separator == '\0' || separator == ' ') separator = ',';
  std::vector<std::string> entries;
  for (const std::string& value : values) {
    bool whole = std::find(stored.begin(), stored.end(), value) != stored.end();
    for (const std::string& keyword : field.keywords)
      whole = whole || value == KeywordDisplay(keyword) || value == KeywordAlias(keyword);
    if (whole) {
      entries.push_back(value);
      continue;
    }
    size_t at = 0;
    while (at <= value.size()) {
      size_t end = value.find(separator, at);
      if (end == std::string::npos) end = value.size();
      std::string entry = value.substr(at, end - at);
      size_t first = entry.find_first_not_of(' ');
      size_t last = entry.find_last_not_of(' ');
      if (first != std::string::npos) entries.push_back(entry.substr(first, last - first + 1));
      at = end + 1;
    }
  }
  return entries;
}

bool SameEntries(std::vector<std::string> a, std::vector<std::string> b) {
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  return a == b;
}

// Whether what was posted is what the edit page showed for the stored item.
bool Unchanged(VXHandle document, const Posted& p) {
  const std::string& name = p.field.name;
  if (p.multi) {
    std::vector<std::string> stored = StoredEntries(document, name);
    // A list in one text input comes back as the text it showed.
    if (p.raw.size() == 1 && p.raw.front() == FieldText(document, name)) return true;
    return SameEntries(ListEntries(p.values, p.field, stored), stored) ||
           SameEntries(ListEntries(p.raw, p.field, stored), stored);
  }
  std::string shown = FieldText(document, name);
  std::replace(shown.begin(), shown.end(), '\r', ' ');
  for (const std::string* posted : {&p.values.front(), &p.raw.front()}) {
    std::string value = WithoutCr(*posted);
    // A text area drops a line feed that starts its text; an input drops
    // every line end.
    if (value == shown || (!shown.empty() && shown[0] == '\n' && value == shown.substr(1)) ||
        value == NoLineEnds(shown))
      return true;
  }
  return false;
}

// Any record a text item cannot hold: the field's rich text would lose it.
bool HasRichElements(VXHandle document, const std::string& name) {
  uint16_t type = 0;
  uint32_t length = 0, flags = 0;
  if (VXItemGetInfo(document, name.c_str(), &type, &length, &flags) != kVXOk ||
      type != kVXTypeRichText)
    return false;
  VXHandle composite = 0;
  if (platform::wrap::VXCompositeCreate(document, name.c_str(), &composite) != kVXOk) return true;
  uint32_t count = 0;
  bool rich = VXCDRecordCount(composite, &count) != kVXOk;
  for (uint32_t n = 1; n <= count && !rich; ++n) {
    uint16_t kind = 0;
    uint32_t size = 0;
    const void* pointer = nullptr;
    if (VXCDRecordGetInfo(composite, n, &kind, &size, nullptr) != kVXOk ||
        platform::wrap::VXCDRecordGetPointer(composite, n, &pointer, &size) != kVXOk) {
      rich = true;
      break;
    }
    if (kind == rt::kKindParagraphStyle || kind == rt::kKindStyleRef ||
        kind == rt::kKindParagraphBreak)
      continue;
    if (kind != rt::kKindTextRun) {
      rich = true;
      break;
    }
    rt::TextRun run;
    if (rt::DecodeTextRun(rt::ByteSpan(static_cast<const uint8_t*>(pointer), size), &run) !=
            rt::kRtOk ||
        !(run.font == rt::FontId{}))
      rich = true;
  }
  VXCompositeClose(composite);
  return rich;
}

VXStatus PutText(VXHandle document, const std::string& name, const std::string& text) {
  return platform::wrap::VXItemPut(document, name.c_str(), 0, 0, kVXTypeText, text.data(),
                                   static_cast<uint32_t>(text.size()));
}

// A rich-text field saved as text: the text item becomes rich text again
// by writing back its first paragraph style.
VXStatus PutRichText(VXHandle document, const std::string& name, const std::string& text) {
  if (VXStatus s = PutText(document, name, text); s != kVXOk) return s;
  VXHandle composite = 0;
  if (VXStatus s = platform::wrap::VXCompositeCreate(document, name.c_str(), &composite);
      s != kVXOk)
    return s;
  uint32_t count = 0;
  VXStatus status = VXCDRecordCount(composite, &count);
  for (uint32_t n = 1; status == kVXOk && n <= count; ++n) {
    uint16_t kind = 0;
    uint32_t size = 0;
    const void* pointer = nullptr;
    if (VXCDRecordGetInfo(composite, n, &kind, &size, nullptr) != kVXOk ||
        kind != rt::kKindParagraphStyle)
      continue;
    if ((status = platform::wrap::VXCDRecordGetPointer(composite, n, &pointer, &size)) != kVXOk)
      break;
    std::string content(static_cast<const char*>(pointer), size);
    status = VXCDRecordUpdate(composite, n, content.data(), size);
    break;
  }
  VXCompositeClose(composite);
  return status;
}

// One value converted to a number or a date-time; false when it is none.
bool Convert(const std::string& text, uint16_t type, std::string* bytes) {
  size_t size = type == kVXTypeNumber ? sizeof(double) : sizeof(ledra::Datetime);
  bytes->assign(size, '\0');
  uint32_t written = 0;
  if (text.empty() || VXConvert(kVXTypeText, static_cast<uint32_t>(text.size()), text.data(), type,
                                static_cast<uint32_t>(size), bytes->data(), &written) != kVXOk)
    return false;
  return true;
}

// Stores the posted value in the field's type.
VXStatus Store(VXHandle document, const Posted& p) {
  const FieldDefinition& f = p.field;
  const std::string& name = f.name;
  if (f.dataType == kVXTypeRichText)
    return PutRichText(document, name, WithoutCr(p.values.front()));
  if (IsListType(f.dataType)) {
    std::vector<std::string> entries = ListEntries(p.values, f, StoredEntries(document, name));
    std::string bytes;
    uint16_t type = static_cast<uint16_t>(f.dataType);
    for (const std::string& entry : entries) {
      if (type == kVXTypeTextList) {
        bytes += entry;
        bytes.push_back('\0');
        continue;
      }
      std::string one;
      if (!Convert(entry, type == kVXTypeNumberList ? kVXTypeNumber : kVXTypeDatetime, &one)) {
        // An entry that is no number or date keeps the whole list as text.
        type = kVXTypeTextList;
        bytes.clear();
        for (const std::string& e : entries) {
          bytes += e;
          bytes.push_back('\0');
        }
        break;
      }
      bytes += one;
    }
    return VXItemPut(document, name.c_str(), 0, 0, type, bytes.data(),
                     static_cast<uint32_t>(bytes.size()));
  }
  if (p.multi) {
    char separator = SeparatorOfKind(f.separatorKind);
    if (separator == '\0') separator = ',';
    std::string joined;
    for (const std::string& value : p.values) {
      if (!joined.empty()) joined.push_back(separator);
      joined += value;
    }
    return PutText(document, name, joined);
  }
  std::string value = WithoutCr(p.values.empty() ? std::string() : p.values.front());
  if (f.dataType == kVXTypeNumber || f.dataType == kVXTypeDatetime) {
    std::string bytes;
    uint16_t type = static_cast<uint16_t>(f.dataType);
    if (Convert(value, type, &bytes))
      return VXItemPut(document, name.c_str(), 0, 0, type, bytes.data(),
                       static_cast<uint32_t>(bytes.size()));
  }
  return PutText(document, name, value);
}

// The default formulas of the form's fields marked 0x01, evaluated on the
// parent (or reference) document, go into the submitted document.
void ParentDefaults(VXHandle database, VXHandle document, VXNoteId form, const std::string& text,
                    bool parent) {
  VXUnid unid;
  if (!TextToUnid(text, &unid)) return;
  VXNoteId id = VXDocumentLocateByUnid(database, &unid);
  VXHandle source = 0;
  if (id == 0 || VXDocumentOpen(database, id, kReadOnly, &source) != kVXOk) return;
  int32_t one = 1;
  (void)VXDatabaseSetProperty(database, kDbPropFreshReads, &one);
  char name[kVXNameSize] = {};
  std::vector<std::string> names;
  for (uint32_t code = kVXListFirst;
       platform::wrap::VXFieldList(database, form, code, name, sizeof name) == kVXOk;
       code = kVXListNext)
    names.emplace_back(name);
  for (const std::string& field_name : names) {
    FieldDefinition field;
    if (!FetchField(database, form, field_name, &field) ||
        (field.flags & kFieldDefaultOnCompose) == 0)
      continue;
    std::string formula = PrepareFormula(SubmissionDefaultFormula(field.defaultFormula), 1);
    if (VXDocumentExecute(source, formula.c_str(), static_cast<uint32_t>(formula.size()), 0) ==
        kVXOk)
      (void)StoreExecuteResult(source, document, field.name);
  }
  VXDocumentClose(source, kVXCloseDiscard);
  if (parent) (void)VXDocumentSetProperty(document, kDocPropParent, &unid);
}

std::string ErrorText() {
  uint32_t code = 0, detail = 0;
  char text[kVXErrorTextSize] = {};
  (void)platform::wrap::VXErrorFetch(&code, &detail, text);
  return text;
}

void Show(const std::string& text, const char* title, os::Icon icon) {
  (void)os::MessageBox(nullptr, text, title, icon, os::Buttons::kOk);
}

bool Ask(const char* text, os::Buttons buttons) {
  os::Answer answer = os::MessageBox(nullptr, text, kQuestionTitle, os::Icon::kQuestion, buttons);
  return answer == os::Answer::kYes || answer == os::Answer::kOk;
}

void RefreshViews(platform::OpenDatabase& db) {
  for (auto& view : db.viewRecords)
    if (view->index != 0) (void)VXIndexRefresh(view->index);
}

// The body of the request, refused with a reply when it cannot be taken.
bool TakeBody(const engine::DatabaseRequest& request, Reply* reply, std::vector<FormPair>* pairs) {
  std::string_view body;
  if (request.entry != nullptr) body = RequestBody(request.entry->rawRequest);
  if (body.size() > kMaxFormBody) {
    reply->out = kFormTooLarge;
    return false;
  }
  std::string error;
  if (!ReadFormPairs(body, pairs, &error)) {
    reply->out = Format(kFormRefusedFormat, error.c_str());
    return false;
  }
  return true;
}

// No line end of a request may end up in a reply header.
std::string HeaderText(const std::string& text) {
  return NoLineEnds(text);
}

void SavedRedirect(const engine::DatabaseRequest& request, Reply* reply) {
  std::string back = Text(request.returnUrl);
  if (!back.empty()) {
    reply->out = Format(common::kReplySubmittedFormat, HeaderText(back).c_str());
    return;
  }
  std::string database = Text(request.database);
  std::replace(database.begin(), database.end(), '\\', '/');
  reply->out = Format(kSavedRedirectFormat, HeaderText(Text(request.server)).c_str(),
                      HeaderText(database).c_str(), HeaderText(Text(request.argument4)).c_str(),
                      HeaderText(Text(request.argument2)).c_str());
}

struct Installer {
  Installer() {
    Handlers().editSubmit = SubmitEditedDocument;
    Handlers().composeSubmit = SubmitNewDocument;
  }
} installer;

}  // namespace

std::string SubmissionDefaultFormula(const std::string& formula) {
  if (formula.empty()) return kUserName;
  std::string result;
  size_t n = sizeof kOldUserName - 1;
  for (size_t at = 0; at < formula.size();) {
    if (formula.size() - at >= n && strncasecmp(formula.c_str() + at, kOldUserName, n) == 0) {
      result += kUserName;
      at += n;
    } else {
      result.push_back(formula[at++]);
    }
  }
  return result;
}

VXNoteId SaveSubmittedDocument(engine::ThreadHandle& handle, platform::OpenDatabase& db,
                               VXHandle document, const std::vector<FormPair>& pairs) {
  (void)handle;
  VXHandle database = db.handle;
  int32_t one = 1;
  (void)VXDocumentSetProperty(document, kDocPropSummary, &one);
  int32_t form_id = 0;
  (void)VXDocumentGetProperty(document, kDocPropForm, &form_id, sizeof form_id);
  VXNoteId form = static_cast<VXNoteId>(form_id);

  std::vector<Posted> posted;
  size_t prefix = std::strlen(kFieldInputPrefix);
  size_t box_prefix = std::strlen(kCheckBoxPrefix);
  for (const FormPair& pair : pairs) {
    bool parent = strcasecmp(pair.name.c_str(), kParentUnid) == 0;
    if (parent || strcasecmp(pair.name.c_str(), kRefUnid) == 0) {
      if (!pair.value.empty()) ParentDefaults(database, document, form, pair.value, parent);
      continue;
    }
    if (!common::StartsWithNoCase(pair.name, kFieldInputPrefix)) continue;
    std::string name = pair.name.substr(prefix);
    std::string value = pair.value;
    bool box = false;
    if (common::StartsWithNoCase(name, kCheckBoxPrefix) && value == kOn) {
      std::string rest = name.substr(box_prefix);
      size_t colon = rest.find(':');
      if (colon == std::string::npos) continue;
      name = rest.substr(0, colon);
      value = rest.substr(colon + 1, rest.find('\n', colon + 1) - colon - 1);
      box = true;
    }
    auto entry = std::find_if(posted.begin(), posted.end(), [&](const Posted& p) {
      return strcasecmp(p.field.name.c_str(), name.c_str()) == 0;
    });
    if (entry == posted.end()) {
      Posted p;
      // Only the form's editable fields take values.
      if (!FetchField(database, form, name, &p.field) || (p.field.flags & kFieldEditable) == 0)
        continue;
      posted.push_back(std::move(p));
      entry = posted.end() - 1;
    }
    Posted& p = *entry;
    std::string mapped = value;
    for (const std::string& keyword : p.field.keywords) {
      if (!ListContains(p.field.separatorKind, keyword, value)) continue;
      std::string_view alias = KeywordAlias(keyword);
      if (!alias.empty()) mapped = std::string(alias);
      break;
    }
    p.multi = p.multi || box || p.field.keywordKind == kCheckBoxes || IsListType(p.field.dataType);
    if (p.multi) {
      if (mapped.empty()) continue;
      p.values.push_back(mapped);
      p.raw.push_back(value);
    } else if (p.values.empty() || !mapped.empty()) {
      p.values = {mapped};
      p.raw = {value};
    }
  }

  bool lossy = false;
  bool stored = true;
  for (const Posted& p : posted) {
    if (!p.multi && p.values.empty()) continue;
    if (Unchanged(document, p)) continue;
    if (p.field.dataType == kVXTypeRichText && HasRichElements(document, p.field.name))
      lossy = true;
    if (Store(document, p) != kVXOk) stored = false;
  }

  bool saved = false;
  char message[kValidationMessageSize] = {};
  if (!stored) {
    Show(ErrorText(), kSaveErrorTitle, os::Icon::kError);
  } else if (VXDocumentValidate(document, message, sizeof message) != kVXOk) {
    Show(Format(kValidationFailedFormat, message), kValidationTitle, os::Icon::kError);
  } else if (lossy && !Ask(kRichTextQuestion, os::Buttons::kOkCancel)) {
    // The user keeps the rich text: nothing is saved.
  } else if (VXDocumentSave(document, kSaveFlags) != kVXOk) {
    Show(ErrorText(), kSaveErrorTitle, os::Icon::kError);
  } else {
    saved = true;
  }
  VXNoteId note = 0;
  if (saved) {
    int32_t id = 0;
    (void)VXDocumentGetProperty(document, kDocPropNoteId, &id, sizeof id);
    note = static_cast<VXNoteId>(id);
    VXDesignRecord descriptor;
    if (form != 0 && platform::wrap::VXFormFetch(database, form, &descriptor) == kVXOk &&
        (descriptor.flags & kVXFormMailAfterSave) != 0 && Ask(kMailQuestion, os::Buttons::kYesNo)) {
      if (VXMailSend(document, 0) != kVXOk) {
        Show(ErrorText(), kMailErrorTitle, os::Icon::kError);
      } else {
        Show(kMailSent, kQuestionTitle, os::Icon::kInformation);
        ledra::Datetime now;
        // The posting date is kept: the document is saved once more.
        if (VXDatetimeNow(&now) == kVXOk &&
            VXItemPut(document, kPostedDateItem, 0, 0, kVXTypeDatetime, &now, sizeof now) == kVXOk)
          (void)VXDocumentSave(document, kSaveFlags);
      }
    }
  }
  VXDocumentClose(document, kVXCloseDiscard);
  RefreshViews(db);
  return note;
}

int SubmitEditedDocument(const std::string& reply_path, engine::DatabaseRequest& request,
                         engine::ThreadHandle& handle) {
  Reply reply(reply_path);
  std::vector<FormPair> pairs;
  if (!TakeBody(request, &reply, &pairs)) return 1;
  platform::OpenDatabase* db = OpenRequestDatabase(handle, request);
  if (db == nullptr || db->handle == 0) {
    reply.ErrorPage(handle);
    return 1;
  }
  VXNoteId note = NoteIdFromText(db->handle, Text(request.argument1));
  VXHandle document = 0;
  if (note == 0 || VXDocumentOpen(db->handle, note, 0, &document) != kVXOk) {
    reply.ErrorPage(handle);
    return 1;
  }
  if (SaveSubmittedDocument(handle, *db, document, pairs) != 0)
    SavedRedirect(request, &reply);
  else
    reply.out = kEditNotSaved;
  return 1;
}

int SubmitNewDocument(const std::string& reply_path, engine::DatabaseRequest& request,
                      engine::ThreadHandle& handle) {
  Reply reply(reply_path);
  std::vector<FormPair> pairs;
  if (!TakeBody(request, &reply, &pairs)) return 1;
  platform::OpenDatabase* db = OpenRequestDatabase(handle, request);
  if (db == nullptr || db->handle == 0) {
    reply.ErrorPage(handle);
    return 1;
  }
  VXHandle database = db->handle;
  VXNoteId form = FormFromText(database, Text(request.argument1));
  pages::DesignGuard(database, 0);
  VXDesignRecord descriptor;
  VXHandle scratch = 0, document = 0;
  if (platform::wrap::VXFormFetch(database, form, &descriptor) != kVXOk ||
      VXDocumentCreate(database, descriptor.full_name, &scratch) != kVXOk) {
    pages::DesignGuard(database, 1);
    reply.ErrorPage(handle);
    return 1;
  }
  int32_t one = 1;
  (void)VXDocumentSetProperty(scratch, kDocPropSummary, &one);
  if (VXDocumentCreate(database, descriptor.full_name, &document) != kVXOk) {
    VXDocumentClose(scratch, kVXCloseDiscard);
    pages::DesignGuard(database, 1);
    reply.ErrorPage(handle);
    return 1;
  }
  pages::DesignGuard(database, 1);
  (void)VXDatabaseSetProperty(database, kDbPropFreshReads, &one);
  char name[kVXNameSize] = {};
  std::vector<std::string> names;
  for (uint32_t code = kVXListFirst;
       platform::wrap::VXFieldList(database, form, code, name, sizeof name) == kVXOk;
       code = kVXListNext)
    names.emplace_back(name);
  for (const std::string& field_name : names) {
    FieldDefinition field;
    if (!FetchField(database, form, field_name, &field) ||
        (field.flags & kFieldDefaultOnCompose) == 0)
      continue;
    std::string formula = PrepareFormula(SubmissionDefaultFormula(field.defaultFormula), 2);
    if (VXDocumentExecute(scratch, formula.c_str(), static_cast<uint32_t>(formula.size()), 0) !=
        kVXOk)
      continue;
    (void)StoreExecuteResult(scratch, scratch, field.name);
    (void)StoreExecuteResult(scratch, document, field.name);
  }
  VXDocumentClose(scratch, kVXCloseDiscard);
  if (SaveSubmittedDocument(handle, *db, document, pairs) != 0)
    SavedRedirect(request, &reply);
  else
    reply.out = kComposeNotSaved;
  pages::DesignGuard(database, 1);
  return 1;
}

}  // namespace browser
