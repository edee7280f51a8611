// The replica request: a [wr;...] or [wrs;...] URL naming a stored copy of a
// web page in a page-replica database.
//
//   http://[wr;SERVER;DATABASE]KEY
//   http://[wr;$WCTX_CorvjobsicaContext]KEY   (the current page-replica database)
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace engine {

struct RequestEntry;
struct ThreadHandle;

inline constexpr char kDefaultReplicaServer[] = "Local";
inline constexpr char kDefaultReplicaDatabase[] = "kvwebrs.ldf";

struct ReplicaRequest {
  RequestEntry* entry = nullptr;  // not owned
  uint16_t submit = 0;            // 1 for "wrs;": a form submitted from a stored page
  std::string method;
  std::string server;    // "Local" when not given
  std::string database;  // "/" and ";" turned into "\"; "kvwebrs.ldf" when not given
  std::string key;       // the stored page's URL without its scheme
  std::string url;
};

// Reads the request line of `raw`. Null when the URL has no "[" or its
// bracket is never closed by a "]". `handle` (may be null) gives the current
// page-replica database for $WCTX_CorvjobsicaContext.
std::unique_ptr<ReplicaRequest> ParseReplicaRequest(std::string_view raw, ThreadHandle* handle,
                                                    RequestEntry* entry = nullptr);

}  // namespace engine
