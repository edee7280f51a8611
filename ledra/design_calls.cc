// Design access: forms and their fields, subforms, views, folders and
// agents, read from the design notes (items listed in ledra/objects.h).
#include <cstring>
#include <nlohmann/json.hpp>

#include "ledra/objects.h"
#include "ledra/vxapi.h"

namespace ledra {
namespace {

using nlohmann::json;

enum class Kind { kForm, kSubform, kView, kFolder, kAgent };

uint32_t ClassOf(Kind k) {
  switch (k) {
    case Kind::kForm:
    case Kind::kSubform:
      return kVXClassForm;
    case Kind::kView:
    case Kind::kFolder:
      return kVXClassView;
    case Kind::kAgent:
      return kVXClassAgent;
  }
  return 0;
}

bool IsKind(const Note& note, Kind k) {
  if (note.note_class != ClassOf(k)) return false;
  uint32_t flags = static_cast<uint32_t>(NumberItem(note, "$Flags", 0));
  switch (k) {
    case Kind::kForm:
      return (flags & kVXFormIsSubform) == 0;
    case Kind::kSubform:
      return (flags & kVXFormIsSubform) != 0;
    case Kind::kView:
      return (flags & kVXViewIsFolder) == 0;
    case Kind::kFolder:
      return (flags & kVXViewIsFolder) != 0;
    case Kind::kAgent:
      return true;
  }
  return false;
}

const char* KindName(Kind k) {
  switch (k) {
    case Kind::kForm:
      return "Form";
    case Kind::kSubform:
      return "Subform";
    case Kind::kView:
      return "View";
    case Kind::kFolder:
      return "Folder";
    case Kind::kAgent:
      return "Agent";
  }
  return "Design note";
}

// Fills a record from a design note; texts go to the database's storage.
void FillRecord(Database& db, const Note& note, VXDesignRecord* r) {
  *r = VXDesignRecord{};
  r->note_id = note.id;
  r->note_class = note.note_class;
  std::string full = TextItem(note, "$TITLE"), second, third;
  DesignNames(full, &second, &third);
  CopyText(full, r->full_name, sizeof r->full_name);
  CopyText(second, r->second_name, sizeof r->second_name);
  CopyText(third, r->third_name, sizeof r->third_name);
  bool parenthesised = second.size() >= 2 && second.front() == '(' && second.back() == ')';
  r->hidden = (NumberItem(note, "$Hidden", 0) != 0 || parenthesised) ? 1 : 0;
  r->flags = static_cast<uint32_t>(NumberItem(note, "$Flags", 0));
  r->response_kind = static_cast<uint32_t>(NumberItem(note, "$ResponseKind", 0));
  db.record_text1 = TextItem(note, "$Selection");
  db.record_text2 = TextItem(note, note.note_class == kVXClassForm ? "$Fields" : "$Columns");
  r->selection = db.record_text1.data();
  r->second_text = db.record_text2.data();
}

// Locked: the database's design notes, up to date with the file; null
// (with the error set) when they cannot be read.
DesignCache* DesignOf(Database& db) {
  DesignCache* design = nullptr;
  return db.store->Design(&design) == kVXOk ? design : nullptr;
}

// Locked: the design notes of a kind, in note id order.
std::vector<VXNoteId> NotesOf(Database& db, Kind k) {
  std::vector<VXNoteId> out;
  if (const DesignCache* design = DesignOf(db)) {
    for (const Note& note : design->notes())
      if (IsKind(note, k)) out.push_back(note.id);
  }
  return out;
}

// Locked: the first design note, in note id order, whose class has a bit of
// `mask` and whose name matches (for a kind, only notes of that kind). The
// answer is remembered until the design changes.
VXNoteId FindByName(Database& db, uint32_t mask, const Kind* k, const std::string& name) {
  DesignCache* design = DesignOf(db);
  if (design == nullptr) return 0;
  std::string key =
      std::to_string(mask) + (k != nullptr ? "/" + std::string(KindName(*k)) : "") + ":" + name;
  VXNoteId id = 0;
  if (design->Recall(key, &id)) return id;
  for (const Note& note : design->notes()) {
    if ((note.note_class & mask) == 0 || (k != nullptr && !IsKind(note, *k))) continue;
    if (DesignNameMatches(TextItem(note, "$TITLE"), name)) {
      id = note.id;
      break;
    }
  }
  // The next look-up of the name costs no reading while the design stays
  // as it is.
  design->Remember(key, id);
  return id;
}

VXStatus Walk(VXHandle database, Kind k, uint32_t code, VXDesignRecord* record) {
  std::shared_ptr<Database> db;
  if (VXStatus s = GetDatabase(database, &db); s != kVXOk) return s;
  if (record == nullptr)
    return Fail(kVXBadArgument, std::string(KindName(k)) + " list: no record given");
  std::lock_guard<std::mutex> lock(db->mutex);
  std::vector<VXNoteId>* walk = &db->walk_forms;
  size_t* pos = &db->pos_forms;
  if (k == Kind::kView) walk = &db->walk_views, pos = &db->pos_views;
  if (k == Kind::kFolder) walk = &db->walk_folders, pos = &db->pos_folders;
  if (k == Kind::kAgent) walk = &db->walk_agents, pos = &db->pos_agents;
  if (code == kVXListFirst) {
    *walk = NotesOf(*db, k);
    *pos = 0;
  } else if (code != kVXListNext) {
    return Fail(kVXBadArgument, std::string(KindName(k)) + " list: code " + std::to_string(code) +
                                    " is not 2 (first) or 4 (next)");
  }
  const DesignCache* design = DesignOf(*db);
  while (design != nullptr && *pos < walk->size()) {
    // A note deleted since the walk began is passed over.
    if (const Note* note = design->Find((*walk)[(*pos)++])) {
      FillRecord(*db, *note, record);
      return kVXOk;
    }
  }
  return kVXEndOfList;
}

VXStatus Fetch(VXHandle database, Kind k, VXNoteId id, VXDesignRecord* record) {
  std::shared_ptr<Database> db;
  if (VXStatus s = GetDatabase(database, &db); s != kVXOk) return s;
  if (record == nullptr)
    return Fail(kVXBadArgument, std::string(KindName(k)) + " fetch: no record given");
  std::lock_guard<std::mutex> lock(db->mutex);
  const DesignCache* design = DesignOf(*db);
  const Note* note = design != nullptr && id != 0 ? design->Find(id) : nullptr;
  if (note == nullptr || note->note_class != ClassOf(k)) {
    return Fail(k == Kind::kForm ? kVXNoSuchForm : kVXNoteNotFound,
                std::string(KindName(k)) + " " + std::to_string(id) + " not found in " +
                    db->store->label());
  }
  FillRecord(*db, *note, record);
  return kVXOk;
}

VXNoteId Locate(VXHandle database, Kind k, const char* name) {
  std::shared_ptr<Database> db;
  if (GetDatabase(database, &db) != kVXOk || name == nullptr) return 0;
  std::lock_guard<std::mutex> lock(db->mutex);
  return FindByName(*db, ClassOf(k), &k, name);
}

// Locked: the fields of a form as parsed JSON (an empty array when none).
VXStatus FormFields(Database& db, VXNoteId form, json* fields) {
  const DesignCache* design = DesignOf(db);
  const Note* note = design != nullptr && form != 0 ? design->Find(form) : nullptr;
  if (note == nullptr || note->note_class != kVXClassForm) {
    return Fail(kVXNoSuchForm,
                "Form " + std::to_string(form) + " not found in " + db.store->label());
  }
  *fields = json::parse(TextItem(*note, "$Fields"), nullptr, false);
  if (fields->is_discarded() || !fields->is_array()) *fields = json::array();
  return kVXOk;
}

std::string JsonText(const json& field, const char* key) {
  auto it = field.find(key);
  return (it != field.end() && it->is_string()) ? it->get<std::string>() : "";
}

uint32_t JsonNumber(const json& field, const char* key) {
  auto it = field.find(key);
  return (it != field.end() && it->is_number_unsigned()) ? it->get<uint32_t>() : 0;
}

}  // namespace

VXNoteId FormIdByName(Database& db, const std::string& name) {
  return FindByName(db, kVXClassForm, nullptr, name);
}

const Note* DesignNote(Database& db, VXNoteId id) {
  const DesignCache* design = DesignOf(db);
  return design != nullptr ? design->Find(id) : nullptr;
}

}  // namespace ledra

