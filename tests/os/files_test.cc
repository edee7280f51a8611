// Folders and files: sweep by age with the probe file, clear, sizes.
#include "os/files.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <string>

namespace {

class TempFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/corvane-files-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override {
    os::ClearFolder(folder_);
    os::RemoveFolder(folder_);
  }
  // A file whose last write lies `seconds` from now (negative: the past).
  std::string Make(const std::string& name, long seconds, const std::string& text = "x") {
    std::string path = folder_ + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "w");
    std::fputs(text.c_str(), f);
    std::fclose(f);
    timespec times[2];
    clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec += seconds;
    times[1] = times[0];
    utimensat(AT_FDCWD, path.c_str(), times, 0);
    return path;
  }
  std::string folder_;
};

TEST_F(TempFolder, SweepWithAgeZeroDeletesEverythingOlderThanTheProbe) {
  std::string old1 = Make("3", -10);
  std::string old2 = Make("CD17", -3600);
  std::string newer = Make("future", 3600);
  EXPECT_EQ(os::SweepFolderByAge(folder_, 0), 2);
  EXPECT_FALSE(os::FileExists(old1));
  EXPECT_FALSE(os::FileExists(old2));
  EXPECT_TRUE(os::FileExists(newer));
  EXPECT_FALSE(os::FileExists(folder_ + "/tmtest.tmp"));
}

TEST_F(TempFolder, SweepKeepsFilesYoungerThanTheAge) {
  std::string young = Make("4", -4 * 60);
  std::string old = Make("5", -6 * 60);
  EXPECT_EQ(os::SweepFolderByAge(folder_, 5), 1);
  EXPECT_TRUE(os::FileExists(young));
  EXPECT_FALSE(os::FileExists(old));
}

TEST_F(TempFolder, SweepDeletesNothingWithoutAProbe) {
  EXPECT_EQ(os::SweepFolderByAge(folder_ + "/missing", 0), -1);
  if (geteuid() == 0) return;  // root writes into read-only folders
  std::string old = Make("6", -600);
  chmod(folder_.c_str(), 0555);
  EXPECT_EQ(os::SweepFolderByAge(folder_, 0), -1);
  chmod(folder_.c_str(), 0755);
  EXPECT_TRUE(os::FileExists(old));
}

TEST_F(TempFolder, ClearDeletesReadOnlyFilesToo) {
  std::string a = Make("a", 0);
  std::string b = Make("b", 0);
  chmod(b.c_str(), 0444);
  EXPECT_EQ(os::ClearFolder(folder_), 2);
  EXPECT_FALSE(os::FileExists(a));
  EXPECT_EQ(os::ClearFolder(folder_ + "/none"), 0);
}

TEST_F(TempFolder, ClearDeletesLinksWithoutTouchingTheirTargets) {
  std::string target = folder_ + "/target";
  ASSERT_TRUE(os::CreateFolder(folder_ + "/sub"));
  Make("target", 0);
  chmod(target.c_str(), 0755);
  ASSERT_EQ(symlink(target.c_str(), (folder_ + "/sub/link").c_str()), 0);
  EXPECT_EQ(os::ClearFolder(folder_ + "/sub"), 1);
  struct stat info {};
  ASSERT_EQ(stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0755u);
  os::RemoveFolder(folder_ + "/sub");
}

TEST_F(TempFolder, SizesAndFolders) {
  EXPECT_EQ(os::FileSize(Make("s", 0, "12345")), 5);
  EXPECT_EQ(os::FileSize(folder_ + "/none"), -1);
  EXPECT_GT(os::FreeDiskBytes(folder_), 0);
  EXPECT_TRUE(os::CreateFolder(folder_ + "/wtemp"));
  EXPECT_TRUE(os::CreateFolder(folder_ + "/wtemp"));  // exists already
  EXPECT_TRUE(os::FolderExists(folder_ + "/wtemp"));
  EXPECT_FALSE(os::CreateFolder(folder_ + "/no/such"));
  EXPECT_TRUE(os::RemoveFolder(folder_ + "/wtemp"));
}

}  // namespace
