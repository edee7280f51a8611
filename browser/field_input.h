// The form-input writer: the HTML input that stands for one field of a
// form when a document is edited or composed, named "kvField_" and the
// field name, filled with the document's value. Check boxes are named
// "kvField_KVCHECKBOX_" + field + ":" + keyword and post "on" when checked.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "browser/rich_text_writers.h"
#include "ledra/vx_types.h"

namespace browser {

inline constexpr char kFieldInputPrefix[] = "kvField_";
inline constexpr char kCheckBoxPrefix[] = "KVCHECKBOX_";

// A field's definition on a form, with its keywords read out of the list.
struct FieldDefinition {
  std::string name;
  uint32_t dataType = 0;
  uint32_t flags = 0;
  uint32_t keywordKind = 0;
  uint32_t separatorKind = 0;
  std::string help;
  std::string defaultFormula;
  std::vector<std::string> keywords;
};
inline constexpr uint32_t kFieldDefaultOnCompose = 0x01;
inline constexpr uint32_t kFieldEditable = 0x02;
inline constexpr uint32_t kKeywordsWithNew = 1;
inline constexpr uint32_t kKeywordList = 2;
inline constexpr uint32_t kCheckBoxes = 3;
inline constexpr uint32_t kRadioButtons = 4;

// Reads the field of that name on the form; false when the form has none.
bool FetchField(VXHandle database, VXNoteId form, const std::string& name, FieldDefinition* field);
// True for the list data types 4, 5 and 6.
bool IsListType(uint32_t data_type);

// A document item as text (lists joined by ", ", rich text as its words
// with a line feed between paragraphs); "" when it is missing.
std::string FieldText(VXHandle document, const std::string& name);
// The words of a rich-text item, at most kMaxRichTextAsText bytes.
inline constexpr size_t kMaxRichTextAsText = size_t{4} << 20;
std::string RichTextAsText(VXHandle document, const std::string& name);

// Writes the input of the field into out. The value comes from the
// document; the column count and table-cell flag from the render state
// (the column count returns to 1 after check boxes and radio buttons).
// program_dir_url: the folder the help icon's file:// URL names.
void WriteFieldInput(VXHandle document, const std::string& field_name, RenderState* state,
                     const std::string& program_dir_url, std::string* out);

}  // namespace browser
