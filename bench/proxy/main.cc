// Benchmark: the pass-through of corvex against tinyproxy and against the
// origin itself, in the same run, on the same origin (nginx from Debian,
// else the test origin in Python): a 12.7 KB HTML page and a 10 MB body, at
// 1 and at 32 connections at a time, corvex with the dashboard hidden and
// shown. Every request is a new connection, as a proxy that closes after
// each reply makes it. Prints requests/s, p50 and p99 latency, MB/s, and the
// ratios; the machine's load before and after.
//
//   build/bench/proxy_bench [seconds per measurement, default 4]
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "os/socket.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kPageSize = 12700;
constexpr size_t kBodySize = 10 * 1024 * 1024;

// A process started in the background and ended with the object.
class Child {
 public:
  Child(const std::vector<std::string>& argv, const std::vector<std::string>& env,
        const std::string& folder, const std::string& out_file) {
    pid_ = fork();
    if (pid_ == 0) {
      if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(127);
      for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
      FILE* out = std::freopen(out_file.c_str(), "w", stdout);
      (void)out;
      FILE* err = std::freopen("/dev/null", "w", stderr);
      (void)err;
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execvp(args[0], args.data());
      _exit(127);
    }
  }
  ~Child() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

 private:
  pid_t pid_ = -1;
};

uint16_t FreePort() {
  os::Socket s = os::CreateStreamSocket();
  (void)os::Bind(s, "127.0.0.1", 0);
  uint16_t port = os::LocalPort(s);
  os::Close(s);
  return port;
}

