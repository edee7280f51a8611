// Host-name lookups through c-ares, with a time-out and a cancel, and the
// name cache.
#include "common/name_cache.h"

#include <ares.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace common {

namespace {

using Clock = std::chrono::steady_clock;

bool SameNameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// A name written as an address needs no resolver.
bool NumericAddress(const std::string& name, NetAddress* address) {
  sockaddr_in v4{};
  if (inet_pton(AF_INET, name.c_str(), &v4.sin_addr) == 1) {
    v4.sin_family = AF_INET;
    std::memcpy(&address->storage, &v4, sizeof v4);
    address->length = sizeof v4;
    return true;
  }
  sockaddr_in6 v6{};
  if (inet_pton(AF_INET6, name.c_str(), &v6.sin6_addr) == 1) {
    v6.sin6_family = AF_INET6;
    std::memcpy(&address->storage, &v6, sizeof v6);
    address->length = sizeof v6;
    return true;
  }
  return false;
}

// What the resolver's callback hands back.
struct Answer {
  bool done = false;
  int status = ARES_SUCCESS;
  NetAddress address;
  bool found = false;
};

void Answered(void* argument, int status, int /*timeouts*/, ares_addrinfo* result) {
  auto* answer = static_cast<Answer*>(argument);
  answer->done = true;
  answer->status = status;
  if (status == ARES_SUCCESS && result != nullptr) {
    const ares_addrinfo_node* chosen = nullptr;
    for (const ares_addrinfo_node* node = result->nodes; node != nullptr; node = node->ai_next) {
      if (node->ai_addr == nullptr || node->ai_addrlen > sizeof(sockaddr_storage)) continue;
      if (node->ai_family == AF_INET) {
        chosen = node;
        break;
      }
      if (chosen == nullptr && node->ai_family == AF_INET6) chosen = node;
    }
    if (chosen != nullptr) {
      std::memcpy(&answer->address.storage, chosen->ai_addr, chosen->ai_addrlen);
      answer->address.length = static_cast<socklen_t>(chosen->ai_addrlen);
      // The port is the caller's to set.
      if (chosen->ai_family == AF_INET)
        reinterpret_cast<sockaddr_in*>(&answer->address.storage)->sin_port = 0;
      else
        reinterpret_cast<sockaddr_in6*>(&answer->address.storage)->sin6_port = 0;
      answer->found = true;
    }
  }
  if (result != nullptr) ares_freeaddrinfo(result);
}

LookupResult Outcome(const Answer& answer) {
  if (answer.found) return LookupResult::kResolved;
  switch (answer.status) {
    case ARES_ECANCELLED:
    case ARES_EDESTRUCTION:
      return LookupResult::kCancelled;
    // No name server could be reached or none answered in time: the network
    // is not answering.
    case ARES_ETIMEOUT:
    case ARES_ECONNREFUSED:
    case ARES_ENOMEM:
    case ARES_ENOTINITIALIZED:
      return LookupResult::kTimedOut;
    default:
      // A server answered: the name does not exist, has no address, or the
      // server refused it.
      return LookupResult::kNoSuchName;
  }
}

// One resolver channel for one lookup: channels are not shared between
// threads, and a lookup is rare next to the cache hits.
class Channel {
 public:
  Channel() {
    static std::once_flag library_once;
    std::call_once(library_once, [] { (void)ares_library_init(ARES_LIB_INIT_ALL); });
    ares_options options{};
    ok_ = ares_init_options(&channel_, &options, 0) == ARES_SUCCESS;
  }
  ~Channel() {
    if (ok_) ares_destroy(channel_);
  }
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  bool ok() const { return ok_; }
  ares_channel get() { return channel_; }

 private:
  ares_channel channel_{};
  bool ok_ = false;
};

}  // namespace

