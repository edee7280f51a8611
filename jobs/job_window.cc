// The headless job window.
#include "jobs/job_window.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "os/sync.h"

namespace jobs {

HeadlessJobWindow::HeadlessJobWindow(std::string log_path, bool echo)
    : log_path_(std::move(log_path)), echo_(echo), terminal_(isatty(STDOUT_FILENO) == 1) {}

void HeadlessJobWindow::Write(std::string_view text) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (echo_) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
  if (log_path_.empty()) return;
  // Several job tasks may log at once: each line goes out in one appending
  // write, marked with the process id.
  std::string line = "corvjobs[" + std::to_string(getpid()) + "] ";
  line.append(text);
  line += '\n';
  int fd = ::open(log_path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  ssize_t written = ::write(fd, line.data(), line.size());
  (void)written;
  ::close(fd);
}

void HeadlessJobWindow::AppendLog(std::string_view line) {
  Write(line);
}

void HeadlessJobWindow::ShowStatus(std::string_view message, int milliseconds) {
  std::string line = std::string(kStatusDialogCaption) + ": ";
  line.append(message);
  Write(line);
  if (terminal_ && milliseconds > 0) os::SleepMs(milliseconds);
}

}  // namespace jobs
