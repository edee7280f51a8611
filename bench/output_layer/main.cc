// Benchmark: what the output layer adds to a reply's time. Two pages are
// requested through the whole engine (socket in, request queue, worker,
// reply file, reply out), by turns with the layer off (classic URLs) and
// on, and the medians compared:
//   - a view page of about 200 KB (a categorised view, lines per page
//     raised until the page is that large);
//   - a stored page of 2 MB (an HTML page with a link every 300 bytes or
//     so, about 7,000 links, served by a stand-in of the stored-page operation that copies
//     the stored response into the reply file).
// Also the layer's own work on each reply text, timed alone. Times are
// given twice: on the clock, and as the processor time the whole process
// (client, engine, platform thread) spent on the request, which a machine
// shared with other work disturbs much less.
//
//   build/bench/output_layer_bench [requests]
//
// Goal: the layer adds under 5% to the page's reply time.
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/event_string.h"
#include "engine/listener.h"
#include "engine/output_layer.h"
#include "engine/shared_context.h"
#include "engine/thread_handle.h"
#include "engine/url_mapping.h"
#include "os/socket.h"
#include "platform/database_operation.h"
#include "platform/operation_table.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double CpuMs(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

std::string stored_response;  // what the stand-in of operation 21 serves

std::string Exchange(uint16_t port, const std::string& url) {
  os::Socket s = os::ConnectLoopback(port);
  if (s == os::kNoSocket) return {};
  std::string reply;
  if (os::SendAll(s, "GET " + url + " HTTP/1.1\r\nHost: x\r\n\r\n")) {
    char buffer[65536];
    long got;
    while ((got = os::Receive(s, buffer, sizeof buffer)) > 0) reply.append(buffer, got);
  }
  os::Close(s);
  return reply;
}

int32_t ServeStored(engine::ThreadHandle&, const engine::OperationArgs& args) {
  const char* path = reinterpret_cast<const char*>(args[0]);
  if (std::FILE* file = std::fopen(path, "wb")) {
    std::fwrite(stored_response.data(), 1, stored_response.size(), file);
    std::fclose(file);
  }
  return 1;
}

std::string StoredPage(size_t size) {
  std::string body = "<html><head><title>Stored</title></head><body>\n";
  for (int n = 0; body.size() < size; ++n) {
    body += "<p>Paragraph " + std::to_string(n) +
            " with some ordinary text in it, as a page of the web has it: sentences that run "
            "on for a while, with words, numbers such as 1997 and 3.14, and punctuation; then "
            "a <a href=\"http://[wr;$WCTX_CorvjobsicaContext]www.example.com/page" +
            std::to_string(n % 500) + ".html\">link</a>, and <b>more</b> text.</p>\n";
  }
  body += "</body></html>\n";
  return "HTTP/1.1 200 OK\r\nServer: x\r\nContent-Type: text/html\r\nContent-length: " +
         std::to_string(body.size() + 9000) + "\r\n\r\n" + body;
}

