// Detached threads on a heap copy of their argument.
#include "os/thread.h"

#include <system_error>
#include <thread>

namespace os {

bool StartDetachedThread(ThreadEntry entry, std::string_view argument) {
  try {
    std::thread worker(entry, std::string(argument));
    worker.detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

}  // namespace os
