// corvex: the local HTTP proxy. Started from its program folder, it keeps
// a single instance per folder, brings up the shared context, the platform
// thread, the configuration and the listener, serves until its main window
// is destroyed, and shuts down.
//
// Command line: "Restart", "URL=" followed by a URL, or an http URL; a URL
// is handed to the running instance through kvlaunch.dat.
//
// Signals (the headless main window): SIGUSR1 the About command (switches
// the trace display), SIGINT a close request, SIGTERM destroys the window.
//
// Environment:
//   CORVANE_LOCALPORT       port to listen on, overriding the Configuration
//                           document's LocalPort (0: any free port)
//   CORVANE_LISTEN_ADDRESS  address to bind (default 127.0.0.1; 0.0.0.0
//                           serves every interface, an open proxy into the
//                           user's databases: widen it on purpose only)
//   CORVANE_TRACE=1         trace lines on standard error from the start
//   CORVANE_ANSWERS         answer script of the headless desktop
//   CORVANE_BROWSER_ARGS    more arguments for the launched browser, split
//                           at blanks (e.g. "--headless=new --no-sandbox")
//   CORVANE_BROWSER_NAMES   program names (comma-separated) that count as
//                           running browsers, in place of the known ones
//   CORVANE_WATCH_SETTLE_MS, CORVANE_WATCH_TICK_MS, CORVANE_WATCH_AFTER_MS
//                           pauses of the browser watch (25 s, 3 s, 20 s)
//   http_proxy, https_proxy, no_proxy (either case) and the default Firefox
//                           profile's proxy preferences: the user's real
//                           proxy, which becomes corvex's upstream
//   CORVANE_CONNECT_TIMEOUT_MS, CORVANE_IDLE_TIMEOUT_MS, CORVANE_TUNNEL_IDLE_MS
//                           time-outs of the web proxy's outbound connections
//                           (30 s to connect, 120 s of a silent server, 300 s
//                           of a silent tunnel)
//   CORVANE_DNS_SERVERS     name servers of the web proxy ("127.0.0.1:53,...")
//                           instead of the system's
//   CORVANE_NETWORK_TEST_HOST
//                           the name the network test looks up (default
//                           corvane.testing.network, which never exists);
//                           127.0.0.1 on a closed network answers at once
//   CORVANE_CLASSIC_URLS=1  replies keep the pseudo-host URLs exactly as the
//                           pages write them (engine/url_mapping.h)
#include <pthread.h>
#include <signal.h>
#include <strings.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "engine/event_string.h"
#include "engine/instance.h"
#include "engine/main_window.h"
#include "engine/startup.h"
#include "engine/startup_messages.h"
#include "engine/url_mapping.h"
#include "engine/thread_handle.h"
#include "os/desktop.h"
#include "os/desktop_start.h"
#include "os/files.h"
#include "platform/operation_table.h"

