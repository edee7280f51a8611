// Threads on heap copies of their argument, and wake-ups.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

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

TEST(WakeUp, WaitEndsAtTheIntervalWhenNothingChanges) {
  os::WakeUp wake;
  EXPECT_FALSE(wake.WaitFor(5, [] { return false; }));
  EXPECT_TRUE(wake.WaitFor(5, [] { return true; }));
}

}  // namespace
