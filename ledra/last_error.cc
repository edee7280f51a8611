// Per-thread last failure and VXErrorFetch.
#include "ledra/last_error.h"

#include <cstring>

#include "ledra/vxapi.h"

namespace ledra {
namespace {
thread_local LastError last_error;
}  // namespace

VXStatus Fail(VXStatus code, std::string message, uint32_t detail) {
  last_error.code = code;
  last_error.detail = detail;
  last_error.message = std::move(message);
  return code;
}

const LastError& LastFailure() { return last_error; }

std::string DatabaseLabel(const std::string& server, const std::string& path) {
  return "Database " + server + "!!" + path;
}

}  // namespace ledra

VXStatus VXErrorFetch(uint32_t* code, uint32_t* detail, char* text) {
  const ledra::LastError& e = ledra::LastFailure();
  if (code != nullptr) *code = e.code;
  if (detail != nullptr) *detail = e.detail;
  if (text != nullptr) {
    // Cut at a character boundary so the text stays valid UTF-8.
    size_t n = std::min<size_t>(e.message.size(), kVXErrorTextSize - 1);
    while (n > 0 && n < e.message.size() &&
           (static_cast<unsigned char>(e.message[n]) & 0xC0) == 0x80) {
      --n;
    }
    std::memcpy(text, e.message.data(), n);
    text[n] = '\0';
  }
  return kVXOk;
}
