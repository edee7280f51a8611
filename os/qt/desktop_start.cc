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
  QApplication::exec();
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
