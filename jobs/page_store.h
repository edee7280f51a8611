// The page-replica database as the crawl writes it: created from the
// template KVREPL.LTF when absent, its key view searched for an element's
// key, new element documents, and the batched commits that keep a crawl
// of thousands of elements quick while corvex goes on reading the
// database. The names of the format are in common/page_replica_format.h.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "ledra/vxapi.h"

namespace jobs {

class PageStore {
 public:
  PageStore() = default;
  PageStore(const PageStore&) = delete;
  PageStore& operator=(const PageStore&) = delete;
  ~PageStore() { Close(); }

  // Creates the database from the template (a failure is ignored: it
  // usually exists), opens it (job mode), sets its title and property 16.
  // False when it does not open; the platform's error tells why.
  [[nodiscard]] bool Open(const std::string& server, const std::string& path,
                          const std::string& title, uint32_t encryption);
  // Opens an index on the key view; false when the view is missing.
  [[nodiscard]] bool OpenKeyView();
  void Close();

  VXHandle database() const { return database_; }
  bool HasKeyView() const { return index_ != 0; }

  // The note id of the element with this key; 0 when none.
  VXNoteId Find(const std::string& key);
  // A new, saved element document holding the key; 0 when it cannot be made.
  [[nodiscard]] VXStatus Create(const std::string& key, VXHandle* document);
  // Closes an element document keeping its changes, or discarding them.
  void CloseDocument(VXHandle document, bool keep);
  // Refreshes every view of the database (the workspace shows them).
  void RefreshViews();
  // Bytes of stored responses attached since the last commit: the file
  // grows by them only when the batch is committed.
  void CountPending(int64_t bytes) {
    pending_bytes_ += bytes;
    stored_total_ += bytes;
  }
  // Bytes stored since the last SizeBytes.
  int64_t PendingSinceMeasured() const { return stored_total_ - measured_total_; }
  // The database file's size (with its write-ahead log and what the open
  // batch holds), or the platform's two size properties.
  int64_t SizeBytes(const std::string& file_path);

 private:
  // Saves are held in a batch and committed at least this often, so that
  // other writers (the favourite dialogs) wait at most this long.
  static constexpr int kCommitIntervalMs = 500;
  void CommitWhenDue();

  VXHandle database_ = 0;
  VXHandle index_ = 0;
  bool batch_ = false;
  bool batching_ = true;
  int64_t pending_bytes_ = 0;
  int64_t stored_total_ = 0, measured_total_ = 0;
  std::chrono::steady_clock::time_point batch_start_;
};

}  // namespace jobs
