// The desktop chosen at start: the windowed one on a reachable display.
#include "os/desktop_start.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QObject>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "os/desktop_backend.h"
#include "os/qt/gui_bridge.h"
#include "os/qt/qt_desktop.h"

namespace os {

namespace {

// How long a display may take to answer before the program runs headless.
constexpr int kDisplayProbeMs = 3000;

char fallback_name[] = "corvane";

char* ProgramName(int argc, char** argv) {
  return argc > 0 && argv[0] != nullptr ? argv[0] : fallback_name;
}

bool Named(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0';
}

// Qt ends the process when its platform cannot start, so the display is
// tried first in a child: it starts Qt's platform and says whether it
// could. A child that takes too long counts as failed.
bool DisplayStarts(int argc, char** argv) {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform != nullptr && std::strcmp(platform, "offscreen") == 0) return true;
  std::fflush(nullptr);
  pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) {
      ::dup2(null, STDERR_FILENO);
      ::dup2(null, STDOUT_FILENO);
    }
    int probe_argc = 1;
    char* probe_argv[] = {ProgramName(argc, argv), nullptr};
    QGuiApplication probe(probe_argc, probe_argv);
    _exit(0);
  }
  for (int waited = 0; waited < kDisplayProbeMs; waited += 5) {
    int status = 0;
    pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (done < 0) return false;
    usleep(5000);
  }
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  return false;
}

// The program's thread while the windowed desktop runs it.
struct Running {
  std::mutex mutex;
  std::thread* runner = nullptr;  // guarded by mutex
  const int* exit_code = nullptr;
};

Running& TheRunning() {
  static Running running;
  return running;
}

// Qt ends the process (exit) when the display goes away under it. The
// program is let finish without windows instead: every question waiting
// gets its safe answer, later ones take the headless path, and the process
// ends with the program's own exit code once the program ends (corvex at
// its next close request or signal, corvjobs when its job is done).
void DisplayLost() {
  Running& running = TheRunning();
  std::thread* runner = nullptr;
  {
    std::lock_guard<std::mutex> guard(running.mutex);
    if (running.runner == nullptr || !qt::OnGuiThread()) return;
    runner = running.runner;
    running.runner = nullptr;
  }
  std::fprintf(stderr, "corvane: the display went away; running without windows\n");
  SetDesktopBackend(nullptr);
  qt::CloseBridge();
  runner->join();
  std::fflush(nullptr);
  _exit(*running.exit_code);
}

}  // namespace

bool WindowedDesktopWanted() {
  const char* choice = std::getenv("CORVANE_DESKTOP");
  std::string chosen = choice != nullptr ? choice : "";
  if (chosen == "headless") return false;
  if (Named("CORVANE_TEST") && chosen != "windowed") return false;
  return Named("DISPLAY") || Named("WAYLAND_DISPLAY") || Named("QT_QPA_PLATFORM");
}

int RunWithDesktop(int argc, char** argv, const std::function<int()>& program) {
  if (!WindowedDesktopWanted()) return program();
  if (!DisplayStarts(argc, argv)) {
    std::fprintf(stderr, "corvane: the display cannot be opened; running without windows\n");
    return program();
  }
  // Qt takes only the program's name: it would take options of its own
  // (and change argv) from the program's arguments otherwise.
  int qt_argc = 1;
  char* qt_argv[] = {ProgramName(argc, argv), nullptr};
  QApplication application(qt_argc, qt_argv);
  QApplication::setApplicationName(QStringLiteral("Corvane"));
  // The program's windows close only when the program says so.
  QApplication::setQuitOnLastWindowClosed(false);
  auto context = std::make_unique<QObject>();
  auto desktop = std::make_unique<qt::QtDesktop>();
  qt::OpenBridge(context.get());
  SetDesktopBackend(desktop.get());

  int exit_code = 0;
  std::thread runner([&] {
    exit_code = program();
    qt::PostToGui([] { QApplication::exit(0); });
  });
  {
    static const bool registered = std::atexit(DisplayLost) == 0;
    (void)registered;
    Running& running = TheRunning();
    std::lock_guard<std::mutex> guard(running.mutex);
    running.runner = &runner;
    running.exit_code = &exit_code;
  }
  QApplication::exec();
  {
    Running& running = TheRunning();
    std::lock_guard<std::mutex> guard(running.mutex);
    running.runner = nullptr;
  }
  // The event loop may also end without the program (the display went
  // away): every question still waiting gets its safe answer, and the
  // program runs on headless until it ends.
  SetDesktopBackend(nullptr);
  qt::CloseBridge();
  runner.join();
  desktop.reset();
  context.reset();
  return exit_code;
}

}  // namespace os
