// The database calls: open, close, create, properties, listing, locating
// by replica id, delete, compact and copy.
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "ledra/objects.h"
#include "ledra/replication/replica_copy.h"
#include "ledra/settings.h"
#include "ledra/vxapi.h"

namespace ledra {
namespace {

namespace fs = std::filesystem;

// Per-thread walk of VXDatabaseList.
thread_local std::vector<VXDatabaseEntry> list_walk;
thread_local size_t list_pos = 0;

bool IsDatabaseName(const fs::path& p) {
  std::string ext = p.extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".ldf" || ext == ".ldw" || ext == ".ltf" || ext == ".clp" || ext == ".box";
}

// Reads title and replica id of a database file without a handle.
bool Peek(const std::string& file, std::string* title, uint32_t replica[2]) {
  std::unique_ptr<NoteStore> store;
  if (NoteStore::Open(file, file, 2000, &store) != kVXOk) return false;
  if (title != nullptr && store->GetInfo("title", title) != kVXOk) return false;
  if (replica != nullptr) {
    std::string r;
    if (store->GetInfo("replica_id", &r) != kVXOk) return false;
    unsigned long a = 0, b = 0;
    if (std::sscanf(r.c_str(), "%lu %lu", &a, &b) != 2) return false;
    replica[0] = static_cast<uint32_t>(a);
    replica[1] = static_cast<uint32_t>(b);
  }
  return true;
}

VXStatus Number(void* value, uint32_t size, int32_t v) {
  if (size != 0 && size < sizeof v) return Fail(kVXBufferTooSmall, "Property buffer too small for a number");
  std::memcpy(value, &v, sizeof v);
  return kVXOk;
}

VXStatus Number64(void* value, uint32_t size, int64_t v) {
  if (size != 0 && size < sizeof v) return Fail(kVXBufferTooSmall, "Property buffer too small for a 64-bit number");
  std::memcpy(value, &v, sizeof v);
  return kVXOk;
}

}  // namespace

// Date-time properties are written by datetime_calls.cc.
VXStatus PutTicks(void* value, uint32_t size, int64_t ticks);

// Copies every note of source whose class passes into target (same UNIDs).
VXStatus CopyNotes(NoteStore* source, NoteStore* target, uint32_t options, uint32_t class_mask) {
  uint32_t mask = 0;
  if ((options & kVXCopyDocuments) != 0) mask |= kVXClassDocument;
  if ((options & kVXCopyDesign) != 0) mask |= (class_mask == 0 ? 0xFFFFFFFEu : (class_mask & ~kVXClassDocument));
  if (mask == 0) return kVXOk;
  if (VXStatus s = target->BeginBatch(); s != kVXOk) return s;
  for (VXNoteId id : source->NotesOfClass(mask)) {
    Note note;
    if (VXStatus s = source->Load(id, &note); s != kVXOk) return s;
    std::vector<Attachment> attachments, listed;
    if (VXStatus s = source->ListAttachments(id, &listed); s != kVXOk) return s;
    for (const Attachment& a : listed) {
      Attachment full;
      if (VXStatus s = source->ReadAttachment(id, a.name, &full); s != kVXOk) return s;
      attachments.push_back(std::move(full));
    }
    if (VXStatus s = target->Insert(&note, attachments); s != kVXOk) return s;
  }
  return target->CommitBatch();
}

}  // namespace ledra

using namespace ledra;

VXStatus VXDatabaseOpen(const char* server, const char* path, uint32_t flags, VXHandle* database) {
  if (database == nullptr) return Fail(kVXBadArgument, "Database open: no place for the handle");
  *database = 0;
  std::string srv = (server == nullptr || *server == '\0') ? DefaultServer() : server;
  std::shared_ptr<Database> db;
  if (VXStatus s = OpenDatabaseObject(srv, path != nullptr ? path : "", flags, &db); s != kVXOk) return s;
  *database = RegisterHandle(HandleKind::kDatabase, db);
  return kVXOk;
}

