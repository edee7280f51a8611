// Test helpers: real peers of the pass-through on loopback, each a process
// of its own that ends with the helper: the test origin (origin.py), an
// upstream proxy (tinyproxy), a TLS server (openssl s_server), and curl as
// a client.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "os/socket.h"

extern char** environ;

namespace peers {

// A process whose standard output the helper reads line by line.
class Process {
 public:
  explicit Process(const std::vector<std::string>& argv) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    int devnull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    posix_spawn_file_actions_adddup2(&actions, devnull, 0);
    posix_spawn_file_actions_adddup2(&actions, devnull, 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(devnull);
    out_ = fdopen(out[0], "r");
  }
  ~Process() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    if (out_ != nullptr) std::fclose(out_);
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  bool Started() const { return pid_ > 0; }
  // The next line of its output without the line end; "" at its end.
  std::string Line() {
    char line[1024];
    if (out_ == nullptr || std::fgets(line, sizeof line, out_) == nullptr) return "";
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
  }

 private:
  pid_t pid_ = -1;
  std::FILE* out_ = nullptr;
};

// A port nobody listens on right now.
inline uint16_t FreePort() {
  os::Socket s = os::CreateStreamSocket();
  (void)os::Bind(s, "127.0.0.1", 0);
  uint16_t port = os::LocalPort(s);
  os::Close(s);
  return port;
}

// Waits until something accepts connections on the port.
inline bool WaitForPort(uint16_t port, int ms = 10000) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < until) {
    os::Socket s = os::ConnectLoopback(port);
    if (s != os::kNoSocket) {
      os::Close(s);
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

inline bool HavePrograms(const std::vector<const char*>& programs) {
  for (const char* p : programs) {
    std::string command = std::string("command -v ") + p + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return false;
  }
  return true;
}

// The test origin of origin.py.
class Origin {
 public:
  Origin() : process_({"python3", std::string(CORVANE_SOURCE_DIR) + "/tests/proxy/origin.py"}) {
    std::string line = process_.Line();
    if (line.rfind("PORT ", 0) == 0) port_ = static_cast<uint16_t>(std::stoi(line.substr(5)));
  }
  uint16_t Port() const { return port_; }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

 private:
  Process process_;
  uint16_t port_ = 0;
};

// tinyproxy on a loopback port, in the foreground, its configuration in
// `folder`.
class Tinyproxy {
 public:
  explicit Tinyproxy(const std::string& folder) {
    port_ = FreePort();
    std::string config = folder + "/tinyproxy.conf";
    std::ofstream(config) << "Port " << port_ << "\nListen 127.0.0.1\nTimeout 30\nMaxClients 200\n"
                          << "LogLevel Critical\nLogFile \"" << folder << "/tinyproxy.log\"\n"
                          << "Allow 127.0.0.1\n";
    process_ = std::make_unique<Process>(std::vector<std::string>{"tinyproxy", "-d", "-c", config});
    if (!WaitForPort(port_)) port_ = 0;
  }
  uint16_t Port() const { return port_; }

 private:
  std::unique_ptr<Process> process_;
  uint16_t port_ = 0;
};

// openssl s_server answering GETs with its status page, with a certificate
// made for it in `folder`.
class TlsServer {
 public:
  explicit TlsServer(const std::string& folder) {
    std::string key = folder + "/tls.key", cert = folder + "/tls.crt";
    std::string make =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost -keyout '" + key +
        "' -out '" + cert + "' >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0) return;
    port_ = FreePort();
    process_ = std::make_unique<Process>(
        std::vector<std::string>{"openssl", "s_server", "-quiet", "-www", "-accept",
                                 "127.0.0.1:" + std::to_string(port_), "-key", key, "-cert", cert});
    if (!WaitForPort(port_)) port_ = 0;
  }
  uint16_t Port() const { return port_; }

 private:
  std::unique_ptr<Process> process_;
  uint16_t port_ = 0;
};

// Runs a command line and returns its standard output. The child is
// waited for by its own id (popen's stream may share descriptor numbers
// with the engine's connections in the same process).
inline std::string Output(const std::string& command, int* status = nullptr) {
  std::string text;
  if (status != nullptr) *status = -1;
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return text;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
  pid_t pid = -1;
  if (posix_spawnp(&pid, "sh", &actions, nullptr, const_cast<char* const*>(argv), environ) != 0)
    pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  char buffer[4096];
  for (;;) {
    ssize_t got = ::read(out[0], buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    text.append(buffer, static_cast<size_t>(got));
  }
  ::close(out[0]);
  if (pid > 0) {
    int ended = 0;
    while (::waitpid(pid, &ended, 0) < 0 && errno == EINTR) {
    }
    if (status != nullptr) *status = WIFEXITED(ended) ? WEXITSTATUS(ended) : -1;
  }
  return text;
}

}  // namespace peers
