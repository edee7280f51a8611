// A program folder, a large database and a corvex process for benchmarks.
#include "bench/support/installed_corvex.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "os/process.h"
#include "os/socket.h"

namespace fs = std::filesystem;

namespace bench {

namespace {

std::string BinDir() {
  const char* env = std::getenv("CORVANE_BIN_DIR");
  return env != nullptr && *env != 0 ? env : CORVANE_BIN_DIR;
}

}  // namespace

std::string MakeTempFolder(const char* stem) {
  std::string pattern = std::string("/tmp/") + stem + "-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

void RemoveFolder(const std::string& folder) {
  std::error_code ec;
  if (!folder.empty()) fs::remove_all(folder, ec);
}

bool InstallProgramFolder(const std::string& prog) {
  setenv("CORVANE_BIN_DIR", BinDir().c_str(), 1);
  int code = -1;
  os::ProcessStatus status =
      os::ProcessRun(CORVANE_SOURCE_DIR "/scripts/install", {prog}, 120000, &code);
  if (status != os::ProcessStatus::kOk || code != 0) {
    std::fprintf(stderr, "bench: the install step failed (%s, exit %d)\n",
                 os::ProcessStatusText(status), code);
    return false;
  }
  return true;
}

bool MakeViewDatabase(const std::string& prog, const std::string& name, int documents) {
  std::string design = prog + "/wtemp/" + name + ".json";
  {
    std::ofstream out(design);
    out << "{\"title\": \"Bench " << documents << "\", \"views\": ["
        << "{\"name\": \"Cats\", \"selection\": \"SELECT @All\", \"columns\": ["
        << "{\"title\": \"Category\", \"width\": 10, \"item\": \"Cat\", \"categorized\": true},"
        << "{\"title\": \"Subject\", \"width\": 30, \"item\": \"Subject\", \"sort\": "
           "\"ascending\"},"
        << "{\"title\": \"Author\", \"width\": 12, \"item\": \"Author\"}]},"
        << "{\"name\": \"Flat\", \"selection\": \"SELECT @All\", \"columns\": ["
        << "{\"title\": \"Subject\", \"width\": 30, \"item\": \"Subject\", \"sort\": "
           "\"ascending\"},"
        << "{\"title\": \"Category\", \"width\": 10, \"item\": \"Cat\"},"
        << "{\"title\": \"Author\", \"width\": 12, \"item\": \"Author\"}]}"
        << "], \"documents\": [";
    for (int i = 0; i < documents; ++i) {
      char doc[200];
      std::snprintf(doc, sizeof doc,
                    "%s{\"items\": {\"Cat\": \"Category %05d\", \"Subject\": \"Subject %07d\", "
                    "\"Author\": \"Author %d\"}}",
                    i == 0 ? "" : ",\n", i / 100, i, i % 17);
      out << doc;
    }
    out << "]}\n";
  }
  std::string command = "cd '" + prog + "' && ./ledra create 'data/" + name + "' --design '" +
                        design + "' >/dev/null";
  bool ok = std::system(command.c_str()) == 0;
  fs::remove(design);
  if (!ok) std::fprintf(stderr, "bench: could not create %s\n", name.c_str());
  return ok;
}

bool Corvex::Start(const std::string& prog) {
  int out[2];
  if (pipe(out) != 0) return false;
  std::string registry = prog + "/registry";
  std::string errors = prog + "/corvex.stderr";
  pid_ = fork();
  if (pid_ == 0) {
    dup2(out[1], STDOUT_FILENO);
    int err = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (err >= 0) dup2(err, STDERR_FILENO);
    close(out[0]);
    close(out[1]);
    if (chdir(prog.c_str()) != 0) _exit(127);
    setenv("CORVANE_LOCALPORT", "0", 1);
    setenv("CORVANE_REGISTRY", registry.c_str(), 1);
    execl("./corvex", "corvex", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  out_ = out[0];
  if (pid_ < 0) return false;
  std::string line;
  char c;
  while (read(out_, &c, 1) == 1 && c != '\n') line += c;
  size_t last_blank = line.rfind(' ');
  port_ = last_blank == std::string::npos
              ? 0
              : static_cast<uint16_t>(std::atoi(line.c_str() + last_blank + 1));
  if (port_ == 0) {
    std::fprintf(stderr, "bench: corvex did not start: \"%s\" (see %s)\n", line.c_str(),
                 errors.c_str());
    Stop();
    return false;
  }
  return true;
}

int Corvex::Stop() {
  int result = -1;
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    pid_t ended = 0;
    while ((ended = waitpid(pid_, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (ended == pid_) {
      result = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    } else {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
    }
    pid_ = -1;
  }
  if (out_ >= 0) close(out_);
  out_ = -1;
  return result;
}

std::string ProxyGet(uint16_t port, const std::string& url) {
  os::Socket s = os::ConnectLoopback(port);
  if (s == os::kNoSocket) return {};
  std::string reply;
  if (os::SendAll(s, "GET " + url + " HTTP/1.0\r\n\r\n")) {
    char buffer[16384];
    long got;
    while ((got = os::Receive(s, buffer, sizeof buffer)) > 0)
      reply.append(buffer, static_cast<size_t>(got));
  }
  os::Close(s);
  return reply;
}

long ResidentKb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

double LoadAverage() {
  std::ifstream in("/proc/loadavg");
  double load = -1;
  in >> load;
  return load;
}

}  // namespace bench
