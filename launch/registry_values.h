// Short forms of the registry calls the browser settings make: a failed call
// leaves the value unchanged and is not reported, as the settings rules
// want; reads say whether they found the value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "os/registry.h"

namespace launch {

using RegKey = os::RegistryKey;

inline os::RegistryRoot Hkcu() { return os::RegistryRoot::kCurrentUser; }
inline os::RegistryRoot Hklm() { return os::RegistryRoot::kLocalMachine; }

// The key, created when absent; on failure a key that every call fails on.
inline RegKey CreateKey(os::RegistryRoot root, std::string_view path) {
  RegKey key;
  if (!os::RegistrySucceeded(os::RegistryCreateKey(root, path, &key))) key.file.clear();
  return key;
}
inline bool OpenKey(os::RegistryRoot root, std::string_view path, RegKey* key) {
  return os::RegistryOpenKey(root, path, key) == os::RegistryStatus::kOk;
}
inline bool ReadText(const RegKey& key, std::string_view name, std::string* text) {
  return !key.file.empty() && os::RegistryReadText(key, name, text) == os::RegistryStatus::kOk;
}
inline bool ReadNumber(const RegKey& key, std::string_view name, uint32_t* number) {
  return !key.file.empty() && os::RegistryReadNumber(key, name, number) == os::RegistryStatus::kOk;
}
inline void WriteText(const RegKey& key, std::string_view name, std::string_view text) {
  if (!key.file.empty()) (void)os::RegistryWriteText(key, name, text);
}
inline void WriteNumber(const RegKey& key, std::string_view name, uint32_t number) {
  if (!key.file.empty()) (void)os::RegistryWriteNumber(key, name, number);
}
inline void Flush(const RegKey& key) {
  if (!key.file.empty()) (void)os::RegistryFlush(key);
}

}  // namespace launch
