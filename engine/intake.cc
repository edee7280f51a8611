// The intake: one wait on every connection being read.
#include "engine/intake.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/reply_forms.h"
#include "engine/listener.h"
#include "engine/request_assembler.h"
#include "os/poller.h"

namespace engine {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How long a refused connection may go on sending before it is closed.
constexpr int kRefusalLingerMs = 2000;
// Connections accepted, and pieces read from one connection, per turn: a
// burst of new connections or one fast sender cannot starve the others.
constexpr int kAcceptsPerTurn = 256;
constexpr int kPiecesPerTurn = 16;
// After the process ran out of descriptors, accepting pauses this long.
constexpr int kAcceptPauseMs = 100;
// Descriptors kept for everything else (databases, reply files, relays,
// connections being answered): at most half the process's limit, less
// these, are used for connections being read.
constexpr long kDescriptorsKept = 64;

struct Connection {
  Connection(os::Socket s, size_t cap, Clock::time_point now, uint64_t number)
      : socket(s), assembler(cap), accepted(now), last_byte(now), order(number) {}
  os::Socket socket;
  RequestAssembler assembler;
  std::string last_piece;
  Clock::time_point accepted;
  Clock::time_point last_byte;
  uint64_t order;  // accepted before every connection of a higher number
  // Refused with a 413: what the peer still sends is dropped until it
  // closes, so that it reads the refusal instead of a reset.
  bool refused = false;
  Clock::time_point refused_at{};
  size_t dropped = 0;
  bool ended = false;  // handed over or closed at the end of this turn
};

class Intake {
 public:
  explicit Intake(ThreadHandle& handle) : handle_(handle), shared_(*handle.shared) {
    long limit = os::RaiseDescriptorLimit();
    cap_ = shared_.connectionsReadCap;
    if (limit > 0)
      cap_ = std::min(cap_, static_cast<size_t>(std::max(16L, limit / 2 - kDescriptorsKept)));
    cap_ = std::max<size_t>(cap_, 1);
  }
  ~Intake() {
    for (auto& [fd, connection] : reading_) {
      poller_.Remove(fd);
      os::Close(connection->socket);
    }
  }

  void Run();

 private:
  Clock::time_point Deadline(const Connection& c) const;
  int WaitMs(Clock::time_point now) const;
  void AcceptWaiting(Clock::time_point now);
  void MakeRoom();
  void Read(Connection& c, Clock::time_point now);
  void Refuse(Connection& c, Clock::time_point now);
  void ExpireDeadlines(Clock::time_point now);
  // Ends the read: the connection leaves the intake, queued or closed.
  void End(Connection& c, bool queue);
  void HandOver(int fd);
  void Close(int fd);
  void Listen(bool on);

