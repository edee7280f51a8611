// Event strings, the dispatcher and the letter table.
#include "engine/event_string.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "engine/hooks.h"
#include "engine/request_entry.h"
#include "engine/thread_handle.h"
#include "engine/workers.h"
#include "os/desktop.h"
#include "os/thread.h"

namespace engine {

std::string ReferenceText(const void* reference) {
  return std::to_string(reinterpret_cast<long>(reference));
}

std::string FormatEventString(char letter, int sequence, const SharedContext* shared,
                              std::string_view argument) {
  char head[64];
  std::snprintf(head, sizeof head, "%c%d %ld ", letter, sequence, reinterpret_cast<long>(shared));
  return head + std::string(argument);
}

static void Dispatch(std::string event, SharedContext* starting);
namespace {
void DispatchStartedWorker(std::string event);
}

bool StartWorker(char letter, int sequence, SharedContext* shared, std::string_view argument) {
  // The platform keeps its temporary files among the reply files. The
  // variable is set here, by the thread that starts the platform thread:
  // set from the platform thread itself, it changed the environment while
  // other threads could be starting processes with it.
  if (letter == 'f' && shared != nullptr) {
    std::string tmp = shared->programDir + "/wtemp";
    const char* now = std::getenv("TMP");
    if (now == nullptr || tmp != now) ::setenv("TMP", tmp.c_str(), 1);
  }
  // The new thread is counted from here until its handle counts it, so a
  // shutdown in between keeps the context alive for it.
  bool counted = shared != nullptr && LiveContext(reinterpret_cast<long>(shared)) != nullptr;
  if (counted) ++shared->startingThreads;
  std::string event = FormatEventString(letter, sequence, shared, argument);
  bool started = counted ? os::StartDetachedThread(DispatchStartedWorker, std::move(event))
                         : os::StartDetachedThread(DispatchEventString, std::move(event));
  if (!started && counted) shared->wake.NotifyAfter([shared] { --shared->startingThreads; });
  return started;
}

namespace {

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  size_t at = 0;
  while (at < text.size()) {
    size_t begin = text.find_first_not_of(" \t\n", at);
    if (begin == std::string::npos) break;
    size_t end = text.find_first_of(" \t\n", begin);
    if (end == std::string::npos) end = text.size();
    words.push_back(text.substr(begin, end - begin));
    at = end;
  }
  return words;
}

// A decimal text-to-long conversion; 0 for anything that is not a number.
long ReadReference(const std::string& word) {
  errno = 0;
  char* end = nullptr;
  long value = std::strtol(word.c_str(), &end, 10);
  if (errno != 0 || end == word.c_str()) return 0;
  return value;
}

void BadSharedData(char letter) {
  os::MessageBox(nullptr, letter == 'a' ? kListenBadSharedData : kBadSharedData, kErrorTitle,
                 os::Icon::kError, os::Buttons::kOk);
}

void RunRequestThread(char letter, ThreadHandle& handle, RequestEntry& entry) {
  switch (letter) {
    case 'j':
      return PassThroughRequest(handle, entry);
    case 'k':
      return ReplicaRequestThread(handle, entry);
    default:
      return DatabaseRequestThread(handle, entry);
  }
}

void RunLoop(char letter, ThreadHandle& handle) {
  switch (letter) {
    case 'a':
      return ListenerLoop(handle);
    case 'b':
      return QueueWorkerLoop(handle, kPassThrough, 'j');
    case 'c':
      return QueueWorkerLoop(handle, kReplicaRequest, 'k');
    case 'd':
      return QueueWorkerLoop(handle, kDatabaseRequest, 'l');
    case 'e':
      return CommandWorkerLoop(handle);
    case 'f':
      return PlatformThreadLoop(handle);
    case 'g':
      if (Hooks().browserWatch != nullptr) Hooks().browserWatch(handle);
      return;
    case 'h':
      if (Hooks().scheduler != nullptr) Hooks().scheduler(handle);
      return;
    case 'i':
      return ReaperLoop(handle);
    default:
      return;
  }
}

}  // namespace

void DispatchEventString(std::string event) {
  Dispatch(std::move(event), nullptr);
}

namespace {

// A worker from StartWorker: its context was live and counted as starting
// when the string was made, so the reference in it can be trusted.
void DispatchStartedWorker(std::string event) {
  std::vector<std::string> words = Words(event);
  auto* shared = reinterpret_cast<SharedContext*>(words.size() > 1 ? ReadReference(words[1]) : 0);
  Dispatch(std::move(event), shared);
}

// Hands the starting count over once the thread's handle counts it, or on
// any early return.
class StartingCount {
 public:
  explicit StartingCount(SharedContext* shared) : shared_(shared) {}
  ~StartingCount() { Release(); }
  void Release() {
    if (shared_ == nullptr) return;
    SharedContext* shared = shared_;
    shared_ = nullptr;
    shared->wake.NotifyAfter([shared] { --shared->startingThreads; });
  }

 private:
  SharedContext* shared_;
};

}  // namespace

static void Dispatch(std::string event, SharedContext* starting) {
  StartingCount starting_count(starting);
  if (event.empty() || event[0] < 'a' || event[0] > 'l') return;
  char letter = event[0];
  bool request_thread = letter == 'j' || letter == 'k' || letter == 'l';
  std::vector<std::string> words = Words(event);
  if (words.size() < 2) return BadSharedData(letter);

  SharedContext* shared = LiveContext(ReadReference(words[1]));
  std::unique_ptr<ThreadHandle> handle;
  if (shared != nullptr) handle = MakeThreadHandle(words[0], shared);
  starting_count.Release();
  if (handle == nullptr) return BadSharedData(letter);

  if (!request_thread) return RunLoop(letter, *handle);

  // The entry must be one of this context's queue: a number that names
  // nothing is never followed.
  auto* entry = reinterpret_cast<RequestEntry*>(words.size() > 2 ? ReadReference(words[2]) : 0);
  if (entry == nullptr || !InQueue(*shared, entry)) return BadSharedData(letter);
  NameWorker(*shared, *entry, handle->name);
  if (letter == 'l') handle->request = entry;
  RunRequestThread(letter, *handle, *entry);
  handle->request = nullptr;
  // Answered: the entry goes now rather than at the reaper's next pass.
  ReleaseEntry(*shared, entry);
}

}  // namespace engine
