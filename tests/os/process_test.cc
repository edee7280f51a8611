// Starting, waiting for and finding real processes.
#include "os/process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace os {
namespace {

// Waits (up to a minute, so a loaded machine cannot fail the test) for a
// condition that the process under test brings about.
template <typename Condition>
bool Eventually(Condition condition) {
  for (int i = 0; i < 6000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

class ProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "process_test.XXXXXX");
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  std::string folder_;
};

TEST_F(ProcessTest, RunReportsTheExitCode) {
  const struct {
    const char* program;
    std::vector<std::string> arguments;
    int exit_code;
  } cases[] = {
      {"/bin/true", {}, 0},
      {"/bin/false", {}, 1},
      {"/bin/sh", {"-c", "exit 7"}, 7},
      {"sh", {"-c", "exit 3"}, 3},  // found on PATH
      {"/bin/sh", {"-c", "kill -9 $$"}, 128 + 9},
      // Arguments arrive whole: blanks, quotes and an empty one.
      {"/bin/sh",
       {"-c", "[ \"$0\" = zero ] && [ \"$1\" = 'a b\"c' ] && [ -z \"$2\" ]", "zero", "a b\"c", ""},
       0},
  };
  for (const auto& c : cases) {
    int exit_code = -1;
    ASSERT_EQ(ProcessRun(c.program, c.arguments, kProcessNoTimeout, &exit_code), ProcessStatus::kOk)
        << c.program;
    EXPECT_EQ(exit_code, c.exit_code) << c.program << " " << c.arguments.size();
  }
  int exit_code = -1;
  ASSERT_EQ(ProcessRun("/bin/true", {}, 60000, &exit_code), ProcessStatus::kOk);
  EXPECT_EQ(exit_code, 0);
}

TEST_F(ProcessTest, ProgramsThatCannotStartAreStatuses) {
  std::string plain_file = folder_ + "/not-executable";
  FILE* f = fopen(plain_file.c_str(), "w");
  ASSERT_NE(f, nullptr);
  fclose(f);
  const struct {
    std::string program;
    std::vector<std::string> arguments;
    ProcessStatus status;
  } cases[] = {
      {"/nonexistent/corvjobs", {"17"}, ProcessStatus::kNotFound},
      {folder_ + "/missing", {}, ProcessStatus::kNotFound},
      {"corvane-no-such-program", {}, ProcessStatus::kNotFound},
      {plain_file, {}, ProcessStatus::kStartFailed},
      {folder_, {}, ProcessStatus::kStartFailed},
      {"", {}, ProcessStatus::kBadArgument},
      {"/bin/true", {std::string("a\0b", 3)}, ProcessStatus::kBadArgument},
  };
  for (const auto& c : cases) {
    int exit_code = -5;
    int pid = -5;
    EXPECT_EQ(ProcessRun(c.program, c.arguments, kProcessNoTimeout, &exit_code), c.status)
        << c.program;
    EXPECT_EQ(ProcessStart(c.program, c.arguments, &pid), c.status) << c.program;
    EXPECT_EQ(exit_code, -5);
    EXPECT_EQ(pid, -5);
  }
}

TEST_F(ProcessTest, TimeOutStopsTheProgram) {
  std::string marker = folder_ + "/pid";
  int exit_code = -5;
  EXPECT_EQ(
      ProcessRun("/bin/sh", {"-c", "echo $$ > " + marker + "; exec sleep 60"}, 200, &exit_code),
      ProcessStatus::kTimedOut);
  EXPECT_EQ(exit_code, -5);
  FILE* f = fopen(marker.c_str(), "r");
  ASSERT_NE(f, nullptr);
  int pid = 0;
  ASSERT_EQ(fscanf(f, "%d", &pid), 1);
  fclose(f);
  EXPECT_FALSE(ProcessIsRunning(pid));
}

TEST_F(ProcessTest, StartReturnsAtOnceAndTheEndIsSeen) {
  std::string marker = folder_ + "/started";
  int pid = 0;
  ASSERT_EQ(ProcessStart("/bin/sh", {"-c", "echo ran > " + marker}, &pid), ProcessStatus::kOk);
  EXPECT_GT(pid, 0);
  EXPECT_TRUE(Eventually([&] { return std::filesystem::exists(marker); }));
  // Reaped in the background: it is neither running nor left a zombie.
  EXPECT_TRUE(Eventually([&] { return !ProcessIsRunning(pid); }));

  ASSERT_EQ(ProcessStart("/bin/sleep", {"60"}, &pid), ProcessStatus::kOk);
  EXPECT_TRUE(ProcessIsRunning(pid));
  ASSERT_EQ(kill(pid, SIGKILL), 0);
  EXPECT_TRUE(Eventually([&] { return !ProcessIsRunning(pid); }));

  EXPECT_TRUE(ProcessIsRunning(getpid()));
  EXPECT_FALSE(ProcessIsRunning(0));
  EXPECT_FALSE(ProcessIsRunning(-1));
}

TEST_F(ProcessTest, ChildInheritsOnlyTheStandardDescriptors) {
  // A listening socket and a pipe opened without close-on-exec, as a careless
  // part of the program might: the started program must not hold them.
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  ASSERT_EQ(listen(listener, 1), 0);
  int pipe_ends[2];
  ASSERT_EQ(pipe(pipe_ends), 0);
  // The parent ignores SIGPIPE, as a server does; the child must not.
  struct sigaction ignore {
  }, old{};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(sigaction(SIGPIPE, &ignore, &old), 0);

  const struct {
    std::string check;
    int exit_code;
  } cases[] = {
      {"[ -e /proc/$$/fd/2 ]", 0},  // the probe itself works
      {"[ -e /proc/$$/fd/" + std::to_string(listener) + " ]", 1},
      {"[ -e /proc/$$/fd/" + std::to_string(pipe_ends[0]) + " ]", 1},
      {"[ -e /proc/$$/fd/" + std::to_string(pipe_ends[1]) + " ]", 1},
      // SIGPIPE is signal 13: bit 0x1000 of the ignored-signal mask.
      {"m=$(sed -n 's/^SigIgn:[[:space:]]*//p' /proc/self/status); [ $((0x$m & 0x1000)) = 0 ]", 0},
  };
  for (const auto& c : cases) {
    int exit_code = -1;
    ASSERT_EQ(ProcessRun("/bin/sh", {"-c", c.check}, kProcessNoTimeout, &exit_code),
              ProcessStatus::kOk);
    EXPECT_EQ(exit_code, c.exit_code) << c.check;
  }
  sigaction(SIGPIPE, &old, nullptr);
  close(listener);
  close(pipe_ends[0]);
  close(pipe_ends[1]);
}

TEST_F(ProcessTest, FindByNameSeesRunningProgramsOnly) {
  // A copy of sleep under a name no other process has, longer than the 15
  // bytes the kernel keeps as the command name.
  std::string name = "corvane-find-probe-" + std::to_string(getpid());
  std::string program = folder_ + "/" + name;
  std::filesystem::copy_file("/bin/sleep", program);
  std::filesystem::permissions(program, std::filesystem::perms::owner_all);

  EXPECT_TRUE(ProcessFindByName(name).empty());
  int pid = 0;
  ASSERT_EQ(ProcessStart(program, {"60"}, &pid), ProcessStatus::kOk);
  std::vector<int> found = ProcessFindByName(name);
  EXPECT_EQ(found, std::vector<int>{pid});
  EXPECT_TRUE(ProcessFindByName(name.substr(0, 15)).empty());
  EXPECT_TRUE(ProcessFindByName("").empty());

  ASSERT_EQ(kill(pid, SIGKILL), 0);
  EXPECT_TRUE(Eventually([&] { return ProcessFindByName(name).empty(); }));
}

}  // namespace
}  // namespace os
