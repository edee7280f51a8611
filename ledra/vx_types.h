// The values that pass through the Vantix calls of the Ledra platform
// stand-in: statuses, handles, UNIDs, item types, note classes, the records
// the design calls fill in, and THE TABLE of every property number and flag
// this platform gives a meaning to. The calls themselves are in ledra/vxapi.h.
#pragma once

#include <cstdint>

namespace ledra {
struct Datetime;  // ledra/datetime.h
}

// Every call returns a 32-bit status; 0 is success.
using VXStatus = uint32_t;
// Database, document, memory, index and composite handles: 32-bit, never 0.
using VXHandle = uint32_t;
// A note id: 32-bit, per database, never reused within that database.
using VXNoteId = uint32_t;

// A universal note id: four 32-bit words, unique everywhere. Text form
// "%lxg%lxg%lxg%lxg" (the programs' own helpers print it).
struct VXUnid {
  uint32_t words[4] = {0, 0, 0, 0};
};
inline bool operator==(const VXUnid& a, const VXUnid& b) {
  return a.words[0] == b.words[0] && a.words[1] == b.words[1] &&
         a.words[2] == b.words[2] && a.words[3] == b.words[3];
}

// ---------------------------------------------------------------------------
// Statuses. The message text of each failure comes from VXErrorFetch.
inline constexpr VXStatus kVXOk = 0;
inline constexpr VXStatus kVXBadHandle = 0x80000101;      // handle unknown, closed or of another kind
inline constexpr VXStatus kVXBadArgument = 0x80000102;    // missing pointer, unknown code or property
inline constexpr VXStatus kVXDatabaseNotFound = 0x80000103;
inline constexpr VXStatus kVXServerNotFound = 0x80000104;
inline constexpr VXStatus kVXNotADatabase = 0x80000105;   // file is not a Ledra database or is damaged
inline constexpr VXStatus kVXStorageError = 0x80000106;   // the database file could not be read or written
inline constexpr VXStatus kVXEndOfList = 0x80000107;      // every list ends with this
inline constexpr VXStatus kVXItemNotFound = 0x80000108;
inline constexpr VXStatus kVXNoteNotFound = 0x80000109;
inline constexpr VXStatus kVXBufferTooSmall = 0x8000010A;
inline constexpr VXStatus kVXDatabaseExists = 0x8000010B;
inline constexpr VXStatus kVXBusy = 0x8000010C;           // another process held the database too long
inline constexpr VXStatus kVXDesignProtected = 0x8000010D;  // see database property 3
inline constexpr VXStatus kVXNotInitialized = 0x8000010E; // _VXInit has not run
inline constexpr VXStatus kVXFormulaUnavailable = 0x8000010F;
inline constexpr VXStatus kVXAttachmentNotFound = 0x80000110;
inline constexpr VXStatus kVXFileError = 0x80000111;      // an outside file could not be read or written
inline constexpr VXStatus kVXConversionFailed = 0x80000112;
inline constexpr VXStatus kVXValidationFailed = 0x80000113;
inline constexpr VXStatus kVXWrongType = 0x80000114;
inline constexpr VXStatus kVXNotAllowed = 0x80000115;     // see database property 5
inline constexpr VXStatus kVXSettingsError = 0x80000116;  // ledra.ini unreadable or unwritable
inline constexpr VXStatus kVXFormulaError = 0x80000117;   // a formula does not compile or fails when evaluated
inline constexpr VXStatus kVXNoSuchForm = 0x80000801;

// List codes: the first call of a walk passes kVXListFirst, the next ones
// kVXListNext. VXDatabaseList also takes 1 for its first call.
inline constexpr uint32_t kVXListFirst = 2;
inline constexpr uint32_t kVXListNext = 4;

// ---------------------------------------------------------------------------
// Item types. A field's data type uses the same numbers.
inline constexpr uint16_t kVXTypeNumber = 1;        // double
inline constexpr uint16_t kVXTypeText = 2;          // UTF-8 bytes
inline constexpr uint16_t kVXTypeDatetime = 3;      // ledra::Datetime
inline constexpr uint16_t kVXTypeTextList = 4;      // entries, each ending in a 0 byte
inline constexpr uint16_t kVXTypeNumberList = 5;    // array of double
inline constexpr uint16_t kVXTypeDatetimeList = 6;  // array of ledra::Datetime
inline constexpr uint16_t kVXTypeRichText = 7;      // rich-text records, opaque to the store
inline constexpr uint16_t kVXTypeAttachmentRef = 1024;  // the "$FILE" item: attachment names as a text list
inline constexpr uint16_t kVXTypeFormula = 1536;    // compiled formula, opaque to the store

