// Name lists, display names, mail-folder classes and view lookups.
#include "platform/name_lists.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/translate.h"

namespace platform {

namespace {

using ListCall = VXStatus (*)(VXHandle, uint32_t, VXDesignRecord*);

VXStatus AgentList(VXHandle database, uint32_t code, VXDesignRecord* record) {
  return ::VXAgentList(database, code, record);  // agent names are not converted
}

// Adds the records of one design list; hidden ones only when keep_hidden
// says so (views: hidden mail folders stay).
void AddRecords(VXHandle database, ListCall list, bool views, std::vector<NameEntry>* out) {
  VXDesignRecord record;
  for (uint32_t code = kVXListFirst; list(database, code, &record) == kVXOk; code = kVXListNext) {
    uint16_t mail_class = views ? MailFolderClass(record.full_name) : 0;
    if (record.hidden != 0 && mail_class == 0) continue;
    NameEntry entry;
    entry.name = WithoutChars(DisplayName(record), "_$");
    entry.id = record.note_id;
    entry.mailClass = mail_class;
    InsertSorted(out, std::move(entry));
  }
}

std::vector<NameEntry>& BuiltList(OpenDatabase& database, NameListKind kind) {
  switch (kind) {
    case NameListKind::kViews:
      if (!database.viewListBuilt) {
        AddRecords(database.handle, wrap::VXViewList, true, &database.viewList);
        AddRecords(database.handle, wrap::VXFolderList, true, &database.viewList);
        database.viewListBuilt = true;
      }
      return database.viewList;
    case NameListKind::kForms:
      if (!database.formListBuilt) {
        AddRecords(database.handle, wrap::VXFormList, false, &database.formList);
        database.formListBuilt = true;
      }
      return database.formList;
    case NameListKind::kAgents:
    default:
      if (!database.agentListBuilt) {
        AddRecords(database.handle, AgentList, false, &database.agentList);
        database.agentListBuilt = true;
      }
      return database.agentList;
  }
}

// Walks a design list comparing display names; 0 when none matches.
VXNoteId WalkForName(VXHandle database, ListCall list, const std::string& name) {
  VXDesignRecord record;
  for (uint32_t code = kVXListFirst; list(database, code, &record) == kVXOk; code = kVXListNext) {
    if (strcasecmp(DisplayName(record).c_str(), name.c_str()) == 0) return record.note_id;
  }
  return 0;
}

}  // namespace

std::string DisplayName(const VXDesignRecord& record) {
  if (record.third_name[0] != '\0')
    return std::string(record.second_name) + "/" + record.third_name;
  if (record.second_name[0] != '\0') return record.second_name;
  return record.full_name;
}

std::string WithoutChars(const std::string& text, const char* drop) {
  std::string out;
  for (char c : text)
    if (std::strchr(drop, c) == nullptr) out += c;
  return out;
}

uint16_t MailFolderClass(const std::string& name) {
  if (strcasecmp(name.c_str(), "Tasks") == 0) return 5;
  if (name.empty() || name[0] != '(') return 0;
  static const char* const kFolders[] = {"($Inbox)", "($Drafts)", "($Sent)",
                                         "($All)",   "($ToDo)",   "($Trash)"};
  for (uint16_t i = 0; i < 6; ++i) {
    if (strcasecmp(name.c_str(), kFolders[i]) == 0) return static_cast<uint16_t>(i + 1);
  }
  return 0;
}

void InsertSorted(std::vector<NameEntry>* list, NameEntry entry) {
  auto at = list->begin();
  while (at != list->end() && strcasecmp(at->name.c_str(), entry.name.c_str()) <= 0) ++at;
  list->insert(at, std::move(entry));
}

uint32_t NextName(OpenDatabase& database, NameListKind kind, int start, std::string* name,
                  VXNoteId* id, uint16_t* mail_class) {
  static size_t cursors[3] = {0, 0, 0};
  size_t& cursor = cursors[static_cast<int>(kind)];
  std::vector<NameEntry>& list = BuiltList(database, kind);
  if (start == 1 || start == 2) cursor = 0;
  if (cursor >= list.size()) return kVXEndOfList;
  const NameEntry& entry = list[cursor++];
  if (name != nullptr) *name = entry.name;
  if (id != nullptr) *id = entry.id;
  if (mail_class != nullptr) *mail_class = entry.mailClass;
  return 0;
}

VXNoteId LocateViewOrFolder(VXHandle database, const std::string& name) {
  if (VXNoteId id = wrap::VXViewLocateByName(database, name.c_str())) return id;
  if (VXNoteId id = WalkForName(database, wrap::VXViewList, name)) return id;
  if (VXNoteId id = ::VXFolderLocateByName(database, ToPlatformText(name.c_str()).c_str())) return id;
  return WalkForName(database, wrap::VXFolderList, name);
}

VXNoteId ViewIdFromText(VXHandle database, const std::string& text) {
  if (text.find('g') != std::string::npos) {
    unsigned long words[4] = {0, 0, 0, 0};
    if (std::sscanf(text.c_str(), "%lxg%lxg%lxg%lx", &words[0], &words[1], &words[2], &words[3]) != 4)
      return 0;
    VXUnid unid;
    for (int i = 0; i < 4; ++i) unid.words[i] = static_cast<uint32_t>(words[i]);
    return VXDocumentLocateByUnid(database, &unid);
  }
  return static_cast<VXNoteId>(std::strtoul(text.c_str(), nullptr, 10));
}

}  // namespace platform
