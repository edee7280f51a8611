// The renderer's small writers.
#include "browser/rich_text_writers.h"

#include <strings.h>

#include <algorithm>

#include "common/html_escape.h"
#include "common/text.h"
#include "ledra/vxapi.h"
#include "platform/name_lists.h"
#include "platform/translate.h"

namespace browser {

namespace {

// Sixteen colours a row; indices 0-15 are the text colours.
constexpr const char* kColours[240] = {
    "#000000", "#ffffff", "#ff0000", "#00ff00", "#0000ff", "#ff00ff", "#ffff00", "#00ffff",
    "#800000", "#008000", "#000080", "#800080", "#808000", "#008080", "#808080", "#c0c0c0",
    "#ffffff", "#ffefce", "#ffffc2", "#ffffd0", "#e0ffbf", "#e0ffdf", "#e0ffff", "#c2efff",
    "#e0f1ff", "#e0e0ff", "#e8e0ff", "#f1e0ff", "#ffe0ff", "#ffe0f5", "#ffe0e6", "#ffffff",
    "#ffe1dc", "#ffe1b0", "#ffff80", "#f1f1b4", "#c2ff91", "#c1ffd5", "#c1ffff", "#a1e2ff",
    "#c0e1ff", "#bfbfff", "#d2bfff", "#e1bfff", "#ffc1fd", "#ffc0e4", "#ffc0ce", "#f7f7f7",
    "#ffc0b6", "#ffc281", "#ffff35", "#f1f180", "#80ff80", "#82ffca", "#80ffff", "#82e0ff",
    "#82c0ff", "#9f9fff", "#c29fff", "#e29fff", "#ff9fff", "#ff9fcf", "#ff9fa9", "#efefef",
    "#ff9f9f", "#ff9f71", "#ffff00", "#e0e074", "#41ff32", "#42ffc7", "#42ffff", "#00bfff",
    "#5291ef", "#8080ff", "#c082ff", "#e081ff", "#ff7fff", "#ff82c2", "#ff82a0", "#e1e1e1",
    "#ff8080", "#ff8141", "#ffe118", "#e1e140", "#00ff00", "#00ffb2", "#00ffff", "#00a1e0",
    "#2181ff", "#6181ff", "#a160ff", "#c062ff", "#ff5fff", "#ff60af", "#ff6088", "#d2d2d2",
    "#ff4040", "#ff421e", "#ffbf18", "#e1e100", "#00e100", "#00e1ad", "#00e0e0", "#0082bf",
    "#0080ff", "#4181ff", "#8242ff", "#c140ff", "#ff42f9", "#ff40a0", "#ff4070", "#c0c0c0",
    "#ff1f35", "#ff1f10", "#ff8100", "#bfbf00", "#00c200", "#00c196", "#00c1c2", "#4181c0",
    "#0062e1", "#4141ff", "#4200ff", "#c200ff", "#ff22ff", "#f52b97", "#ff2259", "#b2b2b2",
    "#e01f25", "#e12000", "#e26200", "#a1a100", "#00a000", "#009f82", "#008080", "#0060a0",
    "#0041c2", "#0021bf", "#4100c2", "#8100ff", "#ff00ff", "#ff0080", "#ff0041", "#a2a2a2",
    "#c20000", "#ff0000", "#bf4100", "#808000", "#008000", "#008250", "#006062", "#004080",
    "#001fe2", "#4040c2", "#4000a2", "#6000a1", "#e000e0", "#df007f", "#c20041", "#8f8f8f",
    "#a00000", "#e10000", "#a13f00", "#626200", "#006000", "#00603c", "#004041", "#002f80",
    "#0000ff", "#2020a0", "#2200a1", "#400080", "#a1009f", "#c0007f", "#9f000f", "#808080",
    "#600000", "#c21212", "#824200", "#424200", "#004200", "#004023", "#00323f", "#002060",
    "#0020c2", "#2222c0", "#000080", "#1f007f", "#800080", "#820040", "#800000", "#5f5f5f",
    "#400000", "#a11f12", "#604200", "#212100", "#002100", "#00201f", "#002041", "#00204f",
    "#0000e0", "#0000a1", "#000061", "#1f0062", "#40005f", "#620042", "#620012", "#4f4f4f",
    "#d0b1a1", "#e0a175", "#d2b06a", "#c0c27c", "#82c168", "#81c097", "#7fc2bc", "#71b2cf",
    "#b1b1d2", "#9f9fe0", "#c0a1e0", "#e29fde", "#ef91eb", "#e29fc8", "#f18fbc", "#2f2f2f",
    "#7f604f", "#a16252", "#806210", "#82823f", "#3f621f", "#3c613e", "#37605e", "#104160",
    "#424282", "#6260a1", "#624181", "#603181", "#602162", "#622152", "#813f62", "#000000",
};
constexpr char kBeyondTable[] = "#FFFFFF";

constexpr char kComposeMark[] = "[Compose];";
constexpr char kComposeButtonFormat[] =
    "<INPUT width=20 Type=\"button\" Value=\"%s\" "
    "OnClick=\"parent.location='http://[kv]/%s:/%s:/C/%ld/LR/c/%ld/'\">";

struct StyleTag {
  int32_t RenderState::*flag;
  uint8_t bit;
  const char* open;
  const char* close;
};
constexpr StyleTag kStyleTags[] = {
    {&RenderState::bold, ledra::richtext::kFontBold, "<B>", "</B>"},
    {&RenderState::italic, ledra::richtext::kFontItalic, "<I>", "</I>"},
    {&RenderState::underline, ledra::richtext::kFontUnderline, "<U>", "</U>"},
    {&RenderState::strike, ledra::richtext::kFontStrike, "<S>", "</S>"},
    {&RenderState::superscript, ledra::richtext::kFontSuperscript, "<SUP>", "</SUP>"},
    {&RenderState::subscript, ledra::richtext::kFontSubscript, "<SUB>", "</SUB>"},
};

struct Rewrite {
  const char* from;
  const char* to[3];  // read, edit, compose
};
constexpr Rewrite kRewrites[] = {
    {"@IsDocBeingEdited", {"@FALSE", "@TRUE", "@TRUE"}},
    {"@IsDocBeingLoaded", {"@TRUE", "@TRUE", "@TRUE"}},
    {"@IsNewDoc", {"@FALSE", "@FALSE", "@TRUE"}},
};

// One byte of text escaped as common::HtmlEscape escapes it, appended
// without reserving (a page grows by many small pieces).
void AppendEscapedByte(char c, std::string* out) {
  switch (c) {
    case '&':
      out->append("&amp;");
      break;
    case '<':
      out->append("&lt;");
      break;
    case '>':
      out->append("&gt;");
      break;
    case '"':
      out->append("&quot;");
      break;
    case '\'':
      out->append("&#39;");
      break;
    default:
      out->push_back(c);
  }
}

// Appends one stretch of a run between line breaks: "[<" to the next "]"
// is pass-through HTML, "[" and "]" blanked; a later ">]" before the next
// "[<" extends it (an HTML text that itself held a "]"), its "]" blanked.
// Everything else is escaped; a ">]" there keeps ">" as text.
void AppendRunPiece(std::string_view piece, std::string* out) {
  constexpr size_t npos = std::string_view::npos;
  size_t at = 0;
  while (at < piece.size()) {
    size_t open = piece.find("[<", at);
    std::string_view plain = piece.substr(at, open == npos ? npos : open - at);
    for (size_t i = 0; i < plain.size(); ++i) {
      if (plain[i] == ']' && i > 0 && plain[i - 1] == '>')
        out->push_back(' ');
      else
        AppendEscapedByte(plain[i], out);
    }
    if (open == npos) return;
    out->push_back(' ');
    size_t close = piece.find(']', open + 2);
    if (close == npos) {
      out->append(piece.substr(open + 1));
      return;
    }
    size_t next_open = piece.find("[<", close + 1);
    size_t end = close;
    for (size_t p = piece.find(">]", close + 1); p != npos && (next_open == npos || p < next_open);
         p = piece.find(">]", p + 2))
      end = p + 1;
    for (size_t i = open + 1; i < end; ++i) {
      bool blank = i == close || (piece[i] == ']' && piece[i - 1] == '>');
      out->push_back(blank ? ' ' : piece[i]);
    }
    out->push_back(' ');
    at = end + 1;
  }
}

}  // namespace

std::string ColourName(uint32_t index) {
  if (index >= 240) return kBeyondTable;
  return kColours[index];
}

void WriteFontRun(const ledra::richtext::FontId& font, RenderState* state, std::string* out) {
  char sign = '+';
  int step = 0;
  if (font.size < 10) {
    sign = '-';
    step = std::min(10 - static_cast<int>(font.size), 3);
  } else {
    step = std::min(static_cast<int>(font.size) - 10, 7);
  }
  state->sizeStep = step;
  std::string closing = "</FONT>";
  for (const StyleTag& tag : kStyleTags) {
    if (state->*tag.flag != 0) closing += tag.close;
    state->*tag.flag = 0;
  }
  out->push_back('\n');
  out->append(closing);
  out->append(common::Format("\n<FONT size=%c%d color=%s>", sign, step / 2,
                             ColourName(font.colour & 0x0F).c_str()));
  for (const StyleTag& tag : kStyleTags) {
    if ((font.attributes & tag.bit) == 0) continue;
    out->append(tag.open);
    state->*tag.flag = 1;
  }
  out->push_back('\n');
}

void WriteTextRun(std::string_view text, std::string* out) {
  size_t at = 0;
  for (;;) {
    size_t nul = text.find('\0', at);
    AppendRunPiece(text.substr(at, nul == std::string_view::npos ? text.npos : nul - at), out);
    if (nul == std::string_view::npos) return;
    out->append("\n<BR>\n");
    at = nul + 1;
  }
}

std::string PrepareFormula(std::string_view formula, int mode) {
  if (mode < 0 || mode > 2) return std::string(formula);
  std::string result;
  result.reserve(formula.size());
  size_t at = 0;
  while (at < formula.size()) {
    const Rewrite* hit = nullptr;
    if (formula[at] == '@') {
      for (const Rewrite& r : kRewrites) {
        size_t n = std::char_traits<char>::length(r.from);
        if (formula.size() - at >= n && strncasecmp(formula.data() + at, r.from, n) == 0) {
          hit = &r;
          break;
        }
      }
    }
    if (hit == nullptr) {
      result.push_back(formula[at++]);
      continue;
    }
    result.append(hit->to[mode]);
    at += std::char_traits<char>::length(hit->from);
  }
  return result;
}

bool ComposeFormName(std::string_view formula, std::string* form) {
  size_t mark = formula.find(kComposeMark);
  if (mark == std::string_view::npos) return false;
  size_t from = mark + sizeof kComposeMark - 1;  // after the first ";"
  std::string_view rest = formula.substr(from);
  if (rest.find(';') != std::string_view::npos) {
    size_t empty = rest.find("\"\";");
    if (empty != std::string_view::npos) rest = rest.substr(empty + 3);
  }
  size_t q1 = rest.find('"');
  if (q1 == std::string_view::npos) return false;
  size_t q2 = rest.find('"', q1 + 1);
  if (q2 == std::string_view::npos) return false;
  *form = std::string(rest.substr(q1 + 1, q2 - q1 - 1));
  return !form->empty();
}

std::string ScriptAttributeText(std::string_view text) {
  std::string script;
  for (char c : text) {
    if (c == '\\' || c == '\'' || c == '"') script.push_back('\\');
    if (c == '\n' || c == '\r') continue;
    script.push_back(c);
  }
  return common::HtmlEscape(script);
}

void WriteComposeButton(std::string_view formula, std::string_view label, VXHandle document,
                        const engine::DatabaseRequest& request, VXNoteId view_id,
                        std::string* out) {
  std::string form_name;
  if (!ComposeFormName(formula, &form_name)) return;
  VXHandle database = 0;
  if (VXDocumentGetProperty(document, kDocPropDatabase, &database, sizeof database) != kVXOk ||
      database == 0)
    return;
  if (view_id == 0 && request.argument4.has_value() && !request.argument4->empty()) {
    view_id = platform::LocateViewOrFolder(database, *request.argument4);
    if (view_id == 0) view_id = platform::ViewIdFromText(database, *request.argument4);
  }
  if (view_id == 0) return;
  std::string path = request.database.value_or("");
  std::replace(path.begin(), path.end(), '\\', '/');
  VXNoteId form = platform::wrap::VXFormLocateByName(database, form_name.c_str());
  if (form == 0) return;
  out->append(common::Format(kComposeButtonFormat, common::HtmlEscape(label).c_str(),
                             ScriptAttributeText(request.server.value_or("")).c_str(),
                             ScriptAttributeText(path).c_str(), static_cast<long>(form),
                             static_cast<long>(view_id)));
}

}  // namespace browser
