// Detached threads on a heap copy of their argument.
//
// A thread that has finished its function waits a little while, parked,
// for the next start before it ends: at a few thousand requests a second
// the workers come and go so fast that making and ending a thread each
// time costs more than the work of a small reply. To the caller nothing
// changes: each start runs its function once, on a thread of its own that
// nobody joins.
#include "os/thread.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace os {

namespace {

// How long a finished thread waits for a new start, and how many wait.
constexpr auto kParkTime = std::chrono::seconds(2);
constexpr int kMostParked = 16;

struct Start {
  ThreadEntry entry;
  std::string argument;
};

class ParkedThreads {
 public:
  // Hands the start to a parked thread; false when none is free.
  bool Hand(Start& start) {
    std::lock_guard<std::mutex> guard(lock_);
    if (parked_ <= static_cast<int>(starts_.size())) return false;
    starts_.push_back(std::move(start));
    arrived_.notify_one();
    return true;
  }

  // Parks the calling thread; true with the next start in *start, false
  // when the thread is to end.
  bool Park(Start* start) {
    std::unique_lock<std::mutex> guard(lock_);
    if (parked_ >= kMostParked) return false;
    ++parked_;
    bool handed = arrived_.wait_for(guard, kParkTime, [this] { return !starts_.empty(); });
    --parked_;
    if (!handed) return false;
    *start = std::move(starts_.front());
    starts_.pop_front();
    return true;
  }

 private:
  std::mutex lock_;
  std::condition_variable arrived_;
  int parked_ = 0;            // guarded by lock_
  std::deque<Start> starts_;  // guarded by lock_; never longer than parked_
};

// Never destroyed: parked threads may still wait on it while the program
// exits.
ParkedThreads& Parked() {
  static ParkedThreads* parked = new ParkedThreads;
  return *parked;
}

void RunStarts(Start start) {
  do {
    start.entry(std::move(start.argument));
  } while (Parked().Park(&start));
}

}  // namespace

bool StartDetachedThread(ThreadEntry entry, std::string_view argument) {
  Start start{entry, std::string(argument)};
  if (Parked().Hand(start)) return true;
  try {
    std::thread worker(RunStarts, std::move(start));
    worker.detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

}  // namespace os