// Item flags (VXItemPut, VXItemGetInfo).
inline constexpr uint32_t kVXItemSummary = 0x0004;  // value kept for views and selection formulas
inline constexpr uint32_t kVXItemReaders = 0x0400;  // names item (recorded, not enforced)
inline constexpr uint32_t kVXItemAuthors = 0x0800;  // names item (recorded, not enforced)

// Note classes. A folder is a view note whose design flag kVXViewIsFolder is
// set; a subform is a form note with kVXFormIsSubform.
inline constexpr uint32_t kVXClassDocument = 1;
inline constexpr uint32_t kVXClassAbout = 2;
inline constexpr uint32_t kVXClassForm = 4;
inline constexpr uint32_t kVXClassView = 8;
inline constexpr uint32_t kVXClassIcon = 16;
inline constexpr uint32_t kVXClassDesign = 32;
inline constexpr uint32_t kVXClassAcl = 64;
inline constexpr uint32_t kVXClassHelpIndex = 128;
inline constexpr uint32_t kVXClassUsing = 256;
inline constexpr uint32_t kVXClassAgent = 512;
inline constexpr uint32_t kVXClassField = 1024;
inline constexpr uint32_t kVXClassReplFormula = 2048;

// ---------------------------------------------------------------------------
// THE PROPERTY AND FLAG TABLE. Every number a caller passes is here.
//
// Platform properties (VXSetProperty / VXGetProperty), process-wide:
//   1  text    default server name; "Local" when unset
//   2  int32   1: never prompt for a password (ID files here carry none)
//   9  int32   1: the process has no user at a terminal; the platform prints
//              nothing of its own (it never does; recorded for VXGetProperty)
//   10 text    the current user's name (read only): first line of the ID file
//              named by KeyFilename in ledra.ini, else the login name
//   19 int32   seconds a call waits for another process's write lock before
//              failing with kVXBusy (default 30)
//
// Database properties (VXDatabaseGetProperty / VXDatabaseSetProperty):
//   3  int32   design guard, per handle, default 1: while 1, the document
//              calls refuse design notes (open, delete, copy of forms, views,
//              About/Using, replication formulas...) with kVXDesignProtected;
//              callers set 0 around the few places that handle design notes
//   4  int32   fresh reads, per handle, default 0: when 1, indexes opened or
//              searched on this handle are refreshed first (every save up to
//              that moment is seen); formula evaluation may read other notes
//   5  int32   purge permission, per handle, default 0: when 1, VXDocumentDelete
//              with kVXDeletePurge is allowed
//   6  text    server name (read only)
//   7  text    path of the database below its server's data directory
//   8  text    title (read/write; stored in the file)
//   9  text    full file name on this machine (read only)
//   10 text    template name the database was made from ("" none)
//   11 text    design template name it offers to others ("" none)
//   12 int32   default form note id (read/write; 0 none)
//   13 int32   default view note id (read/write; 0 none)
//   15 uint32[2] replica id (read only); printed "%lxg%lx"
//   16 int32   cut-off interval in days (stored in the replication
//              information; replication uses it when property 18 has 0x80)
//   18 int32   replication options: 0x80 remove documents older than the
//              cut-off interval; others recorded
//   21 Datetime last data modification: the latest save or deletion of a
//              document (design changes do not count)
//   24 int64   bytes in use by the file
//   25 int64   free bytes inside the file (reclaimed by VXDatabaseCompact)
//   26 int32   1 when a full-text index is present (read only)
//   27 Datetime when the full-text index was last updated (read only)
//   28 int32   encryption level requested when the database was made (0-3);
//              recorded only: the file itself is never encrypted
//   29 int32   1 when the file is encrypted: always 0 here (read only)
//   30 int32   batch, per handle: writing 1 opens a transaction that holds
//              every later save of this handle until 0 is written (commit) or
//              the handle closes (commit). A save inside a batch is durable at
//              the commit, not when it returns.
//   31 int64   modification sequence: the highest sequence number given to a
//              note of the database (read only). Every save and deletion
//              takes the next number; deletions leave a stub that carries it.
//
// Document properties (VXDocumentGetProperty / VXDocumentSetProperty):
//   1  int32   summary mode for items put on this handle: 1 marks them
//              kVXItemSummary (views and selection formulas read every item
//              either way; the flag is recorded). Default 1.
//   2  int32   note id of the document's form (0 when "Form" names no form)
//   4  int32   note id (0 until first saved)
//   5  VXUnid  UNID
//   7  int32   database handle the document was opened through
//   8  Datetime created
//   9  Datetime last modified (saved)
//   11 int64   modification sequence of the last save
//   12 int32   note class (read/write before the first save)
//   13 text    display title: the first of the items "Subject", "Title",
//              "$TITLE", "UserTitle" that holds text; else ""
//   14 int32   length in bytes of property 13
//   19 int32   1 when the document is a response (has a parent) (read only)
//   20 VXUnid  parent UNID; writing it makes the document a response of
//              that document, writing all-zero makes it a main document
//
// Property 0x40000000 of a database or document handle gives its ledcore
//   core handle (ledra/core_calls.h): the same handle in this platform.
// Open flags (VXDatabaseOpen):   0 plain; 2 job mode: wait up to 120 s for
//   locks; 128 the caller keeps the handle across requests (no effect).
// Close flags (VXDatabaseClose): 0 final; 2 release (same effect here).
// Document open flags (VXDocumentOpen): 0 full; 1 read only (saves refuse).
// Document close flags (VXDocumentClose): 0x20000 discard changes;
//   0x10000 or 4: save when changed, then close; 0 close (after a save).
// Save flags (VXDocumentSave): 0x10000 or 0 plain save.
// Delete flags (VXDocumentDelete): 1 a missing note is not an error;
//   512 purge: the deletion stub is marked local and is not replicated
//   (needs database property 5). Every deletion leaves a stub.
// Attach flags (VXAttachmentAttach): 1 compress (zlib); 0 store as is.
// Environment flags (VXSetEnvironmentString): 1 write through (always).
// Copy options (VXDatabaseCopy): 0x001 documents, 0x002 design notes (of the
//   classes in the class mask, 0 = every class), 0x004 database properties,
//   0x100 the copy is a new replica (keeps the replica id, and its notes
//   keep their UNIDs, times and revisions: ledra/replication/; without it
//   the copy gets a new replica id), 0x1000000/0x2000000/0x3000000 encryption
//   level 1-3 (recorded as property 28).
// Database list (VXDatabaseList) kinds: 0x8000 databases, 0x4000 folders.
// Date-time difference units: 1 hundredths, 2 seconds, 3 minutes, 4 hours,
//   5 days, 6 weeks.
// Form design flags: 0x02 offer to mail after a save; 0x04 subform;
//   0x08 navigator form. Response kinds: 0 document, 1 response,
//   2 response to response.
// View design flags: 0x01 categories start collapsed; 0x10 folder.
// Column flags: 0x08 hidden; 0x10 response-only; 0x40 values name icons;
//   0x01 sorted; 0x02 descending; 0x04 categorised.
// Field flags: 0x01 default formula evaluated on compose/inherit;
//   0x02 editable.
// ---------------------------------------------------------------------------
inline constexpr uint32_t kVXPropDefaultServer = 1;
inline constexpr uint32_t kVXPropNoPrompt = 2;
inline constexpr uint32_t kVXPropQuiet = 9;
inline constexpr uint32_t kVXPropUserName = 10;
inline constexpr uint32_t kVXPropLockWait = 19;

