// Benchmark: the heavier commands of the database browser, requested
// through the whole engine (a socket to corvex's listener, the request
// queue, worker 'l', the platform thread, the handler):
//
//   - the catalogue of 1,000 databases in 50 folders: the server list, the
//     root folder, each of the 50 folders, the catalogue view's first page
//     once all are listed, and the server list again (which empties the
//     catalogue of its 1,050 documents); against the platform's own walk
//     of the same folders;
//   - a paste of 10,000 documents from the clipboard into a view (and the
//     copy that fills the clipboard); against copying the same documents
//     directly in one batch;
//   - a full-text search of a view of 100,000 documents, the page of
//     results included; against the search call alone.
//
//   build/bench/catalogue_bench [folders] [per-folder] [paste] [search]
//
// Goals: each catalogue request under 200 ms, the paste at least 5,000
// documents a second, the search under 50 ms.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/event_string.h"
#include "engine/listener.h"
#include "engine/shared_context.h"
#include "engine/thread_handle.h"
#include "ledra/vxapi.h"
#include "os/socket.h"
#include "platform/operation_table.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

std::string Exchange(uint16_t port, const std::string& url) {
  os::Socket s = os::ConnectLoopback(port);
  if (s == os::kNoSocket) return {};
  std::string reply;
  if (os::SendAll(s, "GET " + url + " HTTP/1.0\r\n\r\n")) {
    (void)os::SetReceiveTimeout(s, 600000);
    char buffer[65536];
    long got;
    while ((got = os::Receive(s, buffer, sizeof buffer)) > 0) reply.append(buffer, got);
  }
  os::Close(s);
  return reply;
}

// One request, timed; stops the bench when the reply lacks `expected`.
double Timed(uint16_t port, const std::string& url, const std::string& expected) {
  auto start = Clock::now();
  std::string reply = Exchange(port, url);
  double ms = MsSince(start);
  if (reply.find(expected) == std::string::npos) {
    std::fprintf(stderr, "catalogue_bench: %s gave no \"%s\":\n%.400s\n", url.c_str(),
                 expected.c_str(), reply.c_str());
    std::exit(1);
  }
  return ms;
}

bool Create(const std::string& folder, const std::string& name, const std::string& design_path) {
  std::string command = std::string(CORVANE_BIN_DIR) + "/ledra create '" + folder + "/data/" +
                        name + "' --design '" + design_path + "' >/dev/null";
  return std::system(command.c_str()) == 0;
}

// A database with one view "All" sorted by its subject, and no documents.
bool CreateWithView(const std::string& folder, const std::string& name) {
  std::string design = folder + "/view.json";
  std::ofstream(design) << "{\"title\": \"Bench\", \"views\": [{\"name\": \"All\", \"columns\": ["
                           "{\"title\": \"Subject\", \"width\": 20, \"item\": \"Subject\", "
                           "\"sort\": \"ascending\"}]}]}";
  return Create(folder, name, design);
}

// Saves `count` documents in one batch; item(i) gives the text of "Text".
bool Fill(const std::string& path, int count, const std::function<std::string(int)>& text) {
  VXHandle db = 0;
  if (VXDatabaseOpen("Local", path.c_str(), 0, &db) != kVXOk) return false;
  int32_t one = 1, zero = 0;
  bool ok = VXDatabaseSetProperty(db, kDbPropBatch, &one) == kVXOk;
  for (int i = 0; ok && i < count; ++i) {
    VXHandle doc = 0;
    char subject[32];
    std::snprintf(subject, sizeof subject, "Subject %07d", i);
    ok = VXDocumentCreate(db, "", &doc) == kVXOk &&
         VXItemPut(doc, "Subject", 0, 0, kVXTypeText, subject, 0) == kVXOk &&
         VXItemPut(doc, "Text", 0, 0, kVXTypeText, text(i).c_str(), 0) == kVXOk &&
         VXDocumentSave(doc, 0) == kVXOk;
    VXDocumentClose(doc, 0);
  }
  ok = VXDatabaseSetProperty(db, kDbPropBatch, &zero) == kVXOk && ok;
  VXDatabaseClose(db, 0);
  return ok;
}

struct Baselines {
  double folder_walk_ms = 0;  // median of the platform's walk of one folder
  double copy_per_s = 0;      // direct copies a second, one batch
  double search_ms = 0;       // median of the search call alone
  double index_build_s = 0;
};

