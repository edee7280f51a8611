// The command worker's commands.
#include "proxy/command.h"

#include <cstdio>
#include <cstring>
#include <optional>

#include "common/text.h"
#include "engine/hooks.h"
#include "engine/reply_file.h"
#include "os/desktop.h"
#include "platform/database_operation.h"
#include "proxy/workspace.h"

namespace proxy {

namespace {

constexpr char kCommandPrefix[] = "http://[wc]/";

// What a command leaves for the reply.
struct Outcome {
  bool reply_written = false;  // the reply file holds the reply already
  std::string target;          // else: the redirect's target
};

bool Question(const engine::SharedContext& shared, const char* text) {
  return os::MessageBox(shared.mainWindow, text, kMessageTitle, os::Icon::kQuestion,
                        os::Buttons::kYesNo) == os::Answer::kYes;
}

void Notice(const engine::SharedContext& shared, std::string_view text) {
  os::MessageBox(shared.mainWindow, text, kMessageTitle, os::Icon::kExclamation, os::Buttons::kOk);
}

// The text after "?" of an argument "?TEXT"; none otherwise.
std::optional<std::string> QueryText(const std::string& argument) {
  if (argument.size() < 2 || argument[0] != '?') return std::nullopt;
  return argument.substr(1);
}

// The URL a favourite operation gave for the browser, cut at a line end so
// that it stays one header line; none when it gave none.
std::optional<std::string> OperationUrl(int32_t result, const std::string& url) {
  if (result == -1) return std::nullopt;
  std::string line = url.substr(0, url.find_first_of("\r\n"));
  if (line.empty()) return std::nullopt;
  return line;
}

bool WriteText(const std::string& path, const std::string& text) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && ok;
}

Outcome Act(engine::ThreadHandle& handle, const CommandLine& command, const std::string& reply_path,
            const std::string& return_target) {
  engine::SharedContext& shared = *handle.shared;
  Outcome outcome{false, return_target};
  const std::string& argument = command.argument;
  switch (command.letter) {
    case '1':
      break;  // the restart follows the reply
    case '7':
    case 'M':
      // The raw URL text, as typed, not percent-decoded.
      if (std::optional<std::string> text = QueryText(argument)) Notice(shared, *text);
      break;
    case 'A':
      if (engine::Hooks().idFileDialog != nullptr) engine::Hooks().idFileDialog(handle);
      break;
    case 'B':
      if (engine::Hooks().preferredBrowserDialog != nullptr)
        engine::Hooks().preferredBrowserDialog(handle);
      break;
    case 'D':
      if (!argument.empty()) {
        std::string copy = argument;
        int32_t result =
            platform::RunDatabaseOperation(handle, platform::kDashboardFrame,
                                           {reinterpret_cast<intptr_t>(copy.c_str()),
                                            reinterpret_cast<intptr_t>(reply_path.c_str())});
        outcome.reply_written = result == 0;
      }
      break;
    case 'F':
      if (std::optional<std::string> url = QueryText(argument)) {
        std::string target;
        int32_t result = platform::RunDatabaseOperation(
            handle, platform::kEditFavourite,
            {reinterpret_cast<intptr_t>(url->c_str()), reinterpret_cast<intptr_t>(&target)});
        if (std::optional<std::string> go = OperationUrl(result, target)) outcome.target = *go;
      } else {
        Notice(shared, kCannotLink);
      }
      break;
    case 'N': {
      bool going_online = shared.offline == 1;
      // The question is asked without holding the request queue: every
      // request would wait for the user's answer otherwise.
      if (Question(shared, going_online ? kOnlineQuestion : kOfflineQuestion)) {
        os::LockGuard guard(shared.queueLock);
        shared.offline = going_online ? 0 : 1;
        std::string workspace = shared.programDir + "/" + kWorkspaceFile;
        (void)platform::RunDatabaseOperation(handle, platform::kWriteWorkspace,
                                             {reinterpret_cast<intptr_t>(workspace.c_str())});
      }
      break;
    }
    case 'S':
      if (QueryText(argument)) {
        std::string target;
        int32_t result = platform::RunDatabaseOperation(
            handle, platform::kAddFavourite,
            {reinterpret_cast<intptr_t>(argument.c_str()), reinterpret_cast<intptr_t>(kNoReferer),
             reinterpret_cast<intptr_t>(&target)});
        if (std::optional<std::string> go = OperationUrl(result, target)) outcome.target = *go;
      } else {
        Notice(shared, kExempt);
      }
      break;
    default:
      (void)platform::RunDatabaseOperation(handle, platform::kWriteWorkspace,
                                           {reinterpret_cast<intptr_t>(reply_path.c_str())});
      outcome.reply_written = true;
      break;
  }
  return outcome;
}

}  // namespace

CommandLine ReadCommandLine(std::string_view raw_request) {
  CommandLine command;
  std::string_view line = raw_request.substr(0, raw_request.find_first_of("\r\n"));
  // "%s " : the method, then blanks.
  size_t method_end = line.find_first_of(" \t");
  if (method_end == 0 || method_end == std::string_view::npos) return command;
  size_t url = line.find_first_not_of(" \t", method_end);
  if (url == std::string_view::npos ||
      line.substr(url, std::strlen(kCommandPrefix)) != kCommandPrefix)
    return command;
  size_t at = url + std::strlen(kCommandPrefix);
  if (at >= line.size()) return command;
  command.letter = line[at];
  if (at + 1 >= line.size() || line[at + 1] != '/' || at + 2 >= line.size()) return command;
  std::string_view argument = line.substr(at + 2);
  size_t last_blank = argument.rfind(' ');
  if (last_blank != std::string_view::npos) argument = argument.substr(0, last_blank);
  command.argument = std::string(argument);
  return command;
}

std::string ReturnTarget(std::string_view raw_request) {
  constexpr std::string_view kReferer = "Referer: ";
  size_t headers = raw_request.find('\n');
  size_t at = headers == std::string_view::npos ? std::string_view::npos
                                                : raw_request.find(kReferer, headers);
  if (at == std::string_view::npos) return kNoReferer;
  std::string_view value = raw_request.substr(at + kReferer.size());
  value = value.substr(0, value.find_first_of("\r\n"));
  std::string target(value);
  if (target.find(kDashboardAnchor) == std::string::npos) target += kDashboardAnchor;
  return target;
}

void ServeCommand(engine::ThreadHandle& handle, engine::RequestEntry& entry) {
  engine::SharedContext& shared = *handle.shared;
  engine::Trace(&handle, common::Format(kCommandTraceFormat, entry.rawRequest.c_str()));
  std::optional<std::string> reply_path = engine::NewReplyFileName();
  if (!reply_path) return engine::FinishEntry(shared, entry);
  CommandLine command = ReadCommandLine(entry.rawRequest);
  Outcome outcome = Act(handle, command, *reply_path, ReturnTarget(entry.rawRequest));
  if (!outcome.reply_written)
    WriteText(*reply_path, common::Format(kCommandRedirectFormat, outcome.target.c_str()));
  engine::AnswerFromReplyFile(shared, entry, *reply_path);
  if (command.letter == '1') {
    shared.restart = 1;
    engine::SetStop(shared, engine::kStopRequested);
  }
  if (shared.stop != 0 && shared.mainWindow != nullptr) os::PostDestroy(*shared.mainWindow);
}

}  // namespace proxy
