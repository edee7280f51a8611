// The "V" command: the request, the sub-commands and the reply kinds.
#include "browser/view_command.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>

#include "browser/action_context.h"
#include "browser/command_dispatch.h"
#include "browser/navigator.h"
#include "browser/position_walk.h"
#include "browser/template_sources.h"
#include "browser/view_operations.h"
#include "browser/view_sets.h"
#include "common/html_escape.h"
#include "common/reply_forms.h"
#include "common/text.h"
#include "engine/error_page.h"
#include "os/desktop.h"
#include "platform/view_records.h"

namespace browser {

namespace {

constexpr char kResortQuestion[] = "Re-sort all the entries in this view?";
constexpr char kResortTitle[] = "Pellam Corvane";
constexpr uint32_t kHighBit = 0x80000000u;

enum class Reply { kNone, kPanel, kHeader, kPage, kSearch, kFrameset, kPreviousPage };

std::string Text(const std::optional<std::string>& field) {
  return field.value_or("");
}

using common::Format;

void BackToTop(ViewRequest& v) {
  (void)SetPosition(v.view.index, v.view.topPosition);
}

void Refresh(ViewRequest& v) {
  (void)VXIndexRefresh(v.view.index);
}

void Redirect(ViewRequest& v, const char* kind) {
  v.out += common::kReplyRedirectLfPrefix;
  v.out += Format("http://[kv]/%s:/%s:/V/%ld/%s/\n\n", v.server.c_str(), v.database.c_str(),
                  static_cast<long>(v.view.viewId), kind);
}

// The read frameset of the document whose id is argument 4.
void DocumentRedirect(ViewRequest& v) {
  v.out += common::kReplyRedirectLfPrefix;
  v.out +=
      Format("http://[kv]/%s:/%s:/%s/%s/%s/%s/%s\n\n", v.server.c_str(), v.database.c_str(), "D",
             v.argument4.c_str(), v.argument2.c_str(), v.argument3.c_str(), v.argument1.c_str());
}

// Adds the document at the current line to the selection unless it is in.
void CurrentLineIntoSelection(ViewRequest& v) {
  if (!SetPosition(v.view.index, v.view.currentLine)) return;
  VXNoteId id = 0;
  if (VXIndexNavigate(v.view.index, 6, 0, &id, nullptr) != kVXOk) return;
  if (!IsSelected(v.view, id)) ToggleMember(&Selection(v.view), static_cast<int32_t>(id));
}

char Second(const std::string& argument) {
  return argument.size() > 1 ? argument[1] : '\0';
}

bool KeyDownFocused(engine::SharedContext& shared, os::Key key) {
  (void)shared;  // the headless desktop has no focus to move
  return os::KeyDown(key);
}

// Steps forward for "N": before each step read the row; a collapsed
// category is passed over with (2, 0).
void NextPage(ViewRequest& v) {
  uint32_t lines = Page().linesPerPage;
  for (uint32_t n = 0; n + 1 < lines; ++n) {
    VXNoteId id = 0;
    if (VXIndexNavigate(v.view.index, 6, 0, &id, nullptr) != kVXOk) break;
    std::string position = CurrentPosition(v.view.index);
    bool collapsed_category = id == 0xFFFFFFFFu && IsCollapsed(v.view, position);
    if (VXIndexNavigate(v.view.index, collapsed_category ? 2 : 0, 0, &id, nullptr) != kVXOk) break;
  }
}

void PreviousPage(ViewRequest& v) {
  BackToTop(v);
  uint32_t lines = Page().linesPerPage;
  for (uint32_t n = 0; n + 1 < lines; ++n) {
    VXNoteId id = 0;
    if (VXIndexNavigate(v.view.index, 0, 2, &id, nullptr) != kVXOk) break;
    std::string position = CurrentPosition(v.view.index);
    if (InsideCollapsedCategory(v.view, &position)) (void)SetPosition(v.view.index, position);
  }
}

void GoToEnd(ViewRequest& v) {
  (void)LastRow(v.view.index);
  uint32_t lines = Page().linesPerPage;
  for (uint32_t n = 0; n + 5 < lines; ++n) {
    VXNoteId id = 0;
    if (VXIndexNavigate(v.view.index, 0, 2, &id, nullptr) != kVXOk) break;
  }
}

// "j" and "k": the next or previous document from the current line.
void StepToDocument(ViewRequest& v, uint32_t mode, const std::string& frameset_argument) {
  if (v.view.currentLine.empty()) return;
  if (!SetPosition(v.view.index, v.view.currentLine)) {
    Redirect(v, "LR");
    return;
  }
  VXNoteId id = 0;
  bool found = false;
  while (VXIndexNavigate(v.view.index, 0, mode, &id, nullptr) == kVXOk) {
    if ((id & kHighBit) == 0) {
      found = true;
      break;
    }
  }
  if (!found) {
    Redirect(v, "LR");
    return;
  }
  v.view.currentLine = CurrentPosition(v.view.index);
  // The read frameset of document 0 at the view's current line: "0" as
  // argument 3 for "j", the request's argument 3 for "k".
  v.out += common::kReplyRedirectLfPrefix;
  v.out += Format("http://[kv]/%s:/%s:/D/0/LR/%s/%ld/\n\n", v.server.c_str(), v.database.c_str(),
                  frameset_argument.c_str(), static_cast<long>(v.view.viewId));
}

void Resort(ViewRequest& v) {
  engine::SharedContext& shared = *v.handle.shared;
  if (!KeyDownFocused(shared, os::Key::kAlt)) return;
  os::Answer answer = os::MessageBox(nullptr, kResortQuestion, kResortTitle, os::Icon::kQuestion,
                                     os::Buttons::kYesNo);
  if (answer != os::Answer::kYes) return;
  (void)VXIndexClose(v.view.index);
  VXHandle index = 0;
  if (VXIndexOpen(v.db.handle, &index) != kVXOk) {
    v.view.index = 0;
    return;
  }
  if (VXIndexOpenView(index, 0, v.view.viewId, 1) != kVXOk) {
    (void)VXIndexClose(index);
    v.view.index = 0;
    return;
  }
  v.view.index = index;
}

// Runs the sub-command; returns the kind of reply still to write.
Reply RunSubcommand(ViewRequest& v) {
  const std::string& a2 = v.argument2;
  ViewOperations& ops = Operations();
  char first = a2.empty() ? '\0' : a2[0];
  switch (first) {
    case 'B':
      (void)SetPosition(v.view.index, "1");
      return Reply::kPage;
    case 'C':
      CurrentLineIntoSelection(v);
      if (Second(a2) == 'd') DocumentRedirect(v);
      if (ops.categorize != nullptr) ops.categorize(v.handle, v.db, v.view);
      BackToTop(v);
      Refresh(v);
      Redirect(v, "R");
      return Reply::kNone;
    case 'D':
      if (a2 == "DX") {
        if (ops.deleteSelected != nullptr) ops.deleteSelected(v.handle, v.db, v.view);
        Refresh(v);
        BackToTop(v);
        Redirect(v, "LR");
        return Reply::kPage;
      }
      if (a2 == "DE") {
        if (ops.deleteMarked != nullptr) ops.deleteMarked(v.handle, v.db, v.view);
        Refresh(v);
        return Reply::kPage;
      }
      CurrentLineIntoSelection(v);
      if (Second(a2) == 'd' && v.view.preview == 0) {
        DocumentRedirect(v);
        MoveSelectionToTrash(v.view);
        BackToTop(v);
        return Reply::kNone;
      }
      MoveSelectionToTrash(v.view);
      BackToTop(v);
      return Reply::kPage;
    case 'E':
      GoToEnd(v);
      return Reply::kPage;
    case 'F':
      if (a2 == "FS") {
        if (ops.search != nullptr) ops.search(v.handle, SearchUrl(v.request), v.view, v.db.handle);
        return Reply::kPage;
      }
      if (a2 == "Fr") {
        v.view.searchBar = v.view.searchBar != 0 ? 0 : 1;
        (void)VXIndexFTSearch(v.view.index, "", kVXFTClear, 0, 0);
        Refresh(v);
        Redirect(v, "LR");
        return Reply::kNone;
      }
      return Reply::kSearch;
    case 'H':
      return Reply::kHeader;
    case 'L': {
      long top = std::atol(v.argument3.c_str());
      if (top != 0) v.view.topPosition = v.argument3.substr(0, kPositionSize);
      return Reply::kFrameset;
    }
    case 'M':
      return Reply::kPanel;
    case 'N':
      NextPage(v);
      return Reply::kPage;
    case 'P':
      return Reply::kPreviousPage;
    case 'R':
      Resort(v);
      Refresh(v);
      BackToTop(v);
      return Reply::kPage;
    case 'S':
      if (a2 == "SC") {
        if (v.request.argument4.has_value()) {
          v.view.currentLine = v.argument4.substr(0, kPositionSize);
          v.argument4.clear();
          v.request.argument4 = "";
        }
        BackToTop(v);
        return Reply::kPage;
      }
      if (a2 == "SA") {
        const ViewSets& sets = SetsOf(v.view);
        bool all = sets.selection && Polarity(*sets.selection) == 1;
        SetSelectionPolarity(v.view, all ? -1 : 1);
        Refresh(v);
        BackToTop(v);
        Redirect(v, "R");
        return Reply::kPage;
      }
      if (!v.argument4.empty()) {
        std::string id_text = v.argument4;
        if (std::atol(id_text.c_str()) == 0 && SetPosition(v.view.index, v.view.currentLine)) {
          VXNoteId id = 0;
          if (VXIndexNavigate(v.view.index, 6, 0, &id, nullptr) == kVXOk)
            id_text = std::to_string(id);
        }
        if (KeyDownFocused(*v.handle.shared, os::Key::kCtrl)) {
          if (ops.rangeSelection != nullptr) ops.rangeSelection(v.view, id_text);
        } else {
          ToggleSelection(v.view, id_text);
        }
        if (Second(a2) == 'd' && v.view.preview == 0) {
          DocumentRedirect(v);
          BackToTop(v);
          return Reply::kNone;
        }
      }
      BackToTop(v);
      return Reply::kPage;
    case 'X':
      if (a2 == "XE") {
        SetExpansionPolarity(v.view, 1);
      } else if (a2 == "XC") {
        SetExpansionPolarity(v.view, -1);
      } else if (a2 == "XL") {
        if (ops.linesPerPageDialog != nullptr) ops.linesPerPageDialog(v.handle);
        Page().linesPerPage = v.handle.shared->linesInView;
      } else {
        ToggleExpansion(v.view, v.argument4);
      }
      BackToTop(v);
      return Reply::kPage;
    case 'j':
      StepToDocument(v, 0, "0");
      return Reply::kNone;
    case 'k':
      StepToDocument(v, 2, v.argument3);
      return Reply::kNone;
    case 'l':
      v.view.preview = v.view.preview != 0 ? 0 : 1;
      Redirect(v, "LR");
      return Reply::kNone;
    case 'p':
      PreviousPage(v);
      return Reply::kPage;
    case 'r':
      BackToTop(v);
      return Reply::kPage;
    case 'v':
      if (a2 == "vX" || a2 == "vC" || a2 == "vP") {
        CurrentLineIntoSelection(v);
        if (ops.clipboard != nullptr) ops.clipboard(v.handle, v.db, v.view, a2[1]);
        BackToTop(v);
        return Reply::kPage;
      }
      break;
    case 'x':
      if (a2.size() > 1 && a2[1] >= '1' && a2[1] <= '5') {
        int section = a2[1] - '0';
        Page().sectionOpen[section] = Page().sectionOpen[section] != 0 ? 0 : 1;
        return Reply::kPanel;
      }
      break;
    default:
      break;
  }
  BackToTop(v);
  return Reply::kNone;
}

ActionContext BarContext(ViewRequest& v, std::optional<std::string> general,
                         std::optional<std::string> position) {
  return MakeActionContext(v.handle, &v.db, &v.view, &v.request, 0, 0, v.db.navigatorForm, 0,
                           std::move(general), std::nullopt, std::move(position),
                           std::string("kvViewBodyFrame"), v.documentTarget);
}

void WriteReply(ViewRequest& v, Reply kind) {
  switch (kind) {
    case Reply::kNone:
      return;
    case Reply::kPanel:
      WriteCommandPanel(v);
      return;
    case Reply::kHeader:
      (void)ViewActionBar(&v.out, BarContext(v, std::nullopt, CurrentPosition(v.view.index)), 'A');
      return;
    case Reply::kPage:
      WritePage(v);
      return;
    case Reply::kSearch:
      (void)ViewActionBar(&v.out, BarContext(v, std::nullopt, std::nullopt), 'F');
      return;
    case Reply::kFrameset:
      WriteFrameset(v);
      return;
    case Reply::kPreviousPage:
      v.out += common::kReplyRedirectLfPrefix;
      v.out += Format("http://[kv]/%s:/%s:/%s/%s/%s/%s/%s\n\n", v.server.c_str(),
                      v.database.c_str(), v.command.c_str(), v.argument1.c_str(), "p",
                      v.view.topPosition.c_str(), "#bottom");
      return;
  }
}

struct Installer {
  Installer() { Handlers().view = ViewCommand; }
} installer;

}  // namespace

PageState& Page() {
  static PageState state;
  return state;
}

ViewOperations& Operations() {
  static ViewOperations operations;
  return operations;
}

VXNoteId DocumentOfCurrentLine(platform::ViewRecord& view) {
  VXNoteId id = 0;
  if (SetPosition(view.index, view.currentLine)) {
    if (VXIndexNavigate(view.index, 6, 0, &id, nullptr) == kVXOk) return id;
    return 0;
  }
  const ViewSets& sets = SetsOf(view);
  if (!sets.selection) return 0;
  if (Polarity(*sets.selection) >= 1) {
    if (VXIndexNavigate(view.index, 1, 2, &id, nullptr) != kVXOk) return 0;
    while (static_cast<int32_t>(id) < 0) {
      if (VXIndexNavigate(view.index, 0, 0, &id, nullptr) != kVXOk) return 0;
    }
    return id;
  }
  return static_cast<VXNoteId>(FirstMember(*sets.selection));
}

int ViewCommand(const std::string& reply_path, engine::DatabaseRequest& request,
                engine::ThreadHandle& handle) {
  std::FILE* reply = std::fopen(reply_path.c_str(), "w");
  if (reply == nullptr) return 1;
  engine::SharedContext& shared = *handle.shared;
  platform::OpenDatabase* db = OpenRequestDatabase(handle, request);
  if (db == nullptr || db->handle == 0) {
    engine::WriteErrorPage(reply, handle);
    std::fclose(reply);
    return 1;
  }
  PruneViewSets(shared);
  Page().linesPerPage = shared.linesInView;
  Page().databaseTitle = db->title;
  platform::ViewRecord* view =
      platform::GetViewRecordByName(handle, db->handle, Text(request.argument1));
  if (view == nullptr || view->index == 0) {
    std::fclose(reply);
    return 1;
  }
  shared.lastView = view;
  (void)ChooseViewNavigator(handle, *db, *view);
  Page().navigatorSize = db->navigatorSize;

  ViewRequest v{handle, request, *db, *view};
  v.server = Text(request.server);
  v.database = Text(request.database);
  v.command = Text(request.command);
  v.argument1 = Text(request.argument1);
  v.argument2 = Text(request.argument2);
  v.argument3 = Text(request.argument3);
  v.argument4 = Text(request.argument4);
  v.html = {common::HtmlEscape(v.server), common::HtmlEscape(v.database),
            common::HtmlEscape(v.command), common::HtmlEscape(v.argument1),
            common::HtmlEscape(v.argument3)};
  // A view record just made, or whose index was opened again after the
  // cache released it, has no current row yet: it starts at its top
  // position ("1" for a new record), from which "N", the header and the
  // page then step.
  if (CurrentPosition(view->index).empty()) (void)SetPosition(view->index, view->topPosition);
  v.savedTop = view->topPosition;
  if (!v.argument3.empty() && v.argument3[0] != '0') {
    view->topPosition = v.argument3.substr(0, kPositionSize);
    (void)SetPosition(view->index, view->topPosition);
  }
  Reply kind = RunSubcommand(v);
  std::string top = CurrentPosition(view->index);
  if (!top.empty()) view->topPosition = top;
  v.documentTarget = view->preview != 0 ? "kvDocumentFrame" : "_parent";
  WriteReply(v, kind);
  std::fwrite(v.out.data(), 1, v.out.size(), reply);
  std::fclose(reply);
  return 1;
}

}  // namespace browser
