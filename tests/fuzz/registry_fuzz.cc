// Fuzz target for the registry file parser: any bytes give a store or an
// error, never a crash, and a store written out reads back as the same file.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "os/registry_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace os;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  RegistryStore store;
  std::string error;
  if (!RegistryStoreParse(text, &store, &error)) {
    if (error.empty()) abort();  // a damaged file must say why
    return 0;
  }
  std::string written = RegistryStoreFormat(store);
  RegistryStore again;
  if (!RegistryStoreParse(written, &again, &error)) abort();
  if (RegistryStoreFormat(again) != written) abort();
  return 0;
}
