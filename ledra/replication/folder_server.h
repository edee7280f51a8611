// A server that is a folder: the data directory named for it in ledra.ini
// ("Directory=" for Local, "Server.NAME=" for the others), on this machine
// or on a network file system mounted here. Its databases are store files
// below the folder.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ledra/replication/replica_database.h"

namespace ledra::replication {

class FolderServer : public ReplicaServer {
 public:
  // Fails with kVXServerNotFound when ledra.ini names no folder for the
  // server, or its folder is missing, not a folder, or cannot be read.
  [[nodiscard]] static VXStatus Open(const std::string& name, uint32_t open_flags,
                                     std::unique_ptr<FolderServer>* out);

  const std::string& name() const override { return name_; }
  const std::string& folder() const { return folder_; }
  VXStatus Open(const std::string& path, std::unique_ptr<ReplicaDatabase>* out) override;
  VXStatus Locate(const uint32_t replica_id[2], std::vector<std::string>* paths) override;

 private:
  FolderServer(std::string name, std::string folder, uint32_t open_flags)
      : name_(std::move(name)), folder_(std::move(folder)), open_flags_(open_flags) {}

  std::string name_;
  std::string folder_;
  uint32_t open_flags_;
};

}  // namespace ledra::replication
