// Actions on many documents in batches: a failure that undoes the open
// batch must not leave the actions it held counted as done.
#include "browser/batched_run.h"

#include <stdlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ledra/vxapi.h"

namespace {

namespace fs = std::filesystem;

class BatchedRun : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/corvane-batch-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    fs::create_directories(folder_ + "/data");
    std::ofstream(folder_ + "/ledra.ini") << "[Ledra]\nDirectory=data\n";
    setenv("CORVANE_LEDRA_INI", (folder_ + "/ledra.ini").c_str(), 1);
    ASSERT_EQ(_VXInit(0x45004, nullptr, nullptr, nullptr), kVXOk);
    ASSERT_EQ(VXDatabaseCreate("Local", "batch.ldf", "Batch"), kVXOk);
    ASSERT_EQ(VXDatabaseOpen("Local", "batch.ldf", 0, &db_), kVXOk);
    for (int i = 0; i < 10; ++i) {
      VXHandle doc = 0;
      ASSERT_EQ(VXDocumentCreate(db_, "", &doc), kVXOk);
      ASSERT_EQ(VXItemPut(doc, "Mark", 0, 0, kVXTypeText, "old", 0), kVXOk);
      ASSERT_EQ(VXDocumentSave(doc, 0), kVXOk);
      VXNoteId id = 0;
      ASSERT_EQ(VXDocumentGetProperty(doc, kDocPropNoteId, &id, sizeof id), kVXOk);
      ids_.push_back(id);
      VXDocumentClose(doc, 0);
    }
  }
  void TearDown() override {
    VXDatabaseClose(db_, 0);
    VXTerm(0);
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }

  std::string Mark(VXNoteId id) {
    VXHandle doc = 0;
    if (VXDocumentOpen(db_, id, 1, &doc) != kVXOk) return "(gone)";
    char text[16] = {};
    uint32_t length = 0;
    (void)VXItemFetch(doc, "Mark", kVXTypeText, text, sizeof text, &length);
    VXDocumentClose(doc, 0x20000);
    return text;
  }

  std::string folder_;
  VXHandle db_ = 0;
  std::vector<VXNoteId> ids_;
};

TEST_F(BatchedRun, AFailureThatUndoesTheBatchRunsItsActionsAgain) {
  // The seventh document is deleted by "another program" while a handle
  // of ours still holds it: its save fails inside the store, which undoes
  // the open batch (the fifth and sixth documents' changes with it).
  VXHandle stale = 0;
  ASSERT_EQ(VXDocumentOpen(db_, ids_[6], 0, &stale), kVXOk);
  ASSERT_EQ(VXDocumentDelete(db_, ids_[6], 0), kVXOk);
  std::vector<size_t> progress;
  browser::BatchOutcome outcome = browser::RunBatched(
      db_, ids_,
      [&](VXNoteId id, VXNoteId* result) {
        VXHandle doc = stale;
        if (id != ids_[6])
          if (VXStatus s = VXDocumentOpen(db_, id, 0, &doc); s != kVXOk) return s;
        VXStatus s = VXItemPut(doc, "Mark", 0, 0, kVXTypeText, "new", 0);
        if (s == kVXOk) s = VXDocumentSave(doc, 0);
        if (doc != stale) VXDocumentClose(doc, 0);
        *result = id + 1000;
        return s;
      },
      [&](size_t n) { progress.push_back(n); }, 4);
  VXDocumentClose(stale, 0x20000);
  EXPECT_EQ(outcome.failed, 1u);
  EXPECT_NE(outcome.firstError.find("was deleted by another program"), std::string::npos)
      << outcome.firstError;
  ASSERT_EQ(outcome.done.size(), 9u);
  for (size_t i = 0; i < ids_.size(); ++i) {
    if (i == 6) {
      EXPECT_EQ(Mark(ids_[i]), "(gone)");
      continue;
    }
    EXPECT_EQ(Mark(ids_[i]), "new") << i;
  }
  // Every id reported once, with its action's result; progress once each.
  std::vector<std::pair<VXNoteId, VXNoteId>> done = outcome.done;
  std::sort(done.begin(), done.end());
  for (size_t i = 0, k = 0; i < ids_.size(); ++i) {
    if (i == 6) continue;
    EXPECT_EQ(done[k++], std::make_pair(ids_[i], ids_[i] + 1000));
  }
  EXPECT_EQ(progress, (std::vector<size_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

TEST_F(BatchedRun, FailuresThatLeaveTheBatchAloneCountOnce) {
  std::vector<VXNoteId> ids = ids_;
  ids.push_back(99999);  // no such document: refused before the store writes
  browser::BatchOutcome outcome = browser::RunBatched(
      db_, ids, [&](VXNoteId id, VXNoteId*) { return VXDocumentDelete(db_, id, 0); }, nullptr, 3);
  EXPECT_EQ(outcome.done.size(), 10u);
  EXPECT_EQ(outcome.failed, 1u);
  for (VXNoteId id : ids_) EXPECT_EQ(Mark(id), "(gone)");
}

}  // namespace
