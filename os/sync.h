// Locks, sleeps and wake-ups. A WakeUp lets a loop wait for its condition
// with the polling interval as the longest wait: whoever changes the
// condition calls Notify and every waiter rechecks at once.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace os {

using Lock = std::mutex;
using LockGuard = std::lock_guard<std::mutex>;

void SleepMs(int milliseconds);

class WakeUp {
 public:
  // Wakes every thread waiting in WaitFor. Call it after changing the state
  // that a waiter's condition reads.
  void Notify() {
    { LockGuard guard(mutex_); }
    changed_.notify_all();
  }

  // Makes `change` under the wake-up's lock and wakes every waiter before
  // the lock is left: a waiter that frees the object holding this wake-up
  // after seeing the change never races the notification.
  template <class Change>
  void NotifyAfter(Change change) {
    LockGuard guard(mutex_);
    change();
    changed_.notify_all();
  }

  // Waits until `condition()` holds or `milliseconds` have passed; returns
  // the condition's last value. The condition is evaluated under the
  // wake-up's own lock, so a Notify that follows a change is never missed.
  template <class Condition>
  bool WaitFor(int milliseconds, Condition condition) {
    std::unique_lock<std::mutex> guard(mutex_);
    return changed_.wait_for(guard, std::chrono::milliseconds(milliseconds), condition);
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
};

}  // namespace os
