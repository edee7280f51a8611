// Files and folders on POSIX.
#include "os/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <vector>

namespace os {

bool CreateFolder(const std::string& folder) {
  if (::mkdir(folder.c_str(), 0755) == 0) return true;
  return errno == EEXIST && FolderExists(folder);
}

bool RemoveFolder(const std::string& folder) {
  return ::rmdir(folder.c_str()) == 0;
}

bool FolderExists(const std::string& folder) {
  struct stat info {};
  return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool FileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

// Regular files (and links) directly in `folder`, as full paths.
static std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> files;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return files;
  while (dirent* item = ::readdir(dir)) {
    std::string name = item->d_name;
    if (name == "." || name == "..") continue;
    std::string path = folder + "/" + name;
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) files.push_back(path);
  }
  ::closedir(dir);
  return files;
}

static bool Earlier(const timespec& a, const timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

int SweepFolderByAge(const std::string& folder, int age_minutes) {
  // The probe's time stamp comes from the same clock that stamped the files,
  // which may differ from this process's clock (a network folder).
  std::string probe = folder + "/tmtest.tmp";
  int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  struct stat probe_info {};
  bool stamped = ::fstat(fd, &probe_info) == 0;
  ::close(fd);
  ::unlink(probe.c_str());
  if (!stamped) return -1;
  timespec present = probe_info.st_mtim;

  int deleted = 0;
  for (const std::string& path : FilesIn(folder)) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) continue;
    timespec aged = info.st_mtim;
    aged.tv_sec += static_cast<time_t>(age_minutes) * 60;
    if (Earlier(aged, present) && ::unlink(path.c_str()) == 0) ++deleted;
  }
  return deleted;
}

int ClearFolder(const std::string& folder) {
  if (!FolderExists(folder)) return 0;
  int deleted = 0;
  for (const std::string& path : FilesIn(folder)) {
    // A link is deleted, never followed: its target may lie anywhere.
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) ::chmod(path.c_str(), 0644);
    if (::unlink(path.c_str()) == 0) ++deleted;
  }
  return deleted;
}

int64_t FileSize(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return -1;
  return static_cast<int64_t>(info.st_size);
}

int64_t FreeDiskBytes(const std::string& path) {
  struct statvfs info {};
  if (::statvfs(path.c_str(), &info) != 0) return -1;
  return static_cast<int64_t>(info.f_bavail) * static_cast<int64_t>(info.f_frsize);
}

std::string WorkingFolder() {
  char buffer[PATH_MAX];
  if (::getcwd(buffer, sizeof buffer) == nullptr) return {};
  return buffer;
}

}  // namespace os
