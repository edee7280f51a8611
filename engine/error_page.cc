// The error page.
#include "engine/error_page.h"

#include <string>

#include "common/html_escape.h"
#include "engine/hooks.h"

namespace engine {

EngineHooks& Hooks() {
  static EngineHooks hooks;
  return hooks;
}

std::string ErrorPageText(std::string_view text, const std::string& program_dir) {
  std::string relative(text);
  if (!program_dir.empty()) {
    std::string prefix = program_dir + "/";
    for (size_t at = relative.find(prefix); at != std::string::npos; at = relative.find(prefix, at))
      relative.erase(at, prefix.size());
  }
  return common::HtmlEscape(relative);
}

void WriteErrorPage(std::FILE* reply, const ThreadHandle& handle) {
  if (reply == nullptr || handle.shared == nullptr) return;
  if (handle.shared->offline == 0) {
    std::string text;
    if (Hooks().platformErrorText != nullptr) text = Hooks().platformErrorText(handle);
    if (text.empty()) text = kNoErrorText;
    std::fprintf(reply, kErrorPageFormat, ErrorPageText(text, handle.shared->programDir).c_str());
  } else {
    std::fseek(reply, 0, SEEK_SET);
    std::fprintf(reply, kOfflineRedirectFormat, handle.shared->programDirUrl.c_str());
  }
}

}  // namespace engine
