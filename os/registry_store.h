// The registry held in memory and its text form: parsing and writing the
// registry file (os/registry_format.md), and the key tree operations that the
// registry functions (os/registry.h) apply between reading and writing it.
// Used by os/registry.cc and by the tests and fuzz target of the format.
#ifndef CORVANE_OS_REGISTRY_STORE_H_
#define CORVANE_OS_REGISTRY_STORE_H_

#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "os/registry.h"

namespace os {

// The first line of every registry file.
inline constexpr std::string_view kRegistryHeader = "corvane-registry 1";

// The longest key name, as on Windows.
inline constexpr size_t kRegistryMaxKeyName = 255;

struct RegistryStoreKey {
  std::vector<std::string> path;      // names as stored, the root's ("HKCU", "HKLM") first
  std::vector<RegistryValue> values;  // in the order first written
  // Folded value name -> position in values; kept by the functions below, so
  // that a file of many values parses in linear time.
  std::unordered_map<std::string, size_t> index;
};

// Keys by their folded path (every name lower-cased), so a map walk visits a
// key right before its subkeys and siblings in name order. Both roots are
// always present.
struct RegistryStore {
  std::map<std::vector<std::string>, RegistryStoreKey> keys;
};

// An empty store: the two roots and nothing else.
RegistryStore RegistryStoreEmpty();

// Parses a registry file. On failure returns false with *error naming the
// line and the fault ("line 7: unterminated quoted text"); *store is then
// unspecified. An empty text is an empty store.
[[nodiscard]] bool RegistryStoreParse(std::string_view text, RegistryStore* store,
                                      std::string* error);

// The file text for a store; RegistryStoreParse gives the same store back.
std::string RegistryStoreFormat(const RegistryStore& store);

// Splits a key path at '\' and checks every name; on failure *names is
// unspecified. An empty path gives no names.
[[nodiscard]] RegistryStatus RegistrySplitPath(std::string_view path,
                                               std::vector<std::string>* names);

// The store's folded path of a key below root.
std::vector<std::string> RegistryFoldedPath(RegistryRoot root,
                                            const std::vector<std::string>& names);

// ASCII lower case of a name, the form in which names are compared.
std::string RegistryFold(std::string_view name);

// The key at a folded path, or null.
RegistryStoreKey* RegistryStoreFind(RegistryStore& store, const std::vector<std::string>& folded);
const RegistryStoreKey* RegistryStoreFind(const RegistryStore& store,
                                          const std::vector<std::string>& folded);

// Makes the key and its missing parents; returns the key. The names of new
// keys are taken from stored_path (same length as folded).
RegistryStoreKey& RegistryStoreMake(RegistryStore& store, const std::vector<std::string>& folded,
                                    const std::vector<std::string>& stored_path);

// Sets a value on a key, replacing one of the same name (its case stays).
void RegistryStoreSet(RegistryStoreKey& key, RegistryValue value);

// The key's value of that name (letter case ignored), or null.
const RegistryValue* RegistryStoreGet(const RegistryStoreKey& key, std::string_view name);

// Removes the key's value of that name; false when there is none.
bool RegistryStoreErase(RegistryStoreKey& key, std::string_view name);

}  // namespace os

#endif  // CORVANE_OS_REGISTRY_STORE_H_
