// The instance lock of a program folder.
#include "engine/instance.h"

#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "os/files.h"

namespace {

class Instance : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/corvane-instance-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override {
    os::ClearFolder(folder_);
    os::RemoveFolder(folder_);
  }
  std::string folder_;
};

// Regression: the lock file stayed behind after the program ended.
TEST_F(Instance, TheHolderDeletesTheLockFileAndAWaiterTakesTheNextOne) {
  std::string lock_file = folder_ + "/corvex.lck";
  auto first = std::make_unique<engine::InstanceLock>();
  ASSERT_TRUE(first->Take(folder_));
  engine::InstanceLock second;
  EXPECT_FALSE(second.Take(folder_));  // its descriptor stays on the old file
  first.reset();
  EXPECT_FALSE(os::FileExists(lock_file));
  // The waiter's lock on the deleted file does not count: it takes the
  // file at the path, and a third start finds it held.
  ASSERT_TRUE(second.Take(folder_));
  EXPECT_TRUE(os::FileExists(lock_file));
  {
    engine::InstanceLock third;
    EXPECT_FALSE(third.Take(folder_));
  }
  EXPECT_TRUE(os::FileExists(lock_file));  // one that only looked leaves it
}

}  // namespace
