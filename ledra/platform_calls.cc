// Platform start and end, platform properties, text translation, the
// environment strings, the server list and the ledcore memory handles.
#include <atomic>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "ledra/formula/formula_calls.h"
#include "ledra/objects.h"
#include "ledra/settings.h"
#include "ledra/vxapi.h"

namespace ledra {
namespace {

namespace fs = std::filesystem;

std::mutex platform_mutex;
std::atomic<bool> initialised{false};
std::string default_server = "Local";  // guarded by platform_mutex
std::atomic<int32_t> no_prompt{0};
std::atomic<int32_t> quiet{0};
std::atomic<int32_t> lock_wait_seconds{30};

// Per-thread cursor of VXServerList.
thread_local std::vector<std::string> server_walk;
thread_local size_t server_pos = 0;

// Length of the valid UTF-8 sequence at p (1-4), or 0 when invalid.
size_t Utf8Length(const unsigned char* p, size_t left) {
  unsigned char c = p[0];
  if (c < 0x80) return 1;
  size_t n = (c >= 0xC2 && c <= 0xDF) ? 2 : (c >= 0xE0 && c <= 0xEF) ? 3 : (c >= 0xF0 && c <= 0xF4) ? 4 : 0;
  if (n == 0 || n > left) return 0;
  for (size_t i = 1; i < n; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
  }
  // Overlong forms, surrogates and values above U+10FFFF.
  if (c == 0xE0 && p[1] < 0xA0) return 0;
  if (c == 0xED && p[1] > 0x9F) return 0;
  if (c == 0xF0 && p[1] < 0x90) return 0;
  if (c == 0xF4 && p[1] > 0x8F) return 0;
  return n;
}

}  // namespace

bool PlatformReady() { return initialised.load(); }

int LockWaitMs(uint32_t open_flags) {
  if ((open_flags & kVXOpenJob) != 0) return 120000;
  return lock_wait_seconds.load() * 1000;
}

std::string DefaultServer() {
  std::lock_guard<std::mutex> lock(platform_mutex);
  return default_server;
}

}  // namespace ledra

using namespace ledra;

VXStatus _VXInit(uint32_t /*version*/, void*, void*, void*) {
  std::string file = SettingsFile();
  std::error_code ec;
  if (fs::exists(file, ec)) {
    std::string ignored;
    if (VXStatus s = ReadSetting("Directory", &ignored); s != kVXOk) return s;
  }
  std::optional<std::string> dir = ServerDirectory("Local");
  if (!dir) return Fail(kVXSettingsError, "No data directory for Local in " + file);
  fs::create_directories(*dir, ec);
  if (!fs::is_directory(*dir, ec)) {
    return Fail(kVXSettingsError, "The data directory " + *dir + " (Directory= in " + file +
                                      ") does not exist and cannot be made");
  }
  RegisterFormulaModule();
  initialised = true;
  return kVXOk;
}

VXStatus VXTerm(uint32_t /*flags*/) {
  ReleaseAllHandles();
  RemoveSettingsLock();
  initialised = false;
  return kVXOk;
}

VXStatus VXSetProperty(uint32_t property, const void* value) {
  if (value == nullptr) return Fail(kVXBadArgument, "Platform property " + std::to_string(property) + ": no value given");
  int32_t number = 0;
  if (property != kVXPropDefaultServer) std::memcpy(&number, value, sizeof number);
  switch (property) {
    case kVXPropDefaultServer: {
      std::lock_guard<std::mutex> lock(platform_mutex);
      default_server = static_cast<const char*>(value);
      if (default_server.empty()) default_server = "Local";
      return kVXOk;
    }
    case kVXPropNoPrompt:
      no_prompt = number;
      return kVXOk;
    case kVXPropQuiet:
      quiet = number;
      return kVXOk;
    case kVXPropLockWait:
      if (number < 0 || number > 3600) {
        return Fail(kVXBadArgument, "Platform property 19 (lock wait) must be 0 to 3600 seconds");
      }
      lock_wait_seconds = number;
      return kVXOk;
    default:
      return Fail(kVXBadArgument, "Platform property " + std::to_string(property) + " cannot be set");
  }
}

VXStatus VXGetProperty(uint32_t property, void* value, uint32_t size) {
  if (value == nullptr) return Fail(kVXBadArgument, "Platform property " + std::to_string(property) + ": no buffer given");
  auto number = [&](int32_t v) {
    if (size != 0 && size < sizeof v) return Fail(kVXBufferTooSmall, "Platform property buffer too small");
    std::memcpy(value, &v, sizeof v);
    return kVXOk;
  };
  switch (property) {
    case kVXPropDefaultServer:
      CopyText(DefaultServer(), static_cast<char*>(value), size);
      return kVXOk;
    case kVXPropUserName:
      CopyText(CurrentUserName(), static_cast<char*>(value), size);
      return kVXOk;
    case kVXPropNoPrompt:
      return number(no_prompt);
    case kVXPropQuiet:
      return number(quiet);
    case kVXPropLockWait:
      return number(lock_wait_seconds);
    default:
      return Fail(kVXBadArgument, "Platform property " + std::to_string(property) + " is not known");
  }
}