using namespace ledra;

VXStatus VXFormList(VXHandle database, uint32_t code, VXDesignRecord* record) {
  return Walk(database, Kind::kForm, code, record);
}
VXStatus VXFormFetch(VXHandle database, VXNoteId form, VXDesignRecord* record) {
  return Fetch(database, Kind::kForm, form, record);
}
VXNoteId VXFormLocateByName(VXHandle database, const char* name) {
  return Locate(database, Kind::kForm, name);
}
VXNoteId VXSubformLocateByName(VXHandle database, const char* name) {
  return Locate(database, Kind::kSubform, name);
}
VXStatus VXAgentList(VXHandle database, uint32_t code, VXDesignRecord* record) {
  return Walk(database, Kind::kAgent, code, record);
}
VXStatus VXViewList(VXHandle database, uint32_t code, VXDesignRecord* record) {
  return Walk(database, Kind::kView, code, record);
}
VXStatus VXFolderList(VXHandle database, uint32_t code, VXDesignRecord* record) {
  return Walk(database, Kind::kFolder, code, record);
}
VXNoteId VXViewLocateByName(VXHandle database, const char* name) {
  return Locate(database, Kind::kView, name);
}
VXNoteId VXFolderLocateByName(VXHandle database, const char* name) {
  return Locate(database, Kind::kFolder, name);
}
VXStatus VXViewFetch(VXHandle database, VXNoteId view, VXDesignRecord* record) {
  return Fetch(database, Kind::kView, view, record);
}

