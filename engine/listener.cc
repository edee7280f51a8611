// Listener set-up and request intake.
#include "engine/listener.h"

#include <unistd.h>

#include <cstdio>
#include <memory>

#include "common/reply_forms.h"
#include "engine/classify.h"
#include "engine/request_assembler.h"

namespace engine {

void SetUpListener(ThreadHandle& handle) {
  SharedContext& shared = *handle.shared;
  auto fail = [&](const std::string& line, os::Socket s) {
    Trace(&handle, line);
    os::Close(s);
    SetStop(shared, kListenerFailed);
  };
  std::string description, status;
  int code = os::SocketStartup(&description, &status);
  if (code != 0)
    return fail("\n* FAILED Windows Socket initialization: code=" + std::to_string(code),
                os::kNoSocket);
  Trace(&handle, "\n" + description + " " + status);
  os::Socket s = os::CreateStreamSocket();
  if (s == os::kNoSocket) return fail("\nCould not allocate listen socket", s);
  if (!os::SetReuseAddress(s)) return fail("\nCould not set socket option SO_REUSEADDR", s);
  if (!os::SetKeepAlive(s)) return fail("\nCould not set socket option SO_KEEPALIVE", s);
  if (!os::Bind(s, shared.listenAddress, shared.localPort))
    return fail("Could not bind to port " + std::to_string(shared.localPort) + "\n", s);
  if (!os::Listen(s, kListenBacklog))
    return fail("Could not bind to port " + std::to_string(shared.localPort) + "\n", s);
  shared.listenSocket = s;
  // Port 0 asks the kernel for one; keep the port actually held.
  shared.localPort = os::LocalPort(s);
}

os::Socket WaitForConnection(ThreadHandle& handle) {
  SharedContext& shared = *handle.shared;
  if (shared.stop != 0) return os::kNoSocket;
  int ready = os::WaitReadable(shared.listenSocket, shared.listenerWaitMs, shared.stopFd);
  if (ready != 1) return os::kNoSocket;
  Trace(&handle, "\n\nCAUGHT REQUEST... PROCESSING\n");
  return os::Accept(shared.listenSocket);
}

RequestEntry* TakeRequest(os::Socket socket, ThreadHandle& handle) {
  SharedContext& shared = *handle.shared;
  RequestAssembler assembler(shared.requestSizeCap);
  std::string last_piece;
  char scratch[kReceivePiece + 1];
  for (;;) {
    // A silent client is given up after the receive time-out; stop ends
    // the wait at once.
    if (os::WaitReadable(socket, shared.receiveTimeoutMs, shared.stopFd) != 1) break;
    long got = os::Receive(socket, scratch, kReceivePiece);
    if (got <= 0) break;
    last_piece.assign(scratch, static_cast<size_t>(got));
    if (assembler.Add(last_piece) || assembler.TooLarge()) break;
  }
  if (assembler.TooLarge()) {
    Trace(&handle, "\nRequest too large: refused");
    (void)os::SendAll(socket, common::kReplyTooLarge);
    os::LingerAndClose(socket, shared.requestSizeCap, 2000);
    return nullptr;
  }
  std::string text = assembler.TakeText();
  std::string traced = !text.empty() && text[0] == 'P' ? text.substr(0, 4000) : last_piece;
  Trace(&handle, "\nCreating EVENT: " + traced);

  auto entry = std::make_unique<RequestEntry>();
  entry->socket = socket;
  entry->rawRequest = std::move(text);
  Classify(*entry);
  entry->methodKind = !entry->rawRequest.empty() && entry->rawRequest[0] == 'G' ? 1 : 2;
  return AppendEntry(shared, std::move(entry));
}

}  // namespace engine
