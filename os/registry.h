// The registry store: keys below two roots (HKCU, HKLM) holding text and
// 32-bit values, kept in one text file (format in os/registry_format.md).
//
// The file is $CORVANE_REGISTRY, else ${XDG_CONFIG_HOME:-$HOME/.config}/corvane/registry.
// Reads take the file as it stands; every write rereads it under an advisory
// lock (flock on "<file>.lock"), applies its one change, writes "<file>.tmp",
// syncs it and renames it over the file. Two processes writing at once
// therefore never lose each other's changes, and a reader never sees half a
// file.
//
// Key and value names compare without regard to ASCII letter case and keep
// the case they were created with. Key paths use '\' between names
// ("Software\\Pellam\\Corvane\\Proxy Information"); leading, trailing and
// doubled separators are ignored. The empty value name is the key's default
// value.
//
// A file that cannot be parsed is reported as kBadFile by every read. A write
// moves it aside to "<file>.bad" (".bad.1", ".bad.2", ... when that exists),
// starts again from an empty store, applies the change and reports
// kBadFileReplaced, so the damaged content is never silently lost.
#ifndef CORVANE_OS_REGISTRY_H_
#define CORVANE_OS_REGISTRY_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace os {

enum class RegistryRoot { kCurrentUser, kLocalMachine };

enum class RegistryStatus {
  kOk = 0,
  kNotFound,         // no such key or value
  kWrongType,        // the value exists with the other type
  kBadName,          // a key name over 255 bytes or with a control byte; a root deleted
  kBadFile,          // the file cannot be parsed; nothing was changed
  kBadFileReplaced,  // the write succeeded; the damaged file was kept as .bad
  kIoError,          // the file, its folder or its lock could not be used
};

// The text for a status, for trace lines and messages.
const char* RegistryStatusText(RegistryStatus status);

// True for kOk and kBadFileReplaced: the operation took effect.
inline bool RegistrySucceeded(RegistryStatus status) {
  return status == RegistryStatus::kOk || status == RegistryStatus::kBadFileReplaced;
}

enum class RegistryValueType { kText, kNumber };

struct RegistryValue {
  std::string name;
  RegistryValueType type = RegistryValueType::kText;
  std::string text;     // kText: any bytes, newlines and NULs included
  uint32_t number = 0;  // kNumber
};

// An open key: the root, the names of its path and the file it lives in
// (taken from the environment when the key was opened). A plain value; there
// is nothing to close. A key deleted after it was opened reports kNotFound.
struct RegistryKey {
  RegistryRoot root = RegistryRoot::kCurrentUser;
  std::vector<std::string> path;
  std::string file;
};

// The file the store uses now, from the environment. Empty when neither
// CORVANE_REGISTRY, XDG_CONFIG_HOME nor HOME is set.
std::string RegistryFilePath();

// Opens the key, creating it and any missing parent keys. On failure *key is
// left unchanged.
[[nodiscard]] RegistryStatus RegistryCreateKey(RegistryRoot root, std::string_view path,
                                               RegistryKey* key);

// Opens an existing key (the empty path opens the root); kNotFound when absent.
[[nodiscard]] RegistryStatus RegistryOpenKey(RegistryRoot root, std::string_view path,
                                             RegistryKey* key);

// Opens the key below an open one (Windows' relative open); kNotFound when absent.
[[nodiscard]] RegistryStatus RegistryOpenSubkey(const RegistryKey& parent, std::string_view path,
                                                RegistryKey* key);

// Reads a value. *value (or *text, *number) is written only on kOk.
[[nodiscard]] RegistryStatus RegistryReadValue(const RegistryKey& key, std::string_view name,
                                               RegistryValue* value);
[[nodiscard]] RegistryStatus RegistryReadText(const RegistryKey& key, std::string_view name,
                                              std::string* text);
[[nodiscard]] RegistryStatus RegistryReadNumber(const RegistryKey& key, std::string_view name,
                                                uint32_t* number);

// Writes a value, replacing one of the same name (of either type). A new
// value takes the name as given; a replaced one keeps its stored case.
[[nodiscard]] RegistryStatus RegistryWriteText(const RegistryKey& key, std::string_view name,
                                               std::string_view text);
[[nodiscard]] RegistryStatus RegistryWriteNumber(const RegistryKey& key, std::string_view name,
                                                 uint32_t number);

// Deletes a value; kNotFound when it is absent.
[[nodiscard]] RegistryStatus RegistryDeleteValue(const RegistryKey& key, std::string_view name);

// Deletes the key at path below root with all its values and subkeys;
// kNotFound when absent. A root itself cannot be deleted (kBadName).
[[nodiscard]] RegistryStatus RegistryDeleteKey(RegistryRoot root, std::string_view path);

// The names of the key's direct subkeys, in name order (letter case ignored).
[[nodiscard]] RegistryStatus RegistryListSubkeys(const RegistryKey& key,
                                                 std::vector<std::string>* names);

// The key's values in the order they were first written.
[[nodiscard]] RegistryStatus RegistryListValues(const RegistryKey& key,
                                                std::vector<RegistryValue>* values);

// Reads the whole file and reports whether it can be parsed: kOk (also for
// a missing file), kBadFile with *message naming the line and the fault,
// or kIoError. For tools and trace lines that explain a kBadFile.
[[nodiscard]] RegistryStatus RegistryCheckFile(std::string* message);

// Every write is already on disk when it returns; flush makes sure the
// rename that published it is durable too (syncs the folder).
[[nodiscard]] RegistryStatus RegistryFlush(const RegistryKey& key);

}  // namespace os

#endif  // CORVANE_OS_REGISTRY_H_
