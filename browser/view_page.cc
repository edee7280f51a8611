// The page of a view: a <PRE> block of rows between the top and bottom
// action bars. Each row is its column values padded to the column widths,
// preceded by the trash mark, the check box and the expand/collapse icon,
// and made into a link. The row text is not HTML-escaped: text between
// "[<" and "]" in a value reaches the page as HTML.
#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "browser/action_context.h"
#include "browser/position_walk.h"
#include "browser/template_expander.h"
#include "browser/template_sources.h"
#include "browser/view_command.h"
#include "browser/view_sets.h"
#include "common/html_escape.h"
#include "common/reply_forms.h"
#include "common/text.h"

namespace browser {

namespace {

constexpr size_t kRowSize = 4096;
constexpr VXNoteId kCategoryId = 0xFFFFFFFFu;
constexpr int kIndentStep = 6;
constexpr long kLastIcon = 168;

struct Step {
  uint32_t code;
  uint32_t mode;
};
constexpr Step kReadCurrent{6, 0};
constexpr Step kNextRow{0, 0};

using common::Format;

// A piece of a URL written inside a JavaScript string inside a <script>
// element: the characters that could end either string or the element are
// percent-encoded, which the URL's reader decodes back.
std::string ScriptUrlText(std::string_view text) {
  std::string out;
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || c == '\'' || c == '"' || c == '\\' || c == '<' || c == '>' || c == '%') {
      out += Format("%%%02X", byte);
    } else {
      out += c;
    }
  }
  return out;
}

// "[<" loses its "[" and the next "]" after it; ">]" loses its "]".
void CleanValue(char* value, size_t length) {
  for (size_t i = 0; i + 1 < length; ++i) {
    if (value[i] == '[' && value[i + 1] == '<') {
      value[i] = ' ';
      for (size_t j = i + 2; j < length; ++j) {
        if (value[j] == ']') {
          value[j] = ' ';
          break;
        }
      }
    }
  }
  for (size_t i = 0; i + 1 < length; ++i)
    if (value[i] == '>' && value[i + 1] == ']') value[i + 1] = ' ';
}

struct Row {
  bool found = false;
  VXNoteId id = 0;  // 0 for a category row
  std::string text;
};

// Reads the row the step reaches into the 4096-byte row buffer.
Row BuildRow(platform::ViewRecord& view, Step step, const std::string& program_dir_url) {
  Row row;
  VXNoteId id = 0;
  VXRowInfo info;
  if (VXIndexNavigate(view.index, step.code, step.mode, &id, &info) != kVXOk) return row;
  bool category = id == kCategoryId;
  // A category's level is its depth; a document's its depth among responses.
  uint32_t level = category ? info.level : info.response_level;
  bool response = !category && id != 0 && level != 0;
  std::string indent(static_cast<size_t>(level) * kIndentStep, ' ');
  char buffer[kRowSize];
  std::memset(buffer, ' ', sizeof buffer);
  size_t offset = 0, previous = 0, end = 0;
  for (uint32_t c = 1; c <= view.columnCount; ++c) {
    if (c > 1) {
      size_t width = view.columnWidths[c - 2];
      if (previous <= width) {
        offset = std::min(offset + width, kRowSize - 1);
        end = std::max(end, offset);
      } else if (category) {
        offset += previous;
      }
    }
    if (!indent.empty() && ((category && c == 1) || (response && c == view.responseColumn))) {
      size_t n = std::min(indent.size(), kRowSize - 1 - offset);
      std::memcpy(buffer + offset, indent.data(), n);
      offset += n;
      end = std::max(end, offset);
    }
    size_t width = view.columnWidths[c - 1];
    size_t room = width;
    if (category || (response && c == view.responseColumn) || width + offset >= kRowSize)
      room = kRowSize - 1 - offset;
    if (!category && view.iconFlags[c - 1] != 0) {
      char scratch[5] = {};
      uint32_t length = 0;
      if (VXViewcellFetch(view.index, c, scratch, sizeof scratch, &length) != kVXOk) return row;
      if (std::atol(scratch) > kLastIcon) scratch[0] = '\0';
      std::string image = Format("<IMG BORDER=0 SRC=\"file://%s/images/c_%s.gif\">",
                                 program_dir_url.c_str(), scratch);
      size_t n = std::min(image.size(), kRowSize - 1 - offset);
      std::memcpy(buffer + offset, image.data(), n);
      offset += n;
      end = std::max(end, offset);
      previous = 0;
    } else {
      uint32_t length = 0;
      char value[kRowSize] = {};
      if (VXViewcellFetch(view.index, c, value, static_cast<uint32_t>(room + 1), &length) != kVXOk)
        return row;
      length = static_cast<uint32_t>(std::min<size_t>(length, room));
      CleanValue(value, length);
      std::memcpy(buffer + offset, value, length);
      end = std::max(end, offset + length);
      previous = length;
    }
    if (response && c == view.responseColumn) break;
  }
  row.found = true;
  row.id = category ? 0 : id;
  row.text.assign(buffer, std::min(end, kRowSize - 1));
  return row;
}

