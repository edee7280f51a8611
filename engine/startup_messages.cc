// Start-up messages.
#include "engine/startup_messages.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "common/text.h"
#include "engine/url_mapping.h"

namespace engine {

namespace {

constexpr char kNotInFolder[] =
    "corvex: %s is not a program folder (it has no corvex). Start corvex in the folder "
    "scripts/install made%s.\n";
constexpr char kExpectedFolder[] = ", here %s:\n  cd '%s' && ./corvex";
constexpr char kRunning[] = "corvex is already running in %s%s.\n";
constexpr char kRunningPort[] = " on port %d";
constexpr char kHandedOver[] = "The URL was handed over to it (kvlaunch.dat): %s\n";
constexpr char kOpenIt[] = "Set your browser's HTTP proxy to 127.0.0.1 port %d and open %s\n";
constexpr char kPortInUse[] =
    "corvex: port %u on %s is in use by another program.\n"
    "Set CORVANE_LOCALPORT to another port (0: any free port), or change LocalPort in the "
    "Configuration document of data/kvconfig.ldf.\n";
constexpr char kCannotListen[] =
    "corvex: could not listen on port %u of %s.\n"
    "Check CORVANE_LISTEN_ADDRESS, or set CORVANE_LOCALPORT to another port (0: any free port).\n";
constexpr char kBanner[] =
    "corvex listening on %s port %u\n"
    "Set your browser's HTTP proxy to %s port %u, then open %s\n"
    "  for example: chromium --proxy-server=%s:%u --proxy-bypass-list='<-loopback>' %s\n";

std::string StartUrl(bool classic_urls) {
  return classic_urls ? "http://[kv]/" : kDatabaseRootUrl;
}

}  // namespace

std::string ExpectedProgramFolder() {
  std::error_code error;
  std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return "";
  std::filesystem::path folder = program.parent_path();
  if (!std::filesystem::is_directory(folder / "htmdata", error)) return "";
  return folder.string();
}

std::string NotInProgramFolderText(const std::string& folder, const std::string& expected) {
  std::string where;
  if (!expected.empty() && expected != folder)
    where = common::Format(kExpectedFolder, expected.c_str(), expected.c_str());
  return common::Format(kNotInFolder, folder.c_str(), where.c_str());
}

std::string AlreadyRunningText(const std::string& folder, int port, const std::string& url) {
  std::string on = port > 0 ? common::Format(kRunningPort, port) : "";
  std::string text = common::Format(kRunning, folder.c_str(), on.c_str());
  if (!url.empty()) {
    text += common::Format(kHandedOver, url.c_str());
  } else if (port > 0) {
    text += common::Format(kOpenIt, port, StartUrl(ClassicUrls()).c_str());
  }
  return text;
}

bool PortInUse(const std::string& address, unsigned port) {
  int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return false;
  int one = 1;
  (void)::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_port = htons(static_cast<uint16_t>(port));
  if (::inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1) {
    ::close(s);
    return false;
  }
  bool in_use =
      ::bind(s, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 && errno == EADDRINUSE;
  ::close(s);
  return in_use;
}

std::string ListenFailedText(const std::string& address, unsigned port, bool in_use) {
  return common::Format(in_use ? kPortInUse : kCannotListen, port, address.c_str());
}

std::string BannerText(const std::string& address, unsigned port, bool classic_urls) {
  std::string url = StartUrl(classic_urls);
  return common::Format(kBanner, address.c_str(), port, address.c_str(), port, url.c_str(),
                        address.c_str(), port, url.c_str());
}

void WritePortFile(const std::string& folder, unsigned port) {
  // Written aside and renamed into place, so that a second start never
  // reads it half written.
  std::string path = folder + "/" + kPortFile;
  std::string part = path + ".new";
  if (std::FILE* file = std::fopen(part.c_str(), "w")) {
    bool written = std::fprintf(file, "%u\n", port) > 0;
    written = std::fclose(file) == 0 && written;
    if (!written || std::rename(part.c_str(), path.c_str()) != 0) (void)std::remove(part.c_str());
  }
}

void RemovePortFile(const std::string& folder) {
  (void)std::remove((folder + "/" + kPortFile).c_str());
}

int ReadPortFile(const std::string& folder) {
  std::FILE* file = std::fopen((folder + "/" + kPortFile).c_str(), "r");
  if (file == nullptr) return -1;
  int port = -1;
  if (std::fscanf(file, "%d", &port) != 1) port = -1;
  std::fclose(file);
  return port;
}

}  // namespace engine
