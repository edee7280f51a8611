// Reply file names, reading a reply back and sending it.
#include "engine/reply_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <unordered_set>

#include "engine/output_layer.h"
#include "os/files.h"

namespace engine {

namespace {

std::mutex counter_lock;
int counter = 2;  // guarded by counter_lock
// Names drawn by request threads whose files may not exist yet; guarded by
// counter_lock.
std::unordered_set<std::string>& Taken() {
  static std::unordered_set<std::string> taken;
  return taken;
}

// Creates the file exclusively: 1 created, 0 it exists, -1 other failure.
int CreateExclusive(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd >= 0) {
    ::close(fd);
    return 1;
  }
  return errno == EEXIST ? 0 : -1;
}

// Whether a file of that name exists: 1 yes, 0 no, -1 it cannot be told.
int Exists(const std::string& path) {
  struct stat status;
  if (::lstat(path.c_str(), &status) == 0) return 1;
  return errno == ENOENT ? 0 : -1;
}

// The next number of the counter, which starts again at 2 after 999.
// Caller holds counter_lock.
void Advance() {
  counter = counter == 999 ? 2 : counter + 1;
}

// A folder full of left-overs must not hold the thread for ever.
constexpr int kMostTries = 100000;

}  // namespace

std::optional<std::string> NewReplyFileName(const std::string& folder, const std::string& prefix) {
  std::string base = folder.empty() ? os::WorkingFolder() + "/wtemp/" : folder + "/";
  base += prefix;
  if (base.empty() || base.size() > 2011) return std::nullopt;
  std::lock_guard<std::mutex> guard(counter_lock);
  Advance();
  for (int tries = 0; tries < kMostTries; ++tries, ++counter) {
    std::string name = base + std::to_string(counter);
    if (Taken().count(name) != 0) continue;
    int created = CreateExclusive(name);
    if (created == 1) return name;
    if (created < 0) return std::nullopt;
  }
  return std::nullopt;
}

std::optional<std::string> DrawReplyFileName() {
  std::string folder = os::WorkingFolder() + "/wtemp";
  struct stat status;
  if (::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return std::nullopt;
  std::string base = folder + "/";
  std::lock_guard<std::mutex> guard(counter_lock);
  Advance();
  for (int tries = 0; tries < kMostTries; ++tries, ++counter) {
    std::string name = base + std::to_string(counter);
    if (Taken().count(name) != 0) continue;
    int exists = Exists(name);
    if (exists == 1) continue;
    if (exists < 0) return std::nullopt;
    Taken().insert(name);
    return name;
  }
  return std::nullopt;
}

void ReleaseReplyFileName(const std::string& name) {
  ::unlink(name.c_str());
  std::lock_guard<std::mutex> guard(counter_lock);
  Taken().erase(name);
}

void SetReplyFileCounter(int value) {
  std::lock_guard<std::mutex> guard(counter_lock);
  counter = value;
}

void SendReplyFile(std::FILE* file, os::Socket socket) {
  if (file == nullptr) return;
  std::fflush(file);
  std::rewind(file);
  char piece[4096];
  size_t got;
  while ((got = std::fread(piece, 1, sizeof piece, file)) > 0) {
    if (!os::SendAll(socket, std::string_view(piece, got))) break;
  }
}

void SendReply(SharedContext& shared, RequestEntry& entry, std::string_view reply) {
  SendFinishedReply(shared, entry, reply);  // the output layer
}

namespace {

// The whole file, read with as few calls as its size allows; false when it
// cannot be opened.
bool ReadWhole(const std::string& name, std::string* bytes) {
  int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat status;
  size_t expected =
      ::fstat(fd, &status) == 0 && status.st_size > 0 ? static_cast<size_t>(status.st_size) : 0;
  bytes->resize(expected + 1);  // one byte more shows the end in the same read
  size_t have = 0;
  for (;;) {
    if (have == bytes->size()) bytes->resize(bytes->size() * 2 + 4096);
    ssize_t got = ::read(fd, bytes->data() + have, bytes->size() - have);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    have += static_cast<size_t>(got);
  }
  bytes->resize(have);
  ::close(fd);
  return true;
}

}  // namespace

void AnswerFromReplyFile(SharedContext& shared, RequestEntry& entry, const std::string& name) {
  std::string reply;
  bool opened = ReadWhole(name, &reply);
  ReleaseReplyFileName(name);
  if (opened) SendReply(shared, entry, reply);
  FinishEntry(shared, entry);
}

void AnswerWithText(SharedContext& shared, RequestEntry& entry, std::string_view text) {
  std::optional<std::string> name = DrawReplyFileName();
  if (!name) return FinishEntry(shared, entry);
  if (std::FILE* file = std::fopen(name->c_str(), "w+")) {
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
  }
  AnswerFromReplyFile(shared, entry, *name);
}

}  // namespace engine
