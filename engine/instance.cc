// Single instance and URL hand-over of the entry point.
#include "engine/instance.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "engine/startup.h"
#include "os/sync.h"

namespace engine {

namespace {

constexpr int kRetryMs = 50;

bool StartsWith(const std::string& text, const char* prefix) {
  return strncasecmp(text.c_str(), prefix, std::char_traits<char>::length(prefix)) == 0;
}

}  // namespace

bool CarriesUrl(const std::string& command_line) {
  return StartsWith(command_line, "URL=") || StartsWith(command_line, "http://") ||
         StartsWith(command_line, "\"http:/");
}

// A URL in quotes loses them: the text after the first quote up to the
// last one.
std::string Unquoted(std::string url) {
  if (!url.empty() && url[0] == '"') {
    url.erase(0, 1);
    size_t last = url.rfind('"');
    if (last != std::string::npos) url.resize(last);
  }
  return url;
}

bool HandOverUrl(const std::string& command_line, const std::string& folder) {
  std::string url;
  if (StartsWith(command_line, "URL=")) {
    url = Unquoted(command_line.substr(4));
  } else if (StartsWith(command_line, "http://") || StartsWith(command_line, "\"http:/")) {
    url = Unquoted(command_line);
  } else {
    return false;
  }
  std::string path = folder + "/" + kLaunchFile;
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) return false;
  bool written = std::fputs(url.c_str(), file) >= 0;
  return std::fclose(file) == 0 && written;
}

InstanceLock::~InstanceLock() {
  if (fd_ < 0) return;
  // The lock file goes with the instance that held it; one that only
  // looked leaves it.
  if (held_) unlink(path_.c_str());
  close(fd_);
}

bool InstanceLock::Take(const std::string& folder, int wait_ms) {
  path_ = folder + "/" + kInstanceLockFile;
  for (int waited = 0;;) {
    if (fd_ < 0) {
      fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
      // A folder where the lock cannot be made cannot hold a second
      // instance either; start-up reports what else fails there.
      if (fd_ < 0) return true;
    }
    if (flock(fd_, LOCK_EX | LOCK_NB) == 0) {
      // The instance that held it may have deleted the file as it ended:
      // the lock counts only on the file that is at the path now.
      struct stat held {
      }, named{};
      if (fstat(fd_, &held) == 0 && stat(path_.c_str(), &named) == 0 &&
          held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
        held_ = true;
        return true;
      }
      close(fd_);
      fd_ = -1;
      continue;
    }
    if (waited >= wait_ms) return false;
    os::SleepMs(kRetryMs);
    waited += kRetryMs;
  }
}

}  // namespace engine
