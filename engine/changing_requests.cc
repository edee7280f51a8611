// The tables of requests that change something.
#include "engine/changing_requests.h"

#include <strings.h>

#include <cstring>

#include "common/text.h"

namespace engine {

namespace {

bool SubcommandMatches(const ChangingKvCommand& entry, const std::string& argument2) {
  switch (entry.match) {
    case SubcommandMatch::kAny:
      return true;
    case SubcommandMatch::kPrefix:
      return argument2.rfind(entry.subcommand, 0) == 0;
    case SubcommandMatch::kExact:
      return argument2 == entry.subcommand;
    case SubcommandMatch::kExactAnyCase:
      return strcasecmp(argument2.c_str(), entry.subcommand) == 0;
  }
  return false;
}

}  // namespace

const char* KvRequestChange(const DatabaseRequest& request) {
  if (!request.method.has_value() || strcasecmp(request.method->c_str(), "GET") != 0)
    return kSubmissionChange;
  if (!request.command.has_value() || request.command->empty()) return nullptr;
  char first = (*request.command)[0];
  std::string argument2 = request.argument2.value_or("");
  for (const ChangingKvCommand& entry : kChangingKvCommands) {
    if (entry.command == first && SubcommandMatches(entry, argument2)) return entry.what;
  }
  return nullptr;
}

char CommandLetter(std::string_view raw_request) {
  std::string_view line = raw_request.substr(0, raw_request.find('\n'));
  constexpr std::string_view kHost = "http://[wc]/";
  size_t at = common::FindText('<', line, kHost);
  if (at == common::kNotFound || at + kHost.size() >= line.size()) return '\0';
  char letter = line[at + kHost.size()];
  return letter == ' ' || letter == '\r' ? '\0' : letter;
}

bool CommandRequestActs(std::string_view raw_request) {
  char letter = CommandLetter(raw_request);
  return letter != '\0' && std::strchr(kActingCommandLetters, letter) != nullptr;
}

bool ReplicaRequestSubmits(std::string_view method, int submit) {
  return submit != 0 || (method.size() == 4 && common::StartsWithNoCase(method, "POST"));
}

}  // namespace engine
