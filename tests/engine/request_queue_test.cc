// The request queue under sustained load: appends go to the tail and claims
// take entries in queue order without walking what was claimed before, also
// after the reaper freed the head.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/request_entry.h"
#include "engine/shared_context.h"

namespace {

engine::RequestEntry* Add(engine::SharedContext& shared, int type) {
  auto entry = std::make_unique<engine::RequestEntry>();
  entry->eventType = type;
  return engine::AppendEntry(shared, std::move(entry));
}

TEST(RequestQueue, ClaimsKeepQueueOrderAcrossFreedHeadsAndAnEmptiedQueue) {
  engine::SharedContext shared;
  std::vector<engine::RequestEntry*> e;
  for (int type : {0, 1, 0, 1, 0}) e.push_back(Add(shared, type));
  EXPECT_EQ(engine::Claim(shared, 0), e[0]);
  EXPECT_EQ(engine::Claim(shared, 0), e[2]);
  EXPECT_EQ(engine::Claim(shared, 1), e[1]);
  EXPECT_EQ(engine::Claim(shared, 0), e[4]);
  EXPECT_EQ(engine::Claim(shared, 0), nullptr);
  // An entry queued after a claim found nothing is still found.
  e.push_back(Add(shared, 0));
  EXPECT_EQ(engine::Claim(shared, 0), e[5]);
  EXPECT_EQ(engine::Claim(shared, 1), e[3]);

  e[0]->done = 1;
  e[1]->done = 1;
  {
    os::LockGuard guard(shared.queueLock);
    EXPECT_EQ(engine::FreeDoneAtHead(shared), 2);
  }
  e.push_back(Add(shared, 1));
  EXPECT_EQ(engine::Claim(shared, 1), e[6]);
  for (size_t i = 2; i < e.size(); ++i) e[i]->done = 1;
  {
    os::LockGuard guard(shared.queueLock);
    EXPECT_EQ(engine::FreeDoneAtHead(shared), 5);
  }
  EXPECT_EQ(shared.requestQueue, nullptr);
  engine::RequestEntry* fresh = Add(shared, 0);
  EXPECT_EQ(shared.requestQueue.get(), fresh);
  EXPECT_EQ(engine::Claim(shared, 0), fresh);
  EXPECT_EQ(engine::Claim(shared, 7), nullptr);
}

}  // namespace
