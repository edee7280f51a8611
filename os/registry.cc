// The registry store on its file: reading, the locked read-change-write cycle
// and the keeping of damaged files.
#include "os/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <utility>

#include "os/registry_store.h"

namespace os {
namespace {

// A registry this large is not one this store wrote; it is treated as damaged
// rather than read into memory.
constexpr off_t kMaxFileBytes = 64 << 20;

// The damaged-file copies tried: "<file>.bad", "<file>.bad.1", ...
constexpr int kMaxBadCopies = 100;

// Result of reading the file: absent counts as an empty store.
enum class ReadResult { kOk, kBad, kIoError };

ReadResult ReadStore(const std::string& file, RegistryStore* store, std::string* error) {
  if (file.empty()) {
    *error = "no registry file: set CORVANE_REGISTRY or HOME";
    return ReadResult::kIoError;
  }
  int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) {
      *store = RegistryStoreEmpty();
      return ReadResult::kOk;
    }
    *error = file + ": cannot open";
    return ReadResult::kIoError;
  }
  std::string text;
  struct stat st;
  if (fstat(fd, &st) == 0 && st.st_size > kMaxFileBytes) {
    close(fd);
    *error = file + ": larger than 64 MiB";
    return ReadResult::kBad;
  }
  char buffer[16384];
  while (true) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      *error = file + ": read failed";
      return ReadResult::kIoError;
    }
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
    if (text.size() > static_cast<size_t>(kMaxFileBytes)) {
      close(fd);
      *error = file + ": larger than 64 MiB";
      return ReadResult::kBad;
    }
  }
  close(fd);
  if (!RegistryStoreParse(text, store, error)) {
    *error = file + ": " + *error;
    return ReadResult::kBad;
  }
  return ReadResult::kOk;
}

RegistryStatus ReadOrStatus(const std::string& file, RegistryStore* store) {
  std::string error;
  switch (ReadStore(file, store, &error)) {
    case ReadResult::kOk:
      return RegistryStatus::kOk;
    case ReadResult::kBad:
      return RegistryStatus::kBadFile;
    case ReadResult::kIoError:
      return RegistryStatus::kIoError;
  }
  return RegistryStatus::kIoError;
}

std::string FolderOf(const std::string& file) {
  size_t slash = file.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return file.substr(0, slash);
}

