// Listener set-up and the hand-over of a request to the queue.
#include "engine/listener.h"

#include <memory>

#include "engine/classify.h"
#include "os/poller.h"

namespace engine {

void SetUpListener(ThreadHandle& handle) {
  SharedContext& shared = *handle.shared;
  auto fail = [&](const std::string& line, os::Socket s) {
    Trace(&handle, line);
    os::Close(s);
    SetStop(shared, kListenerFailed);
  };
  (void)os::RaiseDescriptorLimit();
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

RequestEntry* QueueRequest(os::Socket socket, std::string text, const std::string& last_piece,
                           ThreadHandle& handle) {
  SharedContext& shared = *handle.shared;
  std::string traced = !text.empty() && text[0] == 'P' ? text.substr(0, 4000) : last_piece;
  Trace(&handle, "\nCreating EVENT: " + traced);

  auto entry = std::make_unique<RequestEntry>();
  entry->socket = socket;
  entry->rawRequest = std::move(text);
  Classify(*entry);
  entry->methodKind = !entry->rawRequest.empty() && entry->rawRequest[0] == 'G' ? 1 : 2;
  int type = entry->eventType;
  RequestEntry* queued = AppendEntry(shared, std::move(entry));
  IncrementPending(shared, type);
  return queued;
}

}  // namespace engine
