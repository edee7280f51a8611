// POSIX sockets behind the host layer's socket calls.
#include "os/socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace os {

int SocketStartup(std::string* description, std::string* status) {
  if (description != nullptr) *description = "POSIX sockets";
  if (status != nullptr) *status = "Running";
  return 0;
}

Socket CreateStreamSocket() {
  int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  return s < 0 ? kNoSocket : s;
}

static bool SetFlag(Socket s, int level, int option) {
  int one = 1;
  return ::setsockopt(s, level, option, &one, sizeof one) == 0;
}

bool SetReuseAddress(Socket s) {
  return SetFlag(s, SOL_SOCKET, SO_REUSEADDR);
}
bool SetKeepAlive(Socket s) {
  return SetFlag(s, SOL_SOCKET, SO_KEEPALIVE);
}

bool Bind(Socket s, const std::string& address, uint16_t port) {
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_port = htons(port);
  if (::inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1) return false;
  return ::bind(s, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0;
}

bool Listen(Socket s, int backlog) {
  return ::listen(s, backlog) == 0;
}

uint16_t LocalPort(Socket s) {
  sockaddr_in where{};
  socklen_t size = sizeof where;
  if (::getsockname(s, reinterpret_cast<sockaddr*>(&where), &size) != 0) return 0;
  return ntohs(where.sin_port);
}

int WaitReadable(Socket s, int milliseconds, int wake_fd) {
  pollfd fds[2] = {{s, POLLIN, 0}, {wake_fd, POLLIN, 0}};
  int count = wake_fd == kNoSocket ? 1 : 2;
  int ready;
  do {
    ready = ::poll(fds, count, milliseconds);
  } while (ready < 0 && errno == EINTR);
  if (ready < 0) return -1;
  if (ready == 0) return 0;
  if (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) return 1;
  return 0;
}

Socket Accept(Socket listening) {
  int s;
  do {
    s = ::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC);
  } while (s < 0 && errno == EINTR);
  return s < 0 ? kNoSocket : s;
}

bool SetReceiveTimeout(Socket s, int milliseconds) {
  timeval limit{};
  limit.tv_sec = milliseconds / 1000;
  limit.tv_usec = (milliseconds % 1000) * 1000;
  return ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) == 0;
}

long Receive(Socket s, char* buffer, size_t size) {
  ssize_t got;
  do {
    got = ::recv(s, buffer, size, 0);
  } while (got < 0 && errno == EINTR);
  return got;
}

long ReceiveWaiting(Socket s, char* buffer, size_t size) {
  ssize_t got;
  do {
    got = ::recv(s, buffer, size, MSG_DONTWAIT);
  } while (got < 0 && errno == EINTR);
  if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return kNothingWaiting;
  return got;
}

Socket AcceptWaiting(Socket listening, bool* out_of_descriptors) {
  *out_of_descriptors = false;
  int s;
  do {
    s = ::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  } while (s < 0 && errno == EINTR);
  if (s < 0) *out_of_descriptors = errno == EMFILE || errno == ENFILE;
  return s < 0 ? kNoSocket : s;
}

bool SendAll(Socket s, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t sent = ::send(s, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
  return true;
}

void ShutdownSending(Socket s) {
  if (s != kNoSocket) ::shutdown(s, SHUT_WR);
}

void ShutdownAndClose(Socket s) {
  if (s == kNoSocket) return;
  ::shutdown(s, SHUT_RDWR);
  ::close(s);
}

void LingerAndClose(Socket s, size_t max_bytes, int milliseconds) {
  if (s == kNoSocket) return;
  ::shutdown(s, SHUT_WR);
  char sink[4096];
  size_t dropped = 0;
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (dropped < max_bytes) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0 || WaitReadable(s, static_cast<int>(left.count())) != 1) break;
    long got = Receive(s, sink, sizeof sink);
    if (got <= 0) break;
    dropped += static_cast<size_t>(got);
  }
  ::close(s);
}

void Close(Socket s) {
  if (s != kNoSocket) ::close(s);
}

Socket ConnectLoopback(uint16_t port) {
  Socket s = CreateStreamSocket();
  if (s == kNoSocket) return kNoSocket;
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_port = htons(port);
  where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(s, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0) {
    ::close(s);
    return kNoSocket;
  }
  SetFlag(s, IPPROTO_TCP, TCP_NODELAY);
  return s;
}

}  // namespace os