bool WaitForPort(uint16_t port) {
  for (int i = 0; i < 600; ++i) {
    os::Socket s = os::ConnectLoopback(port);
    if (s != os::kNoSocket) {
      os::Close(s);
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// The first "port N" in a file that a program is writing.
uint16_t PortFrom(const std::string& file, const char* marker) {
  for (int i = 0; i < 600; ++i) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
      size_t at = line.find(marker);
      if (at != std::string::npos)
        return static_cast<uint16_t>(std::atoi(line.c_str() + at + std::strlen(marker)));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return 0;
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

struct Figures {
  double requests_per_second = 0;
  double p50_ms = 0, p99_ms = 0;
  double megabytes_per_second = 0;
  long failures = 0;
};

// One exchange: connect, send, read to the end. Bytes received, -1 on
// failure.
long Exchange(uint16_t port, const std::string& request) {
  os::Socket s = os::ConnectLoopback(port);
  if (s == os::kNoSocket) return -1;
  long total = -1;
  if (os::SendAll(s, request)) {
    total = 0;
    static thread_local std::vector<char> buffer(65536);
    long got;
    while ((got = os::Receive(s, buffer.data(), buffer.size())) > 0) total += got;
    if (got < 0) total = -1;
  }
  os::Close(s);
  return total;
}

Figures Measure(uint16_t port, const std::string& request, int connections, double seconds,
                size_t expected_body) {
  std::vector<std::thread> threads;
  std::mutex lock;
  std::vector<double> latencies;
  std::atomic<long> bytes{0}, failures{0};
  auto start = Clock::now();
  auto until = start + std::chrono::duration<double>(seconds);
  for (int t = 0; t < connections; ++t) {
    threads.emplace_back([&] {
      std::vector<double> mine;
      while (Clock::now() < until) {
        auto begin = Clock::now();
        long got = Exchange(port, request);
        auto end = Clock::now();
        if (got < static_cast<long>(expected_body)) {
          ++failures;
          continue;
        }
        bytes += got;
        mine.push_back(std::chrono::duration<double, std::milli>(end - begin).count());
      }
      std::lock_guard<std::mutex> guard(lock);
      latencies.insert(latencies.end(), mine.begin(), mine.end());
    });
  }
  for (std::thread& t : threads) t.join();
  double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  Figures f;
  f.failures = failures;
  if (latencies.empty()) return f;
  std::sort(latencies.begin(), latencies.end());
  f.requests_per_second = latencies.size() / elapsed;
  f.p50_ms = latencies[latencies.size() / 2];
  f.p99_ms = latencies[std::min(latencies.size() - 1, latencies.size() * 99 / 100)];
  f.megabytes_per_second = bytes / elapsed / 1e6;
  return f;
}

void Print(const char* name, const Figures& f) {
  std::printf("    %-22s %9.0f req/s  p50 %8.2f ms  p99 %8.2f ms  %8.1f MB/s%s\n", name,
              f.requests_per_second, f.p50_ms, f.p99_ms, f.megabytes_per_second,
              f.failures != 0 ? ("  (" + std::to_string(f.failures) + " failed)").c_str() : "");
}

std::string Ratio(double a, double b) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2fx", b > 0 ? a / b : 0.0);
  return text;
}

// A program folder with corvex (scripts/install), the dashboard state in a
// registry file of its own.
struct Corvex {
  Corvex(const std::string& folder, int dashboard) {
    std::string registry = folder + "/registry";
    std::ofstream(registry) << "corvane-registry 1\nkey HKCU \"Software\" \"Pellam\" \"Corvane\"\n"
                            << "text \"DashboardState\" \"" << dashboard << "\"\n";
    std::string out = folder + "/corvex.out";
    std::remove(out.c_str());
    child = std::make_unique<Child>(
        std::vector<std::string>{"./corvex"},
        std::vector<std::string>{"CORVANE_LOCALPORT=0", "CORVANE_REGISTRY=" + registry,
                                 "CORVANE_ANSWERS=/dev/null"},
        folder, out);
    port = PortFrom(out, " port ");
    if (port != 0 && !WaitForPort(port)) port = 0;
  }
  std::unique_ptr<Child> child;
  uint16_t port = 0;
};

}  // namespace

int main(int argc, char** argv) {
  double seconds = argc > 1 ? std::atof(argv[1]) : 4.0;
  if (seconds <= 0) seconds = 4.0;
  signal(SIGPIPE, SIG_IGN);
  std::printf("proxy_bench: load before %s\n", LoadAverage().c_str());
  std::fflush(stdout);  // the children must not write it again

  char pattern[] = "/tmp/corvane-proxy-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  std::string folder = pattern;
  std::string program = folder + "/prog";
  std::string install = std::string("CORVANE_BIN_DIR='") + CORVANE_BIN_DIR + "' '" +
                        CORVANE_SOURCE_DIR + "/scripts/install' '" + program + "' >/dev/null";
  if (std::system(install.c_str()) != 0) {
    std::fprintf(stderr, "proxy_bench: install failed\n");
    return 1;
  }

  // The origin's files.
  std::string root = folder + "/www";
  std::system(("mkdir -p '" + root + "'").c_str());
  {
    std::string page = "<html><head><title>Benchmark page</title></head><body>\n";
    for (int i = 0; page.size() < kPageSize - 32; ++i)
      page += "<p>Paragraph " + std::to_string(i) + " of the benchmark page.</p>\n";
    page.resize(kPageSize - 15, ' ');
    page += "</body></html>\n";
    std::ofstream(root + "/page.html") << page;
    std::ofstream(root + "/body.bin") << std::string(kBodySize, 'x');
  }

  uint16_t origin_port = FreePort();
  std::unique_ptr<Child> origin;
  const char* origin_name = "nginx";
  if (std::system("command -v nginx >/dev/null 2>&1") == 0) {
    std::ofstream(folder + "/nginx.conf")
        << "daemon off;\nmaster_process off;\nworker_processes 1;\nerror_log " << folder
        << "/nginx.err;\npid " << folder << "/nginx.pid;\nevents { worker_connections 1024; }\n"
        << "http {\n access_log off;\n types { text/html html; application/octet-stream bin; }\n"
        << " server { listen 127.0.0.1:" << origin_port << "; root " << root << "; }\n}\n";
    origin = std::make_unique<Child>(
        std::vector<std::string>{"nginx", "-p", folder, "-c", folder + "/nginx.conf"},
        std::vector<std::string>{}, "", "/dev/null");
  } else {
    origin_name = "python3 http.server";
    origin =
        std::make_unique<Child>(std::vector<std::string>{"python3", "-m", "http.server", "--bind",
                                                         "127.0.0.1", std::to_string(origin_port)},
                                std::vector<std::string>{}, root, "/dev/null");
  }
  uint16_t tinyproxy_port = FreePort();
  std::ofstream(folder + "/tinyproxy.conf")
      << "Port " << tinyproxy_port << "\nListen 127.0.0.1\nTimeout 60\nMaxClients 256\n"
      << "LogLevel Critical\nLogFile \"" << folder << "/tinyproxy.log\"\nAllow 127.0.0.1\n";
  Child tinyproxy({"tinyproxy", "-d", "-c", folder + "/tinyproxy.conf"}, {}, "", "/dev/null");
  if (!WaitForPort(origin_port) || !WaitForPort(tinyproxy_port)) {
    std::fprintf(stderr, "proxy_bench: the origin or tinyproxy did not start\n");
    return 1;
  }

  std::string origin_host = "127.0.0.1:" + std::to_string(origin_port);
  struct Case {
    const char* name;
    std::string path;
    size_t size;
  } cases[] = {{"12.7 KB page", "/page.html", kPageSize}, {"10 MB body", "/body.bin", kBodySize}};

  std::vector<std::pair<std::string, Figures>> rows;
  for (int dashboard : {0, 1}) {
    Corvex corvex(program, dashboard);
    if (corvex.port == 0) {
      std::fprintf(stderr, "proxy_bench: corvex did not start\n");
      return 1;
    }
    for (const Case& c : cases) {
      for (int connections : {1, 32}) {
        std::string absolute = "GET http://" + origin_host + c.path +
                               " HTTP/1.1\r\nHost: " + origin_host +
                               "\r\nConnection: close\r\n\r\n";
        std::string relative =
            "GET " + c.path + " HTTP/1.1\r\nHost: " + origin_host + "\r\nConnection: close\r\n\r\n";
        std::string key = std::string(c.name) + ", c=" + std::to_string(connections);
        if (dashboard == 0) {
          rows.emplace_back(key + "|direct",
                            Measure(origin_port, relative, connections, seconds, c.size));
          rows.emplace_back(key + "|tinyproxy",
                            Measure(tinyproxy_port, absolute, connections, seconds, c.size));
        }
        rows.emplace_back(key + (dashboard ? "|corvex, dashboard" : "|corvex"),
                          Measure(corvex.port, absolute, connections, seconds, c.size));
      }
    }
  }

  std::printf("proxy_bench: origin %s, %.1f s a measurement, a new connection a request\n",
              origin_name, seconds);
  auto find = [&](const std::string& key) {
    for (auto& [name, f] : rows)
      if (name == key) return f;
    return Figures{};
  };
  for (const Case& c : cases) {
    for (int connections : {1, 32}) {
      std::string key = std::string(c.name) + ", c=" + std::to_string(connections);
      std::printf("  %s\n", key.c_str());
      Figures direct = find(key + "|direct"), tiny = find(key + "|tinyproxy"),
              corvex = find(key + "|corvex"), shown = find(key + "|corvex, dashboard");
      Print("direct (no proxy)", direct);
      Print("tinyproxy", tiny);
      Print("corvex", corvex);
      Print("corvex, dashboard", shown);
      std::printf(
          "    ratios: corvex/tinyproxy req/s %s, p99 %s; corvex/direct MB/s %s; "
          "dashboard/no dashboard req/s %s\n",
          Ratio(corvex.requests_per_second, tiny.requests_per_second).c_str(),
          Ratio(corvex.p99_ms, tiny.p99_ms).c_str(),
          Ratio(corvex.megabytes_per_second, direct.megabytes_per_second).c_str(),
          Ratio(shown.requests_per_second, corvex.requests_per_second).c_str());
    }
  }
  std::printf("proxy_bench: load after %s (2 cores, shared)\n", LoadAverage().c_str());
  origin.reset();
  std::system(("rm -rf '" + folder + "'").c_str());
  return 0;
}
