// The template expander and its variables.
#include "browser/template_expander.h"

#include <limits.h>
#include <stdlib.h>
#include <strings.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "browser/template_sources.h"
#include "browser/view_sets.h"
#include "common/html_escape.h"
#include "common/text.h"
#include "platform/name_lists.h"
#include "platform/translate.h"

namespace browser {

namespace {

// The names in the order they are tried: a longer name listed first wins
// over its prefix (ActiveWebDatabaseTitle before ActiveWebDatabase).
enum class Var {
  kInclude,
  kGeneralArg1,
  kMainTargetFrame,
  kProgramDir,
  kNetState,
  kServerName,
  kDBFileName,
  kDatabaseTitle,
  kActiveWebDatabaseTitle,
  kActiveWebDatabase,
  kCorvjobsicaContext,
  kViewFolderName,
  kViewFolderColHeaders,
  kDocPreviewState,
  kSearchBarState,
  kViewFolderID,
  kNextSelectAllState,
  kNextSearchBarState,
  kNextPreviewState,
  kFormName,
  kFormID,
  kDocID,
  kItemInCurrentDoc,
  kJSItemInCurrentDoc,
  kViewFolderLocale,
  kAdverb,
  kKind,
  kRefererURL,
  kSelfURL,
  kCNavigatorID,
  kViewBodyWin,
  kDocBodyWin,
  kCNavigatorName,
};

struct Name {
  const char* text;
  Var var;
};

constexpr Name kNames[] = {
    {"Include:", Var::kInclude},
    {"GeneralArg1", Var::kGeneralArg1},
    {"MainTargetFrame", Var::kMainTargetFrame},
    {"ProgramDir", Var::kProgramDir},
    {"NetState", Var::kNetState},
    {"ServerName", Var::kServerName},
    {"DBFileName", Var::kDBFileName},
    {"DatabaseTitle", Var::kDatabaseTitle},
    {"ActiveWebDatabaseTitle", Var::kActiveWebDatabaseTitle},
    {"ActiveWebDatabase", Var::kActiveWebDatabase},
    {"CorvjobsicaContext", Var::kCorvjobsicaContext},
    {"ViewFolderName", Var::kViewFolderName},
    {"ViewFolderColHeaders", Var::kViewFolderColHeaders},
    {"DocPreviewState", Var::kDocPreviewState},
    {"SearchBarState", Var::kSearchBarState},
    {"ViewFolderID", Var::kViewFolderID},
    {"NextSelectAllState", Var::kNextSelectAllState},
    {"NextSearchBarState", Var::kNextSearchBarState},
    {"NextPreviewState", Var::kNextPreviewState},
    {"FormName", Var::kFormName},
    {"FormID", Var::kFormID},
    {"DocID", Var::kDocID},
    {"ItemInCurrentDoc:", Var::kItemInCurrentDoc},
    {"JSItemInCurrentDoc:", Var::kJSItemInCurrentDoc},
    {"ViewFolderLocale", Var::kViewFolderLocale},
    {"Adverb", Var::kAdverb},
    {"Kind", Var::kKind},
    {"RefererURL", Var::kRefererURL},
    {"SelfURL", Var::kSelfURL},
    {"CNavigatorID", Var::kCNavigatorID},
    {"ViewBodyWin", Var::kViewBodyWin},
    {"DocBodyWin", Var::kDocBodyWin},
    {"CNavigatorName", Var::kCNavigatorName},
};

constexpr char kNoWebDatabaseTitle[] = "My Web Page Replicas";
constexpr char kNoWebDatabase[] = "Local:/Replicas.Web/kvwebrs.ldf:";
constexpr size_t kMaxIncludeBytes = size_t{1} << 20;

void Put(std::string* out, const std::optional<std::string>& value) {
  if (value.has_value()) out->append(*value);
}

// Text that comes from the request (or names a database from it) is
// escaped: a template puts it into attributes and text, where the escaped
// form reads the same and no markup can come in with it.
void PutEscaped(std::string* out, const std::optional<std::string>& value) {
  if (value.has_value()) common::AppendHtmlEscaped(*value, out);
}

std::string Number(long value) {
  return std::to_string(value);
}

// The argument of Include: and the item variables: a quoted name (which may
// hold blanks) or a plain one of letters, digits, characters of other
// scripts and kNameCharacters. *used gets the characters consumed.
constexpr char kNameCharacters[] = "._-/\\$~+@#%";
std::string ArgumentName(std::string_view rest, size_t* used) {
  if (!rest.empty() && rest[0] == '"') {
    size_t close = rest.find('"', 1);
    if (close == std::string_view::npos) {
      *used = rest.size();
      return std::string(rest.substr(1));
    }
    *used = close + 1;
    return std::string(rest.substr(1, close - 1));
  }
  size_t n = 0;
  while (n < rest.size()) {
    unsigned char c = static_cast<unsigned char>(rest[n]);
    if (!std::isalnum(c) && c < 0x80 && std::strchr(kNameCharacters, c) == nullptr) break;
    ++n;
  }
  *used = n;
  return std::string(rest.substr(0, n));
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return "";
  std::string text;
  text.resize(kMaxIncludeBytes);
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(file.gcount()));
  return text;
}

std::string WithSlashes(std::string text) {
  for (char& c : text)
    if (c == '\\') c = '/';
  return text;
}

std::string NameWithout(const VXDesignRecord& record) {
  return platform::WithoutChars(platform::DisplayName(record), "_$");
}

std::string FormDisplayName(VXHandle database, VXNoteId form) {
  VXDesignRecord record;
  for (uint32_t code = kVXListFirst; platform::wrap::VXFormList(database, code, &record) == kVXOk;
       code = kVXListNext) {
    if (record.note_id == form) return NameWithout(record);
  }
  return "";
}

struct Expander {
  const ActionContext& context;
  std::string* out;
  int depth;

