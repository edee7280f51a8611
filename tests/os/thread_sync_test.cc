// Threads on heap copies of their argument, and wake-ups.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "os/sync.h"
#include "os/thread.h"

namespace {

os::WakeUp woken;
std::mutex seen_lock;
std::string seen;  // guarded by seen_lock
std::atomic<int> ran{0};

void Record(std::string argument) {
  {
    std::lock_guard<std::mutex> guard(seen_lock);
    seen = argument;
  }
  woken.NotifyAfter([] { ++ran; });
}

TEST(Thread, RunsDetachedOnItsOwnCopyOfTheArgument) {
  int before = ran;
  {
    std::string argument = "l17 1234 5678";
    ASSERT_TRUE(os::StartDetachedThread(Record, argument));
    argument.assign(100, 'x');  // the thread must not see this
  }
  ASSERT_TRUE(woken.WaitFor(10000, [&] { return ran == before + 1; }));
  std::lock_guard<std::mutex> guard(seen_lock);
  EXPECT_EQ(seen, "l17 1234 5678");
}

// Each start in a chain waits for the next one to have run: with finished
// threads kept for reuse, a start made while every kept thread is busy
// must still get a thread of its own, or the chain never ends.
std::atomic<int> chain_done{0};
os::WakeUp chain_wake;

void Link(std::string argument) {
  int left = std::stoi(argument);
  int done_before = chain_done;
  if (left > 0) {
    if (!os::StartDetachedThread(Link, std::to_string(left - 1))) return;
    chain_wake.WaitFor(10000, [&] { return chain_done > done_before; });
  }
  chain_wake.NotifyAfter([] { ++chain_done; });
}

TEST(Thread, EveryStartRunsOnceEvenWhenAllReusedThreadsAreBusy) {
  // Rounds one after another: the later ones run on threads the earlier
  // ones left waiting for reuse.
  for (int round = 0; round < 3; ++round) {
    chain_done = 0;
    ASSERT_TRUE(os::StartDetachedThread(Link, "40"));
    ASSERT_TRUE(chain_wake.WaitFor(20000, [] { return chain_done == 41; })) << round;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(chain_done, 41);
  }
}

TEST(WakeUp, WaitEndsAtTheIntervalWhenNothingChanges) {
  os::WakeUp wake;
  EXPECT_FALSE(wake.WaitFor(5, [] { return false; }));
  EXPECT_TRUE(wake.WaitFor(5, [] { return true; }));
}

}  // namespace
