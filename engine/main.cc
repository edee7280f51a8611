// corvex: the local HTTP proxy. Started from its program folder, it brings
// up the shared context, the platform thread and the listener, serves until
// SIGINT or SIGTERM destroys its main window, and shuts down.
//
// Environment:
//   CORVANE_LOCALPORT       port to listen on (default 8085; 0: any free port)
//   CORVANE_LISTEN_ADDRESS  address to bind (default 127.0.0.1; 0.0.0.0
//                           serves every interface, an open proxy into the
//                           user's databases: widen it on purpose only)
//   CORVANE_TRACE=1         trace lines on standard error from the start
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "common/status_file.h"
#include "engine/event_string.h"
#include "engine/listener.h"
#include "engine/shared_context.h"
#include "engine/thread_handle.h"
#include "os/desktop.h"
#include "os/files.h"

namespace {

constexpr char kNotInProgramFolder[] = "Corvane must be run from its program directory. Exiting.";
constexpr int kDefaultPort = 8085;
constexpr int kShutdownWaitMs = 7000;

engine::SharedContext* running = nullptr;
bool workers_ended = true;

// The shutdown of the destroyed main window: stop every loop, give the
// workers up to seven seconds, clean the temporary folder.
void Shutdown(os::Window& window) {
  if (running != nullptr) {
    engine::SharedContext& shared = *running;
    shared.traceList = nullptr;
    engine::SetStop(shared, engine::kStopRequested);
    workers_ended = shared.wake.WaitFor(kShutdownWaitMs, [&] { return engine::WorkersAlive(shared) <= 0; });
    std::string wtemp = shared.programDir + "/wtemp";
    os::SweepFolderByAge(wtemp, 0);
    os::RemoveFolder(wtemp);
  }
  os::PostQuit(window, 0);
}

void MainWindowProcedure(os::Window& window, const os::Message& message) {
  if (message.kind == os::MessageKind::kDestroy) Shutdown(window);
}

int PortFromEnvironment() {
  const char* text = std::getenv("CORVANE_LOCALPORT");
  if (text == nullptr || *text == 0) return kDefaultPort;
  char* end = nullptr;
  long port = std::strtol(text, &end, 10);
  if (*end != 0 || port < 0 || port > 65535) return -1;
  return static_cast<int>(port);
}

}  // namespace

int main() {
  if (!os::FileExists("corvex")) {
    std::fprintf(stderr, "%s\n", kNotInProgramFolder);
    return 0;
  }
  int port = PortFromEnvironment();
  if (port < 0) {
    std::fprintf(stderr, "corvex: CORVANE_LOCALPORT must be a port number (0 to 65535)\n");
    return 2;
  }

  // SIGINT and SIGTERM are taken by one thread, which destroys the main
  // window; every other thread starts with them blocked.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  bool trace_on = std::getenv("CORVANE_TRACE") != nullptr && *std::getenv("CORVANE_TRACE") == '1';
  os::TraceList trace_list(/*echo=*/true);
  os::Window main_window("Corvane_MainWindow", "Corvane", MainWindowProcedure);
  os::SetDesktopTrace(&trace_list);

  std::unique_ptr<engine::ThreadHandle> ui = engine::MakeThreadHandle("", nullptr);
  auto shared = std::make_unique<engine::SharedContext>();
  ui->Attach(shared.get());
  shared->mainWindow = &main_window;
  shared->traceList = &trace_list;
  shared->trace = trace_on ? 1 : 0;
  shared->programDir = os::WorkingFolder();
  // The folder is absolute already; file:// and it make a complete URL.
  shared->programDirUrl = shared->programDir;
  shared->localPort = static_cast<uint16_t>(port);
  if (const char* address = std::getenv("CORVANE_LISTEN_ADDRESS"); address && *address)
    shared->listenAddress = address;
  if (!os::CreateFolder(shared->programDir + "/wtemp")) {
    std::fprintf(stderr, "corvex: cannot create %s/wtemp\n", shared->programDir.c_str());
    return 1;
  }
  running = shared.get();

  std::thread signal_taker([&main_window, signals] {
    int caught = 0;
    sigwait(&signals, &caught);
    if (caught != SIGUSR1) os::PostDestroy(main_window);
  });

  int exit_code = 0;
  if (!engine::StartWorker('f', 1, shared.get(), "")) {
    std::fprintf(stderr, "corvex: cannot start the platform thread\n");
    exit_code = 1;
    os::PostDestroy(main_window);
  } else {
    engine::SetUpListener(*ui);
    if (shared->stop == engine::kListenerFailed) {
      std::fprintf(stderr, "corvex: could not listen on %s port %d\n",
                   shared->listenAddress.c_str(), port);
      exit_code = 1;
      os::PostDestroy(main_window);
    } else {
      (void)common::WriteStatusLine(" ", shared->programDir);
      std::printf("corvex listening on %s port %u\n", shared->listenAddress.c_str(),
                  static_cast<unsigned>(shared->localPort));
      std::fflush(stdout);
      if (!engine::StartWorker('a', 1, shared.get(), "")) {
        std::fprintf(stderr, "corvex: cannot start the listener\n");
        exit_code = 1;
        os::PostDestroy(main_window);
      }
      (void)common::WriteStatusLine("Replicator ready, idle.", shared->programDir);
    }
  }

  os::Message message;
  while (main_window.Get(&message)) main_window.Dispatch(message);

  pthread_kill(signal_taker.native_handle(), SIGUSR1);
  signal_taker.join();
  os::SetDesktopTrace(nullptr);
  running = nullptr;
  ui.reset();
  if (!workers_ended) {
    // A worker that did not end still reads the context: keep it.
    std::fprintf(stderr, "corvex: workers still running at exit\n");
    (void)shared.release();
  }
  shared.reset();
  std::printf("corvex stopped\n");
  return exit_code;
}
