// Sleeps of the host layer.
#include "os/sync.h"

#include <thread>

namespace os {

void SleepMs(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace os
