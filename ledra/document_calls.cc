// The document calls: open, create, close, save, delete, copy, locate,
// properties, validation, formula execution and mail.
#include <cstring>
#include <mutex>

#include "ledra/formula_hooks.h"
#include "ledra/objects.h"
#include "ledra/vxapi.h"

namespace ledra {
namespace {

std::mutex hooks_mutex;
FormulaHooks hooks;  // guarded by hooks_mutex

std::string NoteLabel(const Database& db, VXNoteId id) {
  return "Document " + std::to_string(id) + " of " + DatabaseLabel(db.server, db.path);
}

// The design guard of database property 3.
VXStatus GuardDesign(const Database& db, VXNoteId id, uint32_t note_class) {
  if (note_class == kVXClassDocument || db.design_guard == 0) return kVXOk;
  return Fail(kVXDesignProtected, NoteLabel(db, id) + " is a design note (class " +
                                      std::to_string(note_class) +
                                      "); set database property 3 to 0 to reach it");
}

// Reads a stored note's attachments in full, for copies.
VXStatus ReadAllAttachments(NoteStore* store, VXNoteId id, std::vector<Attachment>* out) {
  out->clear();
  if (id == 0) return kVXOk;
  std::vector<Attachment> listed;
  if (VXStatus s = store->ListAttachments(id, &listed); s != kVXOk) return s;
  for (const Attachment& a : listed) {
    Attachment full;
    if (VXStatus s = store->ReadAttachment(id, a.name, &full); s != kVXOk) return s;
    out->push_back(std::move(full));
  }
  return kVXOk;
}

// The attachments a document handle holds now: stored ones with its pending
// changes applied.
VXStatus CurrentAttachments(Document& doc, std::vector<Attachment>* out) {
  if (VXStatus s = ReadAllAttachments(doc.database->store.get(), doc.note.id, out); s != kVXOk)
    return s;
  for (const AttachmentChange& c : doc.pending) {
    for (auto it = out->begin(); it != out->end(); ++it) {
      if (SameName(it->name, c.attachment.name)) {
        out->erase(it);
        break;
      }
    }
    if (!c.remove) out->push_back(c.attachment);
  }
  return kVXOk;
}

std::string DisplayTitle(const Note& note) {
  for (const char* name : {"Subject", "Title", "$TITLE", "UserTitle"}) {
    std::string t = TextItem(note, name);
    if (!t.empty()) return t;
  }
  return "";
}

VXStatus SaveLocked(Document& doc) {
  if (doc.read_only) {
    return Fail(kVXNotAllowed, NoteLabel(*doc.database, doc.note.id) +
                                   " was opened read-only and cannot be saved");
  }
  std::lock_guard<std::mutex> lock(doc.database->mutex);
  if (VXStatus s = doc.database->store->Save(&doc.note, doc.pending); s != kVXOk) return s;
  doc.pending.clear();
  doc.changed = false;
  return kVXOk;
}

}  // namespace

void RegisterFormulaHooks(const FormulaHooks& h) {
  std::lock_guard<std::mutex> lock(hooks_mutex);
  if (h.fill_defaults) hooks.fill_defaults = h.fill_defaults;
  if (h.compute_fields) hooks.compute_fields = h.compute_fields;
  if (h.validate) hooks.validate = h.validate;
  if (h.execute) hooks.execute = h.execute;
}

FormulaHooks CurrentFormulaHooks() {
  std::lock_guard<std::mutex> lock(hooks_mutex);
  return hooks;
}

// Used by VXMailSend and the tool: a copy of the document's current state.
VXStatus SnapshotDocument(VXHandle document, Note* note, std::vector<Attachment>* attachments) {
  std::shared_ptr<Document> doc;
  if (VXStatus s = GetDocument(document, &doc); s != kVXOk) return s;
  std::lock_guard<std::mutex> lock(doc->mutex);
  *note = doc->note;
  std::lock_guard<std::mutex> db_lock(doc->database->mutex);
  return CurrentAttachments(*doc, attachments);
}

}  // namespace ledra

