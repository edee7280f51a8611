// Test helper: a name server on a loopback UDP port that answers every A
// query with one address, answers that a name does not exist, or stays
// silent, as the test chooses. Queries for other record kinds get an empty
// answer. It runs on its own thread until destroyed.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>

class DnsResponder {
 public:
  enum class Mode { kAnswer, kNoSuchName, kSilent };

  explicit DnsResponder(Mode mode, const char* address = "127.0.0.1") : mode_(mode) {
    inet_pton(AF_INET, address, &answer_);
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    (void)::bind(fd_, reinterpret_cast<sockaddr*>(&where), sizeof where);
    socklen_t length = sizeof where;
    (void)::getsockname(fd_, reinterpret_cast<sockaddr*>(&where), &length);
    port_ = ntohs(where.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~DnsResponder() {
    stop_ = true;
    thread_.join();
    ::close(fd_);
  }
  DnsResponder(const DnsResponder&) = delete;
  DnsResponder& operator=(const DnsResponder&) = delete;

  // The server list for ResolverOptions::servers.
  std::string Servers() const { return "127.0.0.1:" + std::to_string(port_); }
  void SetMode(Mode mode) { mode_ = mode; }
  int Queries() const { return queries_; }

 private:
  void Serve() {
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      unsigned char query[512];
      sockaddr_in from{};
      socklen_t from_length = sizeof from;
      ssize_t got =
          ::recvfrom(fd_, query, sizeof query, 0, reinterpret_cast<sockaddr*>(&from), &from_length);
      if (got < 12) continue;
      ++queries_;
      if (mode_ == Mode::kSilent) continue;
      // The question ends after its name and the type and class words.
      size_t at = 12;
      while (at < static_cast<size_t>(got) && query[at] != 0) at += query[at] + 1;
      size_t question_end = at + 5;
      if (question_end > static_cast<size_t>(got)) continue;
      uint16_t type = static_cast<uint16_t>(query[at + 1] << 8 | query[at + 2]);
      unsigned char reply[600];
      std::memcpy(reply, query, question_end);
      reply[2] = 0x81;  // an answer to a recursive query
      reply[3] = mode_ == Mode::kNoSuchName ? 0x83 : 0x80;
      reply[6] = reply[7] = reply[8] = reply[9] = reply[10] = reply[11] = 0;
      size_t length = question_end;
      if (mode_ == Mode::kAnswer && type == 1) {
        reply[7] = 1;
        const unsigned char record[] = {0xC0, 0x0C, 0, 1, 0, 1, 0, 0, 0, 60, 0, 4};
        std::memcpy(reply + length, record, sizeof record);
        length += sizeof record;
        std::memcpy(reply + length, &answer_, 4);
        length += 4;
      }
      (void)::sendto(fd_, reply, length, 0, reinterpret_cast<sockaddr*>(&from), from_length);
    }
  }

  std::atomic<Mode> mode_;
  in_addr answer_{};
  int fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> queries_{0};
  std::thread thread_;
};
