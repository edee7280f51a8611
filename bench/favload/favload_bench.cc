// favload_bench: imports a bookmark export of 10,000 bookmarks (100 folders
// of 100, two levels deep) into a fresh page-replica database, then loads
// the same documents, dumped, into another fresh database with 'ledra load'
// as the baseline of the store's own bulk path. Prints both wall times and
// their ratio. Goal: the import under 5 s.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "os/registry.h"

namespace fs = std::filesystem;

namespace {

// CPU seconds of the finished child processes so far.
double ChildCpu() {
  struct rusage usage;
  getrusage(RUSAGE_CHILDREN, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double last_cpu = 0;  // CPU seconds of the last command

double Seconds(const std::string& command) {
  double cpu = ChildCpu();
  auto start = std::chrono::steady_clock::now();
  int code = std::system(command.c_str());
  double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  last_cpu = ChildCpu() - cpu;
  if (code != 0) {
    std::fprintf(stderr, "favload_bench: failed: %s\n", command.c_str());
    std::exit(2);
  }
  return s;
}

}  // namespace

int main() {
  std::string bin = fs::canonical("/proc/self/exe").parent_path().parent_path().string() + "/bin";
  std::string design = std::string(CORVANE_SOURCE_DIR_TEXT) + "/resources/designs/kvwebrs.json";
  std::string work = fs::temp_directory_path().string() + "/corvane-favload-bench";
  fs::remove_all(work);
  fs::create_directories(work + "/data/Replicas.Web");
  std::ofstream(work + "/ledra.ini") << "Directory=data\n";
  setenv("CORVANE_LEDRA_INI", (work + "/ledra.ini").c_str(), 1);
  setenv("CORVANE_REGISTRY", (work + "/registry").c_str(), 1);
  {
    std::ofstream html(work + "/bookmarks.html");
    html << "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<TITLE>Bookmarks</TITLE>\n<H1>Bookmarks</H1>\n"
            "<DL><p>\n";
    for (int f = 0; f < 10; ++f) {
      html << "    <DT><H3 ADD_DATE=\"1733700000\">Folder " << f << "</H3>\n    <DL><p>\n";
      for (int g = 0; g < 10; ++g) {
        html << "        <DT><H3>Sub " << g << " &amp; more</H3>\n        <DL><p>\n";
        for (int b = 0; b < 100; ++b)
          html << "            <DT><A HREF=\"http://site" << f << "-" << g << ".example/page" << b
               << ".html?a=1&amp;b=2\" ADD_DATE=\"1733700000\">Page " << b << " of " << f << "/"
               << g << "</A>\n";
        html << "        </DL><p>\n";
      }
      html << "    </DL><p>\n";
    }
    html << "</DL><p>\n";
  }
  std::string reg = "cd '" + work + "' && ";
  std::string ledra = "'" + bin + "/ledra'";
  Seconds(reg + ledra + " create data/Replicas.Web/kvwebrs.ldf --design '" + design + "' >/dev/null");
  // The registry values, as the browser layer or the user sets them.
  os::RegistryKey key;
  if (!os::RegistrySucceeded(os::RegistryCreateKey(
          os::RegistryRoot::kCurrentUser, "Software\\Pellam\\Corvane\\Proxy Information", &key)) ||
      !os::RegistrySucceeded(os::RegistryWriteText(key, "Preferred Browser", "/usr/bin/firefox-esr")) ||
      !os::RegistrySucceeded(os::RegistryCreateKey(
          os::RegistryRoot::kCurrentUser, "Software\\Netscape\\Netscape Navigator\\Bookmark List",
          &key)) ||
      !os::RegistrySucceeded(os::RegistryWriteText(key, "File Location", work + "/bookmarks.html"))) {
    std::fprintf(stderr, "favload_bench: the registry cannot be written\n");
    return 2;
  }
  std::string favload = reg + "printf 'N\\nY\\n' | '" + bin + "/favload' > favload.out";
  double import_s = Seconds(favload);
  double import_cpu = last_cpu;
  std::ifstream out(work + "/favload.out");
  std::string text((std::istreambuf_iterator<char>(out)), std::istreambuf_iterator<char>());
  if (text.find("\n10000 Netscape Bookmarks successfully imported.") == std::string::npos) {
    std::fprintf(stderr, "favload_bench: the import did not file 10,000 bookmarks (%s/favload.out)\n",
                 work.c_str());
    return 2;
  }
  Seconds(reg + ledra + " dump data/Replicas.Web/kvwebrs.ldf > dump.json");
  Seconds(reg + ledra + " create data/baseline.ldf --design '" + design + "' >/dev/null");
  double load_s = Seconds(reg + ledra + " load data/baseline.ldf dump.json >/dev/null");
  double load_cpu = last_cpu;
  std::printf("favload, 10,000 bookmarks in 100 folders: %.2f s, CPU %.2f s (goal: under 5 s)\n",
              import_s, import_cpu);
  std::printf("baseline, ledra load of the same 10,000 documents: %.2f s, CPU %.2f s\n", load_s,
              load_cpu);
  std::printf("ratio favload / ledra load: %.2f\n", import_s / load_s);
  fs::remove_all(work);
  return import_s < 5.0 ? 0 : 1;
}
