// Host-name lookups for outbound connections, and the name cache that keeps
// their answers.
//
// A lookup may take no longer than its time-out and may be cancelled by the
// user (the caller's cancel test, polled while the resolver waits). The
// result tells the three outcomes apart, because they mean different things
// for the network state: an answer that the name does not exist means the
// network answers; a time-out means it does not; a cancel tells nothing.
//
// The cache is a list of (name as asked, first address) in the order the
// names were found, compared without regard to letter case. It has no size
// limit and no replacement; it is emptied as a whole (after a failed
// connection). The list is guarded by the lock the owner hands in (corvex:
// nameCacheLock of the shared context); the resolver itself runs outside the
// lock, so a slow lookup does not hold up lookups of other names.
#pragma once

#include <sys/socket.h>

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace common {

// The first address of a host (IPv4 preferred, as the hosts were reached
// before; IPv6 when the host has no IPv4 address). The port is 0.
struct NetAddress {
  sockaddr_storage storage{};
  socklen_t length = 0;
};

enum class LookupResult {
  kResolved,    // *address written
  kNoSuchName,  // the resolver answered: the name does not exist (or has no address)
  kTimedOut,    // no answer within the time-out, or no name server reachable
  kCancelled,   // the cancel test said so, or the wake descriptor became readable
};

// How long a lookup polls its cancel test at most between two looks.
inline constexpr int kResolverPollMs = 50;

struct ResolverOptions {
  int timeout_ms = 120000;
  // Polled while the resolver waits; true cancels the lookup. May be empty.
  std::function<bool()> cancel;
  // Name servers to ask instead of the system's ("127.0.0.1:5353" or a
  // comma-separated list); empty: the system's configuration.
  std::string servers;
  // A descriptor that becomes readable when the program stops (-1: none);
  // it cancels the lookup.
  int wake_fd = -1;
};

// Resolves `name` without any cache. A name written as an IPv4 or IPv6
// address is taken as it is, without asking anyone.
[[nodiscard]] LookupResult ResolveName(std::string_view name, const ResolverOptions& options,
                                       NetAddress* address);

// The text form of an address ("127.0.0.1", "::1"), for traces and tests.
std::string AddressText(const NetAddress& address);

class NameCache {
 public:
  // `lock` guards the list; it must outlive the cache.
  explicit NameCache(std::mutex& lock) : lock_(lock) {}
  NameCache(const NameCache&) = delete;
  NameCache& operator=(const NameCache&) = delete;

  // The address of `name`: from the cache, else resolved and appended.
  // *added (may be null) is set true when the name was resolved anew.
  [[nodiscard]] LookupResult Lookup(std::string_view name, const ResolverOptions& options,
                                    NetAddress* address, bool* added = nullptr);
  // The cached address of `name` without resolving; false when absent.
  bool Find(std::string_view name, NetAddress* address) const;
  // Empties the cache (after a failed connection, so that the next lookup
  // asks the resolver again).
  void Clear();
  size_t Size() const;

 private:
  struct Entry {
    std::string name;
    NetAddress address;
  };
  bool FindLocked(std::string_view name, NetAddress* address) const;

  std::mutex& lock_;
  std::vector<Entry> entries_;  // guarded by lock_
};

}  // namespace common
