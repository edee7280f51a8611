// Load benchmark: wrk against corvex serving a 30-row page of a view of
// 100,000 documents, and against nginx serving the same page bytes as a
// static file, in the same run, at 1 and at 32 connections; then a
// sustained run at 32 connections whose rate is reported slice by slice.
//
//   build/bench/serve_load_bench [--seconds S] [--sustained S]
//                                [--documents N] [--page B|N|Flat]
//
// --seconds: length of each short run (default 10); --sustained: length of
// the sustained run (default 300; 0 skips it), cut into five slices.
// CORVANE_BIN_DIR names the programs to install (default: this build), so
// an older build is measured by the same code.
//
// corvex answers a request and closes the connection, so nginx is measured
// twice: with a connection per request (the same exchange, the ratio that
// counts) and with keep-alive (for information). wrk counts every reply
// that ends with the connection as a read error; the bytes received per
// reply show that each reply was whole. Each corvex run also prints the CPU
// time corvex used per reply, which other work on a shared machine does not
// change the way it changes the rate.
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/installed_corvex.h"
#include "os/socket.h"

namespace {

struct Run {
  double rate = 0;  // replies a second
  double p50_ms = 0, p99_ms = 0;
  long requests = 0;
  double bytes_per_reply = 0;
  long errors = 0;  // connect, write, status and time-out errors
  double load = 0;
  double cpu_ms = 0;  // server CPU per reply, when counted
};

// User plus system CPU seconds a process (all its threads) has used so far.
double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t close = stat.rfind(')');
  if (close == std::string::npos) return 0;
  // After the command's ")": state is field 3, utime 14, stime 15.
  unsigned long utime = 0, stime = 0;
  std::sscanf(stat.c_str() + close + 1,
              " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime);
  return static_cast<double>(utime + stime) / sysconf(_SC_CLK_TCK);
}

bool OnPath(const char* program) {
  std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

// The wrk script: the request path (an absolute URL for the proxy) and the
// figures printed on one line at the end.
std::string Script(const std::string& path, bool close) {
  std::string script = "wrk.path = \"" + path + "\"\n";
  if (close) script += "wrk.headers[\"Connection\"] = \"close\"\n";
  script +=
      "done = function(summary, latency, requests)\n"
      "  io.write(string.format(\"RESULT %d %d %d %d %d %d %d %d %d\\n\", summary.requests,\n"
      "    summary.duration, summary.bytes, summary.errors.connect, summary.errors.write,\n"
      "    summary.errors.status, summary.errors.timeout, latency:percentile(50),\n"
      "    latency:percentile(99)))\n"
      "end\n";
  return script;
}

// `measured`: the server process whose CPU time per reply is counted (0:
// none). On a machine shared with other work the rate says little about the
// server; its CPU time per reply does not depend on how busy the machine is.
Run Wrk(const std::string& script, uint16_t port, int connections, int seconds,
        pid_t measured = 0) {
  Run run;
  run.load = bench::LoadAverage();
  double cpu_before = measured > 0 ? CpuSeconds(measured) : 0;
  int threads = connections > 1 ? 2 : 1;
  std::string command = "wrk -t" + std::to_string(threads) + " -c" + std::to_string(connections) +
                        " -d" + std::to_string(seconds) + "s --timeout 10s -s '" + script +
                        "' http://127.0.0.1:" + std::to_string(port) + "/ 2>&1";
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char line[1024];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    long requests, duration_us, bytes, connect, write, status, timeout, p50, p99;
    if (std::sscanf(line, "RESULT %ld %ld %ld %ld %ld %ld %ld %ld %ld", &requests, &duration_us,
                    &bytes, &connect, &write, &status, &timeout, &p50, &p99) == 9) {
      run.requests = requests;
      run.rate = duration_us > 0 ? requests / (duration_us / 1e6) : 0;
      run.bytes_per_reply = requests > 0 ? static_cast<double>(bytes) / requests : 0;
      run.errors = connect + write + status + timeout;
      run.p50_ms = p50 / 1000.0;
      run.p99_ms = p99 / 1000.0;
    }
  }
  pclose(pipe);
  if (measured > 0 && run.requests > 0)
    run.cpu_ms = (CpuSeconds(measured) - cpu_before) * 1000.0 / run.requests;
  return run;
}

void PrintRun(const char* what, const Run& run) {
  std::printf("  %-22s %9.1f %9.2f %9.2f %12.0f %7ld %6.1f", what, run.rate, run.p50_ms,
              run.p99_ms, run.bytes_per_reply, run.errors, run.load);
  if (run.cpu_ms > 0)
    std::printf("   %.3f ms CPU a reply (%.0f replies per CPU second)", run.cpu_ms,
                1000.0 / run.cpu_ms);
  std::printf("\n");
  std::fflush(stdout);
}

uint16_t FreePort() {
  os::Socket s = os::CreateStreamSocket();
  if (s == os::kNoSocket || !os::Bind(s, "127.0.0.1", 0)) return 0;
  uint16_t port = os::LocalPort(s);
  os::Close(s);
  return port;
}

// nginx serving root/page.html on a free port, in the foreground.
class Nginx {
 public:
  ~Nginx() { Stop(); }
  bool Start(const std::string& folder) {
    port_ = FreePort();
    std::string conf = folder + "/nginx.conf";
    WriteFile(conf, "worker_processes auto;\ndaemon off;\npid " + folder +
                        "/nginx.pid;\nerror_log " + folder +
                        "/error.log;\nevents { worker_connections 1024; }\n"
                        "http {\n  access_log off;\n  server {\n    listen 127.0.0.1:" +
                        std::to_string(port_) + ";\n    root " + folder + "/root;\n  }\n}\n");
    pid_ = fork();
    if (pid_ == 0) {
      execlp("nginx", "nginx", "-p", folder.c_str(), "-c", conf.c_str(), "-e",
             (folder + "/error.log").c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 100; ++i) {
      os::Socket s = os::ConnectLoopback(port_);
      if (s != os::kNoSocket) {
        os::Close(s);
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  uint16_t port() const { return port_; }

 private:
  pid_t pid_ = -1;
  uint16_t port_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  int seconds = 10, sustained = 300, documents = 100000;
  std::string page = "B";
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string option = argv[i];
    if (option == "--seconds") {
      seconds = std::atoi(argv[i + 1]);
    } else if (option == "--sustained") {
      sustained = std::atoi(argv[i + 1]);
    } else if (option == "--documents") {
      documents = std::atoi(argv[i + 1]);
    } else if (option == "--page") {
      page = argv[i + 1];
    } else {
      std::fprintf(stderr,
                   "usage: serve_load_bench [--seconds S] [--sustained S] "
                   "[--documents N] [--page B|N|Flat]\n");
      return 2;
    }
  }
  if ((argc - 1) % 2 != 0 || seconds < 1 || sustained < 0 || documents < 1) {
    std::fprintf(stderr,
                 "usage: serve_load_bench [--seconds S] [--sustained S] "
                 "[--documents N] [--page B|N|Flat]\n");
    return 2;
  }
  if (!OnPath("wrk") || !OnPath("nginx")) {
    std::fprintf(stderr, "serve_load_bench needs wrk and nginx (Debian packages wrk, nginx)\n");
    return 1;
  }

  std::string folder = bench::MakeTempFolder("corvane-serve-load");
  if (folder.empty()) return 1;
  // nginx's workers run as another user: they must read the page.
  chmod(folder.c_str(), 0755);
  std::string prog = folder + "/prog";
  if (!bench::InstallProgramFolder(prog) || !bench::MakeViewDatabase(prog, "big.ldf", documents)) {
    bench::RemoveFolder(folder);
    return 1;
  }
  std::string url = page == "Flat" ? "http://[kv]/Local:/big.ldf:/V/Flat/B/"
                                   : "http://[kv]/Local:/big.ldf:/V/Cats/" + page + "/";
  bench::Corvex corvex;
  if (!corvex.Start(prog)) {
    bench::RemoveFolder(folder);
    return 1;
  }
  std::string reply = bench::ProxyGet(corvex.port(), url);  // builds the view's index
  reply = bench::ProxyGet(corvex.port(), url);
  if (reply.find("</BODY></HTML>") == std::string::npos) {
    std::fprintf(stderr, "serve_load_bench: no view page for %s:\n%.300s\n", url.c_str(),
                 reply.c_str());
    bench::RemoveFolder(folder);
    return 1;
  }
  std::string nginx_folder = folder + "/nginx";
  mkdir(nginx_folder.c_str(), 0755);
  mkdir((nginx_folder + "/root").c_str(), 0755);
  WriteFile(nginx_folder + "/root/page.html", reply);
  chmod((nginx_folder + "/root/page.html").c_str(), 0644);
  Nginx nginx;
  if (!nginx.Start(nginx_folder)) {
    std::fprintf(stderr, "serve_load_bench: nginx did not start (see %s/error.log)\n",
                 nginx_folder.c_str());
    bench::RemoveFolder(folder);
    return 1;
  }
  std::string corvex_script = folder + "/corvex.lua", close_script = folder + "/close.lua",
              keep_script = folder + "/keep.lua";
  WriteFile(corvex_script, Script(url, true));
  WriteFile(close_script, Script("/page.html", true));
  WriteFile(keep_script, Script("/page.html", false));

  std::printf("serve_load: page %s (%zu bytes) of a view of %d documents, %d s a run\n",
              url.c_str(), reply.size(), documents, seconds);
  std::printf("  %-22s %9s %9s %9s %12s %7s %6s\n", "", "req/s", "p50 ms", "p99 ms", "bytes/reply",
              "errors", "load");
  Run runs[2][3];
  const int connections[2] = {1, 32};
  for (int k = 0; k < 2; ++k) {
    int c = connections[k];
    std::printf("c=%d\n", c);
    runs[k][0] = Wrk(corvex_script, corvex.port(), c, seconds, corvex.pid());
    PrintRun("corvex", runs[k][0]);
    runs[k][1] = Wrk(close_script, nginx.port(), c, seconds);
    PrintRun("nginx, close each", runs[k][1]);
    runs[k][2] = Wrk(keep_script, nginx.port(), c, seconds);
    PrintRun("nginx, keep-alive", runs[k][2]);
    std::printf("  ratio corvex / nginx: %.3f (close each), %.3f (keep-alive)\n",
                runs[k][0].rate / runs[k][1].rate, runs[k][0].rate / runs[k][2].rate);
  }
  nginx.Stop();

  std::vector<Run> slices;
  long rss_before = bench::ResidentKb(corvex.pid()), rss_after = rss_before;
  if (sustained > 0) {
    int slice = std::max(1, sustained / 5);
    std::printf("sustained, c=32, 5 slices of %d s (corvex resident %ld KiB at the start)\n", slice,
                rss_before);
    for (int i = 0; i < 5; ++i) {
      slices.push_back(Wrk(corvex_script, corvex.port(), 32, slice, corvex.pid()));
      rss_after = bench::ResidentKb(corvex.pid());
      char what[32];
      std::snprintf(what, sizeof what, "slice %d", i + 1);
      PrintRun(what, slices.back());
    }
    std::printf("  last / first slice: %.3f; corvex resident %ld KiB at the end\n",
                slices.back().rate / slices.front().rate, rss_after);
  }
  int status = corvex.Stop();
  bench::RemoveFolder(folder);

  std::printf("goals:\n");
  auto verdict = [](bool met) { return met ? "met" : "MISSED"; };
  std::printf("  c=1: >= 1500 req/s (%s), ratio to nginx >= 0.2 (%s)\n",
              verdict(runs[0][0].rate >= 1500), verdict(runs[0][0].rate / runs[0][1].rate >= 0.2));
  std::printf("  c=32: >= 1500 req/s (%s), p99 <= 30 ms (%s)\n", verdict(runs[1][0].rate >= 1500),
              verdict(runs[1][0].p99_ms <= 30));
  if (!slices.empty())
    std::printf("  sustained: last slice >= 95%% of the first (%s)\n",
                verdict(slices.back().rate >= 0.95 * slices.front().rate));
  std::printf("  corvex exit status %d\n", status);
  return 0;
}