inline constexpr uint32_t kDbPropDesignGuard = 3;
inline constexpr uint32_t kDbPropFreshReads = 4;
inline constexpr uint32_t kDbPropPurgeAllowed = 5;
inline constexpr uint32_t kDbPropServer = 6;
inline constexpr uint32_t kDbPropPath = 7;
inline constexpr uint32_t kDbPropTitle = 8;
inline constexpr uint32_t kDbPropFileName = 9;
inline constexpr uint32_t kDbPropTemplate = 10;
inline constexpr uint32_t kDbPropDesignTemplate = 11;
inline constexpr uint32_t kDbPropDefaultForm = 12;
inline constexpr uint32_t kDbPropDefaultView = 13;
inline constexpr uint32_t kDbPropReplicaId = 15;
inline constexpr uint32_t kDbPropCutoffDays = 16;
inline constexpr uint32_t kDbPropReplOptions = 18;
inline constexpr uint32_t kDbPropLastModified = 21;
inline constexpr uint32_t kDbPropBytesUsed = 24;
inline constexpr uint32_t kDbPropBytesFree = 25;
inline constexpr uint32_t kDbPropFtPresent = 26;
inline constexpr uint32_t kDbPropFtUpdated = 27;
inline constexpr uint32_t kDbPropEncryptionLevel = 28;
inline constexpr uint32_t kDbPropEncrypted = 29;
inline constexpr uint32_t kDbPropBatch = 30;
inline constexpr uint32_t kDbPropSequence = 31;

inline constexpr uint32_t kDocPropSummary = 1;
inline constexpr uint32_t kDocPropForm = 2;
inline constexpr uint32_t kDocPropNoteId = 4;
inline constexpr uint32_t kDocPropUnid = 5;
inline constexpr uint32_t kDocPropDatabase = 7;
inline constexpr uint32_t kDocPropCreated = 8;
inline constexpr uint32_t kDocPropModified = 9;
inline constexpr uint32_t kDocPropSequence = 11;
inline constexpr uint32_t kDocPropClass = 12;
inline constexpr uint32_t kDocPropTitle = 13;
inline constexpr uint32_t kDocPropTitleLength = 14;
inline constexpr uint32_t kDocPropResponse = 19;
inline constexpr uint32_t kDocPropParent = 20;

