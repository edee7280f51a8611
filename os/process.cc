// Processes on posix_spawn, waits on a pidfd, and the /proc scan.
#include "os/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>
#include <thread>

extern char** environ;

namespace os {
namespace {

// Longest command name the kernel keeps in /proc/<pid>/comm.
constexpr size_t kCommandNameBytes = 15;

bool HasNul(const std::string& text) {
  return text.find('\0') != std::string::npos;
}

// Owns the posix_spawn attribute and file-action records for one start.
class SpawnSetup {
 public:
  SpawnSetup() {
    ok_ = posix_spawn_file_actions_init(&actions_) == 0;
    if (!ok_) return;
    ok_ = posix_spawnattr_init(&attr_) == 0;
    if (!ok_) {
      posix_spawn_file_actions_destroy(&actions_);
      return;
    }
    // The child keeps standard input, output and error and nothing else, even
    // a descriptor some part of the program opened without close-on-exec.
    ok_ = posix_spawn_file_actions_addclosefrom_np(&actions_, 3) == 0;
    // A program that ignores SIGPIPE (a server does) would hand that on
    // through exec; the started program gets the default, and no blocked
    // signals.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigset_t mask;
    sigemptyset(&mask);
    ok_ = ok_ && posix_spawnattr_setsigdefault(&attr_, &defaults) == 0 &&
          posix_spawnattr_setsigmask(&attr_, &mask) == 0 &&
          posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK) == 0;
    initialised_ = true;
  }
  ~SpawnSetup() {
    if (!initialised_) return;
    posix_spawnattr_destroy(&attr_);
    posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  bool ok() const { return ok_; }
  const posix_spawn_file_actions_t* actions() const { return &actions_; }
  const posix_spawnattr_t* attr() const { return &attr_; }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attr_;
  bool ok_ = false;
  bool initialised_ = false;
};

ProcessStatus Spawn(const std::string& program, const std::vector<std::string>& arguments,
                    pid_t* pid) {
  if (program.empty() || HasNul(program)) return ProcessStatus::kBadArgument;
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 2);
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) {
    if (HasNul(argument)) return ProcessStatus::kBadArgument;
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  SpawnSetup setup;
  if (!setup.ok()) return ProcessStatus::kStartFailed;
  // glibc reports a failed exec as the result of posix_spawn itself, so a
  // missing program is a status here, not a child that exits with 127.
  int result =
      program.find('/') != std::string::npos
          ? posix_spawn(pid, program.c_str(), setup.actions(), setup.attr(), argv.data(), environ)
          : posix_spawnp(pid, program.c_str(), setup.actions(), setup.attr(), argv.data(), environ);
  if (result == 0) return ProcessStatus::kOk;
  if (result == ENOENT || result == ENOTDIR) return ProcessStatus::kNotFound;
  return ProcessStatus::kStartFailed;
}

int ExitCode(int wait_status) {
  if (WIFEXITED(wait_status)) return WEXITSTATUS(wait_status);
  if (WIFSIGNALED(wait_status)) return 128 + WTERMSIG(wait_status);
  return -1;
}

bool Reap(pid_t pid, int* wait_status) {
  while (waitpid(pid, wait_status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// Waits for the child to end, at most until deadline: on a pidfd where the
// kernel has them, else by looking every 5 ms. True when it ended.
bool WaitUntil(pid_t pid, std::chrono::steady_clock::time_point deadline) {
#ifdef SYS_pidfd_open
  int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));  // -1 before Linux 5.3
#else
  int pidfd = -1;
#endif
  while (true) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (pidfd >= 0) {
      pollfd entry{pidfd, POLLIN, 0};
      int ready = poll(&entry, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
      if (ready > 0) {
        close(pidfd);
        return true;
      }
      if (ready < 0 && errno == EINTR) continue;
      if (ready == 0 && left.count() > 0) continue;  // poll woke a little early
      close(pidfd);
      if (ready == 0) return false;
      pidfd = -1;  // poll itself failed: go on by looking
      continue;
    }
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        info.si_pid == pid) {
      return true;
    }
    if (left.count() <= 0) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

bool ReadSmallFile(const std::string& path, std::string* text) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  text->clear();
  char buffer[4096];
  while (text->size() < 65536) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text->append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return true;
}

// The state letter of /proc/<pid>/stat (after the command name, which may
// itself hold ')' and blanks), or 0 when the process is gone.
char ProcessState(const std::string& proc_dir) {
  std::string stat;
  if (!ReadSmallFile(proc_dir + "/stat", &stat)) return 0;
  size_t close_paren = stat.rfind(')');
  if (close_paren == std::string::npos || close_paren + 2 >= stat.size()) return 0;
  return stat[close_paren + 2];
}

bool HasEnded(char state) {
  return state == 0 || state == 'Z' || state == 'X' || state == 'x';
}

std::string_view LastPart(std::string_view path) {
  size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

const char* ProcessStatusText(ProcessStatus status) {
  switch (status) {
    case ProcessStatus::kOk:
      return "done";
    case ProcessStatus::kNotFound:
      return "the program was not found";
    case ProcessStatus::kStartFailed:
      return "the program could not be started";
    case ProcessStatus::kBadArgument:
      return "bad program name or argument";
    case ProcessStatus::kTimedOut:
      return "the program did not end in time and was stopped";
    case ProcessStatus::kWaitFailed:
      return "the end of the program could not be awaited";
  }
  return "unknown process status";
}

ProcessStatus ProcessStart(const std::string& program, const std::vector<std::string>& arguments,
                           int* pid) {
  pid_t child;
  ProcessStatus status = Spawn(program, arguments, &child);
  if (status != ProcessStatus::kOk) return status;
  // Nobody waits for a program started this way; a detached waiter reaps it
  // so that it does not stay a zombie. Without a thread it stays one; the
  // start itself still succeeded.
  try {
    std::thread([child] {
      int wait_status;
      (void)Reap(child, &wait_status);
    }).detach();
  } catch (const std::system_error&) {
  }
  *pid = child;
  return ProcessStatus::kOk;
}

ProcessStatus ProcessRun(const std::string& program, const std::vector<std::string>& arguments,
                         int timeout_ms, int* exit_code) {
  pid_t child;
  ProcessStatus status = Spawn(program, arguments, &child);
  if (status != ProcessStatus::kOk) return status;
  int wait_status = 0;
  if (timeout_ms >= 0 &&
      !WaitUntil(child, std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms))) {
    kill(child, SIGKILL);
    (void)Reap(child, &wait_status);
    return ProcessStatus::kTimedOut;
  }
  if (!Reap(child, &wait_status)) return ProcessStatus::kWaitFailed;
  *exit_code = ExitCode(wait_status);
  return ProcessStatus::kOk;
}

bool ProcessIsRunning(int pid) {
  if (pid <= 0) return false;
  if (kill(pid, 0) != 0 && errno != EPERM) return false;
  char state = ProcessState("/proc/" + std::to_string(pid));
  // Without /proc, the kill probe is all there is to go by.
  if (state == 0) return access("/proc/self/stat", R_OK) != 0;
  return !HasEnded(state);
}

std::vector<int> ProcessFindByName(std::string_view name) {
  std::vector<int> found;
  if (name.empty()) return found;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return found;
  while (dirent* entry = readdir(proc)) {
    char* end;
    long pid = strtol(entry->d_name, &end, 10);
    if (*end != '\0' || pid <= 0) continue;
    std::string dir = std::string("/proc/") + entry->d_name;
    if (HasEnded(ProcessState(dir))) continue;

    bool matches = false;
    char target[4096];
    ssize_t length = readlink((dir + "/exe").c_str(), target, sizeof target);
    bool have_exe = length > 0;
    if (have_exe) {
      std::string_view exe(target, static_cast<size_t>(length));
      constexpr std::string_view kDeleted = " (deleted)";  // replaced since it started
      if (exe.ends_with(kDeleted)) exe.remove_suffix(kDeleted.size());
      matches = LastPart(exe) == name;
    }
    std::string text;
    if (!matches && ReadSmallFile(dir + "/cmdline", &text) && !text.empty()) {
      matches = LastPart(std::string_view(text.c_str())) == name;
    }
    if (!matches && ReadSmallFile(dir + "/comm", &text)) {
      if (!text.empty() && text.back() == '\n') text.pop_back();
      // A command name of 15 bytes may be a cut one: trusted only when the
      // executable cannot be read (another user's process).
      matches = text.size() < kCommandNameBytes
                    ? text == name
                    : !have_exe && name.substr(0, kCommandNameBytes) == text;
    }
    if (matches) found.push_back(static_cast<int>(pid));
  }
  closedir(proc);
  return found;
}

}  // namespace os