using namespace ledra;

VXStatus VXDocumentOpen(VXHandle database, VXNoteId id, uint32_t flags, VXHandle* document) {
  if (document == nullptr) return Fail(kVXBadArgument, "Document open: no place for the handle");
  *document = 0;
  std::shared_ptr<Database> db;
  if (VXStatus s = GetDatabase(database, &db); s != kVXOk) return s;
  auto doc = std::make_shared<Document>();
  {
    std::lock_guard<std::mutex> lock(db->mutex);
    if (id == 0) return Fail(kVXNoteNotFound, "Document 0 not found in " + db->store->label());
    if (VXStatus s = db->store->Load(id, &doc->note); s != kVXOk) return s;
    if (VXStatus s = GuardDesign(*db, id, doc->note.note_class); s != kVXOk) return s;
  }
  doc->database = db;
  doc->database_handle = database;
  doc->read_only = (flags & kVXDocOpenReadOnly) != 0;
  *document = RegisterHandle(HandleKind::kDocument, doc);
  return kVXOk;
}

VXStatus VXDocumentCreate(VXHandle database, const char* form, VXHandle* document) {
  if (document == nullptr) return Fail(kVXBadArgument, "Document create: no place for the handle");
  *document = 0;
  std::shared_ptr<Database> db;
  if (VXStatus s = GetDatabase(database, &db); s != kVXOk) return s;
  auto doc = std::make_shared<Document>();
  doc->database = db;
  doc->database_handle = database;
  doc->note.unid = NewUnid();
  doc->note.created = NowTicks();
  doc->changed = true;
  if (form != nullptr && *form != '\0') PutText(&doc->note, "Form", form);
  VXHandle h = RegisterHandle(HandleKind::kDocument, doc);
  FormulaHooks current = CurrentFormulaHooks();
  if (form != nullptr && *form != '\0' && current.fill_defaults != nullptr) {
    if (VXStatus s = current.fill_defaults(h); s != kVXOk) {
      ReleaseHandle(h, HandleKind::kDocument);
      return s;
    }
  }
  *document = h;
  return kVXOk;
}

VXStatus VXDocumentSave(VXHandle document, uint32_t /*flags*/) {
  std::shared_ptr<Document> doc;
  if (VXStatus s = GetDocument(document, &doc); s != kVXOk) return s;
  FormulaHooks current = CurrentFormulaHooks();
  if (current.compute_fields != nullptr) {
    if (VXStatus s = current.compute_fields(document); s != kVXOk) return s;
  }
  std::lock_guard<std::mutex> lock(doc->mutex);
  return SaveLocked(*doc);
}

VXStatus VXDocumentClose(VXHandle document, uint32_t flags) {
  std::shared_ptr<Document> doc;
  if (VXStatus s = GetDocument(document, &doc); s != kVXOk) return s;
  VXStatus status = kVXOk;
  bool keep = (flags & kVXCloseDiscard) == 0 && (flags & (kVXCloseKeep | kVXCloseKeepShort)) != 0;
  bool is_new = doc->note.id == 0;
  if (keep && (doc->changed || is_new)) status = VXDocumentSave(document, 0);
  ReleaseHandle(document, HandleKind::kDocument);
  return status;
}

VXStatus VXDocumentDelete(VXHandle database, VXNoteId id, uint32_t flags) {
  std::shared_ptr<Database> db;
  if (VXStatus s = GetDatabase(database, &db); s != kVXOk) return s;
  std::lock_guard<std::mutex> lock(db->mutex);
  Note note;
  VXStatus s = db->store->Load(id, &note);
  if (s == kVXNoteNotFound && (flags & kVXDeleteQuiet) != 0) return kVXOk;
  if (s != kVXOk) return s;
  if (VXStatus g = GuardDesign(*db, id, note.note_class); g != kVXOk) return g;
  bool purge = (flags & kVXDeletePurge) != 0;
  if (purge && db->purge_allowed == 0) {
    return Fail(kVXNotAllowed,
                NoteLabel(*db, id) + " cannot be purged: database property 5 is not set");
  }
  return db->store->Delete(id, purge);
}

