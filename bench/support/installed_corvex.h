// A corvex to measure: a program folder made by the install step (the
// programs of this build, or of the build named by CORVANE_BIN_DIR, so that
// an older build can be measured by the same benchmark), a database of many
// documents with a categorised and a flat sorted view, and a corvex process
// serving it on a port the kernel picks.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace bench {

// A fresh folder below /tmp; empty on failure.
std::string MakeTempFolder(const char* stem);
// Removes the folder and everything in it.
void RemoveFolder(const std::string& folder);

// Runs the install step into `prog`. False (and a message on stderr) on
// failure.
bool InstallProgramFolder(const std::string& prog);

// Creates data/`name` in the program folder with `documents` documents and
// two views: "Cats" (categorised by Cat, one category per 100 documents,
// then Subject ascending, then Author) and "Flat" (Subject ascending, Cat,
// Author).
bool MakeViewDatabase(const std::string& prog, const std::string& name, int documents);

class Corvex {
 public:
  ~Corvex() { Stop(); }
  // Starts corvex in `prog`; false when it does not report its port.
  bool Start(const std::string& prog);
  // SIGTERM, then SIGKILL after 10 s. Returns the exit status, -1 when it
  // was killed or not running.
  int Stop();
  uint16_t port() const { return port_; }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  uint16_t port_ = 0;
};

// One GET through the proxy port: the whole reply, empty on failure.
std::string ProxyGet(uint16_t port, const std::string& url);

// Resident set of a process in KiB, -1 when unknown.
long ResidentKb(pid_t pid);
// The first figure of /proc/loadavg.
double LoadAverage();

}  // namespace bench
