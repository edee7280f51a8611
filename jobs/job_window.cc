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

HeadlessJobWindow::~HeadlessJobWindow() {
  if (log_fd_ >= 0) ::close(log_fd_);
}

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
  if (log_fd_ < 0)
    log_fd_ = ::open(log_path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (log_fd_ < 0) return;
  ssize_t written = ::write(log_fd_, line.data(), line.size());
  (void)written;
}

void HeadlessJobWindow::AppendLog(std::string_view line) {
  Write(line);
  if (list_ != nullptr) list_->Append(line);
}

void HeadlessJobWindow::ClearLog() {
  if (list_ != nullptr) list_->Clear();
}

void HeadlessJobWindow::ShowStatus(std::string_view message, int milliseconds) {
  std::string line = std::string(kStatusDialogCaption) + ": ";
  line.append(message);
  Write(line);
  if (os::ShowTimedStatus(kStatusDialogCaption, message, milliseconds)) return;
  if (terminal_ && milliseconds > 0) os::SleepMs(milliseconds);
}

}  // namespace jobs
