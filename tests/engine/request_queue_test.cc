// The request queue under many requests: entries are freed as soon as they
// are answered, so the list stays short and memory flat; the reaper leaves
// an entry its worker still holds; request threads' reply file names.
#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/database_request.h"
#include "engine/reply_file.h"
#include "engine/request_entry.h"
#include "engine/workers.h"
#include "platform/database_operation.h"
#include "running_engine.h"

namespace {

using RequestQueue = RunningEngine;

// The [kv] operation of the long run.
int32_t AnswerOk(engine::ThreadHandle&, const engine::OperationArgs& args) {
  std::FILE* reply = std::fopen(reinterpret_cast<const char*>(args[0]), "w");
  std::fputs("ok", reply);
  std::fclose(reply);
  return 0;
}

size_t HeapInUse() {
  struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kPlainHeap = false;  // freed blocks wait in a quarantine
#else
constexpr bool kPlainHeap = true;
#endif

// Before entries were freed as they were answered, every request stayed in
// the list until the reaper's pass, and appending and claiming walked the
// whole list: the run grew slower and larger with every request served.
TEST_F(RequestQueue, AHundredThousandRequestsLeaveTheListShortAndMemoryFlat) {
  platform::SetDatabaseOperation(platform::kRunKvCommand, AnswerOk);
  shared_->trace = 0;  // the trace list would grow by design
  Start();
  // The sanitizer build runs a quarter of them: it is several times slower.
  constexpr int kClients = 4, kRequests = kPlainHeap ? 100000 : 25000;
  std::atomic<int> next{0}, wrong{0};
  std::atomic<size_t> longest_queue{0};
  size_t heap_after_warm_up = 0;
  auto client = [&] {
    for (int i = next++; i < kRequests; i = next++) {
      // Mostly database requests, with commands and pass-through requests
      // between them, so that every kind of entry comes and goes.
      const char* request = i % 10 == 7   ? "GET http://[wc]/D/ HTTP/1.0\r\n\r\n"
                            : i % 10 == 9 ? "GET http://www.example.com/ HTTP/1.0\r\n\r\n"
                                          : "GET http://[kv]/a:/b:/V/ HTTP/1.0\r\n\r\n";
      const char* expected = i % 10 == 7   ? "HTTP/1.1 204 No Content\n\n\n"
                             : i % 10 == 9 ? ""
                                           : "ok";
      if (Exchange({request}) != expected) ++wrong;
      size_t length = engine::QueueLength(*shared_);
      size_t longest = longest_queue.load();
      while (length > longest && !longest_queue.compare_exchange_weak(longest, length)) {
      }
      if (i == kRequests / 5) heap_after_warm_up = HeapInUse();
    }
  };
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c) clients.emplace_back(client);
  for (std::thread& c : clients) c.join();
  platform::ResetDatabaseOperations();
  EXPECT_EQ(wrong, 0);
  // Each client has one request in the queue at a time; the ones answered
  // before stay only until their request threads free them, a moment that a
  // busy machine may stretch over a few more requests. Kept until the
  // reaper's pass, as before, they were thousands.
  EXPECT_LE(longest_queue, size_t{25 * kClients});
  EXPECT_TRUE(shared_->wake.WaitFor(10000, [&] { return engine::QueueLength(*shared_) == 0; }));
  // Every reply file was deleted: sweeping wtemp finds nothing.
  EXPECT_EQ(os::ClearFolder(folder_ + "/wtemp"), 0);
  if (kPlainHeap) {
    size_t heap_at_end = HeapInUse();
    EXPECT_LT(heap_at_end, heap_after_warm_up + (size_t{1} << 20))
        << "heap grew from " << heap_after_warm_up << " to " << heap_at_end << " bytes";
  }
}

TEST_F(RequestQueue, TheReaperLeavesAnEntryItsWorkerStillHolds) {
  for (int i = 0; i < 3; ++i) {
    auto entry = std::make_unique<engine::RequestEntry>();
    entry->eventType = engine::kDatabaseRequest;
    engine::AppendEntry(*shared_, std::move(entry));
  }
  engine::RequestEntry* first = engine::Claim(*shared_, engine::kDatabaseRequest);
  engine::RequestEntry* second = engine::Claim(*shared_, engine::kDatabaseRequest);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  first->done = 1;
  second->done = 1;
  auto reaper = engine::MakeThreadHandle("i1", shared_.get());
  // Done but held: its worker may still read it.
  EXPECT_EQ(engine::ReapOnce(*reaper), 0);
  EXPECT_EQ(engine::QueueLength(*shared_), 3u);
  // Freed by its worker out of the middle of the list, then the reaper
  // frees the first once its worker lets go.
  engine::ReleaseEntry(*shared_, second);
  EXPECT_EQ(engine::QueueLength(*shared_), 2u);
  {
    os::LockGuard guard(shared_->queueLock);
    first->held = false;
  }
  EXPECT_EQ(engine::ReapOnce(*reaper), 1);
  EXPECT_EQ(engine::QueueLength(*shared_), 1u);
  // The last one is still appended behind what is left, and claimed.
  auto entry = std::make_unique<engine::RequestEntry>();
  entry->eventType = engine::kCommandRequest;
  engine::RequestEntry* appended = engine::AppendEntry(*shared_, std::move(entry));
  EXPECT_EQ(engine::Claim(*shared_, engine::kCommandRequest), appended);
  EXPECT_EQ(engine::Claim(*shared_, engine::kCommandRequest), nullptr);
  os::LockGuard guard(shared_->queueLock);
  EXPECT_EQ(shared_->requestQueueTail, appended);
  EXPECT_EQ(appended->previous, shared_->requestQueue.get());
}

// A request thread's name is drawn without its file, so that the writer
// creates the file rather than truncating an empty one; the name is not
// given to anyone else until the answer is sent.
TEST_F(RequestQueue, DrawnReplyFileNamesAreTakenUntilGivenBack) {
  std::string wtemp = folder_ + "/wtemp";
  engine::SetReplyFileCounter(40);
  std::optional<std::string> drawn = engine::DrawReplyFileName();
  ASSERT_EQ(drawn, wtemp + "/41");
  EXPECT_FALSE(os::FileExists(*drawn));
  // Neither kind of name reuses it while it is taken, even across a wrap.
  engine::SetReplyFileCounter(40);
  EXPECT_EQ(engine::NewReplyFileName(), wtemp + "/42");
  engine::SetReplyFileCounter(40);
  EXPECT_EQ(engine::DrawReplyFileName(), wtemp + "/43");
  engine::ReleaseReplyFileName(wtemp + "/43");
  // A file left behind is skipped as before.
  std::fclose(std::fopen((wtemp + "/44").c_str(), "w"));
  engine::SetReplyFileCounter(40);
  EXPECT_EQ(engine::DrawReplyFileName(), wtemp + "/43");
  engine::ReleaseReplyFileName(wtemp + "/43");
  // Given back (and its file deleted), the name can be drawn again.
  std::fclose(std::fopen(drawn->c_str(), "w"));
  engine::ReleaseReplyFileName(*drawn);
  EXPECT_FALSE(os::FileExists(*drawn));
  engine::SetReplyFileCounter(40);
  EXPECT_EQ(engine::DrawReplyFileName(), drawn);
  engine::ReleaseReplyFileName(*drawn);
  std::remove((wtemp + "/42").c_str());
  std::remove((wtemp + "/44").c_str());
  // Without wtemp/ there is no name at all.
  os::RemoveFolder(wtemp);
  EXPECT_FALSE(engine::DrawReplyFileName().has_value());
  ASSERT_TRUE(os::CreateFolder(wtemp));
}

}  // namespace