VXStatus VXFieldList(VXHandle database, VXNoteId form, uint32_t code, char* name, uint32_t size) {
  std::shared_ptr<Database> db;
  if (VXStatus s = GetDatabase(database, &db); s != kVXOk) return s;
  if (name == nullptr || size == 0) return Fail(kVXBadArgument, "Field list: no buffer given");
  std::lock_guard<std::mutex> lock(db->mutex);
  if (code == kVXListFirst) {
    json fields;
    if (VXStatus s = FormFields(*db, form, &fields); s != kVXOk) return s;
    db->walk_fields.clear();
    db->pos_fields = 0;
    for (const json& f : fields) {
      if (f.is_object()) db->walk_fields.push_back(JsonText(f, "name"));
    }
  } else if (code != kVXListNext) {
    return Fail(kVXBadArgument,
                "Field list: code " + std::to_string(code) + " is not 2 (first) or 4 (next)");
  }
  if (db->pos_fields >= db->walk_fields.size()) {
    name[0] = '\0';
    return kVXEndOfList;
  }
  CopyText(db->walk_fields[db->pos_fields++], name, size);
  return kVXOk;
}

VXStatus VXFieldFetch(VXHandle database, VXNoteId form, const char* name, VXFieldRecord* record) {
  std::shared_ptr<Database> db;
  if (VXStatus s = GetDatabase(database, &db); s != kVXOk) return s;
  if (name == nullptr || record == nullptr)
    return Fail(kVXBadArgument, "Field fetch: no name or no record given");
  std::lock_guard<std::mutex> lock(db->mutex);
  json fields;
  if (VXStatus s = FormFields(*db, form, &fields); s != kVXOk) return s;
  for (const json& f : fields) {
    if (!f.is_object() || !SameName(JsonText(f, "name"), name)) continue;
    *record = VXFieldRecord{};
    CopyText(JsonText(f, "name"), record->name, sizeof record->name);
    record->data_type = JsonNumber(f, "type");
    record->flags = JsonNumber(f, "flags");
    record->keyword_kind = JsonNumber(f, "keyword_kind");
    record->separator_kind = JsonNumber(f, "separator_kind");
    const char* keys[5] = {"help", "default", "input_translation", "validation", "computed"};
    char** slots[5] = {&record->help, &record->default_formula, &record->input_translation,
                       &record->validation, &record->computed};
    for (int i = 0; i < 5; ++i) {
      db->field_texts[i] = JsonText(f, keys[i]);
      *slots[i] = db->field_texts[i].data();
    }
    if (db->keyword_list != 0) (void)LCMemFree(db->keyword_list);  // the last fetch's list
    auto list = std::make_shared<Memory>();
    list->is_text_list = true;
    if (auto k = f.find("keywords"); k != f.end() && k->is_array()) {
      for (const json& e : *k) {
        if (e.is_string()) list->entries.push_back(e.get<std::string>());
      }
    }
    db->keyword_list = RegisterHandle(HandleKind::kMemory, list);
    record->keywords = db->keyword_list;
    return kVXOk;
  }
  return Fail(kVXItemNotFound, std::string("Field ") + name + " not found on form " +
                                   std::to_string(form) + " of " + db->store->label());
}

VXStatus VXSubformCreate(VXHandle database, VXSubformRecord* record, VXNoteId* id) {
  std::shared_ptr<Database> db;
  if (VXStatus s = GetDatabase(database, &db); s != kVXOk) return s;
  if (record == nullptr) return Fail(kVXBadArgument, "Subform create: no record given");
  std::string name(record->name, strnlen(record->name, sizeof record->name));
  std::string alias(record->alias, strnlen(record->alias, sizeof record->alias));
  if (name.empty()) return Fail(kVXBadArgument, "A subform needs a name");
  Note note;
  note.unid = NewUnid();
  note.note_class = kVXClassForm;
  PutText(&note, "$TITLE", alias.empty() ? name : name + "|" + alias);
  PutNumber(&note, "$Flags", kVXFormIsSubform);
  PutText(&note, "$Fields", "[]");
  std::lock_guard<std::mutex> lock(db->mutex);
  if (VXStatus s = db->store->Save(&note, {}); s != kVXOk) return s;
  if (id != nullptr) *id = note.id;
  return kVXOk;
}

VXStatus VXSubformCopy(VXHandle source, const char* name, VXHandle target, VXNoteId* id) {
  VXNoteId from_id = VXSubformLocateByName(source, name);
  std::shared_ptr<Database> from, to;
  if (VXStatus s = GetDatabase(source, &from); s != kVXOk) return s;
  if (VXStatus s = GetDatabase(target, &to); s != kVXOk) return s;
  if (from_id == 0) {
    return Fail(kVXNoteNotFound, std::string("Subform ") + (name ? name : "") + " not found in " +
                                     from->store->label());
  }
  Note note;
  {
    std::lock_guard<std::mutex> lock(from->mutex);
    if (VXStatus s = from->store->Load(from_id, &note); s != kVXOk) return s;
  }
  note.unid = NewUnid();
  std::lock_guard<std::mutex> lock(to->mutex);
  if (VXStatus s = to->store->Insert(&note, {}); s != kVXOk) return s;
  if (id != nullptr) *id = note.id;
  return kVXOk;
}
