// The window of the job task: its log list and its timed status dialogs,
// behind a small interface so that a windowed desktop can draw them. The
// headless window writes log lines to standard output and to corvjobs.log
// in the program folder, and prints status dialogs; a dialog's duration is
// honoured only when standard output is a terminal (nobody would see the
// wait otherwise). On a windowed desktop the same window also fills the
// drawn log list it is given and shows the status dialog for its time.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

#include "os/desktop.h"

namespace jobs {

inline constexpr char kJobLogFile[] = "corvjobs.log";
inline constexpr char kStatusDialogCaption[] = "Corvane Background Job Status";

class JobWindow {
 public:
  virtual ~JobWindow() = default;
  // Adds a line to the log list and makes it the visible top line.
  virtual void AppendLog(std::string_view line) = 0;
  // Empties the log list.
  virtual void ClearLog() = 0;
  // Shows the status dialog with `message` for `milliseconds`, then closes
  // it; returns when it is closed.
  virtual void ShowStatus(std::string_view message, int milliseconds) = 0;
  // The job ended with a non-zero stop state: the window may close.
  virtual void StopStateSet() {}
};

class HeadlessJobWindow : public JobWindow {
 public:
  // `log_path` empty: no log file. `echo` false: nothing on standard output.
  explicit HeadlessJobWindow(std::string log_path, bool echo = true);
  ~HeadlessJobWindow() override;
  // The list that a windowed desktop draws in the job's window; set before
  // the job starts.
  void DrawInto(os::TraceList* list) { list_ = list; }
  void AppendLog(std::string_view line) override;
  void ClearLog() override;
  void ShowStatus(std::string_view message, int milliseconds) override;

 private:
  void Write(std::string_view text);

  os::TraceList* list_ = nullptr;
  std::string log_path_;
  int log_fd_ = -1;  // opened at the first line, kept for the run
  bool echo_;
  bool terminal_;
  std::mutex mutex_;  // one line at a time in the file and on the terminal
};

}  // namespace jobs
