// Servers that are folders named in ledra.ini.
#include "ledra/replication/folder_server.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "ledra/last_error.h"
#include "ledra/replication/store_replica.h"
#include "ledra/settings.h"

namespace ledra::replication {
namespace {

namespace fs = std::filesystem;

bool IsDatabaseName(const fs::path& p) {
  std::string ext = p.extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".ldf" || ext == ".ldw" || ext == ".ltf" || ext == ".clp" || ext == ".box";
}

// The replica id of a store file, without taking a handle; false when the
// file is not a readable database.
bool PeekReplicaId(const std::string& file, uint32_t id[2]) {
  std::unique_ptr<NoteStore> store;
  if (NoteStore::Open(file, file, 2000, &store) != kVXOk) return false;
  std::string text;
  unsigned long a = 0, b = 0;
  if (store->GetInfo("replica_id", &text) != kVXOk ||
      std::sscanf(text.c_str(), "%lu %lu", &a, &b) != 2) {
    return false;
  }
  id[0] = static_cast<uint32_t>(a);
  id[1] = static_cast<uint32_t>(b);
  return true;
}

}  // namespace

VXStatus OpenServer(const std::string& name, uint32_t open_flags,
                    std::unique_ptr<ReplicaServer>* out) {
  std::unique_ptr<FolderServer> server;
  if (VXStatus s = FolderServer::Open(name, open_flags, &server); s != kVXOk) return s;
  *out = std::move(server);
  return kVXOk;
}

VXStatus FolderServer::Open(const std::string& name, uint32_t open_flags,
                            std::unique_ptr<FolderServer>* out) {
  if (name.empty()) return Fail(kVXServerNotFound, "No server named for replication");
  std::optional<std::string> folder = ServerDirectory(name);
  if (!folder) {
    return Fail(kVXServerNotFound,
                "Server " + name + " not found (not named in " + SettingsFile() + ")");
  }
  struct stat st;
  if (::stat(folder->c_str(), &st) != 0) {
    return Fail(kVXServerNotFound,
                "Server " + name + " cannot be reached: its folder " + *folder + " " +
                    (errno == ENOENT ? std::string("is missing") : std::strerror(errno)));
  }
  if (!S_ISDIR(st.st_mode)) {
    return Fail(kVXServerNotFound,
                "Server " + name + " cannot be reached: " + *folder + " is not a folder");
  }
  if (::access(folder->c_str(), R_OK | X_OK) != 0) {
    return Fail(kVXServerNotFound, "Server " + name + " cannot be reached: its folder " + *folder +
                                       " cannot be read (" + std::strerror(errno) + ")");
  }
  out->reset(new FolderServer(name, *folder, open_flags));
  return kVXOk;
}

VXStatus FolderServer::Open(const std::string& path, std::unique_ptr<ReplicaDatabase>* out) {
  std::unique_ptr<StoreReplica> database;
  if (VXStatus s = StoreReplica::Open(name_, path, open_flags_, &database); s != kVXOk) return s;
  *out = std::move(database);
  return kVXOk;
}

VXStatus FolderServer::Locate(const uint32_t replica_id[2], std::vector<std::string>* paths) {
  paths->clear();
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(
           folder_, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_regular_file(ec) || !IsDatabaseName(it->path())) continue;
    uint32_t id[2];
    if (PeekReplicaId(it->path().string(), id) && id[0] == replica_id[0] &&
        id[1] == replica_id[1]) {
      paths->push_back(fs::relative(it->path(), folder_, ec).generic_string());
    }
  }
  std::sort(paths->begin(), paths->end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  return kVXOk;
}

}  // namespace ledra::replication
