// The job task's process-wide record: log, status file and status dialog.
#include "jobs/job_context.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "common/status_file.h"
#include "jobs/documents.h"
#include "os/desktop.h"
#include "os/files.h"
#include "os/sync.h"

namespace jobs {

namespace {

constexpr char kErrorReportTitle[] = "Pellam Corvane: Ledra Replication Error";
constexpr char kNoErrorText[] = "Could not perform requested action.";

int EnvironmentMs(const char* name, int fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  char* end = nullptr;
  long value = std::strtol(text, &end, 10);
  if (*end != '\0' || value < 0 || value > 86400000) return fallback;
  return static_cast<int>(value);
}

}  // namespace

JobTiming TimingFromEnvironment() {
  JobTiming timing;
  int wait = EnvironmentMs("CORVANE_JOB_WAIT_MS", -1);
  if (wait >= 0) {
    timing.retry_wait_ms = timing.exit_wait_ms = timing.key_view_exit_ms = wait;
    timing.destroy_wait_ms = timing.close_wait_ms = wait;
    timing.replication_pause_ms = wait;
  }
  timing.minute_ms = EnvironmentMs("CORVANE_JOB_MINUTE_MS", timing.minute_ms);
  int timeout = EnvironmentMs("CORVANE_FETCH_TIMEOUT_MS", -1);
  if (timeout > 0) timing.connect_timeout_ms = timing.idle_timeout_ms = timeout;
  return timing;
}

std::string StatusFileText(std::string_view message) {
  std::string text;
  text.reserve(message.size());
  for (char c : message) {
    if (c == '\n') {
      text += ' ';
    } else if (c == '"') {
      text += "''";
    } else if (c != '\r') {
      text += c;
    }
  }
  return text;
}

void JobContext::SetStop(int32_t state) {
  if (state == kRunning) return;
  stop = state;
  if (window != nullptr) window->StopStateSet();
}

void JobContext::Log(std::string_view line) {
  if (verbose.load() == 0 || window == nullptr) return;
  window->AppendLog(line);
}

void JobContext::ClearLog() {
  if (window != nullptr) window->ClearLog();
}

void JobContext::WriteStatusFile(std::string_view message) {
  // StatusFileText leaves no line feed, so the shared writer changes nothing
  // more; a status file that cannot be written only costs the display.
  (void)common::WriteStatusLine(StatusFileText(message), program_dir);
}

void JobContext::StatusDialog(std::string_view message, int milliseconds, bool force) {
  WriteStatusFile(message);
  if ((force || quiet != 'Y') && window != nullptr) window->ShowStatus(message, milliseconds);
}

void JobContext::ReportPlatformError() {
  std::string text = LastPlatformError();
  if (text.empty()) text = kNoErrorText;
  os::MessageBox(nullptr, text, kErrorReportTitle, os::Icon::kError, os::Buttons::kOk);
  Log("\nLedra Error: " + text + "\n\n");
}

std::string JobContext::TempFolder() const {
  const char* tmp = std::getenv("TMP");
  if (tmp != nullptr && *tmp != '\0') return tmp;
  std::string wtemp = (program_dir.empty() ? std::string(".") : program_dir) + "/wtemp";
  return os::FolderExists(wtemp) ? wtemp : "/tmp";
}

std::string JobContext::WriteTempFile(std::string_view bytes) const {
  std::string path = TempFolder() + "/#wbrXXXXXX";
  int fd = mkstemp(path.data());
  if (fd < 0) return "";
  bool written = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  ::close(fd);
  if (!written) {
    ::unlink(path.c_str());
    return "";
  }
  return path;
}

void JobContext::Wait(int milliseconds) {
  if (milliseconds > 0) os::SleepMs(milliseconds);
}

}  // namespace jobs