// mkdir -p for the registry's folder (private to the user).
bool MakeFolders(const std::string& folder) {
  struct stat st;
  if (stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  std::string parent = FolderOf(folder);
  if (parent != folder && !MakeFolders(parent)) return false;
  return mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Writes the store to a temporary file beside the registry, syncs it and
// renames it over the registry, so readers see the old or the new file whole.
// Only the holder of the writers' lock writes it, so one name serves, and
// whatever a writer that died left there is simply overwritten.
bool PublishStore(const std::string& file, const RegistryStore& store) {
  std::string temporary = file + ".tmp";
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool written = WriteAll(fd, RegistryStoreFormat(store)) && fsync(fd) == 0;
  written = close(fd) == 0 && written;
  if (!written || rename(temporary.c_str(), file.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

// Keeps a damaged registry as "<file>.bad" (or the first free ".bad.N") before
// it is replaced. A hard link leaves the registry in place for readers until
// the rename replaces it.
bool KeepBadCopy(const std::string& file) {
  for (int i = 0; i < kMaxBadCopies; ++i) {
    std::string copy = file + ".bad" + (i == 0 ? "" : "." + std::to_string(i));
    if (link(file.c_str(), copy.c_str()) == 0) return true;
    if (errno == EEXIST) continue;
    // A folder that refuses hard links: move the file aside instead.
    struct stat st;
    if (lstat(copy.c_str(), &st) == 0) continue;
    return rename(file.c_str(), copy.c_str()) == 0;
  }
  return false;
}

// The advisory lock that orders writers: flock on "<file>.lock". Each holder
// opens the lock file itself, so threads of one process exclude each other
// as well as processes do.
class WriterLock {
 public:
  explicit WriterLock(const std::string& file) {
    fd_ = open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) return;
    while (flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        close(fd_);
        fd_ = -1;
        return;
      }
    }
  }
  ~WriterLock() {
    if (fd_ >= 0) close(fd_);  // closing releases the lock
  }
  WriterLock(const WriterLock&) = delete;
  WriterLock& operator=(const WriterLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// One write: under the lock, reread the file, apply change and publish the
// result. A change that reports anything but kOk leaves the file untouched.
RegistryStatus ChangeStore(const std::string& file,
                           const std::function<RegistryStatus(RegistryStore&)>& change) {
  if (file.empty()) return RegistryStatus::kIoError;
  if (!MakeFolders(FolderOf(file))) return RegistryStatus::kIoError;
  WriterLock lock(file);
  if (!lock.held()) return RegistryStatus::kIoError;
  RegistryStore store;
  std::string error;
  ReadResult read = ReadStore(file, &store, &error);
  if (read == ReadResult::kIoError) return RegistryStatus::kIoError;
  if (read == ReadResult::kBad) store = RegistryStoreEmpty();
  RegistryStatus status = change(store);
  if (status != RegistryStatus::kOk) {
    return read == ReadResult::kBad ? RegistryStatus::kBadFile : status;
  }
  if (read == ReadResult::kBad && !KeepBadCopy(file)) return RegistryStatus::kIoError;
  if (!PublishStore(file, store)) return RegistryStatus::kIoError;
  return read == ReadResult::kBad ? RegistryStatus::kBadFileReplaced : RegistryStatus::kOk;
}

std::vector<std::string> KeyFolded(const RegistryKey& key) {
  return RegistryFoldedPath(key.root, key.path);
}

// The stored path for a new key: the root's name, then the names as given.
std::vector<std::string> StoredPath(RegistryRoot root, const std::vector<std::string>& names) {
  std::vector<std::string> stored{root == RegistryRoot::kCurrentUser ? "HKCU" : "HKLM"};
  stored.insert(stored.end(), names.begin(), names.end());
  return stored;
}

// Opens key below root at names when it exists in the file.
RegistryStatus OpenExisting(RegistryRoot root, std::vector<std::string> names, std::string file,
                            RegistryKey* key) {
  RegistryStore store;
  RegistryStatus status = ReadOrStatus(file, &store);
  if (status != RegistryStatus::kOk) return status;
  if (RegistryStoreFind(store, RegistryFoldedPath(root, names)) == nullptr) {
    return RegistryStatus::kNotFound;
  }
  key->root = root;
  key->path = std::move(names);
  key->file = std::move(file);
  return RegistryStatus::kOk;
}

RegistryStatus WriteValue(const RegistryKey& key, RegistryValue value) {
  std::vector<std::string> folded = KeyFolded(key);
  return ChangeStore(key.file, [&](RegistryStore& store) {
    RegistryStoreKey* stored = RegistryStoreFind(store, folded);
    if (stored == nullptr) return RegistryStatus::kNotFound;
    RegistryStoreSet(*stored, std::move(value));
    return RegistryStatus::kOk;
  });
}

}  // namespace

const char* RegistryStatusText(RegistryStatus status) {
  switch (status) {
    case RegistryStatus::kOk:
      return "done";
    case RegistryStatus::kNotFound:
      return "no such registry key or value";
    case RegistryStatus::kWrongType:
      return "the registry value has another type";
    case RegistryStatus::kBadName:
      return "bad registry key name";
    case RegistryStatus::kBadFile:
      return "the registry file is damaged";
    case RegistryStatus::kBadFileReplaced:
      return "the registry file was damaged; it was kept with the suffix .bad and started anew";
    case RegistryStatus::kIoError:
      return "the registry file cannot be read or written";
  }
  return "unknown registry status";
}

std::string RegistryFilePath() {
  const char* explicit_file = getenv("CORVANE_REGISTRY");
  if (explicit_file != nullptr && explicit_file[0] != '\0') return explicit_file;
  const char* config = getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] != '\0') return std::string(config) + "/corvane/registry";
  const char* home = getenv("HOME");
  if (home != nullptr && home[0] != '\0') return std::string(home) + "/.config/corvane/registry";
  return "";
}

RegistryStatus RegistryCreateKey(RegistryRoot root, std::string_view path, RegistryKey* key) {
  std::vector<std::string> names;
  if (RegistrySplitPath(path, &names) != RegistryStatus::kOk) return RegistryStatus::kBadName;
  std::string file = RegistryFilePath();
  // Most opens find the key already there and need no write.
  RegistryStatus status = OpenExisting(root, names, file, key);
  if (status != RegistryStatus::kNotFound && status != RegistryStatus::kBadFile) return status;
  std::vector<std::string> folded = RegistryFoldedPath(root, names);
  status = ChangeStore(file, [&](RegistryStore& store) {
    RegistryStoreMake(store, folded, StoredPath(root, names));
    return RegistryStatus::kOk;
  });
  if (!RegistrySucceeded(status)) return status;
  key->root = root;
  key->path = std::move(names);
  key->file = std::move(file);
  return status;
}

RegistryStatus RegistryOpenKey(RegistryRoot root, std::string_view path, RegistryKey* key) {
  std::vector<std::string> names;
  if (RegistrySplitPath(path, &names) != RegistryStatus::kOk) return RegistryStatus::kBadName;
  return OpenExisting(root, std::move(names), RegistryFilePath(), key);
}

RegistryStatus RegistryOpenSubkey(const RegistryKey& parent, std::string_view path,
                                  RegistryKey* key) {
  std::vector<std::string> names;
  if (RegistrySplitPath(path, &names) != RegistryStatus::kOk) return RegistryStatus::kBadName;
  std::vector<std::string> full = parent.path;
  full.insert(full.end(), names.begin(), names.end());
  return OpenExisting(parent.root, std::move(full), parent.file, key);
}

RegistryStatus RegistryReadValue(const RegistryKey& key, std::string_view name,
                                 RegistryValue* value) {
  RegistryStore store;
  RegistryStatus status = ReadOrStatus(key.file, &store);
  if (status != RegistryStatus::kOk) return status;
  const RegistryStoreKey* stored = RegistryStoreFind(store, KeyFolded(key));
  if (stored == nullptr) return RegistryStatus::kNotFound;
  const RegistryValue* found = RegistryStoreGet(*stored, name);
  if (found == nullptr) return RegistryStatus::kNotFound;
  *value = *found;
  return RegistryStatus::kOk;
}

RegistryStatus RegistryReadText(const RegistryKey& key, std::string_view name, std::string* text) {
  RegistryValue value;
  RegistryStatus status = RegistryReadValue(key, name, &value);
  if (status != RegistryStatus::kOk) return status;
  if (value.type != RegistryValueType::kText) return RegistryStatus::kWrongType;
  *text = std::move(value.text);
  return RegistryStatus::kOk;
}

RegistryStatus RegistryReadNumber(const RegistryKey& key, std::string_view name, uint32_t* number) {
  RegistryValue value;
  RegistryStatus status = RegistryReadValue(key, name, &value);
  if (status != RegistryStatus::kOk) return status;
  if (value.type != RegistryValueType::kNumber) return RegistryStatus::kWrongType;
  *number = value.number;
  return RegistryStatus::kOk;
}

RegistryStatus RegistryWriteText(const RegistryKey& key, std::string_view name,
                                 std::string_view text) {
  RegistryValue value;
  value.name = std::string(name);
  value.type = RegistryValueType::kText;
  value.text = std::string(text);
  return WriteValue(key, std::move(value));
}

RegistryStatus RegistryWriteNumber(const RegistryKey& key, std::string_view name, uint32_t number) {
  RegistryValue value;
  value.name = std::string(name);
  value.type = RegistryValueType::kNumber;
  value.number = number;
  return WriteValue(key, std::move(value));
}

RegistryStatus RegistryDeleteValue(const RegistryKey& key, std::string_view name) {
  std::vector<std::string> folded = KeyFolded(key);
  return ChangeStore(key.file, [&](RegistryStore& store) {
    RegistryStoreKey* stored = RegistryStoreFind(store, folded);
    if (stored == nullptr) return RegistryStatus::kNotFound;
    return RegistryStoreErase(*stored, name) ? RegistryStatus::kOk : RegistryStatus::kNotFound;
  });
}

RegistryStatus RegistryDeleteKey(RegistryRoot root, std::string_view path) {
  std::vector<std::string> names;
  if (RegistrySplitPath(path, &names) != RegistryStatus::kOk || names.empty()) {
    return RegistryStatus::kBadName;
  }
  std::vector<std::string> folded = RegistryFoldedPath(root, names);
  return ChangeStore(RegistryFilePath(), [&](RegistryStore& store) {
    auto first = store.keys.find(folded);
    if (first == store.keys.end()) return RegistryStatus::kNotFound;
    // The subkeys follow their key in the map's order.
    auto last = std::next(first);
    while (last != store.keys.end() && last->first.size() > folded.size() &&
           std::equal(folded.begin(), folded.end(), last->first.begin())) {
      ++last;
    }
    store.keys.erase(first, last);
    return RegistryStatus::kOk;
  });
}

RegistryStatus RegistryListSubkeys(const RegistryKey& key, std::vector<std::string>* names) {
  RegistryStore store;
  RegistryStatus status = ReadOrStatus(key.file, &store);
  if (status != RegistryStatus::kOk) return status;
  std::vector<std::string> folded = KeyFolded(key);
  auto it = store.keys.find(folded);
  if (it == store.keys.end()) return RegistryStatus::kNotFound;
  names->clear();
  for (++it; it != store.keys.end() && it->first.size() > folded.size() &&
             std::equal(folded.begin(), folded.end(), it->first.begin());
       ++it) {
    if (it->first.size() == folded.size() + 1) names->push_back(it->second.path.back());
  }
  return RegistryStatus::kOk;
}

RegistryStatus RegistryListValues(const RegistryKey& key, std::vector<RegistryValue>* values) {
  RegistryStore store;
  RegistryStatus status = ReadOrStatus(key.file, &store);
  if (status != RegistryStatus::kOk) return status;
  const RegistryStoreKey* stored = RegistryStoreFind(store, KeyFolded(key));
  if (stored == nullptr) return RegistryStatus::kNotFound;
  *values = stored->values;
  return RegistryStatus::kOk;
}

RegistryStatus RegistryCheckFile(std::string* message) {
  RegistryStore store;
  message->clear();
  switch (ReadStore(RegistryFilePath(), &store, message)) {
    case ReadResult::kOk:
      return RegistryStatus::kOk;
    case ReadResult::kBad:
      return RegistryStatus::kBadFile;
    case ReadResult::kIoError:
      return RegistryStatus::kIoError;
  }
  return RegistryStatus::kIoError;
}

RegistryStatus RegistryFlush(const RegistryKey& key) {
  if (key.file.empty()) return RegistryStatus::kIoError;
  int fd = open(FolderOf(key.file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) return RegistryStatus::kOk;  // nothing was ever written
  if (fd < 0) return RegistryStatus::kIoError;
  bool synced = fsync(fd) == 0;
  close(fd);
  return synced ? RegistryStatus::kOk : RegistryStatus::kIoError;
}

}  // namespace os