namespace {

constexpr char kNotInProgramFolder[] = "Corvane must be run from its program directory. Exiting.";
constexpr char kNoSharedResources[] = "Failed loading shared resources";
constexpr char kErrorTitle[] = "Error Condition Encountered";
// A restarted instance waits this long for the old one to let go of the
// instance lock.
constexpr int kRestartLockWaitMs = 15000;

// The signals that the signal thread takes; blocked in every thread.
sigset_t taken_signals;

// The main window as the desktop draws it: topmost at 50,50, minimised,
// the Options popup and About on its menu bar, the trace list hidden
// until About shows it.
os::WindowLook MainWindowLook(os::TraceList* trace_list) {
  os::WindowLook look;
  look.menu = {{"Options", "-", 0},
               {"Options", "Set Preferred Browser", engine::kCommandPreferredBrowser},
               {"Options", "Hide Dashboard", engine::kCommandHideDashboard, true, false},
               {"", "About", engine::kCommandAbout}};
  look.list = trace_list;
  look.list_visible = false;
  look.topmost = true;
  look.minimised = true;
  look.x = 50;
  look.y = 50;
  look.width = 200;
  look.height = 50;
  return look;
}

std::string CommandLine(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  return line;
}

int Run(int argc, char** argv) {
  // 1. A start anywhere else is a mistake to be told about, with the
  // folder to use, and a failure to report.
  if (!os::FileExists(engine::kProgramName)) {
    os::MessageBox(nullptr, kNotInProgramFolder, "Corvane", os::Icon::kExclamation, os::Buttons::kOk);
    std::fputs(engine::NotInProgramFolderText(os::WorkingFolder(), engine::ExpectedProgramFolder())
                   .c_str(),
               stderr);
    return 1;
  }
  if (engine::PortOverride() == -2) {
    std::fprintf(stderr, "corvex: CORVANE_LOCALPORT must be a port number (0 to 65535)\n");
    return 2;
  }
  std::string folder = os::WorkingFolder();
  std::string command_line = CommandLine(argc, argv);

  // 2. to 5.
  bool restart = strncasecmp(command_line.c_str(), engine::kRestartArgument, 7) == 0;
  engine::InstanceLock instance;
  bool running_elsewhere = !instance.Take(folder, restart ? kRestartLockWaitMs : 0) && !restart;
  std::string handed_over;  // the URL handed to the running program
  bool handover_failed = false;
  if (engine::CarriesUrl(command_line)) {
    handover_failed = !engine::HandOverUrl(command_line, folder);
    if (handover_failed)
      std::fprintf(stderr, "corvex: cannot write %s/%s\n", folder.c_str(), engine::kLaunchFile);
    else
      handed_over = command_line;
    command_line.clear();
  }
  if (running_elsewhere) {
    std::fputs(engine::AlreadyRunningText(folder, engine::ReadPortFile(folder), handed_over).c_str(),
               stdout);
    return handover_failed ? 1 : 0;
  }

  sigset_t signals = taken_signals;

  // 6.
  platform::InstallAccessLayer();
  const char* trace_env = std::getenv("CORVANE_TRACE");
  bool trace_on = trace_env != nullptr && *trace_env == '1';
  os::TraceList trace_list(/*echo=*/true);
  os::Window main_window(engine::kMainWindowClass, engine::kMainWindowTitle,
                         engine::MainWindowProcedure);
  main_window.Show(MainWindowLook(&trace_list));
  // Message boxes go to standard error already; the trace list echoes
  // only the trace lines, which are written while `trace` is 1.
  std::unique_ptr<engine::ThreadHandle> ui = engine::MakeThreadHandle("", nullptr);
  engine::MainWindow().ui = ui.get();

  std::atomic<bool> loop_ended{false};
  std::thread signal_taker([&main_window, &loop_ended, signals] {
    for (;;) {
      int caught = 0;
      sigwait(&signals, &caught);
      if (loop_ended) return;
      if (caught == SIGUSR1) main_window.Post({os::MessageKind::kCommand, engine::kCommandAbout, 0});
      if (caught == SIGINT) main_window.Post({os::MessageKind::kClose, 0, 0});
      if (caught == SIGTERM) os::PostDestroy(main_window);
    }
  });

  engine::StartupOptions options;
  options.commandLine = command_line;
  options.mainWindow = &main_window;
  options.traceList = &trace_list;
  options.traceOn = trace_on;
  engine::StartupResult started = engine::StartUp(*ui, options);
  int exit_code = 0;
  if (started.exitNow) {
    exit_code = started.exitCode;
    os::PostQuit(main_window, exit_code);
  } else if (started.shared == nullptr) {
    os::MessageBox(&main_window, kNoSharedResources, kErrorTitle, os::Icon::kError, os::Buttons::kOk);
    exit_code = 1;
    os::PostDestroy(main_window);
  } else {
    engine::SharedContext* shared = started.shared.get();
    engine::AdoptSharedContext(std::move(started.shared));
    if (shared->stop == engine::kListenerFailed) {
      unsigned port = shared->localPort;
      bool in_use = engine::PortInUse(shared->listenAddress, port);
      std::fputs(engine::ListenFailedText(shared->listenAddress, port, in_use).c_str(), stderr);
      exit_code = 1;
      os::PostDestroy(main_window);
    } else {
      // The port file first: whoever reads the banner may look for it.
      engine::WritePortFile(folder, shared->localPort);
      std::fputs(engine::BannerText(shared->listenAddress, shared->localPort, engine::ClassicUrls())
                     .c_str(),
                 stdout);
      std::fflush(stdout);
      if (!engine::StartWorker('a', 1, shared, "")) {
        std::fprintf(stderr, "corvex: cannot start the listener\n");
        exit_code = 1;
        os::PostDestroy(main_window);
      }
    }
  }

  // 7.
  os::Message message;
  while (main_window.Get(&message)) main_window.Dispatch(message);

  loop_ended = true;
  pthread_kill(signal_taker.native_handle(), SIGUSR2);
  signal_taker.join();
  engine::MainWindow().ui = nullptr;
  ui.reset();
  if (!engine::MainWindow().workersEnded) std::fprintf(stderr, "corvex: workers still running at exit\n");
  engine::RemovePortFile(folder);
  std::printf("corvex stopped\n");
  return exit_code;
}

}  // namespace

int main(int argc, char** argv) {
  // Signals are taken by one thread, which posts them to the main window;
  // every other thread, the desktop's too, starts with them blocked.
  sigemptyset(&taken_signals);
  for (int s : {SIGINT, SIGTERM, SIGUSR1, SIGUSR2}) sigaddset(&taken_signals, s);
  pthread_sigmask(SIG_BLOCK, &taken_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  return os::RunWithDesktop(argc, argv, [argc, argv] { return Run(argc, argv); });
}
