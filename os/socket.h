// Sockets of the host layer: POSIX TCP over IPv4. A socket is a file
// descriptor; kNoSocket marks none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace os {

using Socket = int;
inline constexpr Socket kNoSocket = -1;

// What socket start-up reports: POSIX sockets need no start-up, so it always
// succeeds (0) and fills in a description and a status text for the trace.
[[nodiscard]] int SocketStartup(std::string* description, std::string* status);

// A stream socket (IPv4, TCP), or kNoSocket.
[[nodiscard]] Socket CreateStreamSocket();
[[nodiscard]] bool SetReuseAddress(Socket s);
[[nodiscard]] bool SetKeepAlive(Socket s);
// Binds to `address` (dotted IPv4 text, "0.0.0.0" for every address) and
// `port` (0: the kernel chooses).
[[nodiscard]] bool Bind(Socket s, const std::string& address, uint16_t port);
[[nodiscard]] bool Listen(Socket s, int backlog);
// The port a bound socket holds, 0 when unknown.
uint16_t LocalPort(Socket s);

// Waits at most `milliseconds` for `s` to become readable, or for
// `wake_fd` (when not kNoSocket) to become readable. Returns 1 when `s` is
// readable, 0 on time-out or wake, -1 on error.
int WaitReadable(Socket s, int milliseconds, int wake_fd = kNoSocket);
[[nodiscard]] Socket Accept(Socket listening);

// Sets a receive time-out on `s`: a receive that sees no byte for that long
// returns -1.
[[nodiscard]] bool SetReceiveTimeout(Socket s, int milliseconds);
// Receives at most `size` bytes: the count, 0 at the peer's end, -1 on error
// or time-out.
long Receive(Socket s, char* buffer, size_t size);
// For a non-blocking socket: receives what is waiting, at most `size`
// bytes: the count, 0 at the peer's end, -1 on error, kNothingWaiting when
// no byte is there yet.
inline constexpr long kNothingWaiting = -2;
long ReceiveWaiting(Socket s, char* buffer, size_t size);
// For a non-blocking listening socket: a waiting connection (itself made
// non-blocking), or kNoSocket when none waits or the accept failed;
// *out_of_descriptors tells whether the process ran out of descriptors.
[[nodiscard]] Socket AcceptWaiting(Socket listening, bool* out_of_descriptors);
// Sends every byte; false when the connection fails.
[[nodiscard]] bool SendAll(Socket s, std::string_view bytes);
// Shuts down sending only: the peer reads the end of the reply.
void ShutdownSending(Socket s);
// Shuts the connection down in both directions and closes it.
void ShutdownAndClose(Socket s);
void Close(Socket s);
// Ends our side after a refusal: shuts down sending, then reads and drops
// what the peer still sends (at most `max_bytes`, for at most
// `milliseconds`) before closing, so the peer reads the refusal instead of
// a reset.
void LingerAndClose(Socket s, size_t max_bytes, int milliseconds);

// A connection to 127.0.0.1:`port`, or kNoSocket (tests and benchmarks).
[[nodiscard]] Socket ConnectLoopback(uint16_t port);

}  // namespace os
