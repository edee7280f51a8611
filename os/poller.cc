// epoll behind the host layer's poller.
#include "os/poller.h"

#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>

namespace os {

Poller::Poller() : epoll_fd_(::epoll_create1(EPOLL_CLOEXEC)) {}

Poller::~Poller() {
  if (epoll_fd_ >= 0) ::close(epoll_fd_);
}

bool Poller::Add(int fd) {
  if (epoll_fd_ < 0) return false;
  epoll_event event{};
  event.events = EPOLLIN | EPOLLRDHUP;
  event.data.fd = fd;
  return ::epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, fd, &event) == 0;
}

void Poller::Remove(int fd) {
  if (epoll_fd_ >= 0) (void)::epoll_ctl(epoll_fd_, EPOLL_CTL_DEL, fd, nullptr);
}

int Poller::Wait(int milliseconds, std::vector<Event>* events, int max_events) {
  events->clear();
  if (epoll_fd_ < 0 || max_events <= 0) return -1;
  std::vector<epoll_event> ready(static_cast<size_t>(max_events));
  int count;
  do {
    count = ::epoll_wait(epoll_fd_, ready.data(), max_events, milliseconds);
  } while (count < 0 && errno == EINTR);
  if (count < 0) return -1;
  for (int i = 0; i < count; ++i) {
    bool readable = (ready[i].events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) != 0;
    events->push_back(Event{ready[i].data.fd, readable});
  }
  return count;
}

bool SetNonBlocking(int fd, bool on) {
  int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0) return false;
  int wanted = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
  return wanted == flags || ::fcntl(fd, F_SETFL, wanted) == 0;
}

long RaiseDescriptorLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
  if (limit.rlim_cur < limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  return limit.rlim_cur == RLIM_INFINITY ? 1L << 20 : static_cast<long>(limit.rlim_cur);
}

}  // namespace os