size_t LeadingBlanks(const std::string& text) {
  size_t n = 0;
  while (n < text.size() && text[n] == ' ') ++n;
  return n;
}

void ExpandLink(ViewRequest& v, const std::string& indent_first, bool collapsed,
                const std::string& q, const std::string& url) {
  const char* srv = v.html.server.c_str();
  const char* db = v.html.database.c_str();
  const char* a1 = v.html.argument1.c_str();
  std::string top_text = common::HtmlEscape(v.view.topPosition);
  const char* top = top_text.c_str();
  v.out += indent_first;
  if (collapsed) {
    v.out += Format(
        "<A TARGET=\"kvViewBodyFrame\" NAME=\"Xc%s\" "
        "HREF=\"http://[kv]/%s:/%s:/V/%s/Xo%s/%s/%s/#Xo%s\" "
        "OnMouseOut=\"return kvJS_Out();\" OnMouseOver=\"return kvJS_Over('Click to EXPAND');\">",
        q.c_str(), srv, db, a1, q.c_str(), top, q.c_str(), q.c_str());
  } else {
    v.out += Format(
        "<A TARGET=\"kvViewBodyFrame\" NAME=\"Xo%s\" "
        "HREF=\"http://[kv]/%s:/%s:/V/%s/Xc%s/%s/%s/#Xc%s\" "
        "OnMouseOut=\"return kvJS_Out();\" OnMouseOver=\"return kvJS_Over('Click to COLLAPSE');\">",
        q.c_str(), srv, db, a1, q.c_str(), top, q.c_str(), q.c_str());
  }
  (void)url;
}