LookupResult ResolveName(std::string_view name_view, const ResolverOptions& options,
                         NetAddress* address) {
  std::string name(name_view);
  if (name.empty() || name.find('\0') != std::string::npos) return LookupResult::kNoSuchName;
  if (NumericAddress(name, address)) return LookupResult::kResolved;

  Channel channel;
  if (!channel.ok()) return LookupResult::kTimedOut;
  if (!options.servers.empty() &&
      ares_set_servers_ports_csv(channel.get(), options.servers.c_str()) != ARES_SUCCESS) {
    return LookupResult::kTimedOut;
  }
  Answer answer;
  ares_addrinfo_hints hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = ARES_AI_NOSORT;
  ares_getaddrinfo(channel.get(), name.c_str(), nullptr, &hints, Answered, &answer);

  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(0, options.timeout_ms));
  bool timed_out = false, cancelled = false;
  while (!answer.done) {
    auto now = Clock::now();
    if (now >= deadline) {
      timed_out = true;
      ares_cancel(channel.get());
      break;
    }
    if (options.cancel && options.cancel()) {
      cancelled = true;
      ares_cancel(channel.get());
      break;
    }
    ares_socket_t sockets[ARES_GETSOCK_MAXNUM];
    int bits = ares_getsock(channel.get(), sockets, ARES_GETSOCK_MAXNUM);
    pollfd fds[ARES_GETSOCK_MAXNUM + 1];
    nfds_t count = 0;
    for (int i = 0; i < ARES_GETSOCK_MAXNUM; ++i) {
      short events = 0;
      if (ARES_GETSOCK_READABLE(bits, i)) events |= POLLIN;
      if (ARES_GETSOCK_WRITABLE(bits, i)) events |= POLLOUT;
      if (events == 0) continue;
      fds[count++] = pollfd{sockets[i], events, 0};
    }
    nfds_t resolver_count = count;
    if (options.wake_fd >= 0) fds[count++] = pollfd{options.wake_fd, POLLIN, 0};

    long wait_ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
    wait_ms = std::min<long>(wait_ms, kResolverPollMs);
    timeval longest{0, static_cast<suseconds_t>(wait_ms * 1000)};
    timeval next{};
    if (timeval* t = ares_timeout(channel.get(), &longest, &next)) {
      wait_ms = std::min<long>(wait_ms, t->tv_sec * 1000 + (t->tv_usec + 999) / 1000);
    }
    int ready = poll(fds, count, static_cast<int>(std::max<long>(wait_ms, 0)));
    if (ready < 0 && errno != EINTR) break;
    if (options.wake_fd >= 0 && (fds[count - 1].revents & POLLIN) != 0) {
      cancelled = true;
      ares_cancel(channel.get());
      break;
    }
    bool any = false;
    for (nfds_t i = 0; i < resolver_count; ++i) {
      if (fds[i].revents == 0) continue;
      any = true;
      bool readable = (fds[i].revents & (POLLIN | POLLERR | POLLHUP)) != 0;
      bool writable = (fds[i].revents & POLLOUT) != 0;
      ares_process_fd(channel.get(), readable ? fds[i].fd : ARES_SOCKET_BAD,
                      writable ? fds[i].fd : ARES_SOCKET_BAD);
    }
    // Lets the resolver retry or give up on its own time-outs.
    if (!any) ares_process_fd(channel.get(), ARES_SOCKET_BAD, ARES_SOCKET_BAD);
  }
  if (timed_out) return LookupResult::kTimedOut;
  if (cancelled) return LookupResult::kCancelled;
  if (!answer.done) return LookupResult::kTimedOut;
  LookupResult result = Outcome(answer);
  if (result == LookupResult::kResolved) *address = answer.address;
  return result;
}

std::string AddressText(const NetAddress& address) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address.storage.ss_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&address.storage)->sin_addr, text,
              sizeof text);
  } else if (address.storage.ss_family == AF_INET6) {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&address.storage)->sin6_addr, text,
              sizeof text);
  }
  return text;
}

bool NameCache::FindLocked(std::string_view name, NetAddress* address) const {
  for (const Entry& entry : entries_) {
    if (SameNameNoCase(entry.name, name)) {
      if (address != nullptr) *address = entry.address;
      return true;
    }
  }
  return false;
}

bool NameCache::Find(std::string_view name, NetAddress* address) const {
  std::lock_guard<std::mutex> guard(lock_);
  return FindLocked(name, address);
}

LookupResult NameCache::Lookup(std::string_view name, const ResolverOptions& options,
                               NetAddress* address, bool* added) {
  if (added != nullptr) *added = false;
  if (Find(name, address)) return LookupResult::kResolved;
  NetAddress found;
  LookupResult result = ResolveName(name, options, &found);
  if (result != LookupResult::kResolved) return result;
  std::lock_guard<std::mutex> guard(lock_);
  // Another thread may have resolved the same name meanwhile: keep the
  // first entry, so that the list holds each name once.
  if (!FindLocked(name, address)) {
    entries_.push_back(Entry{std::string(name), found});
    *address = found;
    if (added != nullptr) *added = true;
  }
  return result;
}

void NameCache::Clear() {
  std::lock_guard<std::mutex> guard(lock_);
  entries_.clear();
}

size_t NameCache::Size() const {
  std::lock_guard<std::mutex> guard(lock_);
  return entries_.size();
}

}  // namespace common
