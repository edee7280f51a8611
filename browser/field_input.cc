// The form-input writer.
#include "browser/field_input.h"

#include <strings.h>

#include <algorithm>

#include "browser/document_ids.h"
#include "common/html_escape.h"
#include "common/text.h"
#include "ledra/vxapi.h"
#include "platform/translate.h"
#include "platform/translate_richtext.h"

namespace browser {

namespace {

using common::Format;
using common::HtmlEscape;

constexpr char kHelpAnchorFormat[] =
    "<A HREF=\"#FieldHelp_%s\" NAME=\"FieldHelp_%s\" "
    "onMouseOver=\"window.status='%s';return true\" "
    "onMouseOut=\"window.status='';return true\"><img border=0 "
    "SRC=\"file://%s/images/c_11.gif\" ALT=\"%s\"></A>\n";
constexpr char kTextAreaFormat[] =
    "<TEXTAREA WRAP=VIRTUAL NAME=\"kvField_%s\" COLS=%d ROWS=%d MAXLENGTH=4096>%s</TEXTAREA>";
constexpr char kPasswordFormat[] =
    "<INPUT TYPE=\"password\" NAME=\"kvField_%s\" VALUE=\"%s\" size=%d MAXLENGTH=4096 >";
constexpr char kTextInputFormat[] =
    "<INPUT NAME=\"kvField_%s\" VALUE=\"%s\" size=%d MAXLENGTH=4096 >";
constexpr char kChoiceTableStart[] = "<TABLE BORDER=0 CELLSPACING=0 CELLPADDING=0><TR><TD>";
constexpr char kChoiceRowEnd[] = "</TD></TR><TR><TD>\n";
constexpr char kChoiceCellEnd[] = "</TD><TD>\n";
constexpr char kChoiceTableEnd[] = "</TD></TR></TABLE>\n";
constexpr char kCheckBoxFormat[] =
    "<INPUT TYPE=\"checkbox\" NAME=\"kvField_KVCHECKBOX_%s:%s\" %s>%s ";
constexpr char kRadioFormat[] = "<INPUT TYPE=\"radio\" NAME=\"kvField_%s\" VALUE=\"%s\" %s>%s";
constexpr char kListTableStart[] = "\n<TABLE BORDER=0 CELLPADDING=0 CELLSPACING=0><TR><TD>";
constexpr char kSelectMultipleFormat[] = "<SELECT MULTIPLE SIZE=5 NAME=\"kvField_%s\">";
constexpr char kSelectFormat[] = "<SELECT NAME=\"kvField_%s\">";
constexpr char kOptionFormat[] = "\n<OPTION %s>%s";
constexpr char kOptionSelectedFormat[] = "\n<OPTION SELECTED>%s";
constexpr char kListInputFormat[] =
    "<INPUT NAME=\"kvField_%s\" size=%d VALUE=\"%s\" MAXLENGTH=4096>";
constexpr char kSelectEnd[] = "</SELECT>\n";
// A single choice with no keyword selected: a browser would post its first
// option, so an empty one stands selected for "no value".
constexpr char kNoOption[] = "\n<OPTION SELECTED VALUE=\"\">";
constexpr char kSelectEndWithNew[] = "</SELECT><BR>\n";
constexpr char kListTableEnd[] = "</TD></TR></TABLE>";
constexpr char kChecked[] = "CHECKED";
constexpr char kSelected[] = "SELECTED";

std::string WithCarriageReturnsBlank(std::string text) {
  std::replace(text.begin(), text.end(), '\r', ' ');
  return text;
}

// The help text for the status line: "'" as "\'" for the script, then
// escaped for the attribute.
std::string HelpText(const std::string& help) {
  std::string text;
  for (char c : help) {
    if (c == '\\' || c == '\'') text.push_back('\\');
    if (c == '\n' || c == '\r') {
      text.push_back(' ');
      continue;
    }
    text.push_back(c);
  }
  return HtmlEscape(text);
}

// Check boxes (kind 3) and radio buttons (kind 4) in C columns.
void WriteChoices(const FieldDefinition& field, const std::string& value, int columns,
                  std::string* out) {
  size_t n = field.keywords.size();
  size_t c = static_cast<size_t>(std::max(columns, 1));
  bool table = n > c;
  if (table) out->append(kChoiceTableStart);
  std::string name = HtmlEscape(field.name);
  for (size_t i = 1; i <= n; ++i) {
    const std::string& keyword = field.keywords[i - 1];
    const char* mark = ListContains(field.separatorKind, keyword, value) ? kChecked : "";
    std::string shown = HtmlEscape(KeywordDisplay(keyword));
    if (field.keywordKind == kCheckBoxes)
      out->append(Format(kCheckBoxFormat, name.c_str(), shown.c_str(), mark, shown.c_str()));
    else
      out->append(Format(kRadioFormat, name.c_str(), shown.c_str(), mark, shown.c_str()));
    if (table) out->append(i % c == 0 ? kChoiceRowEnd : kChoiceCellEnd);
  }
  if (table) out->append(kChoiceTableEnd);
}

// Blanks every occurrence of a selected keyword out of the value, so that
// what stays are the entries that are no keywords.
void BlankOut(std::string* value, std::string_view keyword) {
  if (keyword.empty()) return;
  for (size_t at = value->find(keyword); at != std::string::npos;
       at = value->find(keyword, at + keyword.size()))
    std::fill_n(value->begin() + static_cast<long>(at), keyword.size(), ' ');
}

// Keyword lists (kinds 1 and 2).
void WriteKeywordList(const FieldDefinition& field, std::string value,
                      const std::vector<std::string>& entries, std::string* out) {
  bool with_new = field.keywordKind == kKeywordsWithNew;
  std::string name = HtmlEscape(field.name);
  if (with_new) out->append(kListTableStart);
  size_t width = 8;
  bool keywords = !field.keywords.empty();
  bool select_open = false;
  bool any_selected = false;
  if (keywords) {
    out->append(
        Format(IsListType(field.dataType) ? kSelectMultipleFormat : kSelectFormat, name.c_str()));
    select_open = true;
    std::string original = value;
    for (const std::string& keyword : field.keywords) {
      bool selected = ListContains(field.separatorKind, keyword, original);
      any_selected = any_selected || selected;
      std::string_view shown = KeywordDisplay(keyword);
      out->append(Format(kOptionFormat, selected ? kSelected : "", HtmlEscape(shown).c_str()));
      width = std::max(width, shown.size() + 2);
      if (!selected) continue;
      // Every name of the keyword that stands in the value is blanked.
      std::string_view names = keyword;
      for (size_t start = 0;;) {
        size_t bar = names.find('|', start);
        BlankOut(&value, names.substr(start, bar == names.npos ? names.npos : bar - start));
        if (bar == names.npos) break;
        start = bar + 1;
      }
    }
  } else if (!with_new) {
    out->append(Format(kListInputFormat, name.c_str(), 8, HtmlEscape(value).c_str()));
  }
  if (!with_new) {
    if (keywords) {
      if (!any_selected && !IsListType(field.dataType)) out->append(kNoOption);
      out->append(kSelectEnd);
    }
    return;
  }
  if (!keywords && (!value.empty() || !entries.empty())) {
    out->append(
        Format(IsListType(field.dataType) ? kSelectMultipleFormat : kSelectFormat, name.c_str()));
    select_open = true;
  }
  // The entries left are the values that are no keywords: each stays
  // selected, so that saving keeps it. A list's entries are taken whole
  // (an entry may hold a comma).
  if (!entries.empty()) {
    for (const std::string& entry : entries) {
      bool keyword = false;
      for (const std::string& k : field.keywords)
        keyword = keyword || ListContains(field.separatorKind, k, entry);
      if (keyword || entry.empty()) continue;
      out->append(Format(kOptionSelectedFormat, HtmlEscape(entry).c_str()));
      width = std::max(width, entry.size() + 2);
      any_selected = true;
    }
    value.clear();
  }
  size_t at = 0;
  while (at <= value.size()) {
    size_t comma = value.find(',', at);
    std::string piece =
        value.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
    bool last = comma == std::string::npos;
    if (last) {
      if (!piece.empty() && piece.front() == ' ') piece.erase(0, 1);
      if (!piece.empty() && piece.back() != ' ') {
        out->append(Format(kOptionSelectedFormat, HtmlEscape(piece).c_str()));
        width = std::max(width, piece.size() + 2);
        any_selected = true;
      }
      break;
    }
    if (!piece.empty() && piece.front() != ' ') {
      out->append(Format(kOptionSelectedFormat, HtmlEscape(piece).c_str()));
      width = std::max(width, piece.size() + 2);
      any_selected = true;
    }
    at = comma + 2;  // the character after each comma is skipped
  }
  if (select_open) {
    if (!any_selected && !IsListType(field.dataType)) out->append(kNoOption);
    out->append(kSelectEndWithNew);
  }
  out->append(
      Format(kListInputFormat, name.c_str(), static_cast<int>(std::min<size_t>(width, 80)), ""));
  out->append(kListTableEnd);
}

// A list item's entries as texts; none for a single value.
std::vector<std::string> ListItemEntries(VXHandle document, const FieldDefinition& field) {
  std::vector<std::string> entries;
  uint16_t type = 0;
  uint32_t length = 0, flags = 0;
  if (VXItemGetInfo(document, field.name.c_str(), &type, &length, &flags) != kVXOk ||
      !IsListType(type) ||
      VXItemGetLength(document, field.name.c_str(), kVXTypeTextList, &length) != kVXOk)
    return entries;
  std::string bytes(static_cast<size_t>(length) + 1, '\0');
  uint32_t got = 0;
  if (VXItemFetch(document, field.name.c_str(), kVXTypeTextList, bytes.data(),
                  static_cast<uint32_t>(bytes.size()), &got) != kVXOk)
    return entries;
  bytes.resize(std::min<size_t>(got, length));
  for (size_t at = 0; at < bytes.size();) {
    size_t end = bytes.find('\0', at);
    if (end == std::string::npos) end = bytes.size();
    entries.push_back(bytes.substr(at, end - at));
    at = end + 1;
  }
  return entries;
}

}  // namespace

std::string RichTextAsText(VXHandle document, const std::string& name) {
  VXHandle composite = 0;
  if (platform::wrap::VXCompositeCreate(document, name.c_str(), &composite) != kVXOk) return "";
  // The buffer grows only for texts that fill it.
  std::string text;
  for (size_t size = size_t{64} << 10;; size *= 4) {
    size = std::min(size, kMaxRichTextAsText);
    text.assign(size, '\0');
    uint32_t length = 0;
    if (platform::wrap::VXCompositeListText(composite, text.data(),
                                            static_cast<uint32_t>(text.size()), &length) != kVXOk)
      length = 0;
    text.resize(std::min<size_t>(length, size - 1));
    if (text.size() + 8 < size || size == kMaxRichTextAsText) break;
  }
  VXCompositeClose(composite);
  return text;
}

bool IsListType(uint32_t data_type) {
  return data_type == kVXTypeTextList || data_type == kVXTypeNumberList ||
         data_type == kVXTypeDatetimeList;
}

bool FetchField(VXHandle database, VXNoteId form, const std::string& name, FieldDefinition* field) {
  VXFieldRecord record;
  if (form == 0 || platform::wrap::VXFieldFetch(database, form, name.c_str(), &record) != kVXOk)
    return false;
  field->name = record.name;
  field->dataType = record.data_type;
  field->flags = record.flags;
  field->keywordKind = record.keyword_kind;
  field->separatorKind = record.separator_kind;
  field->help = record.help != nullptr ? record.help : "";
  field->defaultFormula = record.default_formula != nullptr ? record.default_formula : "";
  field->keywords.clear();
  uint32_t count = 0;
  if (record.keywords != 0 && VXTextListGetLength(record.keywords, &count) == kVXOk) {
    for (uint32_t i = 0; i < count && i < 4096; ++i) {
      char text[1024];
      uint32_t length = 0;
      if (platform::wrap::VXTextListFetch(record.keywords, i, text, sizeof text, &length) != kVXOk)
        break;
      field->keywords.emplace_back(text, std::min<size_t>(length, sizeof text - 1));
    }
  }
  return true;
}

std::string FieldText(VXHandle document, const std::string& name) {
  uint16_t type = 0;
  uint32_t length = 0, flags = 0;
  if (VXItemGetInfo(document, name.c_str(), &type, &length, &flags) != kVXOk) return "";
  if (type == kVXTypeRichText) return RichTextAsText(document, name);
  if (VXItemGetLength(document, name.c_str(), kVXTypeText, &length) != kVXOk) return "";
  std::string text(static_cast<size_t>(length) + 1, '\0');
  uint32_t got = 0;
  if (platform::wrap::VXItemFetch(document, name.c_str(), kVXTypeText, text.data(),
                                  static_cast<uint32_t>(text.size()), &got) != kVXOk)
    return "";
  text.resize(std::min<size_t>(got, text.size() - 1));
  return text;
}

void WriteFieldInput(VXHandle document, const std::string& field_name, RenderState* state,
                     const std::string& program_dir_url, std::string* out) {
  VXHandle database = 0;
  int32_t form = 0;
  FieldDefinition field;
  (void)VXDocumentGetProperty(document, kDocPropDatabase, &database, sizeof database);
  (void)VXDocumentGetProperty(document, kDocPropForm, &form, sizeof form);
  // A field the form does not define takes no input (a submission would
  // not store it): its value shows as text.
  if (!FetchField(database, static_cast<VXNoteId>(form), field_name, &field)) {
    field.name = field_name;
    field.flags = 0;
  }
  std::string value = FieldText(document, field.name);
  if ((field.flags & kFieldEditable) == 0) {
    out->append(HtmlEscape(value));
    return;
  }
  std::string name = HtmlEscape(field.name);
  if (!field.help.empty()) {
    std::string help = HelpText(field.help);
    out->append(Format(kHelpAnchorFormat, name.c_str(), name.c_str(), help.c_str(),
                       program_dir_url.c_str(), help.c_str()));
  }
  int cols = state->tableCellOpen != 0 ? 40 : 80;
  switch (field.keywordKind) {
    case 0:
      if (field.dataType == kVXTypeRichText || value.find('\n') != std::string::npos) {
        int rows = field.dataType == kVXTypeRichText ? 10 : 2;
        out->append(Format(kTextAreaFormat, name.c_str(), cols, rows,
                           HtmlEscape(WithCarriageReturnsBlank(value)).c_str()));
      } else {
        std::string escaped = HtmlEscape(value);
        int size = static_cast<int>(std::clamp<size_t>(escaped.size(), 25, 80));
        const char* format =
            strcasecmp(field.name.c_str(), "Password") == 0 ? kPasswordFormat : kTextInputFormat;
        out->append(Format(format, name.c_str(), escaped.c_str(), size));
      }
      break;
    case kCheckBoxes:
    case kRadioButtons:
      WriteChoices(field, value, state->keywordColumns, out);
      state->keywordColumns = 1;
      break;
    case kKeywordsWithNew:
    case kKeywordList:
      WriteKeywordList(field, value, ListItemEntries(document, field), out);
      break;
    default:
      break;
  }
}

}  // namespace browser
