// Parsing of [wr;...] URLs.
#include "engine/replica_request.h"

#include "common/text.h"
#include "engine/hooks.h"

namespace engine {

std::unique_ptr<ReplicaRequest> ParseReplicaRequest(std::string_view raw, ThreadHandle* handle,
                                                    RequestEntry* entry) {
  constexpr size_t kNone = std::string_view::npos;
  auto request = std::make_unique<ReplicaRequest>();
  request->entry = entry;
  size_t line_end = raw.find_first_of("\r\n");
  std::string_view line = raw.substr(0, line_end);
  size_t blank = line.find(' ');
  request->method = std::string(line.substr(0, blank));
  if (blank == kNone) return nullptr;
  size_t start = line.find('h', blank + 1);
  if (start == kNone) return nullptr;
  std::string_view url = line.substr(start);
  url = url.substr(0, url.find(' '));
  request->url = std::string(url);

  size_t open = url.find('[');
  size_t close = open == kNone ? kNone : url.find(']', open);
  if (close == kNone) return nullptr;
  std::string_view bracket = url.substr(open, close - open);
  request->submit = bracket.find("wrs;") != kNone ? 1 : 0;

  size_t semicolon = bracket.find(';');
  if (semicolon != kNone) {
    std::string_view rest = bracket.substr(semicolon + 1);
    if (common::StartsWithNoCase(rest, "$WCTX_CorvjobsicaContext")) {
      if (handle != nullptr && Hooks().currentReplicaDatabase != nullptr)
        Hooks().currentReplicaDatabase(*handle, &request->server, &request->database);
    } else {
      size_t next = rest.find(';');
      request->server = std::string(rest.substr(0, next));
      if (next != kNone) {
        request->database = std::string(rest.substr(next + 1));
        for (char& c : request->database)
          if (c == '/' || c == ';') c = '\\';
      }
    }
  }
  request->key = std::string(url.substr(close + 1));
  if (request->server.empty()) request->server = kDefaultReplicaServer;
  if (request->database.empty()) request->database = kDefaultReplicaDatabase;
  return request;
}

}  // namespace engine