VXStatus VXDatabaseClose(VXHandle database, uint32_t /*flags*/) {
  auto db = std::static_pointer_cast<Database>(ReleaseHandle(database, HandleKind::kDatabase));
  if (!db) return Fail(kVXBadHandle, "Invalid database handle " + std::to_string(database) + " (not open, or closed)");
  std::lock_guard<std::mutex> lock(db->mutex);
  if (db->keyword_list != 0) (void)LCMemFree(db->keyword_list);
  // A batch left open is committed: the caller's saves are kept.
  if (db->store && db->store->in_batch()) return db->store->CommitBatch();
  return kVXOk;
}

VXStatus VXDatabaseCreate(const char* server, const char* path, const char* title) {
  if (!PlatformReady()) return Fail(kVXNotInitialized, "The Ledra platform is not initialised (_VXInit has not run)");
  std::string srv = (server == nullptr || *server == '\0') ? DefaultServer() : server;
  std::string file, clean;
  if (VXStatus s = ResolveDatabaseFile(srv, path != nullptr ? path : "", &file, &clean); s != kVXOk) return s;
  uint32_t replica[2];
  NewReplicaId(replica);
  return NoteStore::Create(file, DatabaseLabel(srv, path), title != nullptr ? title : "", replica);
}

VXStatus VXDatabaseGetProperty(VXHandle database, uint32_t property, void* value, uint32_t size) {
  std::shared_ptr<Database> db;
  if (VXStatus s = GetDatabase(database, &db); s != kVXOk) return s;
  if (value == nullptr) return Fail(kVXBadArgument, "Database property " + std::to_string(property) + ": no buffer given");
  std::lock_guard<std::mutex> lock(db->mutex);
  NoteStore* store = db->store.get();
  auto text = [&](const std::string& t) {
    if (size == 0) return Fail(kVXBufferTooSmall, "Database property " + std::to_string(property) + ": buffer size 0");
    CopyText(t, static_cast<char*>(value), size);
    return kVXOk;
  };
  auto info_text = [&](const char* key) {
    std::string v;
    if (VXStatus s = store->GetInfo(key, &v); s != kVXOk) return s;
    return text(v);
  };
  switch (property) {
    case kDbPropDesignGuard: return Number(value, size, db->design_guard);
    case kDbPropFreshReads: return Number(value, size, db->fresh_reads);
    case kDbPropPurgeAllowed: return Number(value, size, db->purge_allowed);
    case kDbPropServer: return text(db->server);
    case kDbPropPath: return text(db->path);
    case kDbPropTitle: return info_text("title");
    case kDbPropFileName: return text(store->file());
    case kDbPropTemplate: return info_text("template");
    case kDbPropDesignTemplate: return info_text("design_template");
    case kDbPropDefaultForm: return Number(value, size, static_cast<int32_t>(store->InfoNumber("default_form", 0)));
    case kDbPropDefaultView: return Number(value, size, static_cast<int32_t>(store->InfoNumber("default_view", 0)));
    case kDbPropReplicaId: {
      if (size != 0 && size < 8) return Fail(kVXBufferTooSmall, "Replica id needs 8 bytes");
      std::string r;
      if (VXStatus s = store->GetInfo("replica_id", &r); s != kVXOk) return s;
      unsigned long a = 0, b = 0;
      if (std::sscanf(r.c_str(), "%lu %lu", &a, &b) != 2) {
        return Fail(kVXNotADatabase, store->label() + " has no readable replica id");
      }
      uint32_t words[2] = {static_cast<uint32_t>(a), static_cast<uint32_t>(b)};
      std::memcpy(value, words, sizeof words);
      return kVXOk;
    }
    case kDbPropCutoffDays: return Number(value, size, static_cast<int32_t>(store->InfoNumber("cutoff_days", 0)));
    case kDbPropReplOptions: return Number(value, size, static_cast<int32_t>(store->InfoNumber("repl_options", 0)));
    case kDbPropLastModified: {
      int64_t modified = 0;
      if (VXStatus s = store->Counters(nullptr, &modified); s != kVXOk) return s;
      if (modified == 0) modified = store->InfoNumber("created", 0);
      return PutTicks(value, size, modified);
    }
    case kDbPropBytesUsed:
    case kDbPropBytesFree: {
      int64_t used = 0, free_bytes = 0;
      if (VXStatus s = store->SpaceUsage(&used, &free_bytes); s != kVXOk) return s;
      return Number64(value, size, property == kDbPropBytesUsed ? used : free_bytes);
    }
    case kDbPropFtPresent: return Number(value, size, static_cast<int32_t>(store->InfoNumber("ft_present", 0)));
    case kDbPropFtUpdated: return PutTicks(value, size, store->InfoNumber("ft_updated", 0));
    case kDbPropEncryptionLevel: return Number(value, size, static_cast<int32_t>(store->InfoNumber("encryption_level", 0)));
    case kDbPropEncrypted: return Number(value, size, 0);
    case kDbPropBatch: return Number(value, size, store->in_batch() ? 1 : 0);
    case 0x40000000:  // the core handle (ledra/core_calls.h): the same handle here
      return Number(value, size, static_cast<int32_t>(database));
    case kDbPropSequence: {
      int64_t seq = 0;
      if (VXStatus s = store->Counters(&seq, nullptr); s != kVXOk) return s;
      return Number64(value, size, seq);
    }
    default:
      return Fail(kVXBadArgument, "Database property " + std::to_string(property) + " is not known");
  }
}