  ThreadHandle& handle_;
  SharedContext& shared_;
  os::Poller poller_;
  size_t cap_ = 0;
  std::unordered_map<int, std::unique_ptr<Connection>> reading_;
  std::vector<int> finished_;  // read whole this turn, handed over after it
  std::vector<int> closed_;    // to close this turn without a request
  Clock::time_point next_check_ = Clock::time_point::max();
  Clock::time_point paused_until_{};
  bool listening_ = false;
  uint64_t accepted_ = 0;
};

Clock::time_point Intake::Deadline(const Connection& c) const {
  if (c.refused) return c.refused_at + milliseconds(kRefusalLingerMs);
  Clock::time_point deadline = c.last_byte + milliseconds(shared_.receiveTimeoutMs);
  if (!c.assembler.HeadersEnded())
    deadline = std::min(deadline, c.accepted + milliseconds(shared_.headerDeadlineMs));
  return deadline;
}

int Intake::WaitMs(Clock::time_point now) const {
  Clock::time_point until = now + milliseconds(shared_.listenerWaitMs);
  until = std::min(until, next_check_);
  if (!listening_) until = std::min(until, paused_until_);
  if (until <= now) return 0;
  auto left = std::chrono::duration_cast<milliseconds>(until - now).count() + 1;
  return static_cast<int>(left);
}

void Intake::Listen(bool on) {
  if (on == listening_) return;
  if (on)
    listening_ = poller_.Add(shared_.listenSocket);
  else {
    poller_.Remove(shared_.listenSocket);
    listening_ = false;
  }
}

void Intake::Run() {
  if (!poller_.Ready() || !os::SetNonBlocking(shared_.listenSocket, true) ||
      !poller_.Add(shared_.stopFd)) {
    Trace(&handle_, "\nThe intake cannot wait on its connections");
    SetStop(shared_, kListenerFailed);
    return;
  }
  Listen(true);
  std::vector<os::Poller::Event> events;
  while (shared_.stop == 0) {
    if (poller_.Wait(WaitMs(Clock::now()), &events) < 0) {
      Trace(&handle_, "\nThe intake's wait failed");
      SetStop(shared_, kListenerFailed);
      return;
    }
    if (shared_.stop != 0) break;
    Clock::time_point now = Clock::now();
    for (const os::Poller::Event& event : events) {
      if (event.fd == shared_.listenSocket) {
        AcceptWaiting(now);
        continue;
      }
      auto found = reading_.find(event.fd);
      if (found != reading_.end() && event.readable) Read(*found->second, now);
    }
    if (!listening_ && now >= paused_until_) Listen(true);
    if (now >= next_check_) ExpireDeadlines(now);
    for (int fd : finished_) HandOver(fd);
    for (int fd : closed_) Close(fd);
    finished_.clear();
    closed_.clear();
  }
}

void Intake::AcceptWaiting(Clock::time_point now) {
  for (int n = 0; n < kAcceptsPerTurn; ++n) {
    bool out_of_descriptors = false;
    os::Socket s = os::AcceptWaiting(shared_.listenSocket, &out_of_descriptors);
    if (s == os::kNoSocket) {
      if (out_of_descriptors) {
        // Nothing can be accepted until a descriptor is free; the waiting
        // connections stay in the kernel's queue meanwhile.
        Trace(&handle_, "\nOut of descriptors: accepting pauses");
        Listen(false);
        paused_until_ = now + milliseconds(kAcceptPauseMs);
      }
      return;
    }
    Trace(&handle_, "\n\nCAUGHT REQUEST... PROCESSING\n");
    MakeRoom();
    auto connection = std::make_unique<Connection>(s, shared_.requestSizeCap, now, ++accepted_);
    if (!poller_.Add(s)) {
      os::Close(s);
      continue;
    }
    next_check_ = std::min(next_check_, Deadline(*connection));
    reading_[s] = std::move(connection);
  }
}

void Intake::MakeRoom() {
  if (reading_.size() < cap_) return;
  auto oldest = reading_.end();
  for (auto it = reading_.begin(); it != reading_.end(); ++it) {
    if (it->second->ended) continue;
    if (oldest == reading_.end() || it->second->order < oldest->second->order) oldest = it;
  }
  if (oldest == reading_.end()) return;
  Trace(&handle_, "\nThe intake is full: the connection read longest is closed");
  int fd = oldest->first;
  poller_.Remove(fd);
  os::Close(oldest->second->socket);
  reading_.erase(oldest);
}

void Intake::End(Connection& c, bool queue) {
  c.ended = true;
  (queue ? finished_ : closed_).push_back(c.socket);
}

void Intake::Read(Connection& c, Clock::time_point now) {
  if (c.ended) return;
  char piece[kReceivePiece];
  for (int n = 0; n < kPiecesPerTurn; ++n) {
    long got = os::ReceiveWaiting(c.socket, piece, sizeof piece);
    if (got == os::kNothingWaiting) return;
    if (c.refused) {
      if (got <= 0 || (c.dropped += static_cast<size_t>(got)) > shared_.requestSizeCap)
        return End(c, false);
      continue;
    }
    if (got <= 0) {
      // The peer's end or a failure ends the read with what arrived.
      return End(c, true);
    }
    c.last_byte = now;
    c.last_piece.assign(piece, static_cast<size_t>(got));
    bool complete = c.assembler.Add(c.last_piece);
    if (c.assembler.TooLarge()) return Refuse(c, now);
    if (complete) return End(c, true);
  }
}

void Intake::Refuse(Connection& c, Clock::time_point now) {
  Trace(&handle_, "\nRequest too large: refused");
  (void)os::SendAll(c.socket, common::kReplyTooLarge);
  os::ShutdownSending(c.socket);
  c.refused = true;
  c.refused_at = now;
  c.assembler = RequestAssembler(0);  // its text is no longer needed
  next_check_ = std::min(next_check_, Deadline(c));
}

void Intake::ExpireDeadlines(Clock::time_point now) {
  next_check_ = Clock::time_point::max();
  for (auto& [fd, connection] : reading_) {
    (void)fd;
    Clock::time_point deadline = Deadline(*connection);
    if (deadline > now) {
      next_check_ = std::min(next_check_, deadline);
      continue;
    }
    if (connection->ended) continue;
    // Silence or the header deadline ends the read like the peer's end;
    // a refusal's time is up.
    End(*connection, !connection->refused);
  }
}

void Intake::HandOver(int fd) {
  auto found = reading_.find(fd);
  if (found == reading_.end()) return;
  std::unique_ptr<Connection> c = std::move(found->second);
  reading_.erase(found);
  poller_.Remove(fd);
  // The request threads send with blocking writes.
  (void)os::SetNonBlocking(c->socket, false);
  (void)QueueRequest(c->socket, c->assembler.TakeText(), c->last_piece, handle_);
}

void Intake::Close(int fd) {
  auto found = reading_.find(fd);
  if (found == reading_.end()) return;
  poller_.Remove(fd);
  os::Close(found->second->socket);
  reading_.erase(found);
}

}  // namespace

void RunIntake(ThreadHandle& handle) {
  Intake intake(handle);
  intake.Run();
}

}  // namespace engine