  void Run(std::string_view text);
  // Writes the value of var; returns the characters consumed after the name.
  size_t Value(Var var, std::string_view rest);
};

void Expander::Run(std::string_view text) {
  size_t at = 0;
  const size_t marker = sizeof kVariableMarker - 1;
  for (;;) {
    size_t found = common::FindText('<', text.substr(at), kVariableMarker);
    if (found == common::kNotFound) {
      out->append(text.substr(at));
      return;
    }
    out->append(text.substr(at, found));
    at += found + marker;
    std::string_view rest = text.substr(at);
    const Name* match = nullptr;
    for (const Name& name : kNames) {
      size_t length = std::strlen(name.text);
      if (rest.size() >= length && strncasecmp(rest.data(), name.text, length) == 0) {
        match = &name;
        break;
      }
    }
    if (match == nullptr) {
      // Not a variable: the marker stays as it was.
      out->append(kVariableMarker);
      continue;
    }
    at += std::strlen(match->text);
    at += Value(match->var, text.substr(at));
  }
}

size_t Expander::Value(Var var, std::string_view rest) {
  const ActionContext& c = context;
  engine::SharedContext* shared = c.shared;
  platform::OpenDatabase* db = c.database;
  platform::ViewRecord* view = c.view;
  engine::DatabaseRequest* request = c.request;
  size_t used = 0;
  switch (var) {
    case Var::kInclude: {
      std::string name = ArgumentName(rest, &used);
      if (shared == nullptr || name.empty() || depth >= kMaxIncludeDepth) break;
      std::string path = IncludedFilePath(shared->programDir, name);
      if (path.empty()) break;
      Expander inner{c, out, depth + 1};
      inner.Run(ReadWholeFile(path));
      break;
    }
    case Var::kGeneralArg1:
      Put(out, c.generalText);
      break;
    case Var::kMainTargetFrame:
      if (shared != nullptr) out->append(shared->startTarget);
      break;
    case Var::kProgramDir:
      if (shared != nullptr) out->append(WithSlashes(shared->programDir));
      break;
    case Var::kNetState:
      if (shared != nullptr) out->append(shared->offline != 0 ? "off" : "on");
      break;
    case Var::kServerName:
      if (db != nullptr) common::AppendHtmlEscaped(db->server, out);
      break;
    case Var::kDBFileName:
      if (db != nullptr) common::AppendHtmlEscaped(db->path, out);
      break;
    case Var::kDatabaseTitle:
      if (db != nullptr) out->append(db->title);
      break;
    case Var::kActiveWebDatabaseTitle:
      if (shared != nullptr && shared->webDatabase != nullptr)
        out->append(shared->webDatabase->title);
      else
        out->append(kNoWebDatabaseTitle);
      break;
    case Var::kActiveWebDatabase:
      if (shared != nullptr && shared->webDatabase != nullptr)
        out->append(shared->webDatabase->server + ":/" + shared->webDatabase->path + ":");
      else
        out->append(kNoWebDatabase);
      break;
    case Var::kCorvjobsicaContext:
      if (shared != nullptr && shared->webDatabase != nullptr) {
        std::string server = shared->webDatabase->server;
        server = server.substr(0, server.find('/'));
        std::string path = shared->webDatabase->path;
        for (char& ch : path)
          if (ch == '\\' || ch == '/') ch = ';';
        out->append(server + ";" + path);
      }
      break;
    case Var::kViewFolderName:
      if (view != nullptr) out->append(view->name);
      break;
    case Var::kViewFolderColHeaders:
      if (view != nullptr) out->append(view->headerLine);
      break;
    case Var::kDocPreviewState:
      if (view != nullptr) out->append(view->preview != 0 ? "on" : "off");
      break;
    case Var::kSearchBarState:
      if (view != nullptr) out->append(view->searchBar != 0 ? "on" : "off");
      break;
    case Var::kViewFolderID:
      if (view != nullptr) out->append(Number(view->viewId));
      break;
    case Var::kNextSelectAllState:
      if (view != nullptr) {
        const ViewSets& sets = SetsOf(*view);
        bool all = sets.selection && Polarity(*sets.selection) == 1;
        out->append(all ? "Select" : "Deselect");
      }
      break;
    case Var::kNextSearchBarState:
      if (view != nullptr) out->append(view->searchBar != 0 ? "Off" : "On");
      break;
    case Var::kNextPreviewState:
      if (view != nullptr) out->append(view->preview != 0 ? "Off" : "On");
      break;
    case Var::kFormName:
      if (db != nullptr && c.formId != 0) out->append(FormDisplayName(db->handle, c.formId));
      break;
    case Var::kFormID:
      out->append(Number(c.formId));
      break;
    case Var::kDocID:
      out->append(Number(c.documentId));
      break;
    case Var::kItemInCurrentDoc:
    case Var::kJSItemInCurrentDoc: {
      std::string name = ArgumentName(rest, &used);
      if (db == nullptr || c.documentId == 0 || name.empty()) break;
      bool js = var == Var::kJSItemInCurrentDoc;
      std::string value;
      if (!ReadDocumentItem(db->handle, c.documentId, name, js ? kJsItemLimit : 0, &value)) break;
      out->append(js ? JavaScriptText(value) : value);
      break;
    }
    case Var::kViewFolderLocale:
      Put(out, c.positionText);
      break;
    case Var::kAdverb:
      if (request != nullptr) PutEscaped(out, request->argument2);
      break;
    case Var::kKind:
      if (request != nullptr) PutEscaped(out, request->command);
      break;
    case Var::kRefererURL:
      if (request != nullptr) PutEscaped(out, request->returnUrl);
      break;
    case Var::kSelfURL:
      if (c.selfUrl.has_value())
        PutEscaped(out, c.selfUrl);
      else if (request != nullptr)
        PutEscaped(out, request->url);
      break;
    case Var::kCNavigatorID:
      out->append(Number(c.navigatorForm));
      break;
    case Var::kViewBodyWin:
      Put(out, c.frameName);
      break;
    case Var::kDocBodyWin:
      Put(out, c.targetName);
      break;
    case Var::kCNavigatorName:
      if (db != nullptr && c.navigatorForm != 0 && c.navigatorForm != -1) {
        std::string name = FormDisplayName(db->handle, static_cast<VXNoteId>(c.navigatorForm));
        size_t colon = name.find(':');
        if (colon != std::string::npos && colon + 2 <= name.size())
          out->append(name.substr(colon + 2));
      }
      break;
  }
  return used;
}

// The real path of an existing file, "" when it does not exist.
std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) return "";
  return resolved;
}

bool Inside(const std::string& folder, const std::string& path) {
  return !folder.empty() && path.size() > folder.size() + 1 &&
         path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

}  // namespace

std::string IncludedFilePath(const std::string& program_dir, const std::string& name) {
  std::string folder = RealPath(program_dir);
  if (folder.empty() || name.empty()) return "";
  std::string candidate = RealPath(program_dir + "/htmdata/" + name);
  if (candidate.empty()) {
    // The name unchanged: relative names are read from the program folder.
    candidate = RealPath(name[0] == '/' ? name : program_dir + "/" + name);
  }
  if (candidate.empty() || !Inside(folder, candidate)) return "";
  return candidate;
}

std::string JavaScriptText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (c == '\n') {
      out.append("<br>");
      continue;
    }
    if (c == '\'' || c == '"' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

void ExpandTemplate(const ActionContext& context, std::string_view text, std::string* out) {
  Expander expander{context, out, 0};
  expander.Run(text);
}

}  // namespace browser