// Rows of the page; returns the number shown.
uint32_t WriteRows(ViewRequest& v, bool full_text) {
  platform::ViewRecord& view = v.view;
  const std::string& dir = v.handle.shared->programDirUrl;
  const char* srv = v.html.server.c_str();
  const char* db = v.html.database.c_str();
  const char* a1 = v.html.argument1.c_str();
  const std::string top_text = common::HtmlEscape(view.topPosition);
  uint32_t lines = Page().linesPerPage;
  Step step = kReadCurrent;
  uint32_t count = 0;
  while (count < lines) {
    Row row = BuildRow(view, step, dir);
    if (!row.found) break;
    if (count == 0) {
      std::string position = CurrentPosition(view.index);
      if (InsideCollapsedCategory(view, &position) && SetPosition(view.index, position)) {
        row = BuildRow(view, kReadCurrent, dir);
        if (!row.found) break;
      }
    }
    ++count;
    step = kNextRow;
    bool skip_children = false;
    std::string q = CurrentPosition(view.index);
    std::string indent(LeadingBlanks(row.text), ' ');
    std::string text = row.text.substr(indent.size());
    if (row.id == 0) {
      bool collapsed = IsCollapsed(view, q);
      ExpandLink(v, "", collapsed, q, "");
      v.out += Format(collapsed ? "    %s<IMG BORDER=0 SRC=\"file://%s/images/smclsdtw.gif\" "
                                  "ALT=\"Click to EXPAND\"></A> "
                                : "    %s<IMG BORDER=0 SRC=\"file://%s/images/smopentw.gif\" "
                                  "ALT=\"Click to COLLAPSE\"></A> ",
                      indent.c_str(), dir.c_str());
      skip_children = collapsed;
      v.out += Format("<FONT SIZE=+1><B>%s</B><FONT SIZE=+0>\n", text.c_str());
    } else {
      long d = static_cast<long>(row.id);
      const char* anchor = count < lines / 2.0 ? "beginning" : "end";
      int n = static_cast<int>(count);
      bool selected = SelectionResult(view, row.id) >= 0;
      const char* top = top_text.c_str();
      if (selected) {
        v.out += Format(
            "<A TARGET=\"kvViewBodyFrame\" NAME=\"Sx%ld\" "
            "HREF=\"http://[kv]/%s:/%s:/V/%s/So%ld/%s/%ld/#%s\"",
            static_cast<long>(count), srv, db, a1, d, top, d, anchor);
        v.out += Format(
            "                              OnMouseOver=\"window.status='Click here to check-mark "
            "DESELECT this line ';"
            "                              "
            "if(window.document.images){window.document.images['I%dNC'].src=HighLightCheckMark.src;"
            "}return true\""
            "                               onMouseOut=\"window.status='';"
            "                              "
            "if(window.document.images){window.document.images['I%dNC'].src=DeHighLightCheckMark."
            "src;}return true\">",
            n, n);
      } else {
        v.out += Format(
            "<A TARGET=\"kvViewBodyFrame\" NAME=\"So%ld\" "
            "HREF=\"http://[kv]/%s:/%s:/V/%s/Sx%ld/%s/%ld/#%s\"",
            static_cast<long>(count), srv, db, a1, d, top, d, anchor);
        v.out += Format(
            "                              onMouseOver=\"if(kvJS_CheckRegionOver('Click here to "
            "check-mark select this line. Use CTRL key for range selection.','I%dNC')) {return "
            "true} else {return false}\""
            "                              onMouseOut=\"window.status='';"
            "                              "
            "if(window.document.images){window.document.images['I%dNC'].src=DeHighLightCheckRegion."
            "src;}return true\">",
            n, n);
      }
      v.out +=
          Format(IsMarked(view, row.id) ? "<IMG BORDER=0 SRC=\"file://%s/images/delmk.gif\">"
                                        : "<IMG BORDER=0 SRC=\"file://%s/images/nocheck.gif\">",
                 dir.c_str());
      v.out +=
          Format(selected ? "<IMG BORDER=0 NAME=\"I%dNC\" SRC=\"file://%s/images/checkmk.gif\" "
                            "ALT=\"Click here to check-mark DESELECT line #%s\"></A> "
                          : "<IMG BORDER=0 NAME=\"I%dNC\" SRC=\"file://%s/images/nocheck.gif\" "
                            "ALT=\"Click here to check-mark SELECT line #%s\"></A> ",
                 n, dir.c_str(), q.c_str());
      VXNoteId child = 0;
      if (VXIndexNavigate(view.index, 3, 1, &child, nullptr) == kVXOk) {
        bool collapsed = IsCollapsed(view, q);
        ExpandLink(v, indent, collapsed, q, "");
        v.out += Format(collapsed ? "<IMG BORDER=0 SRC=\"file://%s/images/smclsdtw.gif\" "
                                    "ALT=\"Click to EXPAND\"></A> "
                                  : "<IMG BORDER=0 SRC=\"file://%s/images/smopentw.gif\" "
                                    "ALT=\"Click to COLLAPSE\"></A> ",
                        dir.c_str());
        skip_children = collapsed;
      } else {
        std::string score;
        if (full_text) {
          int32_t value = 0;
          (void)VXIndexGetProperty(view.index, kIndexPropScore, &value, sizeof value);
          score = Format("%3ld%% ", static_cast<long>(value));
          if (indent.size() > 5)
            indent.resize(indent.size() > score.size() ? indent.size() - score.size() : 0);
        }
        v.out += Format("%s%s<IMG BORDER=0 SRC=\"file://%s/images/blanktw.gif\"\"> ", score.c_str(),
                        indent.c_str(), dir.c_str());
      }
      bool current = strcasecmp(q.c_str(), view.currentLine.c_str()) == 0;
      if (current) v.out += "<B>";
      if (view.preview == 0 && current) {
        v.out += Format(
            "<A TARGET=\"_parent\" HREF=\"http://[kv]/%s:/%s:/D/%ld/LR/%s/%ld/\" "
            "OnMouseOut=\"return kvJS_Out();\" "
            "OnMouseOver=\"return kvJS_Over('Click to activate line #%s.');\">",
            srv, db, d, q.c_str(), static_cast<long>(view.viewId), q.c_str());
      } else {
        v.out += Format(
            "<A TARGET=\"kvViewBodyFrame\" HREF=\"http://[kv]/%s:/%s:/V/%ld/SC/0/%s/\" "
            "OnMouseOut=\"return kvJS_Out();\" "
            "OnMouseOver=\"return kvJS_Over('Click to activate line #%s.');\">",
            srv, db, static_cast<long>(view.viewId), q.c_str(), q.c_str());
      }
      if (text.find(kVariableMarker) != std::string::npos) {
        ActionContext context = MakeActionContext(
            v.handle, &v.db, &view, &v.request, 0, 0, v.db.navigatorForm, 0, std::nullopt,
            std::nullopt, q, std::string("kvViewBodyFrame"), v.documentTarget);
        ExpandTemplate(context, text, &v.out);
        v.out += "</A>\n";
      } else {
        v.out += text;
        v.out += "</A>\n";
      }
      if (current) {
        v.out += "</B>";
        if (view.preview != 0) {
          std::string slashed = v.database;
          for (char& c : slashed)
            if (c == '\\') c = '/';
          v.out += Format(
              "<script>\nsetTimeout(\"window.open('http://[kv]/%s:/%s:/D/%ld/LR/%s/%ld/"
              "','%s')\",1000)\n</script>",
              ScriptUrlText(v.server).c_str(), ScriptUrlText(slashed).c_str(), d, q.c_str(),
              static_cast<long>(view.viewId), v.documentTarget.c_str());
        }
      }
    }
    if (skip_children) {
      // Pass over the descendants: the next sibling, else a parent's.
      bool found = NextSibling(view.index);
      while (!found) {
        if (!Parent(view.index)) break;
        found = NextSibling(view.index);
      }
      if (!found) break;
      step = kReadCurrent;
    }
  }
  return count;
}

}  // namespace

