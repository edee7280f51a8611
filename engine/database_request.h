// The database request: a [kv] URL read into its fields.
//
//   http://[kv]/SERVER:/DATABASE:/COMMAND/ARG1/ARG2/ARG3/ARG4/{RETURN-URL}/
//
// A field the URL does not reach is absent; a segment that is present but
// empty gives an empty text.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace engine {

struct RequestEntry;

struct DatabaseRequest {
  RequestEntry* entry = nullptr;  // not owned
  std::optional<std::string> method;
  std::optional<std::string> server;    // may contain "/" (hierarchical names)
  std::optional<std::string> database;  // "/" turned into "\", lower case
  std::optional<std::string> command;
  std::optional<std::string> argument1;
  std::optional<std::string> argument4;  // lower case
  std::optional<std::string> argument2;
  std::optional<std::string> argument3;
  std::optional<std::string> returnUrl;
  std::optional<std::string> url;  // whole URL, percent-decoded
};

// Reads the request line of `raw`; null when it is malformed (fewer than
// three "/" in the request line, or no URL in it).
std::unique_ptr<DatabaseRequest> ParseDatabaseRequest(std::string_view raw,
                                                      RequestEntry* entry = nullptr);

}  // namespace engine