Baselines MeasureBaselines(int folders, int paste) {
  Baselines b;
  std::vector<double> walks;
  for (int f = 0; f < folders; ++f) {
    char folder[32];
    std::snprintf(folder, sizeof folder, "folder%02d", f);
    auto start = Clock::now();
    VXDatabaseEntry entry;
    for (uint32_t code = 1; VXDatabaseList("Local", folder, 0, 0xC000, code, &entry) == kVXOk;
         code = 4) {
    }
    walks.push_back(MsSince(start));
  }
  b.folder_walk_ms = Median(walks);

  VXHandle source = 0, target = 0, index = 0;
  if (VXDatabaseOpen("Local", "source.ldf", 0, &source) == kVXOk &&
      VXDatabaseOpen("Local", "baseline.ldf", 0, &target) == kVXOk &&
      VXIndexOpen(source, &index) == kVXOk && VXIndexSearch(index, "Select @All", 0, 0) == kVXOk) {
    std::vector<VXNoteId> ids;
    VXNoteId id = 0;
    while (VXIndexNavigate(index, 0, 0, &id, nullptr) == kVXOk) ids.push_back(id);
    int32_t one = 1, zero = 0;
    auto start = Clock::now();
    (void)VXDatabaseSetProperty(target, kDbPropBatch, &one);
    for (VXNoteId each : ids) (void)VXDocumentCopy(source, each, target, 0);
    (void)VXDatabaseSetProperty(target, kDbPropBatch, &zero);
    b.copy_per_s = paste / (MsSince(start) / 1000.0);
  }
  VXIndexClose(index);
  VXDatabaseClose(target, 0);
  VXDatabaseClose(source, 0);

  VXHandle search = 0;
  if (VXDatabaseOpen("Local", "search.ldf", 0, &search) == kVXOk) {
    auto start = Clock::now();
    (void)VXDatabaseCreateFTIndex(search, 200, 0, 0);
    b.index_build_s = MsSince(start) / 1000.0;
    VXHandle view = 0;
    std::vector<double> times;
    if (VXIndexOpen(search, &view) == kVXOk &&
        VXIndexOpenView(view, 0, VXViewLocateByName(search, "All"), 0) == kVXOk) {
      VXNoteId id = 0;
      (void)VXIndexNavigate(view, 0, 0, &id, nullptr);  // builds the view's rows
      for (int i = 0; i < 21; ++i) {
        auto t = Clock::now();
        (void)VXIndexFTSearch(view, "", kVXFTClear, 0, 0);
        (void)VXIndexFTSearch(view, "needle", 1, 1, 0);
        times.push_back(MsSince(t));
      }
    }
    VXIndexClose(view);
    b.search_ms = Median(times);
    VXDatabaseClose(search, 0);
  }
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  int folders = argc > 1 ? std::atoi(argv[1]) : 50;
  int per_folder = argc > 2 ? std::atoi(argv[2]) : 20;
  int paste = argc > 3 ? std::atoi(argv[3]) : 10000;
  int searched = argc > 4 ? std::atoi(argv[4]) : 100000;
  if (folders < 1 || per_folder < 1 || paste < 1 || searched < 1000) return 2;

  char pattern[] = "/tmp/corvane-catbench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  std::string folder = pattern;
  for (const char* sub : {"/wtemp", "/data", "/htmdata"}) fs::create_directories(folder + sub);
  fs::copy(std::string(CORVANE_SOURCE_DIR) + "/resources/htmdata", folder + "/htmdata",
           fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  std::ofstream(folder + "/ledra.ini") << "[Ledra]\nDirectory=data\n";
  setenv("CORVANE_LEDRA_INI", (folder + "/ledra.ini").c_str(), 1);
  {
    std::ofstream answers(folder + "/answers.txt");
    for (int i = 0; i < 50; ++i) answers << "Yes\n";
  }
  setenv("CORVANE_ANSWERS", (folder + "/answers.txt").c_str(), 1);

  auto made = Clock::now();
  std::string designs = std::string(CORVANE_SOURCE_DIR) + "/resources/designs/";
  bool ok = Create(folder, "kvconfig.ldf", designs + "kvconfig.json") &&
            Create(folder, "corvex.clp", designs + "corvex_clp.json");
  for (const char* name : {"source.ldf", "target.ldf", "baseline.ldf", "search.ldf"})
    ok = ok && CreateWithView(folder, name);
  ok = ok && _VXInit(0x45004, nullptr, nullptr, nullptr) == kVXOk;
  for (int f = 0; ok && f < folders; ++f) {
    char sub[32];
    std::snprintf(sub, sizeof sub, "folder%02d", f);
    fs::create_directories(folder + "/data/" + sub);
    for (int d = 0; ok && d < per_folder; ++d) {
      char path[64], title[64];
      std::snprintf(path, sizeof path, "%s/db%03d.ldf", sub, d);
      std::snprintf(title, sizeof title, "Database %d of %s", d, sub);
      ok = VXDatabaseCreate("Local", path, title) == kVXOk;
    }
  }
  ok = ok && Fill("source.ldf", paste, [](int i) { return "copy " + std::to_string(i); });
  // One document in a thousand holds the word searched for.
  ok = ok && Fill("search.ldf", searched, [](int i) {
         return std::string(i % 1000 == 7 ? "the needle in " : "plain words of ") + "document " +
                std::to_string(i);
       });
  if (!ok) {
    std::fprintf(stderr, "catalogue_bench: could not make the databases\n");
    return 1;
  }
  Baselines baselines = MeasureBaselines(folders, paste);
  VXTerm(0);
  double make_s = MsSince(made) / 1000.0;
  if (chdir(folder.c_str()) != 0) return 1;

  auto shared = std::make_unique<engine::SharedContext>();
  shared->programDir = folder;
  shared->programDirUrl = folder;
  auto ui = engine::MakeThreadHandle("", nullptr);
  ui->Attach(shared.get());
  platform::InstallAccessLayer();
  if (!engine::StartWorker('f', 1, shared.get(), "")) return 1;
  engine::SetUpListener(*ui);
  if (shared->stop != 0 || !engine::StartWorker('a', 1, shared.get(), "")) return 1;
  uint16_t port = shared->localPort;

  // The catalogue.
  const std::string redirect = "302 Temporarily Moved";
  double cold = Timed(port, "http://[kv]/", redirect);  // opens the catalogue's view
  std::vector<double> servers;
  for (int i = 0; i < 9; ++i) servers.push_back(Timed(port, "http://[kv]/", redirect));
  double first_servers = Median(servers);
  double root = Timed(port, "http://[kv]/Local:/", redirect);
  std::vector<double> listings;
  for (int f = 0; f < folders; ++f) {
    char url[64];
    std::snprintf(url, sizeof url, "http://[kv]/Local:/folder%02d/:/", f);
    listings.push_back(Timed(port, url, redirect));
  }
  std::string view = "http://[kv]/Local:/kvconfig.ldf:/V/Servers and Databases/";
  double page = Timed(port, view + "B/", "</BODY></HTML>");
  double last_servers = Timed(port, "http://[kv]/", redirect);
  double worst_listing = *std::max_element(listings.begin(), listings.end());

  // The paste.
  std::string source = "http://[kv]/Local:/source.ldf:/V/All/";
  std::string target = "http://[kv]/Local:/target.ldf:/V/All/";
  (void)Timed(port, source + "R/", "</BODY></HTML>");
  (void)Timed(port, source + "SA/", redirect);
  double copy_ms = Timed(port, source + "vC/", "</BODY></HTML>");
  (void)Timed(port, target + "R/", "</BODY></HTML>");
  double paste_ms = Timed(port, target + "vP/", "</BODY></HTML>");
  (void)Timed(port, target + "E/", "of " + std::to_string(paste));

  // The search.
  std::string searching = "http://[kv]/Local:/search.ldf:/V/All/";
  std::string query = searching + "FS/?SearchText=needle&S=Search";
  (void)Timed(port, query, "% <IMG");  // opens the database, builds the view's rows
  std::vector<double> searches;
  for (int i = 0; i < 21; ++i) searches.push_back(Timed(port, query, "% <IMG"));
  double search_ms = Median(searches);

  engine::SetStop(*shared, engine::kStopRequested);
  bool ended = shared->wake.WaitFor(10000, [&] { return shared->liveThreads == 0; });
  ui.reset();
  if (ended)
    shared.reset();
  else
    (void)shared.release();
  std::error_code ec;
  fs::remove_all(folder, ec);

  double load[3] = {0, 0, 0};
  (void)getloadavg(load, 3);
  std::printf("catalogue_bench (databases made in %.1f s; load average %.1f %.1f %.1f)\n", make_s,
              load[0], load[1], load[2]);
  std::printf("  catalogue of %d databases in %d folders:\n", folders * per_folder, folders);
  std::printf("    server list, first request          %7.2f ms (opens the view)\n", cold);
  std::printf("    server list, empty catalogue       %7.2f ms (median of 9)\n", first_servers);
  std::printf("    root folder (%d entries)           %7.2f ms\n", folders, root);
  std::printf(
      "    one folder (%d databases): median %7.2f ms, worst %.2f ms; platform's walk "
      "%.2f ms (ratio %.1f)\n",
      per_folder, Median(listings), worst_listing, baselines.folder_walk_ms,
      Median(listings) / baselines.folder_walk_ms);
  std::printf("    catalogue view, first page         %7.2f ms\n", page);
  std::printf("    server list, emptying %d documents %7.2f ms\n",
              folders * per_folder + folders + 1, last_servers);
  double worst = std::max({first_servers, root, worst_listing, page, last_servers});
  std::printf("    goal: every request under 200 ms: %s (worst %.2f ms)\n",
              worst < 200 ? "met" : "NOT met", worst);
  double paste_rate = paste / (paste_ms / 1000.0);
  std::printf(
      "  paste of %d documents: %.0f ms, %.0f documents/s (copy to the clipboard %.0f ms); "
      "direct copy %.0f documents/s (ratio %.2f)\n",
      paste, paste_ms, paste_rate, copy_ms, baselines.copy_per_s,
      baselines.copy_per_s / paste_rate);
  std::printf("    goal: at least 5000 documents/s: %s\n", paste_rate >= 5000 ? "met" : "NOT met");
  std::printf(
      "  full-text search of %d documents (%d found, index built in %.1f s): median "
      "%.2f ms with the page; the search call alone %.2f ms (ratio %.1f)\n",
      searched, searched / 1000, baselines.index_build_s, search_ms, baselines.search_ms,
      search_ms / baselines.search_ms);
  std::printf("    goal: under 50 ms: %s\n", search_ms < 50 ? "met" : "NOT met");
  return 0;
}
