// Reply file names and sending.
#include "engine/reply_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "engine/output_layer.h"
#include "os/files.h"

namespace engine {

namespace {

std::mutex counter_lock;
int counter = 2;  // guarded by counter_lock

// Creates the file exclusively: 1 created, 0 it exists, -1 other failure.
int CreateExclusive(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd >= 0) {
    ::close(fd);
    return 1;
  }
  return errno == EEXIST ? 0 : -1;
}

}  // namespace

std::optional<std::string> NewReplyFileName(const std::string& folder, const std::string& prefix) {
  std::string base = folder.empty() ? os::WorkingFolder() + "/wtemp/" : folder + "/";
  base += prefix;
  if (base.empty() || base.size() > 2011) return std::nullopt;
  std::lock_guard<std::mutex> guard(counter_lock);
  counter = counter == 999 ? 2 : counter + 1;
  // A folder full of left-overs must not hold the thread for ever.
  for (int tries = 0; tries < 100000; ++tries, ++counter) {
    std::string name = base + std::to_string(counter);
    int created = CreateExclusive(name);
    if (created == 1) return name;
    if (created < 0) return std::nullopt;
  }
  return std::nullopt;
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

void AnswerFromReplyFile(SharedContext& shared, RequestEntry& entry, const std::string& name) {
  PrepareReplyFile(shared, entry, name);  // the output layer
  std::FILE* file = std::fopen(name.c_str(), "rb");
  if (file != nullptr) {
    SendReplyFile(file, entry.socket);
    std::fclose(file);
  }
  ::unlink(name.c_str());
  FinishEntry(shared, entry);
}

void AnswerWithText(SharedContext& shared, RequestEntry& entry, std::string_view text) {
  std::optional<std::string> name = NewReplyFileName();
  if (!name) return FinishEntry(shared, entry);
  if (std::FILE* file = std::fopen(name->c_str(), "w+")) {
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
  }
  AnswerFromReplyFile(shared, entry, *name);
}

}  // namespace engine