void WritePage(ViewRequest& v) {
  platform::ViewRecord& view = v.view;
  const std::string& dir = v.handle.shared->programDirUrl;
  v.out += common::kReplyPageOk11;
  v.out += "<HTML>\n";
  v.out += Format("<head><BASE HREF=\"file://%s/\"></HEAD>", dir.c_str());
  std::string p = CurrentPosition(view.index);
  (void)LastRow(view.index);
  std::string last = CurrentPosition(view.index);
  if (strcasecmp(p.c_str(), last.c_str()) == 0) {
    p = v.savedTop;
    view.topPosition = v.savedTop;
  }
  (void)SetPosition(view.index, p);
  auto context = [&](std::optional<std::string> general, std::string position) {
    return MakeActionContext(v.handle, &v.db, &view, &v.request, 0, 0, v.db.navigatorForm, 0,
                             std::move(general), std::nullopt, std::move(position),
                             std::string("kvViewBodyFrame"), v.documentTarget);
  };
  (void)ViewActionBar(&v.out, context(std::nullopt, p), view.topPosition == "1" ? 'S' : 'T');
  v.out += "<PRE>";
  int32_t full_text = 0;
  (void)VXIndexGetProperty(view.index, kIndexPropFullText, &full_text, sizeof full_text);
  uint32_t shown = WriteRows(v, full_text == 1);
  std::string current = CurrentPosition(view.index);
  std::string range = Format("%s to %s of %s", common::HtmlEscape(view.topPosition).c_str(),
                             current.c_str(), last.c_str());
  (void)ViewActionBar(&v.out, context(range, current), shown < Page().linesPerPage ? 'E' : 'B');
  v.out += "</pre>\n</BODY></HTML>\n";
  (void)SetPosition(view.index, view.topPosition);
}

}  // namespace browser
