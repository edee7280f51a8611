// The page-replica database of the crawl.
#include "jobs/page_store.h"

#include <cstring>
#include <vector>

#include "common/page_replica_format.h"
#include "jobs/documents.h"
#include "os/files.h"
#include "platform/translate.h"
#include "platform/translate_views.h"

namespace jobs {

bool PageStore::Open(const std::string& server, const std::string& path, const std::string& title,
                     uint32_t encryption) {
  Close();
  (void)VXDatabaseCopy(server.c_str(), common::kPageReplicaTemplate, server.c_str(), path.c_str(),
                       0, kVXCopyDesign | kVXCopyProperties | encryption, 0, title.c_str());
  if (VXDatabaseOpen(server.c_str(), path.c_str(), kVXOpenJob, &database_) != kVXOk) {
    database_ = 0;
    return false;
  }
  (void)VXDatabaseSetProperty(database_, kDbPropTitle, title.c_str());
  int32_t one = 1;
  (void)VXDatabaseSetProperty(database_, kDbPropCutoffDays, &one);
  return true;
}

bool PageStore::OpenKeyView() {
  VXNoteId view = platform::wrap::VXViewLocateByName(database_, common::kKeyView);
  VXHandle index = 0;
  if (view == 0 || VXIndexOpen(database_, &index) != kVXOk) return false;
  if (VXIndexOpenView(index, 0, view, 0) != kVXOk) {
    VXIndexClose(index);
    return false;
  }
  index_ = index;
  return true;
}

void PageStore::Close() {
  if (batch_) {
    int32_t zero = 0;
    (void)VXDatabaseSetProperty(database_, kDbPropBatch, &zero);
    batch_ = false;
  }
  if (index_ != 0) VXIndexClose(index_);
  if (database_ != 0) VXDatabaseClose(database_, 0);
  index_ = database_ = 0;
}

VXNoteId PageStore::Find(const std::string& key) {
  if (index_ == 0) return 0;
  VXKey search;
  search.kind = kVXKeyFirstSorted;
  search.type = kVXTypeText;
  // Keys longer than the key record cannot be searched for; such an element
  // is made anew each run.
  if (key.size() >= sizeof search.text) return 0;
  std::memcpy(search.text, key.data(), key.size());
  uint32_t count = 0;
  if (platform::wrap::VXIndexKeySearch(index_, &search, 1, 0, &count) != kVXOk || count == 0)
    return 0;
  VXNoteId id = 0;
  if (VXIndexNavigate(index_, kVXNavCurrent, 0, &id, nullptr) != kVXOk) return 0;
  return id == 0xFFFFFFFFu ? 0 : id;
}

VXStatus PageStore::Create(const std::string& key, VXHandle* document) {
  *document = 0;
  if (!batch_ && batching_) {
    int32_t one = 1;
    if (VXDatabaseSetProperty(database_, kDbPropBatch, &one) == kVXOk) {
      batch_ = true;
      batch_start_ = std::chrono::steady_clock::now();
    }
  }
  VXHandle made = 0;
  VXStatus status = VXDocumentCreate(database_, common::kElementForm, &made);
  if (status != kVXOk) return status;
  (void)PutTextItem(made, common::kItemKey, key);
  status = VXDocumentSave(made, 0);
  if (status != kVXOk) {
    VXDocumentClose(made, kVXCloseDiscard);
    return status;
  }
  if (index_ != 0) (void)VXIndexRefresh(index_);
  *document = made;
  return kVXOk;
}

void PageStore::CloseDocument(VXHandle document, bool keep) {
  if (document == 0) return;
  VXDocumentClose(document, keep ? kVXCloseKeep : kVXCloseDiscard);
  CommitWhenDue();
}

void PageStore::CommitWhenDue() {
  if (!batch_) return;
  auto now = std::chrono::steady_clock::now();
  if (now - batch_start_ < std::chrono::milliseconds(kCommitIntervalMs)) return;
  int32_t zero = 0, one = 1;
  (void)VXDatabaseSetProperty(database_, kDbPropBatch, &zero);
  batch_ = VXDatabaseSetProperty(database_, kDbPropBatch, &one) == kVXOk;
  batch_start_ = now;
  pending_bytes_ = 0;
}

void PageStore::RefreshViews() {
  VXDesignRecord record;
  std::vector<VXNoteId> views;
  for (uint32_t code = kVXListFirst; platform::wrap::VXViewList(database_, code, &record) == kVXOk;
       code = kVXListNext) {
    views.push_back(record.note_id);
  }
  for (VXNoteId view : views) {
    VXHandle index = 0;
    if (VXIndexOpen(database_, &index) != kVXOk) continue;
    if (VXIndexOpenView(index, 0, view, 0) == kVXOk) (void)VXIndexRefresh(index);
    VXIndexClose(index);
  }
}

int64_t PageStore::SizeBytes(const std::string& file_path) {
  measured_total_ = stored_total_;
  int64_t size = os::FileSize(file_path);
  if (size >= 0) {
    int64_t wal = os::FileSize(file_path + "-wal");
    return size + (wal > 0 ? wal : 0) + pending_bytes_;
  }
  int64_t used = 0, free_bytes = 0;
  (void)VXDatabaseGetProperty(database_, kDbPropBytesUsed, &used, sizeof used);
  (void)VXDatabaseGetProperty(database_, kDbPropBytesFree, &free_bytes, sizeof free_bytes);
  return used + free_bytes;
}

}  // namespace jobs