bool MakeDatabase(const std::string& folder, int documents) {
  std::string design = folder + "/bench.json";
  {
    std::ofstream out(design);
    out << "{\"title\": \"Bench\", \"views\": [{\"name\": \"Cats\", \"selection\": \"SELECT "
           "@All\", "
        << "\"columns\": [{\"title\": \"Category\", \"width\": 10, \"item\": \"Cat\", "
        << "\"categorized\": true}, {\"title\": \"Subject\", \"width\": 30, \"item\": "
        << "\"Subject\", \"sort\": \"ascending\"}, {\"title\": \"Author\", \"width\": 12, "
        << "\"item\": \"Author\"}]}], \"documents\": [";
    for (int i = 0; i < documents; ++i) {
      out << (i == 0 ? "" : ",\n") << "{\"items\": {\"Cat\": \"Category " << i / 50
          << "\", \"Subject\": \"Subject " << i << "\", \"Author\": \"Author " << i % 17 << "\"}}";
    }
    out << "]}\n";
  }
  std::string command = std::string(CORVANE_BIN_DIR) + "/ledra create '" + folder +
                        "/data/bench.ldf' --design '" + design + "' >/dev/null";
  bool ok = std::system(command.c_str()) == 0;
  fs::remove(design);
  return ok;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

struct Result {
  double off_ms = 0, on_ms = 0;    // on the clock
  double off_cpu = 0, on_cpu = 0;  // processor time of the process
  double alone_ms = 0;             // the layer's own work, processor time
  size_t bytes = 0;
};

// The page requested `count` times each way, by turns.
Result Measure(uint16_t port, const std::string& classic_url, const std::string& browser_url,
               int count, const std::string& program_dir) {
  Result result;
  std::vector<double> off, on, off_cpu, on_cpu;
  std::string classic_reply;
  for (int i = 0; i < count * 2 + 2; ++i) {
    bool layer = i % 2 == 1;
    engine::SetClassicUrls(!layer);
    auto start = Clock::now();
    double cpu_start = CpuMs(CLOCK_PROCESS_CPUTIME_ID);
    std::string reply = Exchange(port, layer ? browser_url : classic_url);
    double cpu = CpuMs(CLOCK_PROCESS_CPUTIME_ID) - cpu_start;
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (reply.size() < 1000) {
      std::fprintf(stderr, "output_layer_bench: no page for %s:\n%.300s\n",
                   (layer ? browser_url : classic_url).c_str(), reply.c_str());
      std::exit(1);
    }
    if (i < 2) continue;  // the first of each way opens and warms up
    (layer ? on : off).push_back(ms);
    (layer ? on_cpu : off_cpu).push_back(cpu);
    if (!layer) classic_reply = reply;
    result.bytes = std::max(result.bytes, reply.size());
  }
  engine::ReplyRequest request;
  request.eventType = classic_url.find("[kv]") != std::string::npos ? 1 : 2;
  std::vector<double> alone;
  for (int i = 0; i < count; ++i) {
    double start = CpuMs(CLOCK_THREAD_CPUTIME_ID);
    std::string finished = engine::FinishReply(classic_reply, request, program_dir);
    alone.push_back(CpuMs(CLOCK_THREAD_CPUTIME_ID) - start);
    if (finished.size() < classic_reply.size() / 2) std::exit(1);
  }
  result.off_ms = Median(off);
  result.on_ms = Median(on);
  result.off_cpu = Median(off_cpu);
  result.on_cpu = Median(on_cpu);
  result.alone_ms = Median(alone);
  return result;
}

void Print(const char* name, const Result& r) {
  std::printf("  %s, %zu bytes:\n", name, r.bytes);
  std::printf("    on the clock:   layer off %7.2f ms, on %7.2f ms: %+.1f%%\n", r.off_ms, r.on_ms,
              100.0 * (r.on_ms - r.off_ms) / r.off_ms);
  std::printf("    processor time: layer off %7.2f ms, on %7.2f ms: %+.1f%%\n", r.off_cpu, r.on_cpu,
              100.0 * (r.on_cpu - r.off_cpu) / r.off_cpu);
  std::printf("    the layer's own work (processor time) %.2f ms: %.1f%% of the reply's\n",
              r.alone_ms, 100.0 * r.alone_ms / r.off_cpu);
}

}  // namespace

int main(int argc, char** argv) {
  int count = argc > 1 ? std::max(3, std::atoi(argv[1])) : 40;
  char pattern[] = "/tmp/corvane-layerbench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  std::string folder = pattern;
  fs::create_directories(folder + "/wtemp");
  fs::create_directories(folder + "/data");
  fs::create_directories(folder + "/htmdata");
  std::ofstream(folder + "/ledra.ini") << "[Ledra]\nDirectory=data\n";
  setenv("CORVANE_LEDRA_INI", (folder + "/ledra.ini").c_str(), 1);
  if (!MakeDatabase(folder, 600)) {
    std::fprintf(stderr, "output_layer_bench: could not make the database\n");
    return 1;
  }
  if (chdir(folder.c_str()) != 0) return 1;
  stored_response = StoredPage(2 << 20);

  auto shared = std::make_unique<engine::SharedContext>();
  shared->programDir = folder;
  shared->programDirUrl = folder;
  shared->linesInView = 200;  // about 200 KB of rows
  auto ui = engine::MakeThreadHandle("", nullptr);
  ui->Attach(shared.get());
  platform::InstallAccessLayer();
  platform::SetDatabaseOperation(platform::kServeStoredPage, ServeStored);
  if (!engine::StartWorker('f', 1, shared.get(), "")) return 1;
  engine::SetUpListener(*ui);
  if (shared->stop != 0 || !engine::StartWorker('a', 1, shared.get(), "")) return 1;
  uint16_t port = shared->localPort;

  Result view = Measure(port, "http://[kv]/Local:/bench.ldf:/V/Cats/r/",
                        "http://corvane.asledraclient/Local:/bench.ldf:/V/Cats/r/", count, folder);
  Result stored = Measure(port, "http://[wr;$WCTX_CorvjobsicaContext]www.example.com/index.html",
                          "http://www.example.com.-w.corvane.storedpage/index.html", count, folder);

  engine::SetStop(*shared, engine::kStopRequested);
  bool ended = shared->wake.WaitFor(10000, [&] { return shared->liveThreads == 0; });
  ui.reset();
  if (ended)
    shared.reset();
  else
    (void)shared.release();
  std::error_code ec;
  fs::remove_all(folder, ec);

  std::printf("output_layer_bench: medians of %d requests each way, by turns\n", count);
  Print("view page", view);
  Print("stored page", stored);
  double worst = std::max((view.on_cpu - view.off_cpu) / view.off_cpu,
                          (stored.on_cpu - stored.off_cpu) / stored.off_cpu);
  std::printf(
      "  goal: the layer adds under 5%% to the reply's processor time: %s (worst %+.1f%%)\n",
      worst < 0.05 ? "met" : "NOT met", 100.0 * worst);
  return 0;
}
