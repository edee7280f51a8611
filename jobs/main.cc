// corvjobs: the background job task. corvex starts it from the program
// folder with the note id of a Schedule document in kvconfig.ldf (or a [kv]
// document URL holding "/D/" or "/E/" and the id); it runs that one job -
// a favourite crawl, a Ledra-data replication, or only the closing
// maintenance steps - reports through htmdata/wbstatus.dat and ends.
//
// The main thread owns the window (headless: log lines on standard output
// and in corvjobs.log); a worker thread runs the job. Signals stand for the
// window's controls: SIGINT and SIGTERM close it (the job stops at its next
// element and runs its closing steps), SIGUSR1 is About (switches logging),
// SIGUSR2 is File/Exit.
//
// Environment (tests): CORVANE_JOB_WAIT_MS shortens every fixed wait,
// CORVANE_JOB_MINUTE_MS the minute of MaxRunTime, CORVANE_FETCH_TIMEOUT_MS
// the connect and idle time-outs of a fetch.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "jobs/job_context.h"
#include "jobs/job_window.h"
#include "jobs/main_flow.h"
#include "jobs/outbound.h"
#include "os/desktop.h"
#include "os/desktop_start.h"
#include "os/files.h"
#include "os/sync.h"

namespace {

constexpr char kWindowClass[] = "CorvaneJobsWClass";
constexpr char kWindowTitle[] = "Corvane Background Jobs";
constexpr long kCommandExit = 40001;
constexpr long kCommandAbout = 40002;
constexpr char kAboutText[] = "Pellam Corvane Background Jobs\nCopyright (c) Pellam";
constexpr size_t kArgumentSize = 1024;
// However long the closing steps take, the process ends this long after
// the window closed.
constexpr int kLongestClosingMs = 120000;

// The signals that the signal thread takes; blocked in every thread.
sigset_t taken_signals;
jobs::JobContext* the_job = nullptr;
os::Window* the_window = nullptr;
std::atomic<bool> flow_done{false};
os::WakeUp flow_wake;

void EndProcess(int code) {
  std::fflush(nullptr);
  _exit(code);
}

// The window tells itself of a stop state so that its procedure sees it.
class ProgramWindow : public jobs::HeadlessJobWindow {
 public:
  using HeadlessJobWindow::HeadlessJobWindow;
  void StopStateSet() override {
    if (the_window != nullptr) the_window->Post({os::MessageKind::kUser, 0, 0});
  }
};

void WindowProcedure(os::Window& window, const os::Message& message) {
  static bool destroy_sent = false;
  jobs::JobContext& job = *the_job;
  if (job.Stopped() && !destroy_sent) {
    destroy_sent = true;
    job.Wait(job.timing.destroy_wait_ms);
    os::PostDestroy(window);
  }
  switch (message.kind) {
    case os::MessageKind::kClose:
      job.SetStop(jobs::kInterrupted);
      job.Wait(job.timing.close_wait_ms);
      return;
    case os::MessageKind::kDestroy:
      os::PostQuit(window, 0);
      return;
    case os::MessageKind::kCommand:
      if (message.word == kCommandExit) {
        job.SetStop(jobs::kCompleted);
        window.Post({os::MessageKind::kClose, 0, 0});
      } else if (message.word == kCommandAbout) {
        job.verbose = job.verbose.load() == 0 ? 1 : 0;
        os::MessageBox(&window, kAboutText, kWindowTitle, os::Icon::kInformation, os::Buttons::kOk);
      }
      return;
    default:
      return;
  }
}

void Worker(jobs::JobContext* job) {
  jobs::PlainOutbound outbound([job](std::string_view line) { job->Log(line); });
  jobs::RunMainFlow(*job, outbound);
  flow_wake.NotifyAfter([] { flow_done = true; });
  if (job->abort) {
    job->Wait(job->abort_after_ms);
    EndProcess(job->abort_exit_code);
  }
  job->Wait(job->timing.exit_wait_ms);
  EndProcess(0);
}

// The window as the desktop draws it: the File popup and the log list,
// minimised where the desktop places it.
os::WindowLook JobWindowLook(os::TraceList* log_list) {
  os::WindowLook look;
  look.menu = {{"File", "Exit", kCommandExit}, {"File", "About", kCommandAbout}};
  look.list = log_list;
  look.minimised = true;
  return look;
}

int Run(int argc, char** argv) {
  std::string argument;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) argument += ' ';
    argument += argv[i];
  }
  if (argument.size() >= kArgumentSize) argument.resize(kArgumentSize - 1);

  sigset_t signals = taken_signals;

  std::string folder = os::WorkingFolder();
  ProgramWindow window_log(folder.empty() ? jobs::kJobLogFile : folder + "/" + jobs::kJobLogFile);
  static jobs::JobContext job;
  job.window = &window_log;
  job.program_dir = folder;
  job.timing = jobs::TimingFromEnvironment();
  job.startup_argument = argument;
  job.stop = jobs::kRunning;
  the_job = &job;

  static os::Window window(kWindowClass, kWindowTitle, WindowProcedure);
  the_window = &window;
  static os::TraceList log_list;
  if (os::DesktopWindowed()) {
    window_log.DrawInto(&log_list);
    window.Show(JobWindowLook(&log_list));
  }
  std::thread([signals] {
    for (;;) {
      int caught = 0;
      if (sigwait(&signals, &caught) != 0) continue;
      if (caught == SIGINT || caught == SIGTERM) window.Post({os::MessageKind::kClose, 0, 0});
      if (caught == SIGUSR1) window.Post({os::MessageKind::kCommand, kCommandAbout, 0});
      if (caught == SIGUSR2) window.Post({os::MessageKind::kCommand, kCommandExit, 0});
    }
  }).detach();
  std::thread(Worker, &job).detach();

  os::Message message;
  while (window.Get(&message)) window.Dispatch(message);
  // The window is gone; the worker still finishes its closing steps, so a
  // stop never cuts them off.
  flow_wake.WaitFor(kLongestClosingMs, [] { return flow_done.load(); });
  EndProcess(0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Every thread, the desktop's too, starts with the signals blocked.
  sigemptyset(&taken_signals);
  for (int s : {SIGINT, SIGTERM, SIGUSR1, SIGUSR2}) sigaddset(&taken_signals, s);
  pthread_sigmask(SIG_BLOCK, &taken_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  return os::RunWithDesktop(argc, argv, [argc, argv] { return Run(argc, argv); });
}
