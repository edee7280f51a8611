// HTTPS through corvex: a browser that uses corvex as its only proxy sends
// "CONNECT host:443". The tunnel connects (directly, or through the upstream
// proxy with a CONNECT of its own), answers "200 Connection established" and
// then copies bytes both ways untouched until both sides have ended or the
// tunnel has been silent for its idle time-out.
#pragma once

#include "common/route.h"
#include "engine/request_entry.h"
#include "engine/thread_handle.h"
#include "proxy/forward_request.h"

namespace proxy {

inline constexpr char kTunnelEstablished[] = "HTTP/1.0 200 Connection established\r\n\r\n";

// Serves the CONNECT request and finishes the entry.
void ServeTunnel(engine::ThreadHandle& handle, engine::RequestEntry& entry,
                 const BrowserRequest& request, common::RouteKind route);

// Copies bytes between the two connected sockets until both directions have
// ended, either side fails, nothing moves for `idle_ms`, or `wake_fd` (may
// be -1) becomes readable. An end seen on one side is passed on as a
// shutdown of sending on the other. Closes neither socket.
void PumpBothWays(int browser, int server, int idle_ms, int wake_fd);

}  // namespace proxy