VXStatus VXDocumentCopy(VXHandle source, VXNoteId id, VXHandle target, uint32_t /*flags*/,
                        VXNoteId* new_id) {
  std::shared_ptr<Database> from, to;
  if (VXStatus s = GetDatabase(source, &from); s != kVXOk) return s;
  if (VXStatus s = GetDatabase(target, &to); s != kVXOk) return s;
  Note note;
  std::vector<Attachment> attachments;
  {
    std::lock_guard<std::mutex> lock(from->mutex);
    if (VXStatus s = from->store->Load(id, &note); s != kVXOk) return s;
    if (VXStatus s = GuardDesign(*from, id, note.note_class); s != kVXOk) return s;
    if (VXStatus s = ReadAllAttachments(from->store.get(), id, &attachments); s != kVXOk) return s;
  }
  // A copy is a new note everywhere: new UNID, new times.
  note.unid = NewUnid();
  note.created = NowTicks();
  std::lock_guard<std::mutex> lock(to->mutex);
  if (VXStatus s = to->store->Insert(&note, attachments); s != kVXOk) return s;
  if (new_id != nullptr) *new_id = note.id;
  return kVXOk;
}

VXNoteId VXDocumentLocateByUnid(VXHandle database, const VXUnid* unid) {
  std::shared_ptr<Database> db;
  if (GetDatabase(database, &db) != kVXOk || unid == nullptr) return 0;
  std::lock_guard<std::mutex> lock(db->mutex);
  return db->store->FindByUnid(*unid);
}

VXNoteId VXDocumentLocateByClass(VXHandle database, uint32_t note_class) {
  std::shared_ptr<Database> db;
  if (GetDatabase(database, &db) != kVXOk) return 0;
  std::lock_guard<std::mutex> lock(db->mutex);
  return db->store->FirstOfClass(note_class);
}

namespace ledra {
VXStatus PutTicks(void* value, uint32_t size, int64_t ticks);
}  // namespace ledra

VXStatus VXDocumentGetProperty(VXHandle document, uint32_t property, void* value, uint32_t size) {
  std::shared_ptr<Document> doc;
  if (VXStatus s = GetDocument(document, &doc); s != kVXOk) return s;
  if (value == nullptr)
    return Fail(kVXBadArgument,
                "Document property " + std::to_string(property) + ": no buffer given");
  std::lock_guard<std::mutex> lock(doc->mutex);
  const Note& note = doc->note;
  auto number = [&](int64_t v, bool wide) {
    if (wide) {
      if (size != 0 && size < 8)
        return Fail(kVXBufferTooSmall, "Document property buffer too small");
      std::memcpy(value, &v, 8);
    } else {
      if (size != 0 && size < 4)
        return Fail(kVXBufferTooSmall, "Document property buffer too small");
      uint32_t w = static_cast<uint32_t>(v);
      std::memcpy(value, &w, 4);
    }
    return kVXOk;
  };
  auto unid = [&](const VXUnid& u) {
    if (size != 0 && size < sizeof u) return Fail(kVXBufferTooSmall, "A UNID needs 16 bytes");
    std::memcpy(value, &u, sizeof u);
    return kVXOk;
  };
  switch (property) {
    case kDocPropSummary:
      return number(doc->summary, false);
    case kDocPropForm: {
      std::string form = TextItem(note, "Form");
      std::lock_guard<std::mutex> db_lock(doc->database->mutex);
      return number(form.empty() ? 0 : FormIdByName(*doc->database, form), false);
    }
    case kDocPropNoteId:
      return number(note.id, false);
    case kDocPropUnid:
      return unid(note.unid);
    case kDocPropDatabase:
      return number(doc->database_handle, false);
    case kDocPropCreated:
      return PutTicks(value, size, note.created);
    case kDocPropModified:
      return PutTicks(value, size, note.modified);
    case kDocPropSequence:
      return number(note.sequence, true);
    case kDocPropClass:
      return number(note.note_class, false);
    case kDocPropTitle:
      if (size == 0) return Fail(kVXBufferTooSmall, "Document title: buffer size 0");
      CopyText(DisplayTitle(note), static_cast<char*>(value), size);
      return kVXOk;
    case kDocPropTitleLength:
      return number(static_cast<int64_t>(DisplayTitle(note).size()), false);
    case kDocPropResponse:
      return number(note.has_parent ? 1 : 0, false);
    case 0x40000000:
      return number(document, false);  // the core handle (ledra/core_calls.h)
    case kDocPropParent:
      return unid(note.has_parent ? note.parent : VXUnid{});
    default:
      return Fail(kVXBadArgument,
                  "Document property " + std::to_string(property) + " is not known");
  }
}