VXStatus VXTranslate(uint32_t mode, uint32_t length, const char* source, uint32_t size, char* target,
                     uint32_t* out_length) {
  if (mode > 1) return Fail(kVXBadArgument, "Text translation mode " + std::to_string(mode) + " is not known");
  if (target == nullptr || size == 0) return Fail(kVXBadArgument, "Text translation: no target buffer");
  std::string out;
  if (source != nullptr) {
    size_t n = length != 0 ? length : std::strlen(source);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(source);
    size_t i = 0;
    while (i < n) {
      size_t k = Utf8Length(p + i, n - i);
      if (k == 0) {
        out += "\xEF\xBF\xBD";  // U+FFFD for a byte that starts no character
        ++i;
      } else {
        out.append(source + i, k);
        i += k;
      }
    }
  }
  // The target may be the source (in-place conversion): out is a copy.
  uint32_t written = CopyText(out, target, size);
  if (out_length != nullptr) *out_length = written;
  return kVXOk;
}

VXStatus VXGetEnvironmentString(const char* name, char* value, uint32_t size) {
  if (name == nullptr || *name == '\0' || value == nullptr || size == 0) {
    return Fail(kVXBadArgument, "Environment variable: no name or no buffer given");
  }
  std::string v;
  if (VXStatus s = ReadSetting(name, &v); s != kVXOk) {
    value[0] = '\0';
    return s;
  }
  CopyText(v, value, size);
  return kVXOk;
}

VXStatus VXSetEnvironmentString(const char* name, const char* value, uint32_t /*flags*/) {
  if (name == nullptr || *name == '\0') return Fail(kVXBadArgument, "Environment variable: no name given");
  return WriteSetting(name, value != nullptr ? value : "");
}

VXStatus VXServerList(uint32_t code, char* name, uint32_t size) {
  if (name == nullptr || size == 0) return Fail(kVXBadArgument, "Server list: no buffer given");
  if (code == kVXListFirst || code == 1) {
    server_walk = ServerNames();
    server_pos = 0;
  } else if (code != kVXListNext) {
    return Fail(kVXBadArgument, "Server list: code " + std::to_string(code) + " is not 2 (first) or 4 (next)");
  }
  if (server_pos >= server_walk.size()) {
    name[0] = '\0';
    return kVXEndOfList;
  }
  CopyText(server_walk[server_pos++], name, size);
  return kVXOk;
}

// --- ledcore memory --------------------------------------------------------

VXHandle LCMemAlloc(const void* bytes, uint32_t size) {
  auto m = std::make_shared<Memory>();
  if (bytes != nullptr) m->bytes.assign(static_cast<const char*>(bytes), size);
  return RegisterHandle(HandleKind::kMemory, m);
}

uint32_t LCMemSize(VXHandle memory) {
  auto m = Lookup<Memory>(memory, HandleKind::kMemory);
  if (!m) return 0;
  std::lock_guard<std::mutex> lock(m->mutex);
  return static_cast<uint32_t>(m->bytes.size());
}

void* LCMemLock(VXHandle memory) {
  auto m = Lookup<Memory>(memory, HandleKind::kMemory);
  if (!m) {
    Fail(kVXBadHandle, "Invalid memory handle " + std::to_string(memory));
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(m->mutex);
  ++m->locks;
  return m->bytes.data();
}

VXStatus LCMemUnlock(VXHandle memory) {
  auto m = Lookup<Memory>(memory, HandleKind::kMemory);
  if (!m) return Fail(kVXBadHandle, "Invalid memory handle " + std::to_string(memory));
  std::lock_guard<std::mutex> lock(m->mutex);
  if (m->locks > 0) --m->locks;
  return kVXOk;
}

VXStatus LCMemFree(VXHandle memory) {
  if (!ReleaseHandle(memory, HandleKind::kMemory)) {
    return Fail(kVXBadHandle, "Invalid memory handle " + std::to_string(memory));
  }
  return kVXOk;
}

VXStatus VXTextListGetLength(VXHandle list, uint32_t* count) {
  auto m = Lookup<Memory>(list, HandleKind::kMemory);
  if (!m || !m->is_text_list) return Fail(kVXBadHandle, "Invalid text-list handle " + std::to_string(list));
  if (count == nullptr) return Fail(kVXBadArgument, "Text list: no count given");
  std::lock_guard<std::mutex> lock(m->mutex);
  *count = static_cast<uint32_t>(m->entries.size());
  return kVXOk;
}

VXStatus VXTextListFetch(VXHandle list, uint32_t index, char* text, uint32_t size, uint32_t* length) {
  auto m = Lookup<Memory>(list, HandleKind::kMemory);
  if (!m || !m->is_text_list) return Fail(kVXBadHandle, "Invalid text-list handle " + std::to_string(list));
  std::lock_guard<std::mutex> lock(m->mutex);
  if (index >= m->entries.size()) {
    return Fail(kVXBadArgument, "Text list has " + std::to_string(m->entries.size()) + " entries; entry " +
                                    std::to_string(index) + " does not exist");
  }
  uint32_t n = CopyText(m->entries[index], text, size);
  if (length != nullptr) *length = n;
  return kVXOk;
}