inline constexpr uint32_t kVXOpenJob = 2;
inline constexpr uint32_t kVXOpenKeep = 128;
inline constexpr uint32_t kVXDocOpenReadOnly = 1;
inline constexpr uint32_t kVXCloseDiscard = 0x20000;
inline constexpr uint32_t kVXCloseKeep = 0x10000;
inline constexpr uint32_t kVXCloseKeepShort = 4;
inline constexpr uint32_t kVXDeleteQuiet = 1;
inline constexpr uint32_t kVXDeletePurge = 512;
inline constexpr uint32_t kVXAttachCompress = 1;
inline constexpr uint32_t kVXCopyDocuments = 0x001;
inline constexpr uint32_t kVXCopyDesign = 0x002;
inline constexpr uint32_t kVXCopyProperties = 0x004;
inline constexpr uint32_t kVXCopyReplica = 0x100;
inline constexpr uint32_t kVXCopyEncryptionMask = 0x0F000000;
inline constexpr uint32_t kVXListDatabases = 0x8000;
inline constexpr uint32_t kVXListFolders = 0x4000;

inline constexpr uint32_t kVXFormMailAfterSave = 0x02;
inline constexpr uint32_t kVXFormIsSubform = 0x04;
inline constexpr uint32_t kVXFormIsNavigator = 0x08;
inline constexpr uint32_t kVXViewCollapsed = 0x01;
inline constexpr uint32_t kVXViewIsFolder = 0x10;

// Sizes of the fixed buffers the calls fill.
inline constexpr uint32_t kVXErrorTextSize = 256;  // VXErrorFetch
inline constexpr uint32_t kVXPathSize = 256;       // VXDatabaseLocateByReplicaid, VXDatabaseList
inline constexpr uint32_t kVXFullNameSize = 130;
inline constexpr uint32_t kVXNameSize = 65;

// A design note as VXFormList/Fetch, VXViewList/Fetch, VXFolderList,
// VXAgentList give it. The text pointers point into storage owned by the
// database handle; they stay valid (and writable, for in-place conversion)
// until the next design call on that handle or its close.
struct VXDesignRecord {
  VXNoteId note_id = 0;
  uint32_t note_class = 0;
  char full_name[kVXFullNameSize] = {};   // as designed, with "|" aliases
  char second_name[kVXNameSize] = {};     // before the first "\" (cascade), without aliases
  char third_name[kVXNameSize] = {};      // after the first "\"; "" when none
  uint32_t hidden = 0;                    // 1 for hidden design, names in "(...)"
  uint32_t flags = 0;                     // design flags word (table above)
  uint32_t response_kind = 0;             // forms: 0, 1, 2 (table above)
  char* selection = nullptr;              // views: selection formula; agents: formula
  char* second_text = nullptr;            // views: columns as JSON; forms: fields as JSON
};

// A field of a form (VXFieldFetch). Text pointers as for VXDesignRecord;
// keywords is a text-list memory handle owned by the database handle (it
// lives until the next VXFieldFetch on that handle; freeing it earlier with
// LCMemFree is allowed).
struct VXFieldRecord {
  char name[kVXNameSize] = {};
  uint32_t data_type = 0;       // item type numbers
  uint32_t flags = 0;           // 0x01, 0x02 (table above)
  uint32_t keyword_kind = 0;    // 0 none, 1 list + new values, 2 list, 3 check boxes, 4 radio
  uint32_t separator_kind = 0;  // 1 blank, 2 comma, 3-5 semicolon
  char* help = nullptr;
  VXHandle keywords = 0;
  char* default_formula = nullptr;
  char* input_translation = nullptr;
  char* validation = nullptr;
  char* computed = nullptr;     // formula of a computed field ("" none)
};

// One entry of VXDatabaseList.
struct VXDatabaseEntry {
  char title[kVXPathSize] = {};
  char name[kVXPathSize] = {};  // relative to the folder listed
  uint32_t is_folder = 0;
};

// A subform to create (VXSubformCreate): its name and alias, 130 bytes each.
struct VXSubformRecord {
  char name[kVXFullNameSize] = {};
  char alias[kVXFullNameSize] = {};
};

// The adjustment record of VXDatetimeAdjust: ten fields, days third.
struct VXDatetimeAdjustment {
  int32_t years = 0;
  int32_t months = 0;
  int32_t days = 0;
  int32_t hours = 0;
  int32_t minutes = 0;
  int32_t seconds = 0;
  int32_t hundredths = 0;
  int32_t weeks = 0;
  int32_t reserved1 = 0;
  int32_t reserved2 = 0;
};