VXStatus VXDatabaseSetProperty(VXHandle database, uint32_t property, const void* value) {
  std::shared_ptr<Database> db;
  if (VXStatus s = GetDatabase(database, &db); s != kVXOk) return s;
  if (value == nullptr) return Fail(kVXBadArgument, "Database property " + std::to_string(property) + ": no value given");
  std::lock_guard<std::mutex> lock(db->mutex);
  NoteStore* store = db->store.get();
  int32_t number = 0;
  if (property != kDbPropTitle && property != kDbPropTemplate && property != kDbPropDesignTemplate) {
    std::memcpy(&number, value, sizeof number);
  }
  switch (property) {
    case kDbPropDesignGuard: db->design_guard = number; return kVXOk;
    case kDbPropFreshReads: db->fresh_reads = number; return kVXOk;
    case kDbPropPurgeAllowed: db->purge_allowed = number; return kVXOk;
    case kDbPropTitle: return store->SetInfo("title", static_cast<const char*>(value));
    case kDbPropTemplate: return store->SetInfo("template", static_cast<const char*>(value));
    case kDbPropDesignTemplate: return store->SetInfo("design_template", static_cast<const char*>(value));
    case kDbPropDefaultForm: return store->SetInfo("default_form", std::to_string(static_cast<uint32_t>(number)));
    case kDbPropDefaultView: return store->SetInfo("default_view", std::to_string(static_cast<uint32_t>(number)));
    case kDbPropCutoffDays: return store->SetInfo("cutoff_days", std::to_string(number));
    case kDbPropReplOptions: return store->SetInfo("repl_options", std::to_string(number));
    case kDbPropBatch: return number != 0 ? store->BeginBatch() : store->CommitBatch();
    default:
      return Fail(kVXBadArgument, "Database property " + std::to_string(property) + " cannot be set");
  }
}

