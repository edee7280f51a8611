// The small writers of the rich-text renderer, shared with the document
// pages and the form submission: the colour table, the font-run and
// text-run writers, the formula preparation for a page's mode, and the
// compose button.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/database_request.h"
#include "ledra/richtext/records.h"
#include "ledra/vx_types.h"

namespace browser {

// The three kinds of page.
enum class RenderMode : int { kRead = 0, kEdit = 1, kCompose = 2 };

// What a render and every nested render of a rich-text field share, so
// that centring, lists and font styles carry over. A fresh render starts
// with every field 0 (keywordColumns 1).
struct RenderState {
  int32_t hidden = 0;
  int32_t centred = 0;
  int32_t bold = 0, italic = 0, underline = 0, strike = 0, superscript = 0, subscript = 0;
  int32_t inBulletList = 0;
  int32_t inNumberedList = 0;
  int32_t listIndent = 0;
  int32_t indentTableOpen = 0;
  int32_t sizeStep = 0;
  // The keyword layout's column count for the next check-box or radio
  // field, and whether a table cell is open (text areas are narrower
  // there): the field-input writer reads both.
  int32_t keywordColumns = 1;
  int32_t tableCellOpen = 0;
};

// "#rrggbb" of a colour index; "#FFFFFF" for 240 and above.
std::string ColourName(uint32_t index);

// Closes the styles the last font run opened and opens this font's:
// "\n" and the closing text, "\n<FONT size=%c%d color=%s>", the style
// tags, "\n". Appends to *out.
void WriteFontRun(const ledra::richtext::FontId& font, RenderState* state, std::string* out);

// A text run: bytes between "[<" and the next "]" are the document's own
// HTML and pass unchanged (the brackets blanked); the rest is escaped. A
// NUL is the run's line break, "\n<BR>\n".
void WriteTextRun(std::string_view text, std::string* out);

// Rewrites @IsDocBeingEdited, @IsDocBeingLoaded and @IsNewDoc (any case)
// for the mode; another mode leaves the formula unchanged.
std::string PrepareFormula(std::string_view formula, int mode);

// The form a compose formula names: the text between the quotes that
// follow "[Compose];" (after an empty first argument when there is one);
// false when the formula composes nothing.
bool ComposeFormName(std::string_view formula, std::string* form);

// The compose button of a "[Compose];" formula: "<INPUT width=20
// Type=\"button\" ...>" leading to the "C" command with the form and the
// view; nothing when the formula composes nothing or the form or view
// cannot be found. view_id 0: the view of the request's argument 4.
void WriteComposeButton(std::string_view formula, std::string_view label, VXHandle document,
                        const engine::DatabaseRequest& request, VXNoteId view_id, std::string* out);

// Text for a JavaScript string inside an HTML attribute: backslash and the
// quotes are escaped for the script, then the whole is escaped for HTML.
std::string ScriptAttributeText(std::string_view text);

}  // namespace browser
