// Crawl benchmark: corvjobs against wget --mirror (and HTTrack when
// installed) on the same site in the same run. The site is the PostgreSQL
// HTML manual (Debian's postgresql-doc-15) served by nginx on loopback.
//
//   build/bench/crawl_bench [SITE_FOLDER]
//
// Needs nginx, wget and postgresql-doc-15 (apt-get install nginx wget
// postgresql-doc-15), and a build with corvjobs, ledra and the install
// step. Prints for each tool files/s, total time and peak RSS, the stored
// URLs compared with wget's files, then, after ten files of the site are
// given a later modification time, the 200/304 split of each tool's second
// run as nginx logged it.
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/page_replica_format.h"
#include "jobs/documents.h"
#include "ledra/vxapi.h"

namespace fs = std::filesystem;

namespace {

struct Run {
  double seconds = 0;
  double cpu_seconds = 0;
  long peak_rss_kb = 0;
  int exit_code = -1;
};

// Runs a program in `folder`, its output to `log`; time and peak RSS.
Run Measure(const std::vector<std::string>& argv, const std::string& folder,
            const std::string& log) {
  Run run;
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(folder.c_str()) != 0) _exit(127);
    int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    dup2(out, 1);
    dup2(out, 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.peak_rss_kb = usage.ru_maxrss;
  run.cpu_seconds = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                    (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

int FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  int port = ntohs(address.sin_port);
  close(fd);
  return port;
}

// Status counts of the nginx access log lines written since `from`.
std::map<int, int> Statuses(const std::string& log, size_t from, size_t* end) {
  // nginx logs a request after its answer went out: the client may have
  // ended before the line of its last request is written.
  usleep(500000);
  std::ifstream in(log);
  std::string line;
  std::map<int, int> counts;
  size_t index = 0;
  while (std::getline(in, line)) {
    if (index++ < from) continue;
    std::istringstream words(line);
    std::string method, uri;
    int status = 0;
    words >> method >> uri >> status;
    // A HEAD request counts apart from the GETs.
    ++counts[method == "HEAD" ? -status : status];
  }
  *end = index;
  return counts;
}

std::string Split(const std::map<int, int>& counts) {
  std::string text;
  for (auto [status, count] : counts)
    text += std::to_string(count) + " x " +
            (status < 0 ? "HEAD " + std::to_string(-status) : std::to_string(status)) + "  ";
  return text;
}

// The paths (below the site) of the elements stored with content.
std::set<std::string> StoredPaths(const std::string& host) {
  std::set<std::string> paths;
  VXHandle db = 0;
  if (VXDatabaseOpen("Local", common::kPageReplicaPath, 0, &db) != kVXOk) return paths;
  std::vector<VXNoteId> ids;
  (void)jobs::SelectDocuments(db, "Select ReturnCode=\"200\"", &ids);
  for (VXNoteId id : ids) {
    VXHandle doc = 0;
    if (VXDocumentOpen(db, id, kVXDocOpenReadOnly, &doc) != kVXOk) continue;
    std::string key = jobs::TextItem(doc, common::kItemKey);
    VXDocumentClose(doc, kVXCloseDiscard);
    if (key.compare(0, host.size(), host) == 0) paths.insert(key.substr(host.size()));
  }
  VXDatabaseClose(db, 0);
  return paths;
}

std::set<std::string> MirroredPaths(const std::string& root) {
  std::set<std::string> paths;
  if (!fs::exists(root)) return paths;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file()) paths.insert(entry.path().string().substr(root.size()));
  return paths;
}

void Report(const char* tool, const Run& run, size_t files) {
  std::printf(
      "  %-9s %5zu files  %7.2f s  %8.1f files/s  CPU %6.2f s  peak RSS %7.1f MB  (exit %d)\n",
      tool, files, run.seconds, files / run.seconds, run.cpu_seconds, run.peak_rss_kb / 1024.0,
      run.exit_code);
}

}  // namespace

