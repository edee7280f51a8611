// The command runner.
#include "jobs/command_runner.h"

#include "common/text.h"
#include "os/process.h"

namespace jobs {

std::vector<std::string> CommandWords(std::string_view command, std::string_view current_url) {
  std::string line(command);
  size_t marker = common::FindText('<', line, kCurrentUrlMarker);
  if (marker != common::kNotFound)
    line.replace(marker, sizeof kCurrentUrlMarker - 1, std::string(current_url));

  std::vector<std::string> words;
  std::string word;
  bool in_word = false, quoted = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      in_word = true;
    } else if (c == ' ' && !quoted) {
      if (in_word) words.push_back(std::move(word));
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
    if (words.size() == kMaxCommandWords) return words;
  }
  if (in_word) words.push_back(std::move(word));
  return words;
}

bool RunCommand(std::string_view command, std::string_view current_url, bool wait) {
  std::vector<std::string> words = CommandWords(command, current_url);
  if (words.empty() || words[0].empty()) return false;
  std::string program = words[0];
  std::vector<std::string> arguments(words.begin() + 1, words.end());
  if (wait) {
    int exit_code = 0;
    return os::ProcessRun(program, arguments, os::kProcessNoTimeout, &exit_code) ==
           os::ProcessStatus::kOk;
  }
  int pid = 0;
  return os::ProcessStart(program, arguments, &pid) == os::ProcessStatus::kOk;
}

}  // namespace jobs