VXStatus VXDatabaseList(const char* server, const char* folder, uint32_t /*reserved*/, uint32_t kinds,
                        uint32_t code, VXDatabaseEntry* entry) {
  if (entry == nullptr) return Fail(kVXBadArgument, "Database list: no entry given");
  if (code == 1 || code == kVXListFirst) {
    list_walk.clear();
    list_pos = 0;
    std::string srv = (server == nullptr || *server == '\0') ? DefaultServer() : server;
    std::optional<std::string> dir = ServerDirectory(srv);
    if (!dir) return Fail(kVXServerNotFound, "Server " + srv + " not found (not named in " + SettingsFile() + ")");
    std::string sub = folder != nullptr ? folder : "";
    for (char& c : sub) {
      if (c == '\\') c = '/';
    }
    fs::path base(*dir);
    if (!sub.empty()) {
      fs::path rel(sub);
      for (const fs::path& part : rel) {
        if (part == ".." || rel.is_absolute()) {
          return Fail(kVXBadArgument, "Folder " + sub + " of server " + srv + " leaves the data directory");
        }
      }
      base /= rel;
    }
    std::error_code ec;
    if (!fs::is_directory(base, ec)) return Fail(kVXDatabaseNotFound, "Folder " + srv + "!!" + sub + " not found");
    std::vector<fs::directory_entry> found;
    for (const fs::directory_entry& e : fs::directory_iterator(base, ec)) found.push_back(e);
    std::sort(found.begin(), found.end(), [](const fs::directory_entry& a, const fs::directory_entry& b) {
      return a.path().filename().string() < b.path().filename().string();
    });
    if (kinds == 0) kinds = kVXListDatabases | kVXListFolders;
    for (const fs::directory_entry& e : found) {
      std::string name = e.path().filename().string();
      if (name.empty() || name[0] == '.') continue;
      if (!InsideDataDirectory(*dir, e.path())) continue;  // a link that leads out
      VXDatabaseEntry out;
      if (e.is_directory(ec)) {
        if ((kinds & kVXListFolders) == 0) continue;
        out.is_folder = 1;
        CopyText(name, out.title, sizeof out.title);
      } else if (e.is_regular_file(ec) && IsDatabaseName(e.path())) {
        if ((kinds & kVXListDatabases) == 0) continue;
        std::string title;
        if (!Peek(e.path().string(), &title, nullptr)) continue;  // not a Ledra database
        CopyText(title, out.title, sizeof out.title);
      } else {
        continue;
      }
      CopyText(name, out.name, sizeof out.name);
      list_walk.push_back(out);
    }
  } else if (code != kVXListNext) {
    return Fail(kVXBadArgument, "Database list: code " + std::to_string(code) + " is not 1 or 2 (first) or 4 (next)");
  }
  if (list_pos >= list_walk.size()) return kVXEndOfList;
  *entry = list_walk[list_pos++];
  return kVXOk;
}

