// The calling thread's last platform failure, which VXErrorFetch reports.
// Every failing call records one; successful calls leave it alone.
#pragma once

#include <cstdint>
#include <string>

#include "ledra/vx_types.h"

namespace ledra {

// Records the failure for this thread and returns code, so call sites read
// `return Fail(kVXItemNotFound, "Item " + name + " not found");`.
VXStatus Fail(VXStatus code, std::string message, uint32_t detail = 0);

// The last failure recorded on this thread (code 0 when none).
struct LastError {
  VXStatus code = 0;
  uint32_t detail = 0;
  std::string message;
};
const LastError& LastFailure();

// "Database Local!!nope.ldf" for messages.
std::string DatabaseLabel(const std::string& server, const std::string& path);

}  // namespace ledra