int main(int argc, char** argv) {
  std::string site = argc > 1 ? argv[1] : "/usr/share/doc/postgresql-doc-15/html";
  if (!fs::exists(site + "/index.html")) {
    std::fprintf(stderr, "crawl_bench: %s/index.html missing (apt-get install postgresql-doc-15)\n",
                 site.c_str());
    return 2;
  }
  std::string bin = fs::canonical("/proc/self/exe").parent_path().parent_path().string() + "/bin";
  std::string source = CORVANE_SOURCE_DIR_TEXT;
  std::string work = fs::temp_directory_path().string() + "/corvane-crawl-bench";
  fs::remove_all(work);
  fs::create_directories(work + "/site");
  // A copy of the site, so that ten files can be touched.
  fs::copy(site, work + "/site", fs::copy_options::recursive);
  std::string prog = work + "/prog";
  setenv("CORVANE_BIN_DIR", bin.c_str(), 1);
  if (Measure({source + "/scripts/install", prog}, work, work + "/install.log").exit_code != 0) {
    std::fprintf(stderr, "crawl_bench: install step failed (see %s/install.log)\n", work.c_str());
    return 2;
  }

  int port = FreePort();
  std::string host = "127.0.0.1:" + std::to_string(port);
  std::ofstream(work + "/nginx.conf")
      << "worker_processes 1;\ndaemon off;\npid " << work << "/nginx.pid;\nerror_log " << work
      << "/nginx-error.log;\nevents { worker_connections 1024; }\nhttp {\n"
      << "  include /etc/nginx/mime.types;\n  log_format bench '$request_method $uri $status';\n"
      << "  access_log " << work << "/access.log bench;\n  server { listen " << host << "; root "
      << work << "/site; }\n}\n";
  pid_t nginx = fork();
  if (nginx == 0) {
    execlp("nginx", "nginx", "-p", work.c_str(), "-c", (work + "/nginx.conf").c_str(), nullptr);
    _exit(127);
  }
  usleep(500000);

  if (chdir(prog.c_str()) != 0) return 2;
  setenv("CORVANE_LEDRA_INI", (prog + "/ledra.ini").c_str(), 1);
  if (_VXInit(0x45004, nullptr, nullptr, nullptr) != kVXOk) return 2;
  VXHandle config = 0;
  VXHandle doc = 0;
  if (VXDatabaseOpen("Local", "kvconfig.ldf", 0, &config) != kVXOk ||
      VXDocumentCreate(config, "Schedule", &doc) != kVXOk)
    return 2;
  std::string start = "http://" + host + "/index.html";
  for (auto [name, value] :
       std::vector<std::pair<const char*, std::string>>{{"StartingURL", start},
                                                        {"CutOffLevels", "200"},
                                                        {"Fidelity", "H"},
                                                        {"QuietMode", "Y"},
                                                        {"BoundingURLs", "http://" + host + "/"},
                                                        {"Title", "PostgreSQL manual"}})
    (void)jobs::PutTextItem(doc, name, value);
  VXNoteId id = 0;
  if (VXDocumentSave(doc, 0) != kVXOk ||
      VXDocumentGetProperty(doc, kDocPropNoteId, &id, sizeof id) != kVXOk)
    return 2;
  VXDocumentClose(doc, 0);
  setenv("CORVANE_JOB_WAIT_MS", "0", 1);

  std::FILE* load = std::fopen("/proc/loadavg", "r");
  char load_text[128] = {};
  if (load != nullptr) {
    (void)std::fgets(load_text, sizeof load_text, load);
    std::fclose(load);
  }
  std::printf("crawl_bench: %s served by nginx on %s; machine load %s", site.c_str(), host.c_str(),
              load_text);
  size_t mark = 0;
  std::string log = work + "/access.log";
  std::printf("first crawl\n");
  Run ours = Measure({prog + "/corvjobs", std::to_string(id)}, prog, work + "/corvjobs.out");
  std::map<int, int> our_first = Statuses(log, 0, &mark);
  std::set<std::string> stored = StoredPaths(host);
  Run theirs =
      Measure({"wget", "--mirror", "-q", "-P", work + "/wget", start}, work, work + "/wget.out");
  std::map<int, int> wget_first = Statuses(log, mark, &mark);
  std::set<std::string> mirrored = MirroredPaths(work + "/wget/" + host);
  Report("corvjobs", ours, stored.size());
  Report("wget", theirs, mirrored.size());
  std::printf("  ratio: corvjobs files/s / wget files/s = %.2f\n",
              (stored.size() / ours.seconds) / (mirrored.size() / theirs.seconds));
  std::printf("  answers: corvjobs %s| wget %s\n", Split(our_first).c_str(),
              Split(wget_first).c_str());
  std::vector<std::string> only_ours, only_wget;
  for (const std::string& p : stored)
    if (!mirrored.count(p)) only_ours.push_back(p);
  for (const std::string& p : mirrored)
    if (!stored.count(p)) only_wget.push_back(p);
  std::printf("  stored by corvjobs only: %zu, mirrored by wget only: %zu\n", only_ours.size(),
              only_wget.size());
  for (size_t i = 0; i < only_ours.size() && i < 10; ++i)
    std::printf("    corvjobs only: %s\n", only_ours[i].c_str());
  for (size_t i = 0; i < only_wget.size() && i < 10; ++i)
    std::printf("    wget only: %s\n", only_wget[i].c_str());

  // Ten files change.
  int touched = 0;
  auto later = fs::file_time_type::clock::now() + std::chrono::hours(1);
  for (const std::string& p : stored) {
    if (touched == 10 || p.find(".html") == std::string::npos || p == "/index.html") continue;
    fs::last_write_time(work + "/site" + p, later);
    ++touched;
  }
  // A new run start for the schedule's elements: the job runs again.
  std::printf("refresh after %d files changed\n", touched);
  Run ours2 = Measure({prog + "/corvjobs", std::to_string(id)}, prog, work + "/corvjobs.out");
  std::map<int, int> our_second = Statuses(log, mark, &mark);
  Run theirs2 =
      Measure({"wget", "--mirror", "-q", "-P", work + "/wget", start}, work, work + "/wget.out");
  std::map<int, int> wget_second = Statuses(log, mark, &mark);
  Report("corvjobs", ours2, stored.size());
  Report("wget", theirs2, mirrored.size());
  // wget's own refresh stops at the unchanged start page (its 304 is not
  // parsed for links); asked without If-Modified-Since it checks every file
  // with a HEAD request first.
  Run theirs3 =
      Measure({"wget", "--mirror", "--no-if-modified-since", "-q", "-P", work + "/wget", start},
              work, work + "/wget.out");
  std::map<int, int> wget_third = Statuses(log, mark, &mark);
  Report("wget HEAD", theirs3, mirrored.size());
  std::printf("  answers of wget --no-if-modified-since: %s\n", Split(wget_third).c_str());
  std::printf("  answers: corvjobs %s| wget %s\n", Split(our_second).c_str(),
              Split(wget_second).c_str());
  std::printf("  ideal: %d x 200, %zu x 304\n", touched, stored.size() - touched);

  VXDatabaseClose(config, 0);
  VXTerm(0);
  kill(nginx, SIGQUIT);
  waitpid(nginx, nullptr, 0);
  return 0;
}
