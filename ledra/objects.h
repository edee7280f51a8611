// The objects behind the handles of the store's calls, and the small shared
// pieces of those calls. Internal to ledra/.
#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ledra/handles.h"
#include "ledra/last_error.h"
#include "ledra/note.h"
#include "ledra/note_store.h"
#include "ledra/vx_types.h"

namespace ledra {

// An open database handle. Lock order: a Document's mutex before its
// Database's mutex.
struct Database {
  std::mutex mutex;
  std::unique_ptr<NoteStore> store;  // guarded by mutex
  std::string server;                // as the caller named it
  std::string path;                  // below the server's directory, "/" separated
  int32_t design_guard = 1;          // property 3
  int32_t fresh_reads = 0;           // property 4
  int32_t purge_allowed = 0;         // property 5
  // Design walks and the storage their records point into (guarded by mutex).
  std::vector<VXNoteId> walk_forms, walk_views, walk_folders, walk_agents;
  size_t pos_forms = 0, pos_views = 0, pos_folders = 0, pos_agents = 0;
  std::vector<std::string> walk_fields;
  size_t pos_fields = 0;
  std::string record_text1, record_text2;  // texts a VXDesignRecord points to
  std::string field_texts[5];              // texts a VXFieldRecord points to
  VXHandle keyword_list = 0;               // of the last VXFieldFetch
};

// An open document handle.
struct Document {
  std::mutex mutex;
  std::shared_ptr<Database> database;
  VXHandle database_handle = 0;
  Note note;
  bool read_only = false;
  bool changed = false;
  int32_t summary = 1;  // property 1
  std::vector<AttachmentChange> pending;  // attachment changes of the next save
  size_t item_cursor = 0;
  size_t attachment_cursor = 0;
  std::vector<Attachment> attachment_walk;
  std::string pointer_value;  // what VXItemGetPointer points to
};

// A memory handle (ledcore): bytes, or a text list.
struct Memory {
  std::mutex mutex;
  std::string bytes;
  std::vector<std::string> entries;  // for text-list handles
  bool is_text_list = false;
  int32_t locks = 0;
};

// Process-wide platform state.
bool PlatformReady();
int LockWaitMs(uint32_t open_flags);
std::string DefaultServer();

// Whether `path`, with every symbolic link resolved, lies below the data
// directory `dir` (itself resolved the same way).
bool InsideDataDirectory(const std::string& dir, const std::filesystem::path& path);

// Resolves server + path to a file; fails with a message naming the
// database. Absolute paths, ".." steps and paths whose real location lies
// outside the server's data directory (through a symbolic link) are refused.
[[nodiscard]] VXStatus ResolveDatabaseFile(const std::string& server, const std::string& path,
                                           std::string* file, std::string* clean_path);

// Opens a database by server and path into a new Database object.
[[nodiscard]] VXStatus OpenDatabaseObject(const std::string& server, const std::string& path,
                                          uint32_t flags, std::shared_ptr<Database>* out);

// Looks up handles, failing with kVXBadHandle and a message.
[[nodiscard]] VXStatus GetDatabase(VXHandle h, std::shared_ptr<Database>* out);
[[nodiscard]] VXStatus GetDocument(VXHandle h, std::shared_ptr<Document>* out);

// Copies text into a caller's buffer of size bytes (with its 0), cut at a
// UTF-8 character boundary; returns the bytes written without the 0.
uint32_t CopyText(const std::string& text, char* buffer, uint32_t size);

// The "$FILE" item of a note kept in step with its attachments.
void SetFileItem(Note* note, const std::vector<std::string>& names);
std::vector<std::string> FileItemNames(const Note& note);

// Design note helpers shared by the design calls, the design-source loader
// and the tool. Design items: "$TITLE" (full name), "$Flags", "$Hidden",
// "$ResponseKind" (numbers), "$Fields" (forms: JSON array), "$Columns"
// (views: JSON array), "$Selection" (views, agents: formula text).
std::string TextItem(const Note& note, const std::string& name);
double NumberItem(const Note& note, const std::string& name, double fallback);
void PutText(Note* note, const std::string& name, const std::string& value, uint32_t flags = kVXItemSummary);
void PutNumber(Note* note, const std::string& name, double value, uint32_t flags = kVXItemSummary);
// Splits a full design name into its second and third names (see
// VXDesignRecord); hidden when the name is written "(...)".
void DesignNames(const std::string& full, std::string* second, std::string* third);
// True when name matches the design note's full name, its second name, an
// alias or its display name "second/third" (case-insensitive).
bool DesignNameMatches(const std::string& full, const std::string& name);

}  // namespace ledra
