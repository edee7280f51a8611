// Test helper: one whole exchange with a server on a loopback port, as a
// client that sends its request and then reads until the server closes.
// Reading gives up after `wait_ms` of silence, so a server that never
// closes fails the test instead of holding it.
#pragma once

#include <cstdint>
#include <string>

#include "os/socket.h"

// Everything the server sends on `s` until it closes.
inline std::string ReadToEnd(os::Socket s, int wait_ms = 20000) {
  std::string reply;
  (void)os::SetReceiveTimeout(s, wait_ms);
  char buffer[4096];
  long got;
  while ((got = os::Receive(s, buffer, sizeof buffer)) > 0) reply.append(buffer, got);
  return reply;
}

// The whole reply to `request`; "<no connection>" when nothing listens,
// and what came back (usually nothing) when the request could not be sent.
inline std::string Exchange(uint16_t port, const std::string& request, int wait_ms = 20000) {
  os::Socket s = os::ConnectLoopback(port);
  if (s == os::kNoSocket) return "<no connection>";
  std::string reply;
  if (os::SendAll(s, request)) reply = ReadToEnd(s, wait_ms);
  os::Close(s);
  return reply;
}