VXStatus VXDocumentSetProperty(VXHandle document, uint32_t property, const void* value) {
  std::shared_ptr<Document> doc;
  if (VXStatus s = GetDocument(document, &doc); s != kVXOk) return s;
  if (value == nullptr)
    return Fail(kVXBadArgument,
                "Document property " + std::to_string(property) + ": no value given");
  std::lock_guard<std::mutex> lock(doc->mutex);
  int32_t number = 0;
  if (property != kDocPropParent) std::memcpy(&number, value, sizeof number);
  switch (property) {
    case kDocPropSummary:
      doc->summary = number;
      return kVXOk;
    case kDocPropClass:
      if (doc->note.id != 0) {
        return Fail(kVXNotAllowed,
                    NoteLabel(*doc->database, doc->note.id) + " is saved; its class cannot change");
      }
      if (number == 0 || (number & (number - 1)) != 0) {
        return Fail(kVXBadArgument, "Note class " + std::to_string(number) + " is not one class");
      }
      doc->note.note_class = static_cast<uint32_t>(number);
      doc->changed = true;
      return kVXOk;
    case kDocPropParent: {
      VXUnid u;
      std::memcpy(&u, value, sizeof u);
      doc->note.has_parent = !(u == VXUnid{});
      doc->note.parent = u;
      doc->changed = true;
      return kVXOk;
    }
    default:
      return Fail(kVXBadArgument,
                  "Document property " + std::to_string(property) + " cannot be set");
  }
}

VXStatus VXDocumentValidate(VXHandle document, char* message, uint32_t size) {
  std::shared_ptr<Document> doc;
  if (VXStatus s = GetDocument(document, &doc); s != kVXOk) return s;
  if (message != nullptr && size > 0) message[0] = '\0';
  FormulaHooks current = CurrentFormulaHooks();
  if (current.validate == nullptr) return kVXOk;  // no validation formulas can run
  return current.validate(document, message, size);
}

VXStatus VXDocumentExecute(VXHandle document, const char* formula, uint32_t length,
                           uint32_t flags) {
  std::shared_ptr<Document> doc;
  if (VXStatus s = GetDocument(document, &doc); s != kVXOk) return s;
  FormulaHooks current = CurrentFormulaHooks();
  if (current.execute == nullptr) {
    return Fail(kVXFormulaUnavailable,
                "Formulas cannot be evaluated: the formula module is not linked");
  }
  return current.execute(document, formula, length, flags);
}

VXStatus VXMailSend(VXHandle document, uint32_t /*flags*/) {
  Note note;
  std::vector<Attachment> attachments;
  if (VXStatus s = SnapshotDocument(document, &note, &attachments); s != kVXOk) return s;
  VXStatus s = VXDatabaseCreate("Local", "mail.box", "Outgoing Mail");
  if (s != kVXOk && s != kVXDatabaseExists) return s;
  std::shared_ptr<Database> box;
  if (VXStatus o = OpenDatabaseObject("Local", "mail.box", 0, &box); o != kVXOk) return o;
  note.unid = NewUnid();
  note.created = NowTicks();
  PutText(&note, "$MailBox", "Pending");
  std::lock_guard<std::mutex> lock(box->mutex);
  return box->store->Insert(&note, attachments);
}
