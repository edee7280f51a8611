// The entry point's single-instance test and URL hand-over. A running
// corvex holds an exclusive lock on corvex.lck in its program folder (the
// Linux stand-in for its main window's class and title), so a second start
// from the same folder finds it. A start whose command line is a URL
// ("URL=..." or an http URL) writes it into kvlaunch.dat, where the running
// program's browser watch (or the next start-up) picks it up.
#pragma once

#include <string>

namespace engine {

inline constexpr char kInstanceLockFile[] = "corvex.lck";

// Takes the URL from a command line that carries one: writes it into
// `folder`/kvlaunch.dat (a quoted URL, in either form, without its quotes)
// and returns true;
// the caller then treats the command line as empty. False (nothing written)
// for any other command line, or when the file cannot be written.
bool HandOverUrl(const std::string& command_line, const std::string& folder);
// Whether the command line carries a URL in one of the two forms.
bool CarriesUrl(const std::string& command_line);

// The instance lock of a program folder, held until the process ends; the
// holder deletes the lock file as it ends.
class InstanceLock {
 public:
  InstanceLock() = default;
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Takes the lock; false when another process holds it. With wait_ms > 0
  // it tries again for up to that long (a restarted instance waits for the
  // old one to end).
  bool Take(const std::string& folder, int wait_ms = 0);

 private:
  std::string path_;
  int fd_ = -1;
  bool held_ = false;
};

}  // namespace engine