VXStatus VXDatabaseLocateByReplicaid(const char* server, const char* folder, const uint32_t replica_id[2],
                                     uint32_t /*flags*/, uint32_t /*reserved*/, char* path) {
  if (replica_id == nullptr || path == nullptr) return Fail(kVXBadArgument, "Locate by replica id: no id or no buffer");
  path[0] = '\0';
  std::string srv = (server == nullptr || *server == '\0') ? DefaultServer() : server;
  std::optional<std::string> dir = ServerDirectory(srv);
  if (!dir) return Fail(kVXServerNotFound, "Server " + srv + " not found (not named in " + SettingsFile() + ")");
  fs::path base(*dir);
  if (folder != nullptr && *folder != '\0') base /= folder;
  std::error_code ec;
  std::vector<std::string> matches;
  for (auto it = fs::recursive_directory_iterator(base, fs::directory_options::skip_permission_denied, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (ec) break;
    if (!it->is_regular_file(ec) || !IsDatabaseName(it->path())) continue;
    if (!InsideDataDirectory(*dir, it->path())) continue;
    uint32_t id[2];
    if (Peek(it->path().string(), nullptr, id) && id[0] == replica_id[0] && id[1] == replica_id[1]) {
      matches.push_back(fs::relative(it->path(), *dir, ec).string());
    }
  }
  if (matches.empty()) {
    char text[40];
    std::snprintf(text, sizeof text, "%xg%x", replica_id[0], replica_id[1]);
    return Fail(kVXDatabaseNotFound, "No database with replica id " + std::string(text) + " on server " + srv);
  }
  // Several replicas on one server: the shortest path wins, then by name.
  std::sort(matches.begin(), matches.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  CopyText(matches[0], path, kVXPathSize);
  return kVXOk;
}

VXStatus VXDatabaseDelete(const char* server, const char* path) {
  std::string srv = (server == nullptr || *server == '\0') ? DefaultServer() : server;
  std::string file, clean;
  if (VXStatus s = ResolveDatabaseFile(srv, path != nullptr ? path : "", &file, &clean); s != kVXOk) return s;
  std::string label = DatabaseLabel(srv, path);
  // Only a Ledra database is deleted, never some other file of that name.
  {
    std::unique_ptr<NoteStore> store;
    if (VXStatus s = NoteStore::Open(file, label, LockWaitMs(0), &store); s != kVXOk) return s;
  }
  if (::unlink(file.c_str()) != 0) {
    return Fail(kVXFileError, label + " cannot be deleted: " + std::strerror(errno));
  }
  ::unlink((file + "-wal").c_str());
  ::unlink((file + "-shm").c_str());
  return kVXOk;
}

VXStatus VXDatabaseCompact(const char* server, const char* path) {
  std::string srv = (server == nullptr || *server == '\0') ? DefaultServer() : server;
  std::shared_ptr<Database> db;
  if (VXStatus s = OpenDatabaseObject(srv, path != nullptr ? path : "", kVXOpenJob, &db); s != kVXOk) return s;
  return db->store->Vacuum();
}

VXStatus VXDatabaseCopy(const char* source_server, const char* source_path, const char* target_server,
                        const char* target_path, uint32_t /*reserved*/, uint32_t options, uint32_t class_mask,
                        const char* title) {
  std::string src_srv = (source_server == nullptr || *source_server == '\0') ? DefaultServer() : source_server;
  std::string dst_srv = (target_server == nullptr || *target_server == '\0') ? DefaultServer() : target_server;
  std::shared_ptr<Database> source;
  if (VXStatus s = OpenDatabaseObject(src_srv, source_path != nullptr ? source_path : "", kVXOpenJob, &source);
      s != kVXOk) {
    return s;
  }
  std::string file, clean;
  if (VXStatus s = ResolveDatabaseFile(dst_srv, target_path != nullptr ? target_path : "", &file, &clean);
      s != kVXOk) {
    return s;
  }
  NoteStore* from = source->store.get();
  std::string src_title;
  if (VXStatus s = from->GetInfo("title", &src_title); s != kVXOk) return s;
  uint32_t replica[2];
  if ((options & kVXCopyReplica) != 0) {
    std::string r;
    unsigned long a = 0, b = 0;
    if (from->GetInfo("replica_id", &r) != kVXOk || std::sscanf(r.c_str(), "%lu %lu", &a, &b) != 2) {
      return Fail(kVXNotADatabase, from->label() + " has no readable replica id");
    }
    replica[0] = static_cast<uint32_t>(a);
    replica[1] = static_cast<uint32_t>(b);
  } else {
    NewReplicaId(replica);
  }
  std::string label = DatabaseLabel(dst_srv, target_path != nullptr ? target_path : "");
  std::string new_title = (title != nullptr && *title != '\0') ? title : src_title;
  if (VXStatus s = NoteStore::Create(file, label, new_title, replica); s != kVXOk) return s;
  std::unique_ptr<NoteStore> to;
  VXStatus s = NoteStore::Open(file, label, LockWaitMs(kVXOpenJob), &to);
  if (s == kVXOk) {
    // A new replica keeps its notes' identities and revisions.
    s = (options & kVXCopyReplica) != 0
            ? replication::CopyReplicaNotes(from, to.get(), options, class_mask, src_srv, source->path)
            : CopyNotes(from, to.get(), options, class_mask);
  }
  if (s == kVXOk && (options & kVXCopyProperties) != 0) {
    for (const char* key : {"default_form", "default_view", "cutoff_days", "repl_options", "design_template"}) {
      std::string v;
      if (s == kVXOk) s = from->GetInfo(key, &v);
      if (s == kVXOk && !v.empty()) s = to->SetInfo(key, v);
    }
  }
  if (s == kVXOk) {
    s = to->SetInfo("template", (options & kVXCopyReplica) != 0 ? "" : (source_path != nullptr ? source_path : ""));
  }
  uint32_t level = (options & kVXCopyEncryptionMask) >> 24;
  if (s == kVXOk && level > 0) s = to->SetInfo("encryption_level", std::to_string(std::min<uint32_t>(level, 3)));
  if (s != kVXOk) {
    // A half-made copy is removed so that a retry starts clean.
    LastError keep = LastFailure();
    to.reset();
    ::unlink(file.c_str());
    ::unlink((file + "-wal").c_str());
    ::unlink((file + "-shm").c_str());
    return Fail(keep.code, keep.message, keep.detail);
  }
  return kVXOk;
}
