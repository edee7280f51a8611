// Readiness of many descriptors at once (Linux epoll): the intake waits on
// the listening socket, every connection it is reading and the stop
// descriptor in one call, so no connection waits for another's bytes.
// Level-triggered: a descriptor with unread bytes is reported again.
#pragma once

#include <cstdint>
#include <vector>

namespace os {

class Poller {
 public:
  struct Event {
    int fd = -1;
    bool readable = false;  // bytes, the peer's end or an error wait
  };

  Poller();
  ~Poller();
  Poller(const Poller&) = delete;
  Poller& operator=(const Poller&) = delete;

  // False when the poller could not be made (then every call fails).
  bool Ready() const { return epoll_fd_ >= 0; }
  [[nodiscard]] bool Add(int fd);
  // Stops watching `fd`; the caller closes it afterwards.
  void Remove(int fd);
  // Waits at most `milliseconds` (-1: no limit); fills *events (at most
  // `max_events`) and returns their count, 0 on time-out, -1 on error.
  int Wait(int milliseconds, std::vector<Event>* events, int max_events = 256);

 private:
  int epoll_fd_ = -1;
};

// Switches O_NONBLOCK on or off; false when the descriptor refuses.
[[nodiscard]] bool SetNonBlocking(int fd, bool on);

// The process's soft limit on open descriptors, raised to the hard limit
// (bursts of connections would otherwise run the process out of them);
// returns the limit now in force.
long RaiseDescriptorLimit();

}  // namespace os
