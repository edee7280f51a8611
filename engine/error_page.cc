// The error page.
#include "engine/error_page.h"

#include <string>

#include "engine/hooks.h"

namespace engine {

EngineHooks& Hooks() {
  static EngineHooks hooks;
  return hooks;
}

void WriteErrorPage(std::FILE* reply, const ThreadHandle& handle) {
  if (reply == nullptr || handle.shared == nullptr) return;
  if (handle.shared->offline == 0) {
    std::string text;
    if (Hooks().platformErrorText != nullptr) text = Hooks().platformErrorText(handle);
    if (text.empty()) text = kNoErrorText;
    std::fprintf(reply, kErrorPageFormat, text.c_str());
  } else {
    std::fseek(reply, 0, SEEK_SET);
    std::fprintf(reply, kOfflineRedirectFormat, handle.shared->programDirUrl.c_str());
  }
}

}  // namespace engine
