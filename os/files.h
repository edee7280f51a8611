// Files and folders of the host layer: create a folder, sweep a folder by
// age, clear a folder, file size, free disk space.
#pragma once

#include <cstdint>
#include <string>

namespace os {

// Creates `folder` (one level) unless it exists. True when it exists after.
[[nodiscard]] bool CreateFolder(const std::string& folder);
// Removes an empty folder; true on success.
bool RemoveFolder(const std::string& folder);
bool FolderExists(const std::string& folder);
bool FileExists(const std::string& path);

// Sweeps `folder` by age: creates the probe file "tmtest.tmp" in it, takes
// the probe's last-write time as the file system's present time and deletes
// the probe; then deletes every file whose last-write time plus
// `age_minutes` minutes is earlier than that time. When the probe cannot be
// created nothing is deleted and the result is -1; else the number of files
// deleted. Sub-folders are left alone.
int SweepFolderByAge(const std::string& folder, int age_minutes);

// Makes every file in `folder` writable and deletes it; nothing when the
// folder does not exist. Returns the number of files deleted.
int ClearFolder(const std::string& folder);

// Size of the file in bytes, -1 when it cannot be read.
int64_t FileSize(const std::string& path);

// Bytes free for an unprivileged user on the file system holding `path`,
// -1 when unknown.
int64_t FreeDiskBytes(const std::string& path);

// The current working folder, empty when it cannot be read.
std::string WorkingFolder();

}  // namespace os
