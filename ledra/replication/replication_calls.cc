// The replication calls of the Vantix interface.
#include <strings.h>

#include <string>

#include "ledra/last_error.h"
#include "ledra/objects.h"
#include "ledra/replication/replication_api.h"
#include "ledra/replication/replicator.h"

using namespace ledra;

VXStatus VXReplicateWithServer(const char* server, uint32_t options, uint32_t class_mask,
                               uint32_t flags, const char* path, VXReplicationStats* stats) {
  if (stats == nullptr) return Fail(kVXBadArgument, "Replication: no statistics record given");
  *stats = VXReplicationStats{};
  if (!PlatformReady()) {
    return Fail(kVXNotInitialized, "The Ledra platform is not initialised (_VXInit has not run)");
  }
  if ((options & (kVXReplReceive | kVXReplSend)) == 0) {
    return Fail(kVXBadArgument, "Replication: options " + std::to_string(options) +
                                    " ask for neither receiving (0x1) nor sending (0x2)");
  }
  if (path == nullptr || *path == '\0') {
    return Fail(kVXBadArgument, "Replication: no local database named");
  }
  std::string partner = (server == nullptr || *server == '\0') ? DefaultServer() : server;
  replication::ReplicationOptions run;
  run.receive = (options & kVXReplReceive) != 0;
  run.send = (options & kVXReplSend) != 0;
  run.class_mask = class_mask;
  run.open_flags = (flags & kVXReplJobWait) != 0 ? kVXOpenJob : 0;
  return replication::ReplicateWithServer(partner, path, run, stats);
}

VXStatus VXNameConvert(uint32_t mode, const char* name, char* out, uint32_t size) {
  if (out == nullptr || size == 0) return Fail(kVXBadArgument, "Name conversion: no buffer given");
  if (mode > 1)
    return Fail(kVXBadArgument, "Name conversion: mode " + std::to_string(mode) + " is not 0 or 1");
  std::string text = name != nullptr ? name : "";
  if (mode == 1) {
    std::string abbreviated;
    size_t start = 0;
    while (start <= text.size()) {
      size_t end = text.find('/', start);
      if (end == std::string::npos) end = text.size();
      std::string part = text.substr(start, end - start);
      for (const char* label : {"CN=", "OU=", "O=", "C="}) {
        size_t n = std::char_traits<char>::length(label);
        if (part.size() >= n && strncasecmp(part.c_str(), label, n) == 0) {
          part.erase(0, n);
          break;
        }
      }
      if (!abbreviated.empty() || start > 0) abbreviated += '/';
      abbreviated += part;
      start = end + 1;
    }
    text = abbreviated;
  }
  CopyText(text, out, size);
  return kVXOk;
}
