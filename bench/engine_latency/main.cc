// Benchmark: latency of [kv] requests through a running corvex, one after
// another, on a program folder made by the install step, for a page of a
// view that the shipped sample database has; against a baseline of the same
// exchange with a bare loopback server in this process (connect, send, read
// to the end, close).
//
//   build/bench/engine_latency_bench [requests]
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/installed_corvex.h"
#include "os/socket.h"

namespace {

constexpr char kRequest[] =
    "GET http://[kv]/Local:/samples/discuss.ldf:/V/All%20Documents/B/ HTTP/1.0\r\n"
    "Host: [kv]\r\n\r\n";

// One exchange; the reply, or empty on failure.
std::string Exchange(uint16_t port) {
  os::Socket s = os::ConnectLoopback(port);
  if (s == os::kNoSocket) return {};
  std::string reply;
  if (os::SendAll(s, kRequest)) {
    char buffer[4096];
    long got;
    while ((got = os::Receive(s, buffer, sizeof buffer)) > 0) reply.append(buffer, got);
  }
  os::Close(s);
  return reply;
}

struct Figures {
  double median_ms;
  double p99_ms;
};

Figures Measure(uint16_t port, int count, std::string* first_reply) {
  std::vector<double> ms;
  for (int i = 0; i < count; ++i) {
    auto start = std::chrono::steady_clock::now();
    std::string reply = Exchange(port);
    auto end = std::chrono::steady_clock::now();
    if (reply.empty()) {
      std::fprintf(stderr, "request %d got no reply\n", i);
      std::exit(1);
    }
    if (i == 0) *first_reply = reply;
    ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
  }
  std::sort(ms.begin(), ms.end());
  return {ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 99 / 100)]};
}

// The baseline server: reads to the end of the headers, answers, closes.
void BaselineServer(os::Socket listening, std::atomic<bool>* stop) {
  while (!*stop) {
    if (os::WaitReadable(listening, 100) != 1) continue;
    os::Socket s = os::Accept(listening);
    std::string text;
    char buffer[4096];
    long got;
    while (text.find("\r\n\r\n") == std::string::npos &&
           (got = os::Receive(s, buffer, sizeof buffer)) > 0)
      text.append(buffer, got);
    (void)os::SendAll(s, "<html><DT><H2>Ledra Error:</H2><DT><DT>baseline<DT>");
    os::ShutdownAndClose(s);
  }
}

}  // namespace

int main(int argc, char** argv) {
  int count = argc > 1 ? std::atoi(argv[1]) : 1000;
  if (count < 1) count = 1000;

  std::string folder = bench::MakeTempFolder("corvane-bench");
  if (folder.empty()) return 1;
  std::string prog = folder + "/prog";
  bench::Corvex corvex;
  if (!bench::InstallProgramFolder(prog) || !corvex.Start(prog)) {
    bench::RemoveFolder(folder);
    return 1;
  }
  uint16_t port = corvex.port();
  std::string first = Exchange(port);  // opens the database and the view
  if (first.find("</BODY></HTML>") == std::string::npos) {
    std::fprintf(stderr, "engine_latency_bench: no view page:\n%.300s\n", first.c_str());
    bench::RemoveFolder(folder);
    return 1;
  }

  os::Socket listening = os::CreateStreamSocket();
  if (!os::SetReuseAddress(listening) || !os::Bind(listening, "127.0.0.1", 0) ||
      !os::Listen(listening, 40))
    return 1;
  std::atomic<bool> stop{false};
  std::thread baseline_server(BaselineServer, listening, &stop);

  double load = bench::LoadAverage();
  std::string reply, baseline_reply;
  Figures engine = Measure(port, count, &reply);
  Figures baseline = Measure(os::LocalPort(listening), count, &baseline_reply);
  stop = true;
  baseline_server.join();
  os::Close(listening);
  int status = corvex.Stop();
  bench::RemoveFolder(folder);

  std::printf("engine_latency: %d sequential [kv] requests through corvex (load %.1f)\n", count,
              load);
  std::printf("  reply: %zu bytes, %.40s...\n", reply.size(), reply.c_str());
  std::printf("  corvex    median %.3f ms  p99 %.3f ms\n", engine.median_ms, engine.p99_ms);
  std::printf("  baseline  median %.3f ms  p99 %.3f ms  (bare loopback exchange)\n",
              baseline.median_ms, baseline.p99_ms);
  std::printf("  ratio     median %.1fx  p99 %.1fx\n", engine.median_ms / baseline.median_ms,
              engine.p99_ms / baseline.p99_ms);
  std::printf("  corvex exit status %d\n", status);
  return 0;
}
